#include "desktop/NowPlaying.h"

#include <QFrame>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "app/frmVelmar.h"
#include "disc/MMControl.h"
#include "disc/Transport.h"
#include "disc/modFunciones.h"

namespace {

int64_t steadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool sameText(const CdText& a, const CdText& b) {
  return a.title == b.title && a.performer == b.performer;
}

// How far, ms, playback may drift from the clock between two looks before a
// move counts as a jump: a loaded machine delays looks, never the audio.
constexpr int64_t kJumpSlackMs = 1500;

}  // namespace

bool NowPlaying::State::operator==(const State& o) const {
  return mode == o.mode && canEject == o.canEject && tracks == o.tracks && track == o.track &&
         trackStart == o.trackStart && trackLength == o.trackLength &&
         pastTrackStart == o.pastTrackStart && sameText(text, o.text) && sameText(album, o.album);
}

NowPlaying::NowPlaying(frmVelmar& window) : QObject(&window), window_(&window) {
  MMControl* control = window.MMControl1;
  connect(control, &MMControl::commandSent, this, &NowPlaying::afterCommand);
  connect(control, &MMControl::discChanged, this, [this] { afterCommand(QString()); });
  // Between commands it looks at the window at the window's own tick.
  connect(window.Timer1, &QTimer::timeout, this, &NowPlaying::refresh);
  state_ = look();
  window.picLED->setToolTip(tipFor(state_));
  lastPosition_ = control->Position();
  lastSeenMs_ = steadyMs();
}

NowPlaying::State NowPlaying::look() const {
  State s;
  if (!window_ || window_->unloaded()) return s;
  const MMControl& control = *window_->MMControl1;
  s.mode = control.Mode();
  s.canEject = control.CanEject();
  const int32_t position = control.Position();
  s.tracks = modFunciones::TableTrackCount(control.Tracks());
  s.track = modFunciones::FindTrack(position, s.tracks);
  if (s.track > 0) {
    const auto& row = modFunciones::TrackTable[static_cast<size_t>(s.track)];
    s.trackStart = row.start;
    s.trackLength = row.length;
    s.pastTrackStart = int64_t{position} - row.start >= kPreviousBackWindowMs;
    s.text = control.Text(s.track);
  }
  s.album = control.Text(0);
  return s;
}

int32_t NowPlaying::elapsedMs() const {
  if (!window_ || window_->unloaded() || state_.track == 0) return 0;
  const int64_t elapsed = int64_t{window_->MMControl1->Position()} - state_.trackStart;
  return static_cast<int32_t>(std::clamp<int64_t>(elapsed, 0, state_.trackLength));
}

// The device's own rules (previousTarget, nextTarget) over the table: next
// leaves the last track alone; previous goes back a track, or to the start
// of this one once past its first seconds, and on track 1 only the latter.
bool NowPlaying::canGoPrevious() const {
  return state_.track > 1 || (state_.track == 1 && state_.pastTrackStart);
}

bool NowPlaying::canGoNext() const {
  return state_.track > 0 && state_.track < state_.tracks;
}

QString NowPlaying::tipFor(const State& s) {
  const QString title = QString::fromStdString(s.text.title);
  const QString performer = QString::fromStdString(s.text.performer);
  if (title.isEmpty() || performer.isEmpty()) return title + performer;
  return title + QLatin1Char('\n') + performer;
}

// A command word was carried out (or the disc changed: empty word). The
// window sends a jump as several words in one handler ("stop", To, "seek",
// "play"); the state is looked at once they are all sent.
void NowPlaying::afterCommand(const QString& word) {
  const QString w = word.toLower();
  if (w == QLatin1String("seek") || w == QLatin1String("prev") || w == QLatin1String("next"))
    jumpPending_ = true;
  if (settlePending_) return;
  settlePending_ = true;
  QMetaObject::invokeMethod(this, &NowPlaying::settle, Qt::QueuedConnection);
}

void NowPlaying::settle() {
  settlePending_ = false;
  const bool jump = jumpPending_;
  jumpPending_ = false;
  // Whatever the commands did to the position is known: the drift check
  // starts afresh from here.
  update(false);
  if (jump) emit jumped();
}

void NowPlaying::refresh() {
  update(true);
}

void NowPlaying::update(bool checkDrift) {
  if (!window_) return;
  const State now = look();

  // A move the clock does not explain, without a command: the disc ran out
  // and went back to track 1, a drive skipped.
  const int32_t position = window_->unloaded() ? 0 : window_->MMControl1->Position();
  const int64_t at = steadyMs();
  const bool playing = now.mode == DeviceMode::Playing;
  bool jump = false;
  if (checkDrift && !settlePending_ && (lastPlaying_ || playing)) {
    const int64_t moved = int64_t{position} - lastPosition_;
    const int64_t allowed = lastPlaying_ ? at - lastSeenMs_ : 0;
    jump = moved < -kJumpSlackMs || moved > allowed + kJumpSlackMs;
  }
  lastPosition_ = position;
  lastSeenMs_ = at;
  lastPlaying_ = playing;

  // Everything is in place before anyone hears of it: listeners read back.
  const bool changed = !(now == state_);
  if (changed) {
    state_ = now;
    const QString tip = tipFor(state_);
    if (window_->picLED->toolTip() != tip) window_->picLED->setToolTip(tip);
    emit this->changed();
  }
  if (jump) emit jumped();
}
