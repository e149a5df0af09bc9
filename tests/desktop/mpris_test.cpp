#include <gtest/gtest.h>
#include <unistd.h>

#include <QComboBox>
#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QUrl>
#include <map>

#include "app/TransportBar.h"
#include "desktop/Desktop.h"
#include "support/BusClient.h"
#include "support/CommandTrace.h"
#include "support/TestDisc.h"
#include "support/TestWindow.h"
#include "volume/FakeMixer.h"
#include "volume/modVolumen.h"

// Run by ctest on a private session bus (tests/support/with-dbus.sh): the
// real window on a virtual disc, the player driven by a D-Bus client of its
// own connection.
namespace {

const QString kPlayer = BusClient::kPlayer, kRoot = BusClient::kRoot;

QVariantMap asMap(const QVariant& v) {
  if (v.canConvert<QDBusArgument>()) return qdbus_cast<QVariantMap>(v.value<QDBusArgument>());
  return v.toMap();
}

QString trackIdOf(const QVariantMap& metadata) {
  return metadata.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path();
}

class MprisBus : public ::testing::Test {
 protected:
  FakeMixer* mixer = nullptr;
  std::unique_ptr<CommandTrace> trace;  // members end in reverse: the window first
  std::unique_ptr<desktop::Session> session;
  std::unique_ptr<TestWindow> w;
  frmVelmar* form = nullptr;

  void SetUp() override {
    if (!BusClient::onPrivateBus())
      GTEST_SKIP() << "needs the private session bus of tests/support/with-dbus.sh";
  }

  // The window on `toc` (with CD-Text `text`, by track), on the bus, shown
  // and playing.
  void load(std::vector<TocEntry> toc = threeTrackDisc(), Clock c = {},
            const std::map<int32_t, CdText>& text = {}) {
    mixer = new FakeMixer;
    modVolumen::SetMixerApi(std::unique_ptr<FakeMixer>(mixer));
    trace = std::make_unique<CommandTrace>();
    session = std::make_unique<desktop::Session>();
    w = std::make_unique<TestWindow>(std::move(toc), c);
    form = w->form.get();
    for (const auto& [track, t] : text) w->device->setText(track, t);
    session->attach(*form);
    ASSERT_TRUE(w->activate());
    QTest::qWait(1);  // the settled state after the first commands
  }
};

}  // namespace

TEST_F(MprisBus, MethodsSendTheWindowsCommandWords) {
  load();
  BusClient client;
  const auto track = [](int n) {
    return QVariant::fromValue(QDBusObjectPath(QString("/org/velmar/Velmar/track/%1").arg(n)));
  };
  using enum DeviceMode;
  // Before each call the disc plays on 5 s.
  const struct {
    const char* before;  // a command word the window sends first
    QString method;
    QVariantList args;
    std::string words;  // what the call makes the window send
    DeviceMode after;
  } cases[] = {
      {"", "Pause", {}, "Pause", Paused},
      {"", "Pause", {}, "", Paused},
      {"", "Play", {}, "Play", Playing},
      {"", "Play", {}, "", Playing},
      {"", "PlayPause", {}, "Pause", Paused},
      {"", "PlayPause", {}, "Play", Playing},
      {"", "Next", {}, "Next", Playing},
      {"", "Previous", {}, "Prev", Playing},  // 5 s into track 2: its start
      {"", "Seek", {qlonglong{10'000'000}}, "stop To=215000 seek play", Playing},
      {"", "Seek", {qlonglong{-100'000'000}}, "stop To=200000 seek play", Playing},  // the start
      {"", "Seek", {qlonglong{300'000'000}}, "Next", Playing},  // past the end: the next track
      {"", "SetPosition", {track(3), qlonglong{50'000'000}}, "stop To=450000 seek play", Playing},
      {"", "SetPosition", {track(1), qlonglong{1'000'000}}, "", Playing},    // another track
      {"", "SetPosition", {track(3), qlonglong{150'000'001}}, "", Playing},  // past its length
      {"", "Stop", {}, "Stop To=400000 seek", Stopped},  // back to the track's start
      {"", "Stop", {}, "", Stopped},
      {"", "Pause", {}, "", Stopped},
      {"", "Seek", {qlonglong{2'000'000}}, "stop To=402000 seek", Stopped},
      {"Eject", "Play", {}, "", NoDisc},
      {"", "Next", {}, "", NoDisc},
      {"", "Seek", {qlonglong{1'000'000}}, "", NoDisc},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases << ", " << c.method.toStdString());
    if (*c.before) form->MMControl1->Command(c.before);
    w->play(5000);
    const size_t from = trace->lines.size();
    const QDBusMessage reply = client.call(c.method, c.args);
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(trace->since(from), c.words);
    EXPECT_EQ(w->device->mode(), c.after);
  }
}

