#include <gtest/gtest.h>
#include <signal.h>

#include <QDeadlineTimer>
#include <QProcess>
#include <fstream>
#include <iterator>

#include "support/TestDisc.h"

// Run by ctest inside tests/support/with-pulse.sh (a private PulseAudio
// server whose default sink is the null sink "nullsink"); skipped elsewhere.
TEST(EndToEnd, PlaysTheFirstAudioTrackThroughAlsa) {
  if (!qgetenv("PULSE_SERVER").contains("velmar-pulse"))
    GTEST_SKIP() << "needs the private audio server of tests/support/with-pulse.sh";

  // A data track first: the program must skip it and play track 2.
  discgen::DiscPlan plan;
  plan.tracks.push_back({discgen::TrackPlan::Kind::Data, 150});
  plan.tracks.push_back({discgen::TrackPlan::Kind::Music, 20 * 75, 0, 1});
  plan.tracks.push_back({discgen::TrackPlan::Kind::Music, 20 * 75, 0, 2});
  TestDisc disc(plan);
  std::ifstream in(disc.bin, std::ios::binary);
  const std::string bin{std::istreambuf_iterator<char>(in), {}};

  // The sink's monitor, raw 44.1 kHz s16le stereo, recorded while the
  // program plays: a second of sound (and a little more) after the first.
  QProcess parec, velmar;
  parec.start("parec", {"-d", "nullsink.monitor", "--format=s16le", "--rate=44100", "--channels=2",
                        "--raw", "--latency-msec=20"});
  ASSERT_TRUE(parec.waitForStarted(5000));
  velmar.start(QStringLiteral(VELMAR_PROGRAM), {QString::fromStdString(disc.cue)});
  ASSERT_TRUE(velmar.waitForStarted(5000));
  const size_t second = 44100 * 4, want = second + 4096;
  std::string pcm;
  size_t first = std::string::npos;
  const QDeadlineTimer deadline(60000);
  // The null sink holds its first audio for about 2 s, then plays in real
  // time; a loaded machine may take longer.
  while (!deadline.hasExpired() && (first == std::string::npos || pcm.size() < first + want)) {
    parec.waitForReadyRead(100);
    pcm += parec.readAllStandardOutput().toStdString();
    if (const size_t i = pcm.find_first_not_of('\0'); i != std::string::npos) first = i / 4 * 4;
  }
  ::kill(static_cast<pid_t>(velmar.processId()), SIGTERM);
  ASSERT_TRUE(velmar.waitForFinished(10000)) << "SIGTERM closes the window";
  EXPECT_TRUE(velmar.exitStatus() == QProcess::NormalExit && velmar.exitCode() == 0)
      << velmar.readAllStandardError().toStdString();
  parec.terminate();
  parec.waitForFinished(5000);

  // The first sound heard, and a second of audio after it, are track 2's
  // opening, sample for sample.
  ASSERT_NE(first, std::string::npos) << "nothing came out of the sink";
  ASSERT_GE(pcm.size(), first + want) << "less than a second of audio came out";
  auto discFrameOf = [&](const std::string& block) -> int64_t {
    const size_t at = bin.find(block);
    return at == std::string::npos ? -1 : static_cast<int64_t>(at / 4) + 150 * 588;
  };
  const int64_t track2 = (150 + 150) * 588, at = discFrameOf(pcm.substr(first + second, 4096));
  EXPECT_GE(at, track2) << "not track 2's audio";
  EXPECT_LT(at, track2 + 5 * 44100) << "not the opening of track 2";
  EXPECT_EQ(discFrameOf(pcm.substr(first, second)), at - 44100)
      << "a second of audio played without a gap or a change";
}
