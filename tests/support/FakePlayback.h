#pragma once

#include <gtest/gtest.h>

#include <QTest>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "disc/CdioDevice.h"
#include "disc/ReadAhead.h"
#include "support/TestDisc.h"

// The one rig for playback under test: a CdioDevice on an image or rip,
// read the way a drive reads (reads that stall), playing into a sound device
// that plays in step with a clock (us) that moves only when the test moves
// it. The source and the outputs hold the world by a shared pointer, so
// that a thread left stuck by a test frees it on its own.
struct World {
  std::atomic<int64_t> now{1000000};  // us
  std::atomic<bool> release{false};   // ends every wait
  std::mutex m;

  // The drive: the first read of each sector in `stalls` waits that long
  // (us of the clock).
  std::map<int32_t, int64_t> stalls;
  std::atomic<bool> stalling{false};
  std::atomic<int64_t> readTo{0};  // the disc frame after the last one read
  std::weak_ptr<int> source;       // expires with the source

  // The sound device: a buffer of kBuffer frames played at 44.1 kHz of the
  // clock. A write waits (in real time) for room or an abort; frames the
  // clock reaches before they were written are a gap, unless flushed.
  static constexpr int64_t kBuffer = 8820;  // 200 ms
  std::vector<int16_t> pcm;                 // what was heard, then what waits to be
  std::vector<int64_t> marks;               // where each open and each drop left pcm
  int64_t gapFrames = 0;
  int64_t played = 0, t0 = -1, base = 0;  // playing since the clock's t0, from frame base
  bool flushed = false, live = false;     // live: an output is open
  int opens = 0, closes = 0;
  int64_t openFailsUntilUs = 0;
  bool failNextWrite = false;
  std::atomic<bool> stuckWrite{false}, stuckDrop{false};

