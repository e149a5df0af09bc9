#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>

#include "sources/CueSheet.h"
#include "sources/DiscOpener.h"
#include "sources/TocFile.h"
#include "support/TestRip.h"

// Rips that cannot be played, a cue sheet or a cdrdao TOC each: refused with
// the reason and the line that says why, as the command line says it (one
// code path). Sheets the reader takes apart before any file they name is
// looked for, then rips whose files or layout cannot make a CD.
TEST(BadRips, EachIsRefusedWithItsReasonAndLineAsTheCommandLineSaysIt) {
  TestRip rip;
  rip.sound16("bueno.wav", kWav16, rampFrames(150 * kFramesPerSector));  // 2 s
  rip.text("vacio.wav", "");
  rip.sound16("cabecera.wav", kWav16, {});
  rip.sound("seis.wav", kWav16, 44100, 6, std::vector<int32_t>(6 * 588, 1 << 20));
  ::mkfifo(rip.path("tuberia.wav").c_str(), 0600);

  const std::string one = "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n",
                    good = "FILE \"bueno.wav\" WAVE\n";
  const std::string cueTrack = "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n",
                    tocTrack = "CD_DA\nTRACK AUDIO\n";
  std::string cue100 = "FILE \"a.wav\" WAVE\n", toc100 = "CD_DA\n";
  for (int t = 1; t <= 100; ++t) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "TRACK %02d AUDIO\nINDEX 01 %02d:00:00\n", t, t - 1);
    cue100 += buf;
    toc100 += "TRACK AUDIO\nSILENCE 75\n";
  }
  // Written as «disco.cue» and «disco.toc»: their text and the start of the
  // reason after that name.
  const std::pair<std::string, std::string> cues[] = {
      {"FILE \"a.wav\"\n", ", línea 1: a la línea FILE le falta"},
      {"\n\nTRACK 01 AUDIO\n", ", línea 3: la línea TRACK va antes de cualquier línea FILE"},
      {"FILE \"a.wav\" WAVE\nINDEX 01 00:00:00\n",
       ", línea 2: la línea INDEX va antes de cualquier línea TRACK"},
      {cueTrack + "    INDEX 01 00:60:00\n", ", línea 3: el tiempo «00:60:00» no es válido"},
      {cueTrack + "    INDEX 01 00:00:75\n", ", línea 3: el tiempo «00:00:75» no es válido"},
      {"FILE \"a.wav\" WAVE\n  TRACK 03 AUDIO\n    INDEX 01 00:00:00\n  TRACK 03 AUDIO\n",
       ", línea 4: la pista 03 sigue a la 03"},
      {cueTrack, ", línea 2: la pista 1 no tiene la línea INDEX 01"},
      {cueTrack + "    INDEX 02 00:00:00\n",
       ", línea 3: la pista 1 empieza por INDEX 2; falta INDEX 01"},
      {cueTrack + "    INDEX 01 00:00:00\n    INDEX 01 00:01:00\n",
       ", línea 4: INDEX 1 de la pista 1 va después de INDEX 1"},
      {cueTrack + "    INDEX 00 00:00:00\n    INDEX 02 00:01:00\n",
       ", línea 4: a INDEX 00 de la pista 1"},
      {cueTrack + "    INDEX 01 100:00:00\n", ", línea 3: el tiempo 100:00:00 no cabe en un disco"},
      {cueTrack + "    PREGAP 00:02:00\n    PREGAP 00:02:00\n",
       ", línea 4: la pista 1 ya tiene PREGAP en la línea 3"},
      {cueTrack + "    FLAGS PRE LOUD\n", ", línea 3: «LOUD» no es una marca de FLAGS"},
      {cueTrack + "    TITLE \"sin cerrar\n", ", línea 3: falta la comilla de cierre"},
      {cueTrack + "    INDEX 01 00:00:00 extra\n", ", línea 3: sobra «extra» al final de la línea"},
      {"FILE \"a.wav\" WAVE\n  TRACK 1x AUDIO\n", ", línea 2: el número de pista «1x»"},
      {"FILE \"a.wav\" WAVE\n  TRACK 01 MODE3\n", ", línea 2: el tipo de pista «MODE3»"},
      {"FILE \"a.bin\" BINARY\n  TRACK 01 CDG\n", ", línea 2: la pista es de karaoke (CDG)"},
      {"REM SESSION 02\n" + cueTrack + "REM SESSION 01\n",
       ", línea 4: la sesión 1 va después de la 2"},
      {cue100, ", línea 200: el número de pista «100» no es válido (01 a 99)"},
      {"FILE \"a.wav\" WAVE\n" + std::string(4, '\0'), ": no es una hoja .cue"},
      {std::string(kMaxCueSheetBytes + 1, ' '), ": mide más de 1 MiB"},
  };
  const std::pair<std::string, std::string> tocs[] = {
      {"", ": no tiene ninguna pista (falta la palabra TRACK)"},
      {"CD_DA\nCD_TEXT {\n LANGUAGE_MAP { 9 : EN }\n}\n", ", línea 3: LANGUAGE_MAP no es"},
      {"CD_TEXT {\n LANGUAGE 0 {\n  TITLE \"a\"\n  RATING \"5\"\n }\n}\n",
       ", línea 4: «RATING» no es un elemento de CD_TEXT"},
      {"CD_TEXT { LANGUAGE 0 { SIZE_INFO { 1, 256 } } }\n", ", línea 1: «256» no es un byte"},
      {"CD_TEXT { LANGUAGE 0 { TITLE \"a\" }\n\n", ", línea 1: falta «}» al final de CD_TEXT"},
      {"CD_DA\n\nTRACK MODE3\n", ", línea 3: el tipo de pista «MODE3» es desconocido"},
      {tocTrack + "FILE \"a.wav\" 0 00:60:00\n",
       ", línea 3: la duración «00:60:00» no es un tiempo"},
      {tocTrack + "FILE a.wav 0\n", ", línea 3: falta el nombre del archivo entre comillas"},
      {tocTrack + "FILE \"a.wav\n", ", línea 3: falta la comilla de cierre"},
      {tocTrack + "FILE \"-\" 0\n", ", línea 3: FILE lee de la entrada estándar"},
      {tocTrack + "FIFO \"/tmp/f\" 1000\n", ", línea 3: FIFO lee de una tubería"},
      {tocTrack + "FILE \"a.wav\" 0\nPREGAP 00:02:00\n", ", línea 4: PREGAP va antes"},
      {tocTrack + "PREGAP 00:02:00\nFILE \"a.wav\" 0\nSTART\n", ", línea 5: la pista 1 ya tiene"},
      {tocTrack + "DATAFILE \"a.iso\"\n", ", línea 3: DATAFILE va en una pista de audio"},
      {tocTrack + "FILE \"a.wav\" #3 0\n",
       ", línea 3: el desplazamiento #3 no cae entre dos muestras"},
      {tocTrack + "SILENCE 99999999999\n", ", línea 3: la duración «99999999999» no está"},
      {tocTrack + "FILE \"a.wav\" 0\nBOGUS\n",
       ", línea 4: «BOGUS» no es una palabra de archivo .toc"},
      {tocTrack + "SILENCE 00:01:00 // un comentario \"\nSTART 00:01:00\n",
       ", línea 4: la pista 1 no dura nada"},
      {tocTrack + "SILENCE 00:01:00\nSTART 00:02:00\n",
       ", línea 4: la pista 1 empieza en 00:02:00"},
      {tocTrack + "SILENCE 00:01:00\nINDEX 00:01:00\n", ", línea 4: la pista 1 tiene una marca"},
      {toc100, ", línea 200: más de 99 pistas"},
      {"CD_DA\n" + std::string(4, '\0'), ": no es un archivo .toc"},
      {std::string(kMaxTocFileBytes + 1, ' '), ": mide más de 1 MiB"},
  };
  // Named after what they lack: a name, its text, and the reason after it.
  std::vector<std::array<std::string, 3>> sheets = {
      {"falta.cue", "TITLE \"Disco\"\nFILE \"pista 3.flac\" WAVE\n" + one,
       ", línea 2: el archivo «pista 3.flac» no existe"},
      {"tipo.cue", "FILE \"bueno.wav\" APE\n" + one,
       ", línea 1: el tipo de archivo «APE» es desconocido"},
      {"basura.cue", "esto no es\nuna hoja\n", ", línea 1: «esto» no es una línea de hoja .cue"},
      {"lejos.cue", good + one + "  TRACK 02 AUDIO\n    INDEX 01 00:02:00\n",
       ", línea 5: la pista 2 empieza en 00:02:00, más allá del final de «bueno.wav», que dura "
       "00:02:00"},
      {"atras.cue", good + "TRACK 01 AUDIO\nINDEX 01 00:01:00\nTRACK 02 AUDIO\nINDEX 01 00:00:50\n",
       ", línea 5: el tiempo 00:00:50 es anterior al de la marca anterior del mismo archivo "
       "(00:01:00)"},
      {"mismo.cue",
       good + one + "TRACK 02 AUDIO\nINDEX 01 00:01:00\nTRACK 03 AUDIO\nINDEX 01 00:01:00\n",
       ", línea 5: la pista 2 no dura nada: la siguiente empieza donde ella"},
      {"sinpistas.cue", good, ": no tiene ninguna pista (falta la línea TRACK)"},
      {"vacio.cue", "FILE \"vacio.wav\" WAVE\n" + one,
       ", línea 1: el archivo «vacio.wav» está vacío"},
      {"cabecera.cue", "FILE \"cabecera.wav\" WAVE\n" + one,
       ", línea 1: el archivo «cabecera.wav» está vacío"},
      {"fifo.cue", "FILE \"tuberia.wav\" WAVE\n" + one,
       ", línea 1: el archivo «tuberia.wav» es una tubería (FIFO), no un archivo"},
      {"seis.cue", "FILE \"seis.wav\" WAVE\n" + one,
       ", línea 1: el archivo «seis.wav» tiene 6 canales; un CD solo tiene 2 (estéreo)"},
      {"carpeta.cue", "FILE \".\" WAVE\n" + one,
       ", línea 1: el archivo «.» es una carpeta, no un archivo"},
      {"largo.cue",
       good + "  TRACK 01 AUDIO\n    PREGAP 60:00:00\n    INDEX 01 00:00:00\n"
              "  TRACK 02 AUDIO\n    PREGAP 40:00:00\n    INDEX 01 00:01:00\n",
       ": el disco duraría 100:02:00, más de lo que cabe en un CD (99:58:00)"},
      {"datos.cue", "FILE \"bueno.wav\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n",
       ": no tiene ninguna pista de audio, solo de datos"},
      {"nombre.cue", "FILE \"" + std::string(5000, 'n') + ".wav\" WAVE\n" + one,
       ", línea 1: el archivo «" + std::string(60, 'n') + "…" + std::string(16, 'n') +
           ".wav» tiene un nombre más largo de lo que admite el sistema de archivos"},
      {"lejos.toc", "CD_DA\nTRACK AUDIO\nFILE \"bueno.wav\" 00:01:00 00:01:01\n",
       ", línea 3: la pista 1 lee de «bueno.wav» hasta 00:02:01, más allá de su final (dura "
       "00:02:00)"},
  };
  for (const auto& [text, reason] : cues) sheets.push_back({"disco.cue", text, reason});
  for (const auto& [text, reason] : tocs) sheets.push_back({"disco.toc", text, reason});
  for (const auto& [name, text, reason] : sheets) {
    SCOPED_TRACE(text.substr(0, 200));
    const std::string sheet = rip.text(name, text), why = openedAs(sheet);
    EXPECT_TRUE(why.starts_with("«" + name + "»" + reason)) << why << "\nwanted: " << reason;
    EXPECT_EQ(discPathProblem(sheet), why);
  }
}
