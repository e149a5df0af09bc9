#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDBusArgument>
#include <QDBusPendingCall>
#include <QDir>
#include <QElapsedTimer>
#include <QUrl>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "DiscImageWriter.h"
#include "support/BusClient.h"
#include "support/RunningProgram.h"
#include "support/TestDisc.h"

// Run by ctest on a private session bus and sound server (with-dbus.sh,
// with-pulse.sh): the real program, opened from the desktop while a thread of
// this test times its window's thread from outside.
namespace {

namespace fs = std::filesystem;

// Asks the program for a property over and over; QtDBus answers on the
// window's thread, so the longest wait is the longest that thread was held.
class ThreadWatch {
 public:
  ThreadWatch() : thread_([this] { run(); }) {}
  ~ThreadWatch() {
    stop_ = true;
    thread_.join();
  }
  // The longest wait since the last call, ms.
  qint64 worst() { return worst_.exchange(0); }

 private:
  void run() {
    {
      QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "watch");
      QDBusMessage get =
          QDBusMessage::createMethodCall("org.mpris.MediaPlayer2.velmar", "/org/mpris/MediaPlayer2",
                                         "org.freedesktop.DBus.Properties", "Get");
      get << BusClient::kPlayer << "PlaybackStatus";
      for (QElapsedTimer t; !stop_; std::this_thread::sleep_for(std::chrono::milliseconds(5))) {
        t.start();
        bus.call(get, QDBus::Block, 20000);
        for (qint64 w = worst_, ms = t.elapsed(); ms > w && !worst_.compare_exchange_weak(w, ms);) {
        }
      }
    }
    QDBusConnection::disconnectFromBus("watch");
  }
  std::atomic<bool> stop_ = false;
  std::atomic<qint64> worst_ = 0;
  std::thread thread_;
};

bool ready() {
  return BusClient::onPrivateBus() && qgetenv("PULSE_SERVER").contains("velmar-pulse");
}

// Track 1's length, µs: it tells the test's discs apart.
qlonglong firstLength(BusClient& c) {
  const QVariant m = c.get("Metadata");
  if (!m.canConvert<QDBusArgument>()) return -1;
  return qdbus_cast<QVariantMap>(m.value<QDBusArgument>()).value("mpris:length").toLongLong();
}

// The program's image probes now running: processes with `mark` in their
// command line (a zombie has none).
int probesWith(const std::string& mark, std::string* environ = nullptr) {
  int n = 0;
  for (const auto& p : fs::directory_iterator("/proc")) {
    std::ifstream in(p.path() / "cmdline", std::ios::binary);
    const std::string cmd((std::istreambuf_iterator<char>(in)), {});
    if (cmd.find("velmar-probe") == std::string::npos || cmd.find(mark) == std::string::npos)
      continue;
    ++n;
    std::ifstream env(p.path() / "environ", std::ios::binary);
    if (environ) environ->assign((std::istreambuf_iterator<char>(env)), {});
  }
  return n;
}

// A launch with one argument given as bytes, from folder `cwd`: its status
// (-1: no end within 20 s) and how long it ran, ms.
std::pair<int, qint64> launch(const std::string& arg, const QString& cwd) {
  const std::string file = cwd.toStdString() + "/.argument";
  std::ofstream(file, std::ios::binary) << arg;
  QProcess p;
  p.setWorkingDirectory(cwd);
  QElapsedTimer t;
  t.start();
  p.start("/bin/sh",
          {"-c", "exec \"$0\" \"$(cat \"$1\")\"", VELMAR_PROGRAM, QString::fromStdString(file)});
  const bool ended = p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit;
  return {ended ? p.exitCode() : -1, t.elapsed()};
}

}  // namespace

