#include <gtest/gtest.h>
#include <unistd.h>

#include <QComboBox>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QUrl>
#include <functional>

#include "app/TransportBar.h"
#include "app/frmVelmar.h"
#include "desktop/Desktop.h"
#include "disc/MMControl.h"
#include "disc/VirtualCdDevice.h"
#include "support/BusClient.h"
#include "support/CommandTrace.h"
#include "support/ManualClock.h"
#include "support/TestDisc.h"
#include "volume/FakeMixer.h"
#include "volume/modVolumen.h"

// Run by ctest on a private session bus (tests/support/with-dbus.sh): the
// real window on a virtual disc, the player driven by a D-Bus client of its
// own connection.
namespace {

const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");

QVariantMap asMap(const QVariant& v) {
  if (v.canConvert<QDBusArgument>()) return qdbus_cast<QVariantMap>(v.value<QDBusArgument>());
  return v.toMap();
}

QString trackIdOf(const QVariantMap& metadata) {
  return metadata.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path();
}

class MprisBus : public ::testing::Test {
 protected:
  ManualClock clock;
  VirtualCdDevice* device = nullptr;
  FakeMixer* mixer = nullptr;
  std::unique_ptr<CommandTrace> trace;
  std::unique_ptr<desktop::Session> session;
  std::unique_ptr<frmVelmar> form;

  void SetUp() override {
    if (!BusClient::onPrivateBus())
      GTEST_SKIP() << "needs the private session bus of tests/support/with-dbus.sh";
  }
  void TearDown() override {
    form.reset();
    session.reset();
    trace.reset();
  }

  // The window on `toc` (with CD-Text from `text`), on the bus, shown and
  // playing.
  void load(std::vector<TocEntry> toc = threeTrackDisc(), VirtualCdDevice::Clock c = {},
            const std::function<void(VirtualCdDevice&)>& text = {}) {
    mixer = new FakeMixer;
    modVolumen::SetMixerApi(std::unique_ptr<FakeMixer>(mixer));
    auto owned = std::make_unique<VirtualCdDevice>(std::move(toc), c ? c : clock.clock());
    device = owned.get();
    if (text) text(*device);
    trace = std::make_unique<CommandTrace>();
    session = std::make_unique<desktop::Session>();
    form = std::make_unique<frmVelmar>(std::move(owned));
    session->attach(*form);
    form->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->activated(); }, 2000));
    QTest::qWait(1);  // the settled state after the first commands
  }

  // Moves the virtual disc on by `ms` and lets the window see it.
  void play(int64_t ms) {
    clock.advance(ms);
    form->Timer1_Timer();
  }
};

}  // namespace

