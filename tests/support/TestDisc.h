#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "DiscImageWriter.h"

// A disc image written by the project's generator into a temporary folder
// that lives as long as the object.
struct TestDisc {
  QTemporaryDir dir;
  std::string cue = dir.filePath("disc.cue").toStdString();
  std::string bin = dir.filePath("disc.bin").toStdString();

  explicit TestDisc(const discgen::DiscPlan& plan) { EXPECT_EQ(discgen::writeDisc(cue, plan), ""); }

  // `count` interleaved frames of the .bin from `frame` (0: track 1's first).
  std::vector<int16_t> samples(int64_t frame, int64_t count) const {
    std::vector<int16_t> out(static_cast<size_t>(count * 2));
    std::ifstream in(bin, std::ios::binary);
    in.seekg(frame * 4);
    in.read(reinterpret_cast<char*>(out.data()), count * 4);
    return out;
  }
};

// Counter tracks of the given lengths in sectors: no two frames of the disc
// are alike (the right channel tells the tracks apart: 300, 600, ...).
inline discgen::DiscPlan counterDisc(const std::vector<int32_t>& sectors) {
  discgen::DiscPlan d;
  for (size_t i = 0; i < sectors.size(); ++i)
    d.tracks.push_back({discgen::TrackPlan::Kind::Counter, sectors[i], 300.0 * (i + 1)});
  return d;
}
