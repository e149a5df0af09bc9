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

// A CD drive by its device node ("" for the machine's default drive). Its
// tray is asked about and moved through the node opened without waiting for
// a disc (no spin-up, no tray lock); its disc is read by CdioSource.
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
