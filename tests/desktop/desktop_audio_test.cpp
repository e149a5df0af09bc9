#include <gtest/gtest.h>
#include <signal.h>

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTest>

#include "support/BusClient.h"
#include "support/TestDisc.h"

// Run by ctest against the private PulseAudio server of with-pulse.sh and a
// private session bus (with-dbus.sh): the real program, as a desktop sees it.
namespace {

const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");

bool ready() {
  return BusClient::onPrivateBus() && qgetenv("PULSE_SERVER").contains("velmar-pulse");
}

// The properties of the sound stream the process `pid` plays, as
// `pactl list sink-inputs` shows them; empty while it has none.
QMap<QString, QString> streamOf(qint64 pid) {
  QProcess pactl;
  pactl.start(QStringLiteral("pactl"), {QStringLiteral("list"), QStringLiteral("sink-inputs")});
  pactl.waitForFinished(10000);
  const QString all = QString::fromUtf8(pactl.readAllStandardOutput());
  static const QRegularExpression property(QStringLiteral("^\\s*([a-z._]+) = \"(.*)\"$"),
                                           QRegularExpression::MultilineOption);
  for (const QString& block : all.split(QStringLiteral("Sink Input #"))) {
    QMap<QString, QString> props;
    for (auto it = property.globalMatch(block); it.hasNext();) {
      const auto m = it.next();
      props.insert(m.captured(1), m.captured(2));
    }
    if (props.value(QStringLiteral("application.process.id")) == QString::number(pid)) return props;
  }
  return {};
}

struct Program {
  QProcess process;
  explicit Program(const std::string& disc,
                   const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(VELMAR_PROGRAM), {QString::fromStdString(disc)});
    EXPECT_TRUE(process.waitForStarted(5000));
  }
  ~Program() {
    if (process.state() != QProcess::NotRunning) {
      process.kill();
      process.waitForFinished(5000);
    }
  }
  // Waits for the process to end by itself, letting events run.
  bool ended(int ms = 10000) {
    return QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, ms);
  }
  bool endedWell() const {
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
  }
};

// Waits until `client`'s service answers as Velmar.
bool answers(BusClient& client) {
  return QTest::qWaitFor([&] { return client.get(kRoot, "Identity").toString() == "Velmar"; },
                         20000);
}

}  // namespace

TEST(DesktopAudio, TheRealProgramOnTheBusWithItsNamedStream) {
  if (!ready()) GTEST_SKIP() << "needs with-pulse.sh and with-dbus.sh";
  TestDisc disc(counterDisc({30 * 75, 30 * 75}));
  Program velmar(disc.cue);
  BusClient client;
  ASSERT_TRUE(answers(client)) << velmar.process.readAllStandardError().toStdString();
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return client.playerProperty("PlaybackStatus").toString() == "Playing"; }, 10000));
  const QVariantMap metadata =
      qdbus_cast<QVariantMap>(client.playerProperty("Metadata").value<QDBusArgument>());
  EXPECT_EQ(metadata.value("mpris:trackid").value<QDBusObjectPath>().path(),
            "/org/velmar/Velmar/track/1");
  EXPECT_EQ(metadata.value("mpris:length").toLongLong(), 30'000'000);
  EXPECT_EQ(metadata.value("xesam:title").toString(), "Pista 1");

  // The stream, once the output opened.
  QMap<QString, QString> stream;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return !(stream = streamOf(velmar.process.processId())).isEmpty(); }, 20000))
      << "no sound stream";
  EXPECT_EQ(stream.value("application.name"), "Velmar");
  EXPECT_EQ(stream.value("media.role"), "music");
  EXPECT_EQ(stream.value("application.icon_name"), "org.velmar.Velmar");
  EXPECT_EQ(stream.value("application.id"), "org.velmar.Velmar");

  // Quit closes the window as its close box does: the device and its
  // stream are closed, the program ends well.
  EXPECT_EQ(client.call(kRoot, "Quit").type(), QDBusMessage::ReplyMessage);
  ASSERT_TRUE(velmar.ended()) << "Quit ends the program";
  EXPECT_TRUE(velmar.endedWell()) << velmar.process.readAllStandardError().toStdString();
  EXPECT_TRUE(streamOf(velmar.process.processId()).isEmpty());
}

TEST(DesktopAudio, AForeignMprisNameOrNoBusLeavesThePlayerAsItWas) {
  if (!ready()) GTEST_SKIP() << "needs with-pulse.sh and with-dbus.sh";
  TestDisc disc(counterDisc({30 * 75}));

  // Another program holds the MPRIS name: Velmar does not take it for a
  // running copy of itself; it plays and answers under a name of its own.
  {
    BusClient other;
    ASSERT_TRUE(other.bus().registerService("org.mpris.MediaPlayer2.velmar"));
    Program velmar(disc.cue);
    BusClient client(
        QStringLiteral("org.mpris.MediaPlayer2.velmar.instance%1").arg(velmar.process.processId()));
    ASSERT_TRUE(answers(client)) << velmar.process.readAllStandardError().toStdString();
    EXPECT_EQ(velmar.process.state(), QProcess::Running);
    EXPECT_EQ(client.call(kRoot, "Quit").type(), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(velmar.ended());
    EXPECT_TRUE(velmar.endedWell());
  }

  // No session bus at all, and a user's own stream role: the player plays,
  // says nothing about the bus, and the user's role wins over "music".
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/velmar-bus");
  env.insert("PULSE_PROP", "media.role=video");
  Program velmar(disc.cue, env);
  QMap<QString, QString> stream;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return !(stream = streamOf(velmar.process.processId())).isEmpty(); }, 20000))
      << velmar.process.readAllStandardError().toStdString();
  EXPECT_EQ(stream.value("application.name"), "Velmar");
  EXPECT_EQ(stream.value("media.role"), "video");
  EXPECT_EQ(stream.value("application.icon_name"), "org.velmar.Velmar");
  ::kill(static_cast<pid_t>(velmar.process.processId()), SIGTERM);
  ASSERT_TRUE(velmar.ended());
  EXPECT_TRUE(velmar.endedWell());
  const QString err = QString::fromUtf8(velmar.process.readAllStandardError());
  EXPECT_FALSE(err.contains("DBus", Qt::CaseInsensitive) || err.contains("D-Bus"))
      << err.toStdString();
}
