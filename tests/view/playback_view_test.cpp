#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "disc/modFunciones.h"
#include "support/CommandTrace.h"
#include "support/TestWindow.h"
#include "view/SeekBar.h"
#include "view/ViewState.h"

using Lines = std::vector<std::string>;

namespace {

// The real window over a virtual disc, shown and activated, its timer stopped
// so that the tests tick it: playing from 2000 ms with the clock at 0.
struct Player {
  int64_t now = 0;
  int64_t stepPerRead = 0;  // ms the clock moves on at each reading of it
  TestWindow w;
  CommandTrace trace;  // property writes and command words since the setup

  explicit Player(std::vector<TocEntry> toc = threeTrackDisc())
      : w(std::move(toc), [this] { return (now += stepPerRead) * 1000; }) {
    EXPECT_TRUE(w.activate());
    w->Timer1->stop();
    trace.lines.clear();
  }
  Lines take() { return std::exchange(trace.lines, {}); }
  static Lines seekTo(int32_t ms) { return {"stop", "To=" + std::to_string(ms), "seek", "play"}; }
  // Moves playback to `ms` from the start of the disc and runs one tick.
  void playTo(int32_t ms) {
    now += ms - w->MMControl1->Position();
    w->Timer1_Timer();
  }
  std::string caption() const { return w->Label4->text().toStdString(); }
  // Real mouse input through the window, in window pixels.
  QPoint onBar(int x) const { return w->lblSlider->mapTo(w.form.get(), QPoint(x, 10)); }
  void down(Qt::MouseButton b, QPoint at) { QTest::mousePress(w->windowHandle(), b, {}, at); }
  void move(QPoint at) { QTest::mouseMove(w->windowHandle(), at); }
  void up(Qt::MouseButton b, QPoint at) { QTest::mouseRelease(w->windowHandle(), b, {}, at); }
};

}  // namespace

TEST(RefreshTick, ThumbAndCaptionFollowPlaybackAcrossTrackBoundaries) {
  Player p;
  p.playTo(61500);
  EXPECT_NEAR(view::ImgSliderLeft, 1096.84, 0.005);
  EXPECT_EQ(p.w->imgSlider->pos(), QPoint(73, 80));
  EXPECT_EQ(p.caption(), "Pista 1 - 00:59");

  // At the boundary the number comes from readings fresher than the time.
  p.playTo(199985);
  p.stepPerRead = 5;  // readings give 199990, 199995, then 200000 on: the third
                      // one, for the caption's number, is in track 2
  p.w->Timer1_Timer();
  EXPECT_EQ(p.caption(), "Pista 2 - 03:17");
  p.stepPerRead = 0;
  p.w->Timer1->start();  // the running timer puts them together again
  ASSERT_TRUE(QTest::qWaitFor([&] { return p.caption() == "Pista 2 - 00:00"; }, 2000));

  // "Next" leaves the position at the range's end, the next track's start.
  p.w->MMControl1->Command("Next");
  EXPECT_EQ(modFunciones::CurrentStart, 200000) << "nothing changes before a tick";
  p.w->Timer1_Timer();
  EXPECT_EQ(modFunciones::CurrentStart, 400000);
  EXPECT_EQ(view::ImgSliderLeft, 0.0f);
  EXPECT_EQ(p.caption(), "Pista 3 - 00:00");
}

TEST(RefreshTick, WithoutADiscTheThumbRestsAtZeroAndTheBarSeeksNowhere) {
  Player p(std::vector<TocEntry>{});
  p.w->Timer1_Timer();
  EXPECT_EQ(view::ImgSliderLeft, 0.0f);
  EXPECT_EQ(p.caption(), "Pista 0 - 00:00");
  p.down(Qt::LeftButton, p.onBar(50));
  p.move(p.onBar(122));
  EXPECT_TRUE(view::Dragging);
  p.up(Qt::LeftButton, p.onBar(122));
  EXPECT_FALSE(view::Dragging);
  EXPECT_EQ(p.trace.lines, Lines{}) << "no stop, seek or play";
}

