#pragma once

#include <string>

// cdrdao .toc files name their audio and data files (FILE, AUDIOFILE,
// DATAFILE "name" ...) relative to the .toc's own folder, but libcdio opens
// them relative to the process's current folder. The text of a .toc with
// every relative name made absolute against `folder`; names libcdio could not
// read back once rewritten (holding a quote or a backslash) are left as they
// are. Returns `text` itself when nothing needs rewriting.
std::string absoluteTocNames(const std::string& text, const std::string& folder);

// A rewritten copy of the .toc at `path` (see absoluteTocNames) in a private
// temporary folder, removed with the object; when the .toc names no relative
// file, or cannot be read, path() is the .toc itself.
class TocWithAbsoluteNames {
 public:
  explicit TocWithAbsoluteNames(const std::string& path);
  ~TocWithAbsoluteNames();
  TocWithAbsoluteNames(const TocWithAbsoluteNames&) = delete;
  TocWithAbsoluteNames& operator=(const TocWithAbsoluteNames&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string dir_;  // the temporary folder; empty when none was made
};
