#include "disc/Deemphasis.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kRate = 44100.0;
constexpr double kPoleUs = 50.0;  // time constants of the network, us
constexpr double kZeroUs = 15.0;
constexpr double kPi = 3.14159265358979323846;

// |H(j w)|^2 of the analog network at `hz`.
double analogPower(double hz) {
  const double w = 2 * kPi * hz * 1e-6;
  return (1 + (w * kZeroUs) * (w * kZeroUs)) / (1 + (w * kPoleUs) * (w * kPoleUs));
}
}  // namespace

// A first-order section with a pole p, unity gain at DC:
//   H(z) = (b0 + b1 z^-1) / (1 - p z^-1),  b0 + b1 = 1 - p.
// Its power response at digital frequency w, with s = 1 - cos w, is
//   |H|^2 = ((1 - p)^2 + 2 q s) / ((1 - p)^2 + 2 p s),  q = -b0 * b1.
// Asking for the analog power t1, t2 at the corner frequencies gives, for each,
//   (1 - p)^2 (1 - t) = 2 s (t p - q),
// and eliminating q leaves a p^2 - (2a + b) p + a = 0 with
//   a = (1 - t1) / (2 s1) - (1 - t2) / (2 s2),  b = t1 - t2;
// its root inside the unit circle is the pole.
Deemphasis::Deemphasis() {
  const double f1 = 1e6 / (2 * kPi * kPoleUs), f2 = 1e6 / (2 * kPi * kZeroUs);
  const double t1 = analogPower(f1), t2 = analogPower(f2);
  const double s1 = 1 - std::cos(2 * kPi * f1 / kRate), s2 = 1 - std::cos(2 * kPi * f2 / kRate);
  const double a = (1 - t1) / (2 * s1) - (1 - t2) / (2 * s2), b = t1 - t2;
  const double p = ((2 * a + b) - std::sqrt((2 * a + b) * (2 * a + b) - 4 * a * a)) / (2 * a);
  const double q = t1 * p - (1 - p) * (1 - p) * (1 - t1) / (2 * s1);
  b0_ = ((1 - p) + std::sqrt((1 - p) * (1 - p) + 4 * q)) / 2;
  b1_ = (1 - p) - b0_;
  a1_ = -p;
}

void Deemphasis::reset() {
  x1_[0] = x1_[1] = 0;
  y1_[0] = y1_[1] = 0;
}

void Deemphasis::process(int16_t* frames, size_t count) {
  for (size_t i = 0; i < count * 2; ++i) {
    const size_t c = i & 1;
    const double x = frames[i];
    const double y = b0_ * x + b1_ * x1_[c] - a1_ * y1_[c];
    x1_[c] = x;
    y1_[c] = y;
    frames[i] = static_cast<int16_t>(std::clamp(std::lround(y), -32768L, 32767L));
  }
}
