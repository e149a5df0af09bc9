#include <gtest/gtest.h>

#include <QTest>
#include <array>
#include <atomic>
#include <mutex>

#include "volume/AsyncMixer.h"
#include "volume/FakeMixer.h"

namespace {

// The mixer double behind a gate the test can hold shut to stand for a
// stalled server: a call that reaches the gate waits until it opens.
struct Gate {
  FakeMixer fake;
  std::mutex shut;
  std::atomic<int> waiting = 0;  // calls held at the gate
  template <class Call>
  mixer::Result pass(Call call) {
    ++waiting;
    const std::lock_guard lock(shut);
    --waiting;
    return call();
  }
};

struct GatedMixer final : mixer::Api {
  std::shared_ptr<Gate> g;
  explicit GatedMixer(std::shared_ptr<Gate> gate) : g(std::move(gate)) {}
  mixer::Result open(mixer::Handle& h, uint32_t d) override {
    return g->pass([&] { return g->fake.open(h, d); });
  }
  mixer::Result getLineInfo(mixer::Handle h, mixer::Line& l, uint32_t f) override {
    return g->pass([&] { return g->fake.getLineInfo(h, l, f); });
  }
  mixer::Result getLineControls(mixer::Handle h, mixer::LineControls& r, uint32_t f) override {
    return g->pass([&] { return g->fake.getLineControls(h, r, f); });
  }
  mixer::Result setControlDetails(mixer::Handle h, const mixer::ControlDetails& d,
                                  uint32_t f) override {
    return g->pass([&] { return g->fake.setControlDetails(h, d, f); });
  }
  mixer::Result close(mixer::Handle h) override {
    g->fake.calls.push_back({"close", h, 0, 0, 0});
    return g->fake.close(h);
  }
};

// The layer over the gated double, with the speakers' volume opened and
// looked up as the load does.
struct Layer {
  std::shared_ptr<Gate> gate = std::make_shared<Gate>();
  AsyncMixer layer{[g = gate] { return std::make_unique<GatedMixer>(g); },
                   AsyncMixer::Timing{200, 50, 100}};
  mixer::Handle handle = 0;
  std::array<mixer::Control, 1> control{};

  Layer() {
    EXPECT_EQ(layer.open(handle, 0), mixer::kOk);
    mixer::Line line{.componentType = mixer::kComponentSpeakers};
    EXPECT_EQ(layer.getLineInfo(handle, line, mixer::kLineInfoByComponentType), mixer::kOk);
    mixer::LineControls request{line.lineId, mixer::kControlVolume, control};
    EXPECT_EQ(layer.getLineControls(handle, request, mixer::kLineControlsOneByType), mixer::kOk);
  }
  mixer::Result set(uint32_t value) {
    return layer.setControlDetails(handle, {.controlId = control[0].controlId, .value = value}, 0);
  }
  // The calls that reached the double once the layer is idle: name=value.
  std::string calls() {
    EXPECT_TRUE(layer.idle(5000));
    std::string out;
    for (const auto& [name, h, flags, id, value] : gate->fake.calls)
      out += name + (name == "set" ? "=" + std::to_string(value) : "") + " ";
    return out;
  }
};

}  // namespace

// While a write is held by the server, later moves return at once and only
// the last of them is written after it. A write the server refuses (its mixer
// died with it) is made again on a mixer opened and looked up afresh.
TEST(AsyncMixer, WritesDuringAStallCollapseAndAFailedOneIsMadeAgainOnAFreshMixer) {
  Layer l;
  std::unique_lock stalled(l.gate->shut);
  EXPECT_EQ(l.set(100), mixer::kOk);
  ASSERT_TRUE(QTest::qWaitFor([&] { return l.gate->waiting > 0; }, 5000));
  for (uint32_t v = 200; v <= 5000; v += 100) EXPECT_EQ(l.set(v), mixer::kOk);
  stalled.unlock();
  EXPECT_EQ(l.calls(), "open line controls set=100 set=5000 ");

  l.gate->fake.calls.clear();
  l.gate->fake.fail = {{"set", mixer::kError}};
  EXPECT_EQ(l.set(7), mixer::kOk);
  ASSERT_TRUE(l.layer.idle(5000));
  l.gate->fake.fail.clear();
  EXPECT_EQ(l.set(8), mixer::kOk);
  EXPECT_EQ(l.calls(), "set=7 close open line controls set=7 close open line controls set=8 ");
}
