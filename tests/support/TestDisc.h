#pragma once

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
  std::string cue;
  std::string bin;
  discgen::DiscPlan plan;

  explicit TestDisc(discgen::DiscPlan s, const std::string& base = "disc") : plan(std::move(s)) {
    cue = dir.filePath(QString::fromStdString(base + ".cue")).toStdString();
    bin = dir.filePath(QString::fromStdString(base + ".bin")).toStdString();
    error = discgen::writeDisc(cue, plan);
  }
  std::string error;

  // The interleaved samples of the image from `frame` (disc frames, LBA *
  // 588), `count` frames, as stored in the .bin.
  std::vector<int16_t> samples(int64_t frame, int64_t count) const {
    std::vector<int16_t> out(static_cast<size_t>(count * 2));
    std::ifstream in(bin, std::ios::binary);
    in.seekg((frame - 150 * 588) * 4);
    in.read(reinterpret_cast<char*>(out.data()), count * 4);
    return out;
  }
};

// Tracks of the given lengths in sectors whose frames all differ (counter
// tracks, told apart by their right channel: 300, 600, ...).
inline discgen::DiscPlan counterDisc(const std::vector<int32_t>& sectors) {
  discgen::DiscPlan d;
  double hz = 300;
  for (int32_t s : sectors) {
    discgen::TrackSpec t;
    t.kind = discgen::TrackSpec::Kind::Counter;
    t.toneHz = hz;
    t.sectors = s;
    d.tracks.push_back(t);
    hz += 300;
  }
  return d;
}
