#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <sstream>

#include "sources/CdioSource.h"
#include "sources/CueSource.h"
#include "sources/DiscOpener.h"
#include "support/BadRips.h"
#include "support/FakePlayback.h"
#include "support/TestDisc.h"
#include "support/TestRip.h"

namespace {

std::string msf(int32_t sectors) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", sectors / 75 / 60, sectors / 75 % 60,
                sectors % 75);
  return buf;
}

std::string describe(const DiscToc& toc) {
  std::ostringstream o;
  for (const DiscTrack& t : toc.tracks)
    o << t.lsn << "+" << t.sectors << (t.audio ? "" : " data") << (t.preemphasis ? " pre" : "")
      << " s" << t.session << "; ";
  o << "lead-out " << toc.leadOutLsn;
  return o.str();
}

// The disc from `lsn` on, `count` sectors, in reads of `step` sectors.
std::vector<int16_t> readSectors(SectorSource& s, int32_t lsn, int32_t count, int32_t step) {
  std::vector<int16_t> all, buf(kMaxSectorsPerRead * kSamplesPerSector);
  for (int32_t at = lsn; at < lsn + count; at += step) {
    const int32_t n = std::min(step, lsn + count - at);
    EXPECT_EQ(s.read(at, n, buf.data()), SectorRead::Ok) << "LSN " << at;
    all.insert(all.end(), buf.begin(), buf.begin() + n * kSamplesPerSector);
  }
  return all;
}

std::unique_ptr<CueSource> openSheet(const std::string& path) {
  std::string why;
  auto s = CueSource::open(path, &why);
  EXPECT_TRUE(s) << why;
  return s;
}

// An image written by the generator, and what libcdio reads in it.
struct Reference {
  discgen::DiscPlan plan;
  TestDisc disc;
  DiscToc toc;
  explicit Reference(const discgen::DiscPlan& p) : plan(p), disc(p) {
    std::string why;
    auto cdio = CdioSource::open(disc.cue, &why);
    EXPECT_TRUE(cdio) << why;
    if (cdio) toc = cdio->toc();
  }
  // Sectors of the .bin from `lsn`.
  std::vector<int16_t> sectors(int32_t lsn, int32_t count) const {
    return disc.samples(int64_t{lsn} * kFramesPerSector, int64_t{count} * kFramesPerSector);
  }
  int32_t indexZero(size_t track) const {
    return toc.tracks[track].lsn - plan.tracks[track].pregapSectors;
  }
};

// Interleaved 16-bit stereo frames that differ from frame to frame and use
// the whole range: left counts up by 7, right down by 13.
std::vector<int16_t> rampFrames(int64_t frames) {
  std::vector<int16_t> s(static_cast<size_t>(frames * 2));
  for (int64_t i = 0; i < frames; ++i) {
    s[static_cast<size_t>(2 * i)] = static_cast<int16_t>(static_cast<uint16_t>(i * 7 + 100));
    s[static_cast<size_t>(2 * i + 1)] = static_cast<int16_t>(static_cast<uint16_t>(40000 - i * 13));
  }
  return s;
}

}  // namespace

