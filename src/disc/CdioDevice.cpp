#include "disc/CdioDevice.h"

#include "disc/AlsaOutput.h"
#include "sources/Cancellation.h"

namespace {
const std::vector<TocEntry> kNoToc;
}  // namespace

struct CdioDevice::Prepared : PreparedDisc {
  std::string path;
  std::shared_ptr<SectorSource> disc;  // null: none (yet)
  std::unique_ptr<DriveWatch> watch;   // a drive's, watching already
};

CdioDevice::CdioDevice(std::string path, AudioOutputFactory output, Clock clock, DiscAccess access)
    : path_(std::move(path)),
      outputFactory_(output ? std::move(output) : AlsaOutput::factory()),
      clock_(std::move(clock)),
      access_(std::move(access)) {}

CdioDevice::~CdioDevice() {
  setDiscChangeHandler({});
  close();
}

DiscPreparer CdioDevice::preparer() const {
  return [access = access_](const std::string& path,
                            std::string* problem) -> std::unique_ptr<PreparedDisc> {
    auto p = std::make_unique<Prepared>();
    if (std::unique_ptr<Drive> drive = access.drive ? access.drive(path) : nullptr) {
      p->watch = std::make_unique<DriveWatch>(std::move(drive), access.watchIntervalMs, kQuietSpeed,
                                              nullptr);
      if (auto first = p->watch->first(access.driveOpenWaitMs, Cancellation::current()))
        p->disc = std::move(*first);
    } else if (!path.empty() && access.image) {
      p->disc = access.image(path, problem);
      if (!p->disc) return nullptr;
    }
    return p;
  };
}

void CdioDevice::adopt(const std::string& path, std::unique_ptr<PreparedDisc> disc) {
  prepared_.reset(dynamic_cast<Prepared*>(disc.get()));
  if (!prepared_) return;
  disc.release();
  prepared_->path = path;
}

void CdioDevice::setPath(const std::string& path) {
  ++generation_;
  path_ = path;
}

void CdioDevice::setDiscChangeHandler(DiscChangeHandler handler) {
  std::lock_guard lock(announcer_->m);
  announcer_->handler = std::move(handler);
}

DriveWatch::Report CdioDevice::reportFor(uint64_t generation) {
  // Discs found later are put in on the commanding thread, through the
  // handler, unless the device has been closed or re-aimed meanwhile. The
  // watching thread may report after the device is gone: it reaches only
  // the shared announcer, whose handler the device unset.
  return [announcer = announcer_, this, generation](std::shared_ptr<SectorSource> disc) {
    std::lock_guard lock(announcer->m);
    if (!announcer->handler) return;
    announcer->handler([this, generation, disc = std::move(disc)]() mutable {
      if (generation == generation_) install(std::move(disc));
    });
  };
}

void CdioDevice::open() {
  close();
  const uint64_t generation = ++generation_;
  if (std::unique_ptr<Prepared> p = std::move(prepared_); p && p->path == path_) {
    install(std::move(p->disc));
    if (p->watch) {
      watch_ = std::move(p->watch);
      watch_->setReport(reportFor(generation));
    }
    return;
  }
  std::unique_ptr<Drive> drive = access_.drive ? access_.drive(path_) : nullptr;
  if (!drive) {
    std::shared_ptr<SectorSource> disc;
    if (!path_.empty() && access_.image) disc = access_.image(path_, nullptr);
    install(std::move(disc));
    return;
  }
  watch_ = std::make_unique<DriveWatch>(std::move(drive), access_.watchIntervalMs, kQuietSpeed,
                                        reportFor(generation));
  std::optional<std::shared_ptr<SectorSource>> first = watch_->first(access_.driveOpenWaitMs);
  install(first ? std::move(*first) : nullptr);
}

void CdioDevice::close() {
  ++generation_;
  watch_.reset();
  playback_.reset();
  disc_ = {};
  toc_.clear();
  starts_.clear();
}

void CdioDevice::install(std::shared_ptr<SectorSource> disc) {
  playback_.reset();
  disc_ = disc ? disc->toc() : DiscToc{};
  toc_.clear();
  starts_.clear();
  for (const DiscTrack& t : disc_.tracks) {
    toc_.push_back({msOfLsn(t.lsn), msOfSectors(t.sectors), t.audio});
    starts_.push_back(frameOfLsn(t.lsn));
  }
  playback_ = std::make_unique<Playback>(std::move(disc), outputFactory_, clock_);
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
  playback_->jump(frameFor(previousTarget(toc_, position())));
}

void CdioDevice::next() {
  if (!playback_ || tocMs().empty()) return;
  playback_->jump(frameFor(nextTarget(toc_, position())));
}

// The disc leaves the device at once (so the drive is free to open); the
// tray moves from the watching thread. The window hears of it as of any
// disc that leaves.
void CdioDevice::eject() {
  if (!playback_ || !canEject()) return;
  const bool hadDisc = playback_->mode() != DeviceMode::NoDisc;
  if (hadDisc) install(nullptr);
  if (watch_) watch_->ejectOrClose();
  if (!hadDisc) return;
  std::lock_guard lock(announcer_->m);
  if (announcer_->handler) announcer_->handler([] {});
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
  if (!playback_) return false;
  if (watch_) return watch_->canEject();
  return playback_->mode() != DeviceMode::NoDisc;
}

CdText CdioDevice::text(int32_t track) const {
  if (tocMs().empty()) return {};
  if (track == 0) return disc_.text;
  if (track < 1 || track > static_cast<int32_t>(disc_.tracks.size())) return {};
  return disc_.tracks[static_cast<size_t>(track - 1)].text;
}
