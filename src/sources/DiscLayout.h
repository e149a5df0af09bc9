#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sources/SectorSource.h"

// A rip as a cue sheet or a cdrdao TOC describes it, in the terms both share:
// the files it names, and tracks made of stretches of those files and of
// silence, laid one after the other as a burner lays them on a disc. Both
// readers describe a rip this way and layOutRip() turns the description into
// the disc: the table of contents and where each of its frames comes from.
// Frames are 44.1 kHz stereo frames (kFramesPerSector a sector).

// The longest disc a rip may describe, sectors after LSN 0 (99:59:74).
inline constexpr int32_t kMaxDiscSectors = sectorsOfMsf(100, 0, 0) - kLeadInSectors;
inline constexpr int64_t kMaxDiscFrames = int64_t{kMaxDiscSectors} * kFramesPerSector;
inline constexpr int kMaxRipFiles = 99;
inline constexpr int kMaxRipTracks = 99;
// A data track whose sectors no file of the rip holds (a data session the
// ripper left out) takes the least a CD track may: 4 s.
inline constexpr int32_t kUnheldDataSectors = 300;

// How a file holds its samples.
enum class FileKind {
  LittleEndian,  // raw 16-bit stereo, little-endian
  BigEndian,     // the same, big-endian
  Encoded,       // WAVE, FLAC, MP3...: a decoder reads it
};

struct RipFile {
  std::string name;     // as written, UTF-8, for messages
  std::string rawName;  // the description's own bytes, to look the file up
  FileKind kind = FileKind::LittleEndian;
  int64_t byteOffset = 0;  // raw files: the byte where the first sample starts
  int32_t dataBytes = 0;   // > 0: data only, this many bytes a sector; never read
  int line = 0;
};

struct RipStretch {
  int file = -1;        // into RipDescription::files; -1: silence
  int64_t from = 0;     // the file's frame where the stretch starts
  int64_t frames = -1;  // -1: to the end of the file
  bool pad = false;     // what follows starts at the next whole sector
  int line = 0;
};

// A place in a track: `sectors` after the start of its stretch `stretch`
// (rounded up to a whole sector); `stretch` may be the number of stretches,
// the end of what the track holds.
struct RipMark {
  size_t stretch = 0;
  int64_t sectors = 0;
  int line = 0;
};

struct RipTrack {
  int number = 0;  // as written, for messages
  int line = 0;
  bool audio = true;  // data tracks are laid out as silence
  bool preemphasis = false;
  int session = 1;
  CdText text;
  // What the track holds, from the end of the track before (its INDEX 00
  // pregap, if any, then its audio); it ends on a whole sector.
  std::vector<RipStretch> content;
  RipMark start;               // INDEX 01
  std::vector<RipMark> marks;  // other indexes: they only have to lie in the track
};

struct RipDescription {
  std::string name;  // the sheet's or TOC's file name, for messages
  CdText text;       // the album's
  std::vector<RipFile> files;
  std::vector<RipTrack> tracks;

  // «disco.toc», línea 7: `what` (line 0: the file as a whole).
  std::string problem(int line, const std::string& what) const;
};

// A stretch of the laid-out disc: frames of one file, or silence (file < 0).
struct RipPiece {
  int64_t frame = 0;  // from LSN 0
  int64_t frames = 0;
  int file = -1;
  int64_t fileFrame = 0;  // the file's frame at `frame`
};

struct RipLayout {
  std::vector<RipPiece> pieces;  // in disc order, without holes, up to the lead-out
  DiscToc toc;
};

// Lays `rip` out as a burned disc, `fileFrames[i]` being the length of
// files[i] (data files: whole sectors):
// - the tracks follow one another, each ending on a whole sector;
// - a track starts (INDEX 01) at its `start`; what comes before counts in the
//   previous track's length, as a table of contents counts it;
// - a track of a later session than the one before starts at least
//   kSessionGapSectors after the end of that one (silence is put in before
//   it as needed), and the track before ends where its audio ends;
// - data tracks are silence.
// Null with the reason in `*reason` when the rip cannot be a CD (a stretch
// past the end of its file, an empty track, a mark past a track's end, no
// audio track, longer than a CD).
std::optional<RipLayout> layOutRip(const RipDescription& rip,
                                   const std::vector<int64_t>& fileFrames, std::string* reason);

// A time or length in sectors as a sheet writes it: mm:ss:ff.
std::string cueTime(int64_t sectors);

// `name` between quotation marks, cut to a readable length (its start and
// its end around an ellipsis) when it is long.
std::string quotedName(const std::string& name);
