#pragma once

#include <QPushButton>
#include <QWidget>
#include <array>

#include "disc/CdDevice.h"

class MMControl;

// The transport buttons of MMControl: previous, next, play, pause, stop and
// eject, side by side, sharing the control's width. Each button sends its
// command word to the control ("Prev", "Next", "Play", "Pause", "Stop",
// "Eject"); the bar enables the buttons from the device's mode after every
// command the control carries out and, since the disc can stop by itself, at
// every tick of the window's timer (refresh(), connected by the window).
//
// The control itself takes the keyboard focus: Left and Right move among the
// enabled buttons, Space and Enter press the one marked.
class TransportBar : public QWidget {
  Q_OBJECT

 public:
  enum Button { Prev, Next, Play, Pause, Stop, Eject };
  static constexpr int kButtons = 6;

  // Becomes a child of `control` and fills it.
  explicit TransportBar(MMControl* control);

  // Which buttons can be pressed in a mode, in bar order.
  static std::array<bool, kButtons> enabledFor(DeviceMode mode, bool canEject);

  QPushButton* button(Button which) const { return buttons_[which]; }
  // The button the keyboard acts on.
  int marked() const { return marked_; }
  // Reads the device's mode and enables the buttons accordingly.
  void refresh();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void fitControl();
  void press(int index);
  void moveMark(int step);

  MMControl* control_;
  std::array<QPushButton*, kButtons> buttons_{};
  int marked_ = 0;
};
