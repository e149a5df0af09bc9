#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sources/DiscUnits.h"

// The most sectors one read asks for.
inline constexpr int32_t kMaxSectorsPerRead = 25;
// The gap between the audio session and the data session of an Enhanced CD
// (lead-out, lead-in and pregap of the second session), sectors.
inline constexpr int32_t kSessionGapSectors = 11400;

// CD-Text (or a cue sheet's TITLE and PERFORMER), UTF-8; empty when the disc
// has none.
struct CdText {
  std::string title;
  std::string performer;
  bool empty() const { return title.empty() && performer.empty(); }
};

// One track of a disc's table of contents, in sectors.
struct DiscTrack {
  int32_t lsn = 0;      // first sector (INDEX 01); LBA = LSN + 150
  int32_t sectors = 0;  // up to the next track's start, the lead-out or the session gap
  bool audio = true;
  bool preemphasis = false;  // mastered with 50/15 us pre-emphasis
  int session = 1;           // 2 and up: a later session (the data of an Enhanced CD)
  CdText text;
};

struct DiscToc {
  std::vector<DiscTrack> tracks;  // empty: no disc
  int32_t leadOutLsn = 0;
  CdText text;  // the album's
};

// What a read of sectors gave.
enum class SectorRead {
  Ok,          // every sector read
  Unreadable,  // the sectors exist but could not be read now (scratch, I/O error)
  Missing,     // the source holds no audio there (a file shorter than its sheet says)
};

// Where the playback worker gets audio sectors from: a disc in a drive, a
// disc image or a cue sheet with its audio files. Used by one thread at a
// time once it is handed to playback; any call may block on I/O.
class SectorSource {
 public:
  virtual ~SectorSource() = default;

  virtual const DiscToc& toc() const = 0;
  // Reads `count` (1..kMaxSectorsPerRead) audio sectors from `lsn` into
  // `out`: count * kSamplesPerSector interleaved samples in the machine's
  // byte order. Retries a bounded number of times; on any result but Ok the
  // contents of `out` are unspecified.
  virtual SectorRead read(int32_t lsn, int32_t count, int16_t* out) = 0;
  // Drives: caps the read speed at `multiple` x real time (0: the drive's
  // own maximum). False where the drive does not take it.
  virtual bool setSpeed(int multiple) {
    (void)multiple;
    return false;
  }
};

// What a drive's tray holds, as the drive itself reports it without
// spinning a disc up.
enum class TrayState { Unknown, NoDisc, Open, NotReady, DiscIn };

// A CD drive, by its device node. Every call may block on the drive; the
// device calls them off the window's thread.
class Drive {
 public:
  virtual ~Drive() = default;
  virtual TrayState state() = 0;
  // Opens the disc in the drive and reads its table of contents; null when
  // there is no readable disc.
  virtual std::unique_ptr<SectorSource> openDisc() = 0;
  // Opens the tray; closes it when it is open. False where the drive cannot.
  virtual bool ejectOrClose() = 0;
  virtual bool canEject() const = 0;
};
