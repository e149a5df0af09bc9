#pragma once

#include <cstdint>
#include <memory>

#include "disc/VirtualCdDevice.h"

// A clock that moves only when a test advances it, ms.
class ManualClock {
 public:
  void advance(int64_t ms) { *now_ += ms; }
  int64_t now() const { return *now_; }
  VirtualCdDevice::Clock clock() const {
    return [now = now_] { return *now; };
  }

 private:
  std::shared_ptr<int64_t> now_ = std::make_shared<int64_t>(0);
};

// The three-track disc used across the tests: starts 2000, 200000 and
// 400000 ms, lengths 198000, 200000 and 150000 ms.
inline std::vector<TocEntry> threeTrackDisc() {
  return {{2000, 198000, true}, {200000, 200000, true}, {400000, 150000, true}};
}
