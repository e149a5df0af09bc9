#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSlider>
#include <QTemporaryFile>
#include <QTest>
#include <cmath>
#include <memory>
#include <optional>

#include "app/frmVelmar.h"
#include "disc/VirtualCdDevice.h"
#include "support/ManualClock.h"
#include "volume/AlsaMixer.h"
#include "volume/SliderInput.h"
#include "volume/modVolumen.h"

// The volume path through the real ALSA library. Without a sound system the
// open must fail quietly; against a private PulseAudio server with a null
// sink (tests/support/with-pulse.sh) the slider must set the sink's volume.

namespace {

// Points ALSA at a configuration of its own for the life of the object.
class AlsaConfig {
 public:
  explicit AlsaConfig(const QByteArray& text) {
    file_.setFileTemplate(QDir::tempPath() + QStringLiteral("/velmar-alsa-XXXXXX.conf"));
    EXPECT_TRUE(file_.open());
    file_.write(text);
    file_.flush();
    previous_ = qgetenv("ALSA_CONFIG_PATH");
    hadPrevious_ = qEnvironmentVariableIsSet("ALSA_CONFIG_PATH");
    qputenv("ALSA_CONFIG_PATH", file_.fileName().toLocal8Bit());
  }
  ~AlsaConfig() {
    if (hadPrevious_)
      qputenv("ALSA_CONFIG_PATH", previous_);
    else
      qunsetenv("ALSA_CONFIG_PATH");
  }

 private:
  QTemporaryFile file_;
  QByteArray previous_;
  bool hadPrevious_ = false;
};

// Collects what is written on standard error (fd 2) while it lives.
class StderrCapture {
 public:
  StderrCapture() {
    EXPECT_TRUE(file_.open());
    fflush(stderr);
    saved_ = dup(2);
    dup2(file_.handle(), 2);
  }
  ~StderrCapture() { restore(); }
  QByteArray text() {
    restore();
    file_.seek(0);
    return file_.readAll();
  }

 private:
  void restore() {
    if (saved_ < 0) return;
    fflush(stderr);
    dup2(saved_, 2);
    ::close(saved_);
    saved_ = -1;
  }
  QTemporaryFile file_;
  int saved_ = -1;
};

class AlsaVolume : public ::testing::Test {
 protected:
  std::vector<QString> messages;
  ManualClock clock;
  std::unique_ptr<frmVelmar> form;

  void SetUp() override {
    modVolumen::SetMixerApi(nullptr);  // the ALSA layer
    modVolumen::SetPresenter([this](QWidget*, const QString& caption, const QString& text) {
      messages.push_back(caption + QStringLiteral(": ") + text);
    });
  }
  void TearDown() override {
    form.reset();
    modVolumen::SetMixerApi(nullptr);
    modVolumen::SetPresenter([](QWidget*, const QString&, const QString&) {});
  }
  QSlider& load() {
    form = std::make_unique<frmVelmar>(
        std::make_unique<VirtualCdDevice>(threeTrackDisc(), clock.clock()));
    slider_input::designRange(*form->Slider1);
    return *form->Slider1;
  }
};

TEST_F(AlsaVolume, WithoutASoundSystemTheUserIsToldOnceAndALSAStaysQuiet) {
  // No card at all, and a sound server that is not running.
  const QByteArray configs[] = {
      "ctl.!default { type hw card 31 }\n",
      "ctl.!default { type pulse server \"unix:/nonexistent/velmar/native\" }\n",
  };
  for (const QByteArray& config : configs) {
    SCOPED_TRACE(config.toStdString());
    messages.clear();
    AlsaConfig alsa(config);
    StderrCapture err;
    QSlider& s = load();
    const QByteArray printed = err.text();
    EXPECT_EQ(printed.indexOf("ALSA"), -1) << printed.toStdString();
    EXPECT_EQ(messages,
              std::vector<QString>{"Velmar: No se pudo inicializar el control de volumen."});
    EXPECT_EQ(modVolumen::MixerHandle, 0u);
    EXPECT_NE(modVolumen::LastMixerResult, mixer::kOk);

    form->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->activated(); }, 2000));
    slider_input::key(s, Qt::Key_End);
    slider_input::wheel(s, 1);
    EXPECT_EQ(modVolumen::LastMixerResult, mixer::kInvalidHandle);
    EXPECT_EQ(messages.size(), 1u);
    form.reset();
  }
}