  void hold(const std::atomic<bool>& stuck) {
    while (stuck && !release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  int64_t total() const { return static_cast<int64_t>(pcm.size() / 2); }
  void advanceLocked() {
    if (t0 < 0) return;
    const int64_t due = base + framesOfUs(now - t0);
    if (due > total()) {
      if (!flushed) gapFrames += due - total();
      base = total();
      t0 = now;
    }
    played = std::min(due, total());
  }
  void stopLocked() {
    advanceLocked();
    pcm.resize(static_cast<size_t>(played * 2));
    marks.push_back(total());
    t0 = -1;
    flushed = false;
  }
};

// An image read as the drive of `World` reads; the tracks numbered in
// `preemphasis` (from 1) flagged for pre-emphasis.
class DriveLike : public SectorSource {
 public:
  DriveLike(std::shared_ptr<World> w, std::unique_ptr<SectorSource> image,
            const std::set<int>& preemphasis)
      : w_(std::move(w)), image_(std::move(image)), toc_(image_->toc()) {
    for (int t : preemphasis) toc_.tracks.at(static_cast<size_t>(t - 1)).preemphasis = true;
    w_->source = alive_;
  }
  const DiscToc& toc() const override { return toc_; }
  SectorRead read(int32_t lsn, int32_t count, int16_t* out) override {
    int64_t until = 0;
    {
      std::lock_guard lock(w_->m);
      if (auto s = w_->stalls.lower_bound(lsn); s != w_->stalls.end() && s->first < lsn + count) {
        until = w_->now + s->second;
        w_->stalls.erase(s);
        w_->stalling = true;
      }
    }
    while (w_->now < until && !w_->release)
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    w_->stalling = false;
    w_->readTo = frameOfLsn(lsn + count);
    return image_->read(lsn, count, out);
  }

 private:
  std::shared_ptr<World> w_;
  std::unique_ptr<SectorSource> image_;
  DiscToc toc_;
  std::shared_ptr<int> alive_ = std::make_shared<int>();
};

// The sound device's output; closing it discards what waits.
class SinkOutput : public AudioOutput {
 public:
  explicit SinkOutput(std::shared_ptr<World> w) : w_(std::move(w)) {}
  ~SinkOutput() override {
    std::lock_guard lock(w_->m);
    ++w_->closes;
    if (!opened_) return;
    w_->live = false;
    w_->stopLocked();
  }
  bool open() override {
    std::lock_guard lock(w_->m);
    ++w_->opens;
    if (w_->now < w_->openFailsUntilUs) return false;
    w_->stopLocked();
    w_->live = opened_ = true;
    return true;
  }
  int64_t write(const int16_t* frames, int64_t count, const AbortSignal& abort) override {
    w_->hold(w_->stuckWrite);
    std::unique_lock lock(w_->m);
    if (std::exchange(w_->failNextWrite, false)) return -1;
    for (w_->advanceLocked(); w_->total() - w_->played >= World::kBuffer; w_->advanceLocked()) {
      lock.unlock();
      std::this_thread::sleep_for(std::chrono::microseconds(100));
      lock.lock();
      if (abort.raised()) return 0;
    }
    const int64_t n = std::min(count, World::kBuffer - (w_->total() - w_->played));
    if (w_->t0 < 0) {
      w_->t0 = w_->now;
      w_->base = w_->played = w_->total();
    }
    w_->pcm.insert(w_->pcm.end(), frames, frames + n * 2);
    return n;
  }
  int64_t delay() override {
    std::lock_guard lock(w_->m);
    w_->advanceLocked();
    return w_->total() - w_->played;
  }
  void drop() override {
    w_->hold(w_->stuckDrop);
    std::lock_guard lock(w_->m);
    w_->stopLocked();
  }
  void flush() override {
    std::lock_guard lock(w_->m);
    w_->flushed = true;
  }

 private:
  std::shared_ptr<World> w_;
  bool opened_ = false;
};

// A CdioDevice on an image of `plan` made at test time (real libcdio),
// playing into the sound device.
struct DeviceRig : TestDisc {
  std::shared_ptr<World> w = std::make_shared<World>();
  CdioDevice dev;

  explicit DeviceRig(const discgen::DiscPlan& plan, std::set<int> preemphasis = {})
      : TestDisc(plan),
        dev(
            cue, [w = w] { return std::make_unique<SinkOutput>(w); },
            [w = w] { return w->now.load(); }, access(w, std::move(preemphasis))) {
    dev.open();
  }
  ~DeviceRig() { w->release = true; }
  static DiscAccess access(std::shared_ptr<World> w, std::set<int> preemphasis) {
    DiscAccess a = DiscAccess::system();
    a.image = [w, preemphasis, image = a.image](const std::string& path, std::string* reason) {
      std::unique_ptr<SectorSource> source = image(path, reason);
      if (source) source = std::make_unique<DriveLike>(w, std::move(source), preemphasis);
      return source;
    };
    return a;
  }
  template <class F>
  auto locked(F f) {
    std::lock_guard lock(w->m);
    return f(*w);
  }
  size_t marks() {
    return locked([](World& s) { return s.marks.size(); });
  }
  // Where the device's audio starts again when it has been opened or dropped
  // since its `n`th mark and given audio after that; -1 until then.
  int64_t restartedAt(size_t n) {
    return locked([&](World& s) {
      return s.marks.size() > n && s.total() > s.marks.back() ? s.marks.back() : -1;
    });
  }
  // Runs a transport command and waits until the writer has carried it out
  // (the output dropped, then given audio if playback goes on), so that the
  // clock the test moves next counts from there.
  void act(const std::function<void()>& command) {
    const size_t n = marks();
    const bool wasPlaying = dev.mode() == DeviceMode::Playing;
    command();
    EXPECT_TRUE(!wasPlaying || QTest::qWaitFor([&] { return marks() > n; }));
    EXPECT_TRUE(dev.mode() != DeviceMode::Playing ||
                QTest::qWaitFor([&] { return restartedAt(wasPlaying ? n : marks() - 1) >= 0; }));
  }
  // Moves the clock by `ms` in steps, giving the writer after each step the
  // moment it needs to fill an open device again (or a little longer). With
  // `reading`, each step also gives the reader the moment it needs to keep
  // the read-ahead filled, as it would in real time.
  void run(int ms, int stepMs = 10, bool reading = false) {
    const int64_t end = frameOfMs(dev.trackPosition(dev.tracks()) + dev.trackLength(dev.tracks()));
    for (int t = 0; t < ms; t += stepMs) {
      w->now += int64_t{stepMs} * 1000;
      std::this_thread::sleep_for(std::chrono::microseconds(300));
      (void)QTest::qWaitFor(
          [&] {
            return locked([](World& s) {
                     s.advanceLocked();
                     return s.total() - s.played >= World::kBuffer || s.flushed || !s.live;
                   }) &&
                   (!reading || w->stalling || w->readTo >= end ||
                    w->readTo - frameOfMs(dev.position()) >=
                        ReadQueue::kLowFrames - kMaxSectorsPerRead * 588);
          },
          30);
    }
  }
  bool at(int32_t ms) {
    return QTest::qWaitFor([&] { return dev.position() == ms; });
  }
  // `n` frames from the `from`th the device was given.
  std::vector<int16_t> heard(int64_t from, int64_t n) {
    std::vector<int16_t> s;
    EXPECT_TRUE(QTest::qWaitFor([&] {
      return locked([&](World& k) {
        if (k.total() < from + n) return false;
        s.assign(k.pcm.begin() + from * 2, k.pcm.begin() + (from + n) * 2);
        return true;
      });
    }));
    return s;
  }
};
