#include "sources/CdioDrive.h"

#include <cdio/cdio.h>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sources/CdioLog.h"
#include "sources/CdioSource.h"
#include "sources/RegularFile.h"

namespace {

// The device's folder in /sys/dev.
std::string sysDevice(const struct stat& st) {
  return std::string("/sys/dev/") + (S_ISBLK(st.st_mode) ? "block/" : "char/") +
         std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
}

// A device the kernel lists as a CD-ROM: a SCSI one of peripheral type 5 (a
// drive's sr and sg nodes), or a block device its CD-ROM layer lists.
bool kernelListsCdRom(const struct stat& st) {
  std::ifstream type(sysDevice(st) + "/device/type");
  int value = -1;
  if ((type >> value) && value == 5) return true;
  if (!S_ISBLK(st.st_mode)) return false;
  std::error_code ec;
  const std::string name = std::filesystem::read_symlink(sysDevice(st), ec).filename();
  std::ifstream in("/proc/sys/dev/cdrom/info");
  std::ostringstream info;
  info << in.rdbuf();
  return !ec && cdromInfoListsDrive(info.str(), name);
}

// An ioctl on the drive's node opened without waiting for a disc (no spin-up,
// no tray lock); -1 when the node cannot be opened.
int driveIoctl(const std::string& node, unsigned long request, long arg) {
  if (node.empty()) return -1;
  const UniqueFd fd(::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) return -1;
  return ::ioctl(fd.get(), request, arg);
}

}  // namespace

bool cdromInfoListsDrive(const std::string& info, const std::string& name) {
  std::istringstream lines(info);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("drive name:", 0) != 0) continue;
    std::istringstream names(line.substr(11));
    for (std::string n; names >> n;)
      if (n == name) return true;
  }
  return false;
}

DeviceKind deviceKind(const std::string& path, std::string* reason) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return DeviceKind::NotADevice;
  if (!S_ISBLK(st.st_mode) && !S_ISCHR(st.st_mode)) return DeviceKind::NotADevice;
  installCdioLogHandler();
  if (kernelListsCdRom(st) && (S_ISBLK(st.st_mode) || cdio_is_device(path.c_str(), DRIVER_DEVICE)))
    return DeviceKind::Drive;
  if (reason)
    *reason = "es " + fileKindText(st.st_mode) + ", no una unidad de CD ni una imagen de disco";
  return DeviceKind::NotADrive;
}

CdioDrive::CdioDrive(std::string node) : node_(std::move(node)) {
  if (node_.empty()) {
    installCdioLogHandler();
    const std::unique_ptr<char, decltype(&std::free)> d(cdio_get_default_device(nullptr),
                                                        &std::free);
    if (d) node_ = d.get();
  }
}

TrayState CdioDrive::state() {
  switch (driveIoctl(node_, CDROM_DRIVE_STATUS, CDSL_CURRENT)) {
    case CDS_NO_DISC:
      return TrayState::NoDisc;
    case CDS_TRAY_OPEN:
      return TrayState::Open;
    case CDS_DRIVE_NOT_READY:
      return TrayState::NotReady;
    case CDS_DISC_OK:
      return TrayState::DiscIn;
    default:
      return TrayState::Unknown;
  }
}

std::unique_ptr<SectorSource> CdioDrive::openDisc() {
  if (node_.empty()) return nullptr;
  auto source = CdioSource::open(node_, nullptr);
  if (!source || source->toc().tracks.empty()) return nullptr;
  return source;
}

bool CdioDrive::ejectOrClose() {
  if (state() == TrayState::Open) return driveIoctl(node_, CDROMCLOSETRAY, 0) == 0;
  return driveIoctl(node_, CDROMEJECT, 0) == 0;
}