TEST(DesktopOpens, NeverHoldTheWindowAndTrustTheRunningCopyBriefly) {
  if (!ready()) GTEST_SKIP() << "needs with-pulse.sh and with-dbus.sh";
  QTemporaryDir dir;
  const std::string root = dir.path().toStdString();
  // Removed by bytes: Qt's text cannot name the folder that is no UTF-8.
  const std::unique_ptr<const std::string, void (*)(const std::string*)> removal(
      &root, [](const std::string* r) {
        std::error_code ec;
        fs::remove_all(*r, ec);
      });
  // Discs told apart by track 1's length: a 10 s, b 15 s, c 20 s. The same
  // x.cue sits in root (a) and in real/ (c); link/.. is real/ to the file
  // system, root as text. b also sits in a folder whose name is no UTF-8.
  const std::string odd = root + "/raro-\xff\xfe";
  for (const std::string& d : {odd, root + "/real/sub", root + "/tmp"}) fs::create_directories(d);
  fs::create_directory_symlink("real/sub", root + "/link");
  const std::pair<std::string, int32_t> discs[] = {
      {root + "/a.cue", 750}, {root + "/b.cue", 1125}, {root + "/c.cue", 1500},
      {odd + "/b.cue", 1125}, {root + "/x.cue", 750},  {root + "/real/x.cue", 1500},
  };
  for (const auto& [cue, sectors] : discs)
    ASSERT_EQ(discgen::writeDisc(cue, counterDisc({sectors, 300})), "");
  ASSERT_EQ(::mkfifo((root + "/audio.bin").c_str(), 0600), 0);
  std::ofstream(root + "/fifo.toc") << "CD_DA\nTRACK AUDIO\nFILE \"audio.bin\" 0 00:02:00\n";
  auto uri = [&](const std::string& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path)).toString(QUrl::FullyEncoded);
  };
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("TMPDIR", QString::fromStdString(root + "/tmp"));
  env.insert("DESKTOP_STARTUP_ID", "velmar-a_TIME1");
  env.insert("XDG_ACTIVATION_TOKEN", "velmar-a");

  RunningProgram velmar(root + "/a.cue", env);
  BusClient client;
  ASSERT_TRUE(QTest::qWaitFor([&] { return firstLength(client) == 10'000'000; }, 20000));
  ThreadWatch watch;
  auto opens = [&](const std::vector<QString>& uris) {
    std::vector<QDBusPendingCall> calls;
    for (const QString& u : uris)
      calls.push_back(client.bus().asyncCall(
          QDBusMessage::createMethodCall("org.mpris.MediaPlayer2.velmar", "/org/mpris/MediaPlayer2",
                                         BusClient::kPlayer, "OpenUri")
          << u));
    return calls;
  };
  auto finished = [](std::vector<QDBusPendingCall>& calls) {
    return QTest::qWaitFor(
        [&] {
          return std::all_of(calls.begin(), calls.end(), [](auto& c) { return c.isFinished(); });
        },
        30000);
  };
  auto playing = [&](qlonglong length) {
    return QTest::qWaitFor(
        [&] {
          return firstLength(client) == length &&
                 client.get("PlaybackStatus").toString() == "Playing";
        },
        10000);
  };
  // A real fault holds the thread for seconds (a probe's 3 s, a rebuild per
  // request); a flood costs the time to answer the calls queued at once.
  auto figure = [&](const char* what, qint64 bound = 500) {
    const qint64 worst = watch.worst();
    std::printf("[ figure ] %s: the window's thread was held %lld ms at most\n", what,
                static_cast<long long>(worst));
    EXPECT_LT(worst, bound) << what;
  };

  // Five opens of an image whose probe waits for ever: each drops the one
  // before and kills its probe; the last is refused at the probe's time
  // limit. The token the program was started with is not inherited.
  std::vector<QDBusPendingCall> calls = opens(std::vector<QString>(5, uri(root + "/fifo.toc")));
  ASSERT_TRUE(QTest::qWaitFor([&] { return probesWith(root) == 1; }, 5000));
  std::string probeEnv;
  for (int i = 0; i < 20; ++i, QTest::qWait(50)) EXPECT_LE(probesWith(root, &probeEnv), 1);
  EXPECT_EQ(probeEnv.find("DESKTOP_STARTUP_ID"), std::string::npos);
  EXPECT_EQ(probeEnv.find("XDG_ACTIVATION_TOKEN"), std::string::npos);
  ASSERT_TRUE(finished(calls));
  for (size_t i = 0; i + 1 < calls.size(); ++i)
    EXPECT_EQ(calls[i].reply().type(), QDBusMessage::ReplyMessage) << "dropped: answered " << i;
  EXPECT_TRUE(calls.back().reply().errorMessage().contains("tardó más de 3 s"));
  EXPECT_TRUE(playing(10'000'000)) << "the disc before plays on";
  figure("five opens of an image whose probe waits");

  // A flood: only the newest is carried out.
  std::vector<QString> flood;
  for (int i = 0; i < 20000; ++i) flood.push_back(uri(root + (i % 2 ? "/c.cue" : "/b.cue")));
  calls = opens(flood);
  ASSERT_TRUE(finished(calls));
  EXPECT_TRUE(std::all_of(calls.begin(), calls.end(),
                          [](auto& c) { return c.reply().type() == QDBusMessage::ReplyMessage; }));
  EXPECT_TRUE(playing(20'000'000));
  figure("20,000 OpenUri calls", 2000);

  // Paths as bytes, resolved by the file system: launches hand them over
  // and end at once; OpenUri takes a percent-escaped byte.
  const QString cwd = QString::fromStdString(root);
  const std::pair<std::string, qlonglong> handed[] = {{odd + "/b.cue", 15'000'000},
                                                      {"link/../x.cue", 20'000'000}};
  for (const auto& [path, length] : handed) {
    const auto [status, ms] = launch(path, cwd);
    EXPECT_EQ(status, 0) << path;
    EXPECT_LT(ms, 2000) << path;
    EXPECT_TRUE(playing(length)) << path;
  }
  calls = opens(
      {uri(root + "/a.cue"), "file://" + QString::fromStdString(root) + "/raro-%FF%FE/b.cue"});
  ASSERT_TRUE(finished(calls));
  EXPECT_EQ(calls.back().reply().type(), QDBusMessage::ReplyMessage);
  EXPECT_TRUE(playing(15'000'000));
  figure("odd path bytes, link/..");

  // Quit, then an open of the waiting image: the program ends at once and
  // leaves no probe and no temporary file.
  client.bus().asyncCall(QDBusMessage::createMethodCall(
      "org.mpris.MediaPlayer2.velmar", "/org/mpris/MediaPlayer2", BusClient::kRoot, "Quit"));
  calls = opens({uri(root + "/fifo.toc")});
  const qint64 end = velmar.waitForEnd(5000);
  std::printf("[ figure ] Quit then OpenUri: the program ended after %lld ms\n",
              static_cast<long long>(end));
  EXPECT_TRUE(end >= 0 && end < 2000 && velmar.endedWell()) << velmar.errors();
  QTest::qWait(200);
  EXPECT_EQ(probesWith(root), 0);
  EXPECT_TRUE(fs::is_empty(root + "/tmp"));
}

