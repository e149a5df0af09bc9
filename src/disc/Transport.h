#pragma once

#include <cstdint>
#include <vector>

// One row of a table of contents: start and length in ms from the start of
// the disc. Data tracks of a mixed-mode disc have audio == false.
struct TocEntry {
  int32_t start = 0;
  int32_t length = 0;
  bool audio = true;
};

// Transport rules shared by every device. `toc` is ordered by start.

// Row of track `track` (1-based); an all-zero row outside 1..toc.size().
TocEntry tocRow(const std::vector<TocEntry>& toc, int32_t track);

// End of the last track (the lead-out), ms; 0 for an empty table.
int32_t leadOut(const std::vector<TocEntry>& toc);

// How far into a track, ms, "previous" still goes back to the track before
// it rather than to the track's own start. A second press soon after a
// first one therefore goes back a track, as does a press at 0:00.
inline constexpr int32_t kPreviousBackWindowMs = 3000;

// Where "previous" goes from `ms`: within the first kPreviousBackWindowMs of
// a track, the start of the track before it; later, the start of the
// current track. Track 1 goes to its own start. Positions in no track go to
// the start of the last track that begins before them (track 1 if none).
int32_t previousTarget(const std::vector<TocEntry>& toc, int32_t ms);

// Where "next" goes from `ms`: the start of the next track; from the last
// track, its own start.
int32_t nextTarget(const std::vector<TocEntry>& toc, int32_t ms);

// A seek target brought onto the disc: below the first track's start it is
// that start; at or past the lead-out it is the lead-out (playback from
// there ends the disc at once).
int32_t clampToDisc(const std::vector<TocEntry>& toc, int32_t ms);
