#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "view/TimeFormat.h"

using modFunciones::CaptionFor;
using modFunciones::FormatTime;

TEST(FormatTime, MinutesAndSecondsOfAtLeastTwoDigits) {
  const std::vector<std::pair<int16_t, std::string>> cases = {
      {0, "00:00"},    {7, "00:07"},    {9, "00:09"},     {10, "00:10"},     {45, "00:45"},
      {59, "00:59"},   {60, "01:00"},   {61, "01:01"},    {599, "09:59"},    {600, "10:00"},
      {3599, "59:59"}, {3600, "60:00"}, {6000, "100:00"}, {32767, "546:07"},
  };
  for (const auto& [seconds, text] : cases)
    EXPECT_EQ(FormatTime(seconds).toStdString(), text) << seconds << " s";
}

TEST(FormatTime, NegativeCountsShowZero) {
  EXPECT_EQ(FormatTime(-1).toStdString(), "00:00");
  EXPECT_EQ(FormatTime(-61).toStdString(), "00:00");
  EXPECT_EQ(FormatTime(INT16_MIN).toStdString(), "00:00");
}

TEST(Caption, TruncatesElapsedToWholeSecondsAndNeverRoundsUp) {
  const std::vector<std::tuple<int16_t, int32_t, std::string>> cases = {
      {3, 999, "Pista 3 - 00:00"},   {3, 0, "Pista 3 - 00:00"},
      {3, 1000, "Pista 3 - 00:01"},  {1, 1999, "Pista 1 - 00:01"},
      {3, 65432, "Pista 3 - 01:05"}, {3, 600000, "Pista 3 - 10:00"},
      {1, 59500, "Pista 1 - 00:59"}, {12, 3599999, "Pista 12 - 59:59"},
      {0, 5000, "Pista 0 - 00:05"},  {99, 6000000, "Pista 99 - 100:00"},
  };
  for (const auto& [track, ms, text] : cases)
    EXPECT_EQ(CaptionFor(track, ms).toStdString(), text) << ms << " ms";
}

TEST(Caption, OutOfRangeElapsedTimesGiveASensibleCaption) {
  // Seconds past 16 bits keep counting minutes instead of wrapping.
  EXPECT_EQ(CaptionFor(1, 32767999).toStdString(), "Pista 1 - 546:07");
  EXPECT_EQ(CaptionFor(1, 32768000).toStdString(), "Pista 1 - 546:08");
  EXPECT_EQ(CaptionFor(1, INT32_MAX).toStdString(), "Pista 1 - 35791:23");
  // Negative times, whatever their length, never show a minus sign.
  for (int32_t ms : {-1, -99, -100, -999, -1000, -1999, -65432, INT32_MIN})
    EXPECT_EQ(CaptionFor(2, ms).toStdString(), "Pista 2 - 00:00") << ms << " ms";
}

// The caption's seconds are the decimal text of the elapsed time without its
// last three characters; checked against that rule over the whole 16-bit span.
TEST(Caption, AgreesWithDroppingTheLastThreeDigits) {
  for (int32_t ms = 0; ms < 32768000; ms += 997) {
    const std::string text = std::to_string(ms);
    const std::string expected =
        text.size() < 4
            ? "00:00"
            : FormatTime(static_cast<int16_t>(std::stoi(text.substr(0, text.size() - 3))))
                  .toStdString();
    ASSERT_EQ(CaptionFor(4, ms).toStdString(), "Pista 4 - " + expected) << ms << " ms";
  }
}
