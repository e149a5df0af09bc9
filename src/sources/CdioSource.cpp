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
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "sources/CdioLog.h"
#include "sources/CdioToc.h"
#include "sources/ImageProbe.h"
#include "sources/RegularFile.h"
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

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The same file, neither written to nor resized since `a`. (Its change time
// moves also when a file is put in its place: the rename unlinks it.)
bool unchangedFile(const struct stat& a, const struct stat& b) {
  return sameFile(a, b) && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
         a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Where a Nero image's sectors end: the offset of its first chunk, as its
// footer (NER5 with 64 bits, or NERO with 32) gives it; `size` when it gives
// none within the file.
int64_t neroSectorsEnd(int fd, int64_t size) {
  unsigned char f[12] = {};
  if (size < 12 || ::pread(fd, f, sizeof f, size - 12) != static_cast<ssize_t>(sizeof f))
    return size;
  auto number = [&](int from, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v = v << 8 | f[from + i];
    return v;
  };
  uint64_t end = static_cast<uint64_t>(size);
  if (std::memcmp(f, "NER5", 4) == 0) end = number(4, 8);
  if (std::memcmp(f + 4, "NERO", 4) == 0) end = number(8, 4);
  return static_cast<int64_t>(std::min(end, static_cast<uint64_t>(size)));
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

struct CdioSource::Handles {
  CdIo_t* cdio = nullptr;
  cdrom_drive_t* drive = nullptr;
  cdrom_paranoia_t* paranoia = nullptr;
  // A Nero image: the file libcdio reads, its size when it was opened and
  // where its sectors end.
  UniqueFd image;
  std::string imagePath;
  int64_t imageBytes = 0, sectorsEnd = 0;
  bool noted = false;  // its being cut short is on standard error

  void close() {
    if (paranoia) paranoia_free(paranoia);
    if (drive) cdio_cddap_close_no_free_cdio(drive);
    if (cdio) cdio_destroy(cdio);
    paranoia = nullptr;
    drive = nullptr;
    cdio = nullptr;
    image.reset();
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
  std::string image = path;
  imageprobe::Report report;
  Handles& h = *disc->h_;
  struct stat opened {};
  // The Nero image as the probe saw it: the same file, not written to since
  // (before libcdio parses it, and after, for a change while it did).
  auto unchanged = [&] {
    struct stat now {};
    return !h.image || (::fstat(h.image.get(), &now) == 0 && unchangedFile(opened, now));
  };
  if (*driver == imageprobe::Driver::Nero) {
    h.image = openRegularFile(path, &why, &opened);
    if (!h.image) return refuse(why);
    report = imageprobe::probe(h.image.get(), *driver);
    image = imageprobe::openedPath(h.image.get());
    struct stat seen {};
    if (report.verdict == imageprobe::Report::Verdict::Readable &&
        (::stat(image.c_str(), &seen) != 0 || !sameFile(seen, opened)))
      return refuse("no se puede abrir la imagen: falta /proc");
  } else {
    report = imageprobe::probe(image, *driver);
  }
  if (report.verdict != imageprobe::Report::Verdict::Readable) return refuse(report.problem);

  const std::string changed = "la imagen cambió mientras se abría";
  if (!unchanged()) return refuse(changed);
  h.cdio = cdio_open(image.c_str(), cdioDriver(*driver));
  if (!h.cdio) return refuse(systemErrorText(EIO));
  disc->toc_ = readCdioToc(h.cdio);
  if (!unchanged()) return refuse(changed);
  if (std::string problem = tocProblem(disc->toc_); !problem.empty()) return refuse(problem);
  if (static_cast<int>(disc->toc_.tracks.size()) != report.tracks ||
      disc->toc_.leadOutLsn != report.leadOut)
    return refuse(changed);
  if (h.image) {
    h.imagePath = path;
    h.imageBytes = opened.st_size;
    h.sectorsEnd = neroSectorsEnd(h.image.get(), opened.st_size);
  }
  return disc;
}

void CdioSource::readThroughParanoia() {
  paranoia_ = true;
}

bool CdioSource::cutBefore(int32_t end) const {
  // The sectors lie in disc order, whole, and a sector takes 2352 bytes or
  // more: those before `end` lie before the bytes of the ones after it.
  // Exact for the images Nero writes of audio discs (2352-byte sectors, one
  // after the other); in any other layout a sector may be called missing
  // before it is.
  if (!h_->image) return false;
  struct stat st {};
  const int64_t last = h_->sectorsEnd - int64_t{toc_.leadOutLsn - end} * kBytesPerSector;
  return ::fstat(h_->image.get(), &st) == 0 && st.st_size < h_->imageBytes && st.st_size < last;
}

SectorRead CdioSource::read(int32_t lsn, int32_t count, int16_t* out) {
  if (!h_->cdio || count < 1 || count > kMaxSectorsPerRead) return SectorRead::Unreadable;
  if (drive_ || paranoia_) return readParanoia(lsn, count, out);
  if (lsn < 0 || int64_t{lsn} + count > toc_.leadOutLsn) return SectorRead::Missing;
  bool read = false;
  for (int attempt = 0; attempt < 2 && !read; ++attempt)
    read = cdio_read_audio_sectors(h_->cdio, out, lsn, static_cast<uint32_t>(count)) ==
           DRIVER_OP_SUCCESS;
  // libcdio gives whatever the stream had for a sector past the end of a
  // file cut short, and calls it read.
  if (cutBefore(lsn + count)) {
    if (!h_->noted)
      std::fprintf(stderr,
                   "velmar: %s se ha acortado desde que se abrió: lo que falta no se puede leer\n",
                   ::quoted(h_->imagePath).c_str());
    h_->noted = true;
    return SectorRead::Missing;
  }
  if (!read) return SectorRead::Unreadable;
  h_->noted = false;
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  for (int32_t i = 0; i < count * kSamplesPerSector; ++i)
    out[i] = static_cast<int16_t>(__builtin_bswap16(static_cast<uint16_t>(out[i])));
#endif
  return SectorRead::Ok;
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