TEST(CueSourceLayout, RipsSplitIntoFilesHaveTheTocAndTheAudioOfTheSingleImage) {
  // Track 2, 3 and 4 have silent INDEX 00 pregaps of 75, 150 and 33 sectors.
  discgen::DiscPlan plan = counterDisc({300, 225, 450, 160});
  plan.tracks[1].pregapSectors = 75;
  plan.tracks[2].pregapSectors = 150;
  plan.tracks[3].pregapSectors = 33;
  const Reference ref(plan);
  ASSERT_EQ(describe(ref.toc), "0+375 s1; 375+375 s1; 750+483 s1; 1233+160 s1; lead-out 1393")
      << "libcdio counts an INDEX 00 pregap in the previous track";
  const size_t n = plan.tracks.size();
  const int32_t leadOut = ref.toc.leadOutLsn;
  auto start = [&](size_t t) { return t < n ? ref.toc.tracks[t].lsn : leadOut; };
  auto zero = [&](size_t t) { return t < n ? ref.indexZero(t) : leadOut; };

  // Every second file a FLAC, the others WAVE.
  TestRip rip;
  auto file = [&](size_t t, int32_t from, int32_t to) {
    const std::string name = "pista " + std::to_string(t + 1) + (t % 2 ? ".flac" : ".wav");
    rip.sound16(name, t % 2 ? kFlac16 : kWav16, ref.sectors(from, to - from));
    return "FILE \"" + name + "\" " + (t % 2 ? "FLAC" : "WAVE") + "\n";
  };
  auto track = [](size_t t) { return "  TRACK 0" + std::to_string(t + 1) + " AUDIO\n"; };
  // Files from INDEX 01 to INDEX 01: a pregap ends the file before.
  std::string appended;
  for (size_t t = 0; t < n; ++t) {
    appended += file(t, start(t), start(t + 1)) + "    INDEX 01 00:00:00\n";
    if (t + 1 < n) appended += track(t + 1) + "    INDEX 00 " + msf(zero(t + 1) - start(t)) + "\n";
  }
  appended.insert(appended.find('\n') + 1, track(0));
  // Files from INDEX 00 to INDEX 00: a pregap starts its own track's file.
  std::string prepended;
  for (size_t t = 0; t < n; ++t) {
    prepended += file(t + 10, zero(t), zero(t + 1)) + track(t);
    if (t > 0) prepended += "    INDEX 00 00:00:00\n";
    prepended += "    INDEX 01 " + msf(start(t) - zero(t)) + "\n";
  }
  // Files without their pregaps, which are silence the sheet adds.
  std::string gaps;
  for (size_t t = 0; t < n; ++t) {
    gaps += file(t + 20, start(t), zero(t + 1)) + track(t);
    if (t > 0) gaps += "    PREGAP " + msf(start(t) - zero(t)) + "\n";
    gaps += "    INDEX 01 00:00:00\n";
  }
  const std::pair<const char*, std::string> sheets[] = {
      {"the image's own sheet", ref.disc.cue},
      {"gaps appended", rip.text("appended.cue", appended)},
      {"gaps prepended", rip.text("prepended.cue", prepended)},
      {"PREGAP lines", rip.text("gaps.cue", gaps)},
  };
  const std::vector<int16_t> whole = ref.sectors(0, leadOut);
  for (const auto& [layout, sheet] : sheets) {
    SCOPED_TRACE(layout);
    const std::unique_ptr<CueSource> s = openSheet(sheet);
    ASSERT_TRUE(s);
    EXPECT_EQ(describe(s->toc()), describe(ref.toc));
    EXPECT_TRUE(readSectors(*s, 0, leadOut, kMaxSectorsPerRead) == whole);
    // Short reads that straddle every file boundary.
    for (size_t t = 1; t < n; ++t)
      for (const int32_t at : {zero(t), start(t)})
        EXPECT_TRUE(readSectors(*s, at - 2, 5, 5) == ref.sectors(at - 2, 5)) << "LSN " << at;
  }
}

