#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <fstream>

#include "sources/CdioSource.h"
#include "sources/DiscOpener.h"
#include "sources/TocFile.h"
#include "support/TestDisc.h"

TEST(CdioImage, ParanoiaReadsAnImageAsTheBinHoldsIt) {
  // The way drives are read, exercised on an image: sequential reads, a
  // jump back, and a read that ends at the lead-out.
  TestDisc disc(counterDisc({120, 80}));
  std::string why;
  auto source = CdioSource::open(disc.cue, &why);
  ASSERT_NE(source, nullptr) << why;
  source->readThroughParanoia();
  std::vector<int16_t> got(static_cast<size_t>(kMaxSectorsPerRead) * kSamplesPerSector);
  for (const int32_t lsn : {0, 25, 50, 10, 175}) {
    SCOPED_TRACE(lsn);
    ASSERT_EQ(source->read(lsn, 25, got.data()), SectorRead::Ok);
    EXPECT_EQ(got, disc.samples(int64_t{lsn} * kFramesPerSector, 25 * kFramesPerSector));
  }
}

TEST(CdioImage, ATocNamesItsFilesRelativeToItsOwnFolder) {
  const std::string folder = "/discos/mi disco";
  const struct {
    const char* line;
    std::string want;
  } cases[] = {
      {"FILE \"audio.bin\" 0 00:02:00", "FILE \"/discos/mi disco/audio.bin\" 0 00:02:00"},
      {"  DATAFILE \"sub/d.bin\" 00:01:00", "  DATAFILE \"/discos/mi disco/sub/d.bin\" 00:01:00"},
      {"AUDIOFILE \"a.wav\" 0", "AUDIOFILE \"/discos/mi disco/a.wav\" 0"},
      {"FILE \"/abs/audio.bin\" 0 00:02:00", "FILE \"/abs/audio.bin\" 0 00:02:00"},
      {"FILE \"a\\\\b.bin\" 0", "FILE \"a\\\\b.bin\" 0"},
      {"TITLE \"FILE \\\"x\\\"\"", "TITLE \"FILE \\\"x\\\"\""},
      {"FILEX \"a.bin\" 0", "FILEX \"a.bin\" 0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(absoluteTocNames(std::string("CD_DA\n") + c.line + "\n", folder),
              "CD_DA\n" + c.want + "\n");
  }

  // A .toc written by cdrdao beside its data file plays from any folder.
  TestDisc disc(counterDisc({150}));
  QTemporaryDir dir;
  const std::string toc = dir.filePath("disc.toc").toStdString();
  QFile::copy(QString::fromStdString(disc.bin), dir.filePath("data.bin"));
  std::ofstream(toc) << "CD_DA\nTRACK AUDIO\nFILE \"data.bin\" 0 00:02:00\n";
  QTemporaryDir scratch;
  qputenv("TMPDIR", scratch.path().toLocal8Bit());
  std::string why;
  auto source = openImage(toc, &why);
  qunsetenv("TMPDIR");
  ASSERT_NE(source, nullptr) << why;
  EXPECT_TRUE(QDir(scratch.path()).isEmpty()) << "the rewritten copy is gone";
  ASSERT_EQ(source->toc().tracks.size(), 1u);
  EXPECT_EQ(source->toc().tracks[0].sectors, 150);
  std::vector<int16_t> got(static_cast<size_t>(kSamplesPerSector) * 10);
  ASSERT_EQ(source->read(40, 10, got.data()), SectorRead::Ok);
  EXPECT_EQ(got, disc.samples(40 * kFramesPerSector, 10 * kFramesPerSector));
}
