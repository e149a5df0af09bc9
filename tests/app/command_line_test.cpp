#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <filesystem>
#include <fstream>

#include "app/CommandLine.h"
#include "support/TestDisc.h"

TEST(CommandLine, BadArgumentsHelpVersionAndPlayableImages) {
  discgen::DiscPlan plan = counterDisc({75});
  TestDisc disc(plan), missing(plan);
  std::filesystem::remove(missing.bin);
  plan.fileLine = "original.bin";  // libcdio would read disc.bin regardless
  TestDisc renamed(plan), beside(plan);
  plan.fileLine = "./disc.bin";  // a FILE line that leads to the right file
  TestDisc dotted(plan);
  std::filesystem::copy_file(beside.bin, beside.dir.filePath("original.bin").toStdString());
  const std::string folder = disc.dir.path().toStdString(), text = folder + "/notas.txt";
  std::ofstream(text) << "no soy un disco\n";
  const std::string misnamed =
      "»: la hoja .cue nombra el archivo «original.bin», pero solo se puede leer «disc.bin», el "
      "que lleva el nombre de la hoja; cambie el nombre de uno de los dos para que coincidan\n";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--version"}, "Velmar 1.00\n"},
      {{"--help"}, "Uso: velmar [UNIDAD | IMAGEN]"},
      {{"--bogus"}, "velmar: opción desconocida «--bogus»"},
      {{disc.cue, "otra.cue"}, "«otra.cue»"},
      {{"/no/such/disc.cue"}, "«/no/such/disc.cue»: no existe"},
      {{folder}, "carpeta"},
      {{text}, "«" + text + "»: no es una unidad de CD ni una imagen"},
      {{missing.cue}, "falta el archivo de datos «disc.bin»"},
      {{renamed.cue}, "velmar: no se puede abrir «" + renamed.cue + misnamed},
      {{beside.cue}, "velmar: no se puede abrir «" + beside.cue + misnamed},
  };
  // No display at all: a program that tried to open its window would fail
  // in another way.
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "xcb");
  env.remove("DISPLAY");
  env.remove("WAYLAND_DISPLAY");
  for (const auto& [args, part] : cases) {
    QProcess p;
    p.setProcessEnvironment(env);
    QStringList list;
    for (const std::string& a : args) list << QString::fromStdString(a);
    p.start(QStringLiteral(VELMAR_PROGRAM), list);
    ASSERT_TRUE(p.waitForFinished(20000));
    const bool ok = args[0] == "--help" || args[0] == "--version";
    const std::string out = p.readAllStandardOutput().toStdString();
    const std::string err = p.readAllStandardError().toStdString();
    EXPECT_EQ(p.exitCode(), ok ? 0 : 2) << part;
    EXPECT_NE((ok ? out : err).find(part), std::string::npos) << out << err;
    EXPECT_EQ(ok ? err : out, "");
    EXPECT_TRUE(args[0] != "--version" || out == part) << out;
  }

  const CommandLine none = parseCommandLine({});
  EXPECT_TRUE(none.action == CommandLine::Action::Run && none.disc.empty()) << "the default drive";
  EXPECT_EQ(parseCommandLine({disc.cue}).disc, disc.cue);
  EXPECT_EQ(parseCommandLine({dotted.cue}).disc, dotted.cue);
}
