#include "disc/Playback.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <iterator>
#include <mutex>
#include <vector>

#include "disc/Deemphasis.h"

namespace {
std::atomic<int> liveThreads{0};

// Marks a thread as inside a call into the source or the output, which may
// block for as long as a drive or a sound server likes.
class InCall {
 public:
  explicit InCall(std::atomic<bool>& flag) : flag_(flag) { flag_ = true; }
  ~InCall() { flag_ = false; }
  InCall(const InCall&) = delete;
  InCall& operator=(const InCall&) = delete;

 private:
  std::atomic<bool>& flag_;
};

int64_t frameOfLsn(int64_t lsn) {
  return (lsn + kLeadInSectors) * kFramesPerSector;
}
}  // namespace

Playback::ClockUs Playback::steadyClock() {
  return [] {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  };
}

int Playback::threadsStillRunning() {
  return liveThreads.load();
}

// --- What the object and its threads share ----------------------------------

struct Playback::Core {
  struct Track {
    int64_t begin, end;  // frames; sector boundaries
    bool preemphasis;
  };
  struct Command {
    enum Kind { Start, Halt, Quit } kind;
    uint64_t tag;  // Start: the session; Halt: the position epoch at issue
    int64_t at;    // Start: the clock when playback was asked for, us
  };
  // Decoded audio: frames from disc frame `disc` on.
  struct Chunk {
    int64_t disc = 0;
    std::vector<int16_t> pcm;  // interleaved stereo
    int64_t frames() const { return static_cast<int64_t>(pcm.size() / 2); }
  };

  Core(std::shared_ptr<SectorSource> s, AudioOutputFactory f, ClockUs c)
      : source(std::move(s)), outputFactory(std::move(f)), clock(std::move(c)) {}

  // Fixed once the threads run.
  const std::shared_ptr<SectorSource> source;
  const AudioOutputFactory outputFactory;
  const ClockUs clock;
  std::vector<Track> tracks;  // the audio tracks, in disc order
  int64_t firstFrame = 0;     // start of track 1
  int64_t leadOut = 0;        // frames

  // The first audio frame at or after `frame`; leadOut when there is none.
  int64_t audioFrom(int64_t frame) const {
    for (const Track& t : tracks)
      if (t.end > frame) return std::max(frame, t.begin);
    return leadOut;
  }

  // Everything below is under m.
  mutable std::mutex m;
  std::condition_variable writerCv;  // commands, audio queued, reading ended
  std::condition_variable readerCv;  // reading asked for, room in the queue, quit
  std::condition_variable doneCv;    // a thread finished

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

  // The read-ahead: what the reader is asked to read, and what it has read.
  uint64_t readToken = 0;  // bumped by every new order to the reader
  bool reading = false;
  int64_t readFrom = 0;
  std::deque<Chunk> queue;  // read under the current token
  int64_t queued = 0;       // frames in the queue
  bool readEnded = false;   // nothing follows the queue
  std::vector<std::vector<int16_t>> spare;

  bool quit = false;
  bool readerDone = false, writerDone = false;
  // Not under m: set while a thread is inside the source or the output.
  std::atomic<bool> readerInCall{false}, writerInCall{false};

  void pushLocked(Command::Kind kind, uint64_t tag, int64_t at = 0) {
    commands.push_back({kind, tag, at});
    abort.raise();
    writerCv.notify_all();
  }
  // Starts a new session of playback from `pos`.
  void startLocked() {
    mode = DeviceMode::Playing;
    ++session;
    pushLocked(Command::Start, session, clock());
  }
  // Ends the session playing: the position stays where it is heard.
  void haltLocked() {
    pos = currentLocked();
    pushLocked(Command::Halt, epoch);
  }
  // `frame` brought onto the disc: from track 1's start to the lead-out.
  int64_t onDisc(int64_t frame) const {
    return std::clamp(frame, firstFrame, std::max(firstFrame, leadOut));
  }
  // Drops the queue and has the reader start at `from` (or idle).
  void orderReadingLocked(bool read, int64_t from) {
    ++readToken;
    reading = read;
    readFrom = from;
    for (Chunk& c : queue) recycleLocked(std::move(c.pcm));
    queue.clear();
    queued = 0;
    readEnded = false;
    readerCv.notify_all();
  }
  void recycleLocked(std::vector<int16_t>&& pcm) {
    if (spare.size() < 24) spare.push_back(std::move(pcm));
  }
  int64_t currentLocked() const {
    if (mode != DeviceMode::Playing || pubSession != session) return pos;
    // Between two reports of the writer the audio the output holds goes on
    // at the clock's pace.
    const int64_t since = std::max<int64_t>(clock() - pubTimeUs, 0) * kRate / 1000000;
    return pubPos + std::min(since, pubAhead);
  }