TEST(DesktopOpens, ALaunchTrustsARunningCopyThatDoesNotAnswerAboutASecond) {
  if (!ready()) GTEST_SKIP() << "needs with-pulse.sh and with-dbus.sh";
  TestDisc a(counterDisc({750})), b(counterDisc({1125}));
  RunningProgram frozen(a.cue);
  BusClient first;
  ASSERT_TRUE(QTest::qWaitFor([&] { return firstLength(first) == 10'000'000; }, 20000));
  frozen.signal(SIGSTOP);

  // A launch waits for the frozen copy about a second, then plays by itself.
  QElapsedTimer t;
  t.start();
  RunningProgram second(b.cue);
  BusClient own(QStringLiteral("org.mpris.MediaPlayer2.velmar.instance%1").arg(second.pid()));
  ASSERT_TRUE(QTest::qWaitFor([&] { return firstLength(own) == 15'000'000; }, 10000));
  std::printf("[ figure ] a frozen running copy: the launch's window answered after %lld ms\n",
              static_cast<long long>(t.elapsed()));
  EXPECT_LT(t.elapsed(), 5000);

  // Ctrl-C while it waits ends a launch at once.
  RunningProgram third(b.cue);
  ASSERT_TRUE(QTest::qWaitFor([&] { return third.catchesSignals(); }, 5000));
  third.signal(SIGINT);
  const qint64 end = third.waitForEnd(5000);
  EXPECT_TRUE(end >= 0 && end < 800 && third.endedWell()) << end;

  // Woken up, the frozen copy leaves the late hand-overs alone.
  frozen.signal(SIGCONT);
  QTest::qWait(1000);
  EXPECT_EQ(firstLength(first), 10'000'000);
  EXPECT_EQ(firstLength(own), 15'000'000);
}
