#pragma once

#include <algorithm>
#include <cmath>

// The volume slider's scale seen from the listener's side. The slider runs
// from 0 at its top (loudest) to 65535 at its bottom (silent); loudness is
// 1.0 at the top and 0.0 at the bottom.
namespace volumescale {

inline constexpr int kSliderMax = 65535;

inline double loudness(int sliderValue) {
  return static_cast<double>(kSliderMax - std::clamp(sliderValue, 0, kSliderMax)) / kSliderMax;
}

// The slider value for `loudness` (kept within 0.0 to 1.0), rounded to the
// nearest step, halves to even.
inline int sliderValueFor(double loudness) {
  const double l = std::isnan(loudness) ? 0.0 : std::clamp(loudness, 0.0, 1.0);
  return kSliderMax - static_cast<int>(std::nearbyint(l * kSliderMax));
}

// Loudness as a whole percentage, 0 to 100.
inline int percent(int sliderValue) {
  return static_cast<int>(std::nearbyint(loudness(sliderValue) * 100.0));
}

}  // namespace volumescale
