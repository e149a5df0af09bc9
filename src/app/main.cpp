#include <QApplication>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/Identity.h"
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
  QApplication app(qtArgc, argv);
  velmar::setApplicationIdentity();

  // A copy already running in this session takes the disc and this launch
  // ends.
  desktop::Session session;
  if (const std::optional<int> status = session.handOver(cmd.argument, cmd.disc)) return *status;

  frmVelmar window(std::make_unique<CdioDevice>(cmd.disc));
  session.attach(window);

  velmar::closeOnTerminationSignals(window);
  window.show();
  return QApplication::exec();
}
