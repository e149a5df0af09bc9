#include "disc/Playback.h"

#include <gtest/gtest.h>

#include <QTest>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "disc/Deemphasis.h"
#include "disc/ReadAhead.h"

// Playback against a drive-like source (it spins up, stalls, has scratches
// and ends early) and an output that plays in step with a clock the test
// moves. Everything the threads use is held by a shared pointer, so that a
// thread left stuck by a test frees it on its own.
namespace {

using Gaps = std::vector<std::pair<int64_t, int64_t>>;  // where, frames

// `n` frames of the disc from frame `from` (from the disc's start, 588 per
// LBA): the left channel counts, the right one holds the high bits and is
// never zero.
std::vector<int16_t> discFrames(int64_t from, int64_t n) {
  std::vector<int16_t> s;
  for (int64_t f = from; f < from + n; ++f)
    s.insert(s.end(), {static_cast<int16_t>(f & 0xffff), static_cast<int16_t>(0x4000 | (f >> 16))});
  return s;
}
int64_t frameOf(int32_t lsn) {
  return (int64_t{lsn} + kLeadInSectors) * kFramesPerSector;
}

// The clock, the drive and the sound device, shared by the test, the source
// and the outputs.
struct World {
  std::atomic<int64_t> now{1000000};  // us
  std::atomic<bool> release{false};   // ends every wait
  std::mutex m;

  // The drive: the first read of each sector in `stalls` waits that long
  // (us of the clock); unreadableFrom to unreadableTo read Unreadable; from
  // missingFrom on the source holds nothing.
  std::map<int32_t, int64_t> stalls;
  int32_t unreadableFrom = -1, unreadableTo = -1, missingFrom = INT32_MAX;
  std::atomic<bool> stalling{false};
  std::atomic<int64_t> readTo{0};                  // the frame after the last one read
  std::vector<std::pair<int32_t, int32_t>> reads;  // lsn, count

