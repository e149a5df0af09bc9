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
  TestDisc disc(counterDisc({75, 75}));
  TestRip rip;
  for (const char* name : {"disc.bin", "imagen.bin", "Otra.IMG", "sola.bin", "fifo.bin"})
    std::filesystem::copy_file(disc.bin, rip.path(name));
  for (const char* name : {"MAYUS.CUE", "imagen.Cue", "otra.cue"})
    rip.text(name,
             "FILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
             "  TRACK 02 AUDIO\n    INDEX 01 00:01:00\n");
  rip.text("disco.TOC",
           "CD_DA\nTRACK AUDIO\nFILE \"disc.bin\" 0 00:01:00\n"
           "TRACK AUDIO\nFILE \"disc.bin\" 00:01:00 00:01:00\n");
  rip.text("notas.txt", "no soy un disco\n");
  for (const char* name : {"tubo.cue", "fifo.cue"}) ::mkfifo(rip.path(name).c_str(), 0600);
  sockaddr_un addr{AF_UNIX, {}};
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", rip.path("enchufe.cue").c_str());
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
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
       "no es una imagen de disco que Velmar sepa leer (se admiten hojas .cue con sus archivos, "
       "imágenes .bin o .img con su hoja .cue, .toc de cdrdao y .nrg)"},
      {rip.path("tubo.cue"), "es una tubería (FIFO)" + notAnImage},
      {rip.path("fifo.bin"), "«fifo.cue»: es una tubería (FIFO), no un archivo"},
      {rip.path("enchufe.cue"), "es un socket" + notAnImage},
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
    EXPECT_FALSE(isDrivePath(path));
    if (problem.empty()) {
      ASSERT_TRUE(s);
      EXPECT_EQ(tocText(s->toc()), "0+75 s1; 75+75 s1; lead-out 150");
    }
  }
  ::close(sock);
}
