#include "disc/Playback.h"

#include <gtest/gtest.h>

#include <QTest>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "disc/Deemphasis.h"

// Playback against a drive-like source (it spins up, stalls, has scratches
// and ends early) and an output that plays in step with a clock the test
// moves. Everything the threads use is held by shared pointers, so that a
// thread left stuck by a test frees it on its own.
namespace {

using Clock = std::shared_ptr<std::atomic<int64_t>>;  // us

// Frame `f` of the disc (from its start, 588 per LBA): the left channel
// counts, the right channel holds the high bits and is never zero.
int16_t leftOf(int64_t f) {
  return static_cast<int16_t>(f & 0xffff);
}
int16_t rightOf(int64_t f) {
  return static_cast<int16_t>(0x4000 | (f >> 16));
}
std::vector<int16_t> discFrames(int64_t from, int64_t n) {
  std::vector<int16_t> s;
  for (int64_t f = from; f < from + n; ++f) {
    s.push_back(leftOf(f));
    s.push_back(rightOf(f));
  }
  return s;
}
int64_t frameOf(int32_t lsn) {
  return (int64_t{lsn} + kLeadInSectors) * kFramesPerSector;
}

// Waits, in real time, until the test clock reaches `us` or the test lets go.
void sleepUntil(const Clock& clock, int64_t us, const std::atomic<bool>& release) {
  while (*clock < us && !release) std::this_thread::sleep_for(std::chrono::microseconds(200));
}

// What the drive does, shared by the test and the source.
struct Drive {
  Clock clock;
  int64_t spinUpUs = 0;   // the first read waits this long (test clock)
  int32_t stallLsn = -1;  // the first read of this sector waits stallUs (test clock)
  int64_t stallUs = 0;
  int32_t unreadableFrom = -1, unreadableTo = -1;  // these sectors read Unreadable
  int32_t missingFrom = INT32_MAX;                 // from here on the source holds nothing
  std::atomic<bool> stuck{false};                  // reads block (real time) while set
  std::atomic<bool> release{false};                // ends every wait
  std::atomic<bool> destroyed{false};              // the source has been freed
  std::atomic<int> inRead{0};
  std::atomic<bool> stalling{false};
  std::atomic<int64_t> readTo{0};  // the frame after the last one read
  std::mutex m;
  std::vector<std::pair<int32_t, int32_t>> reads;  // lsn, count
};

class DriveSource : public SectorSource {
 public:
  DriveSource(std::shared_ptr<Drive> d, DiscToc toc) : d_(std::move(d)), toc_(std::move(toc)) {}
  ~DriveSource() override { d_->destroyed = true; }
  const DiscToc& toc() const override { return toc_; }
  SectorRead read(int32_t lsn, int32_t count, int16_t* out) override {
    ++d_->inRead;
    {
      std::lock_guard lock(d_->m);
      d_->reads.push_back({lsn, count});
    }
    if (first_) sleepUntil(d_->clock, *d_->clock + d_->spinUpUs, d_->release);
    first_ = false;
    if (!stalled_ && d_->stallLsn >= lsn && d_->stallLsn < lsn + count) {
      stalled_ = true;
      d_->stalling = true;
      sleepUntil(d_->clock, *d_->clock + d_->stallUs, d_->release);
      d_->stalling = false;
    }
    while (d_->stuck && !d_->release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    --d_->inRead;
    d_->readTo = frameOf(lsn + count);
    for (int32_t s = lsn; s < lsn + count; ++s) {
      if (s >= d_->missingFrom) return SectorRead::Missing;
      if (s >= d_->unreadableFrom && s < d_->unreadableTo) return SectorRead::Unreadable;
    }
    const std::vector<int16_t> pcm = discFrames(frameOf(lsn), int64_t{count} * kFramesPerSector);
    std::copy(pcm.begin(), pcm.end(), out);
    return SectorRead::Ok;
  }

 private:
  std::shared_ptr<Drive> d_;
  DiscToc toc_;
  bool first_ = true;
  bool stalled_ = false;
};

// A sound device as the output sees it: a buffer of kBuffer frames played at
// 44.1 kHz of the test clock. A write waits (in real time) for room or an
// abort; frames the clock reaches before they were written are a gap.
struct Sink {
  static constexpr int64_t kBuffer = 8820;  // 200 ms

