#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

#include "support/PulseServer.h"
#include "support/RunningProgram.h"
#include "support/TestDisc.h"

// Run by ctest against the private PulseAudio server of with-pulse.sh and a
// private session bus (with-dbus.sh): the real program as a desktop sees it,
// driven by playerctl, the client media keys and status bars run.
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

// A property written with dbus-send, or a method called.
QStringList dbusSend(const QString& what) {
  return ("dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.velmar "
          "/org/mpris/MediaPlayer2 " +
          what)
      .split(' ');
}

// The state as playerctl reads it: "Playing 2 12.3"; "Stopped" without a disc.
struct Seen {
  QString status;
  int track = 0;
  double seconds = 0;
};
Seen look() {
  const Ran r = run({"metadata", "--format", "{{status}} {{xesam:trackNumber}} {{position}}"});
  const QStringList f = (r.exit == 0 ? r.out : run({"status"}).out).split(' ');
  return {f[0], f.value(1).toInt(), f.value(2).toLongLong() / 1e6};
}

}  // namespace

TEST(Playerctl, EveryCommandInEveryStateLeavesWhatMprisAsks) {
  if (!RunningProgram::onPrivateBusWithSound())
    GTEST_SKIP() << "needs with-pulse.sh and with-dbus.sh";
  if (QStandardPaths::findExecutable("playerctl").isEmpty()) {
    if (qgetenv("CI") == "true") FAIL() << "playerctl missing";
    GTEST_SKIP() << "playerctl missing";
  }
  // Three tracks of 40 s, with CD-Text: the album's title and performer, a
  // title per track.
  TestDisc disc(counterDisc({40 * 75, 40 * 75, 40 * 75}));
  QFile cue(QString::fromStdString(disc.cue));
  ASSERT_TRUE(cue.open(QIODevice::ReadWrite));
  QString sheet = QString::fromUtf8(cue.readAll());
  sheet.replace(QRegularExpression("(TRACK 0(\\d) AUDIO\\n)"), "\\1    TITLE \"Canción \\2\"\n");
  cue.resize(0);
  cue.write(("PERFORMER \"Intérprete\"\nTITLE \"Álbum\"\n" + sheet).toUtf8());
  cue.close();
  TestDisc other(counterDisc({20 * 75}));
  const QString otherUri = QUrl::fromLocalFile(QString::fromStdString(other.cue)).toString();
  RunningProgram velmar(disc.cue);
  ASSERT_TRUE(QTest::qWaitFor([] { return run({"status"}).out == "Playing"; }, 20000))
      << velmar.errors();
  // The sound stream, named for the sound server.
  ASSERT_TRUE(velmar.streams(20000));
  QStringList named;
  for (const char* key :
       {"application.name", "media.role", "application.icon_name", "application.id"})
    named << velmar.stream().value(key).toString();
  EXPECT_EQ(named.join(' '), "Velmar music org.velmar.Velmar org.velmar.Velmar");
  // A status bar following the player, as it learns of changes from the
  // bus; the signals themselves.
  QProcess follower, monitor;
  follower.start("playerctl", {"-p", "velmar", "-F", "metadata", "--format",
                               "{{status}} {{xesam:trackNumber}}"});
  monitor.start("dbus-monitor", {"--session", "type='signal',member='Seeked'",
                                 "type='signal',member='PropertiesChanged'"});
  ASSERT_TRUE(QTest::qWaitFor([&] { return monitor.bytesAvailable() > 0; }, 5000));
  QTest::qWait(500);
  // The follower's last line ("Paused 3"; empty without a disc), and the
  // statuses it printed and should have, each change once, in order.
  QString followed;
  const auto following = [&] {
    followed += follower.readAllStandardOutput();
    return followed.section('\n', -2, -2);
  };
  QStringList statuses{"Playing"};
  const QString refused = "No player could handle this command";
  // The position is that of the audio heard: just after a jump it may run
  // ahead of the output by the clock, then settle back this far, s.
  constexpr double kEarly = 0.6;
  const QString track1 = "objpath:/org/velmar/Velmar/track/1";
  const QStringList metadata{"metadata", "--format",
                             "{{mpris:length}} {{mpris:trackid}} {{album}} {{xesam:albumArtist}} "
                             "{{artist}} {{title}} {{xesam:trackNumber}}"};
  const QString allFields =
      "^40000000 '/org/velmar/Velmar/track/3' Álbum Intérprete Intérprete "
      "Canción 3 3$";
  // Each row runs one command in the state the rows before it left. A
  // position in [from, to] s; `out` a pattern for what the command prints;
  // `jumps`: the Seeked it makes. Steady play, into the next track too, and
  // pausing make none; a disc that runs out goes back to track 1, a jump.
  const struct {
    QStringList command;
    int exit;
    QString out;
    const char* status;
    int track;
    double from, to;
    int jumps = 0;
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
      {{"position", "100-"}, 0, "", "Playing", 1, 0, 2, true},  // no further than 0:00
      {{"previous"}, 1, refused, "Playing", 1, 0, 3},           // track 1 at its start
      {{"position", "39.5"}, 0, "", "Playing", 2, 0, 2, true},  // plays into track 2
      {{"previous"}, 0, "", "Playing", 1, 0, 2, true},          // at a track's start: back one
      {{"next"}, 0, "", "Playing", 2, 0, 2, true},
      {{"position", "10"}, 0, "", "Playing", 2, 10, 12, true},
      {{"previous"}, 0, "", "Playing", 2, 0, 2, true},  // 3 s in or later: its start
      {dbusSend("org.mpris.MediaPlayer2.Player.SetPosition " + track1 + " int64:5000000"), 0, "",
       "Playing", 2, 0, 3},                                    // another track's id: nothing
      {{"position", "60+"}, 0, "", "Playing", 3, 0, 2, true},  // past its end: as next
      {{"next"}, 1, refused, "Playing", 3, 0, 3},              // the last track
      {{"position", "60+"}, 0, "", "Playing", 3, 0, 4},        // past its end: nothing
      {{"pause"}, 0, "", "Paused", 3, 0, 4},
      {{"position", "12"}, 0, "", "Paused", 3, 12, 12, true},
      {{"play"}, 0, "", "Playing", 3, 12, 14},
      {{"stop"}, 0, "", "Stopped", 3, 0, 0, true},  // back to the track's start
      {{"stop"}, 0, "", "Stopped", 3, 0, 0},
      {{"position", "25"}, 0, "", "Stopped", 3, 0, 0, true},  // playerctl: 0 when stopped
      {{"play-pause"}, 0, "", "Playing", 3, 25, 27},
      {dbusSend("org.freedesktop.DBus.Properties.Set string:org.mpris.MediaPlayer2.Player "
                "string:Rate variant:double:0"),
       0, "", "Paused", 3, 25, 27},  // Rate 0.0 pauses
      {{"volume", "0.5"}, 0, "", "Paused", 3, 25, 27},
      {{"volume", "0.1-"}, 0, "", "Paused", 3, 25, 27},
      {{"volume"}, 0, "^0\\.400\\d+$", "Paused", 3, 25, 27},
      {metadata, 0, allFields, "Paused", 3, 25, 27},
      {{"open", "file:///no/such/disc.cue"}, 1, "no existe", "Paused", 3, 25, 27},
      {{"open", otherUri}, 0, "", "Playing", 1, 0, 2},
      {{"position", "19.5"}, 0, "", "Stopped", 1, 0, 0, 2},  // runs out
      {{"open", "cdda://"}, 0, "", "Stopped", 0, 0, 0},      // no drive here
      {{"play"}, 1, refused, "Stopped", 0, 0, 0},
  };
  qsizetype seeked = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.command.join(' ').toStdString());
    const Ran r = run(row.command);
    EXPECT_EQ(r.exit, row.exit) << r.out.toStdString();
    EXPECT_TRUE(QRegularExpression(row.out).match(r.out).hasMatch()) << r.out.toStdString();
    // The state settles within a tick of the window, or once the disc ran out;
    // the rows after one that did not would only repeat the fault.
    Seen s;
    const bool settled = QTest::qWaitFor(
        [&] {
          s = look();
          return s.status == row.status && s.track == row.track && s.seconds >= row.from - kEarly &&
                 s.seconds <= row.to;
        },
        3000);
    ASSERT_TRUE(settled) << s.status.toStdString() << " " << s.track << " " << s.seconds;
    seeked += row.jumps;
    const QString state = row.track ? QString("%1 %2").arg(row.status).arg(row.track) : "";
    ASSERT_TRUE(QTest::qWaitFor([&] { return following() == state; }, 3000))
        << following().toStdString() << " followed";
    if (row.track && statuses.back() != row.status) statuses << row.status;
    if (row.command == QStringList{"volume", "0.1-"}) {
      EXPECT_EQ(pulse::sinkShows(26214, 5000), 40) << "the slider moved, the mixer written";
    }
  }

  // The bus said Seeked once a jump, and each PropertiesChanged held only
  // what changed: Volume twice.
  QTest::qWait(1000);
  QStringList seen;
  for (const QString& line : followed.split('\n', Qt::SkipEmptyParts))
    if (seen.isEmpty() || seen.back() != line.section(' ', 0, 0)) seen << line.section(' ', 0, 0);
  EXPECT_EQ(seen.join(' ').toStdString(), statuses.join(' ').toStdString());
  const QString onBus = monitor.readAllStandardOutput();
  EXPECT_EQ(onBus.count("member=Seeked"), seeked);
  EXPECT_EQ(onBus.count("string \"Volume\""), 2);
  for (QProcess* p : {&follower, &monitor}) {
    p->kill();
    p->waitForFinished();
  }

  // Quit closes the window as its close box does; the program ends well.
  EXPECT_EQ(run(dbusSend("org.mpris.MediaPlayer2.Quit")).exit, 0);
  EXPECT_GE(velmar.waitForEnd(10000), 0) << "Quit ends the program";
  EXPECT_TRUE(velmar.endedWell()) << velmar.errors();
}
