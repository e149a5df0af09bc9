#pragma once

#include <array>
#include <cstdint>

class MMControl;

// The track table and the current-track range. Module-level state, alive for
// the whole run; one window per process uses it.
namespace modFunciones {

// One track: [start, end) in ms from the start of the disc, and its length.
struct TrackEntry {
  int32_t start = 0;
  int32_t end = 0;
  int32_t length = 0;
};

// Rows are indexed by track number. Row 0 is never written: every lookup that
// finds no track falls back on its zeros. A disc holds at most 99 tracks.
inline constexpr int16_t kMaxTracks = 99;
inline std::array<TrackEntry, kMaxTracks + 1> TrackTable{};

// The range of the track now playing, ms; 0 and 0 until the first refresh
// and whenever the position lies in no track.
inline int32_t CurrentStart = 0;
inline int32_t CurrentEnd = 0;

// Horizontal limits of the seek thumb, twips; 0 until the first refresh.
inline int32_t SeekLeftLimit = 0;
inline int16_t SeekRightLimit = 0;

inline constexpr int32_t kSeekLeftLimit = 100;
inline constexpr int16_t kSeekRightLimit = 3750;

// The track that holds `position` (ms), among tracks 1..trackCount of the
// table; 0 when none does. The first match wins. Counts above 99 look at
// rows 1..99 only.
int16_t FindTrack(int32_t position, int16_t trackCount);

// Reads Position, then Tracks, and sets the current-track range to the track
// that holds the position (0..0 when none) and the seek limits to 100..3750.
void RefreshCurrentTrack(const MMControl& device);

// Writes the row of track `track` (1..99) from its start and length, ms; the
// end saturates at the largest 32-bit value. Other track numbers are ignored.
void SetTrackRow(int16_t track, int32_t start, int32_t length);

// A device track count as the table sees it: 0..99.
int16_t TableTrackCount(int32_t deviceTracks);

// Puts every value above back to its start-of-run state.
void ResetState();

}  // namespace modFunciones