  Clock clock;
  std::mutex m;
  std::vector<int16_t> pcm;                       // what was heard, then what waits to be
  std::vector<int64_t> marks;                     // where each open and each drop left pcm
  std::vector<std::pair<int64_t, int64_t>> gaps;  // where, frames
  int64_t played = 0;
  int64_t t0 = -1, base = 0;  // playing since the clock's t0, from frame base
  bool flushed = false;
  bool live = false;  // an output is open
  int opens = 0, closes = 0;
  int64_t openFailsUntilUs = 0;
  bool failNextWrite = false;
  std::atomic<bool> stuckWrite{false}, stuckDrop{false}, release{false};

  int64_t total() const { return static_cast<int64_t>(pcm.size() / 2); }
  void advanceLocked() {
    if (t0 < 0) return;
    const int64_t now = *clock;
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

class SinkOutput : public AudioOutput {
 public:
  explicit SinkOutput(std::shared_ptr<Sink> s) : s_(std::move(s)) {}
  ~SinkOutput() override {
    std::lock_guard lock(s_->m);
    ++s_->closes;
    if (!opened_) return;
    s_->live = false;
    s_->stopLocked();  // closing discards what waits
  }
  bool open() override {
    std::lock_guard lock(s_->m);
    ++s_->opens;
    if (*s_->clock < s_->openFailsUntilUs) return false;
    s_->stopLocked();
    s_->live = opened_ = true;
    return true;
  }
  int64_t write(const int16_t* frames, int64_t count, const AbortSignal& abort) override {
    while (s_->stuckWrite && !s_->release)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::unique_lock lock(s_->m);
    if (s_->failNextWrite) {
      s_->failNextWrite = false;
      return -1;
    }
    for (;;) {
      s_->advanceLocked();
      if (s_->total() - s_->played < Sink::kBuffer) break;
      lock.unlock();
      std::this_thread::sleep_for(std::chrono::microseconds(100));
      lock.lock();
      if (abort.raised()) return 0;
    }
    const int64_t n = std::min(count, Sink::kBuffer - (s_->total() - s_->played));
    if (s_->t0 < 0) {
      s_->t0 = *s_->clock;
      s_->base = s_->played = s_->total();
    }
    s_->pcm.insert(s_->pcm.end(), frames, frames + n * 2);
    return n;
  }
  int64_t delay() override {
    std::lock_guard lock(s_->m);
    s_->advanceLocked();
    return s_->total() - s_->played;
  }
  void drop() override {
    while (s_->stuckDrop && !s_->release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::lock_guard lock(s_->m);
    s_->stopLocked();
  }
  void flush() override {
    std::lock_guard lock(s_->m);
    s_->flushed = true;
  }

 private:
  std::shared_ptr<Sink> s_;
  bool opened_ = false;
};

struct TrackSpec {
  int32_t sectors;
  bool preemphasis = false;
};

// A Playback of a disc of `tracks` from the drive, into the sink.
struct Rig {
  Clock clock = std::make_shared<std::atomic<int64_t>>(1000000);
  std::shared_ptr<Drive> drive = std::make_shared<Drive>();
  std::shared_ptr<Sink> sink = std::make_shared<Sink>();
  DiscToc toc;
  std::unique_ptr<Playback> pb;

  Rig(std::initializer_list<TrackSpec> tracks) {
    drive->clock = sink->clock = clock;
    int32_t lsn = 0;
    for (const TrackSpec& t : tracks) {
      DiscTrack d;
      d.lsn = lsn;
      d.sectors = t.sectors;
      d.preemphasis = t.preemphasis;
      toc.tracks.push_back(d);
      lsn += t.sectors;
    }
    toc.leadOutLsn = lsn;
  }
  ~Rig() {
    drive->release = sink->release = true;
    pb.reset();
  }
  void start() {
    pb = std::make_unique<Playback>(
        std::make_shared<DriveSource>(drive, toc),
        [s = sink] { return std::make_unique<SinkOutput>(s); }, [c = clock] { return c->load(); });
  }
  // Moves the clock by `ms` in steps, giving the writer after each step the
  // moment it needs to fill an open sink again (or a little longer), until
  // it has nothing more to give.
  // With `ahead`, each step also gives the reader the moment it needs to
  // keep the read-ahead filled (or a little longer), as it would in real
  // time.
  void run(int ms, int stepMs = 10, bool ahead = false) {
    for (int t = 0; t < ms; t += stepMs) {
      *clock += int64_t{stepMs} * 1000;
      std::this_thread::sleep_for(std::chrono::microseconds(300));
      [[maybe_unused]] const bool full = QTest::qWaitFor(
          [&] {
            std::lock_guard lock(sink->m);
            sink->advanceLocked();
            return sink->total() - sink->played >= Sink::kBuffer || sink->flushed || !sink->live;
          },
          30);
      [[maybe_unused]] const bool read =
          !ahead ||
          QTest::qWaitFor(
              [&] {
                return drive->stalling ||
                       drive->readTo - pb->position() >= Playback::kQueueLowFrames - 25 * 588 ||
                       drive->readTo >= frameOf(toc.leadOutLsn);
              },
              30);
    }
  }
  // `n` frames from the `from`th the sink was given.
  std::vector<int16_t> heard(int64_t from, int64_t n) {
    std::vector<int16_t> s;
    EXPECT_TRUE(QTest::qWaitFor([&] {
      std::lock_guard lock(sink->m);
      if (sink->total() < from + n) return false;
      s.assign(sink->pcm.begin() + from * 2, sink->pcm.begin() + (from + n) * 2);
      return true;
    }));
    return s;
  }
  std::vector<std::pair<int64_t, int64_t>> gaps() {
    std::lock_guard lock(sink->m);
    return sink->gaps;
  }
  int64_t lastMark() {
    std::lock_guard lock(sink->m);
    return sink->marks.empty() ? 0 : sink->marks.back();
  }
};

}  // namespace

TEST(PlaybackDrive, SpinUpAndAStalledReadPlayOnWithoutAGap) {
  Rig r{{75 * 20}};
  r.drive->spinUpUs = 1000000;
  r.drive->stallLsn = 75 * 8;  // 1.5 s, while 8 s of the disc are being read
  r.drive->stallUs = 1500000;
  r.start();
  r.pb->play();
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.drive->inRead > 0; })) << "the drive spins up";
  r.run(900, 100);
  EXPECT_EQ(r.pb->position(), frameOf(0)) << "nothing is heard while the drive spins up";
  r.run(100, 100);
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.heard(0, 1).size() == 2; }));
  r.run(12000, 10, true);
  EXPECT_EQ(r.gaps(), (std::vector<std::pair<int64_t, int64_t>>{})) << "the output ran dry";
  const int64_t n = 11 * 44100;
  EXPECT_EQ(r.heard(0, n), discFrames(frameOf(0), n)) << "the disc, continuous";
  EXPECT_NEAR(r.pb->position(), frameOf(0) + 12 * 44100, 44100 / 4);
  {
    std::lock_guard lock(r.drive->m);
    const auto stalled = std::find_if(r.drive->reads.begin(), r.drive->reads.end(), [](auto rd) {
      return rd.first <= 75 * 8 && rd.first + rd.second > 75 * 8;
    });
    ASSERT_NE(stalled, r.drive->reads.end()) << "the stall was read";
  }
  EXPECT_EQ(r.pb->mode(), DeviceMode::Playing);
}

