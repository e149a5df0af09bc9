#pragma once

#include <memory>
#include <string>

#include "sources/SectorSource.h"

// A disc in a drive, or a Nero .nrg disc image, read through libcdio. Drives
// are read through paranoia, images directly.
//
// A Nero image is opened only after the image probe (see ImageProbe.h) has
// read it safely in a process of its own; the table of contents read here
// must then match the probe's. It is opened once: the probe and libcdio read
// that open file, never the path again, so a file put in its place after the
// probe is never parsed here; a file changed in place meanwhile is refused.
// libcdio's log handler is the program's own (see CdioLog.h) before any call
// into libcdio.
class CdioSource : public SectorSource {
 public:
  // Opens `path`: a drive's device node ("" for the machine's default drive)
  // or a Nero image. Reads the table of contents (with CD-Text and sessions,
  // see readCdioToc). Returns null when nothing could be opened, with the
  // reason, in Spanish, in `*reason`. A drive without a disc (or with an
  // unreadable or impossible table of contents) opens with an empty table of
  // contents.
  static std::unique_ptr<CdioSource> open(const std::string& path, std::string* reason);

  // A cue sheet and its .bin, opened by libcdio and read as a drive is read:
  // the table of contents as libcdio reads a disc's, every read through
  // paranoia, which reads images too. It lets the drives' way of reading be
  // checked without a drive. The image is not probed: only for images the
  // caller made itself. Null with the reason in `*reason`.
  static std::unique_ptr<CdioSource> openImageAsDrive(const std::string& cue, std::string* reason);

  ~CdioSource() override;
  CdioSource(const CdioSource&) = delete;
  CdioSource& operator=(const CdioSource&) = delete;

  const DiscToc& toc() const override { return toc_; }
  // Images: Missing outside the disc, and for sectors a Nero image no longer
  // holds (it was cut short after it was opened; noted once on standard
  // error until a read succeeds again).
  SectorRead read(int32_t lsn, int32_t count, int16_t* out) override;
  bool setSpeed(int multiple) override;

 private:
  struct Handles;
  CdioSource();
  SectorRead readParanoia(int32_t lsn, int32_t count, int16_t* out);
  // The image no longer holds every sector before `end` (LSN).
  bool cutBefore(int32_t end) const;

  std::unique_ptr<Handles> h_;
  DiscToc toc_;
  bool drive_ = false;         // read through paranoia
  int32_t paranoiaNext_ = -1;  // the sector paranoia reads next; -1: unknown
};
