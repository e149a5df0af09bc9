#include <gtest/gtest.h>

#include "sources/TocRules.h"

namespace {
DiscTrack track(int32_t lsn, int32_t sectors, bool audio, int session) {
  DiscTrack t;
  t.lsn = lsn;
  t.sectors = sectors;
  t.audio = audio;
  t.session = session;
  return t;
}
}  // namespace

TEST(TocRules, TheLastAudioTrackOfAnEnhancedCdEndsWhereItsAudioEnds) {
  struct Case {
    const char* what;
    std::vector<DiscTrack> tracks;
    std::vector<int32_t> want;  // sectors per track after the rule
  };
  const Case cases[] = {
      {"audio session, then data after the standard gap",
       {track(0, 15000, true, 1), track(15000, 20000 + 11400, true, 1),
        track(46400, 9000, false, 2)},
       {15000, 20000, 9000}},
      {"one session: nothing changes",
       {track(0, 15000, true, 1), track(15000, 31400, false, 1)},
       {15000, 31400}},
      {"a data track first (mixed mode): nothing changes",
       {track(0, 9000, false, 1), track(9000, 30000, true, 1)},
       {9000, 30000}},
      {"a short track before the next session is left as it is",
       {track(0, 5000, true, 1), track(5000, 9000, false, 2)},
       {5000, 9000}},
      {"a track already shorter than its extent keeps its length",
       {track(0, 1000, true, 1), track(20000, 9000, false, 2)},
       {1000, 9000}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DiscToc toc;
    toc.tracks = c.tracks;
    trimSessionGaps(toc);
    ASSERT_EQ(toc.tracks.size(), c.want.size());
    for (size_t i = 0; i < c.want.size(); ++i) EXPECT_EQ(toc.tracks[i].sectors, c.want[i]) << i;
  }
}
