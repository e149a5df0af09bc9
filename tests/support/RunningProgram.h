#pragma once

#include <signal.h>

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>
#include <string>
#include <vector>

// The real program, started by a test and watched from outside: its signal
// handlers, its sound stream, how it ends and what it says. This process's
// events run while it waits for the end, so the program may talk to a window
// of the test's own (a running copy).
class RunningProgram {
 public:
  struct Options {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // As from SSH: no DISPLAY, no WAYLAND_DISPLAY, QT_QPA_PLATFORM xcb. A
    // program that tried to open its window would end in another way.
    bool noDisplay = false;
    QString cwd;
  };

  // `args` are bytes, as a shell hands them over (names that are no UTF-8
  // included). Without QT_QPA_PLATFORM the window is offscreen; the image
  // probe is the one beside the program unless `env` names another.
  explicit RunningProgram(const std::vector<std::string>& args, Options o) {
    QProcessEnvironment& env = o.env;
    if (env.value("VELMAR_PROBE") == qEnvironmentVariable("VELMAR_PROBE"))
      env.remove("VELMAR_PROBE");
    if (o.noDisplay) {
      env.remove("DISPLAY");
      env.remove("WAYLAND_DISPLAY");
      env.insert("QT_QPA_PLATFORM", "xcb");
    }
    if (!env.contains("QT_QPA_PLATFORM")) env.insert("QT_QPA_PLATFORM", "offscreen");
    // Each argument travels as a file's bytes: QProcess would take it as text.
    QStringList shell{"-c",
                      "n=$#; for f; do a=$(cat \"$f\"; echo .); set -- \"$@\" \"${a%.}\"; done; "
                      "shift $n; exec \"$0\" \"$@\"",
                      QStringLiteral(VELMAR_PROGRAM)};
    for (size_t i = 0; i < args.size(); ++i) {
      QFile f(args_.filePath(QString::number(i)));
      if (f.open(QIODevice::WriteOnly)) f.write(args[i].data(), qint64(args[i].size()));
      shell << f.fileName();
    }
    p_.setProcessEnvironment(env);
    if (!o.cwd.isEmpty()) p_.setWorkingDirectory(o.cwd);
    clock_.start();
    p_.start("/bin/sh", shell);
    p_.waitForStarted(10000);
  }
  // The program on one disc (a path or a URI).
  explicit RunningProgram(const std::string& disc,
                          QProcessEnvironment env = QProcessEnvironment::systemEnvironment())
      : RunningProgram(std::vector<std::string>{disc}, Options{std::move(env), false, {}}) {}
  ~RunningProgram() {
    if (p_.state() != QProcess::NotRunning) {
      p_.kill();
      p_.waitForFinished(5000);
    }
  }

  // Whether the test runs on a private session bus (tests/support/with-dbus.sh)
  // and against the private sound server (with-pulse.sh).
  static bool onPrivateBusWithSound() {
    return qgetenv("VELMAR_PRIVATE_BUS") == "1" && qgetenv("PULSE_SERVER").contains("velmar-pulse");
  }

  // 0 once it has ended.
  pid_t pid() const { return static_cast<pid_t>(p_.processId()); }
  bool running() { return !p_.waitForFinished(0) && p_.state() != QProcess::NotRunning; }

  // SIGTERM and SIGINT have handlers (SigCgt in /proc/PID/status).
  bool catchesSignals() const {
    QFile status(QString("/proc/%1/status").arg(pid()));
    if (!status.open(QIODevice::ReadOnly)) return false;
    const QByteArray all = status.readAll();
    const qsizetype at = all.indexOf("SigCgt:");
    const qulonglong mask = all.mid(at + 7, 17).trimmed().toULongLong(nullptr, 16);
    const qulonglong both = (1ULL << (SIGINT - 1)) | (1ULL << (SIGTERM - 1));
    return at >= 0 && (mask & both) == both;
  }

  // The properties of the program's sound stream as `pactl list sink-inputs`
  // shows them; empty while it has none.
  QJsonObject stream() const {
    QProcess pactl;
    pactl.start("pactl", {"-f", "json", "list", "sink-inputs"});
    pactl.waitForFinished(10000);
    for (const QJsonValue& input : QJsonDocument::fromJson(pactl.readAllStandardOutput()).array())
      if (pid() > 0 && input["properties"]["application.process.id"] == QString::number(pid()))
        return input["properties"].toObject();
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
    if (!QTest::qWaitFor([&] { return p_.state() == QProcess::NotRunning; }, ms)) return -1;
    return t.elapsed();
  }
  // SIGTERM; the ms until the end, -1 when it still runs 10 s later.
  qint64 terminate() {
    signal(SIGTERM);
    return waitForEnd(10000);
  }
  // Once it has ended: how, and the ms from the start.
  int status() const { return p_.exitStatus() == QProcess::NormalExit ? p_.exitCode() : -1; }
  bool endedWell() const { return status() == 0; }
  qint64 ms() const { return clock_.elapsed(); }
  // What it printed so far.
  std::string out() { return p_.readAllStandardOutput().toStdString(); }
  std::string errors() { return p_.readAllStandardError().toStdString(); }

 private:
  QTemporaryDir args_;
  QElapsedTimer clock_;
  QProcess p_;
};
