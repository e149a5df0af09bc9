#include "disc/Deemphasis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// One second of a sine of `hz` on the left channel and of `hzRight` on the
// right, amplitude 16000.
std::vector<int16_t> sines(double hz, double hzRight) {
  std::vector<int16_t> s(44100 * 2);
  for (size_t i = 0; i < 44100; ++i) {
    s[2 * i] = static_cast<int16_t>(std::lround(16000 * std::sin(2 * kPi * hz * i / 44100)));
    s[2 * i + 1] =
        static_cast<int16_t>(std::lround(16000 * std::sin(2 * kPi * hzRight * i / 44100)));
  }
  return s;
}

// Level of `out` against `in` over the second half (past the filter's
// start), dB, on channel `ch`.
double gainDb(const std::vector<int16_t>& in, const std::vector<int16_t>& out, size_t ch) {
  double a = 0, b = 0;
  for (size_t i = in.size() / 2 + ch; i < in.size(); i += 2) {
    a += static_cast<double>(in[i]) * in[i];
    b += static_cast<double>(out[i]) * out[i];
  }
  return 10 * std::log10(b / a);
}

}  // namespace

TEST(Deemphasis, ResponseFollowsThe50And15MicrosecondNetwork) {
  // The network's response: 10 log10((1 + (w 15us)^2) / (1 + (w 50us)^2)).
  // Each channel carries its own tone, so a state shared between channels
  // shows too.
  struct Case {
    double left, right;
    double leftDb, rightDb;
  } cases[] = {
      {1000, 10000, -0.37, -7.60},
      {10000, 1000, -7.60, -0.37},
      {100, 5000, -0.004, -4.53},
      {3183, 16000, -2.64, -9.04},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.left << " Hz / " << c.right << " Hz");
    const std::vector<int16_t> in = sines(c.left, c.right);
    std::vector<int16_t> out = in;
    Deemphasis f;
    f.process(out.data(), out.size() / 2);
    EXPECT_NEAR(gainDb(in, out, 0), c.leftDb, 0.3);
    EXPECT_NEAR(gainDb(in, out, 1), c.rightDb, 0.3);
  }
}

TEST(Deemphasis, PiecesOfAnyLengthFilterAsOneBlockAndResetStartsAfresh) {
  // A loud, busy signal (a mix of tones and steps).
  std::vector<int16_t> in(20000 * 2);
  uint32_t x = 12345;
  for (size_t i = 0; i < in.size(); ++i) {
    x = x * 1103515245u + 12345u;
    in[i] = static_cast<int16_t>(static_cast<int32_t>(x >> 16) - 32768);
  }
  std::vector<int16_t> whole = in;
  Deemphasis one;
  one.process(whole.data(), whole.size() / 2);
  EXPECT_NE(whole, in);

  std::vector<int16_t> pieces = in;
  Deemphasis many;
  const size_t sizes[] = {1, 7, 588, 2, 14700, 1000};
  size_t at = 0;
  for (size_t k = 0; at < pieces.size() / 2; ++k) {
    const size_t n = std::min(sizes[k % std::size(sizes)], pieces.size() / 2 - at);
    many.process(pieces.data() + at * 2, n);
    at += n;
  }
  EXPECT_EQ(pieces, whole);

  // After a reset the same input gives the same output as a new filter.
  std::vector<int16_t> again = in;
  many.reset();
  many.process(again.data(), again.size() / 2);
  EXPECT_EQ(again, whole);
}

TEST(Deemphasis, FullScaleSettlesAtFullScaleWithoutWrapping) {
  for (const int16_t level : {int16_t{32767}, int16_t{-32768}}) {
    std::vector<int16_t> s(4410 * 2, level);
    Deemphasis f;
    f.process(s.data(), s.size() / 2);
    for (size_t i = 0; i < s.size(); ++i)
      ASSERT_TRUE(level > 0 ? s[i] > 0 : s[i] < 0) << "sample " << i << ": " << s[i];
    EXPECT_EQ(s.back(), level) << "unity gain at DC";
  }
}
