#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QTemporaryFile>
#include <QTest>
#include <QWheelEvent>
#include <functional>

#include "app/frmVelmar.h"
#include "disc/VirtualCdDevice.h"
#include "support/ManualClock.h"
#include "volume/FakeMixer.h"
#include "volume/modVolumen.h"

namespace {

using Call = FakeMixer::Call;

// Every window the test binary builds runs the volume start-up. So that none
// blocks on a message box or touches the machine's own mixer, each test starts
// with the mixer double and a silent presenter unless it installs others.
void quiet() {
  modVolumen::SetMixerApi(std::make_unique<FakeMixer>());
  modVolumen::SetPresenter([](QWidget*, const QString&, const QString&) {});
}
struct QuietMixer : ::testing::Environment {
  void SetUp() override { quiet(); }
};
[[maybe_unused]] auto* const kQuiet = ::testing::AddGlobalTestEnvironment(new QuietMixer);

class Volume : public ::testing::Test {
 protected:
  FakeMixer* mixer = new FakeMixer;
  QStringList messages;  // "caption|text|window shown or hidden"
  std::unique_ptr<frmVelmar> form;

  void SetUp() override {
    modVolumen::SetMixerApi(std::unique_ptr<FakeMixer>(mixer));
    modVolumen::SetPresenter([this](QWidget* parent, const QString& caption, const QString& text) {
      messages << caption + '|' + text + '|' + (parent->isVisible() ? "shown" : "hidden");
    });
  }
  void TearDown() override { quiet(); }
  QSlider& load() {
    form = std::make_unique<frmVelmar>(
        std::make_unique<VirtualCdDevice>(threeTrackDisc(), ManualClock().clock()));
    return *form->Slider1;
  }
  // The write a user move to slider value `v` makes on a working mixer.
  static Call setAt(int v) { return {"set", 7, 0, FakeMixer::kControlId, 65535 - v}; }
};

TEST_F(Volume, LoadFindsTheSpeakersVolumeAndEveryUserMoveWritesIt) {
  QSlider& s = load();
  form->show();
  s.setValue(30000);  // from code, as at load: no write
  EXPECT_EQ(mixer->calls, (std::vector<Call>{{"open", 0, 0, 0, 0},
                                             {"line", 7, 3, mixer::kComponentSpeakers, 0},
                                             {"controls", 7, 2, mixer::kControlVolume, 3}}));

  // Top (0) is loudest, bottom (65535) silent. Each move starts in the middle,
  // where the thumb is at the slider's centre.
  const QPoint mid = s.rect().center();
  QStyleOptionSlider opt;  // where the style puts the track across the slider
  opt.initFrom(&s);
  opt.orientation = Qt::Vertical;
  opt.tickPosition = s.tickPosition();
  const int x =
      s.style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, &s).center().x();
  const std::pair<const char*, std::function<void()>> gestures[] = {
      {"home key", [&] { QTest::keyClick(&s, Qt::Key_Home); }},
      {"end key", [&] { QTest::keyClick(&s, Qt::Key_End); }},
      {"arrow key", [&] { QTest::keyClick(&s, Qt::Key_Down); }},
      {"page key", [&] { QTest::keyClick(&s, Qt::Key_PageUp); }},
      {"click on the track", [&] { QTest::mouseClick(&s, Qt::LeftButton, {}, QPoint(x, 1)); }},
      {"wheel",
       [&] {
         QWheelEvent e({}, {}, {}, {0, 120}, {}, {}, Qt::NoScrollPhase, false);
         QApplication::sendEvent(&s, &e);
       }},
      {"drag",
       [&] {
         QTest::mousePress(&s, Qt::LeftButton, {}, mid);
         QTest::mouseMove(&s, {mid.x(), 1});
         QTest::mouseMove(&s, {mid.x(), s.height() / 3});
         QTest::mouseRelease(&s, Qt::LeftButton);
       }},
  };
  for (const auto& [gesture, act] : gestures) {
    SCOPED_TRACE(gesture);
    s.setValue(32768);
    mixer->calls.clear();
    act();
    ASSERT_FALSE(mixer->calls.empty());
    EXPECT_EQ(mixer->calls.back(), setAt(s.value()));
  }
  // The drag writes on each move (a scroll) and on the release (a click), alike.
  EXPECT_EQ(mixer->calls, (std::vector<Call>{setAt(0), setAt(s.value()), setAt(s.value())}));
}

