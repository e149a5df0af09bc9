#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <algorithm>
#include <fstream>
#include <iterator>

#include "support/TestDisc.h"

// Run by ctest inside tests/support/with-pulse.sh (a private PulseAudio
// server whose default sink is the null sink "nullsink"); skipped elsewhere.

namespace {
std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Records the null sink's monitor, raw 44.1 kHz s16le stereo.
struct Recorder {
  QProcess parec;
  std::string pcm;
  Recorder() {
    parec.start("parec", {"-d", "nullsink.monitor", "--format=s16le", "--rate=44100",
                          "--channels=2", "--raw", "--latency-msec=20"});
  }
  // Records until `frames` of sound have come out after the first, or
  // `timeoutMs` has passed.
  void recordSound(int64_t frames, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
      parec.waitForReadyRead(100);
      pcm += parec.readAllStandardOutput().toStdString();
      const size_t first = firstSound();
      if (first < pcm.size() && pcm.size() - first >= static_cast<size_t>(frames) * 4) return;
    }
  }
  size_t firstSound() const {
    const auto at = std::find_if(pcm.begin(), pcm.end(), [](char c) { return c != 0; });
    return static_cast<size_t>(at - pcm.begin()) / 4 * 4;
  }
  void stop() {
    parec.terminate();
    parec.waitForFinished(5000);
    pcm += parec.readAllStandardOutput().toStdString();
  }
};

// Where `block` sits in the .bin, in frames from the start of the disc; -1
// when it is nowhere.
int64_t discFrameOf(const std::string& bin, const std::string& block) {
  const auto at = std::search(bin.begin(), bin.end(), block.begin(), block.end());
  if (at == bin.end()) return -1;
  return (at - bin.begin()) / 4 + 150 * 588;
}
}  // namespace

TEST(EndToEnd, PlaysTheFirstAudioTrackThroughAlsa) {
  if (!qgetenv("PULSE_SERVER").contains("velmar-pulse"))
    GTEST_SKIP() << "needs the private audio server of tests/support/with-pulse.sh";

  // A data track first: the program must skip it and play track 2.
  discgen::DiscPlan plan;
  plan.tracks.push_back({discgen::TrackSpec::Kind::Data, 150, 0, 0, 0});
  plan.tracks.push_back({discgen::TrackSpec::Kind::Music, 20 * 75, 0, 1, 0});
  plan.tracks.push_back({discgen::TrackSpec::Kind::Music, 20 * 75, 0, 2, 0});
  TestDisc disc(plan);
  ASSERT_EQ(disc.error, "");
  const std::string bin = readFile(disc.bin);

  Recorder rec;
  ASSERT_TRUE(rec.parec.waitForStarted(5000));
  QProcess velmar;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  velmar.setProcessEnvironment(env);
  velmar.start(QStringLiteral(VELMAR_PROGRAM), {QString::fromStdString(disc.cue)});
  ASSERT_TRUE(velmar.waitForStarted(5000));
  // The null sink holds its first audio for about 2 s, then plays in real
  // time; a loaded machine may take longer.
  rec.recordSound(44100 + 2048, 60000);
  ::kill(static_cast<pid_t>(velmar.processId()), SIGTERM);
  ASSERT_TRUE(velmar.waitForFinished(10000)) << "SIGTERM closes the window";
  EXPECT_EQ(velmar.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(velmar.exitCode(), 0) << velmar.readAllStandardError().toStdString();
  rec.stop();
  const std::string& pcm = rec.pcm;

  // The first sound heard, and a second of audio after it, are track 2's
  // opening, sample for sample.
  const size_t start = rec.firstSound();
  ASSERT_LT(start, pcm.size()) << "nothing came out of the sink";
  ASSERT_GE(pcm.size(), start + 44100 * 4 + 4096) << "less than a second of audio came out";
  const int64_t track2 = (150 + 150) * 588;
  const int64_t at = discFrameOf(bin, pcm.substr(start + 44100 * 4, 4096));
  EXPECT_GE(at, track2) << "not track 2's audio";
  EXPECT_LT(at, track2 + 5 * 44100) << "not the opening of track 2";
  EXPECT_EQ(discFrameOf(bin, pcm.substr(start, 44100 * 4)), at - 44100)
      << "a second of audio played without a gap or a change";
}
