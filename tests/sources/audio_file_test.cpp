#include <gtest/gtest.h>
#include <samplerate.h>
#include <sndfile.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <numbers>

#include "sources/RipSource.h"
#include "support/TestRip.h"

namespace {

// The MPEG frames that the Xing or Info frame at the start of `mp3` counts
// (itself not included), and that frame's length in bytes. MPEG-1 Layer III
// at 44.1 kHz, stereo, as libsndfile writes it.
std::pair<int64_t, size_t> infoFrame(const std::string& mp3) {
  static const int kKbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  auto byte = [&](size_t i) { return static_cast<uint8_t>(mp3.at(i)); };
  EXPECT_TRUE(mp3.compare(36, 4, "Xing") == 0 || mp3.compare(36, 4, "Info") == 0);
  int64_t frames = 0;
  for (size_t i = 44; i < 48; ++i) frames = frames << 8 | byte(i);
  return {frames, size_t(144000 * kKbps[byte(2) >> 4] / 44100 + (byte(2) >> 1 & 1))};
}

}  // namespace

// An MP3 whose length no Xing or Info frame gives (as older encoders write
// them, here with zeros and a tag after the audio, 0.7 % of the file) is as
// long as its audio: the last track of a cue+MP3 rip ends where the audio
// ends, not where libsndfile's estimate from the file's size puts it, and
// every sector of it reads. With its Info frame it decodes as libsndfile
// decodes it, also after a seek.
TEST(AudioFileLength, AnMp3IsAsLongAsItsAudioWhateverItsHeaderSays) {
  TestRip rip;
  std::vector<int32_t> tone(2 * 44100 * 8);  // 8 s of a 440 Hz sine
  for (size_t i = 0; i < tone.size(); ++i)
    tone[i] =
        static_cast<int32_t>(1e9 * std::sin(2 * std::numbers::pi * 440 * double(i / 2) / 44100));
  const int mp3 = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
  std::vector<int16_t> buf(25 * kSamplesPerSector);
  for (const int mode : {SF_BITRATE_MODE_VARIABLE, SF_BITRATE_MODE_CONSTANT}) {
    SCOPED_TRACE(mode);
    std::ifstream in(rip.sound("tagged.mp3", mp3, 44100, 2, tone, mode), std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), {}};
    const auto [frames, infoBytes] = infoFrame(bytes);
    // Without that frame every MPEG frame decodes whole, 1152 samples.
    bytes = bytes.substr(infoBytes) + std::string(bytes.size() * 7 / 1000, '\0') + "TAG" +
            std::string(125, '\0');
    rip.text("rip.mp3", bytes);
    const int32_t sectors = static_cast<int32_t>((frames * 1152 + 587) / 588);
    std::string why;
    const auto s =
        openCueSheet(rip.text("rip.cue",
                              "FILE \"rip.mp3\" MP3\n TRACK 01 AUDIO\n INDEX 01 00:00:00\n"
                              " TRACK 02 AUDIO\n INDEX 01 00:04:00\n"),
                     &why);
    ASSERT_TRUE(s) << why;
    EXPECT_EQ(tocText(s->toc()), "0+300 s1; 300+" + std::to_string(sectors - 300) +
                                     " s1; lead-out " + std::to_string(sectors));
    for (int32_t lsn = 0; lsn < sectors; lsn += 25)
      ASSERT_EQ(s->read(lsn, std::min(25, sectors - lsn), buf.data()), SectorRead::Ok) << lsn;
  }

  SF_INFO info{};
  SNDFILE* f = sf_open(rip.path("tagged.mp3").c_str(), SFM_READ, &info);
  ASSERT_TRUE(f);
  std::vector<float> decoded(static_cast<size_t>(info.frames * 2));
  EXPECT_EQ(sf_readf_float(f, decoded.data(), info.frames), info.frames);
  sf_close(f);
  std::vector<int16_t> want(decoded.size());
  src_float_to_short_array(decoded.data(), want.data(), static_cast<int>(decoded.size()));
  std::string why;
  const auto s = openCueSheet(
      rip.text("tagged.cue", "FILE \"tagged.mp3\" MP3\n TRACK 01 AUDIO\n INDEX 01 00:00:00\n"),
      &why);
  ASSERT_TRUE(s) << why;
  EXPECT_EQ(s->toc().leadOutLsn, 600) << "8 s";
  for (const int32_t lsn : {200, 0, 575}) {
    ASSERT_EQ(s->read(lsn, 25, buf.data()), SectorRead::Ok);
    EXPECT_TRUE(std::equal(buf.begin(), buf.end(), want.begin() + lsn * kSamplesPerSector))
        << "LSN " << lsn;
  }
}
