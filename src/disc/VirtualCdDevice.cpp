#include "disc/VirtualCdDevice.h"

#include <utility>

VirtualCdDevice::VirtualCdDevice(std::vector<TocEntry> toc, Clock clock)
    : disc_(std::move(toc)), clock_(std::move(clock)) {}

void VirtualCdDevice::open() {
  log_.emplace_back("open");
  toc_ = disc_;
  position_ = toc_.empty() ? 0 : toc_.front().start;
  mode_ = toc_.empty() ? DeviceMode::NoDisc : DeviceMode::Stopped;
}

void VirtualCdDevice::close() {
  log_.emplace_back("close");
  toc_.clear();
  position_ = 0;
  mode_ = DeviceMode::NotOpen;
}

void VirtualCdDevice::play() {
  log_.emplace_back("play");
  advance();
  if (mode_ != DeviceMode::Stopped && mode_ != DeviceMode::Paused) return;
  mode_ = DeviceMode::Playing;
  anchorUs_ = clock_();
  advance();
}

void VirtualCdDevice::stop() {
  log_.emplace_back("stop");
  advance();
  if (mode_ == DeviceMode::Playing || mode_ == DeviceMode::Paused) mode_ = DeviceMode::Stopped;
}

void VirtualCdDevice::seek(int32_t ms) {
  log_.push_back("seek " + std::to_string(ms));
  advance();
  if (toc_.empty()) return;
  position_ = clampToDisc(toc_, ms);
  if (mode_ == DeviceMode::Playing) mode_ = DeviceMode::Stopped;
}

void VirtualCdDevice::pause() {
  log_.emplace_back("pause");
  advance();
  if (mode_ == DeviceMode::Playing) {
    mode_ = DeviceMode::Paused;
  } else if (mode_ == DeviceMode::Paused) {
    mode_ = DeviceMode::Playing;
    anchorUs_ = clock_();
  }
}

void VirtualCdDevice::previous() {
  log_.emplace_back("previous");
  advance();
  if (toc_.empty()) return;
  jumpTo(previousTarget(toc_, position_));
}

void VirtualCdDevice::next() {
  log_.emplace_back("next");
  advance();
  if (toc_.empty()) return;
  jumpTo(nextTarget(toc_, position_));
}

void VirtualCdDevice::eject() {
  log_.emplace_back("eject");
  if (mode_ == DeviceMode::NotOpen) return;
  toc_.clear();
  position_ = 0;
  mode_ = DeviceMode::NoDisc;
}

void VirtualCdDevice::jumpTo(int32_t ms) {
  position_ = ms;
  anchorUs_ = clock_();
}

int32_t VirtualCdDevice::tracks() const {
  return static_cast<int32_t>(toc_.size());
}

int32_t VirtualCdDevice::trackPosition(int32_t track) const {
  return tocRow(toc_, track).start;
}

int32_t VirtualCdDevice::trackLength(int32_t track) const {
  return tocRow(toc_, track).length;
}

CdText VirtualCdDevice::text(int32_t track) const {
  if (toc_.empty()) return {};
  const auto it = text_.find(track);
  return it == text_.end() ? CdText{} : it->second;
}

void VirtualCdDevice::setText(int32_t track, CdText text) {
  text_[track] = std::move(text);
}

int32_t VirtualCdDevice::position() const {
  advance();
  return position_;
}

DeviceMode VirtualCdDevice::mode() const {
  advance();
  return mode_;
}

void VirtualCdDevice::advance() const {
  if (mode_ != DeviceMode::Playing) return;
  // Whole ms played; the rest counts towards the next.
  const int64_t ms = (clock_() - anchorUs_) / 1000;
  int64_t pos = int64_t{position_} + ms;
  anchorUs_ += ms * 1000;
  // Skip data tracks: their time is not played, playback goes on at the
  // next audio track.
  for (size_t i = 0; i < toc_.size(); ++i) {
    const TocEntry& t = toc_[i];
    const int64_t end = int64_t{t.start} + t.length;
    if (!t.audio && pos >= t.start && pos < end) pos = end;
  }
  if (pos >= leadOut(toc_)) {
    mode_ = DeviceMode::Stopped;
    position_ = toc_.front().start;
    return;
  }
  position_ = static_cast<int32_t>(pos);
}