  void readLoop();
};

// --- The reader --------------------------------------------------------------

namespace {
// Reads `count` sectors from `lsn` into `out`. Sectors that cannot be read
// are silence (tried again one by one). Returns the sectors before the
// first one the source holds no audio for (`count` when there is none);
// from that one on, `out` is silence.
int32_t readSectors(SectorSource* source, int32_t lsn, int32_t count, int16_t* out) {
  const SectorRead whole = source->read(lsn, count, out);
  if (whole == SectorRead::Ok) return count;
  for (int32_t i = 0; i < count; ++i) {
    int16_t* sector = out + static_cast<ptrdiff_t>(i) * kSamplesPerSector;
    const SectorRead r = source->read(lsn + i, 1, sector);
    if (r == SectorRead::Ok) continue;
    if (r == SectorRead::Missing) {
      std::fill(sector, out + static_cast<ptrdiff_t>(count) * kSamplesPerSector, int16_t{0});
      return i;
    }
    std::fill(sector, sector + kSamplesPerSector, int16_t{0});
  }
  return count;
}
}  // namespace

void Playback::Core::readLoop() {
  uint64_t token = 0;
  bool done = true;      // nothing more to read under this token
  bool filling = false;  // in a burst: reading until the queue is full
  int64_t cur = 0;       // the next frame to read
  size_t ti = 0;         // the track that holds it
  bool silent = false;   // the rest of track ti is missing
  Deemphasis filter;
  std::vector<int16_t> buf(static_cast<size_t>(kMaxSectorsPerRead) * kSamplesPerSector);

  for (;;) {
    Chunk chunk;
    {
      std::unique_lock lock(m);
      readerCv.wait(lock, [&] {
        if (quit || readToken != token) return true;
        if (done) return false;
        if (!filling && queued < kQueueLowFrames) filling = true;
        return filling;
      });
      if (quit) return;
      if (readToken != token) {
        token = readToken;
        done = !reading;
        filling = true;
        cur = audioFrom(readFrom);
        ti = 0;
        while (ti < tracks.size() && tracks[ti].end <= cur) ++ti;
        silent = false;
        filter.reset();
        if (ti >= tracks.size() && reading) {
          done = true;
          readEnded = true;
          writerCv.notify_all();
        }
        if (done) continue;
      }
      if (!spare.empty()) {
        chunk.pcm = std::move(spare.back());
        spare.pop_back();
      }
    }

    // One read, up to the end of the track, outside the lock: it may block.
    const Track& t = tracks[ti];
    const auto lsn = static_cast<int32_t>(cur / kFramesPerSector - kLeadInSectors);
    const int64_t offset = cur % kFramesPerSector;
    const auto count = static_cast<int32_t>(
        std::min<int64_t>(kMaxSectorsPerRead, t.end / kFramesPerSector - kLeadInSectors - lsn));
    if (silent) {
      std::fill(buf.begin(), buf.begin() + int64_t{count} * kSamplesPerSector, int16_t{0});
    } else {
      const InCall call(readerInCall);
      silent = readSectors(source.get(), lsn, count, buf.data()) < count;
    }
    chunk.disc = cur;
    chunk.pcm.assign(buf.begin() + offset * 2, buf.begin() + int64_t{count} * kSamplesPerSector);
    if (t.preemphasis) filter.process(chunk.pcm.data(), static_cast<size_t>(chunk.frames()));
    cur += chunk.frames();
    bool last = false;
    if (cur >= t.end) {
      // On to the next audio track, skipping data; what is missing ends
      // playback with its track. The filter runs on across flagged tracks
      // that follow each other.
      ++ti;
      last = silent || ti >= tracks.size();
      if (!last) {
        if (!(t.preemphasis && tracks[ti].preemphasis && tracks[ti].begin == t.end)) filter.reset();
        cur = tracks[ti].begin;
      }
    }

    std::lock_guard lock(m);
    if (readToken != token) {
      recycleLocked(std::move(chunk.pcm));
      continue;
    }
    queued += chunk.frames();
    queue.push_back(std::move(chunk));
    if (queued >= kQueueHighFrames) filling = false;
    if (last) {
      done = true;
      readEnded = true;
    }
    writerCv.notify_all();
  }
}

