#include "sources/CdioSource.h"

#include <cdio/cdio.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>

#include "sources/CdioLog.h"
#include "sources/CdioToc.h"
#include "sources/ImageProbe.h"
#include "sources/SystemError.h"

namespace {

std::optional<imageprobe::Driver> driverFor(const std::string& path) {
  if (hasExtension(path, ".nrg")) return imageprobe::Driver::Nero;
  if (hasExtension(path, ".cue") || hasExtension(path, ".bin")) return imageprobe::Driver::BinCue;
  return std::nullopt;
}

driver_id_t cdioDriver(imageprobe::Driver d) {
  switch (d) {
    case imageprobe::Driver::Nero:
      return DRIVER_NRG;
    case imageprobe::Driver::BinCue:
      return DRIVER_BINCUE;
  }
  return DRIVER_UNKNOWN;
}

// A SCSI device the kernel lists as a CD-ROM (peripheral type 5).
bool kernelListsCdRom(const struct stat& st) {
  std::ifstream type("/sys/dev/char/" + std::to_string(major(st.st_rdev)) + ":" +
                     std::to_string(minor(st.st_rdev)) + "/device/type");
  int value = -1;
  return (type >> value) && value == 5;
}

}  // namespace

DeviceKind deviceKind(const std::string& path, std::string* reason) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return DeviceKind::NotADevice;
  if (S_ISBLK(st.st_mode)) return DeviceKind::Drive;
  if (!S_ISCHR(st.st_mode)) return DeviceKind::NotADevice;
  installCdioLogHandler();
  if (cdio_is_device(path.c_str(), DRIVER_DEVICE) && kernelListsCdRom(st)) return DeviceKind::Drive;
  if (reason)
    *reason = "es un dispositivo de caracteres, no una unidad de CD ni una imagen de disco";
  return DeviceKind::NotADrive;
}

struct CdioSource::Handles {
  CdIo_t* cdio = nullptr;
  cdrom_drive_t* drive = nullptr;
  cdrom_paranoia_t* paranoia = nullptr;

  void close() {
    if (paranoia) paranoia_free(paranoia);
    if (drive) cdio_cddap_close_no_free_cdio(drive);
    if (cdio) cdio_destroy(cdio);
    paranoia = nullptr;
    drive = nullptr;
    cdio = nullptr;
  }
  ~Handles() { close(); }
};

CdioSource::CdioSource() : h_(std::make_unique<Handles>()) {}
CdioSource::~CdioSource() = default;

std::unique_ptr<CdioSource> CdioSource::open(const std::string& path, std::string* reason) {
  installCdioLogHandler();
  std::string why;
  auto refuse = [&](std::string text) -> std::unique_ptr<CdioSource> {
    if (reason) *reason = std::move(text);
    return nullptr;
  };
  std::unique_ptr<CdioSource> disc(new CdioSource());

  struct stat st {};
  if (!path.empty() && ::stat(path.c_str(), &st) != 0) return refuse(systemErrorText(errno));
  if (S_ISDIR(st.st_mode)) return refuse(systemErrorText(EISDIR));
  if (!path.empty() && ::access(path.c_str(), R_OK) != 0) return refuse(systemErrorText(errno));
  if (path.empty() || S_ISBLK(st.st_mode) || S_ISCHR(st.st_mode)) {
    // A drive: its table of contents comes from the drive itself.
    if (!path.empty() && deviceKind(path, &why) != DeviceKind::Drive) return refuse(why);
    disc->drive_ = true;
    disc->h_->cdio = cdio_open(path.empty() ? nullptr : path.c_str(), DRIVER_DEVICE);
    if (!disc->h_->cdio && path.empty()) return refuse("no hay ninguna unidad de CD");
    if (!disc->h_->cdio) {
      // libcdio keeps the system's reason to itself: ask the node directly.
      const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd < 0) return refuse(systemErrorText(errno));
      ::close(fd);
      return refuse("no se puede abrir la unidad");
    }
    disc->toc_ = readCdioToc(disc->h_->cdio);
    if (!tocProblem(disc->toc_).empty()) disc->toc_ = {};
    return disc;
  }

  if (!S_ISREG(st.st_mode)) return refuse("no es un archivo normal ni una unidad de CD");
  const std::optional<imageprobe::Driver> driver = driverFor(path);
  if (!driver) return refuse("no es una unidad de CD ni una imagen de disco que se pueda abrir");
  if (hasExtension(path, ".bin")) {
    const std::string sheet = path.substr(0, path.size() - 4) + ".cue";
    if (::access(sheet.c_str(), F_OK) != 0)
      return refuse("falta la hoja " + quoted(sheet.substr(sheet.rfind('/') + 1)) +
                    " que describe el archivo .bin");
  }
  const imageprobe::Report report = imageprobe::probe(path, *driver);
  if (report.verdict != imageprobe::Report::Verdict::Readable) return refuse(report.problem);

  disc->h_->cdio = cdio_open(path.c_str(), cdioDriver(*driver));
  if (!disc->h_->cdio) return refuse(systemErrorText(EIO));
  disc->toc_ = readCdioToc(disc->h_->cdio);
  if (std::string problem = tocProblem(disc->toc_); !problem.empty()) return refuse(problem);
  if (static_cast<int>(disc->toc_.tracks.size()) != report.tracks ||
      disc->toc_.leadOutLsn != report.leadOut)
    return refuse("la imagen cambió mientras se abría");
  return disc;
}

