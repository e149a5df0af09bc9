#include "disc/PlaybackCore.h"

#include <algorithm>

PlaybackCore::PlaybackCore(std::shared_ptr<SectorSource> s, AudioOutputFactory f, Clock c)
    : source(std::move(s)),
      outputFactory(std::move(f)),
      clock(std::move(c)),
      disc(source ? source->toc() : DiscToc{}) {
  mode = disc.present() ? DeviceMode::Stopped : DeviceMode::NoDisc;
  pos = disc.firstFrame();
}

void PlaybackCore::pushLocked(Command::Kind kind, uint64_t tag, int64_t at) {
  commands.push_back({kind, tag, at});
  abort.raise();
  writerCv.notify_all();
}

void PlaybackCore::startLocked() {
  mode = DeviceMode::Playing;
  ++session;
  pushLocked(Command::Start, session, clock());
}

void PlaybackCore::haltLocked() {
  pos = currentLocked();
  pushLocked(Command::Halt, epoch);
}

int64_t PlaybackCore::currentLocked() const {
  if (mode != DeviceMode::Playing || pubSession != session) return pos;
  // Between two reports of the writer the audio the output holds goes on
  // at the clock's pace.
  const int64_t since = framesOfUs(std::max<int64_t>(clock() - pubTimeUs, 0));
  return pubPos + std::min(since, pubAhead);
}

void PlaybackCore::orderReadingLocked(bool read, int64_t from) {
  queue.order(read, from);
  readerCv.notify_all();
}

void PlaybackCore::publish(uint64_t s, int64_t frame, int64_t ahead) {
  const int64_t now = clock();
  std::lock_guard lock(m);
  if (s != session) return;
  pubSession = s;
  pubPos = frame;
  pubAhead = ahead;
  pubTimeUs = now;
}