// --- The writer --------------------------------------------------------------

class Playback::Writer {
 public:
  explicit Writer(Core& core) : c_(core) {}
  void run();

 private:
  struct Segment {
    int64_t stream, disc;  // stream frame `stream` holds disc frame `disc`
  };

  void playSession(uint64_t session, int64_t from, int64_t anchorUs);
  // Reports the frame heard and the frames after it the output holds.
  void publish(uint64_t session, int64_t frame, int64_t ahead = 0);
  // Reports what the output plays.
  void publishHeard(uint64_t session);
  // Waits up to `us` of real time, or until a command arrives.
  void waitFor(int64_t us);
  // Opens the output when it is closed and an attempt is due.
  void openOutputIfDue(bool now);
  // The next attempt to open the output, after the current wait; the wait
  // after it doubles, up to kReopenLastUs.
  void scheduleReopen(int64_t nowUs);
  void closeOutput();

  // The session's stream: frames given to the output (or to the clock).
  int64_t clockFrames() const;
  int64_t heardStream();
  int64_t discOf(int64_t stream) const;
  // The first segment that starts after stream frame `stream`.
  std::vector<Segment>::const_iterator segmentAfter(int64_t stream) const;

  Core& c_;
  std::unique_ptr<AudioOutput> output_;
  int64_t nextOpenUs_ = 0;
  int64_t reopenWaitUs_ = kReopenFirstUs;
  int64_t lastHeard_ = 0;
  bool heardValid_ = false;

  // The session being played.
  int64_t written_ = 0;
  int64_t anchorUs_ = 0;  // the clock's time of stream frame 0
  std::vector<Segment> segments_;
};

void Playback::Writer::run() {
  for (;;) {
    Core::Command cmd{};
    int64_t from = 0;
    {
      std::unique_lock lock(c_.m);
      c_.writerCv.wait(lock, [this] { return !c_.commands.empty(); });
      // On quitting, what is still queued no longer matters.
      cmd = c_.quit ? Core::Command{Core::Command::Quit, 0, 0} : c_.commands.front();
      c_.commands.pop_front();
      if (c_.commands.empty()) c_.abort.clear();
      if (cmd.kind == Core::Command::Halt && heardValid_ && cmd.tag == c_.epoch)
        c_.pos = lastHeard_;
      if (cmd.kind == Core::Command::Halt) heardValid_ = false;
      from = c_.pos;
    }
    switch (cmd.kind) {
      case Core::Command::Start:
        playSession(cmd.tag, from, cmd.at);
        break;
      case Core::Command::Halt:
        break;
      case Core::Command::Quit:
        closeOutput();
        return;
    }
  }
}

void Playback::Writer::waitFor(int64_t us) {
  std::unique_lock lock(c_.m);
  c_.writerCv.wait_for(lock, std::chrono::microseconds(std::max<int64_t>(us, 0)),
                       [this] { return !c_.commands.empty(); });
}

void Playback::Writer::publish(uint64_t session, int64_t frame, int64_t ahead) {
  const int64_t now = c_.clock();
  std::lock_guard lock(c_.m);
  if (session != c_.session) return;
  c_.pubSession = session;
  c_.pubPos = frame;
  c_.pubAhead = ahead;
  c_.pubTimeUs = now;
}

void Playback::Writer::publishHeard(uint64_t session) {
  const int64_t h = heardStream();
  // The output holds the frames up to written_; those of a later segment
  // (after a data track) do not follow on the disc.
  const auto next = segmentAfter(h);
  publish(session, discOf(h), (next == segments_.end() ? written_ : next->stream) - h);
}

