#pragma once

#include <QLabel>
#include <cstdint>

// The seek bar's track and mouse target. Reports the mouse as the window's
// handlers expect it: Button is the set of buttons held (1 left, 2 right,
// 4 middle, 8 any other), Shift the modifiers (1 Shift, 2 Ctrl, 4 Alt), X and
// Y in twips from the window's top-left corner.
//
// A press on the bar keeps the mouse for the bar until the last button is
// released, wherever the pointer goes, also outside the window.
class SeekBar : public QLabel {
  Q_OBJECT

 public:
  explicit SeekBar(QWidget* parent = nullptr);

 signals:
  // A move with at least one button held.
  void mouseMoved(int16_t button, int16_t shift, float x, float y);
  // A release; `button` holds the released button and any still held, so a
  // left release while the right button is still down reports 3.
  void mouseReleased(int16_t button, int16_t shift, float x, float y);
  // The last held button went up.
  void allButtonsReleased();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
};
