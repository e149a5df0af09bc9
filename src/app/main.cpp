#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/Identity.h"
#include "app/frmVelmar.h"
#include "desktop/Desktop.h"
#include "disc/CdioDevice.h"

namespace {
// SIGTERM and SIGINT close the window as the user would, so the device is
// closed and the output released; the handler only wakes the event loop.
int signalPipe[2] = {-1, -1};

void onSignal(int) {
  const char c = 1;
  [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &c, 1);
}
}  // namespace

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

  int qtArgc = 1;  // Qt sees no arguments: the disc path is not its business
  QApplication app(qtArgc, argv);
  velmar::setApplicationIdentity();

  // A copy already running in this session takes the disc and this launch
  // ends.
  desktop::Session session;
  if (const std::optional<int> status = session.handOver(cmd.argument, cmd.disc)) return *status;

  frmVelmar window(std::make_unique<CdioDevice>(cmd.disc));
  session.attach(window);

  std::unique_ptr<QSocketNotifier> notifier;
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) == 0) {
    notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, &window, [&] {
      char c = 0;
      [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &c, 1);
      window.close();
      QApplication::quit();
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
  }

  window.show();
  return QApplication::exec();
}
