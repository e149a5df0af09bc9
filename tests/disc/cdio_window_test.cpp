#include <gtest/gtest.h>

#include <QComboBox>
#include <QTest>

#include "app/frmVelmar.h"
#include "disc/CdioDevice.h"
#include "disc/MMControl.h"
#include "disc/modFunciones.h"
#include "support/FakeAudioOutput.h"
#include "support/TestDisc.h"

TEST(CdioWindow, TheWindowPlaysAnImageAndListsItsTracks) {
  TestDisc disc(counterDisc({300, 450, 150}));
  ManualClockUs clock;
  auto audio = std::make_shared<FakeAudio>();
  audio->clock = clock.clock();
  frmVelmar form(
      std::make_unique<CdioDevice>(disc.cue, FakeAudioOutput::factory(audio), clock.clock()));
  form.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.activated(); }, 2000));
  ASSERT_EQ(form.List1->count(), 3);
  EXPECT_EQ(form.List1->itemText(2), "3");
  EXPECT_EQ(modFunciones::TrackTable[2].start, 6000);
  EXPECT_EQ(modFunciones::TrackTable[2].length, 6000);
  EXPECT_EQ(form.MMControl1->Mode(), DeviceMode::Playing) << "the window starts playback";
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        std::lock_guard lock(audio->m);
        return audio->totalWritten > 0;
      },
      2000));

  // The sequence the seek bar and the list send.
  form.MMControl1->Command("stop");
  form.MMControl1->setTo(9000);
  form.MMControl1->Command("seek");
  form.MMControl1->Command("play");
  EXPECT_EQ(form.MMControl1->Position(), 9000);
  EXPECT_EQ(form.MMControl1->Mode(), DeviceMode::Playing);

  form.MMControl1->Command("Eject");
  EXPECT_EQ(form.MMControl1->Tracks(), 0);
  EXPECT_EQ(form.MMControl1->Position(), 0);
  form.close();
  EXPECT_EQ(form.MMControl1->Mode(), DeviceMode::NotOpen);
}