// Only a mixer that does not open is reported, once, before the window shows;
// later moves still try the mixer.
TEST_F(Volume, OnlyAMixerThatDoesNotOpenIsReported) {
  // The failing call, the control found at load (the one a move writes),
  // LastMixerResult after the move.
  const std::tuple<std::string, uint32_t, mixer::Result> cases[] = {
      {"none", FakeMixer::kControlId, mixer::kOk},
      {"open", 0, mixer::kInvalidHandle},
      {"line", 0, mixer::kInvalidControl},
      {"controls", 0, mixer::kInvalidControl},
      {"set", FakeMixer::kControlId, mixer::kError}};
  const QStringList told{"Velmar|No se pudo inicializar el control de volumen.|hidden"};
  for (const auto& [failing, controlId, afterSet] : cases) {
    SCOPED_TRACE(failing);
    messages.clear();
    mixer->fail = {{failing, mixer::kError}};
    QSlider& s = load();
    mixer->calls.clear();
    QTest::keyClick(&s, Qt::Key_End);
    EXPECT_EQ(mixer->calls,
              (std::vector<Call>{{"set", failing == "open" ? 0 : 7, 0, controlId, 0}}));
    EXPECT_EQ(modVolumen::LastMixerResult, afterSet);
    EXPECT_EQ(messages, failing == "open" ? told : QStringList());
  }
}

// The real ALSA library with no reachable sound server.
TEST_F(Volume, WithoutASoundSystemTheUserIsToldOnceAndALSAStaysQuiet) {
  modVolumen::SetMixerApi(nullptr);
  const QByteArray savedConfig = qgetenv("ALSA_CONFIG_PATH");
  QTemporaryFile config, err;
  ASSERT_TRUE(config.open() &&
              config.write("ctl.!default { type pulse server \"unix:/nowhere\" }\n") > 0 &&
              config.flush() && err.open());
  qputenv("ALSA_CONFIG_PATH", config.fileName().toLocal8Bit());
  const int saved = dup(2);
  dup2(err.handle(), 2);
  QSlider& s = load();
  dup2(saved, 2);
  ::close(saved);
  err.seek(0);
  const QByteArray printed = err.readAll();
  EXPECT_FALSE(printed.contains("ALSA")) << printed.toStdString();
  EXPECT_EQ(messages.size(), 1);
  QTest::keyClick(&s, Qt::Key_End);
  EXPECT_EQ(modVolumen::LastMixerResult, mixer::kInvalidHandle);
  qputenv("ALSA_CONFIG_PATH", savedConfig);
}

// Waits (bounded) until pactl shows the null sink, on both channels, at what a
// write of `value` gives (0 to 65535 onto 0 to 65536); returns the percent shown.
int sinkPercentAfter(uint32_t value) {
  const QRegularExpression both(
      QString("left: %1 / +(\\d+)%.*right: %1 / +\\1%").arg(qRound(value * 65536.0 / 65535.0)));
  QRegularExpressionMatch m;
  const auto holds = [&] {
    QProcess p;
    p.start("pactl", {"get-sink-volume", "nullsink"});
    p.waitForFinished(10000);
    return (m = both.match(p.readAllStandardOutput())).hasMatch();
  };
  EXPECT_TRUE(QTest::qWaitFor(holds, 5000)) << both.pattern().toStdString();
  return m.captured(1).toInt();
}

// The real ALSA mixer of the private PulseAudio server (with-pulse.sh).
using PulseVolume = Volume;

TEST_F(PulseVolume, TheSliderSetsTheSinkVolumeFromBottomToTop) {
  if (!qgetenv("PULSE_SERVER").contains("velmar-pulse"))
    GTEST_SKIP() << "runs under with-pulse.sh, never on the desktop's own mixer";
  modVolumen::SetMixerApi(nullptr);
  QSlider& s = load();
  form->show();
  QTest::keyClick(&s, Qt::Key_End);
  EXPECT_EQ(sinkPercentAfter(0), 0) << "bottom";
  QTest::mouseClick(&s, Qt::MiddleButton, {}, s.rect().center());  // the thumb jumps there
  EXPECT_NEAR(sinkPercentAfter(65535 - s.value()), 50, 5) << "middle";
  QTest::keyClick(&s, Qt::Key_Home);
  EXPECT_EQ(sinkPercentAfter(65535), 100) << "top";
}

}  // namespace
