#pragma once

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "volume/Mixer.h"

// The test double behind the mixer calls, for where no sound system can run:
// a mixer with one speakers line carrying one volume control. It records
// every call, refuses a wrong handle or control identifier as a mixer would,
// and fails any call named in `fail` with the given code. State is shared so
// a test keeps its view after handing the mixer over.
class FakeMixer final : public mixer::Api {
 public:
  static constexpr mixer::Handle kHandle = 7;
  static constexpr uint32_t kControlId = 9;

  struct Call {
    std::string name;  // "open", "line", "controls", "set", "close"
    mixer::Handle handle = 0;
    uint32_t flags = 0, arg = 0, value = 0;  // arg: type asked for, or control id
    bool operator==(const Call&) const = default;
    friend void PrintTo(const Call& c, std::ostream* os) {
      *os << c.name << '(' << c.handle << ", flags " << c.flags << ", " << c.arg << ", " << c.value
          << ')';
    }
  };
  struct State {
    std::map<std::string, mixer::Result> fail;
    std::vector<Call> calls;
    bool open = false;
    std::vector<Call> sets() const {
      std::vector<Call> out;
      for (const Call& c : calls)
        if (c.name == "set") out.push_back(c);
      return out;
    }
  };

  explicit FakeMixer(std::shared_ptr<State> s = std::make_shared<State>()) : s_(std::move(s)) {}

  mixer::Result open(mixer::Handle& handle, uint32_t device) override {
    if (auto r = record({"open", 0, 0, device})) return r;
    handle = kHandle;
    s_->open = true;
    return mixer::kOk;
  }
  mixer::Result getLineInfo(mixer::Handle h, mixer::Line& line, uint32_t flags) override {
    if (auto r = record({"line", h, flags, line.componentType})) return r;
    line.lineId = 3;
    return line.componentType == mixer::kComponentSpeakers ? mixer::kOk : mixer::kInvalidLine;
  }
  mixer::Result getLineControls(mixer::Handle h, mixer::LineControls& request,
                                uint32_t flags) override {
    if (auto r = record({"controls", h, flags, request.controlType})) return r;
    request.controls[0] = {kControlId, request.controlType, 0, mixer::kVolumeMax, "Master"};
    return request.lineId == 3 ? mixer::kOk : mixer::kInvalidLine;
  }
  mixer::Result setControlDetails(mixer::Handle h, const mixer::ControlDetails& d,
                                  uint32_t flags) override {
    if (auto r = record({"set", h, flags, d.controlId, d.value})) return r;
    if (d.channels != 1 || d.multipleItems != 0) return mixer::kInvalidParam;
    return d.controlId == kControlId ? mixer::kOk : mixer::kInvalidControl;
  }
  mixer::Result close(mixer::Handle h) override {
    s_->calls.push_back({"close", h});
    s_->open = false;
    return mixer::kOk;
  }

 private:
  // Records the call; non-zero when it must fail (forced, or a bad handle).
  mixer::Result record(const Call& c) {
    s_->calls.push_back(c);
    const auto forced = s_->fail.find(c.name);
    if (forced != s_->fail.end()) return forced->second;
    if (c.name != "open" && !(s_->open && c.handle == kHandle)) return mixer::kInvalidHandle;
    return mixer::kOk;
  }
  std::shared_ptr<State> s_;
};
