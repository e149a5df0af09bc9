#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QBitmap>
#include <QComboBox>
#include <QDir>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QSet>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <memory>

#include "app/Identity.h"
#include "app/Pictures.h"
#include "app/TransportBar.h"
#include "app/frmVelmar.h"
#include "disc/MMControl.h"
#include "disc/VirtualCdDevice.h"
#include "support/ManualClock.h"
#include "view/SeekBar.h"

namespace {

// A drive whose tray the program cannot open.
class FixedTrayDevice : public VirtualCdDevice {
 public:
  using VirtualCdDevice::VirtualCdDevice;
  bool canEject() const override { return false; }
};

struct Window {
  ManualClock clock;
  VirtualCdDevice* device = nullptr;
  std::unique_ptr<frmVelmar> form;

  explicit Window(std::vector<TocEntry> toc = threeTrackDisc(), bool fixedTray = false) {
    auto owned = fixedTray ? std::make_unique<FixedTrayDevice>(std::move(toc), clock.clock())
                           : std::make_unique<VirtualCdDevice>(std::move(toc), clock.clock());
    device = owned.get();
    form = std::make_unique<frmVelmar>(std::move(owned));
  }
  void showActive() {
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->activated(); }, 2000));
  }
  TransportBar* bar() const { return form->MMControl1->findChild<TransportBar*>(); }
  QWidget* line(const char* name) const { return form->findChild<QWidget*>(name); }
  // The buttons the bar lets the user press, by tooltip, left to right.
  QStringList enabledButtons() const {
    QStringList out;
    for (int i = 0; i < TransportBar::kButtons; ++i) {
      const QPushButton* b = bar()->button(static_cast<TransportBar::Button>(i));
      if (b->isEnabled()) out << b->toolTip();
    }
    return out;
  }
  // The pointer shape shown at a point of the window (client coordinates).
  QCursor cursorAt(QPoint p) const {
    QWidget* w = form->childAt(p);
    if (!w) w = form.get();
    while (w != form.get() && !w->testAttribute(Qt::WA_SetCursor)) w = w->parentWidget();
    return w->cursor();
  }
};

const QSet<QRgb>& sixteenColours() {
  static const QSet<QRgb> colours{
      qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
      qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
      qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
      qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
  return colours;
}

// Pixels of a picture that are neither fully transparent nor one of the 16
// colours.
int strayPixels(const QImage& picture) {
  const QImage img = picture.convertToFormat(QImage::Format_ARGB32);
  int stray = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      const QRgb p = img.pixel(x, y);
      if (qAlpha(p) == 0) continue;
      if (qAlpha(p) != 255 || !sixteenColours().contains(p | 0xff000000u)) ++stray;
    }
  return stray;
}

// The seek thumb's rows, as the picture must show them: W white, S silver,
// G grey, B black.
QStringList thumbRows() {
  QStringList rows{"WWWWWWWWWWWB"};
  for (int i = 1; i <= 18; ++i) rows << "WSSSSSSSSSGB";
  rows << "WGGGGGGGGGGB"
       << "BBBBBBBBBBBB";
  return rows;
}

QString rowsAt(const QImage& img, QPoint origin) {
  const QHash<QRgb, QChar> letter{
      {0xffffff, 'W'}, {0xc0c0c0, 'S'}, {0x808080, 'G'}, {0x000000, 'B'}};
  QString out;
  for (int y = 0; y < 21; ++y) {
    for (int x = 0; x < 12; ++x)
      out += letter.value(img.pixel(origin.x() + x, origin.y() + y) & 0xffffff, '?');
    out += '\n';
  }
  return out;
}

}  // namespace