TEST(CueSourceLayout, GapsNoFileHoldsAreSilenceAndTrackOneStartsAfterItsOwn) {
  // Track 1: a PREGAP of 2 s before it; track 1 ends with a POSTGAP of 1 s,
  // track 2 with one of 10 sectors.
  TestRip rip;
  const std::vector<int16_t> a = rampFrames(300 * 588), b = rampFrames(225 * 588 - 100);
  rip.sound16("a.wav", kWav16, a);
  rip.sound16("b.flac", kFlac16, b);
  const std::string sheet = rip.text(
      "gaps.cue",
      "PERFORMER \"Grupo\"\nFILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"Uno\"\n"
      "    PREGAP 00:02:00\n    INDEX 01 00:00:00\n"
      "    POSTGAP 00:01:00\nFILE \"b.flac\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"
      "    POSTGAP 00:00:10\n");
  const std::unique_ptr<CueSource> s = openSheet(sheet);
  ASSERT_TRUE(s);
  EXPECT_EQ(describe(s->toc()), "150+375 s1; 525+235 s1; lead-out 760");
  EXPECT_EQ(s->toc().text.performer, "Grupo");
  EXPECT_EQ(s->toc().tracks[0].text.title, "Uno");
  EXPECT_TRUE(s->toc().tracks[1].text.empty());
  std::vector<int16_t> want(150 * kSamplesPerSector);
  want.insert(want.end(), a.begin(), a.end());
  want.resize(want.size() + 75 * kSamplesPerSector);
  want.insert(want.end(), b.begin(), b.end());
  want.resize(760 * kSamplesPerSector) /* b's last sector and the POSTGAP: silence */;
  EXPECT_TRUE(readSectors(*s, 0, 760, 25) == want);
  EXPECT_TRUE(readSectors(*s, 440, 100, 7) ==
              std::vector<int16_t>(want.begin() + 440 * kSamplesPerSector,
                                   want.begin() + 540 * kSamplesPerSector));

  std::vector<int16_t> buf(25 * kSamplesPerSector);
  EXPECT_EQ(s->read(750, 11, buf.data()), SectorRead::Missing) << "past the lead-out";
  EXPECT_EQ(s->read(-1, 1, buf.data()), SectorRead::Missing);
  EXPECT_EQ(s->read(0, 26, buf.data()), SectorRead::Unreadable);
}

