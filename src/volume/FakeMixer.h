#pragma once

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "volume/Mixer.h"

// The test double behind the mixer calls, for where no sound system can run:
// one speakers line (id 3) carrying one volume control. It records every call
// but close as (name, handle, flags, type asked for or control id, line id or
// value), refuses a wrong handle, control or request as a mixer would, and
// fails any call named in `fail` with the given code.
class FakeMixer final : public mixer::Api {
 public:
  static constexpr mixer::Handle kHandle = 7;
  static constexpr uint32_t kControlId = 9;
  using Call = std::tuple<std::string, mixer::Handle, uint32_t, uint32_t, uint32_t>;
  std::vector<Call> calls;
  std::map<std::string, mixer::Result> fail;

  mixer::Result open(mixer::Handle& handle, uint32_t device) override {
    if (auto r = record({"open", 0, 0, device, 0})) return r;
    handle = kHandle;
    return mixer::kOk;
  }
  mixer::Result getLineInfo(mixer::Handle h, mixer::Line& line, uint32_t flags) override {
    if (auto r = record({"line", h, flags, line.componentType, 0})) return r;
    line.lineId = 3;
    return mixer::kOk;
  }
  mixer::Result getLineControls(mixer::Handle h, mixer::LineControls& request,
                                uint32_t flags) override {
    if (auto r = record({"controls", h, flags, request.controlType, request.lineId})) return r;
    request.controls[0] = {kControlId};
    return mixer::kOk;
  }
  mixer::Result setControlDetails(mixer::Handle h, const mixer::ControlDetails& d,
                                  uint32_t flags) override {
    if (auto r = record({"set", h, flags, d.controlId, d.value})) return r;
    if (d.channels != 1 || d.multipleItems != 0) return mixer::kInvalidParam;
    return d.controlId == kControlId ? mixer::kOk : mixer::kInvalidControl;
  }
  mixer::Result close(mixer::Handle) override { return mixer::kOk; }

 private:
  // Records the call; non-zero when it must fail (forced, or a bad handle).
  mixer::Result record(const Call& c) {
    calls.push_back(c);
    if (const auto forced = fail.find(std::get<0>(c)); forced != fail.end()) return forced->second;
    return std::get<0>(c) != "open" && std::get<1>(c) != kHandle ? mixer::kInvalidHandle : 0;
  }
};
