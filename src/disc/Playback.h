#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "disc/AudioOutput.h"
#include "disc/CdDevice.h"
#include "sources/SectorSource.h"

// Digital playback of a disc on a worker thread that the object owns.
//
// Positions are frames (1/44100 s) from the start of the disc: frame =
// LBA * 588, so LSN 0 is frame 88200. The transport calls come from one
// thread (the window's) and never wait on the worker or on drive I/O: they
// update the state under a short lock and queue a command for the worker.
//
// The worker reads audio sectors (at most 25 per read) and writes them to the
// output. What has been heard is the frames written minus the output's delay;
// an output that accepts audio faster than real time, or no output at all,
// is paced by the monotonic clock so playback never runs ahead of it.
// Consecutive audio tracks play without a gap; data tracks are skipped; at
// the end of the last audio stretch the device stops at the start of track 1.
// Sectors that cannot be read are played as silence. Without a source the
// device has no disc (mode NoDisc).
class Playback {
 public:
  // Monotonic time in microseconds.
  using ClockUs = std::function<int64_t()>;
  static ClockUs steadyClock();

  static constexpr int64_t kRate = 44100;

  Playback(std::shared_ptr<SectorSource> source, AudioOutputFactory output, ClockUs clock);
  ~Playback();
  Playback(const Playback&) = delete;
  Playback& operator=(const Playback&) = delete;

  void play();
  void stop();
  // Pauses; while paused, resumes.
  void pause();
  // Moves to `frame` (brought onto the disc); playback, if any, stops.
  void seek(int64_t frame);
  // Moves to `frame`; playback, if any, goes on from there.
  void jump(int64_t frame);

  // The frame being heard.
  int64_t position() const;
  DeviceMode mode() const;

  // How far, in frames, the worker lets the audio written run ahead of the
  // clock when the output does not pace.
  static constexpr int64_t kLeadFrames = kRate / 4;
  // Sectors handed to the output in one write (about 53 ms).
  static constexpr int32_t kPieceSectors = 4;
  // How long position() carries the worker's last report forward, us.
  static constexpr int64_t kExtrapolateUs = 60000;

 private:
  struct Span {
    int64_t begin, end;  // frames; audio only
  };
  struct Command {
    enum Kind { Start, Halt, Quit } kind;
    uint64_t tag;  // Start: the session; Halt: the position epoch at issue
    int64_t at;    // Start: the clock when playback was asked for, us
  };
  struct Segment {
    int64_t stream, disc;  // stream frame `stream` holds disc frame `disc`
  };

  // State shared with the worker, under m_.
  void push(Command::Kind kind, uint64_t tag, int64_t at = 0);
  void startLocked();
  void haltLocked();
  int64_t currentLocked() const;
  int64_t clampToDisc(int64_t frame) const;

  // Worker side.
  void run();
  void playSession(uint64_t session, int64_t from, int64_t anchorUs);
  bool readSectors(int32_t lsn, int32_t count, int16_t* out);
  void publish(uint64_t session, int64_t frame);
  // Waits up to `us` of real time, or until a command arrives.
  void waitFor(int64_t us);

  std::shared_ptr<SectorSource> source_;
  std::vector<Span> spans_;
  int64_t firstFrame_ = 0;  // start of track 1
  int64_t leadOut_ = 0;     // frames
  AudioOutputFactory outputFactory_;
  ClockUs clock_;

  mutable std::mutex m_;
  std::condition_variable cv_;
  std::deque<Command> commands_;
  AbortSignal abort_;  // raised while commands wait
  DeviceMode mode_ = DeviceMode::Stopped;
  int64_t pos_ = 0;       // when not playing; when playing, where it started
  uint64_t epoch_ = 0;    // bumped by every move of the position
  uint64_t session_ = 0;  // bumped by every start of playback
  uint64_t pubSession_ = 0;
  int64_t pubPos_ = 0;
  int64_t pubTimeUs_ = 0;

  // Worker only.
  std::unique_ptr<AudioOutput> output_;
  int64_t lastHeard_ = 0;
  bool heardValid_ = false;

  std::thread worker_;
};
