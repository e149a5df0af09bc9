#pragma once

#include <cstdint>
#include <vector>

// The writer's stream: the frames of one session of playback in the order
// they are given to the output, counted from 0.

// Where the stream's frames come from on the disc. The stream is the disc
// from where the session started, with a jump wherever the audio does not
// follow on (past a data track, or where reading started again).
class StreamMap {
 public:
  // Stream frame 0 holds disc frame `disc`.
  void start(int64_t disc) { segments_.assign({{0, disc}}); }
  // From stream frame `stream` on (at or after the last jump), the stream
  // holds disc frame `disc` and those after it.
  void jump(int64_t stream, int64_t disc) { segments_.push_back({stream, disc}); }
  // Forgets the jumps after stream frame `stream`.
  void cut(int64_t stream);

  // The disc frame stream frame `stream` holds.
  int64_t discOf(int64_t stream) const;
  // The stream frame of the first jump after `stream`; `end` when none.
  int64_t nextJump(int64_t stream, int64_t end) const;

 private:
  struct Segment {
    int64_t stream, disc;
  };
  std::vector<Segment>::const_iterator after(int64_t stream) const;
  std::vector<Segment> segments_{{0, 0}};
};

// The stream against the clock (us): frames given to the output, or to the
// clock when there is no output, and the clock's time of stream frame 0.
// Nothing counts as heard ahead of the clock, and an output that holds audio
// and runs ahead of the clock is the one that paces: the clock follows it.
class StreamPace {
 public:
  // A new stream whose frame 0 is due at `anchorUs`.
  void start(int64_t anchorUs);
  int64_t written() const { return written_; }
  void wrote(int64_t frames) { written_ += frames; }

  // Frames the clock has played at `nowUs` (never negative).
  int64_t clockFrames(int64_t nowUs) const;
  // Stream frames heard at `nowUs`, the output (if `output`) holding
  // `delay` frames not yet heard.
  int64_t heard(bool output, int64_t delay, int64_t nowUs);
  // After a wait for the source: what was not there to play was not heard,
  // so the clock goes on from here.
  void resume(int64_t nowUs);
  // The output failed: the stream goes on from stream frame `heard` at
  // `nowUs` (what the output held was not heard).
  void rewind(int64_t heard, int64_t nowUs);

  // Without an output: how many of `want` frames the clock has played past
  // those written; when none, how long to wait, us, before some are.
  int64_t clockAllows(int64_t want, int64_t nowUs) const;
  int64_t untilDueUs(int64_t want, int64_t nowUs) const;
  // With an output that does not pace: how long to wait, us, before the
  // frames written are no more than `lead` ahead of the clock (0: none).
  int64_t untilWithinUs(int64_t lead, int64_t nowUs) const;

 private:
  int64_t written_ = 0;
  int64_t anchorUs_ = 0;
};
