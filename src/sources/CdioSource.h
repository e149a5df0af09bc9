#pragma once

#include <cdio/cdio.h>

#include <memory>
#include <string>

#include "sources/SectorSource.h"

// A disc in a drive, or a disc image (cdrdao .toc, .nrg, .cue/.bin), read
// through libcdio. Drives are read through paranoia, images directly.
class CdioSource : public SectorSource {
 public:
  // Opens `path`; an empty path is the machine's default drive. Reads the
  // table of contents. Returns null when nothing could be opened, with the
  // reason, in Spanish, in `*reason`. A drive without a disc opens with an
  // empty table of contents. `driver` names the image format; DRIVER_UNKNOWN
  // lets libcdio guess it.
  static std::unique_ptr<CdioSource> open(const std::string& path, std::string* reason,
                                          driver_id_t driver = DRIVER_UNKNOWN);

  ~CdioSource() override;
  CdioSource(const CdioSource&) = delete;
  CdioSource& operator=(const CdioSource&) = delete;

  const DiscToc& toc() const override { return toc_; }
  SectorRead read(int32_t lsn, int32_t count, int16_t* out) override;
  bool isDrive() const override { return drive_; }
  bool setSpeed(int multiple) override;

 private:
  struct Handles;
  CdioSource();
  SectorRead readParanoia(int32_t lsn, int32_t count, int16_t* out);

  std::unique_ptr<Handles> h_;
  DiscToc toc_;
  bool drive_ = false;
  int32_t paranoiaNext_ = -1;  // the sector paranoia reads next; -1: unknown
};

// A CD drive by its device node ("" for the machine's default drive).
class CdioDrive : public Drive {
 public:
  explicit CdioDrive(std::string node);
  TrayState state() override;
  std::unique_ptr<SectorSource> openDisc() override;
  bool ejectOrClose() override;
  bool canEject() const override { return true; }
  const std::string& node() const { return node_; }

 private:
  std::string node_;
};
