#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <memory>

#include "app/frmVelmar.h"
#include "disc/MMControl.h"
#include "disc/VirtualCdDevice.h"
#include "disc/modFunciones.h"
#include "support/ManualClock.h"
#include "view/SeekBar.h"
#include "view/ViewState.h"

namespace {

// Records the property writes and command words sent from the moment it is made.
struct Trace {
  std::vector<std::string> lines;
  Trace() {
    MMControl::setTraceHook([this](const std::string& s) { lines.push_back(s); });
  }
  ~Trace() { MMControl::setTraceHook(nullptr); }
  bool sent(const std::string& s) const {
    return std::find(lines.begin(), lines.end(), s) != lines.end();
  }
};

const std::vector<std::string> kSeekTo101000 = {"stop", "To=101000", "seek", "play"};

// The real window over a virtual three-track disc, shown and activated:
// playing from the start of track 1 (2000 ms) with the clock at 0.
struct Player {
  ManualClock clock;
  VirtualCdDevice* device = nullptr;
  std::unique_ptr<frmVelmar> form;

  // Each reading of the device's clock first moves it on by this much, ms:
  // playback that runs on while a tick reads the device.
  std::shared_ptr<int64_t> stepPerRead = std::make_shared<int64_t>(0);

  explicit Player(std::vector<TocEntry> toc = threeTrackDisc(), bool show = true) {
    auto ticking = [this, base = clock.clock(), step = stepPerRead] {
      clock.advance(*step);
      return base();
    };
    auto owned = std::make_unique<VirtualCdDevice>(std::move(toc), ticking);
    device = owned.get();
    form = std::make_unique<frmVelmar>(std::move(owned));
    if (!show) return;
    form->show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->activated(); }, 2000));
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  }
  // Moves playback to `ms` from the start of the disc and runs one tick.
  void playTo(int32_t ms) {
    clock.advance(ms - form->MMControl1->Position());
    form->Timer1_Timer();
  }
  std::string caption() const { return form->Label4->text().toStdString(); }
  int thumbX() const { return form->imgSlider->x(); }

  // Real mouse input through the window, at pixel x of the bar's middle row
  // (or at any window point).
  QWindow* window() const { return form->windowHandle(); }
  QPoint onBar(int x) const { return form->lblSlider->mapTo(form.get(), QPoint(x, 10)); }
  void press(Qt::MouseButton b, QPoint at) { QTest::mousePress(window(), b, {}, at); }
  void move(QPoint at) { QTest::mouseMove(window(), at); }
  void release(Qt::MouseButton b, QPoint at) { QTest::mouseRelease(window(), b, {}, at); }
};

std::vector<std::string> tail(const Trace& t, size_t n) {
  return {t.lines.end() - static_cast<std::ptrdiff_t>(std::min(n, t.lines.size())), t.lines.end()};
}

}  // namespace

TEST(RefreshTick, ThumbAndCaptionFollowPlaybackThroughTheTrack) {
  Player p;
  EXPECT_EQ(p.thumbX(), 250) << "the thumb waits at the right limit until a tick places it";
  p.playTo(2000);
  EXPECT_EQ(view::ImgSliderLeft, 0.0f);
  EXPECT_EQ(p.thumbX(), 0);
  EXPECT_EQ(p.form->imgSlider->y(), 80);
  EXPECT_EQ(p.caption(), "Pista 1 - 00:00");

  p.playTo(3999);
  EXPECT_EQ(p.caption(), "Pista 1 - 00:01") << "1999 ms elapsed is still one second";
  EXPECT_EQ(view::Elapsed, 1999);

  p.playTo(61500);
  EXPECT_NEAR(view::ImgSliderLeft, 1096.84, 0.005);
  EXPECT_EQ(p.thumbX(), 73);
  EXPECT_EQ(p.caption(), "Pista 1 - 00:59");
  EXPECT_EQ(view::Elapsed, 59500);

  // The running timer does the same without help.
  p.clock.advance(38000);
  EXPECT_TRUE(QTest::qWaitFor([&] { return p.caption() == "Pista 1 - 01:37"; }, 2000));
  p.form->close();
}

