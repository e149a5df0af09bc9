// Measures how long opening a 99-track rip takes (reading its sheet or TOC,
// opening its files, laying the disc out), as the player opens it: writes
// the same 99 tracks of 10 s as a cue sheet and as a cdrdao TOC, each over
// one raw file and over 99 WAVE files, then opens each form RUNS times and
// prints the median and the slowest open.
//
//   velmar-open-bench [RUNS]     (default 25)
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sources/DiscLayout.h"
#include "sources/DiscOpener.h"

namespace {

constexpr int kTracks = 99;
constexpr int kTrackSectors = 750;  // 10 s

bool writeWave(const std::string& path, const std::vector<int16_t>& frames) {
  SF_INFO info{};
  info.samplerate = 44100;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) return false;
  sf_writef_short(f, frames.data(), static_cast<sf_count_t>(frames.size() / 2));
  sf_close(f);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 25;
  if (runs <= 0 || runs > 10000) {
    std::fprintf(stderr, "uso: velmar-open-bench [VECES]\n");
    return 2;
  }
  namespace fs = std::filesystem;
  char tmpl[] = "/tmp/velmar-open-bench.XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const fs::path dir(tmpl);

  std::vector<int16_t> track(static_cast<size_t>(kTrackSectors) * kSamplesPerSector);
  for (size_t i = 0; i < track.size(); ++i) track[i] = static_cast<int16_t>(i * 31);
  std::ofstream raw(dir / "disco.bin", std::ios::binary);
  std::string cueOne = "FILE \"disco.bin\" BINARY\n", cueMany, tocOne = "CD_DA\n",
              tocMany = "CD_DA\n";
  for (int t = 1; t <= kTracks; ++t) {
    raw.write(reinterpret_cast<const char*>(track.data()),
              static_cast<std::streamsize>(track.size() * 2));
    char name[32], buf[256];
    std::snprintf(name, sizeof name, "pista %02d.wav", t);
    if (!writeWave((dir / name).string(), track)) return 1;
    const std::string at = cueTime(int64_t{t - 1} * kTrackSectors);
    std::snprintf(buf, sizeof buf, "  TRACK %02d AUDIO\n    TITLE \"Pista %d\"\n    INDEX 01 %s\n",
                  t, t, at.c_str());
    cueOne += buf;
    std::snprintf(buf, sizeof buf,
                  "FILE \"%s\" WAVE\n  TRACK %02d AUDIO\n    TITLE \"Pista %d\"\n"
                  "    INDEX 01 00:00:00\n",
                  name, t, t);
    cueMany += buf;
    std::snprintf(buf, sizeof buf,
                  "\n// Track %d\nTRACK AUDIO\nNO COPY\nNO PRE_EMPHASIS\nTWO_CHANNEL_AUDIO\n"
                  "CD_TEXT {\n  LANGUAGE 0 {\n    TITLE \"Pista %d\"\n  }\n}\n",
                  t, t);
    tocOne += buf + std::string("FILE \"disco.bin\" ") + at + " 00:10:00\n";
    tocMany += buf + std::string("FILE \"") + name + "\" 0\n";
  }
  raw.close();
  const std::pair<const char*, std::string> forms[] = {
      {"cue sheet, one raw file", cueOne},
      {"cue sheet, 99 WAVE files", cueMany},
      {"cdrdao TOC, one raw file", tocOne},
      {"cdrdao TOC, 99 WAVE files", tocMany},
  };
  std::printf("%-28s %12s %12s\n", "99 tracks", "median ms", "slowest ms");
  int status = 0, n = 0;
  for (const auto& [form, text] : forms) {
    const fs::path path = dir / (std::to_string(n++) + (form[1] == 'u' ? ".cue" : ".toc"));
    std::ofstream(path) << text;
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
      const auto t0 = std::chrono::steady_clock::now();
      std::string why;
      const auto source = openImage(path.string(), &why);
      ms.push_back(
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
      if (!source || source->toc().tracks.size() != kTracks) {
        std::fprintf(stderr, "velmar-open-bench: %s: %s\n", form, why.c_str());
        status = 1;
        break;
      }
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-28s %12.2f %12.2f\n", form, ms[ms.size() / 2], ms.back());
  }
  fs::remove_all(dir);
  return status;
}
