#include <QCoreApplication>
#include <QLabel>
#include <algorithm>

#include "app/frmVelmar.h"
#include "disc/MMControl.h"
#include "disc/modFunciones.h"
#include "view/SeekMath.h"
#include "view/TimeFormat.h"
#include "view/ViewState.h"

namespace {

// The track that holds the device's position now, by the track table.
int16_t trackNow(const MMControl& device) {
  const int32_t position = device.Position();
  return modFunciones::FindTrack(position, modFunciones::TableTrackCount(device.Tracks()));
}

}  // namespace

// Every 200 ms: follows playback into the current-track range, places the
// thumb and rewrites the caption, unless a drag owns the thumb; then lets
// pending events run. The track number comes from fresh readings while the
// thumb and the elapsed time come from the position read first, so a tick at
// a track boundary can pair the new number with the old time; the next tick
// puts them together again.
void frmVelmar::Timer1_Timer() {
  using namespace modFunciones;
  if (!view::Dragging) {
    const int32_t p = MMControl1->Position();
    view::Elapsed = p;
    // The range is half-open like the table's rows: its end is already the
    // next track's start (where "Next" or a track choice leaves a stopped or
    // paused disc), so a position there refreshes too.
    const bool pastEnd = p > CurrentEnd || (p == CurrentEnd && CurrentEnd != CurrentStart);
    if (pastEnd || p < CurrentStart) RefreshCurrentTrack(*MMControl1);

    view::PlaceThumb(
        imgSlider, seekmath::ThumbLeft(p, CurrentStart, CurrentEnd, SeekLeftLimit, SeekRightLimit));

    const int64_t elapsed = int64_t{p} - CurrentStart;
    view::Elapsed = static_cast<int32_t>(std::clamp<int64_t>(elapsed, INT32_MIN, INT32_MAX));

    int16_t track = trackNow(*MMControl1);
    // Four or more characters of decimal text: the caption shows whole seconds
    // and takes the track number from one more reading.
    if (view::Elapsed >= 1000 || view::Elapsed <= -100) track = trackNow(*MMControl1);
    Label4->setText(CaptionFor(track, view::Elapsed));
  }
  QCoreApplication::processEvents();
}
