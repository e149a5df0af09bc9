#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

// Where the playback worker sends PCM: 44.1 kHz, 16-bit, stereo, interleaved
// frames. Used by the worker thread only.
class AudioOutput {
 public:
  virtual ~AudioOutput() = default;
  // Prepares the output; false when there is none (no card, no server).
  virtual bool open() = 0;
  // Writes up to `count` frames, waiting for room while `abort` is false.
  // Returns the frames accepted (fewer when aborted), or -1 on a failure the
  // output cannot recover from.
  virtual int64_t write(const int16_t* frames, int64_t count, const std::atomic<bool>& abort) = 0;
  // Frames written but not yet heard.
  virtual int64_t delay() = 0;
  // Discards every frame not yet heard; the next write starts afresh.
  virtual void drop() = 0;
};

using AudioOutputFactory = std::function<std::unique_ptr<AudioOutput>()>;
