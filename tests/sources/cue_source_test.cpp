#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>

#include "sources/DiscLayout.h"
#include "sources/DiscOpener.h"
#include "sources/RipSource.h"
#include "support/TestDisc.h"
#include "support/TestRip.h"

namespace {

std::unique_ptr<RipSource> openSheet(const std::string& path) {
  std::string why;
  auto s = openCueSheet(path, &why);
  EXPECT_TRUE(s) << why;
  return s;
}

std::string oneTrack(const std::string& file, const std::string& type) {
  return "FILE \"" + file + "\" " + type + "\n TRACK 01 AUDIO\n INDEX 01 00:00:00\n";
}

}  // namespace

// One rip written as one .bin with its sheet, as files per track (three
// ways of placing the pregaps), and as cdrdao writes it: one disc, the same
// table and the same samples.
TEST(CueSourceLayout, RipsSplitIntoFilesOrWrittenAsTocAreTheSingleImageAndPlayWithoutAGap) {
  // Tracks 2, 3 and 4 have silent INDEX 00 pregaps of 75, 150 and 33 sectors.
  discgen::DiscPlan plan = counterDisc({300, 225, 450, 160});
  const int32_t pregap[] = {0, 75, 150, 33};
  for (size_t t = 1; t < 4; ++t) plan.tracks[t].pregapSectors = pregap[t];
  const TestDisc disc(plan);
  // An INDEX 00 pregap counts in the previous track.
  const std::string table = "0+375 s1; 375+375 s1; 750+483 s1; 1233+160 s1; lead-out 1393";
  const size_t n = 4;
  const int32_t leadOut = 1393, first[] = {0, 375, 750, 1233};
  auto start = [&](size_t t) { return t < n ? first[t] : leadOut; };
  auto zero = [&](size_t t) { return t < n ? first[t] - pregap[t] : leadOut; };
  auto sectors = [&](int32_t lsn, int32_t count) {
    return disc.samples(int64_t{lsn} * kFramesPerSector, int64_t{count} * kFramesPerSector);
  };

  // Every second file a FLAC, the others WAVE.
  TestRip rip;
  auto file = [&](size_t t, int32_t from, int32_t to) {
    const std::string name = "pista " + std::to_string(t + 1) + (t % 2 ? ".flac" : ".wav");
    rip.sound16(name, t % 2 ? kFlac16 : kWav16, sectors(from, to - from));
    return "FILE \"" + name + "\" " + (t % 2 ? "FLAC" : "WAVE") + "\n";
  };
  auto track = [](size_t t) { return "  TRACK 0" + std::to_string(t + 1) + " AUDIO\n"; };
  // cdrdao read-cd's form: one big-endian raw file (here after 1000 bytes
  // of something else), a FILE per track from its INDEX 00 on, START at its
  // INDEX 01.
  std::ofstream(rip.path("data.raw"), std::ios::binary)
      << std::string(1000, 'R')
      << std::ifstream(rip.sound16("rest.raw", kRawBig, sectors(0, leadOut)), std::ios::binary)
             .rdbuf();
  std::string raw = "CD_DA\n";
  std::string appended, prepended, gaps;
  for (size_t t = 0; t < n; ++t) {
    const std::string head = "// Track " + std::to_string(t + 1) +
                             "\nTRACK AUDIO\nNO COPY\nNO PRE_EMPHASIS\nTWO_CHANNEL_AUDIO\n";
    const std::string startLine = t ? "START " + cueTime(start(t) - zero(t)) + "\n" : "";
    raw += head + "FILE \"data.raw\" #1000 " + cueTime(zero(t)) + " " +
           cueTime(zero(t + 1) - zero(t)) + "\n" + startLine;
    const std::string one = "    INDEX 01 00:00:00\n";
    // Files from INDEX 01 to INDEX 01: a pregap ends the file before.
    appended += file(t, start(t), start(t + 1)) + (t ? "" : track(0)) + one;
    if (t + 1 < n)
      appended += track(t + 1) + "    INDEX 00 " + cueTime(zero(t + 1) - start(t)) + "\n";
    // Files from INDEX 00 to INDEX 00: a pregap starts its own track's file.
    prepended += file(t + 10, zero(t), zero(t + 1)) + track(t) +
                 (t ? "    INDEX 00 00:00:00\n" : "") + "    INDEX 01 " +
                 cueTime(start(t) - zero(t)) + "\n";
    // Files without their pregaps, which are silence the sheet adds.
    gaps += file(t + 20, start(t), zero(t + 1)) + track(t) +
            (t ? "    PREGAP " + cueTime(start(t) - zero(t)) + "\n" : "") + one;
  }
  const std::pair<const char*, std::string> sheets[] = {
      {"the image's own sheet", disc.cue},
      {"gaps appended", rip.text("appended.cue", appended)},
      {"gaps prepended", rip.text("prepended.cue", prepended)},
      {"PREGAP lines", rip.text("gaps.cue", gaps)},
      {"cdrdao TOC, raw", rip.text("raw.toc", raw)},
  };
  const std::vector<int16_t> whole = sectors(0, leadOut);
  for (const auto& [layout, sheet] : sheets) {
    SCOPED_TRACE(layout);
    std::string why;
    const std::unique_ptr<SectorSource> s = openImage(sheet, &why);
    ASSERT_TRUE(s) << why;
    EXPECT_EQ(tocText(s->toc()), table);
    EXPECT_TRUE(readSectors(*s, 0, leadOut, kMaxSectorsPerRead) == whole);
    // Short reads that straddle every file boundary.
    for (size_t t = 1; t < n; ++t)
      for (const int32_t at : {zero(t), start(t)})
        EXPECT_TRUE(readSectors(*s, at - 2, 5, 5) == sectors(at - 2, 5)) << "LSN " << at;
  }
}

