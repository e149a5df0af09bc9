#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>
#include <chrono>
#include <thread>

#include "support/PulseServer.h"
#include "support/RunningProgram.h"
#include "support/TestDisc.h"

// Run by ctest inside tests/support/with-pulse.sh: the real program with its
// mixer and its sound, stopped by signals.
TEST(PulseSignals, AnyNumberOfTermAndIntInAnyRhythmCloseItOnceWithStatusZero) {
  if (!pulse::privateServer()) GTEST_SKIP() << "needs tests/support/with-pulse.sh";
  TestDisc disc(counterDisc({75 * 60}));

  struct Rhythm {
    const char* name;
    bool waitForSound;  // false: as soon as the handlers are in place
    int count;
    int gapUs;
    bool stalled = false;  // the sound server stalls first: closing takes long
  };
  const Rhythm rhythms[] = {
      {"a burst while it starts", false, 3000, 0},
      {"a burst while it plays", true, 3000, 0},
      {"one every 5 ms while it plays and while it ends", true, 400, 5000},
      // Each signal comes on its own while the close waits on the server:
      // hundreds of them reach the handler.
      {"one every millisecond while the server is stalled", true, 3000, 1000, true},
  };
  for (const Rhythm& r : rhythms) {
    SCOPED_TRACE(r.name);
    RunningProgram velmar(disc.cue);
    ASSERT_TRUE(QTest::qWaitFor([&] { return velmar.catchesSignals(); }, 10000));
    if (r.waitForSound) {
      ASSERT_TRUE(velmar.streams(15000));
    }
    if (r.stalled) pulse::stall();
    QElapsedTimer clock;
    clock.start();
    int sent = 0;
    for (; sent < r.count; ++sent) {
      if (sent % 50 == 0 && !velmar.running()) break;
      velmar.signal(sent % 2 ? SIGINT : SIGTERM);
      if (r.gapUs) std::this_thread::sleep_for(std::chrono::microseconds(r.gapUs));
    }
    const qint64 ms = velmar.waitForEnd(r.stalled ? 4000 : 10000);
    if (r.stalled) pulse::resume();
    std::printf("[ figure ] %s: %d signals, ended %lld ms after the first\n", r.name, sent,
                static_cast<long long>(ms < 0 ? -1 : clock.elapsed()));
    ASSERT_GE(ms, 0) << "still running long after the signals";
    EXPECT_TRUE(velmar.endedWell()) << velmar.errors();
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(velmar.errors(), "") << "nothing said, nothing done twice";
  }
}

// No sound system: the load shows its one message and waits for the user.
// A SIGTERM then dismisses the message and closes the window.
TEST(Signals, ATermWhileTheNoMixerMessageWaitsEndsTheProgram) {
  TestDisc disc(counterDisc({75 * 10}));
  const auto config = pulse::unreachableAlsa();
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("ALSA_CONFIG_PATH", config->fileName());
  env.remove("PULSE_SERVER");
  RunningProgram velmar(disc.cue, env);
  ASSERT_TRUE(QTest::qWaitFor([&] { return velmar.catchesSignals(); }, 10000));
  QTest::qWait(500);  // the message is up by now (or comes with the signal waiting)
  ASSERT_TRUE(velmar.running());
  ASSERT_GE(velmar.terminate(), 0) << "the message kept the program waiting";
  EXPECT_TRUE(velmar.endedWell()) << velmar.errors();
}
