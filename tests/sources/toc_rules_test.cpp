#include <gtest/gtest.h>

#include "sources/CdioToc.h"
#include "sources/TocRules.h"

// An Enhanced CD (audio, then a data session) as a drive reports it, with
// the start of its last session: the tracks from there on are in session 2,
// and the last audio track of session 1 stops where its audio does, before
// the gap of 11400 sectors between sessions.
TEST(TocRules, TheLastAudioTrackOfAnEnhancedCdEndsWhereItsAudioEnds) {
  const struct {
    std::vector<std::pair<int32_t, int32_t>> tracks;  // LSN, sectors; the last one is data
    int32_t lastSession;                              // LSN; -1: the drive did not say
    std::vector<int32_t> sessions, sectors;           // after the rule
  } cases[] = {
      {{{0, 15000}, {15000, 31400}, {46400, 5000}}, 46400, {1, 1, 2}, {15000, 20000, 5000}},
      // One session, or no answer: nothing changes.
      {{{0, 15000}, {15000, 31400}, {46400, 5000}}, 0, {1, 1, 1}, {15000, 31400, 5000}},
      {{{0, 15000}, {15000, 31400}, {46400, 5000}}, -1, {1, 1, 1}, {15000, 31400, 5000}},
      // A track shorter than the gap, or already shorter than its extent.
      {{{0, 5000}, {5000, 9000}}, 5000, {1, 2}, {5000, 9000}},
      {{{0, 1000}, {20000, 9000}}, 20000, {1, 2}, {1000, 9000}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lastSession);
    DiscToc toc;
    for (const auto& [lsn, sectors] : c.tracks) {
      toc.tracks.emplace_back();
      toc.tracks.back().lsn = lsn;
      toc.tracks.back().sectors = sectors;
      toc.leadOutLsn = lsn + sectors;
    }
    toc.tracks.back().audio = false;
    applySessions(toc, c.lastSession);
    for (size_t i = 0; i < toc.tracks.size(); ++i) {
      EXPECT_EQ(toc.tracks[i].session, c.sessions[i]) << i;
      EXPECT_EQ(toc.tracks[i].sectors, c.sectors[i]) << i;
    }
    EXPECT_EQ(tocProblem(toc), "");
  }
}
