#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "view/TimeFormat.h"

using modFunciones::CaptionFor;
using modFunciones::FormatTime;

TEST(TimeFormat, SecondsAsMinutesAndSecondsOfAtLeastTwoDigits) {
  const std::vector<std::pair<int16_t, std::string>> cases = {
      {0, "00:00"},     {9, "00:09"},      {10, "00:10"},  {59, "00:59"},   {60, "01:00"},
      {61, "01:01"},    {599, "09:59"},    {600, "10:00"}, {3599, "59:59"}, {3600, "60:00"},
      {6000, "100:00"}, {32767, "546:07"}, {-1, "00:00"},  {-61, "00:00"},  {INT16_MIN, "00:00"}};
  for (const auto& [seconds, text] : cases)
    EXPECT_EQ(FormatTime(seconds).toStdString(), text) << seconds << " s";
}

TEST(TimeFormat, CaptionTruncatesToWholeSecondsAndStaysSensibleOutOfRange) {
  const std::vector<std::tuple<int16_t, int32_t, std::string>> cases = {
      {3, 0, "Pista 3 - 00:00"},
      {3, 999, "Pista 3 - 00:00"},
      {3, 1000, "Pista 3 - 00:01"},
      {1, 1999, "Pista 1 - 00:01"},
      {3, 65432, "Pista 3 - 01:05"},
      {3, 600000, "Pista 3 - 10:00"},
      {0, 5000, "Pista 0 - 00:05"},
      {99, 6000000, "Pista 99 - 100:00"},
      // Seconds past 16 bits keep counting minutes instead of wrapping.
      {1, 32767999, "Pista 1 - 546:07"},
      {1, 32768000, "Pista 1 - 546:08"},
      {1, INT32_MAX, "Pista 1 - 35791:23"},
      // Negative times of any length never show a minus sign.
      {2, -1, "Pista 2 - 00:00"},
      {2, -999, "Pista 2 - 00:00"},
      {2, -1000, "Pista 2 - 00:00"},
      {2, INT32_MIN, "Pista 2 - 00:00"}};
  for (const auto& [track, ms, text] : cases)
    EXPECT_EQ(CaptionFor(track, ms).toStdString(), text) << ms << " ms";

  // The seconds are the decimal text without its last three characters.
  for (int32_t ms = 1000; ms < 32768000; ms += 997) {
    const std::string text = std::to_string(ms);
    const auto seconds = static_cast<int16_t>(std::stoi(text.substr(0, text.size() - 3)));
    ASSERT_EQ(CaptionFor(4, ms), "Pista 4 - " + FormatTime(seconds)) << ms << " ms";
  }
}
