#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sources/DiscLayout.h"

// A cue sheet as written: its files, its tracks and their marks, each with the
// line it came from (1-based). Offsets are sectors (1/75 s) from the start of
// the file the mark falls in.
//
// The sheet may be UTF-16 or UTF-32 (with or without a byte-order mark; it is
// converted) or start with a UTF-8 byte-order mark, end its lines with LF,
// CRLF or CR and write its keywords in any case. A sheet whose bytes are valid
// UTF-8 is read as UTF-8, any other as Windows-1252; every string here is
// UTF-8.
//
// It is read as leniently as burners read sheets: tracks numbered with gaps
// (01 02 09) are the disc's tracks 1, 2, 3; FLAGS before the first TRACK are
// the first track's; a track with only INDEX 00 starts there; an INDEX 02 or
// later may lie anywhere in its file; a data track may be of any MODEx/size.

inline constexpr size_t kMaxCueSheetBytes = size_t{1} << 20;
inline constexpr int kMaxCueFiles = kMaxRipFiles;

struct CueFile {
  using Kind = FileKind;  // BINARY: LittleEndian; MOTOROLA: BigEndian
  std::string name;       // as written, UTF-8
  std::string rawName;    // the sheet's own bytes (differ from `name` in a Windows-1252 sheet)
  Kind kind = Kind::LittleEndian;
  int line = 0;
};

struct CueIndex {
  int number = 0;      // 0..99
  int file = 0;        // into CueSheet::files
  int32_t offset = 0;  // sectors from the start of that file
  int line = 0;
};

struct CueTrack {
  int number = 0;  // as written, 1..99
  int line = 0;
  int32_t sectorBytes = 2352;  // bytes one sector of this track takes in its file
  bool audio = true;
  bool preemphasis = false;
  int session = 1;
  int32_t pregap = 0;   // PREGAP: sectors of silence before the first INDEX
  int32_t postgap = 0;  // POSTGAP: sectors of silence after the track's audio
  int pregapLine = 0, postgapLine = 0;
  // Ascending numbers: INDEX 00 and INDEX 01 (either may be missing, not
  // both), then any others.
  std::vector<CueIndex> indexes;
  CdText text;

  const CueIndex& first() const { return indexes.front(); }
  // INDEX 01, where the track starts (INDEX 00 in a track without it).
  const CueIndex& start() const {
    return indexes[indexes.front().number == 0 && indexes.size() > 1 ? 1 : 0];
  }
};

struct CueSheet {
  std::string name;       // the sheet's file name, for messages
  bool sessions = false;  // REM SESSION lines give the tracks' sessions
  CdText text;            // the album's
  std::vector<CueFile> files;
  std::vector<CueTrack> tracks;

  // A reason the sheet cannot be played: «disco.cue», línea 7: `what`
  // (line 0: the sheet as a whole).
  std::string problem(int line, const std::string& what) const;
};

// Reads the sheet `bytes`, named `name` in messages. Null with the reason in
// Spanish in `*reason` when it is malformed.
std::optional<CueSheet> parseCueSheet(std::string_view bytes, const std::string& name,
                                      std::string* reason);

// Reads the sheet at `path` (a regular file of at most kMaxCueSheetBytes).
std::optional<CueSheet> readCueSheet(const std::string& path, std::string* reason);