TEST(Layout, WindowAndControlsStandAtTheirPixelPlaces) {
  Window w;
  frmVelmar& f = *w.form;
  EXPECT_EQ(f.size(), QSize(271, 134));
  EXPECT_EQ(f.minimumSize(), f.maximumSize()) << "the program cannot resize the window";
  EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(f.windowTitle(), "Velmar");

  EXPECT_EQ(f.List1->geometry(), QRect(8, 48, 196, 21));
  EXPECT_EQ(f.Slider1->geometry(), QRect(216, 8, 41, 65));
  EXPECT_EQ(f.picLED->geometry(), QRect(8, 8, 196, 35));
  EXPECT_EQ(f.MMControl1->geometry(), QRect(16, 104, 234, 25));
  EXPECT_EQ(f.lblSlider->geometry(), QRect(0, 80, 281, 20)) << "reaches past the right edge";
  EXPECT_EQ(f.imgSlider->geometry(), QRect(250, 80, 12, 21));
  EXPECT_EQ(f.Label1->geometry(), QRect(256, 16, 9, 57));
  // Label4 is placed from picLED's inner area, inside its 2 px sunken border.
  EXPECT_EQ(f.picLED->contentsRect(), QRect(2, 2, 192, 31));
  EXPECT_EQ(f.Label4->parentWidget(), f.picLED);
  EXPECT_EQ(f.Label4->geometry(), QRect(26, 10, 137, 17));

  // Arial 12 bold is 16 px at 96 dpi; its substitute must be as narrow, so
  // the longest caption fits the display.
  const QFontInfo display(f.Label4->font());
  EXPECT_TRUE(display.bold());
  EXPECT_EQ(display.pixelSize(), 16);
  EXPECT_LE(QFontMetrics(f.Label4->font()).horizontalAdvance("Pista 99 - 79:59"), 137)
      << display.family().toStdString();
  const QFontInfo caption(f.Label1->font());
  EXPECT_TRUE(caption.bold());
  EXPECT_TRUE(caption.fixedPitch()) << caption.family().toStdString();
  EXPECT_EQ(caption.pixelSize(), 8);

  // Both ends of each groove line are drawn: 8..260 on row 88, 9..260 below.
  ASSERT_TRUE(w.line("Line1") && w.line("Line2") && w.line("Line3"));
  EXPECT_EQ(w.line("Line1")->geometry(), QRect(8, 88, 253, 1));
  EXPECT_EQ(w.line("Line2")->geometry(), QRect(9, 89, 252, 1));
  EXPECT_EQ(w.line("Line3")->geometry(), QRect(9, 90, 252, 1));

  // The bar's six buttons share its width and fill it, in their order.
  const QStringList order{"Anterior", "Siguiente", "Reproducir", "Pausa", "Detener", "Expulsar"};
  ASSERT_NE(w.bar(), nullptr);
  EXPECT_EQ(f.MMControl1->findChildren<QAbstractButton*>().size(), 6) << "no other buttons";
  int x = 0;
  for (int i = 0; i < TransportBar::kButtons; ++i) {
    const QPushButton* b = w.bar()->button(static_cast<TransportBar::Button>(i));
    EXPECT_EQ(b->toolTip(), order[i]);
    EXPECT_EQ(b->mapTo(f.MMControl1, QPoint(0, 0)), QPoint(x, 0)) << order[i].toStdString();
    EXPECT_EQ(b->size(), QSize(39, 25)) << order[i].toStdString();
    x += b->width();
  }
  EXPECT_EQ(x, 234);
}

