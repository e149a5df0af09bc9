#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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

// The properties of `velmar`'s playback stream as the PipeWire server holds
// them (pw-dump); empty while it has none.
QJsonObject pipewireStream(const RunningProgram& velmar) {
  QProcess dump;
  dump.start("pw-dump", {});
  dump.waitForFinished(10000);
  const QJsonArray objects = QJsonDocument::fromJson(dump.readAllStandardOutput()).array();
  const auto props = [](const QJsonValue& o) { return o["info"]["props"].toObject(); };
  // The stream names its client, the client the process.
  for (const QJsonValue& client : objects) {
    if (props(client)["application.process.id"].toInteger() != velmar.pid()) continue;
    for (const QJsonValue& node : objects)
      if (props(node)["media.class"] == "Stream/Output/Audio" &&
          props(node)["client.id"] == client["id"])
        return props(node);
  }
  return {};
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

// Where PipeWire's own ALSA plug-in carries the stream (pipewire-alsa), it is
// named as under PulseAudio; a key the user gave the plug-in stays the user's.
TEST(PipeWireAlsa, TheStreamIsNamedAndTheUsersOwnKeysWin) {
  if (qgetenv("VELMAR_PIPEWIRE") != "1") GTEST_SKIP() << "needs with-pipewire.sh";
  TestDisc disc(counterDisc({30 * 75}));
  const struct {
    const char* user;  // PIPEWIRE_ALSA as the user set it
    const char* role;
  } cases[] = {{nullptr, "Music"}, {"{ media.role = \"Game\" }", "Game"}};
  for (const auto& [user, role] : cases) {
    SCOPED_TRACE(user ? user : "no PIPEWIRE_ALSA");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (user) env.insert("PIPEWIRE_ALSA", user);
    RunningProgram velmar(disc.cue, env);
    QJsonObject stream;
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !(stream = pipewireStream(velmar)).isEmpty(); }, 20000))
        << velmar.errors();
    const std::pair<QString, QString> expected[] = {
        {"application.name", "Velmar"},
        {"node.name", "Velmar"},
        {"application.icon_name", "org.velmar.Velmar"},
        {"application.id", "org.velmar.Velmar"},
        {"media.role", role},
    };
    for (const auto& [key, value] : expected)
      EXPECT_EQ(stream[key].toString(), value) << key.toStdString();
    ASSERT_GE(velmar.terminate(), 0);
    EXPECT_TRUE(velmar.endedWell()) << velmar.errors();
  }
}
