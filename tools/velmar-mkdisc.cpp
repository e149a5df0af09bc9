// Writes a CD image of synthesized audio: a .cue and its .bin, or with --nrg
// a Nero image (audio tracks only).
//
//   velmar-mkdisc [--nrg] --demo OUT
//   velmar-mkdisc [--nrg] [--tone HZ:SECONDS | --data SECONDS]... OUT
#include <cstdio>
#include <cstdlib>
#include <string>

#include "DiscImageWriter.h"

int main(int argc, char** argv) {
  discgen::DiscPlan disc;
  std::string out;
  bool nero = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--nrg") {
      nero = true;
    } else if (a == "--demo") {
      disc = discgen::demoDisc();
    } else if ((a == "--tone" || a == "--data") && i + 1 < argc) {
      const std::string v = argv[++i];
      discgen::TrackPlan t;
      if (a == "--data") {
        t.kind = discgen::TrackPlan::Kind::Data;
        t.sectors = static_cast<int32_t>(std::atof(v.c_str()) * 75);
      } else {
        const auto colon = v.find(':');
        t.toneHz = std::atof(v.substr(0, colon).c_str());
        t.sectors = colon == std::string::npos
                        ? 75 * 10
                        : static_cast<int32_t>(std::atof(v.substr(colon + 1).c_str()) * 75);
      }
      disc.tracks.push_back(t);
    } else if (a.rfind("--", 0) != 0 && out.empty()) {
      out = a;
    } else {
      out.clear();
      break;
    }
  }
  if (out.empty() || disc.tracks.empty()) {
    std::fprintf(stderr, "usage: velmar-mkdisc [--nrg] [--demo | --tone HZ:S | --data S]... OUT\n");
    return 2;
  }
  const std::string err = nero ? discgen::writeNrg(out, disc) : discgen::writeDisc(out, disc);
  if (!err.empty()) {
    std::fprintf(stderr, "velmar-mkdisc: %s\n", err.c_str());
    return 1;
  }
  return 0;
}
