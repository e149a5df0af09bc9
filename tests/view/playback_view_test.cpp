#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <memory>

#include "app/frmVelmar.h"
#include "disc/MMControl.h"
#include "disc/VirtualCdDevice.h"
#include "disc/modFunciones.h"
#include "support/ManualClock.h"
#include "view/SeekBar.h"
#include "view/ViewState.h"

using modFunciones::CurrentStart;
using Lines = std::vector<std::string>;

namespace {

// Records the property writes and command words sent while it lives.
struct Trace {
  Lines lines;
  Trace() {
    MMControl::setTraceHook([this](const std::string& s) { lines.push_back(s); });
  }
  ~Trace() { MMControl::setTraceHook(nullptr); }
  Lines take() { return std::exchange(lines, {}); }
};

Lines seekTo(int32_t ms) {
  return {"stop", "To=" + std::to_string(ms), "seek", "play"};
}

// The real window over a virtual three-track disc, shown and activated:
// playing from the start of track 1 (2000 ms) with the clock at 0.
struct Player {
  ManualClock clock;
  // Each reading of the clock first moves it on by this much, ms: playback
  // that runs on while a tick reads the device.
  std::shared_ptr<int64_t> stepPerRead = std::make_shared<int64_t>(0);
  std::unique_ptr<frmVelmar> form;

  explicit Player(std::vector<TocEntry> toc = threeTrackDisc(), bool show = true) {
    auto ticking = [this, base = clock.clock(), step = stepPerRead] {
      clock.advance(*step);
      return base();
    };
    form = std::make_unique<frmVelmar>(std::make_unique<VirtualCdDevice>(std::move(toc), ticking));
    if (!show) return;
    form->show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->activated(); }, 2000));
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  }
  MMControl& mci() const { return *form->MMControl1; }
  // Moves playback to `ms` from the start of the disc and runs one tick.
  void playTo(int32_t ms) {
    clock.advance(ms - mci().Position());
    form->Timer1_Timer();
  }
  std::string caption() const { return form->Label4->text().toStdString(); }

  // Real mouse input through the window, in window pixels.
  QPoint onBar(int x) const { return form->lblSlider->mapTo(form.get(), QPoint(x, 10)); }
  void press(Qt::MouseButton b, QPoint at) { QTest::mousePress(form->windowHandle(), b, {}, at); }
  void move(QPoint at) { QTest::mouseMove(form->windowHandle(), at); }
  void release(Qt::MouseButton b, QPoint at) {
    QTest::mouseRelease(form->windowHandle(), b, {}, at);
  }
};

}  // namespace

TEST(RefreshTick, ThumbAndCaptionFollowPlaybackThroughTheTrackAndPastItsEnd) {
  Player p;
  EXPECT_EQ(p.form->imgSlider->x(), 250) << "the thumb waits at the right limit for a tick";
  p.playTo(3999);
  EXPECT_EQ(p.caption(), "Pista 1 - 00:01") << "1999 ms elapsed is still one second";

  p.playTo(61500);
  EXPECT_NEAR(view::ImgSliderLeft, 1096.84, 0.005);
  EXPECT_EQ(p.form->imgSlider->pos(), QPoint(73, 80));
  EXPECT_EQ(view::Elapsed, 59500);
  EXPECT_EQ(p.caption(), "Pista 1 - 00:59");

  // At the boundary the number comes from readings fresher than the time.
  p.playTo(199985);
  *p.stepPerRead = 10;  // the first reading gives 199995, later ones 200005 on
  p.form->Timer1_Timer();
  EXPECT_EQ(CurrentStart, 2000);
  EXPECT_NEAR(view::ImgSliderLeft, 3649.9, 0.01);
  EXPECT_EQ(p.caption(), "Pista 2 - 03:17");
  *p.stepPerRead = 0;
  // The running timer puts them together again.
  p.clock.advance(200);
  ASSERT_TRUE(QTest::qWaitFor([&] { return p.caption() == "Pista 2 - 00:00"; }, 2000));
  EXPECT_EQ(modFunciones::CurrentEnd, 400000);
  EXPECT_LT(view::ImgSliderLeft, 5.0f);
}

