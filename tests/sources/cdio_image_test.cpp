#include <gtest/gtest.h>

#include <filesystem>

#include "sources/CdioSource.h"
#include "sources/DiscOpener.h"
#include "support/FakePlayback.h"
#include "support/TestDisc.h"
#include "support/TestRip.h"

TEST(CdioImage, ParanoiaReadsAnImageAsTheBinHoldsIt) {
  // The way drives are read, exercised on an image: sequential reads, a
  // jump back, and a read that ends at the lead-out.
  TestDisc disc(counterDisc({120, 80}));
  std::string why;
  auto source = CdioSource::openImageAsDrive(disc.cue, &why);
  ASSERT_NE(source, nullptr) << why;
  std::vector<int16_t> got(static_cast<size_t>(kMaxSectorsPerRead) * kSamplesPerSector);
  for (const int32_t lsn : {0, 25, 50, 10, 175}) {
    SCOPED_TRACE(lsn);
    ASSERT_EQ(source->read(lsn, 25, got.data()), SectorRead::Ok);
    EXPECT_EQ(got, disc.samples(int64_t{lsn} * kFramesPerSector, 25 * kFramesPerSector));
  }
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