TEST(PlaybackDrive, UnreadableSectorsAreSilence) {
  Rig r{{150}};
  r.drive->unreadableFrom = 30;
  r.drive->unreadableTo = 45;
  r.start();
  r.pb->play();
  r.run(2500, 10, true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.pb->mode() == DeviceMode::Stopped; }));
  EXPECT_EQ(r.pb->position(), frameOf(0)) << "at the end, the start of track 1";
  EXPECT_EQ(r.heard(0, 30 * 588), discFrames(frameOf(0), 30 * 588));
  EXPECT_EQ(r.heard(30 * 588, 15 * 588), std::vector<int16_t>(15 * 1176)) << "silence";
  EXPECT_EQ(r.heard(45 * 588, 105 * 588), discFrames(frameOf(45), 105 * 588));
  EXPECT_EQ(r.gaps(), (std::vector<std::pair<int64_t, int64_t>>{}));
}

TEST(PlaybackDrive, WhatIsMissingIsSilenceToTheEndOfItsTrackThenPlaybackEnds) {
  // Three tracks of 2 s; the source ends a third into track 2.
  Rig r{{150}, {150}, {150}};
  r.drive->missingFrom = 200;
  r.start();
  r.pb->seek(frameOf(150));
  r.pb->play();
  r.run(1900);
  EXPECT_EQ(r.pb->mode(), DeviceMode::Playing);
  r.run(300);
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.pb->mode() == DeviceMode::Stopped; }))
      << "ends with track 2, not after track 3's worth of nothing";
  EXPECT_EQ(r.pb->position(), frameOf(0));
  EXPECT_EQ(r.heard(0, 50 * 588), discFrames(frameOf(150), 50 * 588));
  EXPECT_EQ(r.heard(50 * 588, 100 * 588), std::vector<int16_t>(100 * 1176)) << "silence";
  std::lock_guard lock(r.drive->m);
  for (auto [lsn, count] : r.drive->reads) EXPECT_LT(lsn, 300) << "track 3 is not read";
}

