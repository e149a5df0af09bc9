#include "sources/FileLookup.h"

#include <sys/stat.h>

#include <QString>
#include <algorithm>
#include <cerrno>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

QString folded(const std::string& name) {
  return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())).toCaseFolded();
}

}  // namespace

FileLookup findFile(const std::string& folder, const std::vector<std::string>& names) {
  FileLookup found;
  for (const std::string& name : names) {
    const fs::path p = fs::path(folder) / name;
    struct stat st {};
    if (::stat(p.c_str(), &st) == 0) {
      found.path = p.string();
      return found;
    }
    found.tooLong = found.tooLong || errno == ENAMETOOLONG;
  }
  for (const std::string& name : names) {
    const fs::path p = fs::path(folder) / name;
    const QString want = folded(p.filename().string());
    std::vector<fs::path> alike;
    std::error_code ec;
    for (fs::directory_iterator it(p.parent_path().empty() ? "." : p.parent_path(), ec), end;
         !ec && it != end; it.increment(ec)) {
      if (folded(it->path().filename().string()) == want) alike.push_back(it->path());
    }
    if (alike.size() == 1) {
      found.path = alike.front().string();
      return found;
    }
    if (alike.size() > 1) {
      std::sort(alike.begin(), alike.end());
      for (const fs::path& f : alike) found.alike.push_back(f.filename().string());
      return found;
    }
  }
  return found;
}
