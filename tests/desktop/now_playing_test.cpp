#include <gtest/gtest.h>

#include <QFrame>

#include "desktop/NowPlaying.h"
#include "support/TestWindow.h"

// The display box's tooltip follows the current track's CD-Text, and only a
// disc that has some shows one.
TEST(CdText, TheDisplaysTooltipFollowsTheCurrentTrack) {
  const struct {
    const char* what;
    std::map<int32_t, CdText> text;
    std::vector<QString> tips;  // on tracks 1, 2 and 3
  } discs[] = {
      {"no CD-Text", {}, {"", "", ""}},
      {"album only", {{0, {"Álbum", "Banda"}}}, {"", "", ""}},
      {"some tracks",
       {{0, {"Álbum", "Banda"}}, {1, {"Primera", "Solista"}}, {3, {"Tercera", ""}}},
       {"Primera\nSolista", "", "Tercera"}},
      {"performer only", {{2, {"", "Coro"}}}, {"", "Coro", ""}},
  };
  for (const auto& d : discs) {
    SCOPED_TRACE(d.what);
    TestWindow w;
    for (const auto& [track, text] : d.text) w.device->setText(track, text);
    auto* now = new NowPlaying(*w.form);
    ASSERT_TRUE(w.activate());
    for (size_t i = 0; i < d.tips.size(); ++i) {
      if (i > 0) w->MMControl1->Command("Next");
      now->refresh();
      EXPECT_EQ(w->picLED->toolTip(), d.tips[i]) << "track " << i + 1;
      EXPECT_EQ(now->state().track, static_cast<int16_t>(i + 1));
    }
    // Without a disc there is no tooltip.
    w->MMControl1->Command("Eject");
    now->refresh();
    EXPECT_EQ(w->picLED->toolTip(), "");
  }
}

// Jumps are told apart from playback moving on: a disc that runs out and
// goes back to track 1 jumped, steady play and a pause did not.
TEST(NowPlayingJumps, ADiscThatRunsOutJumpsSteadyPlayDoesNot) {
  TestWindow w({{2000, 1200, true}, {3200, 1200, true}}, steadyClock());
  auto* now = new NowPlaying(*w.form);
  int jumps = 0, changes = 0;
  QObject::connect(now, &NowPlaying::jumped, [&] { ++jumps; });
  QObject::connect(now, &NowPlaying::changed, [&] { ++changes; });
  ASSERT_TRUE(w.activate());
  ASSERT_TRUE(QTest::qWaitFor([&] { return now->state().track == 2; }, 3000));
  EXPECT_EQ(jumps, 0) << "from track 1 into track 2 is no jump";
  ASSERT_TRUE(QTest::qWaitFor([&] { return now->state().mode == DeviceMode::Stopped; }, 5000));
  EXPECT_EQ(now->state().track, 1) << "back at the start";
  EXPECT_EQ(jumps, 1);
  EXPECT_GE(changes, 2);
  w->MMControl1->Command("Play");
  w->MMControl1->Command("Pause");
  QTest::qWait(500);
  w->MMControl1->Command("Pause");
  QTest::qWait(300);
  EXPECT_EQ(jumps, 1) << "pausing and resuming move nothing";
}