TEST(Layout, RenderedWindowShowsThumbGrooveDisplayAndCaption) {
  Window w;
  frmVelmar& f = *w.form;
  f.Timer1->stop();  // the picture at load, before any tick moves the thumb
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  EXPECT_EQ(f.Label4->text(), "00:00") << "before the first tick";
  const QImage shot = f.grab().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(shot.size(), QSize(271, 134));
  QDir().mkpath(VELMAR_BINARY_DIR "/artifacts");
  ASSERT_TRUE(shot.save(VELMAR_BINARY_DIR "/artifacts/velmar.png"));

  // The thumb, above the bar and the groove, at the right limit of dragging.
  EXPECT_EQ(rowsAt(shot, {250, 80}), thumbRows().join('\n') + '\n');

  // The groove: three one-pixel lines in the palette's 3-D colours.
  const QPalette pal = f.palette();
  const QRgb bg = pal.color(QPalette::Window).rgb();
  const QRgb dark = pal.color(QPalette::Dark).rgb();
  const QRgb shadow = pal.color(QPalette::Shadow).rgb();
  const QRgb light = pal.color(QPalette::Light).rgb();
  ASSERT_EQ(QSet<QRgb>({bg, dark, shadow, light}).size(), 4) << "the palette's colours differ";
  for (int x = 8; x < 250; ++x) {  // the thumb covers 250..261
    ASSERT_EQ(shot.pixel(x, 88), dark) << x;
    if (x == 8) continue;
    ASSERT_EQ(shot.pixel(x, 89), shadow) << x;
    ASSERT_EQ(shot.pixel(x, 90), light) << x;
  }
  EXPECT_EQ(shot.pixel(7, 88), bg);
  EXPECT_EQ(shot.pixel(8, 89), bg);
  EXPECT_EQ(shot.pixel(8, 90), bg);
  for (int x = 0; x < 271; ++x) {
    EXPECT_NE(shot.pixel(x, 87), dark) << "nothing of the groove above row 88, x " << x;
    if (x < 250 || x > 261) {
      EXPECT_EQ(shot.pixel(x, 91), bg) << x;
    }
  }

  // The display: white text on black, inside Label4's place.
  const QRect label4(f.Label4->mapTo(&f, QPoint(0, 0)), f.Label4->size());
  const QRect inner(f.picLED->mapTo(&f, f.picLED->contentsRect().topLeft()),
                    f.picLED->contentsRect().size());
  int white = 0;
  for (int y = inner.top(); y <= inner.bottom(); ++y)
    for (int x = inner.left(); x <= inner.right(); ++x) {
      const QRgb p = shot.pixel(x, y);
      if (p == qRgb(255, 255, 255)) {
        ++white;
        EXPECT_TRUE(label4.contains(x, y)) << "text outside Label4 at " << x << "," << y;
      } else if (!label4.contains(x, y)) {
        EXPECT_EQ(p, qRgb(0, 0, 0)) << x << "," << y;
      }
    }
  EXPECT_GT(white, 60) << "\"00:00\" in white";

  // "V O L U M E N": seven letters stacked, none cut off at the bottom.
  const QRect label1 = f.Label1->geometry();
  EXPECT_GT(label1.height(), label1.width());
  const QRgb ink = f.Label1->palette().color(QPalette::ButtonText).rgb();
  int letters = 0, lastInkRow = -1;
  bool inLetter = false;
  for (int y = label1.top(); y <= label1.bottom(); ++y) {
    bool rowHasInk = false;
    for (int x = label1.left(); x <= label1.right(); ++x) rowHasInk |= shot.pixel(x, y) == ink;
    if (rowHasInk && !inLetter) ++letters;
    if (rowHasInk) lastInkRow = y;
    inLetter = rowHasInk;
  }
  EXPECT_EQ(letters, 7);
  EXPECT_LT(lastInkRow, label1.bottom()) << "the N is whole";

  // Once a tick has moved the thumb, the groove shows through to x 260.
  f.imgSlider->move(100, 80);
  const QImage moved = f.grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(rowsAt(moved, {100, 80}), thumbRows().join('\n') + '\n');
  EXPECT_EQ(moved.pixel(260, 88), dark);
  EXPECT_EQ(moved.pixel(260, 89), shadow);
  EXPECT_EQ(moved.pixel(260, 90), light);
  EXPECT_EQ(moved.pixel(261, 88), bg);
  EXPECT_EQ(moved.pixel(255, 95), bg) << "nothing left of the thumb at its old place";
}

TEST(Layout, HandCursorCoversTheWholeSeekBandAndTheThumbOnly) {
  Window w;
  const QPixmap hand = pictures::handCursor().pixmap();
  auto isHand = [&](QPoint p) {
    const QCursor c = w.cursorAt(p);
    return c.shape() == Qt::BitmapCursor && c.hotSpot() == QPoint(15, 13) &&
           c.pixmap().toImage() == hand.toImage();
  };
  for (QPoint p : {QPoint(0, 80), QPoint(270, 80), QPoint(0, 99), QPoint(270, 99), QPoint(100, 88),
                   QPoint(100, 89), QPoint(100, 90),                      // over the groove
                   QPoint(250, 80), QPoint(261, 100), QPoint(255, 100)})  // the thumb
    EXPECT_TRUE(isHand(p)) << p.x() << "," << p.y();
  for (QPoint p :
       {QPoint(100, 79), QPoint(100, 100), QPoint(249, 100), QPoint(262, 100), QPoint(50, 20),
        QPoint(50, 55), QPoint(230, 30), QPoint(260, 30), QPoint(50, 115), QPoint(5, 130)})
    EXPECT_EQ(w.cursorAt(p).shape(), Qt::ArrowCursor) << p.x() << "," << p.y();

  // The groove lines let the mouse through to the bar under them.
  EXPECT_EQ(w.form->childAt(100, 88), w.form->lblSlider);
  EXPECT_EQ(w.form->childAt(255, 90), w.form->imgSlider) << "the thumb is on top";
}

