#include <gtest/gtest.h>

#include "sources/DiscOpener.h"
#include "sources/TocFile.h"
#include "support/TestRip.h"

namespace {

// A big-endian raw file and a WAVE of 225 sectors (3 s) each, the same
// frames, and a 20-sector data file.
struct TocRip {
  TestRip rip;
  std::vector<int16_t> frames = rampFrames(225 * kFramesPerSector);
  TocRip() {
    rip.sound16("data.raw", kRawBig, frames);
    rip.sound16("a.wav", kWav16, frames);
    rip.text("datos.iso", std::string(20 * 2048, 'd'));
  }
};

// As cdrdao read-toc writes it (there a statement a line).
const char kCdText[] = R"(CD_DA
CATALOG "0724384260727"
CD_TEXT {
  LANGUAGE_MAP { 0 : EN 1:9 }
  LANGUAGE 0 { TITLE "Canciones de prueba" PERFORMER "Orquesta Velmar" DISC_ID "XY12345"
    UPC_EAN "" SIZE_INFO { 0,  1,  2,  0,  8,  2,  0,  0,  0,  0,  0,  0,
                           3,  9,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0 } }
  LANGUAGE 1 { TITLE "Testlieder" GENRE { 0, 25, "Klassik" } }
}
// Track 1
TRACK AUDIO NO COPY NO PRE_EMPHASIS TWO_CHANNEL_AUDIO ISRC "ESAB10000001"
CD_TEXT { LANGUAGE 0 { TITLE "Primera" PERFORMER "Ana \"la\" Velmar" } }
FILE "data.raw" 0 00:02:00
// Track 2
TRACK AUDIO COPY PRE_EMPHASIS FOUR_CHANNEL_AUDIO
CD_TEXT { LANGUAGE 0 { TITLE "Segunda ma\361ana" TOC_INFO1 { 0, 1, 2 } } }
FILE "data.raw" 00:02:00 00:01:00 START 00:00:30 INDEX 00:00:10
)";

}  // namespace