TEST(RefreshTick, TransportButtonsMoveTheRangeOnTheNextTick) {
  Player p;
  p.playTo(61500);
  p.mci().Command("Next");
  p.clock.advance(150);
  EXPECT_EQ(CurrentStart, 2000) << "nothing changes before a tick";
  ASSERT_TRUE(QTest::qWaitFor([&] { return CurrentStart == 200000; }, 2000));
  EXPECT_NEAR(view::ImgSliderLeft, 2.74, 0.01) << "the thumb restarts from the left";
  EXPECT_EQ(p.caption(), "Pista 2 - 00:00");

  p.playTo(230000);
  p.mci().Command("Prev");
  p.mci().Command("Prev");  // again within 3 s: track 1
  p.form->Timer1_Timer();
  EXPECT_EQ(CurrentStart, 2000);
  EXPECT_EQ(p.caption(), "Pista 1 - 00:00");

  // Stopped exactly at the range's end, which is the next track's start.
  p.mci().Command("Stop");
  p.mci().Command("Next");
  p.form->Timer1_Timer();
  EXPECT_EQ(CurrentStart, 200000);
  EXPECT_EQ(view::ImgSliderLeft, 0.0f);
  EXPECT_EQ(p.caption(), "Pista 2 - 00:00");
}

TEST(RefreshTick, WithoutATrackTheThumbRestsAtZeroAndTheBarSeeksNowhere) {
  {
    // Before the table exists: no track holds the position; the time counts
    // from the start of the disc.
    Player p(threeTrackDisc(), false);
    p.form->Timer1_Timer();
    EXPECT_EQ(view::ImgSliderLeft, 0.0f);
    EXPECT_EQ(p.caption(), "Pista 0 - 00:02");
  }
  Player p(std::vector<TocEntry>{});  // no disc
  p.form->Timer1_Timer();
  EXPECT_EQ(view::ImgSliderLeft, 0.0f);
  EXPECT_EQ(p.form->imgSlider->x(), 0);
  EXPECT_EQ(p.caption(), "Pista 0 - 00:00");
  Trace t;
  p.press(Qt::LeftButton, p.onBar(50));
  p.move(p.onBar(122));
  EXPECT_TRUE(view::Dragging);
  p.release(Qt::LeftButton, p.onBar(122));
  EXPECT_FALSE(view::Dragging);
  EXPECT_EQ(t.lines, Lines{}) << "no stop, seek or play";
}

TEST(SeekBar, ReleaseTargetsFollowTheThumb) {
  Player p;
  p.playTo(61500);
  Trace t;
  p.form->lblSlider_MouseUp(1, 0, 1825.0f, 150.0f);
  EXPECT_EQ(t.take(), seekTo(101000));
  EXPECT_EQ(p.mci().Position(), 101000);
  EXPECT_EQ(p.mci().Mode(), DeviceMode::Playing);
  p.form->Timer1_Timer();
  EXPECT_NEAR(view::ImgSliderLeft, 1825.0, 0.001);
  EXPECT_EQ(p.caption(), "Pista 1 - 01:39");

  // Outside the limits the thumb stays put and marks the target.
  p.form->lblSlider_MouseUp(1, 0, 99.0f, 0.0f);
  EXPECT_EQ(t.take(), seekTo(101000));
  p.form->lblSlider_MouseUp(1, 0, 4000.0f, 0.0f);
  EXPECT_EQ(t.take(), seekTo(101000));
  // Both limits are inside; the right one seeks past the track's end.
  p.form->lblSlider_MouseUp(1, 0, 100.0f, 0.0f);
  EXPECT_EQ(t.take(), seekTo(7425));
  p.form->lblSlider_MouseUp(1, 0, 3750.0f, 0.0f);
  EXPECT_EQ(t.take(), seekTo(205425));
  EXPECT_EQ(CurrentStart, 2000) << "the release leaves the range to the tick";
  p.form->Timer1_Timer();
  EXPECT_EQ(CurrentStart, 200000);
  EXPECT_EQ(p.caption(), "Pista 2 - 00:05");
}