void Playback::Writer::openOutputIfDue(bool now) {
  if (output_ || !c_.outputFactory) return;
  const int64_t t = c_.clock();
  if (!now && t < nextOpenUs_) return;
  const InCall call(c_.writerInCall);
  output_ = c_.outputFactory();
  if (output_ && output_->open()) return;
  output_.reset();
  scheduleReopen(t);
}

void Playback::Writer::scheduleReopen(int64_t nowUs) {
  nextOpenUs_ = nowUs + reopenWaitUs_;
  reopenWaitUs_ = std::min(reopenWaitUs_ * 2, kReopenLastUs);
}

void Playback::Writer::closeOutput() {
  if (!output_) return;
  const InCall call(c_.writerInCall);
  output_->drop();
  output_.reset();
}

int64_t Playback::Writer::clockFrames() const {
  return std::max<int64_t>(0, (c_.clock() - anchorUs_) * kRate / 1000000);
}

// Stream frames heard so far: what the output has played, never ahead of the
// clock (an output that does not pace reports no delay).
int64_t Playback::Writer::heardStream() {
  int64_t played = written_;
  int64_t d = 0;
  if (output_) {
    const InCall call(c_.writerInCall);
    d = std::clamp<int64_t>(output_->delay(), 0, written_);
    played = written_ - d;
  }
  int64_t clockNow = clockFrames();
  if (d > 0 && played > clockNow) {
    // The output holds audio and runs ahead of the clock: it is the one that
    // paces, follow it.
    anchorUs_ = c_.clock() - played * 1000000 / kRate;
    clockNow = played;
  }
  return std::min(played, clockNow);
}

std::vector<Playback::Writer::Segment>::const_iterator Playback::Writer::segmentAfter(
    int64_t stream) const {
  return std::upper_bound(segments_.begin(), segments_.end(), stream,
                          [](int64_t s, const Segment& g) { return s < g.stream; });
}

int64_t Playback::Writer::discOf(int64_t stream) const {
  const auto it = std::prev(segmentAfter(stream));
  return it->disc + (stream - it->stream);
}

