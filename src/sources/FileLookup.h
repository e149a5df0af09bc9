#pragma once

#include <string>
#include <vector>

// Where a file that another one names lies: the audio files a rip names, the
// sheet beside a raw image. Names come from other machines and other file
// systems, so a name that does not exist as written is also looked up
// without regard to case.
struct FileLookup {
  std::string path;                // the file found; empty when none or several
  std::vector<std::string> alike;  // several that differ only in case: their names, sorted
  bool tooLong = false;            // a name is longer than the file system allows
};

// Looks up `names`, candidates in order of trust, relative to `folder`:
// first each name as written, the first that exists; failing that, for each
// name in turn, the files of the folder it points into whose names equal its
// last component but for case (Unicode case folding): exactly one such file
// is the file, several are none (`alike`).
FileLookup findFile(const std::string& folder, const std::vector<std::string>& names);
