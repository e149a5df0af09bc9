#include <gtest/gtest.h>

#include <array>
#include <condition_variable>
#include <mutex>

#include "volume/AsyncMixer.h"
#include "volume/FakeMixer.h"

namespace {

using Call = FakeMixer::Call;

// The mixer double behind the layer, with a gate the test holds shut to
// stand for a stalled server: a call that reaches it waits until the gate
// opens.
class GatedMixer final : public mixer::Api {
 public:
  struct Shared {
    FakeMixer fake;
    std::mutex m;
    std::condition_variable cv;
    bool open = true;
    int waiting = 0;  // calls held at the gate
    void pass() {
      std::unique_lock lock(m);
      ++waiting;
      cv.notify_all();
      cv.wait(lock, [&] { return open; });
      --waiting;
    }
    void shut() {
      std::lock_guard lock(m);
      open = false;
    }
    void release() {
      std::lock_guard lock(m);
      open = true;
      cv.notify_all();
    }
    bool held() {
      std::unique_lock lock(m);
      return cv.wait_for(lock, std::chrono::seconds(5), [&] { return waiting > 0; });
    }
  };
  explicit GatedMixer(std::shared_ptr<Shared> s) : s_(std::move(s)) {}

  mixer::Result open(mixer::Handle& h, uint32_t device) override {
    s_->pass();
    return s_->fake.open(h, device);
  }
  mixer::Result getLineInfo(mixer::Handle h, mixer::Line& line, uint32_t flags) override {
    s_->pass();
    return s_->fake.getLineInfo(h, line, flags);
  }
  mixer::Result getLineControls(mixer::Handle h, mixer::LineControls& r, uint32_t flags) override {
    s_->pass();
    return s_->fake.getLineControls(h, r, flags);
  }
  mixer::Result setControlDetails(mixer::Handle h, const mixer::ControlDetails& d,
                                  uint32_t flags) override {
    s_->pass();
    return s_->fake.setControlDetails(h, d, flags);
  }
  mixer::Result close(mixer::Handle h) override {
    s_->fake.calls.push_back({"close", h, 0, 0, 0});
    return s_->fake.close(h);
  }

 private:
  std::shared_ptr<Shared> s_;
};

struct Layer {
  std::shared_ptr<GatedMixer::Shared> real = std::make_shared<GatedMixer::Shared>();
  AsyncMixer layer{[r = real] { return std::make_unique<GatedMixer>(r); },
                   AsyncMixer::Timing{200, 50, 100}};
  mixer::Handle handle = 0;
  uint32_t control = 0;

  // Opens the mixer and looks the speakers' volume up, as the load does.
  void load() {
    ASSERT_EQ(layer.open(handle, 0), mixer::kOk);
    mixer::Line line;
    line.componentType = mixer::kComponentSpeakers;
    ASSERT_EQ(layer.getLineInfo(handle, line, mixer::kLineInfoByComponentType), mixer::kOk);
    std::array<mixer::Control, 1> buffer{};
    mixer::LineControls request;
    request.lineId = line.lineId;
    request.controlType = mixer::kControlVolume;
    request.controls = buffer;
    ASSERT_EQ(layer.getLineControls(handle, request, mixer::kLineControlsOneByType), mixer::kOk);
    control = buffer.front().controlId;
  }
  mixer::Result set(uint32_t value, uint32_t channels = 1, uint32_t flags = 0) {
    mixer::ControlDetails d;
    d.controlId = control;
    d.channels = channels;
    d.value = value;
    return layer.setControlDetails(handle, d, flags);
  }
  // The writes that reached the real layer, by value.
  std::vector<uint32_t> writes() {
    EXPECT_TRUE(layer.idle(5000));
    std::vector<uint32_t> out;
    for (const Call& c : real->fake.calls)
      if (std::get<0>(c) == "set") out.push_back(std::get<4>(c));
    return out;
  }
};

}  // namespace

// While a write is held by the server, later moves return at once and only
// the last of them is written after it.
TEST(AsyncMixer, WritesWhileOneIsHeldCollapseIntoTheLast) {
  Layer l;
  l.load();
  l.real->shut();
  EXPECT_EQ(l.set(100), mixer::kOk);
  ASSERT_TRUE(l.real->held());
  for (uint32_t v = 200; v <= 5000; v += 100) EXPECT_EQ(l.set(v), mixer::kOk);
  l.real->release();
  EXPECT_EQ(l.writes(), (std::vector<uint32_t>{100, 5000}));
}

// A write the server refuses (its mixer died with it) is made again on a
// mixer opened and looked up afresh.
TEST(AsyncMixer, AWriteThatFailsIsMadeAgainOnAFreshMixer) {
  Layer l;
  l.load();
  l.real->fake.calls.clear();
  l.real->fake.fail = {{"set", mixer::kError}};
  EXPECT_EQ(l.set(7), mixer::kOk);
  ASSERT_TRUE(l.layer.idle(5000));
  l.real->fake.fail.clear();
  EXPECT_EQ(l.set(8), mixer::kOk);
  ASSERT_TRUE(l.layer.idle(5000));
  std::vector<std::string> names;
  for (const Call& c : l.real->fake.calls) names.push_back(std::get<0>(c));
  EXPECT_EQ(names, (std::vector<std::string>{"set", "close", "open", "line", "controls", "set",
                                             "close", "open", "line", "controls", "set"}));
  EXPECT_EQ(std::get<4>(l.real->fake.calls.back()), 8u);
}
