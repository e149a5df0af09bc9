#include <gtest/gtest.h>

#include <QList>
#include <QString>
#include <sstream>

#include "sources/CueSheet.h"
#include "sources/TextEncoding.h"

namespace {

// Everything a sheet says: its files, then its tracks with their marks.
std::string describe(const CueSheet& s) {
  std::ostringstream o;
  o << s.text.title << "/" << s.text.performer;
  for (const CueFile& f : s.files)
    o << " | " << f.name << " " << static_cast<int>(f.kind) << " @" << f.line;
  for (const CueTrack& t : s.tracks) {
    o << " | " << t.number << " " << t.sectorBytes << (t.audio ? "" : " data")
      << (t.preemphasis ? " pre" : "") << " s" << t.session << " pregap " << t.pregap << "@"
      << t.pregapLine << " postgap " << t.postgap << "@" << t.postgapLine << " @" << t.line << " "
      << t.text.title << "/" << t.text.performer;
    for (const CueIndex& i : t.indexes)
      o << ", index " << i.number << " " << i.file << "+" << i.offset << " @" << i.line;
  }
  return o.str();
}

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
    s.replace(at, from.size(), to);
  return s;
}

const char* const kSheet =
    "REM GENRE Pop\nTITLE \"El \\\"Álbum\\\" €\"\nPERFORMER Grupo de prueba\nFILE \"canción.wav\" "
    "WAVE\n"
    "  TRACK 01 AUDIO\n    TITLE \"Primera canción\"\n    FLAGS DCP PRE\n    INDEX 01 00:00:00\n"
    "  TRACK 02 AUDIO\n    PREGAP 00:01:00\n    INDEX 00 00:10:00\n    INDEX 01 00:12:00\n"
    "    POSTGAP 00:00:30\nFILE \"dos.flac\" FLAC\n    INDEX 02 00:01:00\n  TRACK 03 AUDIO\n"
    "    INDEX 01 00:05:00\nREM SESSION 02\nFILE \"datos.iso\" BINARY\n  TRACK 04 MODE1/2048\n"
    "    INDEX 01 00:00:00\n\x1a";

}  // namespace

TEST(CueSheetRead, EverySpellingOfASheetReadsAlike) {
  std::string why;
  testing::internal::CaptureStderr();
  const std::optional<CueSheet> plain = parseCueSheet(kSheet, "disco.cue", &why);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "libcue has nothing to say";
  ASSERT_TRUE(plain) << why;
  EXPECT_EQ(
      describe(*plain),
      "El \"Álbum\" €/Grupo de prueba | canción.wav 2 @4 | dos.flac 2 @14 | datos.iso 0 @19 | "
      "1 2352 pre s1 pregap 0@0 postgap 0@0 @5 Primera canción/, index 1 0+0 @8 | 2 2352 s1 pregap "
      "75@10 postgap 30@13 @9 /, index 0 0+750 @11, index 1 0+900 @12, index 2 1+75 @15 | 3 "
      "2352 s1 pregap 0@0 postgap 0@0 @16 /, index 1 1+375 @17 | 4 2048 data s2 pregap 0@0 "
      "postgap 0@0 @20 /, index 1 2+0 @21");

  // Keywords in lower case (names keep theirs) and one in mixed case, a
  // byte-order mark, CRLF or CR line ends; Windows-1252 (text as UTF-8).
  std::string lowered = kSheet;
  for (size_t at = 0, end = 0; at < lowered.size(); at = end + 1) {
    end = std::min(lowered.find_first_of(" \n", at), lowered.size());
    if (lowered.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/", at) >= end)
      for (size_t k = at; k < end; ++k) lowered[k] = static_cast<char>(std::tolower(lowered[k]));
  }
  lowered = replaceAll(lowered, "pre\n", "Pre\n");
  ASSERT_EQ(lowered.find("TRACK"), std::string::npos);
  // UTF-16 and UTF-32, either byte order, with or without a byte-order mark.
  auto wide = [](const std::string& utf8, int width, bool little, bool bom) {
    QList<uint> units = QString::fromStdString(utf8).toUcs4();
    if (bom) units.prepend(0xfeff);
    std::string out;
    for (const uint v : units)
      for (int k = 0; k < width; ++k)
        out += static_cast<char>(v >> (8 * (little ? k : width - 1 - k)));
    return out;
  };
  const std::string crlf = replaceAll(kSheet, "\n", "\r\n"),
                    cp1252 = replaceAll(replaceAll(replaceAll(kSheet, "Á", "\xc1"), "€", "\x80"),
                                        "ó", "\xf3");
  for (const std::string& s :
       {"\xef\xbb\xbf" + replaceAll(lowered, "\n", "\r\n"), replaceAll(kSheet, "\n", "\r"),
        wide(crlf, 2, true, true), wide(kSheet, 2, true, false), wide(kSheet, 2, false, false),
        wide(crlf, 4, true, true), wide(kSheet, 4, false, false), cp1252}) {
    const std::optional<CueSheet> sheet = parseCueSheet(s, "disco.cue", &why);
    ASSERT_TRUE(sheet) << why;
    EXPECT_EQ(describe(*sheet), describe(*plain));
    // The sheet's own bytes, to find the file by.
    EXPECT_EQ(sheet->files[0].rawName, s == cp1252 ? "canci\xf3n.wav" : "canción.wav");
  }
  EXPECT_TRUE(isValidUtf8("\xc3\xb1") && !isValidUtf8("\xf1") && !isValidUtf8("\xc0\xaf") &&
              !isValidUtf8("\xe0\x9f\xbf") && !isValidUtf8("\xed\xa0\x80") &&
              !isValidUtf8("\xe2\x82"));
}
