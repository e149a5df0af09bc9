#include "disc/ReadAhead.h"

#include <algorithm>

#include "disc/Deemphasis.h"
#include "disc/PlaybackCore.h"

void ReadQueue::order(bool read, int64_t from) {
  ++token_;
  reading_ = read;
  from_ = from;
  for (Chunk& c : chunks_) recycle(std::move(c.pcm));
  chunks_.clear();
  queued_ = 0;
  ended_ = false;
  filling_ = true;
}

bool ReadQueue::wantsAudio() {
  if (!filling_ && queued_ < kLowFrames) filling_ = true;
  return filling_;
}

void ReadQueue::push(Chunk chunk, bool last) {
  queued_ += chunk.frames();
  chunks_.push_back(std::move(chunk));
  if (queued_ >= kHighFrames) filling_ = false;
  if (last) ended_ = true;
}

Chunk ReadQueue::take(bool* refill) {
  Chunk c = std::move(chunks_.front());
  chunks_.pop_front();
  const int64_t before = queued_;
  queued_ -= c.frames();
  *refill = before >= kLowFrames && queued_ < kLowFrames;
  return c;
}

std::vector<int16_t> ReadQueue::buffer() {
  if (spare_.empty()) return {};
  std::vector<int16_t> b = std::move(spare_.back());
  spare_.pop_back();
  return b;
}

void ReadQueue::recycle(std::vector<int16_t>&& pcm) {
  if (spare_.size() < 24) spare_.push_back(std::move(pcm));
}

ReadCursor::ReadCursor(const std::vector<AudioTrack>& tracks, int64_t frame)
    : tracks_(&tracks), frame_(frame) {
  while (track_ < tracks.size() && tracks[track_].end <= frame) ++track_;
}

ReadCursor::Read ReadCursor::next() const {
  const AudioTrack& t = (*tracks_)[track_];
  Read r;
  r.lsn = static_cast<int32_t>(lsnOfFrame(frame_));
  r.skip = frame_ % kFramesPerSector;
  r.sectors =
      static_cast<int32_t>(std::min<int64_t>(kMaxSectorsPerRead, lsnOfFrame(t.end) - r.lsn));
  return r;
}

ReadCursor::Step ReadCursor::advance(int64_t frames, bool stop) {
  const AudioTrack& t = (*tracks_)[track_];
  frame_ += frames;
  if (frame_ < t.end) return Step::Within;
  ++track_;
  if (stop) track_ = tracks_->size();
  if (ended()) return Step::Ended;
  const AudioTrack& n = (*tracks_)[track_];
  frame_ = n.begin;
  return t.preemphasis && n.preemphasis && n.begin == t.end ? Step::Joined : Step::Jumped;
}

int32_t readSectors(SectorSource& source, int32_t lsn, int32_t count, int16_t* out) {
  const SectorRead whole = source.read(lsn, count, out);
  if (whole == SectorRead::Ok) return count;
  for (int32_t i = 0; i < count; ++i) {
    int16_t* sector = out + static_cast<ptrdiff_t>(i) * kSamplesPerSector;
    const SectorRead r = source.read(lsn + i, 1, sector);
    if (r == SectorRead::Ok) continue;
    if (r == SectorRead::Missing) {
      std::fill(sector, out + static_cast<ptrdiff_t>(count) * kSamplesPerSector, int16_t{0});
      return i;
    }
    std::fill(sector, sector + kSamplesPerSector, int16_t{0});
  }
  return count;
}

void runReader(PlaybackCore& c, const Worker::Mark& mark) {
  uint64_t token = 0;
  bool done = true;     // nothing more to read under this token
  bool silent = false;  // the rest of the cursor's track is missing
  ReadCursor cursor;
  Deemphasis filter;
  std::vector<int16_t> buf(static_cast<size_t>(kMaxSectorsPerRead) * kSamplesPerSector);

  for (;;) {
    Chunk chunk;
    {
      std::unique_lock lock(c.m);
      c.readerCv.wait(lock, [&] {
        return c.quit || c.queue.token() != token || (!done && c.queue.wantsAudio());
      });
      if (c.quit) return;
      if (c.queue.token() != token) {
        token = c.queue.token();
        cursor = ReadCursor(c.disc.tracks(), c.disc.audioFrom(c.queue.from()));
        done = !c.queue.reading() || cursor.ended();
        silent = false;
        filter.reset();
        if (c.queue.reading() && cursor.ended()) {
          c.queue.end();
          c.writerCv.notify_all();
        }
        if (done) continue;
      }
      chunk.pcm = c.queue.buffer();
    }

    // One read, up to the end of the track, outside the lock: it may block.
    const ReadCursor::Read r = cursor.next();
    const int64_t samples = int64_t{r.sectors} * kSamplesPerSector;
    if (silent) {
      std::fill(buf.begin(), buf.begin() + samples, int16_t{0});
    } else {
      const Worker::Mark::Call call(mark);
      silent = readSectors(*c.source, r.lsn, r.sectors, buf.data()) < r.sectors;
    }
    chunk.disc = cursor.frame();
    chunk.pcm.assign(buf.begin() + r.skip * 2, buf.begin() + samples);
    if (cursor.preemphasis()) filter.process(chunk.pcm.data(), static_cast<size_t>(chunk.frames()));
    const ReadCursor::Step step = cursor.advance(chunk.frames(), silent);
    if (step == ReadCursor::Step::Jumped) filter.reset();

    std::lock_guard lock(c.m);
    if (c.queue.token() != token) {
      c.queue.recycle(std::move(chunk.pcm));
      continue;
    }
    const bool last = step == ReadCursor::Step::Ended;
    c.queue.push(std::move(chunk), last);
    if (last) done = true;
    c.writerCv.notify_all();
  }
}
