#include "sources/TocRules.h"

#include <algorithm>

void trimSessionGaps(DiscToc& toc) {
  for (size_t i = 0; i + 1 < toc.tracks.size(); ++i) {
    DiscTrack& t = toc.tracks[i];
    const DiscTrack& next = toc.tracks[i + 1];
    if (next.session <= t.session) continue;
    const int64_t audioEnd = int64_t{next.lsn} - kSessionGapSectors;
    if (audioEnd <= t.lsn) continue;
    t.sectors = static_cast<int32_t>(std::min<int64_t>(t.sectors, audioEnd - t.lsn));
  }
}
