#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include "support/RunningProgram.h"
#include "support/TestDisc.h"

namespace {

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

// Where PipeWire's own ALSA plug-in carries the stream (pipewire-alsa), it is
// named as under PulseAudio; a key the user gave the plug-in stays the user's.
TEST(PipeWireAlsa, TheStreamIsNamedAndTheUsersOwnKeysWin) {
  if (qgetenv("VELMAR_PIPEWIRE") != "1") GTEST_SKIP() << "needs with-pipewire.sh";
  TestDisc disc(counterDisc({30 * 75}));
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("PIPEWIRE_ALSA", "{ application.name = \"Mine\" }");
  RunningProgram velmar(disc.cue, env);
  QJsonObject stream;
  ASSERT_TRUE(QTest::qWaitFor([&] { return !(stream = pipewireStream(velmar)).isEmpty(); }, 20000))
      << velmar.errors();
  QStringList named;
  for (const char* key :
       {"application.name", "node.name", "application.icon_name", "application.id", "media.role"})
    named << stream[key].toString();
  EXPECT_EQ(named.join(' '), "Mine Velmar org.velmar.Velmar org.velmar.Velmar Music");
  ASSERT_GE(velmar.terminate(), 0);
  EXPECT_TRUE(velmar.endedWell()) << velmar.errors();
}
