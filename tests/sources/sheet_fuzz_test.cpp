#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "sources/DiscLayout.h"
#include "sources/DiscOpener.h"
#include "support/TestRip.h"

// Seeded random mutations of well-formed sheets and cdrdao .toc files: none
// may crash, hang or leak past the sanitizers, and whatever opens must be a
// disc (ordered, non-empty tracks within a CD) whose every sector reads.
// VELMAR_FUZZ_ITERATIONS sets how many mutants each seed gets (short by
// default, for every test run); VELMAR_FUZZ_SEED replays one run.
namespace {

int envInt(const char* name, int fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::atoi(v) : fallback;
}

class Mutator {
 public:
  explicit Mutator(uint32_t seed) : rng_(seed) {}

  std::string mutate(std::string s) {
    const int steps = 1 + pick(4);
    for (int i = 0; i < steps; ++i) s = step(std::move(s));
    return s;
  }

 private:
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  size_t at(const std::string& s) {
    return s.empty() ? 0 : static_cast<size_t>(pick(static_cast<int>(s.size())));
  }

  std::string step(std::string s) {
    // Lines of the grammar, then bytes that upset a reader.
    static const std::vector<std::string> kLines = [] {
      const std::string lines =
          "TRACK 01 AUDIO|TRACK 99 AUDIO|TRACK 02 MODE1/2352|INDEX 01 00:00:00|INDEX 00 99:59:74|"
          "INDEX 01 00:00:75|PREGAP 00:02:00|POSTGAP 74:00:00|FILE \"a.wav\" WAVE|"
          "FILE \"a.bin\" BINARY|FILE \"nada\" FLAC|REM SESSION 02|FLAGS PRE DCP|TITLE "
          "\"\xff\xfe\"|"
          "TRACK AUDIO|FILE \"a.bin\" 0 00:00:10|DATAFILE \"a.bin\" 4294967295|CD_DA|START|"
          "START 00:00:10|SILENCE 588|PREGAP 00:02:00|INDEX 00:00:01|ZERO MODE1 100|"
          "TRACK MODE2_FORM1|CD_TEXT { LANGUAGE 0 { TITLE \"x\" } }|LANGUAGE_MAP { 0 : 9 }|}|{|"
          "FILE \"a.wav\" #44 0|// nota \"|TRACK AUDIO RW|FLAGS PRE|TRACK 01 MODE2/2336";
      std::vector<std::string> v;
      for (size_t a = 0, b = 0; a <= lines.size(); a = b + 1) {
        b = std::min(lines.find('|', a), lines.size());
        v.push_back(lines.substr(a, b - a) + "\n");
      }
      for (const char* bytes : {"\xef\xbb\xbf", "\r\n", "\"", "\x1a"}) v.push_back(bytes);
      return v;
    }();
    static const char* const kNumbers[] = {
        "0", "-1", "99", "100", "4294967296", "00:00:00", "99:99:99", "2147483647", "75", "74"};
    switch (pick(8)) {
      case 0:  // flip a byte
        if (!s.empty()) s[at(s)] = static_cast<char>(pick(256));
        break;
      case 1:  // delete a stretch
        if (!s.empty()) {
          const size_t from = at(s);
          s.erase(from, static_cast<size_t>(1 + pick(40)));
        }
        break;
      case 2:  // a line of the grammar, anywhere
        s.insert(at(s), kLines[static_cast<size_t>(pick(static_cast<int>(kLines.size())))]);
        break;
      case 3: {  // a number replaced by an extreme one
        const size_t from = s.find_first_of("0123456789", at(s));
        if (from != std::string::npos) {
          const size_t end = s.find_first_not_of("0123456789:", from);
          s.replace(from, (end == std::string::npos ? s.size() : end) - from,
                    kNumbers[pick(std::size(kNumbers))]);
        }
        break;
      }
      case 4: {  // a line repeated many times
        const size_t from = s.rfind('\n', at(s));
        const size_t start = from == std::string::npos ? 0 : from + 1;
        const size_t end = s.find('\n', start);
        if (end != std::string::npos) {
          const std::string line = s.substr(start, end - start + 1);
          for (int k = pick(150); k > 0; --k) s.insert(start, line);
        }
        break;
      }
      case 5:  // cut short
        s.resize(at(s));
        break;
      case 6:  // case changed
        for (size_t i = at(s), n = 0; i < s.size() && n < 20; ++i, ++n)
          s[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(s[i])));
        break;
      default: {  // two stretches swapped
        const size_t a = at(s), b = at(s);
        if (a < b) s = s.substr(0, a) + s.substr(b) + s.substr(a, b - a);
        break;
      }
    }
    return s;
  }

