#include <gtest/gtest.h>

#include "disc/DiscAudio.h"
#include "disc/OutputSlot.h"
#include "disc/ReadAhead.h"
#include "disc/StreamMap.h"
#include "support/ManualClock.h"

// The rules of playback's parts, without threads.

TEST(DiscAudio, AudioTracksInFramesDataSkippedPositionsBroughtOntoTheDisc) {
  DiscToc toc = tocOf({100, -50, 100});
  toc.tracks[2].sectors = 500;  // past the lead-out (an Enhanced CD's last audio track)
  const DiscAudio d(toc);
  ASSERT_EQ(d.tracks().size(), 2u);
  EXPECT_EQ(d.tracks()[1].begin, frameOfLsn(150));
  EXPECT_EQ(d.tracks()[1].end, frameOfLsn(250)) << "ends at the lead-out";
  EXPECT_EQ(d.audioFrom(frameOfLsn(120)), frameOfLsn(150)) << "data is skipped";
  EXPECT_EQ(d.audioFrom(frameOfLsn(260)), frameOfLsn(250)) << "past the audio: the lead-out";
  EXPECT_EQ(d.onDisc(0), frameOfLsn(0));
  EXPECT_EQ(d.onDisc(INT64_MAX), frameOfLsn(250));
  EXPECT_FALSE(DiscAudio(DiscToc{}).present());
}

TEST(ReadCursor, ReadsUpToEachTrackEndAndJoinsOnlyFlaggedTracksThatFollowOn) {
  DiscToc toc = tocOf({30, 30, -10, 30, 30}, true);
  toc.tracks[4].preemphasis = false;
  const DiscAudio d(toc);
  ReadCursor c(d.tracks(), frameOfLsn(2) + 100);
  using S = ReadCursor::Step;
  const struct {
    int32_t lsn, sectors;
    int64_t skip;
    S step;
  } reads[] = {
      {2, 25, 100, S::Within}, {27, 3, 0, S::Joined},  {30, 25, 0, S::Within},
      {55, 5, 0, S::Jumped},   {70, 25, 0, S::Within}, {95, 5, 0, S::Jumped},
      {100, 25, 0, S::Within}, {125, 5, 0, S::Ended},
  };
  for (const auto& r : reads) {
    SCOPED_TRACE(r.lsn);
    ASSERT_FALSE(c.ended());
    const ReadCursor::Read got = c.next();
    EXPECT_EQ(got.lsn, r.lsn);
    EXPECT_EQ(got.sectors, r.sectors);
    EXPECT_EQ(got.skip, r.skip);
    EXPECT_EQ(c.advance(int64_t{got.sectors} * 588 - got.skip, false), r.step);
  }
  ReadCursor missing(d.tracks(), frameOfLsn(0));
  EXPECT_EQ(missing.advance(30 * 588, true), S::Ended) << "missing audio ends with its track";
}

TEST(ReadSectors, UnreadableSectorsAreSilenceAndMissingAudioSilencesTheRest) {
  struct Source : SectorSource {
    DiscToc t;
    const DiscToc& toc() const override { return t; }
    SectorRead read(int32_t lsn, int32_t count, int16_t* out) override {
      for (int32_t s = lsn; s < lsn + count; ++s)
        if (s == 3 || s >= 6) return s == 3 ? SectorRead::Unreadable : SectorRead::Missing;
      std::fill(out, out + count * kSamplesPerSector, int16_t{7});
      return SectorRead::Ok;
    }
  } source;
  std::vector<int16_t> out(8 * kSamplesPerSector, -1);
  EXPECT_EQ(readSectors(source, 0, 5, out.data()), 5);
  EXPECT_EQ(out[2 * kSamplesPerSector], 7);
  EXPECT_EQ(out[3 * kSamplesPerSector + 5], 0) << "the unreadable sector";
  EXPECT_EQ(out[4 * kSamplesPerSector], 7);
  EXPECT_EQ(readSectors(source, 4, 4, out.data()), 2) << "missing from LSN 6 on";
  EXPECT_EQ(out[2 * kSamplesPerSector], 0);
  EXPECT_EQ(out[4 * kSamplesPerSector - 1], 0);
}

