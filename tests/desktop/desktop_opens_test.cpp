#include <gtest/gtest.h>

#include <QDBusInterface>
#include <QDBusPendingCall>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QUrl>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "DiscImageWriter.h"
#include "support/RunningProgram.h"
#include "support/TestDisc.h"

// Run by ctest on a private session bus and sound server (with-dbus.sh,
// with-pulse.sh): the real program opened from the desktop and by later
// launches, its window's thread timed from outside, and a later launch facing
// a running copy that does not answer.
namespace {

namespace fs = std::filesystem;
const QString kMpris = "org.mpris.MediaPlayer2.velmar", kPath = "/org/mpris/MediaPlayer2",
              kPlayer = "org.mpris.MediaPlayer2.Player";

// Asks for a property over and over from a thread of its own: QtDBus answers
// on the window's thread, so the longest wait is the longest it was held.
struct ThreadWatch {
  std::atomic<bool> stop = false;
  std::atomic<qint64> worst = 0;  // ms, since last read
  std::thread thread{[this] {
    QDBusInterface player(kMpris, kPath, kPlayer,
                          QDBusConnection::connectToBus(QDBusConnection::SessionBus, "watch"));
    for (QElapsedTimer t; !stop; std::this_thread::sleep_for(std::chrono::milliseconds(5))) {
      t.start();
      player.property("PlaybackStatus");
      for (qint64 w = worst, ms = t.elapsed(); ms > w && !worst.compare_exchange_weak(w, ms);) {
      }
    }
  }};
  ~ThreadWatch() {
    stop = true;
    thread.join();
  }
};

// Track 1's length, µs, while the disc plays (-1 otherwise): it tells the
// test's discs apart.
qlonglong playing(const QString& service = kMpris) {
  QDBusInterface player(service, kPath, kPlayer);
  if (player.property("PlaybackStatus").toString() != "Playing") return -1;
  return player.property("Metadata").toMap().value("mpris:length").toLongLong();
}

// Image probes running with `mark` in their command line (a zombie has none),
// and the environment of one.
int probesWith(const std::string& mark, QByteArray* environment = nullptr) {
  int n = 0;
  for (const QString& pid : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    QFile cmd("/proc/" + pid + "/cmdline"), env("/proc/" + pid + "/environ");
    const QByteArray c = cmd.open(QIODevice::ReadOnly) ? cmd.readAll() : QByteArray();
    if (!c.contains("velmar-probe") || !c.contains(mark.c_str())) continue;
    ++n;
    if (environment && env.open(QIODevice::ReadOnly)) *environment = env.readAll();
  }
  return n;
}

}  // namespace

