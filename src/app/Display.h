#pragma once

#include <QApplication>
#include <memory>
#include <string>

// Reaching the window system.
namespace velmar {

// Constructs the application on the platform Qt picks (QT_QPA_PLATFORM when
// set, else X11 or Wayland from the environment). When none can start (no
// display, as from SSH or a text console; a display that does not answer; a
// platform that cannot be loaded) it prints noDisplayMessage() on standard
// error and ends the process with kNoDisplayStatus, in place of Qt's English
// messages and its abort. What Qt says while it starts is held back and
// passed on only once it has started.
std::unique_ptr<QApplication> openDisplay(int& argc, char** argv);

inline constexpr int kNoDisplayStatus = 1;

// Why no window could be opened, in Spanish, from the environment Qt went
// by: QT_QPA_PLATFORM, WAYLAND_DISPLAY and DISPLAY.
std::string noDisplayMessage();

}  // namespace velmar