  std::mt19937 rng_;
};

// Opens `path` and, when it opens, checks it is a disc and reads all of it
// in steps of 25 sectors. True when it opened.
bool openAndRead(const std::string& path, const std::string& text) {
  std::string why;
  auto source = openImage(path, &why);
  if (!source) {
    EXPECT_FALSE(why.empty()) << "refused without a reason:\n" << text;
    return false;
  }
  const DiscToc& toc = source->toc();
  EXPECT_TRUE(!toc.tracks.empty() && toc.tracks.size() <= 99 && toc.leadOutLsn <= kMaxDiscSectors)
      << text;
  for (size_t i = 0; i < toc.tracks.size(); ++i)
    EXPECT_TRUE(toc.tracks[i].sectors > 0 && (i == 0 || toc.tracks[i].lsn > toc.tracks[i - 1].lsn))
        << text;
  std::vector<int16_t> buf(static_cast<size_t>(kMaxSectorsPerRead) * kSamplesPerSector);
  for (int32_t lsn = 0; lsn < std::min(toc.leadOutLsn, kMaxDiscSectors); lsn += kMaxSectorsPerRead)
    source->read(lsn, std::min(kMaxSectorsPerRead, toc.leadOutLsn - lsn), buf.data());
  return true;
}

}  // namespace

TEST(SheetFuzz, MutatedSheetsAndTocsNeverCrashAndWhatOpensIsADisc) {
  const auto seed = static_cast<uint32_t>(envInt("VELMAR_FUZZ_SEED", 20261207));
  const int iterations = envInt("VELMAR_FUZZ_ITERATIONS", 150);
  std::cout << "seed " << seed << ", " << iterations << " mutants per form\n";

  TestRip rip;
  std::vector<int16_t> frames(588 * 80 * 2);
  for (size_t i = 0; i < frames.size(); ++i) frames[i] = static_cast<int16_t>(i * 7);
  rip.sound16("a.wav", kWav16, frames);
  rip.sound16("a.bin", kRawLittle, frames);

  const std::string sheet =
      "PERFORMER \"Alguien\"\nTITLE \"Disco\"\nFILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n"
      "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    FLAGS PRE\n    INDEX 00 00:00:20\n"
      "    INDEX 01 00:00:30\nFILE \"a.bin\" BINARY\n  TRACK 03 AUDIO\n    PREGAP 00:00:05\n"
      "    INDEX 01 00:00:00\n    POSTGAP 00:00:02\n";
  const std::string toc =
      "CD_DA\nCD_TEXT {\n  LANGUAGE_MAP { 0 : EN }\n  LANGUAGE 0 { TITLE \"Disco\" SIZE_INFO { 1, "
      "2 } }\n"
      "}\nTRACK AUDIO\nSILENCE 00:00:05\nFILE \"a.bin\" #0 0 00:00:40\nSTART 00:00:05\n"
      "TRACK AUDIO\nPRE_EMPHASIS\nCD_TEXT { LANGUAGE 0 { TITLE \"Dos\" } }\n"
      "SILENCE 100\nSTART\nAUDIOFILE \"a.wav\" 00:00:40 00:00:40\nINDEX 00:00:01\n"
      "TRACK MODE1\nDATAFILE \"a.bin\" 2048\nZERO 00:00:02\n";

  Mutator m(seed);
  for (const auto& [name, form] : {std::pair{"m.cue", sheet}, {"m.toc", toc}}) {
    int opened = 0;
    for (int i = 0; i < iterations && !HasFailure(); ++i) {
      const std::string text = m.mutate(form);
      opened += openAndRead(rip.text(name, text), text);
    }
    std::cout << opened << " mutated " << name << " opened\n";
  }
}
