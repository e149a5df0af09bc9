#include <gtest/gtest.h>

#include <cdio/cdio.h>
#include <fstream>

#include "sources/CdioLog.h"
#include "sources/CdioSource.h"
#include "support/TestDisc.h"
#include "support/TestRip.h"

// A disc read as drives are read, on an image libcdio opens as a disc: the
// table of contents with its pre-emphasis flag and CD-Text (ISO-8859-1 on
// the disc, UTF-8 here), and the audio through paranoia in order, after a
// jump back and up to the lead-out. libcdio's error lines end nothing (its
// own handler would exit).
TEST(CdioImage, ADiscReadAsDrivesReadItGivesItsTableTextAndAudio) {
  const TestDisc disc(counterDisc({120, 80}));
  std::ofstream(disc.cue) << "TITLE \"Canciones de prueba\"\nPERFORMER \"Orquesta Velmar\"\n"
                             "FILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\n    TITLE \"Primera\"\n"
                             "    PERFORMER \"Ana\"\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n"
                             "    FLAGS PRE\n    TITLE \"Segunda ma\xf1"
                             "ana\"\n    INDEX 01 00:01:45\n";
  std::string why;
  auto source = CdioSource::openImageAsDrive(disc.cue, &why);
  ASSERT_NE(source, nullptr) << why;
  EXPECT_EQ(tocText(source->toc()),
            "\"Canciones de prueba/Orquesta Velmar\" 0+120 s1 \"Primera/Ana\"; 120+80 pre s1 "
            "\"Segunda mañana/\"; lead-out 200");
  std::vector<int16_t> got(static_cast<size_t>(kMaxSectorsPerRead) * kSamplesPerSector);
  for (const int32_t lsn : {0, 25, 50, 10, 175}) {
    SCOPED_TRACE(lsn);
    ASSERT_EQ(source->read(lsn, 25, got.data()), SectorRead::Ok);
    EXPECT_EQ(got, disc.samples(int64_t{lsn} * kFramesPerSector, 25 * kFramesPerSector));
  }
  // A .bin without its sheet.
  const std::string bin = disc.dir.filePath("solo.bin").toStdString();
  std::ofstream(bin) << std::string(2352, '\0');
  installCdioLogHandler();
  EXPECT_EQ(cdio_open(bin.c_str(), DRIVER_BINCUE), nullptr);
}
