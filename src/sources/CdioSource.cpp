#include "sources/CdioSource.h"

#include <cdio/cdio.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sources/CdioDrive.h"
#include "sources/CdioLog.h"
#include "sources/CdioToc.h"
#include "sources/ImageProbe.h"
#include "sources/RegularFile.h"
#include "sources/SystemError.h"

namespace {

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

struct CdioCloser {
  void operator()(CdIo_t* p) const { cdio_destroy(p); }
};
// Closes the paranoia layer's drive, not the libcdio handle it reads.
struct CddaCloser {
  void operator()(cdrom_drive_t* d) const { cdio_cddap_close_no_free_cdio(d); }
};
struct ParanoiaCloser {
  void operator()(cdrom_paranoia_t* p) const { paranoia_free(p); }
};

}  // namespace

// Declared in the order they are opened: each is closed before what it reads.
struct CdioSource::Handles {
  std::unique_ptr<CdIo_t, CdioCloser> cdio;
  std::unique_ptr<cdrom_drive_t, CddaCloser> drive;
  std::unique_ptr<cdrom_paranoia_t, ParanoiaCloser> paranoia;
  // A Nero image: the file libcdio reads, its size when it was opened and
  // where its sectors end.
  UniqueFd image;
  std::string imagePath;
  int64_t imageBytes = 0, sectorsEnd = 0;
  bool noted = false;  // its being cut short is on standard error
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
  Handles& h = *disc->h_;

  struct stat st {};
  if (!path.empty() && ::stat(path.c_str(), &st) != 0) return refuse(systemErrorText(errno));
  if (S_ISDIR(st.st_mode)) return refuse(systemErrorText(EISDIR));
  if (!path.empty() && ::access(path.c_str(), R_OK) != 0) return refuse(systemErrorText(errno));
  if (path.empty() || S_ISBLK(st.st_mode) || S_ISCHR(st.st_mode)) {
    // A drive: its table of contents comes from the drive itself.
    if (!path.empty() && deviceKind(path, &why) != DeviceKind::Drive) return refuse(why);
    disc->drive_ = true;
    h.cdio.reset(cdio_open(path.empty() ? nullptr : path.c_str(), DRIVER_DEVICE));
    if (!h.cdio && path.empty()) return refuse("no hay ninguna unidad de CD");
    if (!h.cdio) {
      // libcdio keeps the system's reason to itself: ask the node directly.
      const UniqueFd node(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
      if (!node) return refuse(systemErrorText(errno));
      return refuse("no se puede abrir la unidad");
    }
    disc->toc_ = readCdioToc(h.cdio.get());
    if (!tocProblem(disc->toc_).empty()) disc->toc_ = {};
    return disc;
  }

  if (!S_ISREG(st.st_mode)) return refuse("no es un archivo normal ni una unidad de CD");
  if (!hasExtension(path, ".nrg"))
    return refuse("no es una unidad de CD ni una imagen de disco que se pueda abrir");
  struct stat opened {};
  // The image as the probe saw it: the same file, not written to since
  // (before libcdio parses it, and after, for a change while it did).
  auto unchanged = [&] {
    struct stat now {};
    return ::fstat(h.image.get(), &now) == 0 && unchangedFile(opened, now);
  };
  h.image = openRegularFile(path, &why, &opened);
  if (!h.image) return refuse(why);
  const imageprobe::Report report = imageprobe::probe(h.image.get());
  const std::string image = imageprobe::openedPath(h.image.get());
  struct stat seen {};
  if (report.verdict == imageprobe::Report::Verdict::Readable &&
      (::stat(image.c_str(), &seen) != 0 || !sameFile(seen, opened)))
    return refuse("no se puede abrir la imagen: falta /proc");
  if (report.verdict != imageprobe::Report::Verdict::Readable) return refuse(report.problem);

  const std::string changed = "la imagen cambió mientras se abría";
  if (!unchanged()) return refuse(changed);
  h.cdio.reset(cdio_open(image.c_str(), DRIVER_NRG));
  if (!h.cdio) return refuse(systemErrorText(EIO));
  disc->toc_ = readCdioToc(h.cdio.get());
  if (!unchanged()) return refuse(changed);
  if (std::string problem = tocProblem(disc->toc_); !problem.empty()) return refuse(problem);
  if (static_cast<int>(disc->toc_.tracks.size()) != report.tracks ||
      disc->toc_.leadOutLsn != report.leadOut)
    return refuse(changed);
  h.imagePath = path;
  h.imageBytes = opened.st_size;
  h.sectorsEnd = neroSectorsEnd(h.image.get(), opened.st_size);
  return disc;
}

std::unique_ptr<CdioSource> CdioSource::openImageAsDrive(const std::string& cue,
                                                         std::string* reason) {
  installCdioLogHandler();
  std::unique_ptr<CdioSource> disc(new CdioSource());
  disc->drive_ = true;
  disc->h_->cdio.reset(cdio_open(cue.c_str(), DRIVER_BINCUE));
  if (disc->h_->cdio) disc->toc_ = readCdioToc(disc->h_->cdio.get());
  std::string problem =
      disc->toc_.tracks.empty() ? "no contiene ninguna pista" : tocProblem(disc->toc_);
  if (problem.empty()) return disc;
  if (reason) *reason = std::move(problem);
  return nullptr;
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
  if (drive_) return readParanoia(lsn, count, out);
  if (lsn < 0 || int64_t{lsn} + count > toc_.leadOutLsn) return SectorRead::Missing;
  bool read = false;
  for (int attempt = 0; attempt < 2 && !read; ++attempt)
    read = cdio_read_audio_sectors(h_->cdio.get(), out, lsn, static_cast<uint32_t>(count)) ==
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
    h_->drive.reset(cdio_cddap_identify_cdio(h_->cdio.get(), CDDA_MESSAGE_FORGETIT, nullptr));
    if (!h_->drive || cdio_cddap_open(h_->drive.get()) != 0) {
      h_->drive.reset();
      return SectorRead::Unreadable;
    }
    h_->paranoia.reset(paranoia_init(h_->drive.get()));
    if (!h_->paranoia) return SectorRead::Unreadable;
    paranoia_modeset(h_->paranoia.get(), PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
    paranoiaNext_ = -1;
  }
  if (lsn != paranoiaNext_) {
    paranoia_seek(h_->paranoia.get(), lsn, SEEK_SET);
    paranoiaNext_ = lsn;
  }
  for (int32_t i = 0; i < count; ++i) {
    // At most 10 re-reads of a stretch before paranoia gives up on it.
    const int16_t* sector = paranoia_read_limited(h_->paranoia.get(), nullptr, 10);
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
  return cdio_set_speed(h_->cdio.get(), multiple > 0 ? multiple : -1) == DRIVER_OP_SUCCESS;
}
