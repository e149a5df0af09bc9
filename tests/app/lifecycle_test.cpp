#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QTimer>
#include <algorithm>

#include "disc/modFunciones.h"
#include "support/CommandTrace.h"
#include "support/TestWindow.h"
#include "view/ViewState.h"

namespace {
std::vector<TocEntry> discOf(int tracks) {
  std::vector<TocEntry> toc;
  for (int i = 0; i < tracks; ++i) toc.push_back({2000 + i * 10000, 10000, true});
  return toc;
}
}  // namespace

TEST(Lifecycle, LoadActivateAndUnloadSendTheirCommandsInOrder) {
  CommandTrace trace;
  TestWindow w;
  EXPECT_EQ(trace.lines, (std::vector<std::string>{"DeviceType=CDAudio", "Open", "TimeFormat=0"}));
  EXPECT_FALSE(w->activated()) << "nothing plays before the window is shown";
  EXPECT_TRUE(w->Timer1->isActive() && w->Timer1->interval() == 200) << "it ticks from load";

  ASSERT_TRUE(w.activate());
  EXPECT_EQ(trace.lines.at(3), "Play") << "playback starts before the table is built";
  EXPECT_EQ(w->List1->count(), 3);
  EXPECT_EQ(w->List1->itemText(2), "3");
  EXPECT_EQ(w->List1->currentIndex(), -1) << "filling the list chooses no track";
  EXPECT_EQ(modFunciones::TrackTable[2].end, 400000);
  EXPECT_EQ(modFunciones::CurrentEnd, 200000);

  // Whatever activation events arrive later, the run starts only once.
  w->hide();
  w->show();
  QEvent activation(QEvent::ActivationChange);
  QCoreApplication::sendEvent(w.form.get(), &activation);
  QTest::qWait(20);
  EXPECT_EQ(std::ranges::count(trace.lines, "Play"), 1);
  w->close();
  EXPECT_EQ(trace.lines.back(), "Close");
  EXPECT_FALSE(w->Timer1->isActive());
}

// Without a disc the list is empty yet drops down, the thumb rests at zero
// and the seek bar seeks nowhere; of a longer disc the list shows 99 tracks.
TEST(Lifecycle, NoDiscOrMoreThan99Tracks) {
  {
    CommandTrace trace;
    TestWindow w(std::vector<TocEntry>{});
    ASSERT_TRUE(w.activate());
    w->Timer1_Timer();
    EXPECT_EQ(view::ImgSliderLeft, 0.0f);
    EXPECT_EQ(w.caption(), "Pista 0 - 00:00");
    const size_t sent = trace.lines.size();
    QTest::mouseClick(w->windowHandle(), Qt::LeftButton, {}, w.onBar(122));
    EXPECT_EQ(trace.lines.size(), sent) << "no stop, seek or play";
    QTest::mouseClick(w->List1, Qt::LeftButton);
    const QWidget* list = QApplication::activePopupWidget();
    ASSERT_TRUE(list) << "the empty list drops down";
    EXPECT_EQ(list->geometry().topLeft(), w->List1->mapToGlobal(QPoint(0, w->List1->height())));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(QApplication::activePopupWidget());
    EXPECT_EQ(modFunciones::CurrentEnd, 0);
  }
  TestWindow w(discOf(120));
  ASSERT_TRUE(w.activate());
  EXPECT_EQ(w->List1->count(), 99);
  EXPECT_EQ(modFunciones::TrackTable[99].start, 2000 + 98 * 10000);
}

// Ticks run during the build and see only the rows written so far; a close
// there stops the build and closes the device once.
TEST(Lifecycle, TicksDuringTheBuildSeeAPartialTableAndAClosingThereStopsIt) {
  CommandTrace trace;
  TestWindow w(discOf(60));
  std::vector<int> seen;
  QObject::connect(w->Timer1, &QTimer::timeout, w.form.get(), [&] {
    seen.push_back(w->List1->count());
    EXPECT_EQ(modFunciones::TrackTable[static_cast<size_t>(seen.back() + 1)].end, 0);
    if (seen.back() >= 5) w->close();
  });
  w->Timer1->setInterval(0);
  ASSERT_TRUE(w.activate());
  QTest::qWait(50);
  ASSERT_FALSE(seen.empty());
  EXPECT_LT(seen.front(), 60) << "a tick ran while the table was still being built";
  EXPECT_LT(w->List1->count(), 60) << "the build stopped";
  EXPECT_EQ(std::ranges::count(trace.lines, "Close"), 1);
  w.form.reset();  // destroying the window after an aborted build is safe
}