TEST(AlsaMixerCalls, RejectWhatNoOpenMixerOffers) {
  AlsaMixer alsa;
  mixer::Line line;
  line.componentType = mixer::kComponentSpeakers;
  EXPECT_EQ(alsa.getLineInfo(0, line, mixer::kLineInfoByComponentType), mixer::kInvalidHandle);
  EXPECT_EQ(line.lineId, 0u);
  EXPECT_EQ(alsa.setControlDetails(0, {1, 1, 0, 100}, mixer::kSetDetailsValue),
            mixer::kInvalidHandle);
  EXPECT_EQ(alsa.close(0), mixer::kInvalidHandle);
  mixer::Handle h = 0;
  EXPECT_EQ(alsa.open(h, 1), mixer::kBadDeviceId);
  EXPECT_EQ(h, 0u);
  EXPECT_EQ(alsa.openCount(), 0u);
}

// ---- Against the private PulseAudio server ---------------------------------

bool underPrivateServer() {
  return qgetenv("PULSE_SERVER").contains("velmar-pulse") &&
         qEnvironmentVariableIsSet("ALSA_CONFIG_PATH");
}

QString pactl(const QStringList& args) {
  QProcess p;
  p.start(QStringLiteral("pactl"), args);
  if (!p.waitForFinished(10000) || p.exitCode() != 0) {
    ADD_FAILURE() << "pactl " << args.join(' ').toStdString() << " failed";
    return {};
  }
  return QString::fromLocal8Bit(p.readAllStandardOutput());
}

struct SinkVolume {
  std::vector<int> raw;      // per channel, 0 to 65536 (100 %)
  std::vector<int> percent;  // per channel, as pactl prints it
};

SinkVolume sinkVolume() {
  const QString out = pactl({"get-sink-volume", "nullsink"});
  SinkVolume v;
  static const QRegularExpression channel(QStringLiteral(":\\s*(\\d+)\\s*/\\s*(\\d+)%"));
  for (auto it = channel.globalMatch(out.section('\n', 0, 0)); it.hasNext();) {
    const auto m = it.next();
    v.raw.push_back(m.captured(1).toInt());
    v.percent.push_back(m.captured(2).toInt());
  }
  return v;
}

// The sink volume a write of `value` (0 to 65535) must give: the control's
// range here is 0 to 65536.
int expectedRaw(uint32_t value) {
  return static_cast<int>(std::lrint(value * 65536.0 / 65535.0));
}

// Waits (bounded) until every channel of the sink holds `raw`.
::testing::AssertionResult sinkReaches(int raw) {
  SinkVolume v;
  const bool ok = QTest::qWaitFor(
      [&] {
        v = sinkVolume();
        return v.raw.size() == 2 && v.raw[0] == raw && v.raw[1] == raw;
      },
      5000);
  if (ok) return ::testing::AssertionSuccess();
  auto failure = ::testing::AssertionFailure() << "sink volume expected " << raw << ", have";
  for (int r : v.raw) failure << ' ' << r;
  return failure;
}

// The sink volume each test starts from, neither end of the range.
constexpr int kStart = 20000;

class PulseVolume : public AlsaVolume {
 protected:
  void SetUp() override {
    if (!underPrivateServer())
      GTEST_SKIP() << "runs under tests/support/with-pulse.sh (never on the desktop's own mixer)";
    AlsaVolume::SetUp();
    pactl({"set-sink-volume", "nullsink", QString::number(kStart)});
    ASSERT_TRUE(sinkReaches(kStart));
  }
  static QByteArray remapped(const char* from, const char* to) {
    return "ctl.!default { type remap child { type pulse server \"" + qgetenv("PULSE_SERVER") +
           "\" } remap { \"iface=MIXER,name='Master Playback " + from + "'\" \"iface=MIXER,name='" +
           to + "'\" } }\n";
  }
};

