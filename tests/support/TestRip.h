#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>

#include <QTemporaryDir>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sources/DiscOpener.h"
#include "sources/SectorSource.h"

// Rips made at test time: audio files written with libsndfile and sheets
// written as bytes, in a temporary folder that lives as long as the object.
struct TestRip {
  QTemporaryDir dir;

  std::string path(const std::string& name) const {
    return dir.filePath(QString::fromStdString(name)).toStdString();
  }

  // Writes `bytes` as the file `name`; returns its path.
  std::string text(const std::string& name, const std::string& bytes) const {
    std::ofstream(path(name), std::ios::binary | std::ios::trunc) << bytes;
    return path(name);
  }

  // Writes `samples` (interleaved, `channels` a frame, full scale 2^31) as
  // the file `name` in libsndfile's `format` (e.g. SF_FORMAT_WAV |
  // SF_FORMAT_PCM_16) at `rate` Hz, in a bit rate mode of libsndfile's when
  // one is given; returns its path.
  std::string sound(const std::string& name, int format, int rate, int channels,
                    const std::vector<int32_t>& samples, int bitrateMode = -1) const {
    SF_INFO info{0, rate, channels, format, 0, 0};
    SNDFILE* f = sf_open(path(name).c_str(), SFM_WRITE, &info);
    EXPECT_NE(f, nullptr) << name << ": " << sf_strerror(nullptr);
    if (!f) return path(name);
    if (bitrateMode >= 0) sf_command(f, SFC_SET_BITRATE_MODE, &bitrateMode, sizeof bitrateMode);
    // Integers written to a floating-point file are scaled, not copied.
    sf_command(f, SFC_SET_SCALE_INT_FLOAT_WRITE, nullptr, SF_TRUE);
    const auto frames = static_cast<sf_count_t>(samples.size()) / channels;
    EXPECT_EQ(sf_writef_int(f, samples.data(), frames), frames) << name;
    sf_close(f);
    return path(name);
  }

  // 16-bit stereo frames as a file of `format` at 44.1 kHz.
  std::string sound16(const std::string& name, int format,
                      const std::vector<int16_t>& frames) const {
    std::vector<int32_t> wide(frames.size());
    for (size_t i = 0; i < frames.size(); ++i) wide[i] = int32_t{frames[i]} * 65536;
    return sound(name, format, 44100, 2, wide);
  }
};

inline constexpr int kWav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
inline constexpr int kFlac16 = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
// Headerless 16-bit samples, as BINARY and MOTOROLA files hold them.
inline constexpr int kRawLittle = SF_FORMAT_RAW | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE;
inline constexpr int kRawBig = SF_FORMAT_RAW | SF_FORMAT_PCM_16 | SF_ENDIAN_BIG;

// A table of contents in one line: the album's text, then each track's
// start+length in sectors, kind, pre-emphasis, session and text.
inline std::string tocText(const DiscToc& toc) {
  std::ostringstream o;
  auto text = [&](const CdText& t) {
    if (!t.empty()) o << " \"" << t.title << "/" << t.performer << "\"";
  };
  text(toc.text);
  for (const DiscTrack& t : toc.tracks) {
    o << " " << t.lsn << "+" << t.sectors << (t.audio ? "" : " data")
      << (t.preemphasis ? " pre" : "") << " s" << t.session;
    text(t.text);
    o << ";";
  }
  o << " lead-out " << toc.leadOutLsn;
  return o.str().substr(1);
}

// What `path` opens as: its table of contents, else why it cannot be played.
inline std::string openedAs(const std::string& path) {
  std::string why;
  const std::unique_ptr<SectorSource> s = openImage(path, &why);
  return s ? tocText(s->toc()) : why;
}

// The disc from `lsn` on, `count` sectors, in reads of `step` sectors.
inline std::vector<int16_t> readSectors(SectorSource& s, int32_t lsn, int32_t count, int32_t step) {
  std::vector<int16_t> all, buf(kMaxSectorsPerRead * kSamplesPerSector);
  for (int32_t at = lsn; at < lsn + count; at += step) {
    const int32_t n = std::min(step, lsn + count - at);
    EXPECT_EQ(s.read(at, n, buf.data()), SectorRead::Ok) << "LSN " << at;
    all.insert(all.end(), buf.begin(), buf.begin() + n * kSamplesPerSector);
  }
  return all;
}

// Interleaved 16-bit stereo frames that differ from frame to frame and use
// the whole range: left counts up by 7, right down by 13.
inline std::vector<int16_t> rampFrames(int64_t frames) {
  std::vector<int16_t> s(static_cast<size_t>(frames * 2));
  for (size_t i = 0; i < s.size(); i += 2) {
    s[i] = static_cast<int16_t>(static_cast<uint16_t>(i / 2 * 7 + 100));
    s[i + 1] = static_cast<int16_t>(static_cast<uint16_t>(40000 - i / 2 * 13));
  }
  return s;
}