TEST(RefreshTick, ATickAtABoundaryPairsTheNewNumberWithTheOldTime) {
  Player p;
  p.playTo(199985);
  *p.stepPerRead = 10;  // the first reading gives 199995, the next ones 200005 on
  p.form->Timer1_Timer();
  EXPECT_EQ(modFunciones::CurrentStart, 2000) << "the range follows the first reading";
  EXPECT_NEAR(view::ImgSliderLeft, 3649.9, 0.01);
  EXPECT_EQ(view::Elapsed, 197995);
  EXPECT_EQ(p.caption(), "Pista 2 - 03:17") << "the number follows the fresh readings";

  *p.stepPerRead = 0;
  p.playTo(200200);
  EXPECT_EQ(modFunciones::CurrentStart, 200000);
  EXPECT_EQ(modFunciones::CurrentEnd, 400000);
  EXPECT_NEAR(view::ImgSliderLeft, 3.65, 0.001);
  EXPECT_EQ(p.caption(), "Pista 2 - 00:00");
}

TEST(RefreshTick, APositionAtTheEndOfTheRangeBelongsToTheNextTrack) {
  Player p;
  p.playTo(61500);
  p.form->MMControl1->Command("Stop");
  p.form->MMControl1->Command("Next");  // stopped at 200000, the end of track 1
  p.form->Timer1_Timer();
  EXPECT_EQ(modFunciones::CurrentStart, 200000);
  EXPECT_EQ(view::ImgSliderLeft, 0.0f);
  EXPECT_EQ(p.caption(), "Pista 2 - 00:00");
}

TEST(RefreshTick, TransportButtonsMoveTheRangeOnTheNextTick) {
  Player p;
  p.playTo(61500);
  p.form->MMControl1->Command("Next");
  EXPECT_EQ(modFunciones::CurrentStart, 2000) << "nothing changes before a tick";
  p.clock.advance(150);
  ASSERT_TRUE(QTest::qWaitFor([&] { return modFunciones::CurrentStart == 200000; }, 2000));
  EXPECT_EQ(modFunciones::CurrentEnd, 400000);
  EXPECT_NEAR(view::ImgSliderLeft, 2.74, 0.01) << "the thumb restarts from the left";
  EXPECT_EQ(p.caption(), "Pista 2 - 00:00");

  p.playTo(230000);
  p.form->MMControl1->Command("Prev");  // to the start of track 2
  p.form->MMControl1->Command("Prev");  // again within 3 s: track 1
  p.form->Timer1_Timer();
  EXPECT_EQ(modFunciones::CurrentStart, 2000);
  EXPECT_EQ(p.caption(), "Pista 1 - 00:00");
}

TEST(RefreshTick, EmptyRangeNeverFailsAndShowsTheStart) {
  {
    Player p(std::vector<TocEntry>{});  // no disc
    p.form->Timer1_Timer();
    EXPECT_EQ(view::ImgSliderLeft, 0.0f);
    EXPECT_EQ(p.thumbX(), 0);
    EXPECT_EQ(p.caption(), "Pista 0 - 00:00");
  }
  {
    // Before the table exists: the tick finds no track for the position and
    // counts the time from the start of the disc.
    Player p(threeTrackDisc(), false);
    p.form->Timer1_Timer();
    EXPECT_EQ(modFunciones::CurrentEnd, 0);
    EXPECT_EQ(view::ImgSliderLeft, 0.0f);
    EXPECT_EQ(p.caption(), "Pista 0 - 00:02");
  }
}

TEST(SeekBar, ReleaseTargetsFollowTheThumb) {
  Player p;
  p.playTo(61500);
  Trace t;
  p.form->lblSlider_MouseUp(1, 0, 1825.0f, 150.0f);
  EXPECT_EQ(t.lines, kSeekTo101000);
  EXPECT_EQ(p.form->MMControl1->Position(), 101000);
  EXPECT_EQ(p.form->MMControl1->Mode(), DeviceMode::Playing);
  p.form->Timer1_Timer();
  EXPECT_NEAR(view::ImgSliderLeft, 1825.0, 0.001);
  EXPECT_EQ(p.caption(), "Pista 1 - 01:39");

  // Outside the limits the thumb stays where it was and marks the target.
  p.form->lblSlider_MouseUp(1, 0, 99.0f, 0.0f);
  EXPECT_EQ(tail(t, 4), kSeekTo101000);
  p.form->lblSlider_MouseUp(1, 0, 4000.0f, 0.0f);
  EXPECT_EQ(tail(t, 4), kSeekTo101000);

  // Both limits are inside; the right one seeks past the track's end.
  p.form->lblSlider_MouseUp(1, 0, 100.0f, 0.0f);
  EXPECT_EQ(tail(t, 3)[0], "To=7425");
  p.form->lblSlider_MouseUp(1, 0, 3750.0f, 0.0f);
  EXPECT_EQ(tail(t, 3)[0], "To=205425");
  EXPECT_EQ(modFunciones::CurrentStart, 2000) << "the release leaves the range to the tick";
  p.form->Timer1_Timer();
  EXPECT_EQ(modFunciones::CurrentStart, 200000);
  EXPECT_EQ(p.caption(), "Pista 2 - 00:05");
}

