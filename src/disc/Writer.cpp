#include "disc/Writer.h"

#include <algorithm>
#include <chrono>

void Writer::run() {
  // The output is opened at once, while the window is being built, so that
  // the first play only starts it.
  output_.openIfDue(c_.clock(), true);
  for (;;) {
    PlaybackCore::Command cmd{};
    int64_t from = 0;
    {
      std::unique_lock lock(c_.m);
      c_.writerCv.wait(lock, [this] { return !c_.commands.empty(); });
      // On quitting, what is still queued no longer matters.
      cmd =
          c_.quit ? PlaybackCore::Command{PlaybackCore::Command::Quit, 0, 0} : c_.commands.front();
      c_.commands.pop_front();
      if (c_.commands.empty()) c_.abort.clear();
      if (cmd.kind == PlaybackCore::Command::Halt && heardValid_ && cmd.tag == c_.epoch)
        c_.pos = lastHeard_;
      if (cmd.kind == PlaybackCore::Command::Halt) heardValid_ = false;
      from = c_.pos;
    }
    switch (cmd.kind) {
      case PlaybackCore::Command::Start:
        playSession(cmd.tag, from, cmd.at);
        break;
      case PlaybackCore::Command::Halt:
        break;
      case PlaybackCore::Command::Quit:
        output_.close();
        return;
    }
  }
}

void Writer::waitFor(int64_t us) {
  std::unique_lock lock(c_.m);
  c_.writerCv.wait_for(lock, std::chrono::microseconds(std::max<int64_t>(us, 0)),
                       [this] { return !c_.commands.empty(); });
}

int64_t Writer::heard() {
  const int64_t delay = output_.delay();
  return pace_.heard(static_cast<bool>(output_), delay, c_.clock());
}

int64_t Writer::publishHeard(uint64_t session) {
  const int64_t h = heard();
  // The output holds the frames up to those written; those after a jump
  // (past a data track) do not follow on the disc.
  c_.publish(session, map_.discOf(h), map_.nextJump(h, pace_.written()) - h);
  return h;
}

void Writer::playSession(uint64_t session, int64_t from, int64_t askedUs) {
  const int64_t start = c_.disc.audioFrom(from);
  {
    std::lock_guard lock(c_.m);
    c_.orderReadingLocked(true, start);
  }
  output_.openIfDue(c_.clock(), true);
  // The clock counts from the moment playback was asked for: with no output
  // the display moves at once.
  pace_.start(askedUs);
  map_.start(start);
  c_.publish(session, start, 0);
  chunk_ = {};
  used_ = 0;
  nextDisc_ = start;
  dry_ = false;

  bool ended = false;  // all read and written
  while (!c_.abort.raised()) {
    output_.openIfDue(c_.clock(), false);
    if (used_ == chunk_.frames()) {
      const Took took = take(session);
      if (took == Took::End) {
        ended = true;
        break;
      }
      if (took == Took::Waited || chunk_.frames() == 0) continue;
    }
    writePiece(session);
  }
  if (!chunk_.pcm.empty()) {
    std::lock_guard lock(c_.m);
    c_.queue.recycle(std::move(chunk_.pcm));
  }
  if (ended) drain(session);
  finish(session);
}

Writer::Took Writer::take(uint64_t session) {
  std::unique_lock lock(c_.m);
  if (!chunk_.pcm.empty()) c_.queue.recycle(std::move(chunk_.pcm));
  chunk_ = {};
  used_ = 0;
  if (c_.queue.empty()) {
    if (c_.queue.ended()) return Took::End;
    // Nothing read yet: wait for the reader, reporting what the output
    // plays meanwhile and opening it when due.
    dry_ = true;
    c_.writerCv.wait_for(lock, std::chrono::milliseconds(output_ ? 100 : 50), [this] {
      return !c_.queue.empty() || c_.queue.ended() || !c_.commands.empty();
    });
    lock.unlock();
    publishHeard(session);
    return Took::Waited;
  }
  bool refill = false;
  chunk_ = c_.queue.take(&refill);
  if (refill) c_.readerCv.notify_all();
  lock.unlock();
  if (dry_) {
    pace_.resume(c_.clock());
    dry_ = false;
  }
  if (chunk_.disc != nextDisc_) map_.jump(pace_.written(), chunk_.disc);
  nextDisc_ = chunk_.disc;
  return Took::Audio;
}

void Writer::writePiece(uint64_t session) {
  const int16_t* pcm = chunk_.pcm.data() + used_ * 2;
  const int64_t want = std::min(int64_t{kPieceSectors} * kFramesPerSector, chunk_.frames() - used_);
  int64_t n = 0;
  if (output_) {
    n = output_.write(pcm, want, c_.abort);
    if (n < 0) return recover(session);
  } else {
    // No output: the clock plays the audio, and nothing runs ahead of it,
    // so that an output that comes back goes on from the position shown.
    n = pace_.clockAllows(want, c_.clock());
    if (n == 0) return waitFor(pace_.untilDueUs(want, c_.clock()));
  }
  pace_.wrote(n);
  used_ += n;
  nextDisc_ += n;
  if (output_) output_.worked();
  publishHeard(session);
  // Pace by the clock when the output does not.
  if (!output_) return;
  for (int64_t us = pace_.untilWithinUs(kLeadFrames, c_.clock()); us > 0 && !c_.abort.raised();
       us = pace_.untilWithinUs(kLeadFrames, c_.clock())) {
    waitFor(us);
    publishHeard(session);
  }
}

void Writer::recover(uint64_t session) {
  // The clock plays on from what was heard, and the reader reads again from
  // there.
  const int64_t h = heard();
  nextDisc_ = map_.discOf(h);
  map_.cut(h);
  pace_.rewind(h, c_.clock());
  c_.publish(session, nextDisc_, 0);
  output_.failed(c_.clock());
  std::lock_guard lock(c_.m);
  c_.orderReadingLocked(true, nextDisc_);
  c_.queue.recycle(std::move(chunk_.pcm));
  chunk_ = {};
  used_ = 0;
}

void Writer::drain(uint64_t session) {
  const int64_t limit = pace_.written() + 2 * kFrameRate;
  output_.flush();
  while (!c_.abort.raised()) {
    const int64_t h = publishHeard(session);
    if (h >= pace_.written() || pace_.clockFrames(c_.clock()) >= limit) break;
    waitFor(std::clamp<int64_t>(usOfFrames(pace_.written() - h), 5000, 100000));
  }
}

void Writer::finish(uint64_t session) {
  lastHeard_ = map_.discOf(heard());
  heardValid_ = true;
  output_.drop();
  std::lock_guard lock(c_.m);
  c_.orderReadingLocked(false, 0);
  if (c_.abort.raised() || session != c_.session || c_.mode != DeviceMode::Playing) return;
  heardValid_ = false;
  ++c_.epoch;
  c_.mode = DeviceMode::Stopped;
  c_.pos = c_.disc.firstFrame();
}
