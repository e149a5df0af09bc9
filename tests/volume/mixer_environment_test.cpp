#include <gtest/gtest.h>

#include <memory>

#include "volume/FakeMixer.h"
#include "volume/modVolumen.h"

// Every window the tests build runs the volume start-up. So that no test
// blocks on a message box or touches the machine's real mixer, the whole
// suite starts with a working in-memory mixer and a message presenter that
// only counts; tests that need something else install it themselves.
namespace {
class QuietMixerEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    modVolumen::SetMixerApi(std::make_unique<FakeMixer>());
    modVolumen::SetPresenter([](QWidget*, const QString&, const QString&) {});
  }
  void TearDown() override { modVolumen::SetMixerApi(nullptr); }
};

[[maybe_unused]] ::testing::Environment* const quietMixer =
    ::testing::AddGlobalTestEnvironment(new QuietMixerEnvironment);
}  // namespace
