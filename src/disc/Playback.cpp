#include "disc/Playback.h"

#include <algorithm>
#include <chrono>

Playback::ClockUs Playback::steadyClock() {
  return [] {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  };
}

Playback::Playback(std::shared_ptr<SectorSource> source, AudioOutputFactory output, ClockUs clock)
    : source_(std::move(source)), outputFactory_(std::move(output)), clock_(std::move(clock)) {
  const DiscToc toc = source_ ? source_->toc() : DiscToc{};
  auto frameOf = [](int64_t lsn) { return (lsn + kLeadInSectors) * kFramesPerSector; };
  for (const DiscTrack& t : toc.tracks) {
    if (!t.audio || t.sectors <= 0) continue;
    const int64_t b = frameOf(t.lsn);
    const int64_t e = std::min(frameOf(int64_t{t.lsn} + t.sectors), frameOf(toc.leadOutLsn));
    if (e <= b) continue;
    if (!spans_.empty() && spans_.back().end == b)
      spans_.back().end = e;
    else
      spans_.push_back({b, e});
  }
  if (toc.tracks.empty()) {
    mode_ = DeviceMode::NoDisc;
  } else {
    firstFrame_ = frameOf(toc.tracks.front().lsn);
    leadOut_ = frameOf(toc.leadOutLsn);
    pos_ = firstFrame_;
  }
  worker_ = std::thread([this] { run(); });
}

Playback::~Playback() {
  {
    std::lock_guard lock(m_);
    push(Command::Quit, 0);
  }
  worker_.join();
}

// --- The window's side -------------------------------------------------------

void Playback::push(Command::Kind kind, uint64_t tag, int64_t at) {
  commands_.push_back({kind, tag, at});
  abort_.raise();
  cv_.notify_all();
}

void Playback::startLocked() {
  mode_ = DeviceMode::Playing;
  ++session_;
  push(Command::Start, session_, clock_());
}

void Playback::haltLocked() {
  pos_ = currentLocked();
  push(Command::Halt, epoch_);
}

int64_t Playback::currentLocked() const {
  if (mode_ != DeviceMode::Playing || pubSession_ != session_) return pos_;
  // Between two reports of the worker the audio goes on at the clock's pace,
  // for at most one piece.
  const int64_t since = std::clamp<int64_t>(clock_() - pubTimeUs_, 0, kExtrapolateUs);
  return std::min(pubPos_ + since * kRate / 1000000, std::max(pubPos_, leadOut_));
}

int64_t Playback::clampToDisc(int64_t frame) const {
  return std::clamp(frame, firstFrame_, std::max(firstFrame_, leadOut_));
}

void Playback::play() {
  std::lock_guard lock(m_);
  if (mode_ == DeviceMode::Stopped || mode_ == DeviceMode::Paused) startLocked();
}

void Playback::stop() {
  std::lock_guard lock(m_);
  if (mode_ == DeviceMode::Playing) haltLocked();
  if (mode_ == DeviceMode::Playing || mode_ == DeviceMode::Paused) mode_ = DeviceMode::Stopped;
}

void Playback::pause() {
  std::lock_guard lock(m_);
  if (mode_ == DeviceMode::Playing) {
    haltLocked();
    mode_ = DeviceMode::Paused;
  } else if (mode_ == DeviceMode::Paused) {
    startLocked();
  }
}

void Playback::seek(int64_t frame) {
  std::lock_guard lock(m_);
  if (mode_ == DeviceMode::NoDisc) return;
  if (mode_ == DeviceMode::Playing) push(Command::Halt, epoch_);
  ++epoch_;
  pos_ = clampToDisc(frame);
  if (mode_ == DeviceMode::Playing || mode_ == DeviceMode::Paused) mode_ = DeviceMode::Stopped;
}

void Playback::jump(int64_t frame) {
  std::lock_guard lock(m_);
  if (mode_ == DeviceMode::NoDisc) return;
  const bool playing = mode_ == DeviceMode::Playing;
  if (playing) push(Command::Halt, epoch_);
  ++epoch_;
  pos_ = clampToDisc(frame);
  if (playing) startLocked();
}

int64_t Playback::position() const {
  std::lock_guard lock(m_);
  return currentLocked();
}

DeviceMode Playback::mode() const {
  std::lock_guard lock(m_);
  return mode_;
}

// --- The worker ------------------------------------------------------------

void Playback::waitFor(int64_t us) {
  std::unique_lock lock(m_);
  cv_.wait_for(lock, std::chrono::microseconds(std::max<int64_t>(us, 0)),
               [this] { return !commands_.empty(); });
}

void Playback::run() {
  for (;;) {
    Command c{};
    int64_t from = 0;
    {
      std::unique_lock lock(m_);
      cv_.wait(lock, [this] { return !commands_.empty(); });
      c = commands_.front();
      commands_.pop_front();
      if (commands_.empty()) abort_.clear();
      if (c.kind == Command::Halt && heardValid_ && c.tag == epoch_) pos_ = lastHeard_;
      if (c.kind == Command::Halt) heardValid_ = false;
      from = pos_;
    }
    switch (c.kind) {
      case Command::Start:
        playSession(c.tag, from, c.at);
        break;
      case Command::Halt:
        break;
      case Command::Quit:
        if (output_) output_->drop();
        return;
    }
  }
}

