#include "disc/Transport.h"

#include <algorithm>

TocEntry tocRow(const std::vector<TocEntry>& toc, int32_t track) {
  if (track < 1 || track > static_cast<int64_t>(toc.size())) return {};
  return toc[static_cast<size_t>(track - 1)];
}

int32_t leadOut(const std::vector<TocEntry>& toc) {
  int64_t end = 0;
  for (const TocEntry& t : toc) end = std::max<int64_t>(end, int64_t{t.start} + t.length);
  return static_cast<int32_t>(std::min<int64_t>(end, INT32_MAX));
}

namespace {
// Index of the last track starting at or before `ms`; 0 when none does.
size_t lastStartingAtOrBefore(const std::vector<TocEntry>& toc, int32_t ms) {
  size_t idx = 0;
  for (size_t i = 0; i < toc.size(); ++i)
    if (toc[i].start <= ms) idx = i;
  return idx;
}
}  // namespace

int32_t previousTarget(const std::vector<TocEntry>& toc, int32_t ms) {
  if (toc.empty()) return 0;
  size_t idx = lastStartingAtOrBefore(toc, ms);
  if (idx > 0 && int64_t{ms} - toc[idx].start < kPreviousBackWindowMs) --idx;
  return toc[idx].start;
}

int32_t nextTarget(const std::vector<TocEntry>& toc, int32_t ms) {
  if (toc.empty()) return 0;
  for (const TocEntry& t : toc)
    if (t.start > ms) return t.start;
  return toc.back().start;
}

int32_t clampToDisc(const std::vector<TocEntry>& toc, int32_t ms) {
  if (toc.empty()) return 0;
  return std::clamp(ms, toc.front().start, std::max(toc.front().start, leadOut(toc)));
}