void Playback::Writer::playSession(uint64_t session, int64_t from, int64_t anchorUs) {
  const int64_t start = c_.audioFrom(from);
  {
    std::lock_guard lock(c_.m);
    c_.orderReadingLocked(true, start);
  }
  openOutputIfDue(true);
  written_ = 0;
  segments_.assign({{0, start}});
  // The clock counts from the moment playback was asked for: with no output
  // the display moves at once.
  anchorUs_ = anchorUs;
  publish(session, start);

  Core::Chunk chunk;
  int64_t used = 0;          // frames of `chunk` written
  int64_t nextDisc = start;  // the disc frame the stream goes on with
  bool dry = false;          // the queue ran empty since the last chunk
  bool ended = false;        // all read and written
  const int64_t piece = int64_t{kPieceSectors} * kFramesPerSector;
  while (!c_.abort.raised()) {
    openOutputIfDue(false);
    if (used == chunk.frames()) {
      std::unique_lock lock(c_.m);
      if (!chunk.pcm.empty()) c_.recycleLocked(std::move(chunk.pcm));
      chunk = {};
      used = 0;
      if (c_.queue.empty()) {
        if (c_.readEnded) {
          ended = true;
          break;
        }
        // Nothing read yet: wait for the reader, reporting what the output
        // plays meanwhile and opening it when due.
        dry = true;
        c_.writerCv.wait_for(lock, std::chrono::milliseconds(output_ ? 100 : 50), [this] {
          return !c_.queue.empty() || c_.readEnded || !c_.commands.empty();
        });
        lock.unlock();
        publishHeard(session);
        continue;
      }
      chunk = std::move(c_.queue.front());
      c_.queue.pop_front();
      const int64_t before = c_.queued;
      c_.queued -= chunk.frames();
      if (before >= kQueueLowFrames && c_.queued < kQueueLowFrames) c_.readerCv.notify_all();
      lock.unlock();
      if (dry) {
        // After a wait for the source the clock starts again from here: what
        // was not there to play was not heard.
        anchorUs_ = std::max(anchorUs_, c_.clock() - written_ * 1000000 / kRate);
        dry = false;
      }
      if (chunk.disc != nextDisc) segments_.push_back({written_, chunk.disc});
      nextDisc = chunk.disc;
      if (chunk.frames() == 0) continue;
    }

    const int16_t* pcm = chunk.pcm.data() + used * 2;
    const int64_t want = std::min(piece, chunk.frames() - used);
    int64_t n = 0;
    if (output_) {
      {
        const InCall call(c_.writerInCall);
        n = output_->write(pcm, want, c_.abort);
      }
      if (n < 0) {
        // The output has failed: close it and try it again later. What it
        // held was not heard; the clock plays on from what was, and the
        // reader reads again from there.
        const int64_t heard = heardStream();
        nextDisc = discOf(heard);
        written_ = heard;
        while (segments_.size() > 1 && segments_.back().stream > heard) segments_.pop_back();
        anchorUs_ = c_.clock() - heard * 1000000 / kRate;
        publish(session, nextDisc);
        {
          const InCall call(c_.writerInCall);
          output_.reset();
        }
        scheduleReopen(c_.clock());
        {
          std::lock_guard lock(c_.m);
          c_.orderReadingLocked(true, nextDisc);
          c_.recycleLocked(std::move(chunk.pcm));
        }
        chunk = {};
        used = 0;
        continue;
      }
    } else {
      // No output: the clock plays the audio, and nothing runs ahead of it,
      // so that an output that comes back goes on from the position shown.
      n = std::clamp<int64_t>(clockFrames() - written_, 0, want);
      if (n == 0) {
        waitFor(std::min<int64_t>((written_ + want - clockFrames()) * 1000000 / kRate + 1000,
                                  piece * 1000000 / kRate));
        continue;
      }
    }
    written_ += n;
    used += n;
    nextDisc += n;
    if (output_) reopenWaitUs_ = kReopenFirstUs;  // it works: a failure later starts afresh
    publishHeard(session);
    // Pace by the clock when the output does not.
    if (output_) {
      for (int64_t ahead = written_ - clockFrames(); ahead > kLeadFrames && !c_.abort.raised();
           ahead = written_ - clockFrames()) {
        waitFor(std::min<int64_t>((ahead - kLeadFrames) * 1000000 / kRate + 1000, 50000));
        publishHeard(session);
      }
    }
  }
  if (!chunk.pcm.empty()) {
    std::lock_guard lock(c_.m);
    c_.recycleLocked(std::move(chunk.pcm));
  }

  // Off the end of the disc: let what was written be heard, then stop.
  // Bounded by the clock in case the output never drains.
  if (ended) {
    const int64_t drainLimit = written_ + 2 * kRate;
    if (output_) {
      const InCall call(c_.writerInCall);
      output_->flush();
    }
    while (!c_.abort.raised()) {
      publishHeard(session);
      const int64_t h = heardStream();
      if (h >= written_ || clockFrames() >= drainLimit) break;
      waitFor(std::clamp<int64_t>((written_ - h) * 1000000 / kRate, 5000, 100000));
    }
  }

  lastHeard_ = discOf(heardStream());
  heardValid_ = true;
  if (output_) {
    const InCall call(c_.writerInCall);
    output_->drop();
  }
  std::lock_guard lock(c_.m);
  c_.orderReadingLocked(false, 0);
  if (c_.abort.raised() || session != c_.session || c_.mode != DeviceMode::Playing) return;
  heardValid_ = false;
  ++c_.epoch;
  c_.mode = DeviceMode::Stopped;
  c_.pos = c_.firstFrame;
}

// --- The window's side -------------------------------------------------------

