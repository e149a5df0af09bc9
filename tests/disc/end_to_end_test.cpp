#include <gtest/gtest.h>

#include "support/PulseServer.h"
#include "support/RunningProgram.h"
#include "support/TestDisc.h"

// The real program through real ALSA, run by ctest inside
// tests/support/with-pulse.sh; skipped elsewhere.
TEST(EndToEnd, PlaysTheFirstAudioTrackThroughAlsa) {
  if (!pulse::privateServer()) GTEST_SKIP() << "needs tests/support/with-pulse.sh";
  // A data track first: the program must skip it and play track 2.
  discgen::DiscPlan plan = counterDisc({0, 20 * 75, 20 * 75});
  plan.tracks[0] = {discgen::TrackPlan::Kind::Data, 150};
  TestDisc disc(plan);
  pulse::Recording sink;
  RunningProgram velmar(disc.cue);
  // The frame of track 2 a frame heard holds (its counter), -1 for any other.
  const auto track2Frame = [](const int16_t* s) -> int64_t {
    return s[1] >= 600 && s[1] < 900 ? int64_t{s[1] - 600} * 32768 + s[0] : -1;
  };
  // The null sink holds its first audio for about 2 s, then plays in real
  // time; a loaded machine may take longer. Wanted: the first sound and a
  // second after it.
  qsizetype first = -1;
  const bool heard = sink.until(
      [&](const QByteArray& pcm) {
        const auto* s = reinterpret_cast<const int16_t*>(pcm.constData());
        for (first = 0; first < pcm.size() / 4 && s[first * 2] == 0 && s[first * 2 + 1] == 0;)
          ++first;
        return pcm.size() / 4 >= first + 44100;
      },
      60000);
  ASSERT_TRUE(heard) << sink.pcm().size() << " bytes: less than a second of audio came out";
  const auto* s = reinterpret_cast<const int16_t*>(sink.pcm().constData()) + first * 2;
  const int64_t start = track2Frame(s);
  EXPECT_TRUE(start >= 0 && start < 5 * 44100) << "not the opening of track 2: " << start;
  for (int64_t i = 1; i < 44100; ++i)
    ASSERT_EQ(track2Frame(s + i * 2), start + i) << "a gap or a change " << i << " frames in";
}
