#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "disc/AudioOutput.h"
#include "disc/CdDevice.h"
#include "disc/Clock.h"
#include "disc/DiscAudio.h"
#include "disc/ReadAhead.h"

// What the transport calls (the window's thread), the reader and the writer
// share. Positions are disc frames. Everything but the constant part is
// under `m`; the transport calls hold it only briefly and never wait on the
// threads.
struct PlaybackCore {
  // What the writer is asked to do, in order.
  struct Command {
    enum Kind { Start, Halt, Quit } kind;
    uint64_t tag;  // Start: the session; Halt: the position epoch at issue
    int64_t at;    // Start: the clock when playback was asked for, us
  };

  PlaybackCore(std::shared_ptr<SectorSource> s, AudioOutputFactory f, Clock c);

  // Fixed once the threads run.
  const std::shared_ptr<SectorSource> source;
  const AudioOutputFactory outputFactory;
  const Clock clock;
  const DiscAudio disc;

  mutable std::mutex m;
  std::condition_variable writerCv;  // commands, audio queued, reading ended
  std::condition_variable readerCv;  // an order, room in the queue, quit

  // The transport, as the window sees it.
  std::deque<Command> commands;
  AbortSignal abort;  // raised while commands wait
  DeviceMode mode = DeviceMode::Stopped;
  int64_t pos = 0;          // when not playing; when playing, where it started
  uint64_t epoch = 0;       // bumped by every move of the position
  uint64_t session = 0;     // bumped by every start of playback
  uint64_t pubSession = 0;  // the writer's last report: the frame heard,
  int64_t pubPos = 0;
  int64_t pubAhead = 0;   // the frames after it the output holds,
  int64_t pubTimeUs = 0;  // and when

  ReadQueue queue;
  bool quit = false;

  void pushLocked(Command::Kind kind, uint64_t tag, int64_t at = 0);
  // Starts a new session of playback from `pos`.
  void startLocked();
  // Ends the session playing: the position stays where it is heard.
  void haltLocked();
  // The frame being heard.
  int64_t currentLocked() const;
  // Drops the read-ahead and has the reader read from `from` (or idle).
  void orderReadingLocked(bool read, int64_t from);
  // The writer's report for `session`: `frame` heard, `ahead` frames after
  // it held by the output.
  void publish(uint64_t session, int64_t frame, int64_t ahead);
};