  // The sound device: a buffer of kBuffer frames played at 44.1 kHz of the
  // clock. A write waits (in real time) for room or an abort; frames the
  // clock reaches before they were written are a gap.
  static constexpr int64_t kBuffer = 8820;  // 200 ms
  std::vector<int16_t> pcm;                 // what was heard, then what waits to be
  std::vector<int64_t> marks;               // where each open and each drop left pcm
  Gaps gaps;
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
    const int64_t due = base + (now - t0) * 441 / 10000;
    if (due > total()) {
      if (!flushed) gaps.push_back({total(), due - total()});
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

class DriveSource : public SectorSource {
 public:
  DriveSource(std::shared_ptr<World> w, DiscToc toc) : w_(std::move(w)), toc_(std::move(toc)) {}
  const DiscToc& toc() const override { return toc_; }
  SectorRead read(int32_t lsn, int32_t count, int16_t* out) override {
    int64_t until = 0;
    {
      std::lock_guard lock(w_->m);
      w_->reads.push_back({lsn, count});
      if (auto s = w_->stalls.lower_bound(lsn); s != w_->stalls.end() && s->first < lsn + count) {
        until = w_->now + s->second;
        w_->stalls.erase(s);
        w_->stalling = true;
      }
    }
    while (w_->now < until && !w_->release)
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    w_->stalling = false;
    w_->readTo = frameOf(lsn + count);
    for (int32_t s = lsn; s < lsn + count; ++s) {
      if (s >= w_->missingFrom) return SectorRead::Missing;
      if (s >= w_->unreadableFrom && s < w_->unreadableTo) return SectorRead::Unreadable;
    }
    const std::vector<int16_t> pcm = discFrames(frameOf(lsn), int64_t{count} * kFramesPerSector);
    std::copy(pcm.begin(), pcm.end(), out);
    return SectorRead::Ok;
  }

 private:
  std::shared_ptr<World> w_;
  DiscToc toc_;
};

class SinkOutput : public AudioOutput {
 public:
  explicit SinkOutput(std::shared_ptr<World> w) : w_(std::move(w)) {}
  ~SinkOutput() override {
    std::lock_guard lock(w_->m);
    ++w_->closes;
    if (!opened_) return;
    w_->live = false;
    w_->stopLocked();  // closing discards what waits
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

struct TrackSpec {
  int32_t sectors;
  bool preemphasis = false;
};

// A Playback of a disc of `tracks` from the drive, into the sound device.
struct Rig {
  std::shared_ptr<World> w = std::make_shared<World>();
  DiscToc toc;
  std::weak_ptr<SectorSource> source;
  std::unique_ptr<Playback> pb;

  Rig(std::initializer_list<TrackSpec> tracks) {
    for (const TrackSpec& t : tracks) {
      DiscTrack d;
      d.lsn = toc.leadOutLsn;
      d.sectors = t.sectors;
      d.preemphasis = t.preemphasis;
      toc.tracks.push_back(d);
      toc.leadOutLsn += t.sectors;
    }
  }
  ~Rig() {
    w->release = true;
    pb.reset();
  }
  void start() {
    auto s = std::make_shared<DriveSource>(w, toc);
    source = s;
    pb = std::make_unique<Playback>(
        s, [w = w] { return std::make_unique<SinkOutput>(w); }, [w = w] { return w->now.load(); });
  }
  template <class F>
  auto locked(F f) {
    std::lock_guard lock(w->m);
    return f(*w);
  }
  // Moves the clock by `ms` in steps, giving the writer after each step the
  // moment it needs to fill an open device again (or a little longer), until
  // it has nothing more to give. With `ahead`, each step also gives the
  // reader the moment it needs to keep the read-ahead filled (or a little
  // longer), as it would in real time.
  void run(int ms, int stepMs = 10, bool ahead = false) {
    for (int t = 0; t < ms; t += stepMs) {
      w->now += int64_t{stepMs} * 1000;
      std::this_thread::sleep_for(std::chrono::microseconds(300));
      (void)QTest::qWaitFor(
          [&] {
            const bool fed = locked([](World& s) {
              s.advanceLocked();
              return s.total() - s.played >= World::kBuffer || s.flushed || !s.live;
            });
            return fed && (!ahead || w->stalling || w->readTo >= frameOf(toc.leadOutLsn) ||
                           w->readTo - pb->position() >= ReadQueue::kLowFrames - 25 * 588);
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
  Gaps gaps() {
    return locked([](World& s) { return s.gaps; });
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

}  // namespace

TEST(PlaybackDrive, SpinUpAndAStalledReadPlayOnWithoutAGap) {
  Rig r{{75 * 20}};
  // 1 s to spin up; 1.5 s on one read, while 8 s of the disc are being read.
  r.w->stalls = {{0, 1000000}, {75 * 8, 1500000}};
  r.start();
  r.pb->play();
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.w->stalling.load(); })) << "the drive spins up";
  r.run(900, 100);
  EXPECT_EQ(r.pb->position(), frameOf(0)) << "nothing is heard while the drive spins up";
  r.run(100, 100);
  ASSERT_EQ(r.heard(0, 1).size(), 2u);
  r.run(12000, 10, true);
  EXPECT_EQ(r.gaps(), Gaps{}) << "the output ran dry";
  EXPECT_EQ(r.heard(0, 11 * 44100), discFrames(frameOf(0), 11 * 44100)) << "the disc, continuous";
  EXPECT_NEAR(r.pb->position(), frameOf(0) + 12 * 44100, 44100 / 4);
  EXPECT_EQ(r.pb->mode(), DeviceMode::Playing);
  std::lock_guard lock(r.w->m);
  EXPECT_TRUE(r.w->stalls.empty()) << "the stall was read";
}

TEST(PlaybackDrive, ScratchesAreSilenceAndMissingAudioEndsItsTrackThenTheDisc) {
  // Three tracks of 2 s: sectors 30 to 44 cannot be read, and the source
  // ends a third into track 2.
  Rig r{{150}, {150}, {150}};
  r.w->unreadableFrom = 30;
  r.w->unreadableTo = 45;
  r.w->missingFrom = 200;
  r.start();
  r.pb->play();
  r.run(3900);
  EXPECT_EQ(r.pb->mode(), DeviceMode::Playing);
  r.run(300);
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.pb->mode() == DeviceMode::Stopped; }))
      << "ends with track 2, not after track 3's worth of nothing";
  EXPECT_EQ(r.pb->position(), frameOf(0)) << "at the end, the start of track 1";
  const struct {
    int32_t from, to;  // sectors
    bool audio;
  } parts[] = {{0, 30, true}, {30, 45, false}, {45, 200, true}, {200, 300, false}};
  for (const auto& p : parts) {
    const int64_t n = int64_t{p.to - p.from} * 588;
    EXPECT_EQ(r.heard(p.from * 588, n),
              p.audio ? discFrames(frameOf(p.from), n) : std::vector<int16_t>(n * 2))
        << "sectors " << p.from << " to " << p.to;
  }
  EXPECT_EQ(r.gaps(), Gaps{});
  std::lock_guard lock(r.w->m);
  for (auto [lsn, count] : r.w->reads) EXPECT_LT(lsn, 300) << "track 3 is not read";
}

TEST(PlaybackDrive, SeeksAndJumpsWithAFullQueueAreHeardAtOnce) {
  Rig r{{75 * 30}, {75 * 30}};
  r.start();
  r.pb->play();
  r.run(3000, 10, true);
  {
    std::lock_guard lock(r.w->m);
    ASSERT_GE(r.w->reads.back().first, 75 * 5) << "seconds after the position are queued";
  }
  for (const bool jump : {true, false}) {
    SCOPED_TRACE(jump ? "jump" : "seek and play");
    const int64_t to = jump ? frameOf(75 * 40) + 123 : frameOf(75 * 2);
    const size_t marks = r.marks();
    if (jump) {
      r.pb->jump(to);
    } else {
      r.pb->seek(to);
      EXPECT_EQ(r.pb->mode(), DeviceMode::Stopped);
      EXPECT_EQ(r.pb->position(), to);
      r.pb->play();
    }
    EXPECT_EQ(r.pb->mode(), DeviceMode::Playing);
    // The clock stands still: the new position comes with its first read.
    int64_t at = -1;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (at = r.restartedAt(marks)) >= 0; }));
    EXPECT_EQ(r.heard(at, 588), discFrames(to, 588)) << "the queued audio was dropped";
    EXPECT_EQ(r.pb->position(), to);
    r.run(1000);
    EXPECT_EQ(r.heard(at, 44100), discFrames(to, 44100));
    EXPECT_NEAR(r.pb->position(), to + 44100, 441);
  }
}

TEST(PlaybackOutput, AnOutputThatFailsIsReopenedAndGoesOnFromThePositionShown) {
  Rig r{{75 * 30}};
  r.start();
  r.pb->play();
  r.run(2000);
  const size_t marks = r.locked([&](World& s) {
    s.failNextWrite = true;
    s.openFailsUntilUs = r.w->now + 2500000;  // the server is gone for 2.5 s
    return s.marks.size();
  });
  r.run(10);
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.locked([](World& s) { return !s.live; }); }))
      << "closed after the failed write";
  const int64_t failed = r.pb->position();
  EXPECT_NEAR(failed, frameOf(0) + 2 * 44100, 44100 / 4) << "what was heard";
  // Without an output the clock plays (once the audio heard last is read
  // again): each step of it is shown.
  ASSERT_TRUE(QTest::qWaitFor([&] {
    r.w->now += 10000;
    return r.pb->position() > failed;
  }));
  auto step = [&] {
    const int64_t p = r.pb->position();
    r.w->now += 50000;
    return QTest::qWaitFor([&] { return r.pb->position() >= p + 2205 - 441; }, 1000);
  };
  const int64_t before = r.pb->position();
  for (int ms = 0; ms < 1000; ms += 50) ASSERT_TRUE(step()) << "the display keeps counting";
  EXPECT_NEAR(r.pb->position(), before + 44100, 441);
  const int opens = r.locked([](World& s) { return s.opens; });
  EXPECT_GE(opens, 3) << "tried again";
  EXPECT_LE(opens, 6) << "with a growing wait";
  // Once it opens again its audio starts at the position shown then, within
  // about a second of the server's return.
  const int64_t soon = 1000000 + 2000000 + 2500000 + 1200000;
  int64_t shown = 0;
  while (r.restartedAt(marks) < 0 && r.w->now < soon) {
    shown = r.pb->position();
    if (!step()) break;  // the position stands while the output starts
  }
  int64_t at = -1;
  ASSERT_TRUE(QTest::qWaitFor([&] { return (at = r.restartedAt(marks)) >= 0; }));
  EXPECT_LT(r.w->now, soon);
  const std::vector<int16_t> first = r.heard(at, 1);
  ASSERT_EQ(first.size(), 2u);
  const int64_t resumed = (int64_t{first[1] & 0x3fff} << 16) | static_cast<uint16_t>(first[0]);
  EXPECT_NEAR(resumed, shown, 2205 + 441);
  r.run(1000);
  EXPECT_EQ(r.heard(at, 44100), discFrames(resumed, 44100)) << "and plays on from there";
  EXPECT_EQ(r.gaps(), Gaps{});
  EXPECT_EQ(r.pb->mode(), DeviceMode::Playing);
}

