#include "disc/StreamMap.h"

#include <algorithm>
#include <iterator>

#include "sources/DiscUnits.h"

void StreamMap::cut(int64_t stream) {
  while (segments_.size() > 1 && segments_.back().stream > stream) segments_.pop_back();
}

std::vector<StreamMap::Segment>::const_iterator StreamMap::after(int64_t stream) const {
  return std::upper_bound(segments_.begin(), segments_.end(), stream,
                          [](int64_t s, const Segment& g) { return s < g.stream; });
}

int64_t StreamMap::discOf(int64_t stream) const {
  const auto it = std::prev(after(stream));
  return it->disc + (stream - it->stream);
}

int64_t StreamMap::nextJump(int64_t stream, int64_t end) const {
  const auto it = after(stream);
  return it == segments_.end() ? end : it->stream;
}

void StreamPace::start(int64_t anchorUs) {
  written_ = 0;
  anchorUs_ = anchorUs;
}

int64_t StreamPace::clockFrames(int64_t nowUs) const {
  return std::max<int64_t>(0, framesOfUs(nowUs - anchorUs_));
}

int64_t StreamPace::heard(bool output, int64_t delay, int64_t nowUs) {
  int64_t played = written_;
  int64_t d = 0;
  if (output) {
    d = std::clamp<int64_t>(delay, 0, written_);
    played = written_ - d;
  }
  int64_t clockNow = clockFrames(nowUs);
  if (d > 0 && played > clockNow) {
    anchorUs_ = nowUs - usOfFrames(played);
    clockNow = played;
  }
  return std::min(played, clockNow);
}

void StreamPace::resume(int64_t nowUs) {
  anchorUs_ = std::max(anchorUs_, nowUs - usOfFrames(written_));
}

void StreamPace::rewind(int64_t heard, int64_t nowUs) {
  written_ = heard;
  anchorUs_ = nowUs - usOfFrames(heard);
}

int64_t StreamPace::clockAllows(int64_t want, int64_t nowUs) const {
  return std::clamp<int64_t>(clockFrames(nowUs) - written_, 0, want);
}

int64_t StreamPace::untilDueUs(int64_t want, int64_t nowUs) const {
  return std::min(usOfFrames(written_ + want - clockFrames(nowUs)) + 1000, usOfFrames(want));
}

int64_t StreamPace::untilWithinUs(int64_t lead, int64_t nowUs) const {
  const int64_t ahead = written_ - clockFrames(nowUs);
  return ahead > lead ? std::min<int64_t>(usOfFrames(ahead - lead) + 1000, 50000) : 0;
}
