#pragma once

#include <memory>
#include <string>

#include "sources/SectorSource.h"

// What a path names, seen as a CD drive.
enum class DeviceKind {
  NotADevice,  // no device node (a file, a folder, nothing at all): maybe an image
  Drive,       // a device the kernel knows as a CD drive
  NotADrive,   // another device, such as /dev/zero or a hard disk
};
// Looks at `path` without opening it (opening some devices has effects).
// Devices pass when the kernel lists them as a CD-ROM: SCSI peripheral type 5
// in /sys, or for block devices also a name on the kernel's CD-ROM list
// (/proc/sys/dev/cdrom/info); character devices must also be taken for a
// drive by libcdio, which alone takes any character device. NotADrive comes
// with the reason, in Spanish, in `*reason`.
DeviceKind deviceKind(const std::string& path, std::string* reason = nullptr);

// True when `info`, the text of /proc/sys/dev/cdrom/info, lists the drive of
// kernel name `name` ("sr0") on its "drive name:" line.
bool cdromInfoListsDrive(const std::string& info, const std::string& name);

// A disc in a drive, or a disc image (Nero .nrg, .cue/.bin), read through
// libcdio. Drives are read through paranoia, images directly.
//
// Images are opened with the driver their extension names (.nrg, .cue or
// .bin), never by libcdio's guessing, and only after the image probe (see
// ImageProbe.h) has read them safely in a process of its own; the table of
// contents read here must then match the probe's. A Nero image is opened
// once: the probe and libcdio read that open file, never the path again, so
// a file put in its place after the probe is never parsed here; a file
// changed in place meanwhile is refused. libcdio's log handler is the
// program's own (see CdioLog.h) before any call into libcdio.
class CdioSource : public SectorSource {
 public:
  // Opens `path`; an empty path is the machine's default drive. Reads the
  // table of contents (with CD-Text and sessions, see readCdioToc). Returns
  // null when nothing could be opened, with the reason, in Spanish, in
  // `*reason`. A drive without a disc (or with an unreadable or impossible
  // table of contents) opens with an empty table of contents.
  static std::unique_ptr<CdioSource> open(const std::string& path, std::string* reason);

  ~CdioSource() override;
  CdioSource(const CdioSource&) = delete;
  CdioSource& operator=(const CdioSource&) = delete;

  const DiscToc& toc() const override { return toc_; }
  // Images: Missing outside the disc, and for sectors a Nero image no longer
  // holds (it was cut short after it was opened; noted once on standard
  // error until a read succeeds again).
  SectorRead read(int32_t lsn, int32_t count, int16_t* out) override;
  bool setSpeed(int multiple) override;
  // Reads through paranoia, as a drive is always read. libcdio-paranoia
  // reads images too, so this lets the drive's way of reading be checked
  // on an image.
  void readThroughParanoia();

 private:
  struct Handles;
  CdioSource();
  SectorRead readParanoia(int32_t lsn, int32_t count, int16_t* out);
  // The image no longer holds every sector before `end` (LSN).
  bool cutBefore(int32_t end) const;

  std::unique_ptr<Handles> h_;
  DiscToc toc_;
  bool drive_ = false;
  bool paranoia_ = false;
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