TEST(CueSourceFormats, EveryFileIsReadAsCdAudio) {
  const int64_t frames = 588 * 10 + 100;  // ten sectors and a bit
  const std::vector<int16_t> ramp = rampFrames(frames);
  auto wide = [&](int32_t low) {
    std::vector<int32_t> w(ramp.size());
    for (size_t i = 0; i < w.size(); ++i) w[i] = int32_t{ramp[i]} * 65536 + low;
    return w;
  };
  std::vector<int32_t> mono(static_cast<size_t>(frames));
  std::vector<int16_t> monoTwice(ramp.size()), eightBits(ramp.size());
  for (size_t i = 0; i < mono.size(); ++i) {
    mono[i] = int32_t{ramp[2 * i]} * 65536;
    monoTwice[2 * i] = monoTwice[2 * i + 1] = ramp[2 * i];
  }
  for (size_t i = 0; i < ramp.size(); ++i) eightBits[i] = static_cast<int16_t>(ramp[i] & ~0xff);
  TestRip rip;
  struct Case {
    const char* what;
    std::string file, type;
    std::vector<int16_t> want;
    int tolerance;
  };
  const Case cases[] = {
      // The low byte of a 24-bit sample is below what 16 bits hold.
      {"24-bit WAVE", rip.sound("24.wav", kWav24, 44100, 2, wide(0x5a00)), "WAVE", ramp, 0},
      {"8-bit WAVE", rip.sound("8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 44100, 2, wide(0)),
       "WAVE", eightBits, 0},
      {"float WAVE", rip.sound("float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 2, wide(0)),
       "WAVE", ramp, 1},
      {"mono FLAC", rip.sound("mono.flac", kFlac16, 44100, 1, mono), "FLAC", monoTwice, 0},
      {"AIFF", rip.sound("a.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 44100, 2, wide(0)), "AIFF",
       ramp, 0},
      {"MOTOROLA", rip.raw("big.raw", ramp, true), "MOTOROLA", ramp, 0},
      {"BINARY", rip.raw("little.bin", ramp), "BINARY", ramp, 0},
      {"a WAVE declared BINARY", rip.sound16("wave.bin", kWav16, ramp), "BINARY", ramp, 0},
      {"a FLAC declared BINARY", rip.sound16("flac.bin", kFlac16, ramp), "BINARY", ramp, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string name = std::filesystem::path(c.file).filename().string();
    const std::unique_ptr<CueSource> s =
        openSheet(rip.text(name + ".cue", "FILE \"" + name + "\" " + c.type +
                                              "\n TRACK 01 AUDIO\n INDEX 01 00:00:00\n"));
    ASSERT_TRUE(s);
    EXPECT_EQ(describe(s->toc()), "0+11 s1; lead-out 11");
    std::vector<int16_t> got = readSectors(*s, 0, 11, 11);
    std::vector<int16_t> want = c.want;
    want.resize(got.size());  // the last sector ends in silence
    int worst = 0;
    size_t where = 0;
    for (size_t i = 0; i < got.size(); ++i)
      if (std::abs(got[i] - want[i]) > worst) worst = std::abs(got[i] - want[i]), where = i;
    EXPECT_LE(worst, c.tolerance) << "sample " << where << ": " << got[where] << " for "
                                  << want[where];
  }
}

TEST(CueSourceFormats, OtherSampleRatesAreConvertedBandLimited) {
  // A 1 kHz sine at half scale, 2.5 s long, followed by a 44.1 kHz file.
  TestRip rip;
  auto sine = [](int rate, int channels, double seconds) {
    std::vector<int32_t> s;
    for (int64_t i = 0; i < static_cast<int64_t>(seconds * rate); ++i)
      for (int c = 0; c < channels; ++c)
        s.push_back(static_cast<int32_t>(
            std::lround(0.5 * 2147483647.0 * std::sin(2 * std::numbers::pi * 1000.0 * i / rate))));
    return s;
  };
  const std::vector<int16_t> after = rampFrames(588 * 4);
  rip.sound16("after.wav", kWav16, after);
  for (const auto& [rate, channels] : {std::pair{48000, 2}, {22050, 1}, {96000, 2}}) {
    SCOPED_TRACE(rate);
    const std::string name = std::to_string(rate) + ".flac";
    rip.sound(name, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, rate, channels, sine(rate, channels, 2.5));
    const std::unique_ptr<CueSource> s =
        openSheet(rip.text(std::to_string(rate) + ".cue",
                           "FILE \"" + name +
                               "\" FLAC\n TRACK 01 AUDIO\n INDEX 01 00:00:00\n"
                               "FILE \"after.wav\" WAVE\n TRACK 02 AUDIO\n INDEX 01 00:00:00\n"));
    ASSERT_TRUE(s);
    // 2.5 s at 44.1 kHz: 110250 frames, 187.5 sectors.
    EXPECT_EQ(describe(s->toc()), "0+188 s1; 188+4 s1; lead-out 192");
    const std::vector<int16_t> got = readSectors(*s, 0, 192, 25);
    double worst = 0;
    for (int64_t i = 441; i < 110250 - 441; ++i) {
      const double want = 0.5 * 32767 * std::sin(2 * std::numbers::pi * 1000.0 * i / 44100);
      for (int c = 0; c < 2; ++c)
        worst = std::max(worst, std::abs(got[static_cast<size_t>(2 * i + c)] - want));
    }
    // Linear interpolation would be 9 (96 kHz) to 35 (48 kHz) off.
    EXPECT_LT(worst, 4) << "in time and in tune (of 16384)";
    EXPECT_TRUE(std::vector<int16_t>(got.end() - static_cast<ptrdiff_t>(after.size()), got.end()) ==
                after);
    // A read after a jump gives what a read in order gives.
    std::vector<int16_t> again(3 * kSamplesPerSector);
    ASSERT_EQ(s->read(100, 3, again.data()), SectorRead::Ok);
    int drift = 0;
    for (size_t i = 0; i < again.size(); ++i)
      drift = std::max(drift, std::abs(again[i] - got[100 * kSamplesPerSector + i]));
    EXPECT_LE(drift, 1);
  }
}

TEST(CueSourceFiles, FileNamesAreTakenAsWrittenThenInAnyCase) {
  TestRip rip;
  std::filesystem::create_directory(rip.path("sub"));
  const std::vector<int16_t> a = rampFrames(588), b = rampFrames(2 * 588);
  rip.sound16("Mi Disco.wav", kWav16, a);
  rip.sound16("sub/Pista.wav", kWav16, b);
  rip.sound16("Eco.wav", kWav16, a);
  rip.sound16("ECO.wav", kWav16, b);
  rip.sound16("canci\xc3\xb3n.wav", kWav16, b);
  const std::string one = "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
  const std::pair<std::string, int32_t> found[] = {
      {"FILE \"Mi Disco.wav\" WAVE\n", 1},  // a sheet named otherwise
      {"FILE \"MI DISCO.WAV\" WAVE\n", 1},   {"FILE \"sub\\pista.wav\" WAVE\n", 2},
      {"FILE \"Eco.wav\" WAVE\n", 1},  // the exact name wins over its look-alikes
      {"FILE \"ECO.wav\" WAVE\n", 2},        {"FILE \"CANCI\xc3\x93N.WAV\" WAVE\n", 2},
      {"FILE \"canci\xf3n.wav\" WAVE\n", 2},  // a Windows-1252 sheet
  };
  for (const auto& [line, sectors] : found) {
    SCOPED_TRACE(line);
    const std::unique_ptr<CueSource> s = openSheet(rip.text("otro nombre.cue", line + one));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->toc().leadOutLsn, sectors);
  }
  std::string why;
  EXPECT_FALSE(CueSource::open(rip.text("eco.cue", "FILE \"eco.wav\" WAVE\n" + one), &why));
  EXPECT_EQ(why,
            "«eco.cue», línea 1: el archivo «eco.wav» no existe, y hay varios que solo se "
            "diferencian en mayúsculas y minúsculas («ECO.wav», «Eco.wav»)");
}

TEST(CueSourceFiles, SheetsThatCannotBePlayedSayWhyAsTheCommandLineDoes) {
  TestRip rip;
  for (const BadRip& bad : makeBadRips(rip)) {
    std::string why;
    EXPECT_FALSE(CueSource::open(bad.sheet, &why));
    EXPECT_EQ(why, bad.reason);
    EXPECT_EQ(discPathProblem(bad.sheet), bad.reason) << "one code path";
  }
}

TEST(CueSourceFiles, AFileCutShortAfterOpeningIsMissingThereAndNotedOnce) {
  TestRip rip;
  const std::vector<int16_t> a = rampFrames(100 * 588);
  rip.sound16("a.flac", kFlac16, a);
  const std::string b = rip.raw("b.bin", a);
  const std::unique_ptr<CueSource> s =
      openSheet(rip.text("cut.cue",
                         "FILE \"a.flac\" FLAC\n TRACK 01 AUDIO\n INDEX 01 00:00:00\n"
                         "FILE \"b.bin\" BINARY\n TRACK 02 AUDIO\n INDEX 01 00:00:00\n"));
  ASSERT_TRUE(s);
  std::filesystem::resize_file(b, 50 * 2352);
  std::vector<int16_t> buf(25 * kSamplesPerSector);
  testing::internal::CaptureStderr();
  EXPECT_EQ(s->read(140, 10, buf.data()), SectorRead::Ok);
  EXPECT_EQ(s->read(150, 1, buf.data()), SectorRead::Missing);
  EXPECT_EQ(s->read(145, 10, buf.data()), SectorRead::Missing) << "a read that reaches the cut";
  EXPECT_EQ(s->read(170, 1, buf.data()), SectorRead::Missing);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "velmar: «" + b +
                     "» se ha acortado desde que se abrió: lo que falta no se puede leer\n");
  EXPECT_EQ(s->read(0, 25, buf.data()), SectorRead::Ok);
  EXPECT_TRUE(std::vector<int16_t>(buf.begin(), buf.end()) ==
              std::vector<int16_t>(a.begin(), a.begin() + 25 * kSamplesPerSector));
}

TEST(CueSourceFiles, AnEnhancedCdKeepsItsSessionsAndItsDataTrack) {
  TestRip rip;
  rip.sound16("audio.flac", kFlac16, rampFrames(300 * 588));
  rip.text("datos.iso", std::string(20 * 2048, 'd'));
  const std::unique_ptr<CueSource> s = openSheet(
      rip.text("enhanced.cue",
               "REM SESSION 01\nFILE \"audio.flac\" WAVE\n  TRACK 01 AUDIO\n    FLAGS PRE\n"
               "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 00:02:00\nREM SESSION 02\n"
               "FILE \"datos.iso\" BINARY\n  TRACK 03 MODE1/2048\n    INDEX 01 00:00:00\n"));
  ASSERT_TRUE(s);
  // The second session starts after the gap a burned disc has, and the last
  // audio track of the first ends where its audio does.
  EXPECT_EQ(describe(s->toc()), "0+150 pre s1; 150+150 s1; 11700+20 data s2; lead-out 11720");
  std::vector<int16_t> buf(25 * kSamplesPerSector, 1);
  EXPECT_EQ(s->read(11700, 20, buf.data()), SectorRead::Ok);
  EXPECT_EQ(std::count(buf.begin(), buf.begin() + 20 * kSamplesPerSector, 0),
            20 * kSamplesPerSector)
      << "data is never played as audio";
}

TEST(CueSourcePlayback, TheDevicePlaysAcrossFilesWithoutAGap) {
  discgen::DiscPlan plan = counterDisc({150, 100, 150});
  plan.tracks[1].pregapSectors = 40;
  const Reference ref(plan);
  TestRip rip;
  const int32_t t2 = ref.toc.tracks[1].lsn, t3 = ref.toc.tracks[2].lsn, end = ref.toc.leadOutLsn;
  rip.sound16("1.flac", kFlac16, ref.sectors(0, t2));
  rip.sound16("2.wav", kWav16, ref.sectors(t2, t3 - t2));
  rip.sound16("3.flac", kFlac16, ref.sectors(t3, end - t3));
  const std::string sheet =
      rip.text("rip.cue",
               "FILE \"1.flac\" FLAC\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n TRACK 02 AUDIO\n"
               "  INDEX 00 " +
                   msf(ref.indexZero(1)) +
                   "\nFILE \"2.wav\" WAVE\n  INDEX 01 00:00:00\n"
                   "FILE \"3.flac\" FLAC\n TRACK 03 AUDIO\n  INDEX 01 00:00:00\n");
  DeviceRig r(sheet);
  ASSERT_EQ(r.dev.tracks(), 3);
  for (int32_t t = 1; t <= 3; ++t)
    EXPECT_EQ(r.dev.trackPosition(t), (ref.toc.tracks[t - 1].lsn + 150) * 40 / 3);
  // From 0.5 s before track 2 for 2 s: across both file boundaries.
  const int32_t from = r.dev.trackPosition(2) - 500;
  r.dev.seek(from);
  r.act([&] { r.dev.play(); });
  r.run(2000);
  const int64_t n = 2000 * 441 / 10;
  const int64_t first = CdioDevice::frameOfMs(from) - 150 * 588;
  EXPECT_TRUE(r.heard(0, n) == ref.disc.samples(first, n));
  r.run(2000);
  EXPECT_TRUE(QTest::qWaitFor([&] { return r.dev.mode() == DeviceMode::Stopped; }));
  const int64_t total = int64_t{end} * 588 - first;
  EXPECT_TRUE(r.heard(0, total) == ref.disc.samples(first, total)) << "to the end, nothing lost";
}

TEST(CueSourceFiles, DamagedFilesAreUnreadableWhereDamagedAndTheRestStillPlays) {
  // A FLAC cut in half before it is opened, and one overwritten in its
  // middle after.
  TestRip rip;
  const std::vector<int16_t> a = rampFrames(200 * 588);
  const std::string cut = rip.sound16("cut.flac", kFlac16, a);
  std::filesystem::resize_file(cut, std::filesystem::file_size(cut) / 2);
  const std::string hurt = rip.sound16("hurt.flac", kFlac16, a);
  for (const std::string& f : {cut, hurt}) {
    SCOPED_TRACE(f);
    const std::string name = std::filesystem::path(f).filename().string();
    const std::unique_ptr<CueSource> s = openSheet(rip.text(
        name + ".cue", "FILE \"" + name + "\" FLAC\n TRACK 01 AUDIO\n INDEX 01 00:00:00\n"));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->toc().leadOutLsn, 200) << "as long as its header says";
    if (f == hurt) {
      const auto size = static_cast<std::streamoff>(std::filesystem::file_size(f));
      std::fstream io(f, std::ios::in | std::ios::out | std::ios::binary);
      io.seekp(size / 2);
      const std::string junk(static_cast<size_t>(size / 4), '\x55');
      io.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    }
    std::vector<int16_t> buf(25 * kSamplesPerSector);
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
