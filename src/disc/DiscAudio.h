#pragma once

#include <cstdint>
#include <vector>

#include "sources/SectorSource.h"

// The audio of a disc as playback sees it: its audio tracks as stretches of
// disc frames (see sources/DiscUnits.h), in disc order. Data tracks hold no
// audio; an Enhanced CD's last audio track ends at the audio session's
// lead-out.
struct AudioTrack {
  int64_t begin = 0, end = 0;  // frames; sector boundaries
  bool preemphasis = false;
};

class DiscAudio {
 public:
  explicit DiscAudio(const DiscToc& toc);

  // False when there is no disc.
  bool present() const { return present_; }
  const std::vector<AudioTrack>& tracks() const { return tracks_; }
  int64_t firstFrame() const { return firstFrame_; }  // start of track 1
  int64_t leadOut() const { return leadOut_; }

  // `frame` brought onto the disc: from track 1's start to the lead-out.
  int64_t onDisc(int64_t frame) const;
  // The first audio frame at or after `frame`; the lead-out when there is
  // none.
  int64_t audioFrom(int64_t frame) const;

 private:
  std::vector<AudioTrack> tracks_;
  bool present_ = false;
  int64_t firstFrame_ = 0;
  int64_t leadOut_ = 0;
};
