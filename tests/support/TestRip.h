#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>

#include <QTemporaryDir>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

// Rips made at test time: audio files written with libsndfile and sheets
// written as bytes, in a temporary folder that lives as long as the object.
struct TestRip {
  QTemporaryDir dir;

  std::string path(const std::string& name) const {
    return dir.filePath(QString::fromStdString(name)).toStdString();
  }

  // Writes `bytes` as the file `name`; returns its path.
  std::string text(const std::string& name, const std::string& bytes) const {
    const std::string p = path(name);
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
    return p;
  }

  // Writes `samples` (interleaved, `channels` a frame, full scale 2^31) as
  // the file `name` in libsndfile's `format` (e.g. SF_FORMAT_WAV |
  // SF_FORMAT_PCM_16) at `rate` Hz; returns its path.
  std::string sound(const std::string& name, int format, int rate, int channels,
                    const std::vector<int32_t>& samples) const {
    const std::string p = path(name);
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(p.c_str(), SFM_WRITE, &info);
    EXPECT_NE(f, nullptr) << name << ": " << sf_strerror(nullptr);
    if (!f) return p;
    const auto frames = static_cast<sf_count_t>(samples.size()) / channels;
    if ((format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT) {
      // libsndfile writes integers to a floating-point file unscaled.
      std::vector<float> f32(samples.size());
      for (size_t i = 0; i < f32.size(); ++i)
        f32[i] = static_cast<float>(samples[i] / 2147483648.0);
      EXPECT_EQ(sf_writef_float(f, f32.data(), frames), frames) << name;
    } else {
      EXPECT_EQ(sf_writef_int(f, samples.data(), frames), frames) << name;
    }
    sf_close(f);
    return p;
  }

  // 16-bit stereo frames as a file of `format` at 44.1 kHz.
  std::string sound16(const std::string& name, int format,
                      const std::vector<int16_t>& frames) const {
    std::vector<int32_t> wide(frames.size());
    for (size_t i = 0; i < frames.size(); ++i) wide[i] = int32_t{frames[i]} * 65536;
    return sound(name, format, 44100, 2, wide);
  }

  // 16-bit stereo frames as raw bytes, little- or big-endian.
  std::string raw(const std::string& name, const std::vector<int16_t>& frames,
                  bool bigEndian = false) const {
    std::string bytes;
    for (const int16_t s : frames) {
      const auto u = static_cast<uint16_t>(s);
      const char lo = static_cast<char>(u & 0xff), hi = static_cast<char>(u >> 8);
      bytes += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return text(name, bytes);
  }
};

inline constexpr int kWav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
inline constexpr int kWav24 = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
inline constexpr int kFlac16 = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