void Playback::publish(uint64_t session, int64_t frame) {
  const int64_t now = clock_();
  std::lock_guard lock(m_);
  if (session != session_) return;
  pubSession_ = session;
  pubPos_ = frame;
  pubTimeUs_ = now;
}

bool Playback::readSectors(int32_t lsn, int32_t count, int16_t* out) {
  if (source_ && source_->read(lsn, count, out) == SectorRead::Ok) return true;
  // Read what can be read, sector by sector; the rest is silence.
  for (int32_t i = 0; i < count; ++i) {
    int16_t* sector = out + static_cast<ptrdiff_t>(i) * kSamplesPerSector;
    if (!source_ || source_->read(lsn + i, 1, sector) != SectorRead::Ok)
      std::fill(sector, sector + kSamplesPerSector, int16_t{0});
  }
  return true;
}

void Playback::playSession(uint64_t session, int64_t from, int64_t anchorUs) {
  int64_t cur = from;
  size_t si = 0;
  while (si < spans_.size() && spans_[si].end <= cur) ++si;
  if (si < spans_.size()) cur = std::max(cur, spans_[si].begin);

  if (!output_ && outputFactory_) {
    output_ = outputFactory_();
    if (output_ && !output_->open()) output_.reset();
  }

  int64_t written = 0;  // stream frames given to the output this session
  std::vector<Segment> segments{{0, cur}};
  // The clock counts from the moment playback was asked for: with no output
  // the display moves at once.
  int64_t anchor = anchorUs;
  auto clockFrames = [&] { return std::max<int64_t>(0, (clock_() - anchor) * kRate / 1000000); };
  // Stream frames heard so far: what the output has played, never ahead of
  // the clock (an output that does not pace reports no delay).
  auto heardStream = [&] {
    int64_t played = written;
    int64_t d = 0;
    if (output_) {
      d = std::clamp<int64_t>(output_->delay(), 0, written);
      played = written - d;
    }
    int64_t c = clockFrames();
    if (d > 0 && played > c) {
      // The output holds audio and runs ahead of the clock: it is the one
      // that paces, follow it.
      anchor = clock_() - played * 1000000 / kRate;
      c = played;
    }
    return std::min(played, c);
  };
  auto discOf = [&](int64_t stream) {
    auto it = std::upper_bound(segments.begin(), segments.end(), stream,
                               [](int64_t s, const Segment& g) { return s < g.stream; });
    --it;
    return it->disc + (stream - it->stream);
  };
  auto finish = [&] {
    lastHeard_ = discOf(heardStream());
    heardValid_ = true;
    if (output_) output_->drop();
  };

  publish(session, cur);
  std::vector<int16_t> buf(static_cast<size_t>(kMaxSectorsPerRead) * kSamplesPerSector);
  bool discGone = false;
  while (!abort_.raised()) {
    if (si < spans_.size() && cur >= spans_[si].end && ++si < spans_.size()) {
      cur = spans_[si].begin;
      segments.push_back({written, cur});
    }
    if (si >= spans_.size()) break;

    const int32_t lsn = static_cast<int32_t>(cur / kFramesPerSector) - kLeadInSectors;
    int64_t offset = cur % kFramesPerSector;
    const int64_t endLsn = spans_[si].end / kFramesPerSector - kLeadInSectors;
    const auto count = static_cast<int32_t>(std::min<int64_t>(kMaxSectorsPerRead, endLsn - lsn));
    if (!readSectors(lsn, count, buf.data())) {
      discGone = true;
      break;
    }
    for (int32_t s = 0; s < count && !abort_.raised(); s += kPieceSectors) {
      const int16_t* piece =
          buf.data() + static_cast<ptrdiff_t>(s) * kSamplesPerSector + offset * 2;
      const int64_t frames =
          int64_t{std::min(kPieceSectors, count - s)} * kFramesPerSector - offset;
      int64_t n = frames;
      if (output_) {
        n = output_->write(piece, frames, abort_);
        if (n < 0) {
          output_.reset();  // the output failed for good: go on silently
          n = frames;
        }
      }
      offset = 0;
      written += n;
      cur += n;
      if (n < frames) break;
      publish(session, discOf(heardStream()));
      // Pace by the clock when the output does not.
      for (int64_t ahead = written - clockFrames(); ahead > kLeadFrames && !abort_.raised();
           ahead = written - clockFrames()) {
        waitFor(std::min<int64_t>((ahead - kLeadFrames) * 1000000 / kRate + 1000, 50000));
        publish(session, discOf(heardStream()));
      }
    }
  }
  if (abort_.raised()) {
    finish();
    return;
  }

  // Off the end of the disc (or the disc has gone): let what was written be
  // heard, then stop. Bounded by the clock in case the output never drains.
  const int64_t drainLimit = written + 2 * kRate;
  if (output_) output_->flush();
  if (!discGone) {
    while (!abort_.raised()) {
      const int64_t h = heardStream();
      publish(session, discOf(h));
      if (h >= written || clockFrames() >= drainLimit) break;
      waitFor(10000);
    }
  }
  if (abort_.raised()) {
    finish();
    return;
  }
  finish();
  std::lock_guard lock(m_);
  if (session != session_ || mode_ != DeviceMode::Playing) return;
  heardValid_ = false;
  ++epoch_;
  if (discGone) {
    mode_ = DeviceMode::NoDisc;
    pos_ = 0;
  } else {
    mode_ = DeviceMode::Stopped;
    pos_ = firstFrame_;
  }
}
