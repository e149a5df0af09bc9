#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QFrame>
#include <QTimer>

#include "disc/modFunciones.h"
#include "support/CommandTrace.h"
#include "support/TestWindow.h"
#include "view/SeekMath.h"
#include "view/TimeFormat.h"
#include "view/ViewState.h"

namespace {

using Lines = std::vector<std::string>;

// The real window shown and playing from 2000 ms, its timer stopped so that
// the test ticks it; the command words it sends from then on.
struct Player : TestWindow {
  CommandTrace trace;
  explicit Player(std::vector<TocEntry> toc = threeTrackDisc()) : TestWindow(std::move(toc)) {
    EXPECT_TRUE(activate());
    form->Timer1->stop();
    trace.lines.clear();
  }
  Lines take() { return std::exchange(trace.lines, {}); }
  static Lines seekTo(int32_t ms) { return {"stop", "To=" + std::to_string(ms), "seek", "play"}; }
};

}  // namespace

// The thumb and the caption follow playback; the display box's tooltip
// follows the current track's CD-Text (never the album's), after each tick.
TEST(RefreshTick, ThumbCaptionAndTooltipFollowPlaybackAcrossTrackBoundaries) {
  Player p;
  const std::pair<int32_t, CdText> text[] = {
      {0, {"Álbum", "Banda"}}, {1, {"Primera", "Solista"}}, {2, {"", "Coro"}}};
  for (const auto& [track, t] : text) p.device->setText(track, t);
  p.playTo(61500);
  EXPECT_NEAR(view::ImgSliderLeft, 1096.84, 0.005);
  EXPECT_EQ(p->imgSlider->pos(), QPoint(73, 80));
  EXPECT_EQ(p.caption(), "Pista 1 - 00:59");

  // At the boundary the number comes from readings fresher than the time:
  // 199990, 199995, then 200000 on, the third, for the number, in track 2.
  p.playTo(199985);
  p.step = 5;
  p->Timer1_Timer();
  EXPECT_EQ(p.caption(), "Pista 2 - 03:17");
  p.step = 0;
  p->Timer1->start();  // the running timer puts them together again
  ASSERT_TRUE(QTest::qWaitFor([&] { return p.caption() == "Pista 2 - 00:00"; }, 2000));

  // "Next" leaves the position at the range's end, the next track's start.
  p->MMControl1->Command("Next");
  p->Timer1_Timer();
  EXPECT_EQ(modFunciones::CurrentStart, 400000);
  EXPECT_EQ(view::ImgSliderLeft, 0.0f);
  EXPECT_EQ(p.caption(), "Pista 3 - 00:00");
  // Back through tracks 2 and 1 (Prev in a track's first 3 s), then no disc.
  const std::pair<const char*, QString> tips[] = {
      {"", ""}, {"Prev", "Coro"}, {"Prev", "Primera\nSolista"}, {"Eject", ""}};
  for (const auto& [command, tip] : tips) {
    if (*command) p->MMControl1->Command(command);
    EXPECT_TRUE(QTest::qWaitFor([&] { return p->picLED->toolTip() == tip; }, 1000)) << command;
  }
}

