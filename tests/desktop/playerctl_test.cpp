#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>
#include <algorithm>
#include <functional>

#include "support/BusClient.h"
#include "support/RunningProgram.h"
#include "support/TestDisc.h"

// Run by ctest against the private PulseAudio server of with-pulse.sh and a
// private session bus (with-dbus.sh): the real program driven by playerctl,
// the client media keys and status bars run.
namespace {

struct Ran {
  int exit = -1;
  QString out;
};

// `args` of playerctl for the player "velmar", or a dbus-send command.
Ran run(QStringList args) {
  QProcess p;
  if (args.first() == "dbus-send") {
    p.start(args.takeFirst(), args);
  } else {
    p.start("playerctl", QStringList{"-p", "velmar"} + args);
  }
  p.waitForFinished(10000);
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
          QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError()).trimmed()};
}

// The state as playerctl reads it: "Playing 2 12.3"; "Stopped" without a disc.
struct Seen {
  QString status;
  int track = 0;
  double seconds = 0;
};
Seen look() {
  Seen s{run({"status"}).out};
  const QStringList f =
      run({"metadata", "--format", "{{xesam:trackNumber}} {{position}}"}).out.split(' ');
  if (f.size() == 2) s = {s.status, f[0].toInt(), f[1].toLongLong() / 1e6};
  return s;
}

// A cue sheet with CD-Text: the album's title and performer, a title per track.
void addCdText(const std::string& cue) {
  QFile f(QString::fromStdString(cue));
  ASSERT_TRUE(f.open(QIODevice::ReadWrite));
  QString text = QString::fromUtf8(f.readAll());
  text.replace(QRegularExpression("(TRACK 0(\\d) AUDIO\\n)"), "\\1    TITLE \"Canción \\2\"\n");
  f.resize(0);
  f.write(("PERFORMER \"Intérprete\"\nTITLE \"Álbum\"\n" + text).toUtf8());
}

using Wanted = std::function<bool(const QString&)>;

// Empty when the lines `follower` printed meet each of `wanted` in order;
// else the first one missed and the lines.
QString missing(QProcess& follower, const std::vector<Wanted>& wanted) {
  const QStringList lines = QString::fromUtf8(follower.readAllStandardOutput()).split('\n');
  auto at = lines.cbegin();
  for (size_t i = 0; i < wanted.size(); ++i) {
    at = std::find_if(at, lines.cend(), wanted[i]);
    if (at == lines.cend()) return QString("#%1 in %2").arg(i).arg(lines.join(','));
    ++at;
  }
  return {};
}

}  // namespace