TEST(PlaybackLifetime, DestructionAndTransportNeverWaitOnAStuckReadOrOutput) {
  for (const std::string stuck : {"read", "write", "drop"}) {
    SCOPED_TRACE(stuck);
    const int baseline = Worker::stillRunning();
    Rig r{{75 * 30}};
    if (stuck == "read") r.w->stalls[75 * 20] = int64_t{1} << 60;  // never returns
    r.start();
    r.pb->play();
    r.run(500);
    if (stuck == "read") {
      r.pb->jump(frameOf(75 * 20));
      ASSERT_TRUE(QTest::qWaitFor([&] { return r.w->stalling.load(); }));
    } else {
      (stuck == "write" ? r.w->stuckWrite : r.w->stuckDrop) = true;
      if (stuck == "drop") r.pb->pause();  // the writer drops the output and stays there
      r.run(300);
    }
    auto quick = [](const std::function<void()>& f) {
      const auto t0 = std::chrono::steady_clock::now();
      f();
      return std::chrono::steady_clock::now() - t0 < std::chrono::milliseconds(500);
    };
    EXPECT_TRUE(quick([&] { r.pb->pause(); }));
    EXPECT_TRUE(quick([&] { r.pb->seek(frameOf(75 * 10)); }));
    EXPECT_TRUE(quick([&] { r.pb->play(); }));
    EXPECT_TRUE(quick([&] { r.pb->stop(); }));
    EXPECT_TRUE(quick([&] { (void)r.pb->position(); }));
    EXPECT_TRUE(quick([&] { r.pb.reset(); })) << "destroyed within a bound";
    EXPECT_GT(Worker::stillRunning(), baseline) << "a thread is left stuck";
    EXPECT_FALSE(r.source.expired());
    // Once free, the stuck thread ends and lets go of the source and output.
    r.w->release = true;
    EXPECT_TRUE(QTest::qWaitFor([&] { return Worker::stillRunning() == baseline; }));
    EXPECT_TRUE(r.source.expired());
    EXPECT_TRUE(r.locked([](World& s) { return s.closes == s.opens; }));
  }
}