TEST(Layout, TransportButtonsFollowTheDeviceMode) {
  const QStringList none;
  const QStringList stopped{"Anterior", "Siguiente", "Reproducir", "Expulsar"};
  const QStringList playing{"Anterior", "Siguiente", "Pausa", "Detener", "Expulsar"};
  const QStringList paused{"Anterior", "Siguiente", "Reproducir", "Pausa", "Detener", "Expulsar"};
  {
    Window w;
    EXPECT_EQ(w.enabledButtons(), stopped) << "opened at load, not yet playing";
    w.form->MMControl1->Command("Play");
    EXPECT_EQ(w.enabledButtons(), playing);
    w.form->MMControl1->Command("Pause");
    EXPECT_EQ(w.enabledButtons(), paused);
    w.form->MMControl1->Command("Stop");
    EXPECT_EQ(w.enabledButtons(), stopped);
    w.form->MMControl1->Command("Eject");
    EXPECT_EQ(w.enabledButtons(), QStringList{"Expulsar"}) << "no disc";
    w.form->MMControl1->Command("Close");
    EXPECT_EQ(w.enabledButtons(), none) << "device not open";
  }
  {
    Window w(std::vector<TocEntry>{});
    EXPECT_EQ(w.enabledButtons(), QStringList{"Expulsar"});
  }
  {
    Window w(std::vector<TocEntry>{}, /*fixedTray=*/true);
    EXPECT_EQ(w.enabledButtons(), none);
    Window loaded(threeTrackDisc(), /*fixedTray=*/true);
    EXPECT_EQ(loaded.enabledButtons(), QStringList({"Anterior", "Siguiente", "Reproducir"}));
  }
  {
    // The disc runs out by itself: the bar sees it on its own poll.
    Window w;
    w.showActive();
    ASSERT_EQ(w.enabledButtons(), playing);
    w.clock.advance(600000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.enabledButtons() == stopped; }, 2000))
        << w.enabledButtons().join(',').toStdString();
  }
}

TEST(Layout, TransportButtonsActOnTheDeviceByMouseAndKeyboard) {
  Window w;
  w.showActive();
  TransportBar* bar = w.bar();
  ASSERT_EQ(w.form->MMControl1->Mode(), DeviceMode::Playing);

  QTest::mouseClick(bar->button(TransportBar::Next), Qt::LeftButton);
  EXPECT_EQ(w.device->log().back(), "next");
  EXPECT_EQ(w.form->MMControl1->Position(), 200000);
  QTest::mouseClick(bar->button(TransportBar::Play), Qt::LeftButton);
  EXPECT_NE(w.device->log().back(), "play") << "a disabled button does nothing";
  QTest::mouseClick(bar->button(TransportBar::Pause), Qt::LeftButton);
  EXPECT_EQ(w.form->MMControl1->Mode(), DeviceMode::Paused);
  QTest::mouseClick(bar->button(TransportBar::Play), Qt::LeftButton);
  EXPECT_EQ(w.form->MMControl1->Mode(), DeviceMode::Playing);
  QTest::mouseClick(bar->button(TransportBar::Stop), Qt::LeftButton);
  EXPECT_EQ(w.form->MMControl1->Mode(), DeviceMode::Stopped);
  EXPECT_TRUE(w.form->MMControl1->hasFocus()) << "a click gives the control the focus";

  // Keyboard: the mark skips disabled buttons; Space presses the marked one.
  w.form->MMControl1->Command("Play");
  w.form->MMControl1->setFocus();
  for (int i = 0; i < TransportBar::kButtons && bar->marked() != TransportBar::Next; ++i)
    QTest::keyClick(w.form->MMControl1, Qt::Key_Right);
  ASSERT_EQ(bar->marked(), TransportBar::Next);
  QTest::keyClick(w.form->MMControl1, Qt::Key_Right);
  EXPECT_EQ(bar->marked(), TransportBar::Pause) << "Play is disabled while playing";
  QTest::keyClick(w.form->MMControl1, Qt::Key_Space);
  EXPECT_EQ(w.form->MMControl1->Mode(), DeviceMode::Paused);
  QTest::keyClick(w.form->MMControl1, Qt::Key_Left);
  EXPECT_EQ(bar->marked(), TransportBar::Play);
  QTest::keyClick(w.form->MMControl1, Qt::Key_Return);
  EXPECT_EQ(w.form->MMControl1->Mode(), DeviceMode::Playing);
  EXPECT_EQ(bar->marked(), TransportBar::Pause) << "the mark leaves a button that became disabled";

  QTest::keyClick(w.form->MMControl1, Qt::Key_Left);
  QTest::keyClick(w.form->MMControl1, Qt::Key_Left);
  EXPECT_EQ(bar->marked(), TransportBar::Prev);
  QTest::keyClick(w.form->MMControl1, Qt::Key_Left);
  EXPECT_EQ(bar->marked(), TransportBar::Eject) << "wraps round from the first button";
  QTest::keyClick(w.form->MMControl1, Qt::Key_Space);
  EXPECT_EQ(w.device->log().back(), "eject");
  EXPECT_EQ(w.enabledButtons(), QStringList{"Expulsar"});
  EXPECT_EQ(bar->marked(), TransportBar::Eject);
}