TEST_F(MprisBus, MethodsSendTheWindowsCommandWords) {
  load();
  BusClient client;
  using Words = std::vector<std::string>;
  const QDBusObjectPath track1(QStringLiteral("/org/velmar/Velmar/track/1"));
  const QDBusObjectPath track2(QStringLiteral("/org/velmar/Velmar/track/2"));
  const struct {
    const char* what;
    std::function<void()> before;  // puts the device in the state the call meets
    QString method;
    QVariantList args;
    Words words;
    DeviceMode after;
  } cases[] = {
      {"pause while playing", {}, "Pause", {}, {"Pause"}, DeviceMode::Paused},
      {"pause while paused does nothing", {}, "Pause", {}, {}, DeviceMode::Paused},
      {"play resumes", {}, "Play", {}, {"Play"}, DeviceMode::Playing},
      {"play while playing does nothing", {}, "Play", {}, {}, DeviceMode::Playing},
      {"playpause pauses", {}, "PlayPause", {}, {"Pause"}, DeviceMode::Paused},
      {"playpause resumes", {}, "PlayPause", {}, {"Play"}, DeviceMode::Playing},
      {"next", {}, "Next", {}, {"Next"}, DeviceMode::Playing},
      {"previous", [&] { clock.advance(5000); }, "Previous", {}, {"Prev"}, DeviceMode::Playing},
      {"seek forward 10 s from 5 s into track 2",
       [&] { clock.advance(5000); },
       "Seek",
       {qlonglong{10'000'000}},
       {"stop", "To=215000", "seek", "play"},
       DeviceMode::Playing},
      {"seek back past the start stops at the track's start",
       {},
       "Seek",
       {qlonglong{-100'000'000}},
       {"stop", "To=200000", "seek", "play"},
       DeviceMode::Playing},
      {"seek past the end goes on to the next track",
       {},
       "Seek",
       {qlonglong{300'000'000}},
       {"Next"},
       DeviceMode::Playing},
      {"set position in the current track",
       {},
       "SetPosition",
       {QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/velmar/Velmar/track/3"))),
        qlonglong{50'000'000}},
       {"stop", "To=450000", "seek", "play"},
       DeviceMode::Playing},
      {"set position of another track is ignored",
       {},
       "SetPosition",
       {QVariant::fromValue(track1), qlonglong{1'000'000}},
       {},
       DeviceMode::Playing},
      {"set position past the track's length is ignored",
       {},
       "SetPosition",
       {QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/velmar/Velmar/track/3"))),
        qlonglong{150'000'001}},
       {},
       DeviceMode::Playing},
      {"stop", {}, "Stop", {}, {"Stop"}, DeviceMode::Stopped},
      {"stop while stopped does nothing", {}, "Stop", {}, {}, DeviceMode::Stopped},
      {"pause while stopped does nothing", {}, "Pause", {}, {}, DeviceMode::Stopped},
      {"seek while stopped stays stopped",
       {},
       "Seek",
       {qlonglong{2'000'000}},
       {"stop", "To=452000", "seek"},
       DeviceMode::Stopped},
      {"no disc: play does nothing",
       [&] { form->MMControl1->Command("Eject"); },
       "Play",
       {},
       {},
       DeviceMode::NoDisc},
      {"no disc: next does nothing", {}, "Next", {}, {}, DeviceMode::NoDisc},
      {"no disc: seek does nothing", {}, "Seek", {qlonglong{1'000'000}}, {}, DeviceMode::NoDisc},
  };
  for (const auto& c : cases) {
    if (c.before) c.before();
    form->Timer1_Timer();
    const size_t from = trace->lines.size();
    const QDBusMessage reply = client.player(c.method, c.args);
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage)
        << c.what << reply.errorMessage().toStdString();
    EXPECT_EQ(trace->since(from), c.words) << c.what;
    EXPECT_EQ(device->mode(), c.after) << c.what;
  }
}

