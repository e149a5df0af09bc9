#include "disc/MMControl.h"

#include <algorithm>
#include <cctype>

namespace {
bool sameWord(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}
}  // namespace

MMControl::MMControl(std::unique_ptr<CdDevice> device, QWidget* parent)
    : QWidget(parent), device_(std::move(device)) {
  // Changes found off this thread are applied here, between events; none
  // is applied once the control is gone. Only the newest of those waiting
  // is applied: it holds what the drive holds now.
  device_->setDiscChangeHandler([this](std::function<void()> apply) {
    const uint64_t change = ++discChanges_;
    QMetaObject::invokeMethod(
        this,
        [this, change, apply = std::move(apply)] {
          if (!open_ || change != discChanges_) return;
          apply();
          emit discChanged();
        },
        Qt::QueuedConnection);
  });
}

MMControl::~MMControl() {
  device_->setDiscChangeHandler({});
  if (open_) device_->close();
}

MMControl::TraceHook& MMControl::traceHook() {
  static TraceHook hook;
  return hook;
}

void MMControl::trace(const std::string& what) {
  if (traceHook()) traceHook()(what);
}

void MMControl::setDeviceType(std::string type) {
  trace("DeviceType=" + type);
  deviceType_ = std::move(type);
}

void MMControl::setTimeFormat(int32_t format) {
  trace("TimeFormat=" + std::to_string(format));
  timeFormat_ = format;
}

void MMControl::setTrack(int32_t track) {
  trace("Track=" + std::to_string(track));
  track_ = track;
}

void MMControl::setTo(int32_t ms) {
  trace("To=" + std::to_string(ms));
  to_ = ms;
}

void MMControl::setFileName(std::string path) {
  trace("FileName=" + path);
  fileName_ = std::move(path);
  fileNameSet_ = true;
}

void MMControl::Command(std::string_view word) {
  trace(std::string(word));
  if (sameWord(word, "open")) {
    if (open_ || !sameWord(deviceType_, "cdaudio")) return;
    if (fileNameSet_) device_->setPath(fileName_);
    device_->open();
    open_ = true;
  } else if (sameWord(word, "close")) {
    if (!open_) return;
    device_->close();
    open_ = false;
  } else if (!open_) {
    return;
  } else if (sameWord(word, "play")) {
    device_->play();
  } else if (sameWord(word, "stop")) {
    device_->stop();
  } else if (sameWord(word, "seek")) {
    device_->seek(to_);
  } else if (sameWord(word, "pause")) {
    device_->pause();
  } else if (sameWord(word, "prev")) {
    device_->previous();
  } else if (sameWord(word, "next")) {
    device_->next();
  } else if (sameWord(word, "eject")) {
    device_->eject();
  } else {
    return;
  }
  emit commandSent(QString::fromUtf8(word.data(), static_cast<qsizetype>(word.size())));
}

int32_t MMControl::Tracks() const {
  return open_ ? device_->tracks() : 0;
}
int32_t MMControl::TrackPosition() const {
  return open_ ? device_->trackPosition(track_) : 0;
}
int32_t MMControl::TrackLength() const {
  return open_ ? device_->trackLength(track_) : 0;
}
int32_t MMControl::Position() const {
  return open_ ? device_->position() : 0;
}
DeviceMode MMControl::Mode() const {
  return open_ ? device_->mode() : DeviceMode::NotOpen;
}
bool MMControl::CanEject() const {
  return open_ && device_->canEject();
}
CdText MMControl::Text(int32_t track) const {
  return open_ ? device_->text(track) : CdText{};
}
