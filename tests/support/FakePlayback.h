#pragma once

#include <gtest/gtest.h>

#include <QTest>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "disc/CdioDevice.h"

// A clock (us) that moves only when a test moves it, and what an output that
// plays in step with it has been given: it takes every write at once (as
// ALSA's null plugin does) and counts frames as heard at 44.1 kHz of the
// clock since the first write after a drop, never underrunning (frames that
// come late are heard as soon as the clock has passed them).
struct FakeAudio {
  std::atomic<int64_t> now = 1000000;
  std::mutex m;
  std::vector<int16_t> pcm;   // interleaved: what was heard, then what waits
  int64_t t0 = -1, base = 0;  // the clock at the first write after a drop; frames heard then
  std::atomic<int64_t> written = 0, drops = 0;

  Clock clock() {
    return [this] { return now.load(); };
  }
  int64_t heardLocked() const {
    const auto all = static_cast<int64_t>(pcm.size() / 2);
    return t0 < 0 ? all : std::min(all, base + (now - t0) * 441 / 10000);
  }
};

// The output the worker writes to; drop() discards what is not yet heard.
class FakeOutput : public AudioOutput {
 public:
  explicit FakeOutput(FakeAudio* a) : a_(a) {}
  bool open() override { return true; }
  int64_t write(const int16_t* frames, int64_t count, const AbortSignal&) override {
    std::lock_guard lock(a_->m);
    if (a_->t0 < 0) a_->t0 = a_->now, a_->base = static_cast<int64_t>(a_->pcm.size() / 2);
    a_->pcm.insert(a_->pcm.end(), frames, frames + count * 2);
    a_->written += count;
    return count;
  }
  int64_t delay() override {
    std::lock_guard lock(a_->m);
    return static_cast<int64_t>(a_->pcm.size() / 2) - a_->heardLocked();
  }
  void drop() override {
    std::lock_guard lock(a_->m);
    a_->pcm.resize(static_cast<size_t>(a_->heardLocked() * 2));
    a_->t0 = -1;
    ++a_->drops;
  }

 private:
  FakeAudio* a_;
};

// A CdioDevice on the image or rip at `path`, with an output and a clock the
// test drives.
struct DeviceRig {
  FakeAudio audio;
  CdioDevice dev;

  explicit DeviceRig(const std::string& path, AudioOutputFactory output = {})
      : dev(
            path, output ? output : [this] { return std::make_unique<FakeOutput>(&audio); },
            audio.clock()) {
    dev.open();
  }
  // Runs a transport command and waits until the worker has carried it out
  // (the output dropped, then written to if playback goes on), so that the
  // clock the test moves next counts from there.
  void act(const std::function<void()>& command) {
    const int64_t written = audio.written, drops = audio.drops;
    const bool wasPlaying = dev.mode() == DeviceMode::Playing;
    command();
    EXPECT_TRUE(!wasPlaying || QTest::qWaitFor([&] { return audio.drops > drops; }));
    EXPECT_TRUE(dev.mode() != DeviceMode::Playing ||
                QTest::qWaitFor([&] { return audio.written > written; }));
  }
  // Moves the clock in steps of 10 ms, giving the worker a moment at each.
  void run(int ms) {
    for (int t = 0; t < ms; t += 10) {
      audio.now += 10000;
      std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
  }
  bool at(int32_t ms) {
    return QTest::qWaitFor([&] { return dev.position() == ms; });
  }
  // `n` frames heard from the `from`th, once the worker has caught up.
  std::vector<int16_t> heard(int64_t from, int64_t n) {
    std::vector<int16_t> s;
    EXPECT_TRUE(QTest::qWaitFor([&] {
      std::lock_guard lock(audio.m);
      s.assign(audio.pcm.begin(), audio.pcm.begin() + audio.heardLocked() * 2);
      return static_cast<int64_t>(s.size()) >= (from + n) * 2;
    }));
    s.resize(static_cast<size_t>((from + n) * 2));
    return {s.begin() + from * 2, s.end()};
  }
};
