#include <gtest/gtest.h>

#include "sources/DiscOpener.h"
#include "support/TestRip.h"

namespace {

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
  // A big-endian raw file and a WAVE of 225 sectors (3 s) each, the same
  // frames, and a 20-sector data file.
  TestRip rip;
  const std::vector<int16_t> frames = rampFrames(225 * kFramesPerSector);
  rip.sound16("data.raw", kRawBig, frames);
  rip.sound16("a.wav", kWav16, frames);
  rip.text("datos.iso", std::string(20 * 2048, 'd'));
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
       "CD_ROM\nTRACK MODE1_RAW\nDATAFILE \"datos.iso\" 00:00:10\nTRACK AUDIO RW\n",
       "«disco.toc», línea 4: la pista lleva datos de subcanal (RW) entre el sonido; Velmar no la "
       "sabe leer"},
  };
  for (const auto& c : cases) EXPECT_EQ(openedAs(rip.text("disco.toc", c.toc)), c.table) << c.name;

  std::string why;
  // Frames 200..1199 of the WAVE, silence to the end of the track's sector,
  // 588 frames of silence, then the raw file's frames 588..1175.
  const auto s = openImage(rip.text("c.toc", cases[5].toc), &why);
  ASSERT_TRUE(s) << why;
  std::vector<int16_t> want(frames.begin() + 400, frames.begin() + 2400);
  want.resize(2 * (1000 + 588), 0);
  want.insert(want.end(), frames.begin() + 2 * 588, frames.begin() + 4 * 588);
  want.resize(4 * kSamplesPerSector, 0);
  EXPECT_TRUE(readSectors(*s, 0, 4, 4) == want);
}