TEST(ReadQueue, ReadsInBurstsFromTheLowMarkToTheHighAndEachOrderDropsTheQueue) {
  ReadQueue q;
  q.order(true, 5000);
  const int64_t chunk = 25 * 588;
  int pushed = 0;
  while (q.wantsAudio()) q.push({0, std::vector<int16_t>(chunk * 2)}, false), ++pushed;
  EXPECT_EQ(pushed, (ReadQueue::kHighFrames + chunk - 1) / chunk) << "filled to the high mark";
  bool refill = false;
  int taken = 0;
  while (!refill) q.take(&refill), ++taken;
  EXPECT_EQ(q.queued(), (pushed - taken) * chunk);
  EXPECT_LT(q.queued(), ReadQueue::kLowFrames);
  EXPECT_TRUE(q.wantsAudio()) << "under the low mark: a new burst";
  q.push({0, {}}, true);
  EXPECT_TRUE(q.ended());
  const uint64_t token = q.token();
  q.order(true, 9000);
  EXPECT_TRUE(q.empty() && !q.ended() && q.queued() == 0);
  EXPECT_TRUE(q.token() != token && q.from() == 9000);
}

TEST(StreamMap, StreamFramesMapToTheDiscAcrossJumps) {
  StreamMap m;
  m.start(1000);
  m.jump(500, 9000);  // past a data track
  m.jump(800, 20000);
  EXPECT_EQ(m.discOf(499), 1499);
  EXPECT_EQ(m.discOf(500), 9000);
  EXPECT_EQ(m.discOf(900), 20100);
  EXPECT_EQ(m.nextJump(100, 2000), 500);
  EXPECT_EQ(m.nextJump(800, 2000), 2000);
  m.cut(600);
  EXPECT_EQ(m.discOf(900), 9400) << "jumps after the cut forgotten";
}

TEST(StreamPace, HeardNeverRunsAheadOfTheClockAndAPacingOutputLeadsIt) {
  StreamPace p;
  p.start(1000000);
  p.wrote(44100);
  EXPECT_EQ(p.heard(true, 0, 1500000), 22050) << "an output that does not pace: the clock";
  EXPECT_EQ(p.heard(false, 0, 1500000), 22050) << "no output: the clock";
  EXPECT_EQ(p.heard(true, 4410, 1200000), 39690) << "the output holds audio and leads";
  EXPECT_EQ(p.clockFrames(1300000), 39690 + 4410) << "the clock follows it";
  EXPECT_EQ(p.untilWithinUs(44100, 1300000), 0);
  p.wrote(2 * 44100);
  EXPECT_EQ(p.untilWithinUs(44100, 1300000), 50000) << "at most 50 ms at a time";
  EXPECT_EQ(p.untilWithinUs(44100, 2290000), 11000);
  p.rewind(44100, 5000000);
  EXPECT_EQ(p.written(), 44100);
  EXPECT_EQ(p.clockAllows(4410, 5050000), 2205) << "no output: only what the clock played";
  EXPECT_EQ(p.untilDueUs(4410, 5050000), 51000);
  p.resume(9000000);  // after a wait for the source
  EXPECT_EQ(p.clockAllows(4410, 9050000), 2205) << "the wait was not heard";
}

// A failed output is tried again after 250 ms, 500 ms, then every second;
// after one that worked, a new outage starts again at 250 ms.
TEST(ReopenSchedule, WaitsGrowToASecondAndStartAfreshOnceAnOutputWorks) {
  ReopenSchedule s;
  int64_t now = 0;
  for (const int64_t wait : {250000, 500000, 1000000, 1000000}) {
    s.failed(now);
    EXPECT_FALSE(s.due(now + wait - 1));
    EXPECT_TRUE(s.due(now += wait));
  }
  s.worked();
  s.failed(now);
  EXPECT_TRUE(s.due(now + 250000));
}
