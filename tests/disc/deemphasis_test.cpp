#include "disc/Deemphasis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

TEST(Deemphasis, ResponseFollowsThe50And15MicrosecondNetwork) {
  // The network's response: 10 log10((1 + (w 15us)^2) / (1 + (w 50us)^2)).
  // A second of a tone of amplitude 16000 on each channel, a different one
  // on each, so that a state shared between channels shows too; levels over
  // the second half, past the filter's start.
  const struct {
    double hz[2], db[2];
  } cases[] = {
      {{1000, 10000}, {-0.37, -7.60}},
      {{3183, 100}, {-2.64, -0.004}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.hz[0] << " Hz / " << c.hz[1] << " Hz");
    std::vector<int16_t> s(44100 * 2);
    for (size_t i = 0; i < s.size(); ++i)
      s[i] = static_cast<int16_t>(
          std::lround(16000 * std::sin(2 * std::numbers::pi * c.hz[i % 2] * (i / 2) / 44100)));
    Deemphasis().process(s.data(), 44100);
    for (size_t ch = 0; ch < 2; ++ch) {
      double power = 0;
      for (size_t i = 44100 + ch; i < s.size(); i += 2) power += static_cast<double>(s[i]) * s[i];
      EXPECT_NEAR(10 * std::log10(power / 22050 / (16000.0 * 16000 / 2)), c.db[ch], 0.3)
          << "channel " << ch;
    }
  }
}

TEST(Deemphasis, PiecesOfAnyLengthFilterAsOneBlockAndResetStartsAfresh) {
  // A loud, busy signal.
  std::vector<int16_t> in(20000 * 2);
  uint32_t x = 12345;
  for (int16_t& v : in)
    v = static_cast<int16_t>(static_cast<int32_t>((x = x * 1103515245u + 12345u) >> 16) - 32768);
  std::vector<int16_t> whole = in, pieces = in, again = in;
  Deemphasis one, many;
  one.process(whole.data(), whole.size() / 2);
  EXPECT_NE(whole, in);
  const size_t sizes[] = {1, 7, 588, 2, 14700, 1000};
  for (size_t k = 0, at = 0; at < in.size() / 2; at += sizes[k++ % std::size(sizes)])
    many.process(pieces.data() + at * 2, std::min(sizes[k % std::size(sizes)], in.size() / 2 - at));
  EXPECT_EQ(pieces, whole);
  many.reset();
  many.process(again.data(), again.size() / 2);
  EXPECT_EQ(again, whole) << "after a reset, as a new filter";
}
