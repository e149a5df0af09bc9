#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSlider>
#include <functional>

#include "disc/CdioDevice.h"
#include "support/PulseServer.h"
#include "support/TestDisc.h"
#include "support/TestWindow.h"
#include "volume/AlsaMixer.h"
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
  void TearDown() override {
    w.reset();
    quiet();
  }
  QSlider& load() {
    w = std::make_unique<TestWindow>();
    return *w->form->Slider1;
  }
};

// Load finds the speakers' volume; a move from code writes nothing, a user's
// writes (top 0 is loudest, bottom 65535 silent). Only a mixer that
// does not open is reported, once, before the window shows; later moves still
// try the mixer.
TEST_F(Volume, EveryUserMoveWritesAndOnlyAMixerThatDoesNotOpenIsReported) {
  // The failing call, the control found at load (the one a move writes),
  // LastMixerResult after the move.
  const std::tuple<std::string, uint32_t, mixer::Result> cases[] = {
      {"", FakeMixer::kControlId, mixer::kOk},
      {"open", 0, mixer::kInvalidHandle},
      {"line", 0, mixer::kInvalidControl},
      {"controls", 0, mixer::kInvalidControl},
      {"set", FakeMixer::kControlId, mixer::kError}};
  for (const auto& [failing, controlId, afterSet] : cases) {
    SCOPED_TRACE(failing);
    messages.clear();
    mixer->fail = {{failing, mixer::kError}};  // "" fails nothing
    QSlider& s = load();
    if (failing.empty()) {
      EXPECT_EQ(mixer->calls, (std::vector<Call>{{"open", 0, 0, 0, 0},
                                                 {"line", 7, 3, mixer::kComponentSpeakers, 0},
                                                 {"controls", 7, 2, mixer::kControlVolume, 3}}));
    }
    mixer->calls.clear();
    s.setValue(30000);  // from code, as at load: no write
    QTest::keyClick(&s, Qt::Key_End);
    EXPECT_EQ(mixer->calls,
              (std::vector<Call>{{"set", failing == "open" ? 0 : 7, 0, controlId, 0}}));
    EXPECT_EQ(modVolumen::LastMixerResult, afterSet);
    EXPECT_EQ(messages.join(""), failing == "open"
                                     ? "Velmar|No se pudo inicializar el control de volumen.|hidden"
                                     : "");
  }
}

// Without a sound system the mixer fails quietly: none of ALSA's own lines
// reach the terminal.
TEST(AlsaMixer, WithoutASoundSystemALSAPrintsNothing) {
  const auto config = pulse::unreachableAlsa();
  qputenv("ALSA_CONFIG_PATH", config->fileName().toLocal8Bit());
  ::testing::internal::CaptureStderr();
  mixer::Handle h = 0;
  EXPECT_NE(AlsaMixer().open(h, 0), mixer::kOk);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  qunsetenv("ALSA_CONFIG_PATH");
}

// Run by ctest inside tests/support/with-pulse.sh: the real window plays an
// image through ALSA and moves the real ALSA mixer while the sound server
// stalls (SIGSTOP) or is killed and started again.
using PulseStall = Volume;

// Loaded during a stall, the window opens promptly without a false message,
// and slider moves return at once; after the server is killed and started
// again, moves reach the new one, from bottom to top. Replacing the layer
// while its thread is held (as the exit does with its static owner) does not
// wait for it.
TEST_F(PulseStall, AWindowLoadedDuringAStallOpensPromptlyAndItsVolumeFollowsTheServer) {
  if (!pulse::privateServer()) GTEST_SKIP() << "needs tests/support/with-pulse.sh";
  TestDisc disc(counterDisc({75 * 60}));
  const std::shared_ptr<void> closeFirst(nullptr, [&](void*) {  // before `disc` goes
    pulse::resume();
    w.reset();
  });
  modVolumen::SetMixerApi(nullptr);
  // The ms a call held this thread (the window's).
  const auto held = [](const std::function<void()>& call) {
    QElapsedTimer t;
    t.start();
    call();
    return t.elapsed();
  };
  const auto press = [&](Qt::Key key) {
    return held([&] { QTest::keyClick((*w)->Slider1, key); });
  };
  pulse::stall();
  const qint64 ms =
      held([&] { w = std::make_unique<TestWindow>(std::make_unique<CdioDevice>(disc.cue)); });
  std::printf("[ figure ] window loaded during a stall in %lld ms (mixer wait 1000 ms)\n",
              static_cast<long long>(ms));
  EXPECT_LT(ms, 3000);
  ASSERT_TRUE(w->activate());
  EXPECT_LT(press(Qt::Key_PageUp), 1000);
  // The open never finished: the server dies in the middle. The next move
  // opens the mixer on the new one; the sink shows what each move wrote.
  ASSERT_TRUE(pulse::restart());
  for (const Qt::Key key : {Qt::Key_End, Qt::Key_PageUp, Qt::Key_Home}) {
    press(key);
    const uint32_t v = modVolumen::VolumeForSlider((*w)->Slider1->value());
    EXPECT_NEAR(pulse::sinkShows(v, 10000), v * 100.0 / 65535, 1) << key;
  }
  EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
  pulse::stall();
  EXPECT_LT(press(Qt::Key_PageUp), 1000);
  EXPECT_LT(held([] { modVolumen::SetMixerApi(std::make_unique<FakeMixer>()); }), 1500);
}

}  // namespace
