#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "disc/AudioOutput.h"
#include "disc/Playback.h"

// An audio output that plays in step with an injected clock, for the places
// where no sound card exists: it accepts every write at once (as ALSA's null
// plugin does), keeps what it was given in a queue and moves frames from the
// queue to `heard` at 44.1 kHz of the clock since the first write after an
// open or a drop. It never underruns: frames that arrive late count as heard
// as soon as the clock has passed them. drop() discards the queue.
struct FakeAudio {
  std::mutex m;
  std::vector<int16_t> heard;  // interleaved stereo, in the order heard
  std::vector<int16_t> queued;
  int64_t t0 = -1;       // clock when the queue last started playing, us
  int64_t consumed = 0;  // frames heard since t0
  int64_t totalWritten = 0;
  int64_t maxQueued = 0;  // frames
  int opens = 0;
  int drops = 0;
  bool available = true;  // open() succeeds
  Playback::ClockUs clock;

  // Moves what the clock says has been played from the queue to `heard`.
  void consumeLocked() {
    if (t0 < 0) return;
    const int64_t due = (clock() - t0) * 441 / 10000 - consumed;
    const int64_t n = std::min<int64_t>(due, static_cast<int64_t>(queued.size() / 2));
    if (n <= 0) return;
    heard.insert(heard.end(), queued.begin(), queued.begin() + n * 2);
    queued.erase(queued.begin(), queued.begin() + n * 2);
    consumed += n;
  }
  int64_t heardFrames() {
    std::lock_guard lock(m);
    consumeLocked();
    return static_cast<int64_t>(heard.size() / 2);
  }
  std::vector<int16_t> heardSamples() {
    std::lock_guard lock(m);
    consumeLocked();
    return heard;
  }
};

class FakeAudioOutput : public AudioOutput {
 public:
  explicit FakeAudioOutput(std::shared_ptr<FakeAudio> s) : s_(std::move(s)) {}
  bool open() override {
    std::lock_guard lock(s_->m);
    ++s_->opens;
    return s_->available;
  }
  int64_t write(const int16_t* frames, int64_t count, const AbortSignal&) override {
    std::lock_guard lock(s_->m);
    s_->consumeLocked();
    if (s_->t0 < 0) {
      s_->t0 = s_->clock();
      s_->consumed = 0;
    }
    s_->queued.insert(s_->queued.end(), frames, frames + count * 2);
    s_->totalWritten += count;
    s_->maxQueued = std::max<int64_t>(s_->maxQueued, static_cast<int64_t>(s_->queued.size() / 2));
    return count;
  }
  int64_t delay() override {
    std::lock_guard lock(s_->m);
    s_->consumeLocked();
    return static_cast<int64_t>(s_->queued.size() / 2);
  }
  void drop() override {
    std::lock_guard lock(s_->m);
    s_->consumeLocked();
    s_->queued.clear();
    s_->t0 = -1;
    ++s_->drops;
  }

  static AudioOutputFactory factory(std::shared_ptr<FakeAudio> s) {
    return [s] { return std::make_unique<FakeAudioOutput>(s); };
  }

 private:
  std::shared_ptr<FakeAudio> s_;
};

// A microsecond clock that moves only when a test advances it.
class ManualClockUs {
 public:
  void advanceMs(int64_t ms) { now_->fetch_add(ms * 1000); }
  Playback::ClockUs clock() const {
    return [now = now_] { return now->load(); };
  }

 private:
  std::shared_ptr<std::atomic<int64_t>> now_ = std::make_shared<std::atomic<int64_t>>(1000000);
};
