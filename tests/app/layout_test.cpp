#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QHash>
#include <QLabel>
#include <QSet>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include "app/Pictures.h"
#include "app/TransportBar.h"
#include "support/TestWindow.h"

namespace {

// A drive whose tray the program cannot open.
struct FixedTrayDevice : VirtualCdDevice {
  using VirtualCdDevice::VirtualCdDevice;
  bool canEject() const override { return false; }
};

TransportBar* barOf(const frmVelmar& f) {
  return f.MMControl1->findChild<TransportBar*>();
}

// The tooltips of the buttons the user can press, left to right.
QString enabledButtons(const frmVelmar& f) {
  QStringList out;
  for (int i = 0; i < TransportBar::kButtons; ++i)
    if (const QPushButton* b = barOf(f)->button(TransportBar::Button(i)); b->isEnabled())
      out << b->toolTip();
  return out.join(' ');
}

}  // namespace

TEST(Layout, ControlsAndPointerShapesStandAtTheirPixelPlaces) {
  TestWindow w;
  frmVelmar& f = *w.form;
  EXPECT_EQ(f.size(), QSize(271, 134));
  EXPECT_EQ(f.minimumSize(), f.maximumSize()) << "the program cannot resize the window";
  const std::pair<const char*, QRect> places[] = {
      {"List1", {8, 48, 196, 21}},        {"Slider1", {216, 8, 41, 65}},
      {"picLED", {8, 8, 196, 35}},        {"Label4", {34, 18, 137, 17}},
      {"MMControl1", {16, 104, 234, 25}}, {"lblSlider", {0, 80, 281, 20}},
      {"imgSlider", {250, 80, 12, 21}},   {"Label1", {256, 16, 9, 57}},
      {"Line1", {8, 88, 253, 1}},         {"Line2", {9, 89, 252, 1}},
      {"Line3", {9, 90, 252, 1}}};
  for (const auto& [name, rect] : places) {  // in window coordinates
    const QWidget* c = f.findChild<QWidget*>(name);
    ASSERT_NE(c, nullptr) << name;
    EXPECT_EQ(QRect(c->mapTo(&f, QPoint(0, 0)), c->size()), rect) << name;
  }
  // The substitute for Arial 12 bold must be as narrow: the longest caption fits.
  EXPECT_EQ(QFontInfo(f.Label4->font()).pixelSize(), 16);
  EXPECT_LE(QFontMetrics(f.Label4->font()).horizontalAdvance("Pista 99 - 79:59"), 137);
  // Six buttons of 39 x 25 fill the bar.
  ASSERT_EQ(f.MMControl1->findChildren<QAbstractButton*>().size(), 6) << "no other buttons";
  for (int i = 0; i < TransportBar::kButtons; ++i) {
    const QPushButton* b = barOf(f)->button(static_cast<TransportBar::Button>(i));
    EXPECT_EQ(QRect(b->mapTo(f.MMControl1, QPoint(0, 0)), b->size()), QRect(39 * i, 0, 39, 25));
  }

  EXPECT_EQ(f.windowIcon().availableSizes(), (QList<QSize>{{16, 16}, {32, 32}}));

  // The hand over the whole seek band and the thumb, the arrow elsewhere.
  const QImage hand = pictures::handCursor().pixmap().toImage();
  const QList<QPoint> hands{{0, 80},   {270, 80}, {0, 99},   {270, 99},  {100, 88},
                            {100, 89}, {100, 90}, {250, 80}, {261, 100}, {255, 100}};
  const QList<QPoint> arrows{{100, 79}, {100, 100}, {249, 100}, {262, 100}, {50, 20},
                             {50, 55},  {230, 30},  {260, 30},  {50, 115},  {5, 130}};
  for (QPoint p : hands + arrows) {  // a widget without a cursor shows its parent's
    QWidget* under = f.childAt(p);
    const QCursor c = (under ? under : &f)->cursor();
    if (arrows.contains(p))
      EXPECT_EQ(c.shape(), Qt::ArrowCursor) << p.x() << "," << p.y();
    else
      EXPECT_TRUE(c.shape() == Qt::BitmapCursor && c.hotSpot() == QPoint(15, 13) &&
                  c.pixmap().toImage() == hand)
          << p.x() << "," << p.y();
  }
}

