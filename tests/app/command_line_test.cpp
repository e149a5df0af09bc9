#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <filesystem>
#include <fstream>

#include "app/CommandLine.h"
#include "support/TestDisc.h"

namespace {
using Action = CommandLine::Action;

bool contains(const std::string& s, const std::string& part) {
  return s.find(part) != std::string::npos;
}
}  // namespace

TEST(CommandLineArgs, NoneHelpAndVersion) {
  CommandLine c = parseCommandLine({});
  EXPECT_EQ(c.action, Action::Run);
  EXPECT_EQ(c.disc, "") << "the default drive";

  c = parseCommandLine({"--help"});
  EXPECT_EQ(c.action, Action::Help);
  EXPECT_EQ(c.exitStatus, 0);
  EXPECT_TRUE(contains(c.message, "Uso: velmar [UNIDAD | IMAGEN]")) << c.message;

  c = parseCommandLine({"--version"});
  EXPECT_EQ(c.action, Action::Version);
  EXPECT_EQ(c.message, "Velmar 1.00\n");
}

TEST(CommandLineArgs, BadArgumentsAreErrorsWithStatus2NamingWhatIsWrong) {
  TestDisc disc(counterDisc({75}));
  CommandLine c = parseCommandLine({"--bogus"});
  EXPECT_EQ(c.action, Action::Error);
  EXPECT_EQ(c.exitStatus, 2);
  EXPECT_TRUE(contains(c.message, "opción desconocida «--bogus»")) << c.message;

  c = parseCommandLine({disc.cue, "otra.cue"});
  EXPECT_EQ(c.exitStatus, 2) << "only one argument";
  EXPECT_TRUE(contains(c.message, "«otra.cue»")) << c.message;

  c = parseCommandLine({"/no/such/disc.cue"});
  EXPECT_EQ(c.exitStatus, 2);
  EXPECT_TRUE(contains(c.message, "«/no/such/disc.cue»: no existe")) << c.message;

  const std::string folder = disc.dir.path().toStdString();
  c = parseCommandLine({folder});
  EXPECT_EQ(c.exitStatus, 2);
  EXPECT_TRUE(contains(c.message, "carpeta")) << c.message;

  const std::string text = folder + "/notas.txt";
  std::ofstream(text) << "no soy un disco\n";
  c = parseCommandLine({text});
  EXPECT_EQ(c.exitStatus, 2);
  EXPECT_TRUE(contains(c.message, "«" + text + "»: no es una unidad de CD ni una imagen"))
      << c.message;

  c = parseCommandLine({disc.cue});
  EXPECT_EQ(c.action, Action::Run) << c.message;
  EXPECT_EQ(c.disc, disc.cue);
}

TEST(CommandLineArgs, CueSheetsWhoseFileLineIsNotTheBinThatWillBeRead) {
  // The sheet names another file: libcdio would read disc.bin regardless.
  discgen::DiscPlan plan = counterDisc({75});
  plan.fileLine = "original.bin";
  TestDisc renamed(plan);
  CommandLine c = parseCommandLine({renamed.cue});
  EXPECT_EQ(c.exitStatus, 2);
  EXPECT_TRUE(contains(c.message, "«original.bin»")) << c.message;
  EXPECT_TRUE(contains(c.message, "«disc.bin»")) << c.message;

  // The same, with the named file present beside it.
  std::filesystem::copy_file(renamed.bin, renamed.dir.filePath("original.bin").toStdString());
  c = parseCommandLine({renamed.cue});
  EXPECT_EQ(c.exitStatus, 2) << "disc.bin would be played, not the file the sheet names";

  // The sheet names its own .bin, which is missing.
  TestDisc missing(counterDisc({75}));
  std::filesystem::remove(missing.bin);
  c = parseCommandLine({missing.cue});
  EXPECT_EQ(c.exitStatus, 2);
  EXPECT_TRUE(contains(c.message, "falta el archivo de datos «disc.bin»")) << c.message;

  // A relative FILE line that leads to the right file is fine.
  plan.fileLine = "./disc.bin";
  TestDisc dotted(plan);
  c = parseCommandLine({dotted.cue});
  EXPECT_EQ(c.action, Action::Run) << c.message;
}

TEST(CommandLineProgram, ErrorsGoToStderrWithStatus2AndNoWindow) {
  // No display at all: a program that tried to open its window would fail
  // in another way.
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "xcb");
  env.remove("DISPLAY");
  env.remove("WAYLAND_DISPLAY");
  auto run = [&](const QStringList& args) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(VELMAR_PROGRAM), args);
    EXPECT_TRUE(p.waitForFinished(20000));
    return std::tuple{p.exitCode(), p.readAllStandardOutput().toStdString(),
                      p.readAllStandardError().toStdString()};
  };
  auto [status, out, err] = run({"--nada"});
  EXPECT_EQ(status, 2);
  EXPECT_EQ(out, "");
  EXPECT_TRUE(contains(err, "velmar: opción desconocida «--nada»")) << err;

  std::tie(status, out, err) = run({"/no/existe.cue"});
  EXPECT_EQ(status, 2);
  EXPECT_TRUE(contains(err, "«/no/existe.cue»")) << err;

  std::tie(status, out, err) = run({"a.cue", "b.cue"});
  EXPECT_EQ(status, 2);

  std::tie(status, out, err) = run({"--version"});
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, "Velmar 1.00\n");

  std::tie(status, out, err) = run({"--help"});
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(contains(out, "--version")) << out;
  EXPECT_EQ(err, "");
}