TEST_F(PulseVolume, TheSliderSetsTheSinkVolumeFromBottomToTop) {
  QSlider& s = load();
  EXPECT_TRUE(messages.empty());
  EXPECT_NE(modVolumen::MixerHandle, 0u);
  EXPECT_EQ(modVolumen::VolumeControl.name, "Master");
  EXPECT_NE(modVolumen::VolumeControl.controlId, 0u);
  form->show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->activated(); }, 2000));
  QTest::qWait(100);
  EXPECT_TRUE(sinkReaches(kStart)) << "loading and showing the window leave the volume alone";

  slider_input::key(s, Qt::Key_End);  // thumb to the bottom
  ASSERT_EQ(s.value(), 65535);
  EXPECT_TRUE(sinkReaches(0));
  EXPECT_EQ(sinkVolume().percent, (std::vector<int>{0, 0}));

  // Drag the thumb to the middle of the track.
  const QRect handle = slider_input::handleRect(s);
  slider_input::drag(s, {{handle.center().x(), s.height() / 2}});
  EXPECT_NEAR(s.value(), 32768, 65536 * 0.08);
  EXPECT_TRUE(sinkReaches(expectedRaw(65535 - static_cast<uint32_t>(s.value()))));
  for (int p : sinkVolume().percent) EXPECT_NEAR(p, 50, 8);

  slider_input::key(s, Qt::Key_Home);  // thumb to the top
  ASSERT_EQ(s.value(), 0);
  EXPECT_TRUE(sinkReaches(65536));
  EXPECT_EQ(sinkVolume().percent, (std::vector<int>{100, 100}));

  // One page down from the top: 64535 written, mapped linearly.
  slider_input::key(s, Qt::Key_PageDown);
  EXPECT_TRUE(sinkReaches(expectedRaw(64535)));
  EXPECT_EQ(modVolumen::LastMixerResult, mixer::kOk);
}

TEST_F(PulseVolume, WithoutMasterTheFirstPlaybackVolumeIsUsed) {
  AlsaConfig alsa(remapped("Volume", "PCM Playback Volume"));
  load();
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(modVolumen::VolumeControl.name, "PCM");
  EXPECT_TRUE(
      modVolumen::SetVolumeControl(modVolumen::MixerHandle, modVolumen::VolumeControl, 16384));
  EXPECT_TRUE(sinkReaches(expectedRaw(16384)));
}

TEST_F(PulseVolume, AMixerWithoutPlaybackVolumeOpensSilentlyAndMovesDoNothing) {
  AlsaConfig alsa(remapped("Volume", "Master Capture Volume"));
  QSlider& s = load();
  EXPECT_TRUE(messages.empty()) << "an open mixer is not reported, volume control or not";
  EXPECT_NE(modVolumen::MixerHandle, 0u);
  EXPECT_EQ(modVolumen::VolumeControl.controlId, 0u);
  slider_input::key(s, Qt::Key_End);
  EXPECT_EQ(s.value(), 65535);
  EXPECT_EQ(modVolumen::LastMixerResult, mixer::kInvalidControl);
  QTest::qWait(100);
  EXPECT_TRUE(sinkReaches(kStart));
  EXPECT_TRUE(messages.empty());
}

TEST_F(PulseVolume, ClosingTheMixerEndsItsConnectionToTheServer) {
  const auto clients = [] { return pactl({"list", "short", "clients"}).count('\n'); };
  const auto before = clients();
  load();
  EXPECT_EQ(clients(), before + 1) << "the open mixer is one client of the server";
  form.reset();
  modVolumen::Shutdown();
  EXPECT_TRUE(QTest::qWaitFor([&] { return clients() == before; }, 5000));

  // Replacing the mixer layer (as at the end of the run) closes what it has
  // open.
  load();
  EXPECT_EQ(clients(), before + 1);
  form.reset();
  modVolumen::SetMixerApi(nullptr);
  EXPECT_TRUE(QTest::qWaitFor([&] { return clients() == before; }, 5000));
}

}  // namespace
