#include <gtest/gtest.h>
#include <unistd.h>

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTest>
#include <cmath>

#include "app/frmVelmar.h"
#include "disc/VirtualCdDevice.h"
#include "support/ManualClock.h"
#include "volume/SliderInput.h"
#include "volume/modVolumen.h"

// The volume path through the real ALSA library: without a sound system, and
// against a private PulseAudio server with a null sink (with-pulse.sh).
namespace {

class AlsaVolume : public ::testing::Test {
 protected:
  int messages = 0;
  ManualClock clock;
  std::unique_ptr<frmVelmar> form;
  std::vector<std::unique_ptr<QTemporaryFile>> configs;
  QByteArray savedConfig = qgetenv("ALSA_CONFIG_PATH");

  void SetUp() override {
    modVolumen::SetMixerApi(nullptr);  // the ALSA layer
    modVolumen::SetPresenter([this](QWidget*, const QString&, const QString&) { ++messages; });
  }
  void TearDown() override {
    form.reset();
    modVolumen::SetMixerApi(nullptr);
    qputenv("ALSA_CONFIG_PATH", savedConfig);
  }
  // Points ALSA at a configuration of its own. Each is a new file: ALSA
  // rereads its configuration only when the file's name or time changes.
  void useAlsaConfig(const QByteArray& text) {
    auto& file = configs.emplace_back(
        std::make_unique<QTemporaryFile>(QDir::tempPath() + "/velmar-alsa-XXXXXX.conf"));
    ASSERT_TRUE(file->open());
    file->write(text);
    file->flush();
    qputenv("ALSA_CONFIG_PATH", file->fileName().toLocal8Bit());
  }
  QSlider& load() {
    form = std::make_unique<frmVelmar>(
        std::make_unique<VirtualCdDevice>(threeTrackDisc(), clock.clock()));
    slider_input::designRange(*form->Slider1);
    return *form->Slider1;
  }
};

TEST_F(AlsaVolume, WithoutASoundSystemTheUserIsToldOnceAndALSAStaysQuiet) {
  for (const QByteArray& conf :
       {QByteArray("ctl.!default { type hw card 31 }\n"),  // no card
        QByteArray("ctl.!default { type pulse server \"unix:/nowhere\" }\n")}) {
    SCOPED_TRACE(conf.toStdString());
    messages = 0;
    useAlsaConfig(conf);
    QTemporaryFile err;  // standard error while the mixer opens
    ASSERT_TRUE(err.open());
    const int saved = dup(2);
    dup2(err.handle(), 2);
    QSlider& s = load();
    dup2(saved, 2);
    ::close(saved);
    err.seek(0);
    const QByteArray printed = err.readAll();
    EXPECT_FALSE(printed.contains("ALSA")) << printed.toStdString();
    EXPECT_EQ(messages, 1);
    EXPECT_EQ(modVolumen::MixerHandle, 0u);
    QTest::keyClick(&s, Qt::Key_End);
    EXPECT_EQ(modVolumen::LastMixerResult, mixer::kInvalidHandle);
    EXPECT_EQ(messages, 1);
  }
}

// ---- Against the private PulseAudio server ----

QString pactl(const QStringList& args) {
  QProcess p;
  p.start("pactl", args);
  EXPECT_TRUE(p.waitForFinished(10000) && p.exitCode() == 0) << args.join(' ').toStdString();
  return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// The null sink's volume, both channels alike, as {raw 0 to 65536, percent};
// {-1, -1} when the channels differ or pactl cannot tell.
std::pair<int, int> sinkVolume() {
  static const QRegularExpression channel(":\\s*(\\d+)\\s*/\\s*(\\d+)%");
  const QString line = pactl({"get-sink-volume", "nullsink"}).section('\n', 0, 0);
  std::vector<std::pair<int, int>> seen;
  for (auto it = channel.globalMatch(line); it.hasNext();) {
    const auto m = it.next();
    seen.emplace_back(m.captured(1).toInt(), m.captured(2).toInt());
  }
  return seen.size() == 2 && seen[0] == seen[1] ? seen[0] : std::pair{-1, -1};
}

// Waits (bounded) for the sink to hold the volume a write of `value` gives:
// 0 to 65535 mapped linearly onto the control's 0 to 65536.
::testing::AssertionResult sinkHolds(uint32_t value) {
  const int raw = static_cast<int>(std::lrint(value * 65536.0 / 65535.0));
  if (QTest::qWaitFor([&] { return sinkVolume().first == raw; }, 5000))
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "sink at " << sinkVolume().first << ", not " << raw;
}

class PulseVolume : public AlsaVolume {
 protected:
  static constexpr uint32_t kStart = 20000;  // the volume each test starts from
  void SetUp() override {
    if (!qgetenv("PULSE_SERVER").contains("velmar-pulse"))
      GTEST_SKIP() << "runs under with-pulse.sh, never on the desktop's own mixer";
    AlsaVolume::SetUp();
    pactl({"set-sink-volume", "nullsink", QString::number(sinkRaw(kStart))});
    ASSERT_TRUE(sinkHolds(kStart));
  }
  static int sinkRaw(uint32_t value) {
    return static_cast<int>(std::lrint(value * 65536.0 / 65535.0));
  }
};

TEST_F(PulseVolume, TheSliderSetsTheSinkVolumeFromBottomToTop) {
  const auto clients = [] { return pactl({"list", "short", "clients"}).count('\n'); };
  const auto before = clients();
  QSlider& s = load();
  EXPECT_EQ(clients(), before + 1) << "the open mixer is a client of the server";
  form->show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->activated(); }, 2000));
  EXPECT_EQ(messages, 0);
  EXPECT_EQ(modVolumen::VolumeControl.name, "Master");
  QTest::qWait(100);
  EXPECT_TRUE(sinkHolds(kStart)) << "loading and showing leave the volume alone";

  QTest::keyClick(&s, Qt::Key_End);
  EXPECT_TRUE(sinkHolds(0));
  EXPECT_EQ(sinkVolume().second, 0) << "bottom: 0 %";

  const int x = slider_input::thumb(s).center().x();
  slider_input::drag(s, slider_input::thumb(s).center(), {{x, s.height() / 2}});
  EXPECT_TRUE(sinkHolds(65535 - s.value()));
  EXPECT_NEAR(sinkVolume().second, 50, 5) << "middle: about 50 %";

  QTest::keyClick(&s, Qt::Key_Home);
  EXPECT_TRUE(sinkHolds(65535));
  EXPECT_EQ(sinkVolume().second, 100) << "top: 100 %";

  form.reset();
  modVolumen::Shutdown();  // as when the application quits
  EXPECT_TRUE(QTest::qWaitFor([&] { return clients() == before; }, 5000));
}

