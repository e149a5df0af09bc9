#include <gtest/gtest.h>

#include <map>

#include "app/CommandLine.h"
#include "app/Display.h"
#include "support/RunningProgram.h"
#include "support/TestDisc.h"

// What the arguments ask for; a refusal names the argument and the reason.
// (Why a path cannot be played is the sources' own business.)
TEST(CommandLine, ArgumentsAndUrisAreTakenOrRefusedWithTheirReason) {
  TestDisc disc(counterDisc({75}));
  const std::string uri = "file://" + disc.cue;
  using enum CommandLine::Action;
  const struct {
    std::vector<std::string> args;
    CommandLine::Action action;
    std::string said;  // Run: the disc named, then the argument handed over
  } cases[] = {
      {{}, Run, "|"},
      {{"cdda://"}, Run, "|cdda://"},
      {{uri}, Run, disc.cue + "|" + uri},
      {{disc.bin}, Run, disc.bin + "|" + disc.bin},
      {{"--help"}, Help, usageText()},
      {{"--bogus"}, Error, "velmar: opción desconocida «--bogus»\n"},
      {{disc.cue, "otra.cue"}, Error, "velmar: sobra el argumento «otra.cue»: solo se admite"},
      {{""}, Error, "velmar: la ruta de la unidad o imagen está vacía\n"},
      {{"cdda://nosuchdrive"}, Error, "velmar: no se puede abrir «cdda://nosuchdrive»: no existe"},
      {{"file:///no%20hay.cue"}, Error, "«file:///no%20hay.cue»: no existe"},
  };
  for (const auto& [args, action, said] : cases) {
    const CommandLine c = parseCommandLine(args);
    const std::string got = action == Run ? c.disc + "|" + c.argument : c.message;
    EXPECT_EQ(c.action, action) << said;
    EXPECT_TRUE(action == Run ? got == said : got.find(said) != std::string::npos) << got;
    EXPECT_EQ(c.exitStatus, action == Error ? 2 : 0) << said;
  }

  const struct {
    std::string arg;
    bool ok;
    std::string disc;  // ok: what it names; else part of the reason
  } uris[] = {
      {"C:relative", true, "C:relative"},
      {"cdda://sr1", true, "/dev/sr1"},
      {"cdda://sr0/Track%201.wav", true, "/dev/sr0"},
      {"CDDA://sr1", true, "/dev/sr1"},
      {"cdda:///dev/disk/by-id/cd%2Ddrive", true, "/dev/disk/by-id/cd-drive"},
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
  for (const auto& u : uris) {
    const DiscArgument d = discFromArgument(u.arg);
    EXPECT_EQ(d.ok, u.ok) << u.arg;
    EXPECT_TRUE(u.ok ? d.disc == u.disc : d.problem.find(u.disc) != std::string::npos)
        << u.arg << ": «" << d.disc << "» " << d.problem;
  }

  // Without a display: what is missing, named from the environment.
  const std::pair<std::map<const char*, const char*>, std::string> displays[] = {
      {{}, "no hay ninguna pantalla gráfica (DISPLAY y WAYLAND_DISPLAY no están definidas)"},
      {{{"DISPLAY", ":97"}}, "no se pudo conectar con la pantalla «:97»"},
      {{{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":97"}},
       "no se pudo iniciar la plataforma gráfica «xcb» (QT_QPA_PLATFORM)"},
      {{{"WAYLAND_DISPLAY", "w"}, {"DISPLAY", ":97"}},
       "no se pudo conectar con la pantalla Wayland «w»"},
  };
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  for (const auto& [vars, why] : displays) {
    for (const char* v : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) qunsetenv(v);
    for (const auto& [name, value] : vars) qputenv(name, value);
    EXPECT_EQ(velmar::noDisplayMessage(), "velmar: no se puede abrir la ventana: " + why + "\n");
  }
  for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY"}) qunsetenv(v);
  qputenv("QT_QPA_PLATFORM", platform);
}

// The real program says what it is asked for before it needs a display, and
// without one ends with its message, status 1 and no core dump. (Its
// refusals, status 2, are run by the sources' tests of hostile images.)
TEST(CommandLine, TheProgramPrintsAndEndsWithItsStatusAndNeedsNoDisplayToDoSo) {
  const struct {
    std::vector<std::string> args;
    int status;
    std::string out, err;  // err: the start of it
  } runs[] = {
      {{"--version"}, 0, "Velmar 1.00\n", ""},
      {{}, 1, "", "velmar: no se puede abrir la ventana: no se pudo iniciar la plataforma"},
  };
  RunningProgram::Options noDisplay;
  noDisplay.noDisplay = true;
  for (const auto& r : runs) {
    RunningProgram velmar(r.args, noDisplay);
    ASSERT_GE(velmar.waitForEnd(20000), 0);
    EXPECT_EQ(velmar.status(), r.status) << r.out << r.err;
    EXPECT_EQ(velmar.out(), r.out);
    const std::string err = velmar.errors();
    EXPECT_TRUE(r.err.empty() ? err.empty() : err.starts_with(r.err)) << err;
  }
}
