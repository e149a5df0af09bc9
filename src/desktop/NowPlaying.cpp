#include "desktop/NowPlaying.h"

#include <algorithm>
#include <chrono>

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
  const desktop::Player::Track &a = track, &b = o.track;
  return mode == o.mode && tracks == o.tracks && a.number == b.number && a.start == b.start &&
         a.length == b.length && a.pastStart == b.pastStart && sameText(a.text, b.text) &&
         sameText(album, o.album);
}

NowPlaying::NowPlaying(desktop::Player& player) : QObject(&player), player_(player) {
  connect(&player, &desktop::Player::commandSent, this, &NowPlaying::afterCommand);
  connect(&player, &desktop::Player::ticked, this, &NowPlaying::refresh);
  state_ = look();
  lastPosition_ = player.position();
  lastSeenMs_ = steadyMs();
}

NowPlaying::State NowPlaying::look() const {
  State s;
  s.mode = player_.mode();
  s.tracks = player_.tracks();
  s.track = player_.trackAt(player_.position());
  s.album = player_.album();
  return s;
}

int32_t NowPlaying::elapsedMs() const {
  if (state_.track.number == 0) return 0;
  const int64_t elapsed = int64_t{player_.position()} - state_.track.start;
  return static_cast<int32_t>(std::clamp<int64_t>(elapsed, 0, state_.track.length));
}

// The device's own rules over the table: next leaves the last track alone;
// previous goes back a track, or to the start of this one once past its
// first seconds, and on track 1 only the latter.
bool NowPlaying::canGoPrevious() const {
  const desktop::Player::Track& t = state_.track;
  return t.number > 1 || (t.number == 1 && t.pastStart);
}

bool NowPlaying::canGoNext() const {
  return state_.track.number > 0 && state_.track.number < state_.tracks;
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
  const State now = look();

  // A move the clock does not explain, without a command: the disc ran out
  // and went back to track 1, a drive skipped.
  const int32_t position = player_.position();
  const int64_t at = steadyMs();
  const bool playing = now.mode == desktop::Player::Mode::Playing;
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
  if (!(now == state_)) {
    state_ = now;
    emit changed();
  }
  if (jump) emit jumped();
}
