#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "disc/AudioOutput.h"
#include "disc/CdDevice.h"
#include "sources/SectorSource.h"

// Digital playback of a disc on two threads that the object starts: a reader
// that reads sectors ahead into a queue of decoded audio, and a writer that
// feeds the output from that queue.
//
// Positions are frames (1/44100 s) from the start of the disc: frame =
// LBA * 588, so LSN 0 is frame 88200. The transport calls come from one
// thread (the window's) and never wait on the threads, the output or the
// source: they update the state under a short lock and queue a command for
// the writer.
//
// The reader reads audio sectors (at most 25 per read) in bursts: it fills
// the queue to kQueueHighFrames, then sleeps until the queue falls under
// kQueueLowFrames, so a read that stalls for up to 2 s (a drive spinning up
// or re-reading a scratch) is not heard once the queue is full. Every start
// of playback (play, seek, track change) drops the queue, and the new
// position's audio is written as soon as its first read returns. Sectors
// that cannot be read are played as silence; where the source has no audio
// (a file cut short), the rest of that track is silence and playback then
// ends as at the end of the disc. Tracks flagged for pre-emphasis are played
// through the de-emphasis filter.
//
// What has been heard is the frames written minus the output's delay; an
// output that accepts audio faster than real time, or no output at all, is
// paced by the monotonic clock so playback never runs ahead of it. An output
// that fails (or cannot be opened) is closed and opened again every
// kReopenFirstUs to kReopenLastUs; meanwhile the clock plays, and the output
// goes on from the position shown. Consecutive audio tracks play without a
// gap; data tracks are skipped; at the end of the last audio stretch the
// device stops at the start of track 1. Without a source the device has no
// disc (mode NoDisc).
class Playback {
 public:
  // Monotonic time in microseconds.
  using ClockUs = std::function<int64_t()>;
  static ClockUs steadyClock();

  static constexpr int64_t kRate = 44100;

  // The threads share the source, the factory, the clock and the outputs
  // they make: these outlive the object while a thread is still stuck.
  Playback(std::shared_ptr<SectorSource> source, AudioOutputFactory output, ClockUs clock);
  // Returns within about kLetGoUs: a thread stuck in the source or in the
  // output is left to finish on its own, and then frees what it holds.
  ~Playback();
  Playback(const Playback&) = delete;
  Playback& operator=(const Playback&) = delete;

  void play();
  void stop();
  // Pauses; while paused, resumes.
  void pause();
  // Moves to `frame` (brought onto the disc); playback stops, a pause stays.
  void seek(int64_t frame);
  // Moves to `frame`; playback, if any, goes on from there.
  void jump(int64_t frame);

  // The frame being heard.
  int64_t position() const;
  DeviceMode mode() const;

  // Threads of all playbacks in the process that have not finished,
  // including those of destroyed playbacks still stuck in a read or a write.
  static int threadsStillRunning();

  // The read-ahead, frames of decoded audio queued between reader and writer.
  static constexpr int64_t kQueueHighFrames = 4 * kRate;
  static constexpr int64_t kQueueLowFrames = kRate * 5 / 2;
  // How far, in frames, the writer lets the audio written run ahead of the
  // clock when the output does not pace (more than an output's own buffer;
  // none when there is no output).
  static constexpr int64_t kLeadFrames = kRate * 3 / 2;
  // Sectors handed to the output in one write (about 53 ms).
  static constexpr int32_t kPieceSectors = 4;
  // Waits between attempts to open the output again, us: the first, doubled
  // up to the last.
  static constexpr int64_t kReopenFirstUs = 250000;
  static constexpr int64_t kReopenLastUs = 1000000;
  // How long the destructor waits for the threads before it lets them go, us.
  static constexpr int64_t kLetGoUs = 100000;

 private:
  struct Core;
  class Writer;

  std::shared_ptr<Core> core_;
  std::thread reader_, writer_;
};
