#include "disc/modFunciones.h"

#include <algorithm>

#include "disc/MMControl.h"

namespace modFunciones {

int16_t FindTrack(int32_t position, int16_t trackCount) {
  const int16_t n = std::min(trackCount, kMaxTracks);
  for (int16_t i = 1; i <= n; ++i) {
    const TrackEntry& row = TrackTable[static_cast<size_t>(i)];
    if (position < row.end && position >= row.start) return i;
  }
  return 0;
}

void RefreshCurrentTrack(const MMControl& device) {
  const int32_t position = device.Position();
  const int16_t tracks = TableTrackCount(device.Tracks());
  const int16_t k = FindTrack(position, tracks);
  SeekLeftLimit = kSeekLeftLimit;
  SeekRightLimit = kSeekRightLimit;
  CurrentStart = TrackTable[static_cast<size_t>(k)].start;
  CurrentEnd = TrackTable[static_cast<size_t>(k)].end;
}

void SetTrackRow(int16_t track, int32_t start, int32_t length) {
  if (track < 1 || track > kMaxTracks) return;
  TrackEntry& row = TrackTable[static_cast<size_t>(track)];
  row.start = start;
  row.length = length;
  const int64_t end = int64_t{length} + start;
  row.end = static_cast<int32_t>(std::clamp<int64_t>(end, INT32_MIN, INT32_MAX));
}

int16_t TableTrackCount(int32_t deviceTracks) {
  return static_cast<int16_t>(std::clamp<int32_t>(deviceTracks, 0, kMaxTracks));
}

void ResetState() {
  TrackTable = {};
  CurrentStart = 0;
  CurrentEnd = 0;
  SeekLeftLimit = 0;
  SeekRightLimit = 0;
}

}  // namespace modFunciones