TEST(Layout, RenderedWindowShowsThumbGrooveAndStackedCaption) {
  TestWindow w;
  frmVelmar& f = *w.form;
  f.Timer1->stop();  // the picture at load, before any tick moves the thumb
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  const QImage shot = f.grab().toImage().convertToFormat(QImage::Format_RGB32);
  QDir().mkpath(VELMAR_BINARY_DIR "/artifacts");
  ASSERT_TRUE(shot.save(VELMAR_BINARY_DIR "/artifacts/velmar.png"));

  // The thumb's rows at x 250: W white, S silver, G grey, B black.
  const QHash<QRgb, QChar> letter{{0xffffff, 'W'}, {0xc0c0c0, 'S'}, {0x808080, 'G'}, {0, 'B'}};
  QString thumb;
  for (int y = 80; y < 101; ++y) {
    for (int x = 250; x < 262; ++x) thumb += letter.value(shot.pixel(x, y) & 0xffffff, '?');
    thumb += '\n';
  }
  EXPECT_EQ(thumb, "WWWWWWWWWWWB\n" + QString("WSSSSSSSSSGB\n").repeated(18) +
                       "WGGGGGGGGGGB\nBBBBBBBBBBBB\n");

  // Groove rows 88, 89, 90 run from x 8, 9, 9 to 260 in three 3-D colours.
  // The thumb hides x 250..261 at load; a second shot has it moved away.
  f.imgSlider->move(100, 80);
  const QImage moved = f.grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QPalette pal = f.palette();
  const QRgb bg = pal.color(QPalette::Window).rgb();
  const QRgb ink[] = {pal.color(QPalette::Dark).rgb(), pal.color(QPalette::Shadow).rgb(),
                      pal.color(QPalette::Light).rgb()};
  ASSERT_EQ(QSet<QRgb>({bg, ink[0], ink[1], ink[2]}).size(), 4);
  for (int row = 0; row < 3; ++row)
    for (int x = 7; x <= 261; ++x)
      ASSERT_EQ((x < 250 ? shot : moved).pixel(x, 88 + row),
                x >= (row == 0 ? 8 : 9) && x <= 260 ? ink[row] : bg)
          << x << "," << 88 + row;

  // "V O L U M E N": seven letters stacked one per line, the N not cut off.
  const QRect label1 = f.Label1->geometry();
  const QRgb text = f.Label1->palette().color(QPalette::ButtonText).rgb();
  QString inkRows;
  for (int y = label1.top(); y <= label1.bottom(); ++y) {
    bool inked = false;
    for (int x = label1.left(); x <= label1.right(); ++x) inked |= shot.pixel(x, y) == text;
    inkRows += inked ? '#' : '.';
  }
  EXPECT_EQ(inkRows.split('.', Qt::SkipEmptyParts).size(), 7) << inkRows.toStdString();
  EXPECT_TRUE(inkRows.endsWith('.')) << inkRows.toStdString();
}

TEST(Layout, TransportButtonsFollowTheDeviceMode) {
  const QString stopped = "Anterior Siguiente Reproducir Expulsar";
  const QString playing = "Anterior Siguiente Pausa Detener Expulsar";
  TestWindow w;
  EXPECT_EQ(enabledButtons(*w.form), stopped) << "opened at load, not yet playing";
  auto after = [&](const char* command) {
    w->MMControl1->Command(command);
    return enabledButtons(*w.form);
  };
  EXPECT_EQ(after("Play"), playing);
  // The disc runs out by itself: the bar sees it at the next tick.
  w.clock.advance(600000);
  EXPECT_TRUE(QTest::qWaitFor([&] { return enabledButtons(*w.form) == stopped; }, 2000));
  EXPECT_EQ(after("Play"), playing);
  EXPECT_EQ(after("Pause"), "Anterior Siguiente Reproducir Pausa Detener Expulsar");
  EXPECT_EQ(after("Stop"), stopped);
  EXPECT_EQ(after("Eject"), "Expulsar") << "no disc";
  EXPECT_EQ(after("Close"), "") << "device not open";
  EXPECT_EQ(enabledButtons(*TestWindow(std::vector<TocEntry>{}).form), "Expulsar");
  const frmVelmar fixedTray(
      std::make_unique<FixedTrayDevice>(std::vector<TocEntry>{}, ManualClock().clock()));
  EXPECT_EQ(enabledButtons(fixedTray), "");
}

TEST(Layout, KeyboardAndMouseReachTheFocusCycleTheSliderAndTheBar) {
  TestWindow w;
  frmVelmar& f = *w.form;
  ASSERT_TRUE(w.activate());
  f.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  EXPECT_EQ(QApplication::focusWidget(), f.MMControl1);
  for (QWidget* next : QList<QWidget*>{f.picLED, f.Slider1, f.List1, f.MMControl1}) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
  }

  // Volume 0 with the thumb at the top: a click there hits the thumb, a
  // click on the track below pages down, increasing the value, as Down does.
  QSlider* s = f.Slider1;
  QTest::mouseClick(s, Qt::LeftButton, {}, QPoint(s->width() / 2 - 5, 3));
  EXPECT_EQ(s->value(), 0);
  QTest::mouseClick(s, Qt::LeftButton, {}, QPoint(s->width() / 2 - 5, s->height() - 4));
  EXPECT_EQ(s->value(), 1000);
  const std::pair<Qt::Key, int> keys[] = {
      {Qt::Key_Down, 1500}, {Qt::Key_PageDown, 2500}, {Qt::Key_Up, 2000}, {Qt::Key_PageUp, 1000}};
  for (const auto& [key, value] : keys) {
    QTest::keyClick(s, key);
    EXPECT_EQ(s->value(), value) << key;
  }

  // A click on a button acts and gives the bar the focus; a disabled one
  // (Play, while playing) does nothing.
  TransportBar* bar = barOf(f);
  const auto first = w.device->log().size();
  for (auto b : {TransportBar::Next, TransportBar::Play, TransportBar::Pause, TransportBar::Stop})
    QTest::mouseClick(bar->button(b), Qt::LeftButton);
  EXPECT_TRUE(f.MMControl1->hasFocus());
  // The keyboard mark leaves and skips disabled buttons and wraps round;
  // Return and Space press the marked one.
  for (int i = 0; i < TransportBar::kButtons && bar->marked() != TransportBar::Play; ++i)
    QTest::keyClick(f.MMControl1, Qt::Key_Right);
  QTest::keyClick(f.MMControl1, Qt::Key_Return);
  EXPECT_EQ(bar->marked(), TransportBar::Pause) << "Play became disabled";
  for (Qt::Key key : {Qt::Key_Left, Qt::Key_Left, Qt::Key_Left, Qt::Key_Space})
    QTest::keyClick(f.MMControl1, key);  // past Play to Next, Prev, round to Eject
  EXPECT_EQ(std::vector(w.device->log().begin() + first, w.device->log().end()),
            std::vector<std::string>({"next", "pause", "stop", "play", "eject"}));
}