TEST(SeekBar, OnlyTheLeftButtonDragsAndItsReleasePlaysFromTheThumb) {
  Player p;
  p.playTo(61500);
  const float thumb = view::ImgSliderLeft;
  for (Qt::MouseButton b : {Qt::RightButton, Qt::MiddleButton}) {
    p.down(b, p.onBar(50));
    p.move(p.onBar(150));
    p.up(b, p.onBar(150));
  }
  EXPECT_FALSE(view::Dragging);
  EXPECT_EQ(view::ImgSliderLeft, thumb);
  // With the right button down too, moves and the left release do nothing;
  // the drag ends when the last button comes up.
  p.down(Qt::LeftButton, p.onBar(50));
  p.move(p.onBar(60));
  p.down(Qt::RightButton, p.onBar(60));
  p.move(p.onBar(150));
  EXPECT_EQ(view::ImgSliderLeft, 900.0f);
  p.up(Qt::LeftButton, p.onBar(150));
  EXPECT_TRUE(view::Dragging);
  p.up(Qt::RightButton, p.onBar(150));
  EXPECT_FALSE(view::Dragging);

  // A left drag suspends the display.
  p.down(Qt::LeftButton, p.onBar(50));
  p.move(p.onBar(122));
  bool pendingRan = false;
  QTimer::singleShot(0, p.w.form.get(), [&] { pendingRan = true; });
  p.playTo(66500);
  EXPECT_TRUE(pendingRan) << "a suspended tick still lets pending events run";
  EXPECT_EQ(view::ImgSliderLeft, 1830.0f);
  EXPECT_EQ(p.caption(), "Pista 1 - 00:59");
  // The bar keeps the mouse while the pointer is off it and off the window.
  p.move(QPoint(-30, 100));
  EXPECT_EQ(view::ImgSliderLeft, 1830.0f) << "outside the limits the thumb stays";
  p.move(QPoint(200, -20));
  EXPECT_EQ(view::ImgSliderLeft, 3000.0f);
  EXPECT_EQ(p.trace.lines, Lines{}) << "only a left release sends anything";
  p.up(Qt::LeftButton, QPoint(122, p.w->height() + 60));
  EXPECT_FALSE(view::Dragging);
  EXPECT_EQ(p.take(), p.seekTo(101271));  // 1830 twips
  // A click on the thumb reaches the bar beneath it.
  QTest::mouseClick(p.w->windowHandle(), Qt::LeftButton, {}, p.w->imgSlider->geometry().center());
  EXPECT_EQ(p.take(), p.seekTo(105340));  // 1905 twips

  // Both limits are inside; outside them the thumb stays and marks the target.
  const std::vector<std::pair<float, int32_t>> releases = {
      {1825.0f, 101000}, {99.0f, 101000}, {4000.0f, 101000}, {100.0f, 7425}, {3750.0f, 205425}};
  for (const auto& [x, target] : releases) {
    p.w->lblSlider_MouseUp(1, 0, x, 0.0f);
    EXPECT_EQ(p.take(), p.seekTo(target)) << x << " twips";
  }
}

TEST(TrackList, EveryChoicePlaysTheTrackFromItsStart) {
  Player p;
  QComboBox* list = p.w->List1;
  QAbstractItemView* view = list->view();
  for (int32_t at : {61500, 430000}) {  // the second time the same item restarts its track
    p.playTo(at);
    list->showPopup();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(list->model()->index(2, 0)).center());
    EXPECT_EQ(p.take(), p.seekTo(400000));
  }

  // No item: row 0, the start of the disc. Past row 99: nothing at all.
  for (int i = 4; i <= 100; ++i) list->addItem(QString::number(i));
  for (const auto& [index, sends] : {std::pair{-1, p.seekTo(0)}, std::pair{99, Lines{}}}) {
    list->setCurrentIndex(index);
    p.w->List1_Click();
    EXPECT_EQ(p.take(), sends) << "item " << index;
  }
}