TEST(SeekBar, DraggingSuspendsTheDisplayAndTheReleasePlaysFromTheThumb) {
  Player p;
  p.playTo(61500);
  Trace t;
  p.press(Qt::LeftButton, p.onBar(50));
  p.move(p.onBar(60));
  p.move(p.onBar(122));
  EXPECT_TRUE(view::Dragging);
  EXPECT_EQ(view::ImgSliderLeft, 1830.0f);
  EXPECT_EQ(p.thumbX(), 122);
  EXPECT_TRUE(t.lines.empty()) << "moving sends nothing";

  p.playTo(66500);
  QTest::qWait(250);  // the running timer ticks too
  EXPECT_EQ(view::ImgSliderLeft, 1830.0f);
  EXPECT_EQ(p.caption(), "Pista 1 - 00:59");

  // The drag keeps the mouse when the pointer leaves the bar and the window.
  p.move(QPoint(122, 5));
  p.move(QPoint(p.form->width() + 40, p.form->height() + 40));
  p.move(QPoint(-30, 100));
  EXPECT_TRUE(view::Dragging);
  EXPECT_EQ(view::ImgSliderLeft, 1830.0f) << "outside the limits the thumb stays";
  p.move(QPoint(200, -20));  // above the window, within the limits
  EXPECT_EQ(view::ImgSliderLeft, 3000.0f);
  p.move(p.onBar(122));

  p.release(Qt::LeftButton, QPoint(122, p.form->height() + 60));
  EXPECT_FALSE(view::Dragging);
  EXPECT_EQ(t.lines, (std::vector<std::string>{"stop", "To=101271", "seek", "play"}));
  p.form->Timer1_Timer();
  EXPECT_EQ(p.caption(), "Pista 1 - 01:39");
  EXPECT_NEAR(view::ImgSliderLeft, 1830.0, 0.01);
}

TEST(SeekBar, AClickOnTheBarOrOnTheThumbSeeks) {
  Player p;
  p.playTo(61500);
  Trace t;
  QTest::mouseClick(p.window(), Qt::LeftButton, {}, p.onBar(122));
  EXPECT_EQ(t.lines, (std::vector<std::string>{"stop", "To=101271", "seek", "play"}));

  // The thumb now stands at 122..133 px; a click on it reaches the bar.
  t.lines.clear();
  const QPoint onThumb = p.form->imgSlider->geometry().center();
  ASSERT_TRUE(p.form->imgSlider->geometry().contains(onThumb));
  ASSERT_TRUE(p.form->imgSlider->isVisible());
  QTest::mouseClick(p.window(), Qt::LeftButton, {}, onThumb);
  ASSERT_EQ(t.lines.size(), 4u);
  EXPECT_EQ(t.lines[1],
            "To=" + std::to_string(2000 + std::lrint(onThumb.x() * 15 * 198000.0 / 3650)));
}