TEST(PlaybackDeemphasis, FlaggedTracksAreFilteredFromTheirStartOrFromASeek) {
  // Tracks 2 and 3 are flagged and follow each other; 1 and 4 are not.
  const struct {
    int64_t from;  // frame
    int64_t plain, filtered, plainAfter;
  } cases[] = {
      {frameOf(0), 75 * 588, 150 * 588, 75 * 588},
      {frameOf(150) + 1000, 0, 75 * 588 - 1000, 75 * 588},
  };
  for (const auto& c : cases) {
    Rig r{{75}, {75, true}, {75, true}, {75}};
    r.start();
    r.pb->seek(c.from);
    r.pb->play();
    r.run(static_cast<int>((c.plain + c.filtered + c.plainAfter) / 441 * 10) + 300);
    ASSERT_TRUE(QTest::qWaitFor([&] { return r.pb->mode() == DeviceMode::Stopped; }));
    EXPECT_EQ(r.heard(0, c.plain), discFrames(c.from, c.plain));
    std::vector<int16_t> want = discFrames(c.from + c.plain, c.filtered);
    Deemphasis().process(want.data(), static_cast<size_t>(c.filtered));
    EXPECT_EQ(r.heard(c.plain, c.filtered), want) << "filtered, continuous across reads and tracks";
    EXPECT_EQ(r.heard(c.plain + c.filtered, c.plainAfter),
              discFrames(c.from + c.plain + c.filtered, c.plainAfter));
  }
}
