#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sources/AudioFile.h"
#include "sources/DiscLayout.h"
#include "sources/SectorSource.h"

// A rip (a cue sheet or a cdrdao TOC and the files it names) read as the disc
// a burner would make of it: see layOutRip() for the layout, AudioFile for
// how each file is read.
class RipSource : public SectorSource {
 public:
  // Completes a description once its files are open: `fileFrames` holds each
  // file's length (data files: whole sectors). False with the reason in
  // `*reason`.
  using Completion = std::function<bool(RipDescription& rip, const std::vector<int64_t>& fileFrames,
                                        std::string* reason)>;

  // Opens every file `rip` names, found beside `folder` (see findRipFile),
  // lets `complete` (when given) finish the description, and lays the disc
  // out. Null, with the reason in Spanish in `*reason` («disco.cue», línea
  // 7: ...), when it cannot be played.
  static std::unique_ptr<RipSource> open(RipDescription rip, const std::string& folder,
                                         std::string* reason, const Completion& complete = {});

  const DiscToc& toc() const override { return layout_.toc; }
  // Audio across file boundaries, silence for gaps and data tracks. Missing
  // for sectors a file no longer holds (it shrank after it was opened) or
  // outside the disc; Unreadable for a read error (after one more try).
  SectorRead read(int32_t lsn, int32_t count, int16_t* out) override;

 private:
  struct OpenFile {
    std::string path;
    std::unique_ptr<AudioFile> audio;  // null: a data file, never read
    bool noted = false;                // a failure has been reported and not yet cleared
  };

  RipSource() = default;
  SectorRead readFile(const RipPiece& piece, int64_t frame, int64_t count, int16_t* out);
  void note(OpenFile& f, const std::string& what);

  std::vector<OpenFile> files_;
  RipLayout layout_;
};

// The file a rip names, relative to the rip's folder `folder`: the name as
// written if it exists (also with backslashes read as slashes), else its last
// component in `folder` (a path of the machine it was ripped on), else the
// one file whose name differs from either only in case. Empty with the reason
// in `*why` (to follow the name) when there is none or several, or when the
// name is too long for the file system.
std::string findRipFile(const std::string& folder, const RipFile& file, std::string* why);

// Opens the cue sheet at `path` and the files it names.
std::unique_ptr<RipSource> openCueSheet(const std::string& path, std::string* reason);

// Opens the cdrdao TOC file at `path` and the files it names.
std::unique_ptr<RipSource> openTocFile(const std::string& path, std::string* reason);
