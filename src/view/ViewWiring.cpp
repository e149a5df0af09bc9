#include <QComboBox>
#include <QFrame>
#include <QTimer>

#include "app/frmVelmar.h"
#include "disc/MMControl.h"
#include "disc/modFunciones.h"
#include "view/MouseForwarder.h"
#include "view/SeekBar.h"
#include "view/SeekMath.h"
#include "view/ViewState.h"

namespace {

// The CD-Text of the track that holds the position now, as the display box's
// tooltip: title and performer on two lines, either alone when the other is
// missing; none without CD-Text.
QString cdTextTip(const MMControl& device) {
  const int16_t track =
      modFunciones::FindTrack(device.Position(), modFunciones::TableTrackCount(device.Tracks()));
  if (track == 0) return {};
  const CdText text = device.Text(track);
  const QString title = QString::fromStdString(text.title);
  const QString performer = QString::fromStdString(text.performer);
  if (title.isEmpty() || performer.isEmpty()) return title + performer;
  return title + QLatin1Char('\n') + performer;
}

}  // namespace

void frmVelmar::wireView() {
  view::ResetState();
  view::PlaceThumb(imgSlider, view::ImgSliderLeft);
  // The thumb has no mouse handling of its own: what the mouse does on it,
  // it does on the bar beneath, so the thumb can be grabbed and dragged. The
  // thumb keeps its own cursor, also on its lowest row, below the bar.
  new MouseForwarder(imgSlider, lblSlider);

  connect(lblSlider, &SeekBar::mouseMoved, this, &frmVelmar::lblSlider_MouseMove);
  connect(lblSlider, &SeekBar::mouseReleased, this, &frmVelmar::lblSlider_MouseUp);
  // A drag that ends without a left-button release (the right button went
  // down meanwhile and came up last) seeks nowhere, but gives the thumb and
  // the caption back to the tick.
  connect(lblSlider, &SeekBar::allButtonsReleased, this, [] { view::Dragging = false; });
  // activated: every choice by mouse, keyboard or wheel, also of the item
  // already selected.
  connect(List1, &QComboBox::activated, this, &frmVelmar::List1_Click);
  // The tooltip follows playback with the tick, after it.
  connect(Timer1, &QTimer::timeout, this, [this] {
    const QString tip = cdTextTip(*MMControl1);
    if (picLED->toolTip() != tip) picLED->setToolTip(tip);
  });
}

void frmVelmar::lblSlider_MouseMove(int16_t Button, int16_t /*Shift*/, float X, float /*Y*/) {
  using namespace modFunciones;
  if (Button != 1) return;
  if (seekmath::WithinLimits(X, SeekLeftLimit, SeekRightLimit)) view::PlaceThumb(imgSlider, X);
  view::Dragging = true;
}

// Plays from the point the thumb marks in the current track. With no current
// track (no disc, a position in no track, before the first refresh) there is
// no such point: the drag ends and the device is left as it is.
void frmVelmar::lblSlider_MouseUp(int16_t Button, int16_t /*Shift*/, float X, float /*Y*/) {
  using namespace modFunciones;
  if (Button != 1) return;
  if (seekmath::WithinLimits(X, SeekLeftLimit, SeekRightLimit)) view::PlaceThumb(imgSlider, X);
  const std::optional<int32_t> target = seekmath::SeekTarget(
      view::ImgSliderLeft, CurrentStart, CurrentEnd, SeekLeftLimit, SeekRightLimit);
  if (target) {
    MMControl1->Command("stop");
    MMControl1->setTo(*target);
    MMControl1->Command("seek");
    MMControl1->Command("play");
  }
  view::Dragging = false;
}

// Plays the chosen track from its start; the next tick follows it into the
// new range. An index past the table's last row chooses nothing.
void frmVelmar::List1_Click() {
  const std::optional<int16_t> track = seekmath::TrackForListIndex(List1->currentIndex());
  if (!track) return;
  MMControl1->Command("stop");
  MMControl1->setTo(modFunciones::TrackTable[static_cast<size_t>(*track)].start);
  MMControl1->Command("seek");
  MMControl1->Command("play");
}