TEST(CueSourceLayout, GapsSessionsAndDataAreSilenceWhereABurnedDiscHasThem) {
  // A PREGAP of 2 s before track 1, a POSTGAP of 1 s after it and one of 10
  // sectors after track 2, whose file ends 100 frames into a sector; then a
  // data session (an Enhanced CD).
  TestRip rip;
  const std::vector<int16_t> a = rampFrames(300 * 588), b = rampFrames(225 * 588 - 100);
  rip.sound16("a.wav", kWav16, a);
  rip.sound16("b.flac", kFlac16, b);
  rip.text("datos.iso", std::string(20 * 2048, 'd'));
  const std::unique_ptr<RipSource> s = openSheet(rip.text(
      "gaps.cue",
      "PERFORMER \"Grupo\"\nFILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"Uno\"\n    FLAGS "
      "PRE\n"
      "    PREGAP 00:02:00\n    INDEX 01 00:00:00\n    POSTGAP 00:01:00\nFILE \"b.flac\" WAVE\n"
      "  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n    POSTGAP 00:00:10\nREM SESSION 02\n"
      "FILE \"datos.iso\" BINARY\n  TRACK 03 MODE1/2048\n    INDEX 01 00:00:00\n"));
  ASSERT_TRUE(s);
  // The second session starts after the gap a burned disc has, and the last
  // audio track of the first ends where its audio does.
  EXPECT_EQ(tocText(s->toc()),
            "\"/Grupo\" 150+375 pre s1 \"Uno/\"; 525+235 s1; 12160+20 data s2; lead-out 12180");
  std::vector<int16_t> want(150 * kSamplesPerSector);
  want.insert(want.end(), a.begin(), a.end());
  want.resize(want.size() + 75 * kSamplesPerSector);
  want.insert(want.end(), b.begin(), b.end());
  // b's last sector, the POSTGAP, the session gap and the data: silence.
  want.resize(12180 * kSamplesPerSector);
  EXPECT_TRUE(readSectors(*s, 0, 12180, 25) == want) << "data is never played as audio";
  std::vector<int16_t> buf(25 * kSamplesPerSector);
  EXPECT_EQ(s->read(12170, 11, buf.data()), SectorRead::Missing) << "past the lead-out";
  EXPECT_EQ(s->read(-1, 1, buf.data()), SectorRead::Missing);
  EXPECT_EQ(s->read(0, 26, buf.data()), SectorRead::Unreadable);
}

