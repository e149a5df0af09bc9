// Measures what reading a rip costs: writes rips of the demo disc's music into
// a temporary folder (FLAC, WAVE, MP3, and FLAC at 48 kHz / 24 bits, which is
// converted to 44.1 kHz), then reads each whole disc through its cue sheet
// in reads of 25 sectors, as playback does, and prints the CPU time per
// minute of audio and as a share of one core at real time (1x). Then opens a
// 46-minute MP3 without a Xing or Info frame, whose length the opening finds
// by a scan of the whole file: from the page cache, and read from the disk
// (the file's cached pages dropped first).
//
//   velmar-rip-bench [SECONDS_PER_TRACK]     (default 60; four tracks)
#include <fcntl.h>
#include <sndfile.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "DiscImageWriter.h"
#include "sources/RipSource.h"

namespace {

double cpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

bool writeTrack(const std::string& path, int format, int rate, const discgen::TrackPlan& plan,
                int bitrateMode = -1) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 2;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) return false;
  if (bitrateMode >= 0) sf_command(f, SFC_SET_BITRATE_MODE, &bitrateMode, sizeof bitrateMode);
  const int64_t frames = int64_t{plan.sectors} * 588 * rate / 44100;
  std::vector<double> buf;
  for (int64_t at = 0; at < frames; at += 4096) {
    const int64_t n = std::min<int64_t>(4096, frames - at);
    buf.resize(static_cast<size_t>(n * 2));
    for (int64_t i = 0; i < n; ++i)
      for (int c = 0; c < 2; ++c)
        // The demo's music at this file's rate.
        buf[static_cast<size_t>(2 * i + c)] =
            discgen::sampleAt(plan, (at + i) * 44100 / rate, c) / 32768.0;
    sf_writef_double(f, buf.data(), n);
  }
  sf_close(f);
  return true;
}

double msSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// A `minutes`-long MP3 in `dir` as older encoders write them, without a
// frame that gives its length: a minute of the demo's music at a constant
// 128 kbit/s, its Info frame cut out, over and over. Returns its sheet.
std::string longMp3(const std::filesystem::path& dir, int minutes) {
  discgen::TrackPlan plan;
  plan.kind = discgen::TrackPlan::Kind::Music;
  plan.sectors = 60 * 75;
  const std::string minute = (dir / "minute.mp3").string();
  if (!writeTrack(minute, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100, plan,
                  SF_BITRATE_MODE_CONSTANT))
    return {};
  std::ifstream in(minute, std::ios::binary);
  std::string mp3((std::istreambuf_iterator<char>(in)), {});
  // The Info frame: its length from its header (MPEG-1 Layer III, 44.1 kHz).
  static const int kKbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  const auto h = static_cast<unsigned char>(mp3.size() > 40 ? mp3[2] : 0);
  if (mp3.compare(36, 4, "Info") != 0) return {};
  mp3.erase(0, static_cast<size_t>(144000 * kKbps[h >> 4] / 44100 + (h >> 1 & 1)));
  std::ofstream out((dir / "long.mp3").string(), std::ios::binary);
  for (int i = 0; i < minutes; ++i) out << mp3;
  std::ofstream((dir / "long.cue").string())
      << "FILE \"long.mp3\" MP3\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
  return (dir / "long.cue").string();
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  if (seconds <= 0 || seconds > 1200) {
    std::fprintf(stderr, "uso: velmar-rip-bench [SEGUNDOS_POR_PISTA]\n");
    return 2;
  }
  namespace fs = std::filesystem;
  char tmpl[] = "/tmp/velmar-rip-bench.XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const fs::path dir(tmpl);

  struct Kind {
    const char* name;
    const char* ext;
    const char* type;
    int format, rate;
  };
  const Kind kinds[] = {
      {"FLAC 44.1 kHz 16-bit", "flac", "FLAC", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100},
      {"WAVE 44.1 kHz 16-bit", "wav", "WAVE", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100},
      {"MP3 44.1 kHz", "mp3", "MP3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100},
      {"FLAC 48 kHz 24-bit (converted)", "flac", "FLAC", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 48000},
  };
  std::printf("%-32s %8s %10s %12s %10s\n", "rip", "audio s", "open ms", "CPU s/min", "1x core");
  int status = 0;
  for (const Kind& k : kinds) {
    const fs::path sub = dir / (std::to_string(k.rate) + k.ext);
    fs::create_directory(sub);
    std::string sheet;
    for (int t = 0; t < 4; ++t) {
      discgen::TrackPlan plan;
      plan.kind = discgen::TrackPlan::Kind::Music;
      plan.piece = t;
      plan.sectors = seconds * 75;
      const std::string name = "pista " + std::to_string(t + 1) + "." + k.ext;
      if (!writeTrack((sub / name).string(), k.format, k.rate, plan)) {
        std::fprintf(stderr, "velmar-rip-bench: no se puede escribir %s\n", name.c_str());
        return 1;
      }
      char track[96];
      std::snprintf(track, sizeof track,
                    "FILE \"%s\" %s\n  TRACK %02d AUDIO\n    INDEX 01 00:00:00\n", name.c_str(),
                    k.type, t + 1);
      sheet += track;
    }
    std::ofstream((sub / "rip.cue").string()) << sheet;

    const auto t0 = std::chrono::steady_clock::now();
    std::string why;
    const std::unique_ptr<RipSource> source = openCueSheet((sub / "rip.cue").string(), &why);
    const double openMs = msSince(t0);
    if (!source) {
      std::fprintf(stderr, "velmar-rip-bench: %s\n", why.c_str());
      return 1;
    }
    const int32_t leadOut = source->toc().leadOutLsn;
    std::vector<int16_t> buf(kMaxSectorsPerRead * kSamplesPerSector);
    const double c0 = cpuSeconds();
    for (int32_t lsn = 0; lsn < leadOut; lsn += kMaxSectorsPerRead) {
      const int32_t n = std::min(kMaxSectorsPerRead, leadOut - lsn);
      if (source->read(lsn, n, buf.data()) != SectorRead::Ok) status = 1;
    }
    const double cpu = cpuSeconds() - c0;
    const double audio = leadOut / 75.0;
    std::printf("%-32s %8.0f %10.1f %12.3f %9.2f%%\n", k.name, audio, openMs, cpu / audio * 60,
                cpu / audio * 100);
  }

  const int minutes = 46;
  const std::string sheet = longMp3(dir, minutes);
  if (sheet.empty()) {
    std::fprintf(stderr, "velmar-rip-bench: no se puede escribir el MP3 largo\n");
    return 1;
  }
  const std::string mp3 = (dir / "long.mp3").string();
  for (const bool cached : {true, false}) {
    if (!cached) {
      const int fd = ::open(mp3.c_str(), O_RDONLY);
      ::fdatasync(fd);
      ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
      ::close(fd);
    }
    const auto t0 = std::chrono::steady_clock::now();
    std::string why;
    const std::unique_ptr<RipSource> source = openCueSheet(sheet, &why);
    const double openMs = msSince(t0);
    if (!source) {
      std::fprintf(stderr, "velmar-rip-bench: %s\n", why.c_str());
      return 1;
    }
    std::printf(
        "MP3 of %d min (%.0f MB) without a Xing frame, %s: opened (whole-file scan) in %.1f ms; "
        "%.3f s of audio\n",
        minutes, static_cast<double>(fs::file_size(mp3)) / 1e6,
        cached ? "in the page cache" : "read from the disk", openMs,
        source->toc().leadOutLsn / 75.0);
  }
  fs::remove_all(dir);
  return status;
}
