#pragma once

#include <cstdint>

class QWidget;

// The playback view's module-level state, alive for the whole run; one
// window per process uses it.
namespace view {

// Set while a left-button drag on the seek bar is under way; the refresh tick
// then leaves the thumb and the caption alone.
inline bool Dragging = false;

// The tick's working value: the position read at its start (ms from the
// start of the disc), then the elapsed time in the current track (ms).
inline int32_t Elapsed = 0;

// The seek thumb's left edge, twips from the window's left edge. The widget
// is placed from it; it starts at the right limit (3750) until the first tick.
inline float ImgSliderLeft = 0.0f;

// Sets ImgSliderLeft and moves `thumb` there: x the nearest pixel of `left`
// (halves to even), y its design-time top.
void PlaceThumb(QWidget* thumb, float left);

// Puts every value above back to its start-of-run state.
void ResetState();

}  // namespace view
