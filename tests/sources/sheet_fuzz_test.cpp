#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "sources/DiscLayout.h"
#include "sources/DiscOpener.h"
#include "support/TestRip.h"

// Seeded random mutations of well-formed sheets and cdrdao .toc files: none
// may crash, hang or leak past the sanitizers, and whatever opens must be a
// disc (ordered, non-empty tracks within a CD) whose every sector reads.
// The seed is fixed: a failure replays as it happened.
namespace {

// Lines of the grammars, then bytes that upset a reader.
const std::vector<std::string> kLines = [] {
  std::vector<std::string> v;
  std::istringstream in(
      "TRACK 01 AUDIO|TRACK 99 AUDIO|TRACK 02 MODE1/2352|INDEX 01 00:00:00|INDEX 00 "
      "99:59:74|INDEX 01 00:00:75|PREGAP 00:02:00|POSTGAP 74:00:00|FILE \"a.wav\" WAVE|FILE "
      "\"a.bin\" BINARY|FILE \"nada\" FLAC|REM SESSION 02|FLAGS PRE DCP|TITLE "
      "\"\xff\xfe\"|TRACK AUDIO|FILE \"a.bin\" 0 00:00:10|DATAFILE \"a.bin\" "
      "4294967295|CD_DA|START|START 00:00:10|SILENCE 588|INDEX 00:00:01|ZERO MODE1 100|TRACK "
      "MODE2_FORM1|CD_TEXT { LANGUAGE 0 { TITLE \"x\" } }|LANGUAGE_MAP { 0 : 9 }|}|{|FILE "
      "\"a.wav\" #44 0|// nota \"|TRACK AUDIO RW|TRACK 01 MODE2/2336|\xef\xbb\xbf|\r|\"|\x1a");
  for (std::string line; std::getline(in, line, '|');) v.push_back(line + "\n");
  return v;
}();
const char* const kNumbers[] = {"0",        "-1",       "99",         "100", "4294967296",
                                "00:00:00", "99:99:99", "2147483647", "75",  "74"};

// One to four random edits of `s`.
std::string mutate(std::string s, std::mt19937& rng) {
  auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
  auto at = [&] { return s.empty() ? size_t{0} : pick(s.size()); };
  for (size_t steps = 1 + pick(4); steps > 0; --steps) {
    switch (pick(6)) {
      case 0:  // flip a byte
        if (!s.empty()) s[at()] = static_cast<char>(pick(256));
        break;
      case 1:  // delete a stretch
        if (!s.empty()) s.erase(at(), 1 + pick(40));
        break;
      case 2:  // a line of the grammar, anywhere
        s.insert(at(), kLines[pick(kLines.size())]);
        break;
      case 3:  // a number replaced by an extreme one
        if (const size_t from = s.find_first_of("0123456789", at()); from != std::string::npos)
          s.replace(from, s.find_first_not_of("0123456789:", from) - from,
                    kNumbers[pick(std::size(kNumbers))]);
        break;
      case 4: {  // a line repeated many times
        const size_t from = s.rfind('\n', at()), start = from == std::string::npos ? 0 : from + 1,
                     end = s.find('\n', start);
        if (end != std::string::npos)
          for (size_t k = pick(150); k > 0; --k) s.insert(start, s.substr(start, end - start + 1));
        break;
      }
      default:  // cut short
        s.resize(at());
    }
  }
  return s;
}

// Opens `path` and, when it opens, checks it is a disc and reads all of it
// in steps of 25 sectors.
void openAndRead(const std::string& path, const std::string& text) {
  std::string why;
  auto source = openImage(path, &why);
  if (!source) {
    EXPECT_FALSE(why.empty()) << "refused without a reason:\n" << text;
    return;
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
}

}  // namespace

TEST(SheetFuzz, MutatedSheetsAndTocsNeverCrashAndWhatOpensIsADisc) {
  const int iterations = 150;  // mutants of each form
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

  std::mt19937 rng(20261207);
  for (const auto& [name, form] : {std::pair{"m.cue", sheet}, {"m.toc", toc}}) {
    for (int i = 0; i < iterations && !HasFailure(); ++i) {
      const std::string text = mutate(form, rng);
      openAndRead(rip.text(name, text), text);
    }
  }
}
