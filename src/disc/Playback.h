#pragma once

#include <cstdint>
#include <memory>

#include "disc/AudioOutput.h"
#include "disc/CdDevice.h"
#include "disc/Clock.h"
#include "disc/Worker.h"
#include "sources/SectorSource.h"

struct PlaybackCore;

// Digital playback of a disc: the transport calls, and the two threads the
// object starts and lets go of. Its parts:
// - the read-ahead (ReadAhead.h): a reader thread that reads sectors ahead
//   into a queue of about 4 s of decoded audio, in bursts, so a read that
//   stalls for up to 2 s (a drive spinning up or re-reading a scratch) is
//   not heard; sectors that cannot be read are silence, and where the source
//   has no audio (a file cut short) the rest of that track is silence and
//   playback then ends as at the end of the disc; tracks flagged for
//   pre-emphasis go through the de-emphasis filter;
// - the writer (Writer.h): feeds the output from the read-ahead, with its
//   output slot and reopen schedule (OutputSlot.h), pacing and the drain at
//   the end;
// - the map from the writer's stream to disc positions and its pace against
//   the clock (StreamMap.h), and the disc's audio tracks (DiscAudio.h);
// - what they share (PlaybackCore.h).
//
// Positions are disc frames (sources/DiscUnits.h). The transport calls come
// from one thread (the window's) and never wait on the threads, the output
// or the source: they update the state under a short lock and queue a
// command for the writer. Every start of playback (play, seek, track
// change) drops the read-ahead, and the new position's audio is written as
// soon as its first read returns. What has been heard is the frames written
// minus the output's delay, never ahead of the clock. Consecutive audio
// tracks play without a gap; data tracks are skipped; at the end of the last
// audio stretch the device stops at the start of track 1. Without a source
// the device has no disc (mode NoDisc) and no threads run.
class Playback {
 public:
  // The threads share the source, the factory, the clock and the outputs
  // they make: these outlive the object while a thread is still stuck. The
  // writer opens the output at once, so that the first play only starts it.
  Playback(std::shared_ptr<SectorSource> source, AudioOutputFactory output, Clock clock);
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

  // How long the destructor waits for the threads before it lets them go, us.
  static constexpr int64_t kLetGoUs = 100000;

 private:
  std::shared_ptr<PlaybackCore> core_;
  Worker reader_, writer_;
};
