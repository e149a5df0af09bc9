#pragma once

#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/TestRip.h"

// Rips that cannot be played, one sheet or TOC each, with the message that
// says why.
struct BadRip {
  std::string sheet;   // path
  std::string reason;  // what openImage() reports
};

inline std::vector<BadRip> makeBadRips(TestRip& rip) {
  // Two seconds (150 sectors) of 16-bit stereo.
  std::vector<int16_t> two(150 * 588 * 2);
  for (size_t i = 0; i < two.size(); ++i) two[i] = static_cast<int16_t>(i % 1000);
  rip.sound16("bueno.wav", kWav16, two);
  rip.text("vacio.wav", "");
  rip.sound16("cabecera.wav", kWav16, {});
  rip.sound("seis.wav", kWav16, 44100, 6, std::vector<int32_t>(6 * 588, 1 << 20));
  ::mkfifo(rip.path("tuberia.wav").c_str(), 0600);

  const std::string one = "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n",
                    good = "FILE \"bueno.wav\" WAVE\n";
  const std::string formats =
      "es desconocido (se admiten BINARY, MOTOROLA, WAVE, AIFF, MP3, FLAC y OGG)";
  // The sheet's name, its text, and the reason after its name.
  const std::string sheets[][3] = {
      {"falta.cue", "TITLE \"Disco\"\nFILE \"pista 3.flac\" WAVE\n" + one,
       ", línea 2: el archivo «pista 3.flac» no existe"},
      {"tipo.cue", "FILE \"bueno.wav\" APE\n" + one,
       ", línea 1: el tipo de archivo «APE» " + formats},
      {"basura.cue", "esto no es\nuna hoja\n", ", línea 1: «esto» no es una línea de hoja .cue"},
      {"lejos.cue", good + one + "  TRACK 02 AUDIO\n    INDEX 01 00:02:00\n",
       ", línea 5: la pista 2 empieza en 00:02:00, más allá del final de «bueno.wav», que dura "
       "00:02:00"},
      {"atras.cue",
       good + "  TRACK 01 AUDIO\n    INDEX 01 00:01:00\n  TRACK 02 AUDIO\n    INDEX 01 00:00:50\n",
       ", línea 5: el tiempo 00:00:50 es anterior al de la marca anterior del mismo archivo "
       "(00:01:00)"},
      {"mismo.cue",
       good + one +
           "  TRACK 02 AUDIO\n    INDEX 01 00:01:00\n  TRACK 03 AUDIO\n    INDEX 01 00:01:00\n",
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
      {"datos.toc", "CD_ROM\nTRACK MODE1\nDATAFILE \"bueno.wav\"\n",
       ": no tiene ninguna pista de audio, solo de datos"},
      {"nombre.cue", "FILE \"" + std::string(5000, 'n') + ".wav\" WAVE\n" + one,
       ", línea 1: el archivo «" + std::string(60, 'n') + "…" + std::string(16, 'n') +
           ".wav» tiene un nombre más largo de lo que admite el sistema de archivos"},
      {"tuberia.toc", "CD_DA\n\nTRACK AUDIO\nFILE \"tuberia.wav\" 0\n",
       ", línea 4: el archivo «tuberia.wav» es una tubería (FIFO), no un archivo"},
      {"lejos.toc", "CD_DA\nTRACK AUDIO\nFILE \"bueno.wav\" 00:01:00 00:01:01\n",
       ", línea 3: la pista 1 lee de «bueno.wav» hasta 00:02:01, más allá de su final (dura "
       "00:02:00)"},
  };
  std::vector<BadRip> out;
  for (const auto& [name, text, reason] : sheets)
    out.push_back({rip.text(name, text), "«" + name + "»" + reason});
  return out;
}
