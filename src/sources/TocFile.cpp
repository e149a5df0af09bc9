#include "sources/TocFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

// A .toc is small; anything bigger is left for the probe to refuse.
constexpr std::streamsize kMaxTocBytes = 1 << 20;

bool isSpace(char c) {
  return c == ' ' || c == '\t';
}

// Rewrites one line when it starts with a file keyword and a quoted
// relative name.
std::string rewriteLine(const std::string& line, const std::string& folder) {
  size_t i = 0;
  while (i < line.size() && isSpace(line[i])) ++i;
  size_t k = i;
  while (k < line.size() && line[k] >= 'A' && line[k] <= 'Z') ++k;
  const std::string keyword = line.substr(i, k - i);
  if (keyword != "FILE" && keyword != "AUDIOFILE" && keyword != "DATAFILE") return line;
  size_t q = k;
  while (q < line.size() && isSpace(line[q])) ++q;
  if (q == k || q >= line.size() || line[q] != '"') return line;
  const size_t end = line.find('"', q + 1);
  if (end == std::string::npos) return line;
  const std::string name = line.substr(q + 1, end - q - 1);
  if (name.empty() || name.front() == '/' || name.find('\\') != std::string::npos) return line;
  const std::string full = folder + "/" + name;
  if (full.find('"') != std::string::npos || full.find('\\') != std::string::npos) return line;
  return line.substr(0, q + 1) + full + line.substr(end);
}

}  // namespace

std::string absoluteTocNames(const std::string& text, const std::string& folder) {
  std::string out;
  out.reserve(text.size());
  bool changed = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    if (nl == std::string::npos) nl = text.size();
    const std::string line = text.substr(start, nl - start);
    std::string rewritten = rewriteLine(line, folder);
    changed = changed || rewritten != line;
    out += rewritten;
    if (nl < text.size()) out += '\n';
    start = nl + 1;
  }
  return changed ? out : text;
}

TocWithAbsoluteNames::TocWithAbsoluteNames(const std::string& path) : path_(path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return;
  std::string text(static_cast<size_t>(kMaxTocBytes) + 1, '\0');
  in.read(text.data(), kMaxTocBytes + 1);
  if (in.gcount() > kMaxTocBytes) return;
  text.resize(static_cast<size_t>(in.gcount()));
  std::error_code ec;
  const std::string folder =
      std::filesystem::absolute(std::filesystem::path(path).parent_path(), ec).string();
  if (ec) return;
  const std::string rewritten = absoluteTocNames(text, folder);
  if (rewritten == text) return;

  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/velmar-toc.XXXXXX";
  if (!::mkdtemp(pattern.data())) return;
  dir_ = pattern;
  const std::string copy = dir_ + "/" + std::filesystem::path(path).filename().string();
  std::ofstream out(copy, std::ios::binary);
  out << rewritten;
  if (out.good()) path_ = copy;
}

TocWithAbsoluteNames::~TocWithAbsoluteNames() {
  if (dir_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}
