#pragma once

#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTest>
#include <functional>
#include <memory>

// The private PulseAudio server of tests/support/with-pulse.sh, driven from a
// test: stalled (SIGSTOP) and resumed, or killed and started again with the
// command the script uses (its pid file and server script live beside
// $XDG_RUNTIME_DIR); what its null sink plays, recorded.
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

// Waits up to `ms` until the null sink shows, on both channels, what a mixer
// write of `value` (0 to 65535) gives (0 to 65536); the percent it shows, or
// -1 when it never does.
inline int sinkShows(uint32_t value, int ms) {
  const QRegularExpression both(
      QString("left: %1 / +(\\d+)%.*right: %1 / +\\1%").arg(qRound(value * 65536.0 / 65535.0)));
  QRegularExpressionMatch m;
  const auto holds = [&] {
    QProcess p;
    p.start("pactl", {"get-sink-volume", "nullsink"});
    p.waitForFinished(3000);
    return (m = both.match(p.readAllStandardOutput())).hasMatch();
  };
  return QTest::qWaitFor(holds, ms) ? m.captured(1).toInt() : -1;
}

// What the null sink plays from now on, as its monitor records it: raw
// 44.1 kHz 16-bit little-endian stereo.
class Recording {
 public:
  Recording() {
    parec_.start("parec", {"-d", "nullsink.monitor", "--format=s16le", "--rate=44100",
                           "--channels=2", "--raw", "--latency-msec=20"});
    parec_.waitForStarted(5000);
  }
  ~Recording() {
    parec_.kill();
    parec_.waitForFinished(3000);
  }
  // Records until `heard` holds of all that was recorded, `ms` at most.
  bool until(const std::function<bool(const QByteArray& pcm)>& heard, int ms) {
    return QTest::qWaitFor(
        [&] {
          parec_.waitForReadyRead(100);
          pcm_ += parec_.readAllStandardOutput();
          return heard(pcm_);
        },
        ms);
  }
  const QByteArray& pcm() const { return pcm_; }

 private:
  QProcess parec_;
  QByteArray pcm_;
};

// An ALSA configuration whose default PCM and mixer reach no sound server.
inline std::unique_ptr<QTemporaryFile> unreachableAlsa() {
  auto config = std::make_unique<QTemporaryFile>();
  if (config->open())
    config->write(
        "pcm.!default { type pulse server \"unix:/nowhere\" }\n"
        "ctl.!default { type pulse server \"unix:/nowhere\" }\n");
  config->flush();
  return config;
}

}  // namespace pulse