Playback::Playback(std::shared_ptr<SectorSource> source, AudioOutputFactory output, ClockUs clock)
    : core_(std::make_shared<Core>(std::move(source), std::move(output), std::move(clock))) {
  Core& c = *core_;
  const DiscToc toc = c.source ? c.source->toc() : DiscToc{};
  for (const DiscTrack& t : toc.tracks) {
    if (!t.audio || t.sectors <= 0) continue;
    const int64_t b = frameOfLsn(t.lsn);
    const int64_t e = std::min(frameOfLsn(int64_t{t.lsn} + t.sectors), frameOfLsn(toc.leadOutLsn));
    if (e > b) c.tracks.push_back({b, e, t.preemphasis});
  }
  if (toc.tracks.empty()) {
    c.mode = DeviceMode::NoDisc;
    return;  // nothing will ever play: no threads
  }
  c.firstFrame = frameOfLsn(toc.tracks.front().lsn);
  c.leadOut = frameOfLsn(toc.leadOutLsn);
  c.pos = c.firstFrame;

  // Each thread holds the core until it has finished with it; the count of
  // live threads drops once it has let go.
  liveThreads += 2;
  reader_ = std::thread([core = core_]() mutable {
    core->readLoop();
    {
      std::lock_guard lock(core->m);
      core->readerDone = true;
      core->doneCv.notify_all();
    }
    core.reset();
    --liveThreads;
  });
  writer_ = std::thread([core = core_]() mutable {
    {
      Writer w(*core);
      w.run();
    }
    {
      std::lock_guard lock(core->m);
      core->writerDone = true;
      core->doneCv.notify_all();
    }
    core.reset();
    --liveThreads;
  });
}

Playback::~Playback() {
  if (!reader_.joinable() && !writer_.joinable()) return;
  Core& c = *core_;
  bool readerDone = false, writerDone = false;
  {
    std::unique_lock lock(c.m);
    c.quit = true;
    c.pushLocked(Core::Command::Quit, 0);
    c.readerCv.notify_all();
    c.doneCv.wait_for(lock, std::chrono::microseconds(kLetGoUs),
                      [&] { return c.readerDone && c.writerDone; });
    // A thread outside the source and the output has only this file's code
    // to run, which never blocks for long: it is slow to be scheduled, not
    // stuck. Wait for it.
    while (!((c.readerDone || c.readerInCall) && (c.writerDone || c.writerInCall)))
      c.doneCv.wait_for(lock, std::chrono::milliseconds(2));
    readerDone = c.readerDone;
    writerDone = c.writerDone;
  }
  // A thread that is done has only to return; one stuck in the source or the
  // output goes on alone.
  if (readerDone)
    reader_.join();
  else
    reader_.detach();
  if (writerDone)
    writer_.join();
  else
    writer_.detach();
}

void Playback::play() {
  Core& c = *core_;
  std::lock_guard lock(c.m);
  if (c.mode == DeviceMode::Stopped || c.mode == DeviceMode::Paused) c.startLocked();
}

void Playback::stop() {
  Core& c = *core_;
  std::lock_guard lock(c.m);
  if (c.mode == DeviceMode::Playing) c.haltLocked();
  if (c.mode == DeviceMode::Playing || c.mode == DeviceMode::Paused) c.mode = DeviceMode::Stopped;
}

void Playback::pause() {
  Core& c = *core_;
  std::lock_guard lock(c.m);
  if (c.mode == DeviceMode::Playing) {
    c.haltLocked();
    c.mode = DeviceMode::Paused;
  } else if (c.mode == DeviceMode::Paused) {
    c.startLocked();
  }
}

void Playback::seek(int64_t frame) {
  Core& c = *core_;
  std::lock_guard lock(c.m);
  if (c.mode == DeviceMode::NoDisc) return;
  if (c.mode == DeviceMode::Playing) c.pushLocked(Core::Command::Halt, c.epoch);
  ++c.epoch;
  c.pos = c.onDisc(frame);
  if (c.mode == DeviceMode::Playing) c.mode = DeviceMode::Stopped;
}

void Playback::jump(int64_t frame) {
  Core& c = *core_;
  std::lock_guard lock(c.m);
  if (c.mode == DeviceMode::NoDisc) return;
  const bool playing = c.mode == DeviceMode::Playing;
  if (playing) c.pushLocked(Core::Command::Halt, c.epoch);
  ++c.epoch;
  c.pos = c.onDisc(frame);
  if (playing) c.startLocked();
}

int64_t Playback::position() const {
  std::lock_guard lock(core_->m);
  return core_->currentLocked();
}

DeviceMode Playback::mode() const {
  std::lock_guard lock(core_->m);
  return core_->mode;
}
