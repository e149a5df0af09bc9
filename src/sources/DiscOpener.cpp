#include "sources/DiscOpener.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "sources/CdioSource.h"
#include "sources/SystemError.h"

namespace {

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
  auto source = CdioSource::open(path, reason);
  if (source && source->toc().tracks.empty()) {
    if (reason) *reason = "no contiene ninguna pista";
    return nullptr;
  }
  return source;
}

std::string discPathProblem(const std::string& path) {
  namespace fs = std::filesystem;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    return systemErrorText(errno);
  }
  if (S_ISDIR(st.st_mode)) return "es una carpeta, no una unidad de CD ni una imagen de disco";
  if (std::string why; deviceKind(path, &why) == DeviceKind::NotADrive) return why;
  if (::access(path.c_str(), R_OK) != 0) return "no se puede leer: " + systemErrorText(errno);

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
  // A drive is read by the window, which waits for its disc.
  if (isDrivePath(path)) return {};
  std::string reason;
  if (!openImage(path, &reason)) return reason;
  return {};
}