TEST(Playerctl, EveryCommandInEveryStateLeavesWhatMprisAsks) {
  if (!BusClient::onPrivateBus() || !qgetenv("PULSE_SERVER").contains("velmar-pulse"))
    GTEST_SKIP() << "needs with-pulse.sh and with-dbus.sh";
  if (QStandardPaths::findExecutable("playerctl").isEmpty()) {
    if (qgetenv("CI") == "true") FAIL() << "playerctl missing";
    GTEST_SKIP() << "playerctl missing";
  }
  TestDisc disc(counterDisc({40 * 75, 40 * 75, 40 * 75}));
  addCdText(disc.cue);
  TestDisc other(counterDisc({20 * 75}));
  const QString otherUri = QUrl::fromLocalFile(QString::fromStdString(other.cue)).toString();
  RunningProgram velmar(disc.cue);
  const auto playing = [] { return run({"status"}).out == "Playing"; };
  ASSERT_TRUE(QTest::qWaitFor(playing, 20000)) << velmar.errors();
  // What the desktop's followers print, from the start.
  QProcess tracks, seeks;
  tracks.start("playerctl",
               {"-p", "velmar", "-F", "metadata", "--format", "{{status}} {{xesam:trackNumber}}"});
  seeks.start("playerctl", {"-p", "velmar", "-F", "position"});
  QTest::qWait(500);

  const QString refused = "No player could handle this command";
  // The position is that of the audio heard: just after a jump it may run
  // ahead of the output by the clock, then settle back this far, s.
  constexpr double kEarly = 0.6;
  const QStringList rateZero =
      QString(
          "dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.velmar "
          "/org/mpris/MediaPlayer2 org.freedesktop.DBus.Properties.Set "
          "string:org.mpris.MediaPlayer2.Player string:Rate variant:double:0")
          .split(' ');
  const QString format = "{{xesam:trackNumber}}/{{duration(mpris:length)}} {{artist}} - {{title}}";
  const QString allFields =
      "^velmar mpris:length +40000000\\n"
      "velmar mpris:trackid +'/org/velmar/Velmar/track/3'\\n"
      "velmar xesam:album +Álbum\\n"
      "velmar xesam:albumArtist +Intérprete\\n"
      "velmar xesam:artist +Intérprete\\n"
      "velmar xesam:title +Canción 3\\n"
      "velmar xesam:trackNumber +3$";
  // Each row runs one command in the state the rows before it left. A
  // position in [from, to] s; `out` a pattern for what the command prints.
  const struct {
    QStringList command;
    int exit;
    QString out;
    const char* status;
    int track;
    double from, to;
    bool followed = false;  // a jump the position follower prints
  } rows[] = {
      {{"position", "20"}, 0, "", "Playing", 1, 20, 22, true},
      {{"play"}, 0, "", "Playing", 1, 20, 23},  // plays on
      {{"pause"}, 0, "", "Paused", 1, 20, 23},
      {{"pause"}, 0, "", "Paused", 1, 20, 23},  // stays paused
      {{"play"}, 0, "", "Playing", 1, 20, 24},
      {{"play-pause"}, 0, "", "Paused", 1, 20, 24},
      {{"play-pause"}, 0, "", "Playing", 1, 20, 25},
      {{"position"}, 0, "^2\\d\\.\\d+$", "Playing", 1, 20, 25},
      {{"position", "30"}, 0, "", "Playing", 1, 30, 32, true},
      {{"position", "5+"}, 0, "", "Playing", 1, 35, 37, true},
      {{"position", "20-"}, 0, "", "Playing", 1, 15, 17, true},
      {{"position", "100-"}, 0, "", "Playing", 1, 0, 2},  // no further than 0:00
      {{"previous"}, 1, refused, "Playing", 1, 0, 3},     // track 1 at its start
      {{"next"}, 0, "", "Playing", 2, 0, 2},
      {{"previous"}, 0, "", "Playing", 1, 0, 2},  // at a track's start: back one
      {{"next"}, 0, "", "Playing", 2, 0, 2},
      {{"position", "10"}, 0, "", "Playing", 2, 10, 12, true},
      {{"previous"}, 0, "", "Playing", 2, 0, 2},  // 3 s in or later: its start
      {{"next"}, 0, "", "Playing", 3, 0, 2},
      {{"next"}, 1, refused, "Playing", 3, 0, 3},        // the last track
      {{"position", "60+"}, 0, "", "Playing", 3, 0, 4},  // past its end: as next
      {{"pause"}, 0, "", "Paused", 3, 0, 4},
      {{"position", "12"}, 0, "", "Paused", 3, 12, 12, true},
      {{"play"}, 0, "", "Playing", 3, 12, 14},
      {{"pause"}, 0, "", "Paused", 3, 12, 14},
      {{"stop"}, 0, "", "Stopped", 3, 0, 0},  // back to the track's start
      {{"stop"}, 0, "", "Stopped", 3, 0, 0},
      {{"play"}, 0, "", "Playing", 3, 0, 2},
      {{"stop"}, 0, "", "Stopped", 3, 0, 0},
      {{"position", "25"}, 0, "", "Stopped", 3, 0, 0},  // playerctl: 0 when stopped
      {{"play-pause"}, 0, "", "Playing", 3, 25, 27},
      {rateZero, 0, "", "Paused", 3, 25, 27},  // Rate 0.0 pauses
      {{"volume", "0.5"}, 0, "", "Paused", 3, 25, 27},
      {{"volume", "0.1-"}, 0, "", "Paused", 3, 25, 27},
      {{"volume"}, 0, "^0\\.400\\d+$", "Paused", 3, 25, 27},
      {{"metadata"}, 0, allFields, "Paused", 3, 25, 27},
      {{"metadata", "--format", format}, 0, "^3/0:40 Intérprete - Canción 3$", "Paused", 3, 25, 27},
      {{"metadata", "xesam:album"}, 0, "^Álbum$", "Paused", 3, 25, 27},
      {{"open", otherUri}, 0, "", "Playing", 1, 0, 2},
      {{"metadata", "mpris:length"}, 0, "^20000000$", "Playing", 1, 0, 3},
      {{"open", "cdda://"}, 0, "", "Stopped", 0, 0, 0},  // no drive here
      {{"play"}, 1, refused, "Stopped", 0, 0, 0},
  };
  // What the followers must print: a line per change of state or track, the
  // position after each jump.
  std::vector<Wanted> trackLines{[](const QString&l) { return l == "Playing 1"; }}, jumps;
  QString lastLine = "Playing 1";
  for (const auto& row : rows) {
    SCOPED_TRACE(row.command.join(' ').toStdString());
    const Ran r = run(row.command);
    EXPECT_EQ(r.exit, row.exit) << r.out.toStdString();
    EXPECT_TRUE(QRegularExpression(row.out).match(r.out).hasMatch()) << r.out.toStdString();
    // The state settles within a tick of the window.
    Seen s;
    const bool settled = QTest::qWaitFor(
        [&] {
          s = look();
          return s.status == row.status && s.track == row.track && s.seconds >= row.from - kEarly &&
                 s.seconds <= row.to;
        },
        1000);
    EXPECT_TRUE(settled) << s.status.toStdString() << " " << s.track << " " << s.seconds;
    const QString line = QString("%1 %2").arg(row.status).arg(row.track);
    if (row.track > 0 && line != lastLine)
      trackLines.push_back([line](const QString& l) { return l == line; });
    if (row.track > 0) lastLine = line;
    if (row.followed)
      jumps.push_back(
          [&row](const QString& l) { return l.toDouble() >= row.from && l.toDouble() <= row.to; });
  }

  // The followers saw every change of track and state and every jump, in
  // order (playerctl may print more, as a new track with the old state).
  QTest::qWait(1000);
  EXPECT_EQ(missing(tracks, trackLines), "");
  EXPECT_EQ(missing(seeks, jumps), "");
  tracks.kill();
  seeks.kill();
  tracks.waitForFinished();
  seeks.waitForFinished();
}
