#include <gtest/gtest.h>

#include "app/frmVelmar.h"
#include "desktop/NowPlaying.h"
#include "support/TestWindow.h"

// Jumps are told apart from playback moving on: a disc that runs out and
// goes back to track 1 jumped; steady play into the next track and a pause
// did not.
TEST(NowPlayingJumps, ADiscThatRunsOutJumpsSteadyPlayDoesNot) {
  TestWindow w({{2000, 1200, true}, {3200, 1200, true}}, steadyClock());
  auto* now = new NowPlaying(w->player());
  int jumps = 0;
  QObject::connect(now, &NowPlaying::jumped, [&] { ++jumps; });
  ASSERT_TRUE(w.activate());
  ASSERT_TRUE(QTest::qWaitFor([&] { return now->state().track.number == 2; }, 3000));
  EXPECT_EQ(jumps, 0) << "from track 1 into track 2 is no jump";
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return now->state().mode == desktop::Player::Mode::Stopped; }, 5000));
  EXPECT_EQ(now->state().track.number, 1) << "back at the start";
  EXPECT_EQ(jumps, 1);
  for (const char* word : {"Play", "Pause", "", "Pause"}) {
    if (*word) w->MMControl1->Command(word);
    QTest::qWait(*word ? 0 : 500);
  }
  QTest::qWait(300);
  EXPECT_EQ(jumps, 1) << "pausing and resuming move nothing";
}
