#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Activation.h"
#include "app/CommandLine.h"
#include "app/Display.h"
#include "app/Identity.h"
#include "app/Pictures.h"
#include "app/Signals.h"
#include "app/frmVelmar.h"
#include "desktop/Desktop.h"
#include "disc/CdioDevice.h"

int main(int argc, char* argv[]) {
  // The arguments are checked before any window system is touched: errors and
  // --help need no display.
  const CommandLine cmd = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  switch (cmd.action) {
    case CommandLine::Action::Help:
    case CommandLine::Action::Version:
      std::fputs(cmd.message.c_str(), stdout);
      return cmd.exitStatus;
    case CommandLine::Action::Error:
      std::fputs(cmd.message.c_str(), stderr);
      return cmd.exitStatus;
    case CommandLine::Action::Run:
      break;
  }
  desktop::prepareProcess();
  velmar::catchTerminationSignals();

  int qtArgc = 1;  // Qt sees no arguments: the disc path is not its business
  const std::unique_ptr<QApplication> app = velmar::openDisplay(qtArgc, argv);
  velmar::setApplicationIdentity();
  QApplication::setWindowIcon(pictures::windowIcon());

  int status = 0;
  {
    // A copy already running in this session takes the disc and this launch
    // ends.
    desktop::Session session;
    if (const std::optional<int> handed = session.handOver(cmd.argument, cmd.disc)) return *handed;

    frmVelmar window(std::make_unique<CdioDevice>(cmd.disc));
    session.attach(window.player());
    // This launch's own activation token, once the window shows.
    QTimer::singleShot(0, &window, [&window] { velmar::useLaunchToken(window); });

    velmar::closeOnTerminationSignals(window);
    window.show();
    status = QApplication::exec();
  }
  // The device is closed. A playback thread still held by a stuck drive or
  // sound server would run on into the process's own teardown: end here.
  if (Worker::stillRunning() > 0) {
    std::fflush(nullptr);
    std::_Exit(status);
  }
  return status;
}
