#include "disc/Playback.h"

#include "disc/PlaybackCore.h"
#include "disc/Writer.h"

Playback::Playback(std::shared_ptr<SectorSource> source, AudioOutputFactory output, Clock clock)
    : core_(
          std::make_shared<PlaybackCore>(std::move(source), std::move(output), std::move(clock))) {
  if (!core_->disc.present()) return;  // nothing will ever play: no threads
  reader_ = Worker([core = core_](const Worker::Mark& mark) { runReader(*core, mark); });
  writer_ = Worker([core = core_](const Worker::Mark& mark) { Writer(*core, mark).run(); });
}

Playback::~Playback() {
  {
    std::lock_guard lock(core_->m);
    core_->quit = true;
    core_->pushLocked(PlaybackCore::Command::Quit, 0);
    core_->readerCv.notify_all();
  }
  Worker::letGo({&reader_, &writer_}, std::chrono::microseconds(kLetGoUs));
}

void Playback::play() {
  std::lock_guard lock(core_->m);
  if (core_->mode == DeviceMode::Stopped || core_->mode == DeviceMode::Paused) core_->startLocked();
}

void Playback::stop() {
  PlaybackCore& c = *core_;
  std::lock_guard lock(c.m);
  if (c.mode == DeviceMode::Playing) c.haltLocked();
  if (c.mode == DeviceMode::Playing || c.mode == DeviceMode::Paused) c.mode = DeviceMode::Stopped;
}

void Playback::pause() {
  PlaybackCore& c = *core_;
  std::lock_guard lock(c.m);
  if (c.mode == DeviceMode::Playing) {
    c.haltLocked();
    c.mode = DeviceMode::Paused;
  } else if (c.mode == DeviceMode::Paused) {
    c.startLocked();
  }
}

void Playback::seek(int64_t frame) {
  PlaybackCore& c = *core_;
  std::lock_guard lock(c.m);
  if (c.mode == DeviceMode::NoDisc) return;
  if (c.mode == DeviceMode::Playing) c.pushLocked(PlaybackCore::Command::Halt, c.epoch);
  ++c.epoch;
  c.pos = c.disc.onDisc(frame);
  if (c.mode == DeviceMode::Playing) c.mode = DeviceMode::Stopped;
}

void Playback::jump(int64_t frame) {
  PlaybackCore& c = *core_;
  std::lock_guard lock(c.m);
  if (c.mode == DeviceMode::NoDisc) return;
  const bool playing = c.mode == DeviceMode::Playing;
  if (playing) c.pushLocked(PlaybackCore::Command::Halt, c.epoch);
  ++c.epoch;
  c.pos = c.disc.onDisc(frame);
  if (playing) c.startLocked();
}

int64_t Playback::position() const {
  std::lock_guard lock(core_->m);
  return core_->currentLocked();
}

DeviceMode Playback::mode() const {
  std::lock_guard lock(core_->m);
  return core_->mode;
}