TEST(SeekBar, DraggingSuspendsTheDisplayAndTheReleaseOrAClickPlaysFromTheThumb) {
  Player p;
  p.playTo(61500);
  Trace t;
  p.press(Qt::LeftButton, p.onBar(50));
  p.move(p.onBar(122));
  EXPECT_TRUE(view::Dragging);
  EXPECT_EQ(view::ImgSliderLeft, 1830.0f);
  EXPECT_EQ(p.form->imgSlider->x(), 122);
  bool pendingRan = false;
  QTimer::singleShot(0, p.form.get(), [&] { pendingRan = true; });
  p.playTo(66500);
  EXPECT_TRUE(pendingRan) << "a suspended tick still lets pending events run";
  QTest::qWait(250);  // the running timer ticks too
  EXPECT_EQ(view::ImgSliderLeft, 1830.0f);
  EXPECT_EQ(p.caption(), "Pista 1 - 00:59");

  // The bar keeps the mouse while the pointer is off it and off the window.
  p.move(QPoint(p.form->width() + 40, p.form->height() + 40));
  p.move(QPoint(-30, 100));
  EXPECT_EQ(view::ImgSliderLeft, 1830.0f) << "outside the limits the thumb stays";
  p.move(QPoint(200, -20));
  EXPECT_EQ(view::ImgSliderLeft, 3000.0f);
  p.move(p.onBar(122));
  EXPECT_EQ(t.lines, Lines{}) << "moving sends nothing";
  p.release(Qt::LeftButton, QPoint(122, p.form->height() + 60));
  EXPECT_FALSE(view::Dragging);
  EXPECT_EQ(t.take(), seekTo(101271));  // 1830 twips
  p.form->Timer1_Timer();
  EXPECT_EQ(p.caption(), "Pista 1 - 01:39");

  // A click on the thumb reaches the bar beneath it.
  const QPoint onThumb = p.form->imgSlider->geometry().center();
  ASSERT_EQ(onThumb.x(), 127);
  QTest::mouseClick(p.form->windowHandle(), Qt::LeftButton, {}, onThumb);
  EXPECT_EQ(t.take(), seekTo(105340));  // 1905 twips
}

TEST(SeekBar, OtherButtonsChangeNothing) {
  Player p;
  p.playTo(61500);
  const float thumb = view::ImgSliderLeft;
  Trace t;
  for (Qt::MouseButton b : {Qt::RightButton, Qt::MiddleButton}) {
    p.press(b, p.onBar(50));
    p.move(p.onBar(150));
    p.release(b, p.onBar(150));
  }
  for (int16_t button : {0, 2, 3, 4, 5}) {
    p.form->lblSlider_MouseMove(button, 0, 1825.0f, 0.0f);
    p.form->lblSlider_MouseUp(button, 0, 1825.0f, 0.0f);
  }
  EXPECT_FALSE(view::Dragging);
  EXPECT_EQ(view::ImgSliderLeft, thumb);
  EXPECT_EQ(t.lines, Lines{});

  // With the right button down too, moves and the left release do nothing;
  // the drag ends when the last button comes up, and seeks nowhere.
  p.press(Qt::LeftButton, p.onBar(50));
  p.move(p.onBar(60));
  p.press(Qt::RightButton, p.onBar(60));
  p.move(p.onBar(150));
  EXPECT_EQ(view::ImgSliderLeft, 900.0f);
  p.release(Qt::LeftButton, p.onBar(150));
  EXPECT_TRUE(view::Dragging);
  p.release(Qt::RightButton, p.onBar(150));
  EXPECT_FALSE(view::Dragging);
  EXPECT_EQ(t.lines, Lines{});
  p.form->Timer1_Timer();
  EXPECT_EQ(view::ImgSliderLeft, thumb) << "the tick has the thumb again";
}

TEST(TrackList, EveryChoicePlaysTheTrackFromItsStart) {
  Player p;
  p.playTo(61500);
  Trace t;
  QComboBox* list = p.form->List1;
  QAbstractItemView* view = list->view();
  const auto chooseThird = [&] {
    list->showPopup();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(list->model()->index(2, 0)).center());
  };
  chooseThird();
  EXPECT_EQ(t.take(), (Lines{"stop", "To=400000", "seek", "play"}));
  p.form->Timer1_Timer();
  EXPECT_EQ(p.caption(), "Pista 3 - 00:00");
  p.playTo(430000);
  chooseThird();  // the same item again restarts the track
  EXPECT_EQ(t.take(), (Lines{"stop", "To=400000", "seek", "play"}));
  EXPECT_EQ(p.mci().Position(), 400000);

  list->setFocus();
  QTest::keyClick(list, Qt::Key_Up);
  EXPECT_EQ(t.take(), (Lines{"stop", "To=200000", "seek", "play"}));
  list->setCurrentIndex(0);
  EXPECT_EQ(t.lines, Lines{}) << "a change made by the program is no choice";

  // No item: row 0, the start of the disc. Past row 99: nothing at all.
  list->setCurrentIndex(-1);
  p.form->List1_Click();
  EXPECT_EQ(t.take(), (Lines{"stop", "To=0", "seek", "play"}));
  EXPECT_EQ(p.mci().Position(), 2000) << "the device brings 0 onto the disc";
  for (int i = 4; i <= 100; ++i) list->addItem(QString::number(i));
  list->setCurrentIndex(99);
  p.form->List1_Click();
  EXPECT_EQ(t.lines, Lines{});
}