TEST_F(MprisBus, PropertiesFollowTheModeAndTheDisplay) {
  load(threeTrackDisc(), {},
       {{0, {"Álbum de prueba", "Intérprete del disco"}}, {2, {"Canción dos", "Otra voz"}}});
  BusClient client;
  // The current track's metadata as "trackid|length|number|title|album|artists".
  const auto metadata = [&] {
    const QVariantMap m = asMap(client.get("Metadata"));
    return QStringList{trackIdOf(m),
                       m.value("mpris:length").toString(),
                       m.value("xesam:trackNumber").toString(),
                       m.value("xesam:title").toString(),
                       m.value("xesam:album").toString(),
                       m.value("xesam:artist").toStringList().join(',')}
        .join('|');
  };
  // 65 s into track 1: the position the display shows, in µs.
  w->play(65'000);
  EXPECT_EQ(form->Label4->text(), "Pista 1 - 01:05");
  EXPECT_EQ(client.get("Position").toLongLong(), 65'000'000);
  EXPECT_EQ(metadata(),  // no CD-Text for track 1: its number
            "/org/velmar/Velmar/track/1|198000000|1|Pista 1|Álbum de prueba|Intérprete del disco");
  form->MMControl1->Command("Next");
  QTest::qWait(1);
  EXPECT_EQ(metadata(),
            "/org/velmar/Velmar/track/2|200000000|2|Canción dos|Álbum de prueba|Otra voz");
  EXPECT_EQ(client.get("Position").toLongLong(), 0);

  // Each state with what MPRIS allows in it, read over the bus: playing,
  // pausing and seeking whenever there is a disc; previous and next where
  // they change the track (track 2 of 3 here).
  const char* can[] = {"CanGoPrevious", "CanGoNext", "CanPlay", "CanPause", "CanSeek"};
  const std::tuple<const char*, const char*, bool> states[] = {
      {"", "Playing", true},       {"Pause", "Paused", true},   {"Stop", "Stopped", true},
      {"Eject", "Stopped", false}, {"Close", "Stopped", false},
  };
  for (const auto& [command, status, disc] : states) {
    SCOPED_TRACE(command);
    if (*command) form->MMControl1->Command(command);
    EXPECT_EQ(client.get("PlaybackStatus").toString(), status);
    for (const char* property : can) EXPECT_EQ(client.get(property).toBool(), disc) << property;
    EXPECT_TRUE(client.get("CanControl").toBool());
  }
  // Without a disc there is no current track.
  QTest::qWait(1);
  EXPECT_EQ(metadata(), "/org/mpris/MediaPlayer2/TrackList/NoTrack|||||");
  EXPECT_EQ(asMap(client.get("Metadata")).size(), 1);

  // The root.
  const std::pair<const char*, QVariant> root[] = {
      {"Identity", "Velmar"},  {"DesktopEntry", "org.velmar.Velmar"},
      {"CanQuit", true},       {"CanRaise", true},
      {"HasTrackList", false}, {"SupportedUriSchemes", QStringList{"cdda", "file"}},
  };
  for (const auto& [property, value] : root)
    EXPECT_EQ(client.get(property, kRoot), value) << property;
  const QStringList types = client.get("SupportedMimeTypes", kRoot).toStringList();
  for (const char* t : {"application/x-cue", "application/x-cdrdao-toc", "application/x-nrg"})
    EXPECT_TRUE(types.contains(t)) << t;
}

TEST_F(MprisBus, VolumeWritesGoThroughTheSliderToTheMixer) {
  load();
  BusClient client;
  client.listen();
  EXPECT_DOUBLE_EQ(client.get("Volume").toDouble(), 1.0) << "the slider starts at the top";

  // What is written, where the slider goes.
  const std::pair<double, int> writes[] = {
      {0.25, 49151}, {0.5, 32767}, {1.7, 0}, {-1.0, 65535}, {0.0, 65535},
  };
  for (const auto& [written, slider] : writes) {
    SCOPED_TRACE(written);
    mixer->calls.clear();
    EXPECT_EQ(client.set("Volume", written).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(form->Slider1->value(), slider);
    // The mixer gets 65535 - slider; 0.0 finds the slider already at the bottom.
    const std::vector<FakeMixer::Call> set{{"set", FakeMixer::kHandle, 0, FakeMixer::kControlId,
                                            static_cast<uint32_t>(65535 - slider)}};
    EXPECT_EQ(mixer->calls, written == 0.0 ? std::vector<FakeMixer::Call>{} : set);
  }
  // A user's move shows on the bus.
  form->Slider1->triggerAction(QAbstractSlider::SliderPageStepSub);
  EXPECT_NEAR(client.get("Volume").toDouble(), 1000.0 / 65535, 1e-9);
  EXPECT_TRUE(QTest::qWaitFor([&] { return client.changes.size() >= 5; }, 2000));
  std::vector<double> announced;
  for (const auto& c : client.changes) {
    EXPECT_EQ(c.interface, kPlayer);
    if (c.values.contains("Volume")) announced.push_back(c.values.value("Volume").toDouble());
  }
  ASSERT_EQ(announced.size(), 5u) << "one announcement per change, none for the repeated 0.0";
  EXPECT_NEAR(announced.front(), 16384.0 / 65535, 1e-9);
  EXPECT_NEAR(announced.back(), 1000.0 / 65535, 1e-9);
}

TEST_F(MprisBus, SteadyPlaySignalsOnlyRealChanges) {
  // A short track 1 so that playback moves into track 2 while listening;
  // real time.
  load({{2000, 1500, true}, {3500, 60000, true}}, steadyClock());
  BusClient client;
  // Whatever the start left to announce goes out before this answer.
  ASSERT_EQ(trackIdOf(asMap(client.get("Metadata"))), "/org/velmar/Velmar/track/1");
  ASSERT_EQ(client.get("PlaybackStatus").toString(), "Playing");
  client.listen();
  QTest::qWait(3000);
  EXPECT_TRUE(client.seeks.empty()) << "no Seeked during normal progress";
  ASSERT_EQ(client.changes.size(), 1u) << "one change: the track";
  EXPECT_EQ(client.changes[0].values.keys(),
            (QStringList{"CanGoNext", "CanGoPrevious", "Metadata"}))
      << "onto the last track, off the first";
  EXPECT_EQ(trackIdOf(asMap(client.changes[0].values.value("Metadata"))),
            "/org/velmar/Velmar/track/2");

  // Jumps from the list, the transport bar and the bus: one Seeked each.
  form->List1->setCurrentIndex(0);
  form->List1_Click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return client.seeks.size() == 1; }, 2000));
  EXPECT_LT(client.seeks[0], 500'000) << "at the start of track 1";
  auto bar = form->MMControl1->findChild<TransportBar*>();
  bar->button(TransportBar::Next)->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return client.seeks.size() == 2; }, 2000));
  client.call("Seek", {qlonglong{20'000'000}});
  ASSERT_TRUE(QTest::qWaitFor([&] { return client.seeks.size() == 3; }, 2000));
  EXPECT_GE(client.seeks[2], 20'000'000);
  EXPECT_LT(client.seeks[2], 21'000'000);
  // Pausing is a change of state, not a jump.
  const size_t changes = client.changes.size();
  bar->button(TransportBar::Pause)->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return client.changes.size() > changes; }, 2000));
  EXPECT_EQ(client.changes.back().values.value("PlaybackStatus").toString(), "Paused");
  EXPECT_EQ(client.changes.back().values.size(), 1) << "what may be done stays as it was";
  QTest::qWait(500);
  EXPECT_EQ(client.seeks.size(), 3u);
  for (const auto& c : client.changes) EXPECT_FALSE(c.values.contains("Position"));
}