// TOC files as cdrdao and rippers write them, and as people write them by
// hand: their table (and, where the layout is subtle, their samples).
TEST(TocFile, EveryFormOfTocIsLaidOutAsTheBurnedDisc) {
  const TocRip r;
  const struct {
    const char* name;
    std::string toc, table;
  } cases[] = {
      {"CD-Text as cdrdao read-toc writes it", kCdText,
       "\"Canciones de prueba/Orquesta Velmar\" 0+180 s1 \"Primera/Ana \"la\" Velmar\"; 180+45 "
       "pre s1 \"Segunda mañana/\"; lead-out 225"},
      {"a hidden pregap before track one",
       "CD_DA\nTRACK AUDIO\nSILENCE 00:01:00\nFILE \"a.wav\" 0\nSTART 00:01:00\n",
       "75+225 s1; lead-out 300"},
      {"a track of silence alone",
       "CD_DA\nTRACK AUDIO\nFILE \"a.wav\" 0 00:01:00\nTRACK AUDIO\nSILENCE 00:00:50\n"
       "TRACK AUDIO\nFILE \"a.wav\" 00:01:00\n",
       "0+75 s1; 75+50 s1; 125+150 s1; lead-out 275"},
      {"an Enhanced CD",
       "CD_ROM_XA\nTRACK AUDIO\nFILE \"a.wav\" 0 0:1:0\nTRACK AUDIO\nFILE \"a.wav\" 0:1:0\n"
       "TRACK MODE2_FORM1\nPREGAP 0:2:0\nDATAFILE \"datos.iso\"\nZERO MODE2_FORM1 00:00:10\n",
       "0+75 s1; 75+150 s1; 11625+30 data s2; lead-out 11655"},
      {"an Enhanced CD whose session gap the TOC holds",
       "CD_ROM_XA\nTRACK AUDIO\nFILE \"a.wav\" 0\nTRACK MODE1\nPREGAP 02:32:00\n"
       "DATAFILE \"datos.iso\" 40960\n",
       "0+225 s1; 11625+20 data s2; lead-out 11645"},
      {"samples, a byte offset into a WAVE, a start counted from what is so far",
       "CD_DA\nTRACK AUDIO\nAUDIOFILE \"a.wav\" #400 100 1000\nSTART\nZERO 588\n"
       "FILE \"data.raw\" #2352 0 588\nINDEX 00:00:01\n",
       "2+2 s1; lead-out 4"},
      {"a data track first, then audio (mixed mode)",
       "CD_ROM\nTRACK MODE1_RAW\nDATAFILE \"datos.iso\" 00:00:10\nTRACK AUDIO\nFILE \"a.wav\" 0\n",
       "0+10 data s1; 10+225 s1; lead-out 235"},
      {"audio with sub-channel data",
       "CD_ROM\nTRACK MODE1_RAW\nDATAFILE \"datos.iso\" 00:00:10\nTRACK AUDIO RW\n", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string why;
    const auto s = openImage(r.rip.text("disco.toc", c.toc), &why);
    if (c.table.empty()) {
      EXPECT_FALSE(s);
      EXPECT_EQ(why,
                "«disco.toc», línea 4: la pista lleva datos de subcanal (RW) entre el "
                "sonido; Velmar no la sabe leer");
      continue;
    }
    ASSERT_TRUE(s) << why;
    EXPECT_EQ(tocText(s->toc()), c.table);
  }

  std::string why;
  // Frames 200..1199 of the WAVE, silence to the end of the track's sector,
  // 588 frames of silence, then the raw file's frames 588..1175.
  const auto s = openImage(r.rip.text("c.toc", cases[5].toc), &why);
  ASSERT_TRUE(s) << why;
  std::vector<int16_t> want(r.frames.begin() + 400, r.frames.begin() + 2400);
  want.resize(2 * (1000 + 588), 0);
  want.insert(want.end(), r.frames.begin() + 2 * 588, r.frames.begin() + 4 * 588);
  want.resize(4 * kSamplesPerSector, 0);
  EXPECT_TRUE(readSectors(*s, 0, 4, 4) == want);
}

TEST(TocFile, MalformedTocsAreRefusedWithTheirLine) {
  const std::string head = "CD_DA\nTRACK AUDIO\n";
  std::string hundred = "CD_DA\n";
  for (int t = 1; t <= 100; ++t) hundred += "TRACK AUDIO\nSILENCE 75\n";
  const std::pair<std::string, std::string> cases[] = {
      {"", "«disco.toc»: no tiene ninguna pista (falta la palabra TRACK)"},
      {"CD_DA\nCD_TEXT {\n LANGUAGE_MAP { 9 : EN }\n}\n",
       "línea 3: LANGUAGE_MAP no es una lista de pares «idioma : código»"},
      {"CD_TEXT {\n LANGUAGE 0 {\n  TITLE \"a\"\n  RATING \"5\"\n }\n}\n",
       "línea 4: «RATING» no es un elemento de CD_TEXT"},
      {"CD_TEXT { LANGUAGE 0 { SIZE_INFO { 1, 256 } } }\n",
       "línea 1: «256» no es un byte (0 a 255) en el valor de SIZE_INFO"},
      {"CD_TEXT { LANGUAGE 0 { TITLE \"a\" }\n\n", "línea 1: falta «}» al final de CD_TEXT"},
      {"CD_DA\n\nTRACK MODE3\n", "línea 3: el tipo de pista «MODE3» es desconocido"},
      {head + "FILE \"a.wav\" 0 00:60:00\n",
       "línea 3: la duración «00:60:00» no es un tiempo válido (M:S:F, con S menor que 60 y F "
       "menor que 75)"},
      {head + "FILE a.wav 0\n", "línea 3: falta el nombre del archivo entre comillas"},
      {head + "FILE \"a.wav\n", "línea 3: falta la comilla de cierre"},
      {head + "FILE \"-\" 0\n",
       "línea 3: FILE lee de la entrada estándar («-»); Velmar solo lee archivos"},
      {head + "FIFO \"/tmp/f\" 1000\n", "línea 3: FIFO lee de una tubería"},
      {head + "FILE \"a.wav\" 0\nPREGAP 00:02:00\n",
       "línea 4: PREGAP va antes de lo que tiene la pista, no después"},
      {head + "PREGAP 00:02:00\nFILE \"a.wav\" 0\nSTART\n",
       "línea 5: la pista 1 ya tiene START o PREGAP en la línea 3"},
      {head + "DATAFILE \"a.iso\"\n",
       "línea 3: DATAFILE va en una pista de audio; es para pistas de datos"},
      {head + "FILE \"a.wav\" #3 0\n", "línea 3: el desplazamiento #3 no cae entre dos muestras"},
      {head + "SILENCE 99999999999\n",
       "línea 3: la duración «99999999999» no está en M:S:F ni es un número de muestras"},
      {head + "FILE \"a.wav\" 0\nBOGUS\n", "línea 4: «BOGUS» no es una palabra de archivo .toc"},
      {head + "SILENCE 00:01:00 // un comentario \"\nSTART 00:01:00\n",
       "línea 4: la pista 1 no dura nada"},
      {head + "SILENCE 00:01:00\nSTART 00:02:00\n",
       "línea 4: la pista 1 empieza en 00:02:00, más allá del final de lo que tiene (00:01:00)"},
      {head + "SILENCE 00:01:00\nINDEX 00:01:00\n",
       "línea 4: la pista 1 tiene una marca de índice en 00:01:00, más allá de su final"},
      {hundred, "línea 200: más de 99 pistas; un CD tiene 99 como mucho"},
      {"CD_DA\n" + std::string(4, '\0'), "«disco.toc»: no es un archivo .toc: contiene datos"},
      {std::string(kMaxTocFileBytes + 1, ' '), "«disco.toc»: mide más de 1 MiB"},
  };
  for (const auto& [text, message] : cases) {
    SCOPED_TRACE(text.substr(0, 200));
    std::string why;
    std::optional<RipDescription> rip = parseTocFile(text, "disco.toc", &why);
    // What only the layout can tell.
    if (rip) {
      EXPECT_FALSE(layOutRip(*rip, {}, &why));
    }
    EXPECT_NE(why.find(message), std::string::npos) << why << "\nwanted: " << message;
    EXPECT_EQ(why.rfind("«disco.toc»", 0), 0u) << why;
  }
}
