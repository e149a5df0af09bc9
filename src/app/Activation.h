#pragma once

#include <string>

class QWidget;

// What a launcher hands a program it starts so that the window the program
// shows, or raises, may take the focus despite focus-stealing prevention.
namespace velmar {

struct LaunchToken {
  std::string activation;  // XDG_ACTIVATION_TOKEN: Wayland's xdg-activation
  std::string startupId;   // DESKTOP_STARTUP_ID: X11 startup notification
  bool empty() const { return activation.empty() && startupId.empty(); }
};

// This launch's token, as the environment held it at the first call. Call
// first thing in main(): Qt takes DESKTOP_STARTUP_ID out of the environment
// when it connects to an X server.
const LaunchToken& launchToken();

// For the launch's own first window, once shown: Qt has used
// DESKTOP_STARTUP_ID when it mapped the window; the Wayland token is used
// here (see raise). Then the token leaves the environment, so that no child
// inherits it.
void useLaunchToken(QWidget& firstWindow);

// Brings `window` to the front, un-minimised and active, on the strength of
// `token` (either part may be empty):
// - Wayland: Qt hands XDG_ACTIVATION_TOKEN to the compositor at the window's
//   next activation request, then takes it out of the environment;
// - X11: the window takes the launch's id (_NET_STARTUP_ID), is activated
//   with the time of the launch the id carries ("..._TIME<time>"), and the
//   launch's busy feedback ends (the startup notification "remove").
void raise(QWidget& window, const LaunchToken& token);

}  // namespace velmar
