#include "app/WindowPlayer.h"

#include <QSlider>
#include <QTimer>

#include "app/VolumeScale.h"
#include "app/frmVelmar.h"
#include "disc/MMControl.h"
#include "disc/Transport.h"
#include "disc/modFunciones.h"

WindowPlayer::WindowPlayer(frmVelmar& window) : desktop::Player(&window), w_(window) {
  connect(w_.MMControl1, &MMControl::commandSent, this, &Player::commandSent);
  connect(w_.MMControl1, &MMControl::discChanged, this, [this] { emit commandSent(QString()); });
  connect(w_.Timer1, &QTimer::timeout, this, &Player::ticked);
  connect(w_.Slider1, &QSlider::valueChanged, this, &Player::volumeChanged);
}

bool WindowPlayer::gone() const {
  return w_.unloaded();
}

WindowPlayer::Mode WindowPlayer::mode() const {
  switch (gone() ? DeviceMode::NotOpen : w_.MMControl1->Mode()) {
    case DeviceMode::Playing:
      return Mode::Playing;
    case DeviceMode::Paused:
      return Mode::Paused;
    case DeviceMode::Stopped:
      return Mode::Stopped;
    case DeviceMode::NotOpen:
    case DeviceMode::NoDisc:
      break;
  }
  return Mode::NoDisc;
}

int32_t WindowPlayer::position() const {
  return gone() ? 0 : w_.MMControl1->Position();
}

int16_t WindowPlayer::tracks() const {
  return gone() ? 0 : modFunciones::TableTrackCount(w_.MMControl1->Tracks());
}

WindowPlayer::Track WindowPlayer::trackAt(int32_t position) const {
  Track t;
  t.number = modFunciones::FindTrack(position, tracks());
  if (t.number == 0) return t;
  const modFunciones::TrackEntry& row = modFunciones::TrackTable[static_cast<size_t>(t.number)];
  t.start = row.start;
  t.length = row.length;
  t.pastStart = int64_t{position} - row.start >= kPreviousBackWindowMs;
  t.text = w_.MMControl1->Text(t.number);
  return t;
}

CdText WindowPlayer::album() const {
  return gone() ? CdText{} : w_.MMControl1->Text(0);
}

double WindowPlayer::volume() const {
  return volumescale::loudness(w_.Slider1->value());
}

void WindowPlayer::command(const char* word) {
  if (!gone()) w_.MMControl1->Command(word);
}

void WindowPlayer::seek(int32_t ms) {
  if (gone()) return;
  w_.MMControl1->setTo(ms);
  w_.MMControl1->Command("seek");
}

// As a drag does: the slider's own handler writes the mixer.
void WindowPlayer::setVolume(double loudness) {
  if (!gone()) w_.Slider1->setSliderPosition(volumescale::sliderValueFor(loudness));
}

void WindowPlayer::open(const std::string& disc, OpenDone done) {
  w_.OpenDisc(disc,
              [done = std::move(done)](frmVelmar::OpenOutcome outcome, const std::string& problem) {
                if (done) done(outcome == frmVelmar::OpenOutcome::Refused, problem);
              });
}

void WindowPlayer::raise(const velmar::LaunchToken& token) {
  if (!gone()) velmar::raise(w_, token);
}

void WindowPlayer::quit() {
  QTimer::singleShot(0, &w_, [w = &w_] { w->close(); });
}
