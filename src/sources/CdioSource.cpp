#include "sources/CdioSource.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>
#include <mutex>

namespace {

// libcdio prints warnings for every path it fails to open; the program
// reports its own reasons instead.
void quietLibcdio() {
  static std::once_flag once;
  std::call_once(once, [] { cdio_loglevel_default = CDIO_LOG_ERROR; });
}

}  // namespace

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

std::unique_ptr<CdioSource> CdioSource::open(const std::string& path, std::string* reason,
                                             driver_id_t driver) {
  quietLibcdio();
  std::unique_ptr<CdioSource> disc(new CdioSource());
  if (path.empty()) {
    disc->h_->cdio = cdio_open(nullptr, DRIVER_DEVICE);
    if (!disc->h_->cdio) {
      if (reason) *reason = "no hay ninguna unidad de CD";
      return nullptr;
    }
  } else {
    disc->h_->cdio = cdio_open(path.c_str(), driver);
    if (!disc->h_->cdio) {
      if (reason) *reason = "no es una unidad de CD ni una imagen de disco que se pueda abrir";
      return nullptr;
    }
  }
  CdIo_t* p = disc->h_->cdio;
  const driver_id_t id = cdio_get_driver_id(p);
  disc->drive_ = id != DRIVER_BINCUE && id != DRIVER_CDRDAO && id != DRIVER_NRG;

  const track_t first = cdio_get_first_track_num(p);
  const track_t count = cdio_get_num_tracks(p);
  if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0) return disc;
  const lsn_t leadOut = cdio_get_track_lsn(p, CDIO_CDROM_LEADOUT_TRACK);
  if (leadOut == CDIO_INVALID_LSN) return disc;
  DiscToc toc;
  toc.leadOutLsn = leadOut;
  for (int i = 0; i < count; ++i) {
    const auto t = static_cast<track_t>(first + i);
    const lsn_t lsn = cdio_get_track_lsn(p, t);
    const lsn_t next = i + 1 < count ? cdio_get_track_lsn(p, static_cast<track_t>(t + 1)) : leadOut;
    if (lsn == CDIO_INVALID_LSN || next == CDIO_INVALID_LSN || next < lsn) return disc;
    DiscTrack track;
    track.lsn = lsn;
    track.sectors = next - lsn;
    track.audio = cdio_get_track_format(p, t) == TRACK_FORMAT_AUDIO;
    track.preemphasis = cdio_get_track_preemphasis(p, t) == CDIO_TRACK_FLAG_TRUE;
    toc.tracks.push_back(track);
  }
  disc->toc_ = std::move(toc);
  return disc;
}

SectorRead CdioSource::read(int32_t lsn, int32_t count, int16_t* out) {
  if (!h_->cdio || count < 1 || count > kMaxSectorsPerRead) return SectorRead::Unreadable;
  if (drive_) return readParanoia(lsn, count, out);
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
    quietLibcdio();
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
