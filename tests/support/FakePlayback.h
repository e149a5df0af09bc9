#pragma once

#include <gtest/gtest.h>

#include <QTest>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "disc/CdioDevice.h"
#include "disc/Playback.h"
#include "disc/ReadAhead.h"

// Playback under test: a clock (us) that moves only when the test moves it,
// a drive that spins up and stalls, and a sound device that plays in step
// with the clock. The source and the outputs hold the world by a shared
// pointer, so that a thread left stuck by a test frees it on its own.
// `n` frames of the drive's disc from disc frame `from`: the left channel
// counts, the right one holds the high bits and is never zero.
inline std::vector<int16_t> discFrames(int64_t from, int64_t n) {
  std::vector<int16_t> s;
  for (int64_t f = from; f < from + n; ++f)
    s.insert(s.end(), {static_cast<int16_t>(f & 0xffff), static_cast<int16_t>(0x4000 | (f >> 16))});
  return s;
}

struct World {
  std::atomic<int64_t> now{1000000};  // us
  std::atomic<bool> release{false};   // ends every wait
  std::mutex m;

  // The drive: the first read of each sector in `stalls` waits that long
  // (us of the clock).
  std::map<int32_t, int64_t> stalls;
  std::atomic<bool> stalling{false};
  std::atomic<int64_t> readTo{0};  // the frame after the last one read

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

// The drive's disc: frames of discFrames(), read as `World` says.
class DriveSource : public SectorSource {
 public:
  DriveSource(std::shared_ptr<World> w, DiscToc toc) : w_(std::move(w)), toc_(std::move(toc)) {}
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
    const std::vector<int16_t> pcm = discFrames(frameOfLsn(lsn), int64_t{count} * kFramesPerSector);
    std::copy(pcm.begin(), pcm.end(), out);
    return SectorRead::Ok;
  }

 private:
  std::shared_ptr<World> w_;
  DiscToc toc_;
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

// What a test does with the world, whatever plays in it.
struct SoundRig {
  std::shared_ptr<World> w = std::make_shared<World>();

  ~SoundRig() { w->release = true; }
  Clock clock() const {
    return [w = w] { return w->now.load(); };
  }
  AudioOutputFactory sink() const {
    return [w = w] { return std::make_unique<SinkOutput>(w); };
  }
  template <class F>
  auto locked(F f) {
    std::lock_guard lock(w->m);
    return f(*w);
  }
  // Moves the clock by `ms` in steps, giving the writer after each step the
  // moment it needs to fill an open device again (or a little longer), and
  // until `also` holds, if given.
  void run(int ms, int stepMs = 10, const std::function<bool()>& also = {}) {
    for (int t = 0; t < ms; t += stepMs) {
      w->now += int64_t{stepMs} * 1000;
      std::this_thread::sleep_for(std::chrono::microseconds(300));
      (void)QTest::qWaitFor(
          [&] {
            return locked([](World& s) {
                     s.advanceLocked();
                     return s.total() - s.played >= World::kBuffer || s.flushed || !s.live;
                   }) &&
                   (!also || also());
          },
          30);
    }
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
};

// A Playback of the drive's disc, tracks of `sectors` each (flagged for
// pre-emphasis where `pre`).
struct DriveRig : SoundRig {
  struct Track {
    int32_t sectors;
    bool pre = false;
  };
  DiscToc toc;
  std::weak_ptr<SectorSource> source;
  std::unique_ptr<Playback> pb;

  DriveRig(std::initializer_list<Track> tracks) {
    for (const Track& t : tracks) {
      toc.tracks.push_back({toc.leadOutLsn, t.sectors, true, t.pre, 1, {}});
      toc.leadOutLsn += t.sectors;
    }
  }
  ~DriveRig() {
    w->release = true;
    pb.reset();
  }
  void start() {
    auto s = std::make_shared<DriveSource>(w, toc);
    source = s;
    pb = std::make_unique<Playback>(s, sink(), clock());
  }
  // Runs the clock as real time would also run the reader: each step waits
  // until the read-ahead is full again (or the drive stalls, or is read to
  // its end).
  void runReading(int ms) {
    run(ms, 10, [&] {
      return w->stalling || w->readTo >= frameOfLsn(toc.leadOutLsn) ||
             w->readTo - pb->position() >= ReadQueue::kLowFrames - kMaxSectorsPerRead * 588;
    });
  }
};

// A CdioDevice on the image or rip at `path`, playing into the sound device
// (or into `output`).
struct DeviceRig : SoundRig {
  CdioDevice dev;

  explicit DeviceRig(const std::string& path, AudioOutputFactory output = {})
      : dev(path, output ? std::move(output) : sink(), clock()) {
    dev.open();
  }
  ~DeviceRig() { w->release = true; }
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
  bool at(int32_t ms) {
    return QTest::qWaitFor([&] { return dev.position() == ms; });
  }
};
