#include "disc/Clock.h"

#include <chrono>

Clock steadyClock() {
  return [] {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  };
}
