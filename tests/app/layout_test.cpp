#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QSlider>
#include <QTimer>

#include "app/Pictures.h"
#include "app/TransportBar.h"
#include "support/TestWindow.h"

namespace {

// The tooltips of the buttons the user can press, left to right.
QString enabledButtons(const frmVelmar& f) {
  QStringList out;
  for (const QPushButton* b : f.MMControl1->findChildren<QPushButton*>())
    if (b->isEnabled()) out << b->toolTip();
  return out.join(' ');
}

}  // namespace

// What the window looks like at load, as a person sees it (positions come
// from Layout.h; these are the rules it does not state).
TEST(Layout, TheWindowAtLoadAsItIsDrawn) {
  TestWindow w;
  frmVelmar& f = *w.form;
  f.Timer1->stop();  // the picture at load, before any tick moves the thumb
  EXPECT_EQ(f.minimumSize(), f.maximumSize()) << "the program cannot resize the window";
  EXPECT_EQ(f.Label4->mapTo(&f, QPoint()), QPoint(34, 18)) << "inside picLED's inner area";
  // The substitute for Arial 12 bold must be as narrow: the longest caption fits.
  EXPECT_LE(QFontMetrics(f.Label4->font()).horizontalAdvance("Pista 99 - 79:59"), 137);

  // The hand over the whole seek band (y 80 to 99) and the thumb, the arrow
  // elsewhere.
  const QImage hand = pictures::handCursor().pixmap().toImage();
  const QList<QPoint> hands{{0, 80}, {270, 99}, {100, 89}, {261, 100}};
  for (QPoint p : hands + QList<QPoint>{{100, 79}, {100, 100}, {249, 100}, {50, 55}}) {
    QWidget* under = f.childAt(p);  // a widget without a cursor shows its parent's
    const QCursor c = (under ? under : &f)->cursor();
    EXPECT_EQ(hands.contains(p), c.shape() == Qt::BitmapCursor && c.hotSpot() == QPoint(15, 13) &&
                                     c.pixmap().toImage() == hand)
        << p.x() << "," << p.y();
  }

  // (The thumb and the groove as drawn: xvfb-layout.sh, under a real X server.)
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  const QImage shot = f.grab().toImage().convertToFormat(QImage::Format_RGB32);
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

TEST(Layout, TransportButtonsFollowTheDeviceModeAlsoWhenTheDiscStopsByItself) {
  const QString stopped = "Anterior Siguiente Reproducir Expulsar";
  const QString playing = "Anterior Siguiente Pausa Detener Expulsar";
  TestWindow w;
  EXPECT_EQ(enabledButtons(*w.form), stopped) << "opened at load, not yet playing";
  const std::pair<const char*, QString> steps[] = {
      {"Play", playing},     {"Pause", "Anterior Siguiente Reproducir Pausa Detener Expulsar"},
      {"Stop", stopped},     {"Play", playing},
      {"", stopped},  // the disc runs out: the bar sees it at the next tick
      {"Eject", "Expulsar"}, {"Close", ""},
  };
  for (const auto& [command, buttons] : steps) {
    if (*command) w->MMControl1->Command(command);
    w.now += *command ? 0 : 600000;
    EXPECT_TRUE(QTest::qWaitFor([&] { return enabledButtons(*w.form) == buttons; }, 2000))
        << command << ": " << enabledButtons(*w.form).toStdString();
  }
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
  QTest::mouseClick(s, Qt::LeftButton, {}, QPoint(s->width() / 2 - 5, s->height() - 4));
  EXPECT_EQ(s->value(), 1000);
  for (const auto& [key, value] : {std::pair{Qt::Key_Down, 1500}, {Qt::Key_PageUp, 500}}) {
    QTest::keyClick(s, key);
    EXPECT_EQ(s->value(), value) << key;
  }

  // A click on a button acts and gives the bar the focus; a disabled one
  // (Play, while playing) does nothing. The keyboard mark skips disabled
  // buttons and wraps round; Return and Space press the marked one.
  TransportBar* bar = f.MMControl1->findChild<TransportBar*>();
  const auto first = w.device->log().size();
  for (auto b : {TransportBar::Next, TransportBar::Play, TransportBar::Pause, TransportBar::Stop})
    QTest::mouseClick(bar->button(b), Qt::LeftButton);
  EXPECT_TRUE(f.MMControl1->hasFocus());
  for (int i = 0; i < TransportBar::kButtons && bar->marked() != TransportBar::Play; ++i)
    QTest::keyClick(f.MMControl1, Qt::Key_Right);
  QTest::keyClick(f.MMControl1, Qt::Key_Return);
  EXPECT_EQ(bar->marked(), TransportBar::Pause) << "Play became disabled";
  for (Qt::Key key : {Qt::Key_Left, Qt::Key_Left, Qt::Key_Left, Qt::Key_Space})
    QTest::keyClick(f.MMControl1, key);  // past Play to Next, Prev, round to Eject
  EXPECT_EQ(std::vector(w.device->log().begin() + first, w.device->log().end()),
            std::vector<std::string>({"next", "pause", "stop", "play", "eject"}));
}
