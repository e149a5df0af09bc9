#include <gtest/gtest.h>

#include "sources/CdioSource.h"
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
