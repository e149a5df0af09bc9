#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <chrono>
#include <thread>

#include "app/Signals.h"
#include "support/PulseServer.h"
#include "support/RunningProgram.h"
#include "support/TestDisc.h"

// The real program against the private sound server of with-pulse.sh, with
// no session bus: started while the server is stalled, it shows its window
// (on the private X server of xvfb-run, found by xdotool: it did not block
// before its event loop); the server killed and started again while it
// plays, the disc is heard again; a flood of signals while the server is
// stalled and its close waits on it ends it once, with status 0. It says
// nothing all along (nothing of the missing bus), and a stream role the user
// set wins over "music".
TEST(PulseSignals, AServerThatRestartsOrStallsAndAnyNumberOfSignalsLeaveItWell) {
  if (!pulse::privateServer()) GTEST_SKIP() << "needs tests/support/with-pulse.sh";
  if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "needs xvfb-run";
  TestDisc disc(counterDisc({75 * 60}));
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/velmar-bus");
  env.insert("QT_QPA_PLATFORM", "xcb");
  env.insert("PULSE_PROP", "media.role=video");
  pulse::stall();
  RunningProgram velmar(disc.cue, env);
  QProcess search;
  search.setProcessEnvironment(env);
  search.start("xdotool", {"search", "--sync", "--onlyvisible", "--name", "^Velmar$"});
  EXPECT_TRUE(search.waitForFinished(15000) && search.exitCode() == 0) << "no window";
  std::printf("[ figure ] window shown %lld ms after a start during a stall\n",
              static_cast<long long>(velmar.ms()));
  pulse::resume();
  ASSERT_TRUE(velmar.streams(15000));
  EXPECT_EQ(velmar.stream().value("media.role").toString(), "video");
  QTest::qWait(500);
  ASSERT_TRUE(pulse::restart());
  // The new server's output is opened by itself and the disc heard again: a
  // run of 1000 frames whose left samples count up one by one.
  pulse::Recording sink;
  const bool heard = sink.until(
      [](const QByteArray& pcm) {
        const auto* s = reinterpret_cast<const int16_t*>(pcm.constData());
        for (qsizetype i = 1, run = 0; i < pcm.size() / 4; ++i)
          if ((run = s[i * 2] != 0 && int16_t(s[i * 2] - s[i * 2 - 2]) == 1 ? run + 1 : 0) >= 1000)
            return true;
        return false;
      },
      20000);
  EXPECT_TRUE(heard) << sink.pcm().size() << " bytes recorded, none of the disc";

  // 3000 signals, TERM and INT by turns, one every ms until it ends, which it
  // does once, within 2.5 s of the first.
  pulse::stall();
  QTest::qWait(300);
  QElapsedTimer clock;
  clock.start();
  for (int sent = 0; sent < 3000 && (sent % 50 || velmar.running()); ++sent) {
    velmar.signal(sent % 2 ? SIGINT : SIGTERM);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(velmar.waitForEnd(4000) >= 0 && velmar.endedWell()) << velmar.errors();
  std::printf("[ figure ] ended %lld ms after the first signal\n",
              static_cast<long long>(clock.elapsed()));
  EXPECT_LT(clock.elapsed(), 2500);
  EXPECT_EQ(velmar.errors(), "") << "nothing said, nothing done twice";
  pulse::resume();
}

// No sound system: the load shows its one message and waits for the user;
// ALSA prints nothing. A SIGTERM then dismisses the message and closes the
// window.
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
  EXPECT_TRUE(velmar.endedWell());
  const std::string said = velmar.errors();
  EXPECT_EQ(said.find("ALSA"), std::string::npos) << said;
}

// A close held by a stuck sound server or drive is cut short by the exit
// deadline, and the program still ends well.
TEST(Signals, TheExitDeadlineEndsTheProgramWithStatusZero) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        velmar::armExitDeadline(50);
        std::this_thread::sleep_for(std::chrono::seconds(10));
      },
      ::testing::ExitedWithCode(0), "");
}