TEST(Layout, VolumeSliderRunsFromZeroAtTheTopAndStepsTheWayTheKeyPoints) {
  Window w;
  QSlider* s = w.form->Slider1;
  w.form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w.form.get()));
  EXPECT_EQ(s->orientation(), Qt::Vertical);
  EXPECT_EQ(s->minimum(), 0);
  EXPECT_EQ(s->maximum(), 65535);
  EXPECT_EQ(s->value(), 0) << "thumb at the top at load";

  // The thumb stands at the top end: a click there hits it and changes
  // nothing, a click on the track below it pages down.
  QTest::mouseClick(s, Qt::LeftButton, {}, QPoint(s->width() / 2 - 5, 3));
  EXPECT_EQ(s->value(), 0);
  QTest::mouseClick(s, Qt::LeftButton, {}, QPoint(s->width() / 2 - 5, s->height() - 4));
  EXPECT_EQ(s->value(), 1000);

  QTest::keyClick(s, Qt::Key_Down);
  EXPECT_EQ(s->value(), 1500);
  QTest::keyClick(s, Qt::Key_PageDown);
  EXPECT_EQ(s->value(), 2500);
  QTest::keyClick(s, Qt::Key_Up);
  EXPECT_EQ(s->value(), 2000);
  QTest::keyClick(s, Qt::Key_PageUp);
  EXPECT_EQ(s->value(), 1000);
  QTest::keyClick(s, Qt::Key_End);
  EXPECT_EQ(s->value(), 65535);
  QTest::keyClick(s, Qt::Key_Down);
  EXPECT_EQ(s->value(), 65535) << "stops at the bottom";

  // At the bottom end, a click near the top pages up.
  QTest::mouseClick(s, Qt::LeftButton, {}, QPoint(s->width() / 2 - 5, 3));
  EXPECT_EQ(s->value(), 64535);
  QTest::keyClick(s, Qt::Key_Home);
  EXPECT_EQ(s->value(), 0);
  QTest::keyClick(s, Qt::Key_Up);
  EXPECT_EQ(s->value(), 0);
}