// Sheets that libcue takes and a burner burns, as the disc the burner makes:
// an EAC Enhanced CD's data track (in or past the end of the audio file, of
// any mode), numbers that skip, an INDEX 02 in the next track's pregap, a
// track with only INDEX 00, FLAGS before TRACK, a path of the machine the rip
// was made on.
TEST(CueSourceLayout, SheetsAsLenientAsBurnersArePlayedAsTheBurnedDisc) {
  TestRip rip;
  rip.sound16("a.wav", kWav16, rampFrames(300 * kFramesPerSector));
  rip.text("mixto.bin", std::string(300 * kBytesPerSector, 'd'));
  const std::string file = "FILE \"a.wav\" WAVE\n",
                    one = "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
  const std::pair<std::string, std::string> cases[] = {
      {file + one + "TRACK 02 AUDIO\nINDEX 01 00:02:00\nTRACK 03 MODE1/2352\nINDEX 01 02:36:00\n",
       "0+150 s1; 150+150 s1; 11700+300 data s2; lead-out 12000"},
      {file + one + "TRACK 02 AUDIO\nINDEX 01 00:02:00\nTRACK 03 MODE2/2336\nINDEX 01 00:03:00\n",
       "0+150 s1; 150+75 s1; 11625+75 data s2; lead-out 11700"},
      {file + one + "TRACK 02 AUDIO\nINDEX 01 00:01:00\nTRACK 09 AUDIO\nINDEX 01 00:02:00\n",
       "0+75 s1; 75+75 s1; 150+150 s1; lead-out 300"},
      {file + one + "INDEX 02 00:02:10\nTRACK 02 AUDIO\nINDEX 00 00:02:00\nINDEX 01 00:02:20\n",
       "0+170 s1; 170+130 s1; lead-out 300"},
      {file + one + "TRACK 02 AUDIO\nINDEX 00 00:02:00\n", "0+150 s1; 150+150 s1; lead-out 300"},
      {"FLAGS PRE\n" + file + one, "0+300 pre s1; lead-out 300"},
      // What lies before track 1's INDEX 01, in its file or in files before,
      // comes before it (a hidden pregap).
      {file + "  TRACK 01 AUDIO\n    INDEX 01 00:01:00\n", "75+225 s1; lead-out 300"},
      {"FILE \"mixto.bin\" BINARY\n" + file + one, "300+300 s1; lead-out 600"},
      {"FILE \"mixto.bin\" BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:00:00\nTRACK 02 AUDIO\n"
       "INDEX 00 00:01:00\nINDEX 01 00:03:00\n",
       "0+225 data s1; 225+75 s1; lead-out 300"},
  };
  for (const auto& [sheet, table] : cases)
    EXPECT_EQ(openedAs(rip.text("disco.cue", sheet)), table) << sheet;
}

