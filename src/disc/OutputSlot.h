#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>

#include "disc/AudioOutput.h"
#include "disc/Worker.h"

// When to try again to open an output that failed or could not be opened:
// after kFirstUs, the wait doubling up to kLastUs, afresh once one works.
// Times are us of the playback's clock.
class ReopenSchedule {
 public:
  static constexpr int64_t kFirstUs = 250000;
  static constexpr int64_t kLastUs = 1000000;

  bool due(int64_t nowUs) const { return nowUs >= nextUs_; }
  void failed(int64_t nowUs) {
    nextUs_ = nowUs + waitUs_;
    waitUs_ = std::min(waitUs_ * 2, kLastUs);
  }
  void worked() { waitUs_ = kFirstUs; }

 private:
  int64_t nextUs_ = 0;
  int64_t waitUs_ = kFirstUs;
};

// The writer's output: made by the factory, opened again on the schedule
// after a failure. Every call into the output is marked on the writer's
// mark as blocking (a stalled sound server holds it). Without a factory
// there is never an output.
class OutputSlot {
 public:
  OutputSlot(AudioOutputFactory factory, const Worker::Mark& mark)
      : factory_(std::move(factory)), mark_(mark) {}

  explicit operator bool() const { return output_ != nullptr; }
  // Opens an output when none is open and an attempt is due (`now`: in any
  // case).
  void openIfDue(int64_t nowUs, bool now);
  // As AudioOutput::write; -1 without an output.
  int64_t write(const int16_t* frames, int64_t count, const AbortSignal& abort);
  // Frames written and not yet heard; 0 without an output.
  int64_t delay();
  void flush();
  void drop();
  // The output works: a failure later starts the schedule afresh.
  void worked() { schedule_.worked(); }
  // The output failed: it is let go, and tried again on the schedule.
  void failed(int64_t nowUs);
  // Drops what the output holds and lets it go.
  void close();

 private:
  AudioOutputFactory factory_;
  const Worker::Mark& mark_;
  std::unique_ptr<AudioOutput> output_;
  ReopenSchedule schedule_;
};
