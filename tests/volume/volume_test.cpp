#include <gtest/gtest.h>

#include <QApplication>
#include <QSlider>
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
};

TEST_F(Volume, LoadFindsTheSpeakersVolumeAndEveryUserMoveWritesIt) {
  QSlider& s = load();
  w->form->show();
  s.setValue(30000);  // from code, as at load: no write
  EXPECT_EQ(mixer->calls, (std::vector<Call>{{"open", 0, 0, 0, 0},
                                             {"line", 7, 3, mixer::kComponentSpeakers, 0},
                                             {"controls", 7, 2, mixer::kControlVolume, 3}}));

  // Top (0) is loudest, bottom (65535) silent. Each move starts in the middle.
  const QPoint mid = s.rect().center();
  const std::pair<const char*, std::function<void()>> gestures[] = {
      {"end key", [&] { QTest::keyClick(&s, Qt::Key_End); }},
      {"wheel",
       [&] {
         QWheelEvent e({}, {}, {}, {0, 120}, {}, {}, Qt::NoScrollPhase, false);
         QApplication::sendEvent(&s, &e);
       }},
      {"drag: a write on each move and on the release",
       [&] {
         QTest::mousePress(&s, Qt::LeftButton, {}, mid);
         QTest::mouseMove(&s, {mid.x(), 1});
         QTest::mouseRelease(&s, Qt::LeftButton, {}, {mid.x(), 1});
       }},
  };
  for (const auto& [gesture, act] : gestures) {
    s.setValue(32768);
    mixer->calls.clear();
    act();
    ASSERT_FALSE(mixer->calls.empty()) << gesture;
    const Call last{"set", 7, 0, FakeMixer::kControlId, 65535 - s.value()};
    EXPECT_EQ(mixer->calls.back(), last) << gesture;
  }
  EXPECT_EQ(mixer->calls.size(), 2u) << "the drag's move and its release";
}

// Only a mixer that does not open is reported, once, before the window shows;
// later moves still try the mixer.
TEST_F(Volume, OnlyAMixerThatDoesNotOpenIsReported) {
  // The failing call, the control found at load (the one a move writes),
  // LastMixerResult after the move.
  const std::tuple<std::string, uint32_t, mixer::Result> cases[] = {
      {"open", 0, mixer::kInvalidHandle},
      {"line", 0, mixer::kInvalidControl},
      {"controls", 0, mixer::kInvalidControl},
      {"set", FakeMixer::kControlId, mixer::kError}};
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
    EXPECT_EQ(messages.join(""), failing == "open"
                                     ? "Velmar|No se pudo inicializar el control de volumen.|hidden"
                                     : "");
  }
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
