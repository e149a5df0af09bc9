#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QTest>

#include "support/BusClient.h"
#include "support/RunningProgram.h"
#include "support/TestDisc.h"

// Run by ctest against the private PulseAudio server of with-pulse.sh and a
// private session bus (with-dbus.sh): the real program, as a desktop sees it.
namespace {

const QString kRoot = BusClient::kRoot;

bool ready() {
  return BusClient::onPrivateBus() && qgetenv("PULSE_SERVER").contains("velmar-pulse");
}

// Waits until `client`'s service answers as Velmar.
bool answers(BusClient& client) {
  return QTest::qWaitFor([&] { return client.get("Identity", kRoot).toString() == "Velmar"; },
                         20000);
}

}  // namespace

TEST(DesktopAudio, TheRealProgramOnTheBusWithItsNamedStream) {
  if (!ready()) GTEST_SKIP() << "needs with-pulse.sh and with-dbus.sh";
  TestDisc disc(counterDisc({30 * 75, 30 * 75}));
  RunningProgram velmar(disc.cue);
  BusClient client;
  ASSERT_TRUE(answers(client)) << velmar.errors();
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return client.get("PlaybackStatus").toString() == "Playing"; }, 10000));
  const QVariantMap metadata =
      qdbus_cast<QVariantMap>(client.get("Metadata").value<QDBusArgument>());
  EXPECT_EQ(metadata.value("mpris:trackid").value<QDBusObjectPath>().path(),
            "/org/velmar/Velmar/track/1");
  EXPECT_EQ(metadata.value("mpris:length").toLongLong(), 30'000'000);
  EXPECT_EQ(metadata.value("xesam:title").toString(), "Pista 1");

  // The stream, once the output opened.
  ASSERT_TRUE(velmar.streams(20000)) << "no sound stream";
  const QMap<QString, QString> stream = velmar.stream();
  EXPECT_EQ(stream.value("application.name"), "Velmar");
  EXPECT_EQ(stream.value("media.role"), "music");
  EXPECT_EQ(stream.value("application.icon_name"), "org.velmar.Velmar");
  EXPECT_EQ(stream.value("application.id"), "org.velmar.Velmar");

  // Quit closes the window as its close box does; the program ends well.
  EXPECT_EQ(client.call("Quit", {}, kRoot).type(), QDBusMessage::ReplyMessage);
  ASSERT_GE(velmar.waitForEnd(10000), 0) << "Quit ends the program";
  EXPECT_TRUE(velmar.endedWell()) << velmar.errors();
}

TEST(DesktopAudio, AForeignMprisNameOrNoBusLeavesThePlayerAsItWas) {
  if (!ready()) GTEST_SKIP() << "needs with-pulse.sh and with-dbus.sh";
  TestDisc disc(counterDisc({30 * 75}));

  // Another program holds the MPRIS name: Velmar does not take it for a
  // running copy of itself; it plays and answers under a name of its own.
  {
    BusClient other;
    ASSERT_TRUE(other.bus().registerService("org.mpris.MediaPlayer2.velmar"));
    RunningProgram velmar(disc.cue);
    BusClient client(QStringLiteral("org.mpris.MediaPlayer2.velmar.instance%1").arg(velmar.pid()));
    ASSERT_TRUE(answers(client)) << velmar.errors();
    EXPECT_TRUE(velmar.running());
    EXPECT_EQ(client.call("Quit", {}, kRoot).type(), QDBusMessage::ReplyMessage);
    ASSERT_GE(velmar.waitForEnd(10000), 0);
    EXPECT_TRUE(velmar.endedWell());
  }

  // No session bus at all, and a user's own stream role: the player plays,
  // says nothing about the bus, and the user's role wins over "music".
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/velmar-bus");
  env.insert("PULSE_PROP", "media.role=video");
  RunningProgram velmar(disc.cue, env);
  ASSERT_TRUE(velmar.streams(20000)) << velmar.errors();
  const QMap<QString, QString> stream = velmar.stream();
  EXPECT_EQ(stream.value("application.name"), "Velmar");
  EXPECT_EQ(stream.value("media.role"), "video");
  EXPECT_EQ(stream.value("application.icon_name"), "org.velmar.Velmar");
  ASSERT_GE(velmar.terminate(), 0);
  EXPECT_TRUE(velmar.endedWell());
  const QString err = QString::fromStdString(velmar.errors());
  EXPECT_FALSE(err.contains("DBus", Qt::CaseInsensitive) || err.contains("D-Bus"))
      << err.toStdString();
}
