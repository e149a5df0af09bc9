#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "view/TimeFormat.h"

using modFunciones::CaptionFor;
using modFunciones::FormatTime;

TEST(TimeFormat, MinutesAndSecondsOfTwoDigitsAndCaptionsInWholeSeconds) {
  const std::vector<std::pair<int16_t, std::string>> times = {
      {0, "00:00"},   {9, "00:09"},     {59, "00:59"},  {61, "01:01"},
      {600, "10:00"}, {6000, "100:00"}, {-61, "00:00"}, {INT16_MIN, "00:00"}};
  for (const auto& [seconds, text] : times)
    EXPECT_EQ(FormatTime(seconds).toStdString(), text) << seconds << " s";

  // Truncated, never rounded up; past 16 bits of seconds the minutes keep
  // counting; negative times never show a minus sign.
  const std::vector<std::tuple<int16_t, int32_t, std::string>> captions = {
      {3, 999, "Pista 3 - 00:00"},       {3, 1000, "Pista 3 - 00:01"},
      {1, 1999, "Pista 1 - 00:01"},      {3, 65432, "Pista 3 - 01:05"},
      {3, 600000, "Pista 3 - 10:00"},    {0, 5000, "Pista 0 - 00:05"},
      {1, 32767999, "Pista 1 - 546:07"}, {1, 32768000, "Pista 1 - 546:08"},
      {2, -1, "Pista 2 - 00:00"},        {2, INT32_MIN, "Pista 2 - 00:00"}};
  for (const auto& [track, ms, text] : captions)
    EXPECT_EQ(CaptionFor(track, ms).toStdString(), text) << ms << " ms";
}
