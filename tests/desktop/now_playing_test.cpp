#include <gtest/gtest.h>

#include <QFrame>
#include <QTest>

#include "app/frmVelmar.h"
#include "desktop/NowPlaying.h"
#include "disc/MMControl.h"
#include "disc/VirtualCdDevice.h"
#include "support/ManualClock.h"

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
    ManualClock clock;
    auto device = std::make_unique<VirtualCdDevice>(threeTrackDisc(), clock.clock());
    for (const auto& [track, text] : d.text) device->setText(track, text);
    frmVelmar form(std::move(device));
    auto* now = new NowPlaying(form);
    form.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.activated(); }, 2000));
    for (size_t i = 0; i < d.tips.size(); ++i) {
      if (i > 0) form.MMControl1->Command("Next");
      now->refresh();
      EXPECT_EQ(form.picLED->toolTip(), d.tips[i]) << d.what << ", track " << i + 1;
      EXPECT_EQ(now->state().track, static_cast<int16_t>(i + 1));
    }
    // Without a disc there is no tooltip.
    form.MMControl1->Command("Eject");
    now->refresh();
    EXPECT_EQ(form.picLED->toolTip(), "") << d.what;
  }
}

// Jumps are told apart from playback moving on: a disc that runs out and
// goes back to track 1 jumped, steady play and a pause did not.
TEST(NowPlayingJumps, ADiscThatRunsOutJumpsSteadyPlayDoesNot) {
  frmVelmar form(std::make_unique<VirtualCdDevice>(
      std::vector<TocEntry>{{2000, 1200, true}, {3200, 1200, true}},
      VirtualCdDevice::steadyClock()));
  auto* now = new NowPlaying(form);
  int jumps = 0, changes = 0;
  QObject::connect(now, &NowPlaying::jumped, [&] { ++jumps; });
  QObject::connect(now, &NowPlaying::changed, [&] { ++changes; });
  form.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.activated(); }, 2000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return now->state().track == 2; }, 3000));
  EXPECT_EQ(jumps, 0) << "from track 1 into track 2 is no jump";
  ASSERT_TRUE(QTest::qWaitFor([&] { return now->state().mode == DeviceMode::Stopped; }, 5000));
  EXPECT_EQ(now->state().track, 1) << "back at the start";
  EXPECT_EQ(jumps, 1);
  EXPECT_GE(changes, 2);
  form.MMControl1->Command("Play");
  form.MMControl1->Command("Pause");
  QTest::qWait(500);
  form.MMControl1->Command("Pause");
  QTest::qWait(300);
  EXPECT_EQ(jumps, 1) << "pausing and resuming move nothing";
}
