#pragma once

#include <cstdint>

#include "disc/OutputSlot.h"
#include "disc/PlaybackCore.h"
#include "disc/StreamMap.h"

// The writer thread: carries out the transport's commands and, while a
// session of playback lasts, feeds the output from the read-ahead, paced by
// the clock where the output does not pace, and reports the frame heard.
//
// A session starts by ordering the reader to its position; its audio is
// written as soon as its first read returns. An output that fails is let go
// and opened again on its schedule; meanwhile the clock plays, and the
// output goes on from the position shown. At the end of the disc the writer
// lets what was written be heard (the drain), then stops at track 1.
class Writer {
 public:
  // How far, in frames, the audio written may run ahead of the clock when
  // the output does not pace (more than an output's own buffer).
  static constexpr int64_t kLeadFrames = kFrameRate * 3 / 2;
  // Sectors handed to the output in one write: a whole read. Each write
  // wakes the sound server's client thread, so fewer are cheaper.
  static constexpr int32_t kPieceSectors = kMaxSectorsPerRead;

  Writer(PlaybackCore& core, const Worker::Mark& mark)
      : c_(core), output_(core.outputFactory, mark) {}
  // Until the core quits.
  void run();

 private:
  enum class Took { Audio, Waited, End };

  void playSession(uint64_t session, int64_t from, int64_t askedUs);
  // The next chunk from the read-ahead into chunk_, or a wait for one.
  Took take(uint64_t session);
  // One piece of chunk_ to the output, or to the clock without one.
  void writePiece(uint64_t session);
  // The output failed: what it held was not heard.
  void recover(uint64_t session);
  // Lets what was written be heard, within a bound of the clock.
  void drain(uint64_t session);
  // The session is over; off the end of the disc, the device stops.
  void finish(uint64_t session);

  // Stream frames heard so far.
  int64_t heard();
  // Reports the frame heard and the frames after it the output holds;
  // returns the frame heard.
  int64_t publishHeard(uint64_t session);
  // Waits up to `us` of real time, or until a command arrives.
  void waitFor(int64_t us);

  PlaybackCore& c_;
  OutputSlot output_;
  StreamPace pace_;
  StreamMap map_;
  // Where the last session was heard to, for the Halt that ended it.
  int64_t lastHeard_ = 0;
  bool heardValid_ = false;

  // The session being played.
  Chunk chunk_;
  int64_t used_ = 0;      // frames of chunk_ written
  int64_t nextDisc_ = 0;  // the disc frame the stream goes on with
  bool dry_ = false;      // the queue ran empty since the last chunk
};