TEST_F(MprisBus, PropertiesFollowTheModeTheTransportBarAndTheDisplay) {
  load(threeTrackDisc(), {}, [](VirtualCdDevice& d) {
    d.setText(0, {"Álbum de prueba", "Intérprete del disco"});
    d.setText(2, {"Canción dos", "Otra voz"});
  });
  BusClient client;
  auto bar = form->MMControl1->findChild<TransportBar*>();
  ASSERT_NE(bar, nullptr);

  // Each state with what the bar enables in it, read over the bus.
  const struct {
    const char* what;
    std::function<void()> enter;
    const char* status;
  } states[] = {
      {"playing", [] {}, "Playing"},
      {"paused", [&] { form->MMControl1->Command("Pause"); }, "Paused"},
      {"stopped", [&] { form->MMControl1->Command("Stop"); }, "Stopped"},
      {"no disc", [&] { form->MMControl1->Command("Eject"); }, "Stopped"},
      {"closed", [&] { form->MMControl1->Command("Close"); }, "Stopped"},
  };
  // 65 s into track 1: the position the display shows, in µs.
  play(65'000);
  EXPECT_EQ(form->Label4->text(), "Pista 1 - 01:05");
  EXPECT_EQ(client.playerProperty("Position").toLongLong(), 65'000'000);
  const QVariantMap m = asMap(client.playerProperty("Metadata"));
  EXPECT_EQ(trackIdOf(m), "/org/velmar/Velmar/track/1");
  EXPECT_EQ(m.value("mpris:length").toLongLong(), 198'000'000);
  EXPECT_EQ(m.value("xesam:trackNumber").toInt(), 1);
  EXPECT_EQ(m.value("xesam:title").toString(), "Pista 1") << "no CD-Text for track 1";
  EXPECT_EQ(m.value("xesam:album").toString(), "Álbum de prueba");
  EXPECT_EQ(m.value("xesam:artist").toStringList(), QStringList{"Intérprete del disco"});
  form->MMControl1->Command("Next");
  QTest::qWait(1);
  const QVariantMap m2 = asMap(client.playerProperty("Metadata"));
  EXPECT_EQ(trackIdOf(m2), "/org/velmar/Velmar/track/2");
  EXPECT_EQ(m2.value("xesam:title").toString(), "Canción dos");
  EXPECT_EQ(m2.value("xesam:artist").toStringList(), QStringList{"Otra voz"});
  EXPECT_EQ(m2.value("mpris:length").toLongLong(), 200'000'000);
  EXPECT_EQ(client.playerProperty("Position").toLongLong(), 0);

  for (const auto& s : states) {
    s.enter();
    bar->refresh();
    EXPECT_EQ(client.playerProperty("PlaybackStatus").toString(), s.status) << s.what;
    const std::pair<const char*, TransportBar::Button> can[] = {
        {"CanGoPrevious", TransportBar::Prev},
        {"CanGoNext", TransportBar::Next},
        {"CanPlay", TransportBar::Play},
        {"CanPause", TransportBar::Pause},
        {"CanSeek", TransportBar::Next}};
    for (const auto& [property, button] : can)
      EXPECT_EQ(client.playerProperty(property).toBool(), bar->button(button)->isEnabled())
          << s.what << " " << property;
    EXPECT_TRUE(client.playerProperty("CanControl").toBool());
  }
  // Without a disc there is no current track.
  QTest::qWait(1);
  const QVariantMap none = asMap(client.playerProperty("Metadata"));
  EXPECT_EQ(trackIdOf(none), "/org/mpris/MediaPlayer2/TrackList/NoTrack");
  EXPECT_EQ(none.size(), 1);

  // The root.
  EXPECT_EQ(client.get(kRoot, "Identity").toString(), "Velmar");
  EXPECT_EQ(client.get(kRoot, "DesktopEntry").toString(), "org.velmar.Velmar");
  EXPECT_TRUE(client.get(kRoot, "CanQuit").toBool());
  EXPECT_TRUE(client.get(kRoot, "CanRaise").toBool());
  EXPECT_FALSE(client.get(kRoot, "HasTrackList").toBool());
  EXPECT_EQ(client.get(kRoot, "SupportedUriSchemes").toStringList(), (QStringList{"cdda", "file"}));
  const QStringList types = client.get(kRoot, "SupportedMimeTypes").toStringList();
  for (const char* t : {"application/x-cue", "application/x-cdrdao-toc", "application/x-nrg"})
    EXPECT_TRUE(types.contains(t)) << t;
}

TEST_F(MprisBus, VolumeWritesGoThroughTheSliderToTheMixer) {
  load();
  BusClient client;
  client.listen();
  EXPECT_DOUBLE_EQ(client.playerProperty("Volume").toDouble(), 1.0)
      << "the slider starts at the top";

  const struct {
    double written;
    int slider;  // where the slider goes; the mixer gets 65535 - slider
  } writes[] = {{0.25, 49151}, {0.5, 32767}, {1.7, 0}, {-1.0, 65535}, {0.0, 65535}};
  for (const auto& w : writes) {
    const size_t calls = mixer->calls.size();
    EXPECT_EQ(client.set(kPlayer, "Volume", w.written).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(form->Slider1->value(), w.slider) << w.written;
    const bool moved = w.written != 0.0;  // 0.0 finds the slider already at the bottom
    ASSERT_EQ(mixer->calls.size(), calls + (moved ? 1 : 0)) << w.written;
    if (moved) {
      EXPECT_EQ(mixer->calls.back(),
                (FakeMixer::Call{"set", FakeMixer::kHandle, 0, FakeMixer::kControlId,
                                 static_cast<uint32_t>(65535 - w.slider)}))
          << w.written;
    }
  }
  // A user's move shows on the bus.
  form->Slider1->triggerAction(QAbstractSlider::SliderPageStepSub);
  EXPECT_NEAR(client.playerProperty("Volume").toDouble(), 1000.0 / 65535, 1e-9);
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
  load({{2000, 1500, true}, {3500, 60000, true}}, VirtualCdDevice::steadyClock());
  BusClient client;
  // Whatever the start left to announce goes out before this answer.
  ASSERT_EQ(trackIdOf(asMap(client.playerProperty("Metadata"))), "/org/velmar/Velmar/track/1");
  ASSERT_EQ(client.playerProperty("PlaybackStatus").toString(), "Playing");
  client.listen();
  QTest::qWait(3000);
  EXPECT_TRUE(client.seeks.empty()) << "no Seeked during normal progress";
  ASSERT_EQ(client.changes.size(), 1u) << "one change: the track";
  EXPECT_EQ(client.changes[0].values.keys(), QStringList{"Metadata"});
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
  client.player("Seek", {qlonglong{20'000'000}});
  ASSERT_TRUE(QTest::qWaitFor([&] { return client.seeks.size() == 3; }, 2000));
  EXPECT_GE(client.seeks[2], 20'000'000);
  EXPECT_LT(client.seeks[2], 21'000'000);
  // Pausing is a change of state, not a jump.
  const size_t changes = client.changes.size();
  bar->button(TransportBar::Pause)->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return client.changes.size() > changes; }, 2000));
  EXPECT_EQ(client.changes.back().values.value("PlaybackStatus").toString(), "Paused");
  EXPECT_TRUE(client.changes.back().values.value("CanPlay").toBool());
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
  EXPECT_EQ(client.get(kRoot, "Identity").toString(), "Velmar");

  TestDisc disc(counterDisc({75, 75}));
  const struct {
    QString uri;
    std::string refusal;  // empty: opened
  } uris[] = {
      {"http://example.invalid/disc.cue", "no se admiten direcciones «http://»"},
      {"file:///no/such/disc.cue", "no existe"},
      {"file://otro-equipo/disc.cue", "otro equipo"},
      {QUrl::fromLocalFile(QString::fromStdString(disc.cue)).toString(QUrl::FullyEncoded), ""},
  };
  for (const auto& u : uris) {
    const size_t from = trace->lines.size();
    const QDBusMessage reply = client.player("OpenUri", {u.uri});
    if (u.refusal.empty()) {
      EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
      ASSERT_TRUE(QTest::qWaitFor([&] { return trace->since(from).size() >= 4; }, 2000));
      const std::vector<std::string> opened = trace->since(from);
      EXPECT_EQ(std::vector<std::string>(opened.begin(), opened.begin() + 4),
                (std::vector<std::string>{"Close", "FileName=" + disc.cue, "Open", "Play"}));
    } else {
      EXPECT_EQ(reply.errorName(), "org.freedesktop.DBus.Error.InvalidArgs");
      EXPECT_NE(reply.errorMessage().toStdString().find(u.refusal), std::string::npos)
          << reply.errorMessage().toStdString();
      QTest::qWait(1);
      EXPECT_TRUE(trace->since(from).empty()) << u.uri.toStdString();
    }
  }

  form->hide();
  EXPECT_EQ(client.call(kRoot, "Raise").type(), QDBusMessage::ReplyMessage);
  EXPECT_TRUE(form->isVisible());

  EXPECT_EQ(client.call(kRoot, "Quit").type(), QDBusMessage::ReplyMessage);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->unloaded(); }, 2000));
  EXPECT_EQ(trace->lines.back(), "Close");
  EXPECT_EQ(device->log().back(), "close");
  EXPECT_FALSE(form->isVisible());
}
