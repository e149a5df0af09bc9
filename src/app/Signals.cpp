#include "app/Signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QSocketNotifier>
#include <QWidget>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <thread>

namespace velmar {

namespace {

int pipeFds[2] = {-1, -1};

void onSignal(int) {
  const int saved = errno;
  const char c = 1;
  [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], &c, 1);
  errno = saved;
}

void drain() {
  char buf[256];
  while (::read(pipeFds[0], buf, sizeof buf) > 0) {
  }
}

void flushUnlessHeld(FILE* f) {
  if (::ftrylockfile(f) != 0) return;
  ::fflush_unlocked(f);
  ::funlockfile(f);
}

// Arms the deadline when the window it watches is about to close.
class CloseWatch : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Close) armExitDeadline();
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

void catchTerminationSignals() {
  if (pipeFds[0] >= 0 || ::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) return;
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
}

int terminationSignalFd() {
  return pipeFds[0];
}

void closeOnTerminationSignals(QWidget& window) {
  window.installEventFilter(new CloseWatch(&window));
  QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit,
                   [] { armExitDeadline(); });
  if (pipeFds[0] < 0) return;
  auto* notifier = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, &window);
  QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
    drain();
    static bool closing = false;
    if (closing) return;
    closing = true;
    armExitDeadline();
    window.close();
    QCoreApplication::quit();
  });
}

void armExitDeadline(int ms) {
  static std::once_flag once;
  std::call_once(once, [ms] {
    std::thread([ms] {
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      flushUnlessHeld(stdout);
      flushUnlessHeld(stderr);
      ::_exit(0);
    }).detach();
  });
}

}  // namespace velmar
