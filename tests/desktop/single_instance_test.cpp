#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QUrl>

#include "app/frmVelmar.h"
#include "desktop/Desktop.h"
#include "desktop/Instance.h"
#include "disc/CdioDevice.h"
#include "disc/MMControl.h"
#include "disc/modFunciones.h"
#include "support/BusClient.h"
#include "support/CommandTrace.h"
#include "support/TestDisc.h"

// Run by ctest on a private session bus (tests/support/with-dbus.sh). The
// running copy is this process: the real window on a real image, without
// sound. Later launches are the real program.
namespace {

struct Launch {
  int status = -1;  // -1: it did not end within 20 s, or crashed
  std::string out, err;
};

// Runs the program with `args` from folder `cwd`, letting this process's
// events run meanwhile (it answers the launch).
Launch launch(const QStringList& args, const QString& cwd = QDir::tempPath()) {
  QProcess p;
  p.setWorkingDirectory(cwd);
  p.start(QStringLiteral(VELMAR_PROGRAM), args);
  if (!p.waitForStarted(5000) ||
      !QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 20000))
    return {};
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
          p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
}

}  // namespace

TEST(SingleInstance, ASecondLaunchHandsItsDiscToTheRunningCopyOrRaisesIt) {
  if (!BusClient::onPrivateBus())
    GTEST_SKIP() << "needs the private session bus of tests/support/with-dbus.sh";
  TestDisc first(counterDisc({150, 225})), second(counterDisc({75, 300, 150}));
  // The second disc also under a folder whose name needs escaping in a URI.
  const QString spaced = second.dir.filePath(QStringLiteral("con espacio ñ"));
  ASSERT_TRUE(QDir().mkpath(spaced));
  for (const char* f : {"disc.cue", "disc.bin"})
    ASSERT_TRUE(QFile::copy(second.dir.filePath(f), spaced + '/' + f));

  CommandTrace trace;
  desktop::Session session;
  ASSERT_EQ(session.handOver("", ""), std::nullopt) << "the first copy runs";
  frmVelmar form(std::make_unique<CdioDevice>(first.cue, [] { return nullptr; }));
  session.attach(form.player());
  form.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.activated() && form.List1->count() == 2; }, 5000));

  // A relative path, from another working folder: the running copy gets it
  // whole, switches discs and plays.
  Launch l = launch({"disc.cue"}, second.dir.path());
  EXPECT_EQ(l.status, 0) << l.err;
  EXPECT_EQ(l.out + l.err, "");
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.List1->count() == 3; }, 5000)) << "new list";
  EXPECT_EQ(trace.count("FileName=" + second.cue), 1u);
  EXPECT_EQ(modFunciones::TrackTable[2].length, 300 * 40 / 3) << "new table";
  EXPECT_EQ(modFunciones::TrackTable[3].start, 2000 + 375 * 40 / 3);
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return form.MMControl1->Mode() == DeviceMode::Playing; }, 2000));

  // No argument: only raises.
  form.hide();
  size_t from = trace.lines.size();
  l = launch({});
  EXPECT_EQ(l.status, 0) << l.err;
  EXPECT_TRUE(form.isVisible()) << "raised";
  QTest::qWait(100);
  EXPECT_EQ(trace.since(from), "") << "nothing sent to the device";

  // A file:// URI with escapes, and one of the first disc again.
  const struct {
    QString uri;
    std::string path;
    int tracks;
  } uris[] = {
      {QUrl::fromLocalFile(spaced + "/disc.cue").toString(QUrl::FullyEncoded),
       (spaced + "/disc.cue").toStdString(), 3},
      {QUrl::fromLocalFile(QString::fromStdString(first.cue)).toString(QUrl::FullyEncoded),
       first.cue, 2},
  };
  for (const auto& u : uris) {
    from = trace.lines.size();
    l = launch({u.uri});
    EXPECT_EQ(l.status, 0) << l.err;
    ASSERT_TRUE(QTest::qWaitFor([&] { return trace.count("FileName=" + u.path) > 0; }, 5000))
        << u.uri.toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.List1->count() == u.tracks; }, 5000));
  }

  // A disc that cannot be opened is refused by the launch itself, before
  // any hand-over; the running copy is left alone.
  from = trace.lines.size();
  for (const QString& bad :
       {QStringLiteral("/no/such/disc.cue"), QStringLiteral("cdda://nosuchdrive"),
        QStringLiteral("ftp://equipo/disc.cue")}) {
    l = launch({bad});
    EXPECT_EQ(l.status, 2) << bad.toStdString();
    EXPECT_NE(l.err.find("velmar: no se puede abrir «" + bad.toStdString() + "»"),
              std::string::npos)
        << l.err;
  }
  QTest::qWait(100);
  EXPECT_EQ(trace.since(from), "");

  // A request that comes after its launch stopped waiting is left alone.
  from = trace.lines.size();
  BusClient door(QStringLiteral("org.velmar.Velmar"), QStringLiteral("/org/velmar/Velmar"));
  const QVariantMap late{{"deadline", Instance::monotonicNs() - 1}};
  EXPECT_EQ(
      door.call("Open", {QByteArray::fromStdString(second.cue), late}, "org.velmar.Velmar.Instance")
          .errorName(),
      "org.velmar.Velmar.Error.TooLate");
  QTest::qWait(100);
  EXPECT_EQ(trace.since(from), "");
  form.close();
}
