#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QWheelEvent>

// Drives a QSlider the way a user does: through mouse, wheel and key events
// delivered to the widget.
namespace slider_input {

// The slider as the window designs it: 0 (top) to 65535 (bottom), steps of
// 500 and 1000. Applied only where the window has not set it up itself.
inline void designRange(QSlider& s) {
  if (s.maximum() == 65535) return;
  s.setRange(0, 65535);
  s.setSingleStep(500);
  s.setPageStep(1000);
  s.setInvertedAppearance(true);
  s.setInvertedControls(true);
  s.setValue(0);
}

inline QStyleOptionSlider styleOption(const QSlider& s) {
  QStyleOptionSlider opt;
  opt.initFrom(&s);
  opt.subControls = QStyle::SC_None;
  opt.activeSubControls = QStyle::SC_None;
  opt.orientation = s.orientation();
  opt.maximum = s.maximum();
  opt.minimum = s.minimum();
  opt.tickPosition = s.tickPosition();
  opt.tickInterval = s.tickInterval();
  opt.upsideDown = s.orientation() == Qt::Horizontal
                       ? s.invertedAppearance() != (opt.direction == Qt::RightToLeft)
                       : !s.invertedAppearance();
  opt.sliderPosition = s.sliderPosition();
  opt.sliderValue = s.value();
  opt.singleStep = s.singleStep();
  opt.pageStep = s.pageStep();
  if (s.orientation() == Qt::Horizontal) opt.state |= QStyle::State_Horizontal;
  return opt;
}

inline QRect handleRect(const QSlider& s) {
  const QStyleOptionSlider opt = styleOption(s);
  return s.style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, &s);
}

inline void send(QWidget& w, QEvent::Type type, QPoint at, Qt::MouseButton button,
                 Qt::MouseButtons buttons) {
  QMouseEvent e(type, QPointF(at), QPointF(w.mapToGlobal(at)), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(&w, &e);
}

// Presses the thumb, moves it through `path` (slider coordinates) and lets go.
inline void drag(QSlider& s, const std::vector<QPoint>& path) {
  const QPoint from = handleRect(s).center();
  send(s, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  for (const QPoint& p : path) send(s, QEvent::MouseMove, p, Qt::NoButton, Qt::LeftButton);
  send(s, QEvent::MouseButtonRelease, path.empty() ? from : path.back(), Qt::LeftButton,
       Qt::NoButton);
}

// Clicks the track at `at`, away from the thumb.
inline void clickTrack(QSlider& s, QPoint at) {
  send(s, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
  send(s, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
}

// One notch of the wheel; positive `notches` turn it away from the user.
inline void wheel(QSlider& s, int notches) {
  const QPoint at = s.rect().center();
  QWheelEvent e(QPointF(at), QPointF(s.mapToGlobal(at)), QPoint(), QPoint(0, 120 * notches),
                Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(&s, &e);
}

inline void key(QSlider& s, Qt::Key k) {
  QTest::keyClick(&s, k);
}

}  // namespace slider_input
