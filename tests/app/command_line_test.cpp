#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <filesystem>
#include <fstream>
#include <map>

#include "app/CommandLine.h"
#include "support/BadRips.h"
#include "support/TestDisc.h"
#include "support/TestRip.h"

TEST(CommandLine, BadArgumentsHelpVersionAndPlayableImages) {
  discgen::DiscPlan plan = counterDisc({75});
  TestDisc disc(plan), missing(plan);
  std::filesystem::remove(missing.bin);
  plan.fileLine = "original.bin";  // a FILE line unlike the sheet's own name
  TestDisc renamed(plan), beside(plan);
  plan.fileLine = "./disc.bin";
  TestDisc dotted(plan);
  std::filesystem::copy_file(beside.bin, beside.dir.filePath("original.bin").toStdString());
  const std::string folder = disc.dir.path().toStdString(), text = folder + "/notas.txt";
  std::ofstream(text) << "no soy un disco\n";
  const std::string lone = folder + "/sola.bin", fifo = folder + "/tubo.cue";
  std::filesystem::copy_file(disc.bin, lone);
  ::mkfifo(fifo.c_str(), 0600);
  TestRip rip;
  std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--version"}, "Velmar 1.00\n"},
      {{"--help"}, "Uso: velmar [UNIDAD | IMAGEN | URI]"},
      {{"cdda://nosuchdrive"}, "velmar: no se puede abrir «cdda://nosuchdrive»: no existe"},
      {{"http://equipo/disc.cue"}, "«http://equipo/disc.cue»: no se admiten direcciones «http://»"},
      {{"file://" + disc.dir.path().toStdString() + "/no%20hay.cue"}, "no%20hay.cue»: no existe"},
      {{"--bogus"}, "velmar: opción desconocida «--bogus»"},
      {{disc.cue, "otra.cue"}, "«otra.cue»"},
      {{"/no/such/disc.cue"}, "«/no/such/disc.cue»: no existe"},
      {{folder}, "carpeta"},
      {{text}, "«" + text + "»: no es una imagen de disco que Velmar sepa leer"},
      {{lone}, "«" + lone + "»: es una imagen sin su hoja .cue: falta «sola.cue» a su lado"},
      {{fifo}, "«" + fifo + "»: es una tubería (FIFO), no una unidad de CD ni una imagen de disco"},
      {{missing.cue}, "«disc.cue», línea 1: el archivo «disc.bin» no existe"},
      {{renamed.cue}, "«disc.cue», línea 1: el archivo «original.bin» no existe"},
  };
  for (const BadRip& bad : makeBadRips(rip))
    cases.push_back(
        {{bad.sheet}, "velmar: no se puede abrir «" + bad.sheet + "»: " + bad.reason + "\n"});
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

  // What runs: the disc (empty: the default drive) and the argument a running
  // copy is handed. A sheet plays whatever its own name; a .bin by its sheet.
  const std::string uri = "file://" + disc.cue;
  const std::tuple<std::vector<std::string>, std::string, std::string> runs[] = {
      {{}, "", ""},
      {{"cdda://"}, "", "cdda://"},
      {{uri}, disc.cue, uri},
      {{disc.cue}, disc.cue, disc.cue},
      {{dotted.cue}, dotted.cue, dotted.cue},
      {{beside.cue}, beside.cue, beside.cue},
      {{disc.bin}, disc.bin, disc.bin}};
  for (const auto& [args, named, argument] : runs) {
    const CommandLine c = parseCommandLine(args);
    EXPECT_EQ(c.action, CommandLine::Action::Run) << c.message;
    EXPECT_EQ(c.disc, named);
    EXPECT_EQ(c.argument, argument);
  }
}

// Started with no display (SSH, a text console): a Spanish message and status
// 1, no abort; the platform named, the display named or neither.
TEST(CommandLine, NoDisplayIsSaidInSpanishWithoutACoreDump) {
  const std::pair<std::map<QString, QString>, std::string> cases[] = {
      {{}, "no hay ninguna pantalla gráfica (DISPLAY y WAYLAND_DISPLAY no están definidas)"},
      {{{"DISPLAY", ":97"}}, "no se pudo conectar con la pantalla «:97»"},
      {{{"QT_QPA_PLATFORM", "xcb"}},
       "no se pudo iniciar la plataforma gráfica «xcb» (QT_QPA_PLATFORM)"},
      {{{"WAYLAND_DISPLAY", "velmar-ninguna"}},
       "no se pudo conectar con la pantalla Wayland «velmar-ninguna»"},
  };
  for (const auto& [vars, why] : cases) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE"})
      env.remove(v);
    for (const auto& [name, value] : vars) env.insert(name, value);
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(VELMAR_PROGRAM), {});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << why;
    EXPECT_EQ(p.exitCode(), 1) << why;
    EXPECT_EQ(p.readAllStandardError().toStdString(),
              "velmar: no se puede abrir la ventana: " + why + "\n");
  }
}

TEST(CommandLine, UrisNameDrivesAndImages) {
  const struct {
    std::string arg;
    bool ok;
    std::string disc;  // ok: what it names; else part of the reason
  } cases[] = {
      {"/dev/sr1", true, "/dev/sr1"},
      {"disco con espacios.cue", true, "disco con espacios.cue"},
      {"C:relative", true, "C:relative"},
      {"cdda://sr1", true, "/dev/sr1"},
      {"cdda://sr1/", true, "/dev/sr1"},
      {"cdda://sr0/Track%201.wav", true, "/dev/sr0"},
      {"CDDA://sr1", true, "/dev/sr1"},
      {"cdda:///dev/sr1", true, "/dev/sr1"},
      {"cdda:///dev/disk/by-id/cd%2Ddrive", true, "/dev/disk/by-id/cd-drive"},
      {"cdda://", true, ""},
      {"cdda:///", true, ""},
      {"file:///home/ana/M%C3%BAsica/disco%201.cue", true, "/home/ana/Música/disco 1.cue"},
      {"file://localhost/tmp/a.cue", true, "/tmp/a.cue"},
      {"file://servidor/tmp/a.cue", false, "otro equipo («servidor»)"},
      {"file://", false, "no nombra ningún archivo"},
      {"file:///tmp/%zz.cue", false, "«%» mal formada"},
      {"file:///tmp/a%2", false, "«%» mal formada"},
      {"file:///tmp/a%00.cue", false, "«%» mal formada"},
      {"smb://servidor/a.cue", false, "no se admiten direcciones «smb://»; solo cdda:// y file://"},
  };
  for (const auto& c : cases) {
    const DiscArgument d = discFromArgument(c.arg);
    EXPECT_EQ(d.ok, c.ok) << c.arg;
    EXPECT_TRUE(c.ok ? d.disc == c.disc : d.problem.find(c.disc) != std::string::npos)
        << c.arg << ": «" << d.disc << "» " << d.problem;
  }
}