TEST(CueSourceFormats, EveryFileIsReadAsCdAudio) {
  const int64_t frames = 588 * 10 + 100;  // ten sectors and a bit
  const std::vector<int16_t> ramp = rampFrames(frames);
  std::vector<int32_t> wide(ramp.size()), mono(static_cast<size_t>(frames));
  std::vector<int16_t> monoTwice(ramp.size()), eightBits(ramp.size());
  for (size_t i = 0; i < ramp.size(); ++i) {
    // The low byte of a 24-bit sample is below what 16 bits hold.
    wide[i] = int32_t{ramp[i]} * 65536 + 0x5a00;
    eightBits[i] = static_cast<int16_t>(ramp[i] & ~0xff);
    monoTwice[i] = ramp[i & ~size_t{1}];
    if (i % 2 == 0) mono[i / 2] = int32_t{ramp[i]} * 65536;
  }
  TestRip rip;
  const struct {
    std::string file, type;
    const std::vector<int16_t>& want;
    int tolerance;
  } cases[] = {
      {rip.sound("24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 44100, 2, wide), "WAVE", ramp, 0},
      {rip.sound("8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 44100, 2, wide), "WAVE", eightBits, 0},
      {rip.sound("float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 2, wide), "WAVE", ramp, 1},
      {rip.sound("mono.flac", kFlac16, 44100, 1, mono), "FLAC", monoTwice, 0},
      {rip.sound("a.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 44100, 2, wide), "AIFF", ramp, 0},
      {rip.sound16("big.raw", kRawBig, ramp), "MOTOROLA", ramp, 0},
      {rip.sound16("little.bin", kRawLittle, ramp), "BINARY", ramp, 0},
      {rip.sound16("wave.bin", kWav16, ramp), "BINARY", ramp, 0},   // a WAVE declared BINARY
      {rip.sound16("flac.bin", kFlac16, ramp), "BINARY", ramp, 0},  // a FLAC declared BINARY
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string name = std::filesystem::path(c.file).filename().string();
    const std::unique_ptr<RipSource> s = openSheet(rip.text(name + ".cue", oneTrack(name, c.type)));
    ASSERT_TRUE(s);
    EXPECT_EQ(tocText(s->toc()), "0+11 s1; lead-out 11");
    // The last sector ends in silence.
    const std::vector<int16_t> got = readSectors(*s, 0, 11, 11);
    size_t i = 0;
    while (i < got.size() && std::abs(got[i] - (i < c.want.size() ? c.want[i] : 0)) <= c.tolerance)
      ++i;
    EXPECT_EQ(i, got.size()) << "sample " << i << ": " << got[i];
  }
}

TEST(CueSourceFormats, OtherSampleRatesAreConvertedBandLimited) {
  // A 1 kHz sine at half scale, 2.5 s long, followed by a 44.1 kHz file.
  auto sine = [](int rate, int64_t i) {
    return 0.5 * std::sin(2 * std::numbers::pi * 1000 * i / rate);
  };
  TestRip rip;
  const std::vector<int16_t> after = rampFrames(588 * 4);
  rip.sound16("after.wav", kWav16, after);
  for (const auto& [rate, channels] : {std::pair{48000, 2}, {22050, 1}, {96000, 2}}) {
    SCOPED_TRACE(rate);
    std::vector<int32_t> samples;
    for (int64_t i = 0; i < rate * 5 / 2; ++i)
      samples.insert(samples.end(), channels,
                     static_cast<int32_t>(std::lround(2147483647.0 * sine(rate, i))));
    const std::string name = std::to_string(rate) + ".flac";
    rip.sound(name, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, rate, channels, samples);
    const std::unique_ptr<RipSource> s = openSheet(rip.text(
        name + ".cue",
        oneTrack(name, "FLAC") + "FILE \"after.wav\" WAVE\n TRACK 02 AUDIO\n INDEX 01 00:00:00\n"));
    ASSERT_TRUE(s);
    // 2.5 s at 44.1 kHz: 110250 frames, 187.5 sectors.
    EXPECT_EQ(tocText(s->toc()), "0+188 s1; 188+4 s1; lead-out 192");
    const std::vector<int16_t> got = readSectors(*s, 0, 192, 25);
    double worst = 0;
    for (size_t i = 2 * 441; i < 2 * (110250 - 441); ++i)
      worst = std::max(worst, std::abs(got[i] - 32767 * sine(44100, static_cast<int64_t>(i / 2))));
    // Linear interpolation would be 9 (96 kHz) to 35 (48 kHz) off.
    EXPECT_LT(worst, 4) << "in time and in tune (of 16384)";
    EXPECT_TRUE(
        std::equal(after.begin(), after.end(), got.end() - static_cast<ptrdiff_t>(after.size())));
    // A read after a jump gives what a read in order gives.
    std::vector<int16_t> again(3 * kSamplesPerSector);
    ASSERT_EQ(s->read(100, 3, again.data()), SectorRead::Ok);
    int drift = 0;
    for (size_t i = 0; i < again.size(); ++i)
      drift = std::max(drift, std::abs(again[i] - got[100 * kSamplesPerSector + i]));
    EXPECT_LE(drift, 1);
  }
}

// A sheet's raw file and a Nero image cut short while they play: missing
// from the cut on, noted once, whole before it. (The device plays a missing
// sector as the end of its track.) A FLAC cut or damaged: unreadable there.
TEST(CueSourceFiles, FilesCutOrDamagedAreMissingOrUnreadableThereAndTheRestPlays) {
  TestRip rip;
  const std::vector<int16_t> a = rampFrames(200 * 588);
  std::vector<int16_t> buf(25 * kSamplesPerSector);
  rip.sound16("a.flac", kFlac16, a);
  const std::string raw = rip.sound16("b.bin", kRawLittle, a), nrg = rip.path("disc.nrg");
  ASSERT_EQ(discgen::writeNrg(nrg, counterDisc({150, 150})), "");
  const std::string sheet =
      rip.text("cut.cue", oneTrack("a.flac", "FLAC") +
                              "FILE \"b.bin\" BINARY\n TRACK 02 AUDIO\n INDEX 01 00:00:00\n");
  const struct {
    std::string open, cut;
    int32_t keep, at;  // sectors of the file kept, LSN of the cut
    std::vector<int16_t> start;
  } cuts[] = {
      {sheet, raw, 50, 250, {a.begin(), a.begin() + 25 * kSamplesPerSector}},
      // The image holds 2 s of silence before track 1.
      {nrg, nrg, 150 + 75, 75, TestDisc(counterDisc({150, 150})).samples(0, 25 * 588)},
  };
  for (const auto& c : cuts) {
    SCOPED_TRACE(c.open);
    std::string why;
    const std::unique_ptr<SectorSource> s = openImage(c.open, &why);
    ASSERT_TRUE(s) << why;
    std::filesystem::resize_file(c.cut, c.keep * uintmax_t{kBytesPerSector});
    testing::internal::CaptureStderr();
    EXPECT_EQ(s->read(c.at - 10, 10, buf.data()), SectorRead::Ok);
    EXPECT_EQ(s->read(c.at, 1, buf.data()), SectorRead::Missing);
    EXPECT_EQ(s->read(c.at - 5, 10, buf.data()), SectorRead::Missing) << "a read reaching the cut";
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "velmar: «" + c.cut +
                  "» se ha acortado desde que se abrió: lo que falta no se puede leer\n");
    EXPECT_EQ(s->read(0, 25, buf.data()), SectorRead::Ok);
    EXPECT_EQ(buf, c.start);
  }

  // A FLAC cut in half before it is opened, and one overwritten in its
  // middle after: unreadable where damaged, noted once, whole elsewhere.
  const std::string cut = rip.sound16("cut.flac", kFlac16, a),
                    hurt = rip.sound16("hurt.flac", kFlac16, a);
  std::filesystem::resize_file(cut, std::filesystem::file_size(cut) / 2);
  for (const std::string& f : {cut, hurt}) {
    SCOPED_TRACE(f);
    const std::string name = std::filesystem::path(f).filename().string();
    const std::unique_ptr<RipSource> s = openSheet(rip.text(name + ".cue", oneTrack(name, "FLAC")));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->toc().leadOutLsn, 200) << "as long as its header says";
    if (f == hurt) {
      const auto size = static_cast<std::streamoff>(std::filesystem::file_size(f));
      std::fstream io(f, std::ios::in | std::ios::out | std::ios::binary);
      io.seekp(size / 2);
      io << std::string(static_cast<size_t>(size / 4), '\x55');
    }
    testing::internal::CaptureStderr();
    int unreadable = 0;
    for (int32_t lsn = 0; lsn < 200; lsn += 25) {
      const SectorRead r = s->read(lsn, 25, buf.data());
      unreadable += r == SectorRead::Unreadable;
      EXPECT_TRUE(r == SectorRead::Unreadable ||
                  std::equal(buf.begin(), buf.end(), a.begin() + lsn * kSamplesPerSector))
          << "LSN " << lsn;
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "velmar: «" + f + "» no se puede descodificar: está dañado o incompleto\n");
    EXPECT_GE(unreadable, 1);
    EXPECT_LE(unreadable, 6);
    EXPECT_EQ(s->read(0, 25, buf.data()), SectorRead::Ok) << "a new decoder for what is whole";
    EXPECT_TRUE(std::equal(buf.begin(), buf.end(), a.begin()));
  }
}
