#pragma once

#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

// Lets the thread that commands playback cut short a write that waits for
// room in the output: raised, it is seen at once through `raised()` and wakes
// a poll() on `fd()`.
class AbortSignal {
 public:
  AbortSignal() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
  ~AbortSignal() {
    if (fd_ >= 0) ::close(fd_);
  }
  AbortSignal(const AbortSignal&) = delete;
  AbortSignal& operator=(const AbortSignal&) = delete;

  void raise() {
    raised_.store(true);
    const uint64_t one = 1;
    if (fd_ >= 0) [[maybe_unused]]
      const ssize_t n = ::write(fd_, &one, sizeof one);
  }
  void clear() {
    raised_.store(false);
    uint64_t count = 0;
    if (fd_ >= 0) [[maybe_unused]]
      const ssize_t n = ::read(fd_, &count, sizeof count);
  }
  bool raised() const { return raised_.load(); }
  // Readable while raised; -1 when no descriptor could be made.
  int fd() const { return fd_; }

 private:
  std::atomic<bool> raised_{false};
  int fd_ = -1;
};

// Where playback sends PCM: 44.1 kHz, 16-bit, stereo, interleaved frames.
// Made, used and destroyed by the playback's writer thread only, which may
// outlive its playback while a call is stuck (a stalled sound server).
class AudioOutput {
 public:
  virtual ~AudioOutput() = default;
  // Prepares the output; false when there is none (no card, no server). The
  // writer then tries a new one now and then.
  virtual bool open() = 0;
  // Writes up to `count` frames, waiting for room until `abort` is raised.
  // Returns the frames accepted (fewer when aborted), or -1 on a failure the
  // output cannot recover from (the server has gone): the writer then
  // destroys it and tries a new one now and then.
  virtual int64_t write(const int16_t* frames, int64_t count, const AbortSignal& abort) = 0;
  // Frames written but not yet heard.
  virtual int64_t delay() = 0;
  // Discards every frame not yet heard; the next write starts afresh.
  virtual void drop() = 0;
  // Nothing more follows for now: play what was written even if it is less
  // than the output waits for before it starts.
  virtual void flush() {}
};

using AudioOutputFactory = std::function<std::unique_ptr<AudioOutput>()>;
