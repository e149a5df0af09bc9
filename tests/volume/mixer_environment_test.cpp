#include <gtest/gtest.h>

#include "volume/FakeMixer.h"
#include "volume/modVolumen.h"

// Every window the suite builds runs the volume start-up. So that no test
// blocks on a message box or touches the machine's own mixer, the suite
// starts with an in-memory mixer and a silent presenter; tests that need
// something else install it themselves.
namespace {
struct QuietMixer : ::testing::Environment {
  void SetUp() override {
    modVolumen::SetMixerApi(std::make_unique<FakeMixer>());
    modVolumen::SetPresenter([](QWidget*, const QString&, const QString&) {});
  }
  void TearDown() override { modVolumen::SetMixerApi(nullptr); }
};
[[maybe_unused]] auto* const quiet = ::testing::AddGlobalTestEnvironment(new QuietMixer);
}  // namespace
