#pragma once

#include <cstddef>
#include <cstdint>

// The CD de-emphasis filter, for tracks mastered with 50/15 us pre-emphasis:
// the analog network H(s) = (1 + s * 15 us) / (1 + s * 50 us) as a first-order
// shelf at 44.1 kHz. Its magnitude matches the network's exactly at DC and at
// the two corner frequencies (3183 Hz and 10610 Hz), and within 0.3 dB of it
// up to 20 kHz (-0.37 dB at 1 kHz, -7.6 dB at 10 kHz, unity at DC).
//
// Filters interleaved 16-bit stereo frames in place; the state of each
// channel carries over from one call to the next, so a stream filtered in
// pieces is the same as one filtered whole. Samples are rounded to the
// nearest and saturate at the 16-bit limits.
class Deemphasis {
 public:
  Deemphasis();

  // Forgets the past (as after a seek): the next frame starts from rest.
  void reset();
  void process(int16_t* frames, size_t count);

 private:
  // y[n] = b0 * x[n] + b1 * x[n-1] - a1 * y[n-1]
  double b0_ = 1, b1_ = 0, a1_ = 0;
  double x1_[2] = {0, 0};
  double y1_[2] = {0, 0};
};
