#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <thread>
#include <utility>

#include "volume/Mixer.h"

// A mixer layer that runs another one (the real ALSA mixer) on a thread of
// its own, so that a sound server that stalls or goes away never holds the
// caller, the window's thread:
//
// - open() waits at most openWaitMs for the real open. A failure within that
//   time is returned as it is; an open still running then returns success
//   with a handle whose real open completes (or fails) later.
// - Lookups wait at most lookupWaitMs; a failure within that time is
//   returned, otherwise the caller gets identifiers the thread resolves
//   later.
// - setControlDetails() returns at once. Writes to one control are
//   coalesced: while one is in flight only the last value waiting is written.
//   Requests the real layer would refuse by their form alone (a wrong handle,
//   flag, control, channel count or value) are refused at once.
// - close() returns at once.
//
// Handles, line and control identifiers are this layer's own and stay valid
// across re-opens of the real mixer: a write that fails (the server
// restarted, and handles made before fail for good) closes the real mixer,
// opens it again, looks the line and the control up again and writes once
// more; if that fails too, the next write tries the same. A handle whose real
// open failed after open() returned is opened by the next write.
//
// Destroying the layer waits at most closeWaitMs for the thread; a thread
// held by a stalled server is left to finish by itself and takes the real
// layer (and the mixers it holds) with it, so nothing on the caller's side,
// static destructors at exit included, waits on a stuck handle.
class AsyncMixer final : public mixer::Api {
 public:
  using Factory = std::function<std::unique_ptr<mixer::Api>()>;
  struct Timing {
    int openWaitMs = 1000;
    int lookupWaitMs = 50;
    int closeWaitMs = 200;
  };

  // `real` makes the real layer; it is called on the layer's thread.
  explicit AsyncMixer(Factory real, Timing timing);
  explicit AsyncMixer(Factory real) : AsyncMixer(std::move(real), Timing{}) {}
  ~AsyncMixer() override;
  AsyncMixer(const AsyncMixer&) = delete;
  AsyncMixer& operator=(const AsyncMixer&) = delete;

  mixer::Result open(mixer::Handle& handle, uint32_t device) override;
  mixer::Result getLineInfo(mixer::Handle handle, mixer::Line& line, uint32_t flags) override;
  mixer::Result getLineControls(mixer::Handle handle, mixer::LineControls& request,
                                uint32_t flags) override;
  mixer::Result setControlDetails(mixer::Handle handle, const mixer::ControlDetails& details,
                                  uint32_t flags) override;
  mixer::Result close(mixer::Handle handle) override;

  // Waits until every request made so far has reached the real layer (or
  // `ms` have passed); true when it has. For tests.
  bool idle(int ms);

 private:
  struct Job;
  struct State;
  // What the caller has been handed on one open mixer.
  struct Logical {
    std::map<uint32_t, uint32_t> lineOfComponent;  // component type -> line
    std::map<std::pair<uint32_t, uint32_t>, uint32_t>
        controlFor;  // (line, control type) -> control
    std::set<uint32_t> lines, controls;
  };

  // Queues `job` for the thread and waits up to `ms` for its result;
  // kPending when the time ran out first.
  mixer::Result run(Job job, int ms);
  // Queues `job` without waiting.
  void post(const Job& job);
  static constexpr mixer::Result kPending = ~mixer::Result{0};

  Timing timing_;
  std::shared_ptr<State> s_;
  std::thread thread_;
  std::map<mixer::Handle, Logical> open_;
  mixer::Handle nextHandle_ = 1;
  uint32_t nextId_ = 1;
};
