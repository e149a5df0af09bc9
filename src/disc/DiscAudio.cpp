#include "disc/DiscAudio.h"

#include <algorithm>

DiscAudio::DiscAudio(const DiscToc& toc) {
  for (const DiscTrack& t : toc.tracks) {
    if (!t.audio || t.sectors <= 0) continue;
    const int64_t b = frameOfLsn(t.lsn);
    const int64_t e = std::min(frameOfLsn(int64_t{t.lsn} + t.sectors), frameOfLsn(toc.leadOutLsn));
    if (e > b) tracks_.push_back({b, e, t.preemphasis});
  }
  if (toc.tracks.empty()) return;
  present_ = true;
  firstFrame_ = frameOfLsn(toc.tracks.front().lsn);
  leadOut_ = frameOfLsn(toc.leadOutLsn);
}

int64_t DiscAudio::onDisc(int64_t frame) const {
  return std::clamp(frame, firstFrame_, std::max(firstFrame_, leadOut_));
}

int64_t DiscAudio::audioFrom(int64_t frame) const {
  for (const AudioTrack& t : tracks_)
    if (t.end > frame) return std::max(frame, t.begin);
  return leadOut_;
}
