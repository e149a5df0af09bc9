#pragma once

#include <cstdint>
#include <optional>

// The seek bar's arithmetic, in twips and ms. The thumb's Left runs from 0
// at the start of the current track to (right - left limit) at its end; it is
// not offset by the left limit. Done in double precision throughout.
namespace seekmath {

// The thumb's Left for `position` in the track [start, end), twips, stored as
// single precision. An empty range (end == start: no disc, a position in no
// track, no refresh yet) puts the thumb at 0.
float ThumbLeft(int32_t position, int32_t start, int32_t end, int32_t leftLimit,
                int16_t rightLimit);

// True when the mouse at `x` (twips from the window's left edge) may move the
// thumb: leftLimit <= x <= rightLimit.
bool WithinLimits(float x, int32_t leftLimit, int16_t rightLimit);

// The position, ms, that a thumb at `left` marks in the track [start, end):
// the inverse of ThumbLeft, rounded to the nearest ms with halves to even.
// Targets beyond the 32-bit range saturate. No target (nullopt) when the range
// is empty or the limits coincide: there is no track to move within.
std::optional<int32_t> SeekTarget(float left, int32_t start, int32_t end, int32_t leftLimit,
                                  int16_t rightLimit);

// The pixel column of a thumb whose Left is `left` twips: the nearest pixel,
// halves to even, held within the 16-bit range so absurd values stay drawable.
int ThumbPixelX(float left);

// The track (row of the track table) that list item `listIndex` stands for:
// listIndex + 1, with -1 (no item) giving row 0. nullopt past row 99.
std::optional<int16_t> TrackForListIndex(int listIndex);

}  // namespace seekmath
