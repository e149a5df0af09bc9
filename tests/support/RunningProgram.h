#pragma once

#include <signal.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>
#include <string>

// The real program, started by a test on a disc image and watched from
// outside: whether its signal handlers are in place, whether its audio
// stream exists on the sound server, how and how fast it ends.
class RunningProgram {
 public:
  explicit RunningProgram(const std::string& disc,
                          QProcessEnvironment env = QProcessEnvironment::systemEnvironment()) {
    env.remove("VELMAR_PROBE");  // the probe beside the program, as installed
    if (!env.contains("QT_QPA_PLATFORM")) env.insert("QT_QPA_PLATFORM", "offscreen");
    p_.setProcessEnvironment(env);
    p_.start(QStringLiteral(VELMAR_PROGRAM), {QString::fromStdString(disc)});
    p_.waitForStarted(10000);
  }
  ~RunningProgram() {
    if (p_.state() != QProcess::NotRunning) {
      p_.kill();
      p_.waitForFinished(5000);
    }
  }

  pid_t pid() const { return static_cast<pid_t>(p_.processId()); }
  bool running() { return !p_.waitForFinished(0) && p_.state() != QProcess::NotRunning; }

  // SIGTERM and SIGINT have handlers (SigCgt in /proc/PID/status).
  bool catchesSignals() const {
    QFile status(QString("/proc/%1/status").arg(pid()));
    if (!status.open(QIODevice::ReadOnly)) return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
      if (!line.startsWith("SigCgt:")) continue;
      const qulonglong mask = line.mid(7).trimmed().toULongLong(nullptr, 16);
      const qulonglong both = (1ULL << (SIGINT - 1)) | (1ULL << (SIGTERM - 1));
      return (mask & both) == both;
    }
    return false;
  }

  // The program's stream exists on the sound server.
  static bool streaming() {
    QProcess pactl;
    pactl.start("pactl", {"list", "short", "sink-inputs"});
    return pactl.waitForFinished(3000) && !pactl.readAllStandardOutput().trimmed().isEmpty();
  }

  // Sends `sig` while the program runs (a pid of 0, once it has ended,
  // would signal the test's own process group).
  void signal(int sig) {
    if (const pid_t p = pid(); p > 0) ::kill(p, sig);
  }

  // Waits up to `ms` for the end; the time it took, ms, or -1.
  qint64 waitForEnd(int ms) {
    QElapsedTimer t;
    t.start();
    if (p_.state() == QProcess::NotRunning) return 0;
    if (!p_.waitForFinished(ms)) return -1;
    return t.elapsed();
  }
  bool endedWell() const { return p_.exitStatus() == QProcess::NormalExit && p_.exitCode() == 0; }
  std::string errors() { return p_.readAllStandardError().toStdString(); }
  QProcess& process() { return p_; }

 private:
  QProcess p_;
};