TEST(Layout, FocusOpensOnTheBarAndCyclesThroughFourControls) {
  Window w;
  frmVelmar& f = *w.form;
  w.showActive();
  EXPECT_EQ(QApplication::focusWidget(), f.MMControl1);
  // For reviewers: the playing window with the focus mark on the bar.
  QDir().mkpath(VELMAR_BINARY_DIR "/artifacts");
  f.grab().save(VELMAR_BINARY_DIR "/artifacts/velmar-active.png");

  const std::vector<QWidget*> cycle{f.picLED, f.Slider1, f.List1, f.MMControl1};
  for (QWidget* expected : cycle) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), expected) << expected->objectName().toStdString();
  }
  for (auto it = cycle.rbegin() + 1; it != cycle.rend(); ++it) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), *it) << (*it)->objectName().toStdString();
  }
  for (QWidget* label : {static_cast<QWidget*>(f.Label4), static_cast<QWidget*>(f.Label1),
                         static_cast<QWidget*>(f.lblSlider), static_cast<QWidget*>(f.imgSlider)})
    EXPECT_EQ(label->focusPolicy(), Qt::NoFocus) << label->objectName().toStdString();
  for (int i = 0; i < TransportBar::kButtons; ++i)
    EXPECT_EQ(w.bar()->button(static_cast<TransportBar::Button>(i))->focusPolicy(), Qt::NoFocus);
}

TEST(Layout, PicturesKeepToSixteenColoursAndTheirMasks) {
  // Window icon: 16 and 32 px; transparent corners and hole; opaque disc.
  const QIcon icon = pictures::windowIcon();
  for (int size : {16, 32}) {
    EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
    const QImage img = icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(img.size(), QSize(size, size));
    EXPECT_EQ(strayPixels(img), 0) << size;
    for (QPoint corner : {QPoint(0, size - 1), QPoint(size - 1, 0), QPoint(size - 1, size - 1)})
      EXPECT_EQ(qAlpha(img.pixel(corner)), 0) << size;
    const int c = size * 18 / 32;  // the disc's centre
    EXPECT_EQ(qAlpha(img.pixel(c, c)), 0) << "the hole, " << size;
    EXPECT_EQ(qAlpha(img.pixel(c + size / 4, c + size / 8)), 255) << "the disc, " << size;
    int black = 0;
    for (int y = 0; y < size / 2; ++y)
      for (int x = 0; x < size / 2; ++x) black += img.pixel(x, y) == qRgb(0, 0, 0);
    EXPECT_GT(black, size / 2) << "the note at the upper left, " << size;
  }

  EXPECT_EQ(pictures::seekThumb().size(), pictures::kThumbSize);
  EXPECT_EQ(strayPixels(pictures::seekThumb().toImage()), 0);
  EXPECT_FALSE(pictures::seekThumb().hasAlpha());

  // Hand cursor: opaque only within rows 6..21 and columns 7..22, white at
  // the hot spot.
  const QImage hand =
      pictures::handCursor().pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
  ASSERT_EQ(hand.size(), pictures::kCursorSize);
  EXPECT_EQ(strayPixels(hand), 0);
  QRect drawn;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x)
      if (qAlpha(hand.pixel(x, y))) drawn |= QRect(x, y, 1, 1);
  EXPECT_EQ(drawn, QRect(QPoint(7, 6), QPoint(22, 21)));
  EXPECT_EQ(hand.pixel(15, 13), qRgb(255, 255, 255));
  EXPECT_EQ(hand.pixel(15, 12), qRgb(255, 255, 255)) << "just below the fingers";

  const QList<QPixmap> list = pictures::imageList1();
  ASSERT_EQ(list.size(), 2);
  for (const QPixmap& p : list) {
    const QImage img = p.toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(img.size(), QSize(16, 16));
    int navy = 0, other = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        const QRgb px = img.pixel(x, y);
        if (qAlpha(px) == 0) continue;
        px == qRgb(0, 0, 128) ? ++navy : ++other;
      }
    EXPECT_GT(navy, 15);
    EXPECT_EQ(other, 0) << "navy lines on a transparent background";
  }
}

TEST(Layout, ApplicationIdentity) {
  EXPECT_EQ(velmar::versionText(), "1.00");
  velmar::setApplicationIdentity();
  EXPECT_EQ(QCoreApplication::applicationName(), "Velmar");
  EXPECT_EQ(QCoreApplication::applicationVersion(), "1.00");
  EXPECT_EQ(QGuiApplication::desktopFileName(), "org.velmar.Velmar");
  EXPECT_TRUE(QApplication::windowIcon().availableSizes().contains(QSize(32, 32)));
  Window w;
  EXPECT_TRUE(w.form->windowIcon().availableSizes().contains(QSize(16, 16)));
}
