#include <gtest/gtest.h>

#include <QDir>
#include <filesystem>

#include "sources/CdioSource.h"
#include "sources/DiscOpener.h"
#include "sources/TocFile.h"
#include "support/FakePlayback.h"
#include "support/TestDisc.h"
#include "support/TestRip.h"

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
  const std::pair<const char*, const char*> cases[] = {
      {"FILE \"audio.bin\" 0 00:02:00", "FILE \"/discos/mi disco/audio.bin\" 0 00:02:00"},
      {"  DATAFILE \"sub/d.bin\" 00:01:00", "  DATAFILE \"/discos/mi disco/sub/d.bin\" 00:01:00"},
      {"AUDIOFILE \"a.wav\" 0", "AUDIOFILE \"/discos/mi disco/a.wav\" 0"},
      // Left as they are.
      {"FILE \"/abs/audio.bin\" 0 00:02:00", nullptr},
      {"FILE \"a\\\\b.bin\" 0", nullptr},
      {"TITLE \"FILE \\\"x\\\"\"", nullptr},
      {"FILEX \"a.bin\" 0", nullptr},
  };
  for (const auto& [line, want] : cases) {
    SCOPED_TRACE(line);
    EXPECT_EQ(absoluteTocNames(std::string("CD_DA\n") + line + "\n", "/discos/mi disco"),
              std::string("CD_DA\n") + (want ? want : line) + "\n");
  }

  // A .toc written by cdrdao beside its data file plays from any folder.
  TestDisc disc(counterDisc({150}));
  TestRip rip, scratch;
  std::filesystem::copy_file(disc.bin, rip.path("data.bin"));
  qputenv("TMPDIR", scratch.dir.path().toLocal8Bit());
  std::string why;
  auto source =
      openImage(rip.text("disc.toc", "CD_DA\nTRACK AUDIO\nFILE \"data.bin\" 0 00:02:00\n"), &why);
  qunsetenv("TMPDIR");
  ASSERT_NE(source, nullptr) << why;
  EXPECT_TRUE(QDir(scratch.dir.path()).isEmpty()) << "the rewritten copy is gone";
  EXPECT_EQ(tocText(source->toc()), "0+150 s1; lead-out 150");
  std::vector<int16_t> got(static_cast<size_t>(kSamplesPerSector) * 10);
  ASSERT_EQ(source->read(40, 10, got.data()), SectorRead::Ok);
  EXPECT_EQ(got, disc.samples(40 * kFramesPerSector, 10 * kFramesPerSector));
}

// A Nero image cut short after it was opened plays as a cut sheet does:
// silence to the end of the track where it was cut, then a stop as at the
// end of the disc, and one note on standard error.
TEST(CdioImage, ANeroImageCutShortPlaysSilenceToTheEndOfItsTrackThenStops) {
  const discgen::DiscPlan plan = counterDisc({150, 150});
  const TestDisc disc(plan);
  const std::string nrg = disc.dir.filePath("disc.nrg").toStdString();
  ASSERT_EQ(discgen::writeNrg(nrg, plan), "");
  DeviceRig r(nrg);
  ASSERT_EQ(r.dev.tracks(), 2);
  // Cut 1 s into track 1 (the image holds 2 s of silence before it).
  std::filesystem::resize_file(nrg, (150 + 75) * 2352);
  testing::internal::CaptureStderr();
  r.act([&] { r.dev.play(); });
  r.run(3000);
  EXPECT_TRUE(QTest::qWaitFor([&] { return r.dev.mode() == DeviceMode::Stopped; }))
      << "stopped with track 1, not after track 2's worth of silence";
  EXPECT_EQ(
      testing::internal::GetCapturedStderr(),
      "velmar: «" + nrg + "» se ha acortado desde que se abrió: lo que falta no se puede leer\n");
  EXPECT_TRUE(r.heard(0, 75 * 588) == disc.samples(0, 75 * 588));
  EXPECT_TRUE(r.heard(75 * 588, 75 * 588) == std::vector<int16_t>(75 * 588 * 2));
}
