#include <gtest/gtest.h>

#include <QtGlobal>
#include <random>
#include <sstream>

#include "sources/DiscLayout.h"
#include "sources/DiscOpener.h"
#include "support/TestRip.h"

// Seeded random edits of a well-formed cue sheet and cdrdao .toc file: none
// may crash, hang or leak past the sanitizers, and whatever opens must be a
// disc (ordered, non-empty tracks within a CD) whose every sector reads. The
// seed is fixed: a failure replays as it happened. VELMAR_FUZZ_ITERATIONS
// asks for more than the 150 edits of each form.
TEST(SheetFuzz, MutatedSheetsAndTocsNeverCrashAndWhatOpensIsADisc) {
  // Words of both grammars and extreme values, '|' between them, inserted
  // anywhere.
  std::vector<std::string> words;
  std::istringstream in(
      "TRACK 99 AUDIO\n|INDEX 00 99:59:74\n|PREGAP 74:00:00\n|FILE \"a.bin\" BINARY\n|REM SESSION "
      "02\n|START\n|SILENCE 588\n|ZERO MODE1 100\n|DATAFILE \"a.bin\"\n|CD_TEXT { LANGUAGE 0 {|}\n|"
      "\"|\xff\xfe|4294967296|-1|00:00:75");
  for (std::string w; std::getline(in, w, '|');) words.push_back(w);
  TestRip rip;
  std::vector<int16_t> frames(588 * 80 * 2);
  for (size_t i = 0; i < frames.size(); ++i) frames[i] = static_cast<int16_t>(i * 7);
  rip.sound16("a.wav", kWav16, frames);
  rip.sound16("a.bin", kRawLittle, frames);
  const std::string sheet =
      "TITLE \"Disco\"\nFILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
      "  TRACK 02 AUDIO\n    FLAGS PRE\n    INDEX 00 00:00:20\n    INDEX 01 00:00:30\n"
      "FILE \"a.bin\" BINARY\n  TRACK 03 AUDIO\n    PREGAP 00:00:05\n    INDEX 01 00:00:00\n";
  const std::string toc =
      "CD_DA\nCD_TEXT {\n  LANGUAGE_MAP { 0 : EN }\n  LANGUAGE 0 { TITLE \"Disco\" }\n}\n"
      "TRACK AUDIO\nSILENCE 00:00:05\nFILE \"a.bin\" #0 0 00:00:40\nSTART 00:00:05\n"
      "TRACK AUDIO\nPRE_EMPHASIS\nAUDIOFILE \"a.wav\" 00:00:40 00:00:40\nINDEX 00:00:01\n"
      "TRACK MODE1\nDATAFILE \"a.bin\" 2048\n";
  const int runs = std::max(150, qEnvironmentVariableIntValue("VELMAR_FUZZ_ITERATIONS"));
  std::mt19937 rng(20261207);
  auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
  std::vector<int16_t> buf(static_cast<size_t>(kMaxSectorsPerRead) * kSamplesPerSector);
  for (const auto& [name, form] : {std::pair{"m.cue", sheet}, {"m.toc", toc}}) {
    for (int i = 0; i < runs && !HasFailure(); ++i) {
      std::string s = form;
      for (size_t edits = 1 + pick(2); edits > 0; --edits) {
        // A byte changed, a word inserted, a stretch deleted, or cut short.
        const size_t at = pick(s.size() + 1), how = pick(4);
        if (how == 0 && at < s.size()) s[at] = static_cast<char>(pick(256));
        if (how == 1) s.insert(at, words[pick(words.size())]);
        if (how >= 2) s.erase(at, how == 2 ? 1 + pick(40) : std::string::npos);
      }
      std::string why;
      const auto source = openImage(rip.text(name, s), &why);
      if (!source) {
        EXPECT_FALSE(why.empty()) << "refused without a reason:\n" << s;
        continue;
      }
      const DiscToc& t = source->toc();
      EXPECT_TRUE(!t.tracks.empty() && t.tracks.size() <= 99 && t.leadOutLsn <= kMaxDiscSectors)
          << s;
      for (size_t k = 1; k < t.tracks.size(); ++k)
        EXPECT_GT(t.tracks[k].lsn, t.tracks[k - 1].lsn) << s;
      for (int32_t lsn = 0; lsn < std::min(t.leadOutLsn, kMaxDiscSectors);
           lsn += kMaxSectorsPerRead)
        source->read(lsn, std::min(kMaxSectorsPerRead, t.leadOutLsn - lsn), buf.data());
    }
  }
}