TEST(SeekBar, OtherButtonsChangeNothing) {
  Player p;
  p.playTo(61500);
  const float thumb = view::ImgSliderLeft;
  Trace t;
  for (Qt::MouseButton b : {Qt::RightButton, Qt::MiddleButton}) {
    p.press(b, p.onBar(50));
    p.move(p.onBar(150));
    EXPECT_FALSE(view::Dragging);
    p.release(b, p.onBar(150));
  }
  for (int16_t button : {2, 3, 4, 5, 0}) {
    p.form->lblSlider_MouseMove(button, 0, 1825.0f, 0.0f);
    p.form->lblSlider_MouseUp(button, 0, 1825.0f, 0.0f);
  }
  EXPECT_FALSE(view::Dragging);
  EXPECT_EQ(view::ImgSliderLeft, thumb);
  EXPECT_TRUE(t.lines.empty());

  // Left and right held together: moves and the left release do nothing; the
  // drag ends when the last button comes up, seeking nowhere.
  p.press(Qt::LeftButton, p.onBar(50));
  p.move(p.onBar(60));
  ASSERT_TRUE(view::Dragging);
  p.press(Qt::RightButton, p.onBar(60));
  p.move(p.onBar(150));
  EXPECT_EQ(view::ImgSliderLeft, 900.0f);
  p.release(Qt::LeftButton, p.onBar(150));
  EXPECT_TRUE(view::Dragging);
  EXPECT_TRUE(t.lines.empty());
  p.release(Qt::RightButton, p.onBar(150));
  EXPECT_FALSE(view::Dragging);
  EXPECT_TRUE(t.lines.empty());
  p.form->Timer1_Timer();
  EXPECT_EQ(view::ImgSliderLeft, thumb) << "the tick has the thumb again";
}

TEST(SeekBar, WithoutADiscAReleaseOnlyEndsTheDrag) {
  Player p(std::vector<TocEntry>{});
  p.form->Timer1_Timer();
  Trace t;
  p.press(Qt::LeftButton, p.onBar(50));
  p.move(p.onBar(122));
  EXPECT_TRUE(view::Dragging);
  p.release(Qt::LeftButton, p.onBar(122));
  EXPECT_FALSE(view::Dragging);
  EXPECT_TRUE(t.lines.empty()) << "no stop, seek or play";
  p.form->Timer1_Timer();
  EXPECT_EQ(view::ImgSliderLeft, 0.0f);
}

TEST(TrackList, EveryChoicePlaysTheTrackFromItsStart) {
  Player p;
  p.playTo(61500);
  Trace t;
  // By mouse: open the list and click the third item.
  QComboBox* list = p.form->List1;
  list->showPopup();
  QAbstractItemView* view = list->view();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
  const QRect third = view->visualRect(list->model()->index(2, 0));
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, third.center());
  ASSERT_EQ(list->currentIndex(), 2);
  EXPECT_EQ(t.lines, (std::vector<std::string>{"Stop", "To=400000", "Seek", "Play"}));
  p.form->Timer1_Timer();
  EXPECT_EQ(modFunciones::CurrentStart, 400000);
  EXPECT_EQ(p.caption(), "Pista 3 - 00:00");

  // The same item again restarts it.
  p.playTo(430000);
  t.lines.clear();
  list->showPopup();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, third.center());
  EXPECT_EQ(t.lines, (std::vector<std::string>{"Stop", "To=400000", "Seek", "Play"}));
  EXPECT_EQ(p.form->MMControl1->Position(), 400000);

  // By keyboard.
  t.lines.clear();
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Up);
  EXPECT_EQ(t.lines, (std::vector<std::string>{"Stop", "To=200000", "Seek", "Play"}));

  // A change made by the program is not a choice.
  t.lines.clear();
  list->setCurrentIndex(0);
  EXPECT_TRUE(t.lines.empty());
}

TEST(TrackList, IndicesOutsideTheListReadNoRowPastTheTable) {
  Player p;
  p.playTo(61500);
  Trace t;
  p.form->List1->setCurrentIndex(-1);
  p.form->List1_Click();
  EXPECT_EQ(t.lines, (std::vector<std::string>{"Stop", "To=0", "Seek", "Play"}));
  EXPECT_EQ(p.form->MMControl1->Position(), 2000) << "the device brings 0 onto the disc";

  for (int i = 4; i <= 100; ++i) p.form->List1->addItem(QString::number(i));
  t.lines.clear();
  p.form->List1->setCurrentIndex(98);
  p.form->List1_Click();
  EXPECT_EQ(t.lines, (std::vector<std::string>{"Stop", "To=0", "Seek", "Play"}))
      << "row 99 is empty";
  t.lines.clear();
  p.form->List1->setCurrentIndex(99);
  p.form->List1_Click();
  EXPECT_TRUE(t.lines.empty()) << "no row 100: nothing is chosen";
}