TEST(DesktopOpens, NeverHoldTheWindowAndALaterLaunchHandsItsDiscToTheRunningCopyOrPlaysAlone) {
  if (!RunningProgram::onPrivateBusWithSound())
    GTEST_SKIP() << "needs with-pulse.sh and with-dbus.sh";
  QTemporaryDir dir;
  const std::string root = dir.path().toStdString();
  // Removed by bytes: Qt's text cannot name the folder that is no UTF-8.
  const std::shared_ptr<void> removal(nullptr, [&](void*) {
    std::error_code ec;
    fs::remove_all(root, ec);
  });
  // Discs told apart by track 1's length: a 10 s, b 15 s, c 20 s, in root
  // (b, c) and in a folder whose name is no UTF-8 and needs escaping in a URI
  // (a, b). x.cue is a in root and c in real/: link/.. is real/ to the file
  // system, root as text.
  const std::string odd = root + "/raro ñ-\xff\xfe";
  for (const std::string& d : {odd, root + "/real/sub", root + "/tmp"}) fs::create_directories(d);
  fs::create_directory_symlink("real/sub", root + "/link");
  for (const auto& [cue, sectors] : {std::pair{root + "/b.cue", 1125},
                                     {root + "/c.cue", 1500},
                                     {odd + "/b.cue", 1125},
                                     {odd + "/a.cue", 750},
                                     {root + "/x.cue", 750},
                                     {root + "/real/x.cue", 1500}})
    ASSERT_EQ(discgen::writeDisc(cue, counterDisc({sectors, 300})), "");
  // An image whose probe waits, as a hanging parser would: a probe that
  // never answers, where the program looks for its probe.
  std::ofstream(root + "/wait.nrg") << "NER5";
  std::ofstream(root + "/velmar-probe") << "#!/bin/bash\nexec -a \"$0\" sleep 60\n";
  fs::permissions(root + "/velmar-probe", fs::perms::owner_all);
  auto uri = [&](const std::string& name) {
    return QUrl::fromLocalFile(QString::fromStdString(root + name)).toString(QUrl::FullyEncoded);
  };
  RunningProgram::Options o;
  o.env.insert("TMPDIR", QString::fromStdString(root + "/tmp"));
  o.env.insert("VELMAR_PROBE", QString::fromStdString(root + "/velmar-probe"));
  o.env.insert("DESKTOP_STARTUP_ID", "velmar-a_TIME1");
  o.env.insert("XDG_ACTIVATION_TOKEN", "velmar-a");
  RunningProgram velmar({odd + "/a.cue"}, o);
  ASSERT_TRUE(QTest::qWaitFor([&] { return playing() == 10'000'000; }, 20000));
  std::optional<ThreadWatch> watch(std::in_place);

  QDBusInterface player(kMpris, kPath, kPlayer);
  auto opens = [&](const std::vector<QString>& uris) {
    std::vector<QDBusPendingCall> calls;
    for (const QString& u : uris) calls.push_back(player.asyncCall("OpenUri", u));
    return calls;
  };
  auto answers = [](std::vector<QDBusPendingCall>& calls) {
    std::vector<QString> errors;
    for (auto& c : calls) {
      c.waitForFinished();
      errors.push_back(c.reply().errorMessage());
    }
    return errors;
  };
  auto plays = [&](qlonglong length) {
    return QTest::qWaitFor([&] { return playing() == length; }, 10000);
  };
  // A fault holds the thread for seconds (a probe's 3 s, a rebuild per
  // request); a flood costs the time to answer the calls queued at once.
  auto heldLess = [&](const char* what, qint64 bound = 500) {
    EXPECT_LT(watch->worst.exchange(0), bound) << what;
  };

  // Five opens of an image whose probe waits for ever, four of them once the
  // first one's probe runs: each drops the one before (answered) and kills
  // its probe; the last is refused at the probe's time limit, 3 s (not after
  // a probe left to run out before it). The probe does not inherit the
  // program's token.
  QElapsedTimer sent;
  sent.start();
  std::vector<QDBusPendingCall> calls = opens({uri("/wait.nrg")});
  ASSERT_TRUE(QTest::qWaitFor([&] { return probesWith(root) == 1; }, 5000));
  for (const QDBusPendingCall& c : opens(std::vector<QString>(4, uri("/wait.nrg"))))
    calls.push_back(c);
  QByteArray probeEnv;
  for (int i = 0; i < 20; ++i, QTest::qWait(50)) EXPECT_LE(probesWith(root, &probeEnv), 1);
  EXPECT_FALSE(probeEnv.contains("DESKTOP_STARTUP_ID") ||
               probeEnv.contains("XDG_ACTIVATION_TOKEN"));
  std::vector<QString> errors = answers(calls);
  EXPECT_LT(sent.elapsed(), 5000);
  EXPECT_EQ(std::count(errors.begin(), errors.end(), ""), 4);
  EXPECT_TRUE(errors.back().contains("tardó más de 3 s")) << errors.back().toStdString();
  EXPECT_TRUE(plays(10'000'000)) << "the disc before plays on";
  heldLess("five opens of an image whose probe waits");

  std::vector<QString> flood;
  for (int i = 0; i < 20000; ++i) flood.push_back(uri(i % 2 ? "/c.cue" : "/b.cue"));
  calls = opens(flood);
  errors = answers(calls);
  EXPECT_EQ(std::count(errors.begin(), errors.end(), ""), 20000);
  EXPECT_TRUE(plays(20'000'000));
  heldLess("20,000 OpenUri calls", 2000);

  // Later launches, from another folder: a path as bytes and a relative one
  // resolved by the file system, a URI with escapes, none (only raises: the
  // disc plays on), and one the launch itself refuses. Each ends at once.
  const std::tuple<std::string, int, qlonglong> launches[] = {
      {odd + "/b.cue", 0, 15'000'000},
      {"link/../x.cue", 0, 20'000'000},
      {"file://" + root + "/raro%20%C3%B1-%FF%FE/a.cue", 0, 10'000'000},
      {"", 0, 10'000'000},
      {"/no/such/disc.cue", 2, 10'000'000},
  };
  RunningProgram::Options fromRoot;
  fromRoot.cwd = QString::fromStdString(root);
  for (const auto& [arg, status, length] : launches) {
    RunningProgram launch(arg.empty() ? std::vector<std::string>{} : std::vector{arg}, fromRoot);
    EXPECT_GE(launch.waitForEnd(20000), 0) << arg;
    EXPECT_EQ(launch.status(), status) << arg << launch.errors();
    QTest::qWait(300);  // a disc handed over in error would be opened by now
    EXPECT_TRUE(plays(length)) << arg;
  }
  heldLess("launches and odd path bytes");

  // A launch waits for a frozen copy about a second, then plays by itself
  // under a name of its own; Ctrl-C while it waits ends a launch at once.
  watch.reset();  // it would wait on the frozen copy
  velmar.signal(SIGSTOP);
  RunningProgram second(root + "/c.cue");
  const QString own = kMpris + QStringLiteral(".instance%1").arg(second.pid());
  ASSERT_TRUE(QTest::qWaitFor([&] { return playing(own) == 20'000'000; }, 10000));
  EXPECT_LT(second.ms(), 5000);
  RunningProgram third(root + "/b.cue");
  ASSERT_TRUE(QTest::qWaitFor([&] { return third.catchesSignals(); }, 5000));
  third.signal(SIGINT);
  qint64 end = third.waitForEnd(5000);
  EXPECT_TRUE(end >= 0 && end < 800 && third.endedWell()) << end;
  // Woken up, the copy leaves the hand-overs that came too late alone.
  velmar.signal(SIGCONT);
  QTest::qWait(1000);
  EXPECT_EQ(playing(), 10'000'000);
  EXPECT_EQ(playing(own), 20'000'000);

  // Quit while a probe waits, then another open: the program ends at once,
  // leaving no probe and no temporary file.
  calls = opens({uri("/wait.nrg")});
  ASSERT_TRUE(QTest::qWaitFor([&] { return probesWith(root) == 1; }, 5000));
  QDBusInterface(kMpris, kPath, "org.mpris.MediaPlayer2").asyncCall("Quit");
  calls = opens({uri("/wait.nrg")});
  end = velmar.waitForEnd(5000);
  EXPECT_TRUE(end >= 0 && end < 2000 && velmar.endedWell()) << velmar.errors();
  QTest::qWait(200);
  EXPECT_EQ(probesWith(root), 0);
  EXPECT_TRUE(fs::is_empty(root + "/tmp"));
}
