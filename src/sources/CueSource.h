#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sources/AudioFile.h"
#include "sources/CueSheet.h"
#include "sources/SectorSource.h"

// A cue sheet and the files it names, read as the disc a burner would make
// of them:
// - the files follow one another; each takes whole sectors (a file that does
//   not fill its last sector ends with silence), so a file's length decides
//   where the next file's tracks start, and the last track ends with its
//   file;
// - a track starts at its INDEX 01; an INDEX 00 pregap counts in the previous
//   track's length, and track 1 starts after its own pregap, if any;
// - PREGAP and POSTGAP are silence that no file holds, before the track's
//   first mark and after its audio;
// - a later session (REM SESSION) starts kSessionGapSectors after the end of
//   the one before, as on an Enhanced CD.
class CueSource : public SectorSource {
 public:
  // Opens the sheet at `path` and every file it names. Null, with the reason
  // in Spanish in `*reason` («disco.cue», línea 7: ...), when it cannot be
  // played.
  static std::unique_ptr<CueSource> open(const std::string& path, std::string* reason);

  const DiscToc& toc() const override { return toc_; }
  // Audio across file boundaries, silence for gaps and data tracks. Missing
  // for sectors a file no longer holds (it shrank after it was opened) or
  // outside the disc; Unreadable for a read error (after one more try).
  SectorRead read(int32_t lsn, int32_t count, int16_t* out) override;

 private:
  // A stretch of the disc: sectors of one file, or silence (file < 0).
  struct Piece {
    int32_t lsn = 0, sectors = 0;
    int file = -1;
    int32_t fileSector = 0;  // the file's sector at `lsn`
  };
  struct OpenFile {
    std::string path;
    std::unique_ptr<AudioFile> audio;
    bool silent = false;  // holds no audio (a data track's file)
    bool noted = false;   // a failure has been reported and not yet cleared
  };

  CueSource() = default;
  // Opens the sheet's files, found in `folder`; `*sectors` receives each
  // one's length. False with the reason in `*reason`.
  bool openFiles(const CueSheet& sheet, const std::string& folder, std::vector<int32_t>* sectors,
                 std::string* reason);
  // Lays the files and the silence between them out as a disc.
  bool layOut(const CueSheet& sheet, const std::vector<int32_t>& sectors, std::string* reason);
  SectorRead readFile(const Piece& piece, int32_t lsn, int32_t count, int16_t* out);
  void note(OpenFile& f, const std::string& what);

  std::vector<OpenFile> files_;
  std::vector<Piece> pieces_;  // in disc order, without holes
  DiscToc toc_;
};

// The file a sheet's FILE line names, relative to the sheet's folder `folder`:
// the name as written if it exists (also with backslashes read as slashes),
// else the one file in its folder whose name differs only in case. Empty with
// the reason in `*why` (to follow the name) when there is none or several.
std::string findCueFile(const std::string& folder, const CueFile& file, std::string* why);
