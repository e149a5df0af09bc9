#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "volume/Mixer.h"

// A mixer with one speakers line carrying one volume control, behind the same
// calls as the ALSA layer. It checks requests the way a mixer would (handle,
// flags, identifiers), records every call, and can be told to fail any call
// with a given result code. State is shared so a test keeps its view of it
// after handing the mixer over.
class FakeMixer final : public mixer::Api {
 public:
  static constexpr mixer::Handle kHandle = 7;
  static constexpr uint32_t kLineId = 3;
  static constexpr uint32_t kControlId = 9;

  struct Call {
    std::string name;  // "open", "line", "controls", "set", "close"
    mixer::Handle handle = 0;
    uint32_t flags = 0;
    uint32_t arg = 0;  // device, component type, control type or control id
    uint32_t value = 0;
    uint32_t channels = 0;
    bool operator==(const Call&) const = default;
  };

  struct State {
    // Result to return instead of doing the call, by call name; 0 = do it.
    std::map<std::string, mixer::Result> fail;
    std::vector<Call> calls;
    std::vector<mixer::Handle> open;
    // The volume each channel holds, 0 to 65535; starts at half.
    uint32_t volume = 32768;

    std::vector<Call> named(const std::string& name) const {
      std::vector<Call> out;
      for (const Call& c : calls)
        if (c.name == name) out.push_back(c);
      return out;
    }
    std::vector<uint32_t> writes() const {
      std::vector<uint32_t> out;
      for (const Call& c : named("set")) out.push_back(c.value);
      return out;
    }
  };

  explicit FakeMixer(std::shared_ptr<State> state = std::make_shared<State>())
      : state_(std::move(state)) {}

  const std::shared_ptr<State>& state() const { return state_; }

  mixer::Result open(mixer::Handle& handle, uint32_t device) override {
    state_->calls.push_back({"open", 0, 0, device});
    if (auto r = forced("open")) return r;
    if (device != 0) return mixer::kBadDeviceId;
    handle = kHandle + static_cast<mixer::Handle>(state_->named("open").size()) - 1;
    state_->open.push_back(handle);
    return mixer::kOk;
  }

  mixer::Result getLineInfo(mixer::Handle handle, mixer::Line& line, uint32_t flags) override {
    state_->calls.push_back({"line", handle, flags, line.componentType});
    if (auto r = forced("line")) return r;
    if (!isOpen(handle)) return mixer::kInvalidHandle;
    if (flags != mixer::kLineInfoByComponentType) return mixer::kInvalidFlag;
    if (line.componentType != mixer::kComponentSpeakers) return mixer::kInvalidLine;
    line.lineId = kLineId;
    line.channels = 2;
    line.controls = 1;
    line.name = "Master";
    return mixer::kOk;
  }

  mixer::Result getLineControls(mixer::Handle handle, mixer::LineControls& request,
                                uint32_t flags) override {
    state_->calls.push_back({"controls", handle, flags, request.controlType});
    if (auto r = forced("controls")) return r;
    if (!isOpen(handle)) return mixer::kInvalidHandle;
    if (flags != mixer::kLineControlsOneByType) return mixer::kInvalidFlag;
    if (request.controls.size() != 1) return mixer::kInvalidParam;
    if (request.lineId != kLineId) return mixer::kInvalidLine;
    if (request.controlType != mixer::kControlVolume) return mixer::kInvalidControl;
    request.controls[0] = {kControlId, mixer::kControlVolume, 0, mixer::kVolumeMax, "Master"};
    return mixer::kOk;
  }

  mixer::Result setControlDetails(mixer::Handle handle, const mixer::ControlDetails& details,
                                  uint32_t flags) override {
    state_->calls.push_back(
        {"set", handle, flags, details.controlId, details.value, details.channels});
    if (auto r = forced("set")) return r;
    if (!isOpen(handle)) return mixer::kInvalidHandle;
    if (flags != mixer::kSetDetailsValue) return mixer::kInvalidFlag;
    if (details.controlId != kControlId) return mixer::kInvalidControl;
    if (details.channels != 1 || details.multipleItems != 0) return mixer::kInvalidParam;
    if (details.value > mixer::kVolumeMax) return mixer::kInvalidValue;
    state_->volume = details.value;
    return mixer::kOk;
  }

  mixer::Result close(mixer::Handle handle) override {
    state_->calls.push_back({"close", handle});
    auto& open = state_->open;
    const auto it = std::find(open.begin(), open.end(), handle);
    if (it == open.end()) return mixer::kInvalidHandle;
    open.erase(it);
    return mixer::kOk;
  }

 private:
  mixer::Result forced(const std::string& name) const {
    const auto it = state_->fail.find(name);
    return it == state_->fail.end() ? mixer::kOk : it->second;
  }
  bool isOpen(mixer::Handle handle) const {
    return std::find(state_->open.begin(), state_->open.end(), handle) != state_->open.end();
  }

  std::shared_ptr<State> state_;
};