void CdioSource::readThroughParanoia() {
  paranoia_ = true;
}

SectorRead CdioSource::read(int32_t lsn, int32_t count, int16_t* out) {
  if (!h_->cdio || count < 1 || count > kMaxSectorsPerRead) return SectorRead::Unreadable;
  if (drive_ || paranoia_) return readParanoia(lsn, count, out);
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (cdio_read_audio_sectors(h_->cdio, out, lsn, static_cast<uint32_t>(count)) ==
        DRIVER_OP_SUCCESS) {
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
      for (int32_t i = 0; i < count * kSamplesPerSector; ++i)
        out[i] = static_cast<int16_t>(__builtin_bswap16(static_cast<uint16_t>(out[i])));
#endif
      return SectorRead::Ok;
    }
  }
  return SectorRead::Unreadable;
}

SectorRead CdioSource::readParanoia(int32_t lsn, int32_t count, int16_t* out) {
  if (!h_->paranoia) {
    h_->drive = cdio_cddap_identify_cdio(h_->cdio, CDDA_MESSAGE_FORGETIT, nullptr);
    if (!h_->drive || cdio_cddap_open(h_->drive) != 0) {
      if (h_->drive) cdio_cddap_close_no_free_cdio(h_->drive);
      h_->drive = nullptr;
      return SectorRead::Unreadable;
    }
    h_->paranoia = paranoia_init(h_->drive);
    if (!h_->paranoia) return SectorRead::Unreadable;
    paranoia_modeset(h_->paranoia, PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
    paranoiaNext_ = -1;
  }
  if (lsn != paranoiaNext_) {
    paranoia_seek(h_->paranoia, lsn, SEEK_SET);
    paranoiaNext_ = lsn;
  }
  for (int32_t i = 0; i < count; ++i) {
    // At most 10 re-reads of a stretch before paranoia gives up on it.
    const int16_t* sector = paranoia_read_limited(h_->paranoia, nullptr, 10);
    if (!sector) {
      paranoiaNext_ = -1;
      return SectorRead::Unreadable;
    }
    std::memcpy(out + static_cast<ptrdiff_t>(i) * kSamplesPerSector, sector,
                sizeof(int16_t) * kSamplesPerSector);
    ++paranoiaNext_;
  }
  return SectorRead::Ok;
}

bool CdioSource::setSpeed(int multiple) {
  if (!drive_ || !h_->cdio) return false;
  return cdio_set_speed(h_->cdio, multiple > 0 ? multiple : -1) == DRIVER_OP_SUCCESS;
}

// --- Drives ------------------------------------------------------------------

CdioDrive::CdioDrive(std::string node) : node_(std::move(node)) {
  if (node_.empty()) {
    installCdioLogHandler();
    if (char* d = cdio_get_default_device(nullptr)) {
      node_ = d;
      cdio_free_device_list(nullptr);
      free(d);
    }
  }
}

namespace {
// An ioctl on the drive's node opened without waiting for a disc (no spin-up,
// no tray lock); -1 when the node cannot be opened.
int driveIoctl(const std::string& node, unsigned long request, long arg) {
  if (node.empty()) return -1;
  const int fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  const int r = ::ioctl(fd, request, arg);
  ::close(fd);
  return r;
}
}  // namespace

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