TEST(PlaybackDrive, SeeksAndJumpsWithAFullQueueAreHeardAtOnce) {
  Rig r{{75 * 30}, {75 * 30}};
  r.start();
  r.pb->play();
  r.run(3000, 10, true);
  // The read-ahead is full: seconds of audio after the position are queued.
  {
    std::lock_guard lock(r.drive->m);
    ASSERT_GE(r.drive->reads.back().first, 75 * 5) << "read ahead";
  }
  struct Case {
    const char* how;
    int64_t to;
  } cases[] = {{"jump", frameOf(75 * 40) + 123}, {"seek and play", frameOf(75 * 2)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    const int64_t marks = [&] {
      std::lock_guard lock(r.sink->m);
      return static_cast<int64_t>(r.sink->marks.size());
    }();
    if (c.how[0] == 'j') {
      r.pb->jump(c.to);
    } else {
      r.pb->seek(c.to);
      EXPECT_EQ(r.pb->mode(), DeviceMode::Stopped);
      EXPECT_EQ(r.pb->position(), c.to);
      r.pb->play();
    }
    EXPECT_EQ(r.pb->mode(), DeviceMode::Playing);
    // The clock stands still: the new position comes with its first read.
    ASSERT_TRUE(QTest::qWaitFor([&] {
      std::lock_guard lock(r.sink->m);
      return static_cast<int64_t>(r.sink->marks.size()) > marks &&
             r.sink->total() > r.sink->marks.back();
    }));
    const int64_t at = r.lastMark();
    EXPECT_EQ(r.heard(at, 588), discFrames(c.to, 588)) << "the queued audio was dropped";
    EXPECT_EQ(r.pb->position(), c.to);
    r.run(1000);
    EXPECT_EQ(r.heard(at, 44100), discFrames(c.to, 44100));
    EXPECT_NEAR(r.pb->position(), c.to + 44100, 441);
  }
}

TEST(PlaybackOutput, AnOutputThatFailsIsReopenedAndGoesOnFromThePositionShown) {
  Rig r{{75 * 30}};
  r.start();
  r.pb->play();
  r.run(2000);
  size_t marks = 0;
  {
    std::lock_guard lock(r.sink->m);
    marks = r.sink->marks.size();
    r.sink->failNextWrite = true;
    r.sink->openFailsUntilUs = *r.clock + 2500000;  // the server is gone for 2.5 s
  }
  r.run(10);
  ASSERT_TRUE(QTest::qWaitFor([&] {
    std::lock_guard lock(r.sink->m);
    return !r.sink->live;
  })) << "closed after the failed write";
  // Without an output the clock plays (once the audio heard last is read
  // again): each step of it is shown.
  auto step = [&] {
    const int64_t p = r.pb->position();
    *r.clock += 50000;
    return QTest::qWaitFor([&] { return r.pb->position() >= p + 2205 - 441; }, 1000);
  };
  const int64_t failed = r.pb->position();
  EXPECT_NEAR(failed, frameOf(0) + 2 * 44100, 44100 / 4) << "what was heard";
  ASSERT_TRUE(QTest::qWaitFor([&] {
    *r.clock += 10000;
    return r.pb->position() > failed;
  }));
  const int64_t before = r.pb->position();
  for (int ms = 0; ms < 1000; ms += 50) ASSERT_TRUE(step()) << "the display keeps counting";
  EXPECT_NEAR(r.pb->position(), before + 44100, 441);
  {
    std::lock_guard lock(r.sink->m);
    EXPECT_GE(r.sink->opens, 3) << "tried again";
    EXPECT_LE(r.sink->opens, 6) << "with a growing wait";
  }
  // Once it opens again its audio starts at the position shown then.
  int64_t shown = 0;
  auto reopened = [&] {
    std::lock_guard lock(r.sink->m);
    return r.sink->marks.size() > marks && r.sink->total() > r.sink->marks.back();
  };
  while (!reopened() && *r.clock < 1000000 + 2000000 + 2500000 + 1200000) {
    shown = r.pb->position();
    if (!step()) break;  // the position stands while the output starts
  }
  ASSERT_TRUE(QTest::qWaitFor(reopened));
  EXPECT_LT(*r.clock, 1000000 + 2000000 + 2500000 + 1200000)
      << "within about a second of the server's return";
  const int64_t at = r.lastMark();
  const std::vector<int16_t> first = r.heard(at, 1);
  const int64_t resumed = (int64_t{first[1] & 0x3fff} << 16) | static_cast<uint16_t>(first[0]);
  EXPECT_EQ(first[1], rightOf(resumed));
  EXPECT_NEAR(resumed, shown, 2205 + 441);
  r.run(1000);
  EXPECT_EQ(r.heard(at, 44100), discFrames(resumed, 44100)) << "and plays on from there";
  EXPECT_EQ(r.gaps(), (std::vector<std::pair<int64_t, int64_t>>{}));
  EXPECT_EQ(r.pb->mode(), DeviceMode::Playing);
}

TEST(PlaybackLifetime, DestructionAndTransportNeverWaitOnAStuckReadOrOutput) {
  enum Stuck { Read, Write, Drop };
  for (const Stuck stuck : {Read, Write, Drop}) {
    SCOPED_TRACE(stuck == Read ? "read" : stuck == Write ? "write" : "drop");
    const int baseline = Playback::threadsStillRunning();
    Rig r{{75 * 30}};
    r.start();
    r.pb->play();
    r.run(500);
    if (stuck == Read) {
      // Stuck in the source: a jump asks for a read that never returns.
      r.drive->stuck = true;
      r.pb->jump(frameOf(75 * 20));
      ASSERT_TRUE(QTest::qWaitFor([&] { return r.drive->inRead > 0; }));
    } else {
      (stuck == Write ? r.sink->stuckWrite : r.sink->stuckDrop) = true;
      if (stuck == Drop) r.pb->pause();  // the writer drops the output and stays there
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
    EXPECT_GT(Playback::threadsStillRunning(), baseline) << "a thread is left stuck";
    EXPECT_FALSE(r.drive->destroyed);
    // Once free, the stuck thread ends and lets go of the source and output.
    r.drive->release = r.sink->release = true;
    EXPECT_TRUE(QTest::qWaitFor([&] { return Playback::threadsStillRunning() == baseline; }));
    EXPECT_TRUE(r.drive->destroyed);
    std::lock_guard lock(r.sink->m);
    EXPECT_EQ(r.sink->closes, r.sink->opens);
  }
}

TEST(PlaybackDeemphasis, FlaggedTracksAreFilteredFromTheirStartOrFromASeek) {
  // Tracks 2 and 3 are flagged and follow each other; 1 and 4 are not.
  struct Case {
    int64_t from;  // frame
    int64_t plain, filtered, plainAfter;
  } cases[] = {
      {frameOf(0), 75 * 588, 150 * 588, 75 * 588},
      {frameOf(150) + 1000, 0, 75 * 588 - 1000, 75 * 588},
  };
  for (const Case& c : cases) {
    Rig r{{75}, {75, true}, {75, true}, {75}};
    r.start();
    r.pb->seek(c.from);
    r.pb->play();
    r.run(static_cast<int>((c.plain + c.filtered + c.plainAfter) / 441 * 10) + 300);
    ASSERT_TRUE(QTest::qWaitFor([&] { return r.pb->mode() == DeviceMode::Stopped; }));
    EXPECT_EQ(r.heard(0, c.plain), discFrames(c.from, c.plain));
    std::vector<int16_t> want = discFrames(c.from + c.plain, c.filtered);
    Deemphasis f;
    f.process(want.data(), static_cast<size_t>(c.filtered));
    EXPECT_EQ(r.heard(c.plain, c.filtered), want) << "filtered, continuous across reads and tracks";
    EXPECT_EQ(r.heard(c.plain + c.filtered, c.plainAfter),
              discFrames(c.from + c.plain + c.filtered, c.plainAfter));
  }
}
