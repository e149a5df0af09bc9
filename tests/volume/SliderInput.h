#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWheelEvent>

// Drives a QSlider as a user does, through mouse and wheel events.
namespace slider_input {

// The slider as the window is designed: 0 (top) to 65535 (bottom), steps 500
// and 1000. Applied only where the window has not set it up itself.
inline void designRange(QSlider& s) {
  if (s.maximum() == 65535) return;
  s.setRange(0, 65535);
  s.setSingleStep(500);
  s.setPageStep(1000);
  s.setInvertedAppearance(true);
  s.setInvertedControls(true);
}

inline QRect thumb(const QSlider& s) {
  QStyleOptionSlider opt;
  opt.initFrom(&s);
  opt.orientation = s.orientation();
  opt.minimum = s.minimum();
  opt.maximum = s.maximum();
  opt.sliderPosition = s.sliderPosition();
  opt.tickPosition = s.tickPosition();
  opt.tickInterval = s.tickInterval();
  opt.upsideDown = !s.invertedAppearance();  // vertical sliders only
  return s.style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, &s);
}

inline void mouse(QSlider& s, QEvent::Type type, QPoint at, Qt::MouseButtons held) {
  const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent e(type, at, s.mapToGlobal(at), button, held, Qt::NoModifier);
  QApplication::sendEvent(&s, &e);
}

// Presses at `from`, moves through `path` and lets go at its end.
inline void drag(QSlider& s, QPoint from, const std::vector<QPoint>& path) {
  mouse(s, QEvent::MouseButtonPress, from, Qt::LeftButton);
  for (const QPoint& p : path) mouse(s, QEvent::MouseMove, p, Qt::LeftButton);
  mouse(s, QEvent::MouseButtonRelease, path.empty() ? from : path.back(), Qt::NoButton);
}

inline void wheel(QSlider& s, int notches) {
  const QPoint at = s.rect().center();
  QWheelEvent e(at, s.mapToGlobal(at), {}, {0, 120 * notches}, Qt::NoButton, Qt::NoModifier,
                Qt::NoScrollPhase, false);
  QApplication::sendEvent(&s, &e);
}

}  // namespace slider_input
