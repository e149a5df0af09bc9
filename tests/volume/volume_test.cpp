#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QSlider>
#include <QTemporaryFile>
#include <QTest>
#include <QWheelEvent>
#include <functional>

#include "support/PulseServer.h"
#include "support/TestWindow.h"
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
  std::unique_ptr<TestWindow> w;

  void SetUp() override {
    modVolumen::SetMixerApi(std::unique_ptr<FakeMixer>(mixer));
    modVolumen::SetPresenter([this](QWidget* parent, const QString& caption, const QString& text) {
      messages << caption + '|' + text + '|' + (parent->isVisible() ? "shown" : "hidden");
    });
  }
  void TearDown() override { quiet(); }
  QSlider& load() {
    w = std::make_unique<TestWindow>();
    return *w->form->Slider1;
  }
  // The write a user move to slider value `v` makes on a working mixer.
  static Call setAt(int v) { return {"set", 7, 0, FakeMixer::kControlId, 65535 - v}; }
};

TEST_F(Volume, LoadFindsTheSpeakersVolumeAndEveryUserMoveWritesIt) {
  QSlider& s = load();
  w->form->show();
  s.setValue(30000);  // from code, as at load: no write
  EXPECT_EQ(mixer->calls, (std::vector<Call>{{"open", 0, 0, 0, 0},
                                             {"line", 7, 3, mixer::kComponentSpeakers, 0},
                                             {"controls", 7, 2, mixer::kControlVolume, 3}}));

  // Top (0) is loudest, bottom (65535) silent. Each move starts in the middle,
  // where the thumb is at the slider's centre.
  const QPoint mid = s.rect().center();
  const std::pair<const char*, std::function<void()>> gestures[] = {
      {"home key", [&] { QTest::keyClick(&s, Qt::Key_Home); }},
      {"end key", [&] { QTest::keyClick(&s, Qt::Key_End); }},
      {"arrow key", [&] { QTest::keyClick(&s, Qt::Key_Down); }},
      {"page key", [&] { QTest::keyClick(&s, Qt::Key_PageUp); }},
      {"click on the track",
       [&] { QTest::mouseClick(&s, Qt::LeftButton, {}, QPoint(mid.x() - 5, 1)); }},
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
  const auto config = pulse::unreachableAlsa();
  QTemporaryFile err;
  ASSERT_TRUE(err.open());
  qputenv("ALSA_CONFIG_PATH", config->fileName().toLocal8Bit());
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

// The real ALSA mixer of the private PulseAudio server (with-pulse.sh).
using PulseVolume = Volume;

TEST_F(PulseVolume, TheSliderSetsTheSinkVolumeFromBottomToTop) {
  if (!pulse::privateServer())
    GTEST_SKIP() << "runs under with-pulse.sh, never on the desktop's own mixer";
  modVolumen::SetMixerApi(nullptr);
  QSlider& s = load();
  w->form->show();
  QTest::keyClick(&s, Qt::Key_End);
  EXPECT_EQ(pulse::sinkShows(0, 5000), 0) << "bottom";
  QTest::mouseClick(&s, Qt::MiddleButton, {}, s.rect().center());  // the thumb jumps there
  EXPECT_NEAR(pulse::sinkShows(65535 - s.value(), 5000), 50, 5) << "middle";
  QTest::keyClick(&s, Qt::Key_Home);
  EXPECT_EQ(pulse::sinkShows(65535, 5000), 100) << "top";
}

}  // namespace
