#include "disc/CdioDevice.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "disc/AlsaOutput.h"

namespace {
const std::vector<TocEntry> kNoToc;

// Opens a disc on a helper thread and waits for it at most `timeoutMs`; a
// drive that hangs is left to its thread, which frees what it opened.
std::unique_ptr<CdioDisc> openBounded(const std::string& path, int timeoutMs) {
  struct Box {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::unique_ptr<CdioDisc> disc;
  };
  auto box = std::make_shared<Box>();
  std::thread([box, path] {
    auto disc = CdioDisc::open(path, nullptr);
    std::lock_guard lock(box->m);
    box->disc = std::move(disc);
    box->done = true;
    box->cv.notify_all();
  }).detach();
  std::unique_lock lock(box->m);
  if (!box->cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return box->done; }))
    return nullptr;
  return std::move(box->disc);
}
}  // namespace

CdioDevice::CdioDevice(std::string path, AudioOutputFactory output, Playback::ClockUs clock)
    : path_(std::move(path)),
      outputFactory_(output ? std::move(output) : AlsaOutput::factory()),
      clock_(std::move(clock)) {}

CdioDevice::~CdioDevice() = default;

int32_t CdioDevice::msOfFrame(int64_t frame) {
  return static_cast<int32_t>(frame * 10 / 441);
}

int64_t CdioDevice::frameOfMs(int64_t ms) {
  return (ms * 441 + 9) / 10;
}

void CdioDevice::open() {
  close();
  std::unique_ptr<CdioDisc> disc = openBounded(path_, kOpenTimeoutMs);
  DiscToc toc;
  if (disc) {
    toc = disc->toc();
    isDrive_ = disc->isDrive();
  }
  toc_.clear();
  starts_.clear();
  for (const DiscTrack& t : toc.tracks) {
    const int64_t lba = int64_t{t.lsn} + kLeadInSectors;
    toc_.push_back({static_cast<int32_t>(lba * 40 / 3),
                    static_cast<int32_t>(int64_t{t.sectors} * 40 / 3), t.audio});
    starts_.push_back(lba * kFramesPerSector);
  }
  playback_ = std::make_unique<Playback>(std::move(disc), toc, outputFactory_, clock_);
}

void CdioDevice::close() {
  playback_.reset();
  toc_.clear();
  starts_.clear();
}

const std::vector<TocEntry>& CdioDevice::tocMs() const {
  if (!playback_ || playback_->mode() == DeviceMode::NoDisc) return kNoToc;
  return toc_;
}

int64_t CdioDevice::frameFor(int32_t ms) const {
  for (size_t i = 0; i < toc_.size(); ++i)
    if (toc_[i].start == ms) return starts_[i];
  return frameOfMs(ms);
}

void CdioDevice::play() {
  if (playback_) playback_->play();
}

void CdioDevice::stop() {
  if (playback_) playback_->stop();
}

void CdioDevice::seek(int32_t ms) {
  if (playback_) playback_->seek(frameFor(ms));
}

void CdioDevice::pause() {
  if (playback_) playback_->pause();
}

void CdioDevice::previous() {
  if (!playback_ || tocMs().empty()) return;
  const int64_t now = clock_();
  const bool repeated = now - lastPreviousUs_ < kPreviousRepeatWindowMs * 1000;
  lastPreviousUs_ = now;
  playback_->jump(frameFor(previousTarget(toc_, position(), repeated)));
}

void CdioDevice::next() {
  if (!playback_ || tocMs().empty()) return;
  playback_->jump(frameFor(nextTarget(toc_, position())));
}

void CdioDevice::eject() {
  if (playback_) playback_->eject();
}

int32_t CdioDevice::tracks() const {
  return static_cast<int32_t>(tocMs().size());
}

int32_t CdioDevice::trackPosition(int32_t track) const {
  return tocRow(tocMs(), track).start;
}

int32_t CdioDevice::trackLength(int32_t track) const {
  return tocRow(tocMs(), track).length;
}

int32_t CdioDevice::position() const {
  if (!playback_ || playback_->mode() == DeviceMode::NoDisc) return 0;
  return msOfFrame(playback_->position());
}

DeviceMode CdioDevice::mode() const {
  return playback_ ? playback_->mode() : DeviceMode::NotOpen;
}

bool CdioDevice::canEject() const {
  return playback_ && playback_->mode() != DeviceMode::NoDisc;
}
