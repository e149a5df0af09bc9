#include "sources/DiscOpener.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "sources/CdioDrive.h"
#include "sources/CdioSource.h"
#include "sources/FileLookup.h"
#include "sources/RegularFile.h"
#include "sources/RipSource.h"
#include "sources/SystemError.h"

namespace fs = std::filesystem;

namespace {

// The cue sheet beside the raw image `image`: the same base name with .cue
// (see findFile: failing that, the one sheet whose name differs only in case).
std::string sheetBeside(const std::string& image) {
  const fs::path p(image);
  return findFile(p.parent_path().string(), {p.stem().string() + ".cue"}).path;
}

}  // namespace

DiscAccess DiscAccess::system() {
  DiscAccess a;
  a.drive = [](const std::string& path) -> std::unique_ptr<Drive> {
    if (!isDrivePath(path)) return nullptr;
    auto d = std::make_unique<CdioDrive>(path);
    if (d->node().empty()) return nullptr;
    return d;
  };
  a.image = openImage;
  return a;
}

bool isDrivePath(const std::string& path) {
  return path.empty() || deviceKind(path) == DeviceKind::Drive;
}

std::unique_ptr<SectorSource> openImage(const std::string& path, std::string* reason) {
  auto refuse = [&](const std::string& why) -> std::unique_ptr<SectorSource> {
    if (reason) *reason = why;
    return nullptr;
  };
  // Only regular files are images: a FIFO or a device is refused without
  // being opened, so nothing waits on it.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return refuse(systemErrorText(errno));
  if (!S_ISREG(st.st_mode))
    return refuse("es " + fileKindText(st.st_mode) +
                  ", no una unidad de CD ni una imagen de disco");
  if (::access(path.c_str(), R_OK) != 0)
    return refuse("no se puede leer: " + systemErrorText(errno));

  if (hasExtension(path, ".cue")) return openCueSheet(path, reason);
  if (hasExtension(path, ".toc")) return openTocFile(path, reason);
  if (hasExtension(path, ".bin") || hasExtension(path, ".img")) {
    const std::string sheet = sheetBeside(path);
    if (sheet.empty())
      return refuse("es una imagen sin su hoja .cue: falta " +
                    quoted(fs::path(path).stem().string() + ".cue") + " a su lado");
    return openCueSheet(sheet, reason);
  }
  if (hasExtension(path, ".nrg")) {
    auto source = CdioSource::open(path, reason);
    if (source && source->toc().tracks.empty()) return refuse("no contiene ninguna pista");
    return source;
  }
  return refuse(
      "no es una imagen de disco que Velmar sepa leer (se admiten hojas .cue con sus archivos, "
      "imágenes .bin o .img con su hoja .cue, .toc de cdrdao y .nrg)");
}

std::string discPathProblem(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return systemErrorText(errno);
  std::string why;
  switch (deviceKind(path, &why)) {
    case DeviceKind::NotADrive:
      return why;
    case DeviceKind::Drive:
      // A drive is read by the window, which waits for its disc.
      return ::access(path.c_str(), R_OK) == 0 ? std::string()
                                               : "no se puede leer: " + systemErrorText(errno);
    case DeviceKind::NotADevice:
      break;
  }
  std::string reason;
  if (!openImage(path, &reason)) return reason;
  return {};
}
