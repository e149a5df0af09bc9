#pragma once

#include <signal.h>

#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTest>
#include <string>

// The real program, started by a test on a disc image and watched from
// outside: whether its signal handlers are in place, its audio stream on the
// sound server, how and how fast it ends.
class RunningProgram {
 public:
  explicit RunningProgram(const std::string& disc,
                          QProcessEnvironment env = QProcessEnvironment::systemEnvironment()) {
    // The probe beside the program, as installed, unless the test names another.
    if (env.value("VELMAR_PROBE") == qEnvironmentVariable("VELMAR_PROBE"))
      env.remove("VELMAR_PROBE");
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

  // 0 once it has ended.
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

  // The properties of the program's sound stream as `pactl list sink-inputs`
  // shows them; empty while it has none.
  QMap<QString, QString> stream() const {
    QProcess pactl;
    pactl.start("pactl", {"list", "sink-inputs"});
    pactl.waitForFinished(10000);
    static const QRegularExpression property("^\\s*([a-z._]+) = \"(.*)\"$",
                                             QRegularExpression::MultilineOption);
    for (const QString& block :
         QString::fromUtf8(pactl.readAllStandardOutput()).split("Sink Input #")) {
      QMap<QString, QString> props;
      for (auto it = property.globalMatch(block); it.hasNext();) {
        const auto m = it.next();
        props.insert(m.captured(1), m.captured(2));
      }
      if (pid() > 0 && props.value("application.process.id") == QString::number(pid()))
        return props;
    }
    return {};
  }
  // Waits up to `ms` for the program's sound stream.
  bool streams(int ms) {
    return QTest::qWaitFor([&] { return !stream().isEmpty(); }, ms);
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
  // SIGTERM; the ms until the end, -1 when it still runs 10 s later.
  qint64 terminate() {
    signal(SIGTERM);
    return waitForEnd(10000);
  }
  bool endedWell() const { return p_.exitStatus() == QProcess::NormalExit && p_.exitCode() == 0; }
  std::string errors() { return p_.readAllStandardError().toStdString(); }

 private:
  QProcess p_;
};
