#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "sources/DiscOpener.h"
#include "sources/RipSource.h"
#include "support/TestDisc.h"
#include "support/TestRip.h"

TEST(DiscOpener, ImagesOpenByTheirKindInAnyCaseAndOnlyRegularFilesAreImages) {
  TestDisc disc(counterDisc({75, 75}));
  TestRip rip;
  for (const char* name : {"disc.bin", "imagen.bin", "Otra.IMG", "sola.bin", "fifo.bin"})
    std::filesystem::copy_file(disc.bin, rip.path(name));
  // The sheet beside a raw image: its own name, else the one alike but for case
  // (see RipFilesAreFound... for the file lookup both use).
  for (const char* name : {"MAYUS.CUE", "imagen.Cue", "otra.cue"})
    rip.text(name,
             "FILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
             "  TRACK 02 AUDIO\n    INDEX 01 00:01:00\n");
  rip.text("disco.TOC",
           "CD_DA\nTRACK AUDIO\nFILE \"disc.bin\" 0 00:01:00\n"
           "TRACK AUDIO\nFILE \"disc.bin\" 00:01:00 00:01:00\n");
  rip.text("notas.txt", "no soy un disco\n");
  for (const char* name : {"tubo.cue", "fifo.cue"}) ::mkfifo(rip.path(name).c_str(), 0600);

  const std::string notAnImage = ", no una unidad de CD ni una imagen de disco";
  const std::pair<std::string, std::string> cases[] = {
      {disc.cue, ""},
      {rip.path("MAYUS.CUE"), ""},
      {rip.path("imagen.bin"), ""},
      {rip.path("Otra.IMG"), ""},
      {rip.path("disco.TOC"), ""},
      {rip.path("sola.bin"), "es una imagen sin su hoja .cue: falta «sola.cue» a su lado"},
      {rip.path("notas.txt"),
       "no es una imagen de disco que Velmar sepa leer (se admiten hojas .cue con sus archivos, "
       "imágenes .bin o .img con su hoja .cue, .toc de cdrdao y .nrg)"},
      {rip.path("tubo.cue"), "es una tubería (FIFO)" + notAnImage},
      {rip.path("fifo.bin"), "«fifo.cue»: es una tubería (FIFO), no un archivo"},
      {rip.dir.path().toStdString(), "es una carpeta" + notAnImage},
      {rip.path("no.cue"), "no existe"},
  };
  for (const auto& [path, problem] : cases) {
    SCOPED_TRACE(path);
    EXPECT_EQ(openedAs(path), problem.empty() ? "0+75 s1; 75+75 s1; lead-out 150" : problem);
    EXPECT_EQ(discPathProblem(path), problem);
    EXPECT_FALSE(isDrivePath(path));
  }
}

// The files a rip names: as written (backslashes read as slashes), else the
// last component beside the rip (a path of the machine it was ripped on),
// else the one file alike but for case; the exact name wins over its
// look-alikes, and several look-alikes are none.
TEST(DiscOpener, RipFilesAreFoundAsWrittenThenByTheirLastComponentThenInAnyCase) {
  TestRip rip;
  std::filesystem::create_directory(rip.path("sub"));
  for (const char* name :
       {"Mi Disco.wav", "sub/Pista.wav", "Eco.wav", "ECO.wav", "canci\xc3\xb3n.wav", "a.wav"})
    rip.text(name, "");
  const std::string several =
      "no existe, y hay varios que solo se diferencian en mayúsculas y "
      "minúsculas («ECO.wav», «Eco.wav»)";
  const struct {
    std::string name, raw, found;  // `raw`: the sheet's own bytes, when they differ
  } cases[] = {
      {"Mi Disco.wav", "", "Mi Disco.wav"},
      {"MI DISCO.WAV", "", "Mi Disco.wav"},
      {"sub\\pista.wav", "", "sub/Pista.wav"},
      {"Eco.wav", "", "Eco.wav"},
      {"eco.wav", "", several},
      {"CANCI\xc3\x93N.WAV", "", "canci\xc3\xb3n.wav"},
      {"canci\xc3\xb3n.wav", "canci\xf3n.wav", "canci\xc3\xb3n.wav"},  // a Windows-1252 sheet
      {"D:\\Música\\a.wav", "", "a.wav"},
      {"/home/otra/rips/a.wav", "", "a.wav"},
      {"..\\rips\\A.WAV", "", "a.wav"},
      {"nada.wav", "", "no existe"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string why;
    const RipFile file{c.name, c.raw.empty() ? c.name : c.raw};
    const std::string found = findRipFile(rip.dir.path().toStdString(), file, &why);
    EXPECT_EQ(found.empty() ? why : found.substr(rip.dir.path().size() + 1), c.found);
  }
}
