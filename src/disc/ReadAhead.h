#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "disc/DiscAudio.h"
#include "disc/Worker.h"
#include "sources/SectorSource.h"

// The read-ahead: the reader thread reads the disc ahead of what is heard
// into a queue of decoded audio, which the writer empties into the output.

// Decoded audio: frames from disc frame `disc` on.
struct Chunk {
  int64_t disc = 0;
  std::vector<int16_t> pcm;  // interleaved stereo
  int64_t frames() const { return static_cast<int64_t>(pcm.size() / 2); }
};

// The queue between reader and writer, with the reader's orders. Not locked
// itself: its owner's lock guards every call.
//
// The reader reads in bursts: from when the queue falls under kLowFrames
// until it holds kHighFrames, so a read that stalls for up to about 2 s is
// not heard once the queue is full, and the reader sleeps in between. Every
// order drops what is queued.
class ReadQueue {
 public:
  static constexpr int64_t kHighFrames = 4 * kFrameRate;
  static constexpr int64_t kLowFrames = kFrameRate * 5 / 2;

  // Drops the queue and has the reader read from disc frame `from` (or,
  // `read` false, idle).
  void order(bool read, int64_t from);
  // The newest order: bumped by each.
  uint64_t token() const { return token_; }
  bool reading() const { return reading_; }
  int64_t from() const { return from_; }

  // The reader: whether it should read now (in a burst).
  bool wantsAudio();
  // Queues audio read under the current order; `last`: nothing follows it.
  void push(Chunk chunk, bool last);
  // Nothing follows what is queued.
  void end() { ended_ = true; }

  bool empty() const { return chunks_.empty(); }
  bool ended() const { return ended_; }
  int64_t queued() const { return queued_; }
  // The writer: the oldest chunk (the queue not empty). `*refill` is set when
  // the queue fell under kLowFrames with it: the reader is due.
  Chunk take(bool* refill);

  // Buffers to read into, handed back and forth so steady playback
  // allocates nothing.
  std::vector<int16_t> buffer();
  void recycle(std::vector<int16_t>&& pcm);

 private:
  std::deque<Chunk> chunks_;
  std::vector<std::vector<int16_t>> spare_;
  uint64_t token_ = 0;
  bool reading_ = false;
  int64_t from_ = 0;
  int64_t queued_ = 0;  // frames
  bool ended_ = false;
  bool filling_ = false;
};

// Where the reader is on the disc's audio: the next frame to read and the
// track that holds it.
class ReadCursor {
 public:
  ReadCursor() = default;
  // At `frame`, which lies in an audio track or past them all.
  ReadCursor(const std::vector<AudioTrack>& tracks, int64_t frame);

  // Nothing left to read.
  bool ended() const { return track_ >= tracks_->size(); }
  int64_t frame() const { return frame_; }
  bool preemphasis() const { return (*tracks_)[track_].preemphasis; }

  // The next read: `sectors` from `lsn` (at most kMaxSectorsPerRead, up to
  // the end of the track), of which the first `skip` frames come before the
  // cursor.
  struct Read {
    int32_t lsn = 0;
    int32_t sectors = 0;
    int64_t skip = 0;
  };
  Read next() const;

  // Moves on by `frames` read. At the end of a track it goes on to the next
  // audio track, skipping data, unless `stop` (the track's audio is missing).
  enum class Step {
    Within,  // still in the same track
    Joined,  // into the next track, which follows it on the disc, both flagged
             // for pre-emphasis: the filter runs on
    Jumped,  // into the next track: the filter starts from rest
    Ended,   // nothing follows
  };
  Step advance(int64_t frames, bool stop);

 private:
  const std::vector<AudioTrack>* tracks_ = nullptr;
  size_t track_ = 0;
  int64_t frame_ = 0;
};

// Reads `count` sectors from `lsn` into `out`. Sectors that cannot be read
// are silence (tried again one by one). Returns the sectors before the
// first one the source holds no audio for (`count` when there is none);
// from that one on, `out` is silence.
int32_t readSectors(SectorSource& source, int32_t lsn, int32_t count, int16_t* out);

struct PlaybackCore;
// The reader thread's body: reads as the core's queue orders until the core
// quits. Calls into the source are marked on `mark` as blocking.
void runReader(PlaybackCore& core, const Worker::Mark& mark);
