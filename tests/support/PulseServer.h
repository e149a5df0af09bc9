#pragma once

#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <string>

// The private PulseAudio server of tests/support/with-pulse.sh, driven from a
// test: stalled (SIGSTOP) and resumed, or killed and started again with the
// command the script uses (its pid file and server script live beside
// $XDG_RUNTIME_DIR).
namespace pulse {

// True when the test runs under with-pulse.sh, never against the desktop's
// own server.
inline bool privateServer() {
  return qgetenv("PULSE_SERVER").contains("velmar-pulse");
}

inline QString runtimeDir() {
  return QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
}

inline pid_t pid() {
  QFile f(runtimeDir() + "/pulse/pid");
  if (!f.open(QIODevice::ReadOnly)) return -1;
  return static_cast<pid_t>(f.readAll().trimmed().toInt());
}

inline bool answers() {
  QProcess p;
  p.start("pactl", {"info"});
  return p.waitForFinished(3000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

inline void stall() {
  ::kill(pid(), SIGSTOP);
}
inline void resume() {
  ::kill(pid(), SIGCONT);
}

// Kills the server (stalled or not) and starts a new one; true once it
// answers. Clients connected to the old one lose their connection for good.
inline bool restart() {
  const pid_t old = pid();
  if (old > 0) {
    ::kill(old, SIGKILL);
    // A killed daemon stays a zombie until reaped; its pid file would make
    // the new server believe it still runs.
    [[maybe_unused]] const bool gone =
        QTest::qWaitFor([&] { return !QFile::exists(QString("/proc/%1/cmdline").arg(old)); }, 2000);
    QFile::remove(runtimeDir() + "/pulse/pid");
  }
  const QString root = QDir(runtimeDir() + "/..").canonicalPath();
  QProcess server;
  server.setStandardOutputFile(QProcess::nullDevice());
  server.setStandardErrorFile(QProcess::nullDevice());
  server.start("pulseaudio",
               {"-n", "-F", root + "/server.pa", "--exit-idle-time=-1", "--daemonize=yes",
                "--use-pid-file=yes", "--system=no", "--disallow-exit=no", "-vvvv",
                "--log-target=file:" + root + "/pulse-restarted.log"});
  server.waitForFinished(10000);
  return QTest::qWaitFor(answers, 10000);
}

// The null sink's volume on its left channel, 0 to 65536; -1 when pactl
// does not answer.
inline int sinkVolume() {
  QProcess p;
  p.start("pactl", {"get-sink-volume", "nullsink"});
  if (!p.waitForFinished(3000)) return -1;
  const QRegularExpressionMatch m =
      QRegularExpression("left: (\\d+) /").match(QString::fromLocal8Bit(p.readAllStandardOutput()));
  return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// The sink's volume for a mixer write of `value` (0 to 65535).
inline int sinkVolumeFor(uint32_t value) {
  return qRound(value * 65536.0 / 65535.0);
}

}  // namespace pulse