TEST(SeekBar, OnlyTheLeftButtonDragsAndItsReleasePlaysFromTheThumb) {
  Player p;
  p.playTo(61500);
  const float thumb = view::ImgSliderLeft;
  QTest::mousePress(p->windowHandle(), Qt::MiddleButton, {}, p.onBar(50));
  QTest::mouseMove(p->windowHandle(), p.onBar(150));
  QTest::mouseRelease(p->windowHandle(), Qt::MiddleButton, {}, p.onBar(150));
  EXPECT_FALSE(view::Dragging);
  EXPECT_EQ(view::ImgSliderLeft, thumb);
  // With the right button down too, moves and the left release do nothing;
  // the drag ends when the last button comes up (a right release alone
  // sends nothing either, below).
  QTest::mousePress(p->windowHandle(), Qt::LeftButton, {}, p.onBar(50));
  QTest::mouseMove(p->windowHandle(), p.onBar(60));
  QTest::mousePress(p->windowHandle(), Qt::RightButton, {}, p.onBar(60));
  QTest::mouseMove(p->windowHandle(), p.onBar(150));
  EXPECT_EQ(view::ImgSliderLeft, 900.0f);
  QTest::mouseRelease(p->windowHandle(), Qt::LeftButton, {}, p.onBar(150));
  EXPECT_TRUE(view::Dragging);
  QTest::mouseRelease(p->windowHandle(), Qt::RightButton, {}, p.onBar(150));
  EXPECT_FALSE(view::Dragging);

  // A left drag suspends the display, and the tick still lets events run.
  QTest::mousePress(p->windowHandle(), Qt::LeftButton, {}, p.onBar(50));
  QTest::mouseMove(p->windowHandle(), p.onBar(122));
  bool pendingRan = false;
  QTimer::singleShot(0, p.form.get(), [&] { pendingRan = true; });
  p.playTo(66500);
  EXPECT_TRUE(pendingRan);
  EXPECT_EQ(view::ImgSliderLeft, 1830.0f);
  EXPECT_EQ(p.caption(), "Pista 1 - 00:59");
  // The bar keeps the mouse while the pointer is off it and off the window.
  QTest::mouseMove(p->windowHandle(), QPoint(-30, 100));
  EXPECT_EQ(view::ImgSliderLeft, 1830.0f) << "outside the limits the thumb stays";
  QTest::mouseMove(p->windowHandle(), QPoint(200, -20));
  EXPECT_EQ(view::ImgSliderLeft, 3000.0f);
  EXPECT_EQ(p.take(), Lines{}) << "only a left release sends anything";
  QTest::mouseRelease(p->windowHandle(), Qt::LeftButton, {}, QPoint(122, p->height() + 60));
  EXPECT_FALSE(view::Dragging);
  EXPECT_EQ(p.take(), p.seekTo(101271));  // 1830 twips
  // A click on the thumb reaches the bar beneath it.
  QTest::mouseClick(p->windowHandle(), Qt::LeftButton, {}, p->imgSlider->geometry().center());
  EXPECT_EQ(p.take(), p.seekTo(105340));  // 1905 twips

  // Both limits are inside; outside them the thumb stays and marks the target.
  const std::pair<float, int32_t> releases[] = {
      {1825.0f, 101000}, {99.0f, 101000}, {4000.0f, 101000}, {100.0f, 7425}, {3750.0f, 205425}};
  for (const auto& [x, target] : releases) {
    p->lblSlider_MouseUp(1, 0, x, 0.0f);
    EXPECT_EQ(p.take(), p.seekTo(target)) << x << " twips";
  }
  // Half-way along (1825 twips) an x.5 ms target lands on the even
  // neighbour; so does an x.5 px thumb.
  for (const auto& [end, target] : {std::pair{1, 0}, {5, 2}})
    EXPECT_EQ(seekmath::SeekTarget(1825.0f, 0, end, 100, 3750), target);
  EXPECT_EQ(seekmath::ThumbPixelX(37.5f), 2);
}

TEST(TrackList, EveryChoicePlaysTheTrackFromItsStart) {
  Player p;
  QComboBox* list = p->List1;
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
    p->List1_Click();
    EXPECT_EQ(p.take(), sends) << "item " << index;
  }
}

// Seconds as mm:ss of at least two digits; the caption truncates to whole
// seconds, never rounds up, and past 16 bits of seconds keeps counting.
TEST(TimeFormat, MinutesAndSecondsOfTwoDigitsAndCaptionsInWholeSeconds) {
  const std::tuple<int16_t, int32_t, const char*> captions[] = {
      {3, 999, "Pista 3 - 00:00"},       {3, 9999, "Pista 3 - 00:09"},
      {3, 65432, "Pista 3 - 01:05"},     {1, 610500, "Pista 1 - 10:10"},
      {1, 32768000, "Pista 1 - 546:08"}, {2, INT32_MIN, "Pista 2 - 00:00"}};
  for (const auto& [track, ms, text] : captions)
    EXPECT_EQ(modFunciones::CaptionFor(track, ms), text) << ms;
  EXPECT_EQ(modFunciones::FormatTime(-61), "00:00");
}