// Other shapes of mixer, made by renaming the server's controls: the first
// playback volume stands in for a missing "Master"; with no playback volume
// at all the mixer still opens, silently, and moves change nothing.
TEST_F(PulseVolume, WithoutMasterTheFirstPlaybackVolumeServesOrNothingDoes) {
  const auto renamed = [](const char* to) {
    return "ctl.!default { type remap child { type pulse server \"" + qgetenv("PULSE_SERVER") +
           "\" } remap { \"iface=MIXER,name='Master Playback Volume'\" \"iface=MIXER,name='" + to +
           "'\" } }\n";
  };
  useAlsaConfig(renamed("PCM Playback Volume"));
  QSlider& pcm = load();
  EXPECT_EQ(modVolumen::VolumeControl.name, "PCM");
  QTest::keyClick(&pcm, Qt::Key_End);
  EXPECT_TRUE(sinkHolds(0));

  pactl({"set-sink-volume", "nullsink", QString::number(sinkRaw(kStart))});
  useAlsaConfig(renamed("Master Capture Volume"));
  QSlider& none = load();
  EXPECT_NE(modVolumen::MixerHandle, 0u);
  EXPECT_EQ(modVolumen::VolumeControl.controlId, 0u);
  QTest::keyClick(&none, Qt::Key_End);
  EXPECT_EQ(modVolumen::LastMixerResult, mixer::kInvalidControl);
  QTest::qWait(100);
  EXPECT_TRUE(sinkHolds(kStart));
  EXPECT_EQ(messages, 0);
}

}  // namespace
