#include "disc/CdioDisc.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>

namespace {

// libcdio prints warnings for every path it fails to open; the program
// reports its own reasons instead.
void quietLibcdio() {
  static std::once_flag once;
  std::call_once(once, [] { cdio_loglevel_default = CDIO_LOG_ERROR; });
}

std::string quoted(const std::string& s) {
  return "«" + s + "»";
}

bool endsWithIgnoringCase(const std::string& s, const std::string& suffix) {
  if (s.size() < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - suffix.size() + i])) != suffix[i])
      return false;
  return true;
}

// The file names on a cue sheet's FILE lines, as written.
std::vector<std::string> cueFileLines(const std::string& cuePath) {
  std::vector<std::string> names;
  std::ifstream in(cuePath);
  std::string line;
  while (std::getline(in, line)) {
    size_t i = line.find_first_not_of(" \t");
    if (i == std::string::npos || line.compare(i, 5, "FILE ") != 0) continue;
    i = line.find_first_not_of(" \t", i + 5);
    if (i == std::string::npos) continue;
    std::string name;
    if (line[i] == '"') {
      const size_t end = line.find('"', i + 1);
      name = line.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
    } else {
      name = line.substr(i, line.find_first_of(" \t", i) - i);
    }
    names.push_back(name);
  }
  return names;
}

}  // namespace

struct CdioDisc::Handles {
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

CdioDisc::CdioDisc() : h_(std::make_unique<Handles>()) {}
CdioDisc::~CdioDisc() = default;

std::unique_ptr<CdioDisc> CdioDisc::open(const std::string& path, std::string* reason) {
  quietLibcdio();
  std::unique_ptr<CdioDisc> disc(new CdioDisc());
  if (path.empty()) {
    disc->h_->cdio = cdio_open(nullptr, DRIVER_DEVICE);
    if (!disc->h_->cdio) {
      if (reason) *reason = "no hay ninguna unidad de CD";
      return nullptr;
    }
  } else {
    disc->h_->cdio = cdio_open(path.c_str(), DRIVER_UNKNOWN);
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
    toc.tracks.push_back({lsn, next - lsn, cdio_get_track_format(p, t) == TRACK_FORMAT_AUDIO});
  }
  disc->toc_ = std::move(toc);
  return disc;
}

bool CdioDisc::read(int32_t lsn, int32_t count, int16_t* out) {
  if (!h_->cdio || count < 1 || count > kMaxSectorsPerRead) return false;
  if (drive_) return readParanoia(lsn, count, out);
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (cdio_read_audio_sectors(h_->cdio, out, lsn, static_cast<uint32_t>(count)) ==
        DRIVER_OP_SUCCESS) {
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
      for (int32_t i = 0; i < count * kSamplesPerSector; ++i)
        out[i] = static_cast<int16_t>(__builtin_bswap16(static_cast<uint16_t>(out[i])));
#endif
      return true;
    }
  }
  return false;
}

bool CdioDisc::readParanoia(int32_t lsn, int32_t count, int16_t* out) {
  if (!h_->paranoia) {
    h_->drive = cdio_cddap_identify_cdio(h_->cdio, CDDA_MESSAGE_FORGETIT, nullptr);
    if (!h_->drive || cdio_cddap_open(h_->drive) != 0) {
      if (h_->drive) cdio_cddap_close_no_free_cdio(h_->drive);
      h_->drive = nullptr;
      return false;
    }
    h_->paranoia = paranoia_init(h_->drive);
    if (!h_->paranoia) return false;
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
      return false;
    }
    std::memcpy(out + static_cast<ptrdiff_t>(i) * kSamplesPerSector, sector,
                sizeof(int16_t) * kSamplesPerSector);
    ++paranoiaNext_;
  }
  return true;
}

bool CdioDisc::present() {
  if (!h_->cdio) return false;
  if (!drive_) return true;
  // Ask the drive itself: libcdio keeps the table of contents it read.
  const char* source = cdio_get_arg(h_->cdio, "source");
  if (!source) return true;
  const int fd = ::open(source, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return true;
  const int status = ::ioctl(fd, CDROM_DRIVE_STATUS, CDSL_CURRENT);
  ::close(fd);
  // A drive that cannot tell is taken as still holding its disc.
  return status < 0 || status == CDS_DISC_OK || status == CDS_NO_INFO;
}

void CdioDisc::eject() {
  if (!h_->cdio) return;
  if (drive_) {
    // Paranoia holds the drive open; release it first.
    if (h_->paranoia) paranoia_free(h_->paranoia);
    if (h_->drive) cdio_cddap_close_no_free_cdio(h_->drive);
    h_->paranoia = nullptr;
    h_->drive = nullptr;
    // cdio_eject_media frees the handle whatever it returns.
    cdio_eject_media(&h_->cdio);
  }
  h_->close();
  toc_ = {};
}

std::string discPathProblem(const std::string& path) {
  namespace fs = std::filesystem;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return "no existe";
    return std::string("no se puede consultar (") + std::strerror(errno) + ")";
  }
  if (S_ISDIR(st.st_mode)) return "es una carpeta, no una unidad de CD ni una imagen de disco";
  if (::access(path.c_str(), R_OK) != 0) return "no se puede leer: permiso denegado";

  if (endsWithIgnoringCase(path, ".cue")) {
    const std::vector<std::string> names = cueFileLines(path);
    if (names.empty()) return "la hoja .cue no nombra ningún archivo (falta la línea FILE)";
    if (names.size() > 1)
      return "la hoja .cue nombra varios archivos; solo se admiten imágenes de un único archivo";
    fs::path expected = fs::path(path).replace_extension(".bin");
    const fs::path named = fs::path(path).parent_path() / names.front();
    std::error_code ec;
    const bool same =
        fs::exists(named, ec) && fs::exists(expected, ec) && fs::equivalent(named, expected, ec);
    if (!same && named.lexically_normal() != expected.lexically_normal()) {
      return "la hoja .cue nombra el archivo " + quoted(names.front()) +
             ", pero solo se puede leer " + quoted(expected.filename().string()) +
             ", el que lleva el nombre de la hoja; cambie el nombre de uno de los dos para que "
             "coincidan";
    }
    if (!fs::exists(expected, ec))
      return "falta el archivo de datos " + quoted(expected.filename().string()) +
             " que nombra la hoja .cue";
    if (::access(expected.c_str(), R_OK) != 0)
      return "no se puede leer " + quoted(expected.filename().string()) + ": permiso denegado";
  }

  std::string reason;
  if (!CdioDisc::open(path, &reason)) return reason;
  return {};
}
