#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>

#include "sources/DiscOpener.h"
#include "support/TestDisc.h"
#include "support/TestRip.h"

TEST(DiscOpener, ImagesOpenByTheirKindInAnyCaseAndOnlyRegularFilesAreImages) {
  namespace fs = std::filesystem;
  TestDisc disc(counterDisc({75, 75}));
  TestRip rip;
  auto copyBin = [&](const std::string& name) { fs::copy_file(disc.bin, rip.path(name)); };
  const std::string sheet =
      "FILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
      "  TRACK 02 AUDIO\n    INDEX 01 00:01:00\n";
  copyBin("disc.bin");
  rip.text("MAYUS.CUE", sheet);
  copyBin("imagen.bin");
  rip.text("imagen.Cue", sheet);
  copyBin("Otra.IMG");
  rip.text("otra.cue", sheet);
  copyBin("sola.bin");
  // libcdio reads the files of a .toc relative to the working folder.
  rip.text("disco.TOC", "CD_DA\nTRACK AUDIO\nFILE \"" + disc.bin +
                            "\" 0 00:01:00\nTRACK AUDIO\nFILE \"" + disc.bin +
                            "\" 00:01:00 00:01:00\n");
  rip.text("notas.txt", "no soy un disco\n");
  ::mkfifo(rip.path("tubo.cue").c_str(), 0600);
  copyBin("fifo.bin");
  ::mkfifo(rip.path("fifo.cue").c_str(), 0600);
  const std::string socketPath = rip.path("enchufe.cue");
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  ASSERT_LT(socketPath.size(), sizeof addr.sun_path);
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", socketPath.c_str());
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);

  const std::string notAnImage = ", no una unidad de CD ni una imagen de disco";
  const std::pair<std::string, std::string> cases[] = {
      {disc.cue, ""},
      {rip.path("MAYUS.CUE"), ""},
      {rip.path("imagen.bin"), ""},  // its sheet beside it, in any case
      {rip.path("Otra.IMG"), ""},
      {rip.path("disco.TOC"), ""},
      {rip.path("sola.bin"), "es una imagen sin su hoja .cue: falta «sola.cue» a su lado"},
      {rip.path("notas.txt"),
       "no es una imagen de disco que Velmar sepa leer (se admiten hojas "
       ".cue con sus archivos, imágenes .bin o .img con su hoja .cue, .toc "
       "de cdrdao y .nrg)"},
      {rip.path("tubo.cue"), "es una tubería (FIFO)" + notAnImage},
      {rip.path("fifo.bin"), "«fifo.cue»: es una tubería (FIFO), no un archivo"},
      {socketPath, "es un socket" + notAnImage},
      {"/dev/zero", "es un dispositivo de caracteres" + notAnImage},
      {rip.dir.path().toStdString(), "es una carpeta" + notAnImage},
      {rip.path("no.cue"), "no existe"},
  };
  for (const auto& [path, problem] : cases) {
    SCOPED_TRACE(path);
    std::string why;
    const std::unique_ptr<SectorSource> s = openImage(path, &why);
    EXPECT_EQ(why, problem);
    EXPECT_EQ(discPathProblem(path), problem);
    if (!problem.empty()) continue;
    ASSERT_TRUE(s);
    ASSERT_EQ(s->toc().tracks.size(), 2u);
    EXPECT_EQ(s->toc().tracks[1].lsn, 75);
    EXPECT_EQ(s->toc().leadOutLsn, 150);
  }
  ::close(sock);
}
