#include "view/SeekMath.h"

#include <algorithm>
#include <cmath>

#include "app/Layout.h"
#include "disc/modFunciones.h"

namespace seekmath {

float ThumbLeft(int32_t position, int32_t start, int32_t end, int32_t leftLimit,
                int16_t rightLimit) {
  if (end == start) return 0.0f;
  const double left = (static_cast<double>(position) - start) *
                      (static_cast<double>(rightLimit) - leftLimit) /
                      (static_cast<double>(end) - start);
  return static_cast<float>(left);
}

bool WithinLimits(float x, int32_t leftLimit, int16_t rightLimit) {
  return static_cast<double>(leftLimit) <= x && x <= static_cast<double>(rightLimit);
}

std::optional<int32_t> SeekTarget(float left, int32_t start, int32_t end, int32_t leftLimit,
                                  int16_t rightLimit) {
  if (end == start || rightLimit == leftLimit || !std::isfinite(left)) return std::nullopt;
  const double l = left;
  const double target =
      (l * end + static_cast<double>(start) * ((static_cast<double>(rightLimit) - l) - leftLimit)) /
      (static_cast<double>(rightLimit) - leftLimit);
  const double held =
      std::clamp(target, static_cast<double>(INT32_MIN), static_cast<double>(INT32_MAX));
  // Halves to even under the default rounding mode.
  return static_cast<int32_t>(std::nearbyint(held));
}

int ThumbPixelX(float left) {
  if (!std::isfinite(left)) return 0;
  const double pixels = static_cast<double>(left) / layout::kTwipsPerPixel;
  return static_cast<int>(std::nearbyint(
      std::clamp(pixels, static_cast<double>(INT16_MIN), static_cast<double>(INT16_MAX))));
}

std::optional<int16_t> TrackForListIndex(int listIndex) {
  if (listIndex < -1 || listIndex >= modFunciones::kMaxTracks) return std::nullopt;
  return static_cast<int16_t>(listIndex + 1);
}

}  // namespace seekmath
