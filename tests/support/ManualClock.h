#pragma once

#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <vector>

#include "disc/Clock.h"
#include "disc/VirtualCdDevice.h"
#include "sources/SectorSource.h"

// A clock that moves only when a test advances it, by ms.
class ManualClock {
 public:
  void advance(int64_t ms) { *us_ += ms * 1000; }
  Clock clock() const {
    return [us = us_] { return *us; };
  }

 private:
  std::shared_ptr<int64_t> us_ = std::make_shared<int64_t>(0);
};

// The three-track disc used across the tests: starts 2000, 200000 and
// 400000 ms, lengths 198000, 200000 and 150000 ms.
inline std::vector<TocEntry> threeTrackDisc() {
  return {{2000, 198000, true}, {200000, 200000, true}, {400000, 150000, true}};
}

// A table of contents of tracks of `sectors` each from LSN 0, data where
// negative.
inline DiscToc tocOf(std::initializer_list<int32_t> sectors, bool preemphasis = false) {
  DiscToc toc;
  for (int32_t n : sectors) {
    toc.tracks.push_back({toc.leadOutLsn, std::abs(n), n > 0, preemphasis, 1, {}});
    toc.leadOutLsn += std::abs(n);
  }
  return toc;
}