TEST_F(MprisBus, OpenUriQuitAndANameHeldByAnotherProgram) {
  // Another player took the MPRIS name first: this copy answers under a name
  // of its own.
  BusClient other;
  ASSERT_TRUE(other.bus().registerService("org.mpris.MediaPlayer2.velmar"));
  load();
  BusClient client(QStringLiteral("org.mpris.MediaPlayer2.velmar.instance%1").arg(getpid()));
  EXPECT_EQ(client.get("Identity", kRoot).toString(), "Velmar");

  TestDisc disc(counterDisc({75, 75}));
  const std::pair<QString, std::string> uris[] = {
      // the reason for a refusal; "": opened
      {"http://example.invalid/disc.cue", "no se admiten direcciones «http://»"},
      {"file:///no/such/disc.cue", "no existe"},
      {"file://otro-equipo/disc.cue", "otro equipo"},
      {QUrl::fromLocalFile(QString::fromStdString(disc.cue)).toString(QUrl::FullyEncoded), ""},
  };
  for (const auto& [uri, refusal] : uris) {
    SCOPED_TRACE(uri.toStdString());
    const size_t from = trace->lines.size();
    const QDBusMessage reply = client.call("OpenUri", {uri});
    const std::string error = reply.errorMessage().toStdString();
    if (refusal.empty()) {
      EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << error;
      const std::string opened = "Close FileName=" + disc.cue + " Open Play ";
      EXPECT_TRUE(
          QTest::qWaitFor([&] { return (trace->since(from) + ' ').starts_with(opened); }, 2000))
          << trace->since(from);
    } else {
      EXPECT_EQ(reply.errorName(), "org.freedesktop.DBus.Error.InvalidArgs");
      EXPECT_NE(error.find(refusal), std::string::npos) << error;
      QTest::qWait(1);
      EXPECT_EQ(trace->since(from), "");
    }
  }

  form->hide();
  EXPECT_EQ(client.call("Raise", {}, kRoot).type(), QDBusMessage::ReplyMessage);
  EXPECT_TRUE(form->isVisible());

  EXPECT_EQ(client.call("Quit", {}, kRoot).type(), QDBusMessage::ReplyMessage);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->unloaded(); }, 2000));
  EXPECT_EQ(trace->lines.back(), "Close");
  EXPECT_EQ(w->device->log().back(), "close");
  EXPECT_FALSE(form->isVisible());
}
