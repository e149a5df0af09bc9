#include "sources/CueSheet.h"

#include <libcue.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>

#include "sources/RegularFile.h"
#include "sources/SystemError.h"
#include "sources/TextEncoding.h"

std::string CueSheet::problem(int line, const std::string& what) const {
  return RipDescription{name, {}, {}, {}}.problem(line, what);
}

namespace {

struct Token {
  std::string text;  // raw bytes, without the quotes
  bool quoted = false;
};

struct FileType {
  const char* name;
  CueFile::Kind kind;
};
// BINARY and MOTOROLA are raw audio; every other type is decoded, whatever the
// file turns out to hold.
constexpr std::array<FileType, 12> kFileTypes{{
    {"BINARY", CueFile::Kind::LittleEndian},
    {"MOTOROLA", CueFile::Kind::BigEndian},
    {"WAVE", CueFile::Kind::Encoded},
    {"WAV", CueFile::Kind::Encoded},
    {"AIFF", CueFile::Kind::Encoded},
    {"AIFC", CueFile::Kind::Encoded},
    {"MP3", CueFile::Kind::Encoded},
    {"FLAC", CueFile::Kind::Encoded},
    {"OGG", CueFile::Kind::Encoded},
    {"OPUS", CueFile::Kind::Encoded},
    {"CAF", CueFile::Kind::Encoded},
    {"W64", CueFile::Kind::Encoded},
}};

// A data track's mode: MODE0, MODE1, MODE2 or CDI, a slash and the bytes a
// sector takes in the file (MODE1/2048, MODE2/2352...); 0 when `mode` is none.
int32_t dataSectorBytes(const std::string& mode) {
  const size_t slash = mode.find('/');
  if (slash == std::string::npos) return 0;
  const std::string kind = mode.substr(0, slash), size = mode.substr(slash + 1);
  if (kind != "MODE0" && kind != "MODE1" && kind != "MODE2" && kind != "CDI") return 0;
  if (size.empty() || size.size() > 4 || size.find_first_not_of("0123456789") != std::string::npos)
    return 0;
  const int bytes = std::stoi(size);
  return bytes >= 16 && bytes <= 2448 ? bytes : 0;
}

// Lines ignored beyond checking their keyword.
constexpr std::array<const char*, 12> kIgnored{"CATALOG",  "CDTEXTFILE", "ISRC",      "SONGWRITER",
                                               "COMPOSER", "ARRANGER",   "MESSAGE",   "GENRE",
                                               "DISC_ID",  "UPC_EAN",    "TOC_INFO1", "TOC_INFO2"};

class Parser {
 public:
  Parser(std::string_view text, bool cp1252, CueSheet* sheet)
      : text_(text), cp1252_(cp1252), sheet_(sheet) {}

  // False with the reason in `error_`.
  bool run();
  const std::string& error() const { return error_; }
  const std::string& normalised() const { return out_; }

 private:
  bool fail(const std::string& what) {
    error_ = sheet_->problem(line_, what);
    return false;
  }
  std::string utf8(const std::string& raw) const { return cp1252_ ? cp1252ToUtf8(raw) : raw; }
  // A word of the sheet, quoted for a message.
  std::string word(const std::string& raw) const { return quotedName(utf8(raw)); }
  // Adds `line` to what libcue reads, after the FILE line it belongs to: a
  // FILE line goes in only when something follows it (libcue refuses a FILE
  // line that holds nothing).
  void emit(const std::string& line) {
    out_ += pendingFile_ + line;
    pendingFile_.clear();
  }
  bool tokenize(std::string_view line, std::vector<Token>* tokens);
  bool parseLine(const std::vector<Token>& t, std::string_view rawLine);
  bool expectArgs(const std::vector<Token>& t, size_t n, const char* missing);
  std::optional<int> number(const Token& t, int lo, int hi);
  std::optional<int32_t> time(const Token& t);
  CueTrack* track(const char* keyword);

  bool file(const std::vector<Token>& t);
  bool trackLine(const std::vector<Token>& t);
  bool index(const std::vector<Token>& t);
  bool gap(const std::vector<Token>& t, bool pre);
  bool flags(const std::vector<Token>& t);
  bool text(const std::vector<Token>& t, std::string_view rawLine, bool title);

  std::string_view text_;
  bool cp1252_;
  CueSheet* sheet_;
  int line_ = 0;
  int session_ = 1;
  std::string pendingFlags_;  // FLAGS written before the first TRACK
  int pendingFlagsLine_ = 0;
  std::vector<int32_t> lastOffset_;  // per file: the latest mark in it
  std::string out_;                  // what libcue reads
  std::string pendingFile_;          // the FILE line for it, until something follows
  std::string error_;
};

bool Parser::run() {
  size_t i = 0;
  while (i < text_.size()) {
    size_t end = i;
    while (end < text_.size() && text_[end] != '\n' && text_[end] != '\r') ++end;
    const std::string_view line = text_.substr(i, end - i);
    ++line_;
    if (end < text_.size() && text_[end] == '\r' && end + 1 < text_.size() &&
        text_[end + 1] == '\n')
      ++end;
    i = end + 1;
    std::vector<Token> tokens;
    if (!tokenize(line, &tokens)) return false;
    if (tokens.empty()) continue;
    if (!parseLine(tokens, line)) return false;
  }
  line_ = 0;
  if (sheet_->tracks.empty()) return fail("no tiene ninguna pista (falta la línea TRACK)");
  for (const CueTrack& t : sheet_->tracks) {
    if (t.indexes.empty()) {
      line_ = t.line;
      return fail("la pista " + std::to_string(t.number) + " no tiene la línea INDEX 01");
    }
  }
  return true;
}

// Blank- or tab-separated words; a quoted word runs to the next quotation
// mark that does not follow a backslash (as libcue reads it), and \" in it is
// a quotation mark.
bool Parser::tokenize(std::string_view line, std::vector<Token>* tokens) {
  size_t i = 0;
  while (true) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) return true;
    Token t;
    if (line[i] == '"') {
      size_t end = i + 1;
      while (end < line.size() && !(line[end] == '"' && line[end - 1] != '\\')) ++end;
      if (end >= line.size()) return fail("falta la comilla de cierre");
      for (size_t k = i + 1; k < end; ++k)
        if (!(line[k] == '\\' && line[k + 1] == '"')) t.text.push_back(line[k]);
      t.quoted = true;
      i = end + 1;
    } else {
      size_t end = i;
      while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
      t.text = std::string(line.substr(i, end - i));
      i = end;
    }
    tokens->push_back(std::move(t));
  }
}

bool Parser::expectArgs(const std::vector<Token>& t, size_t n, const char* missing) {
  if (t.size() < n + 1) return fail(missing);
  if (t.size() > n + 1) return fail("sobra " + word(t[n + 1].text) + " al final de la línea");
  return true;
}

std::optional<int> Parser::number(const Token& t, int lo, int hi) {
  if (t.quoted || t.text.empty() || t.text.size() > 3) return std::nullopt;
  int v = 0;
  for (const char c : t.text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  if (v < lo || v > hi) return std::nullopt;
  return v;
}

std::optional<int32_t> Parser::time(const Token& t) {
  int parts[3] = {0, 0, 0};
  int part = 0, digits = 0;
  for (const char c : t.text) {
    if (c == ':') {
      if (digits == 0 || ++part > 2) return std::nullopt;
      digits = 0;
    } else if (c >= '0' && c <= '9') {
      if (++digits > (part == 0 ? 3 : 2)) return std::nullopt;
      parts[part] = parts[part] * 10 + (c - '0');
    } else {
      return std::nullopt;
    }
  }
  if (t.quoted || part != 2 || digits == 0 || parts[1] >= 60 || parts[2] >= 75) return std::nullopt;
  return sectorsOfMsf(parts[0], parts[1], parts[2]);
}

CueTrack* Parser::track(const char* keyword) {
  if (sheet_->tracks.empty()) {
    fail(std::string("la línea ") + keyword + " va antes de cualquier línea TRACK");
    return nullptr;
  }
  return &sheet_->tracks.back();
}

bool Parser::parseLine(const std::vector<Token>& t, std::string_view rawLine) {
  const std::string key = t[0].quoted ? std::string() : asciiUpper(t[0].text);
  if (key == "REM") {
    if (t.size() >= 2 && asciiUpper(t[1].text) == "SESSION") {
      const std::optional<int> n = t.size() == 3 ? number(t[2], 1, 99) : std::nullopt;
      if (!n) return fail("la línea REM SESSION necesita un número de sesión de 01 a 99");
      if (*n < session_)
        return fail("la sesión " + std::to_string(*n) + " va después de la " +
                    std::to_string(session_));
      session_ = *n;
      sheet_->sessions = true;
    }
    return true;
  }
  if (key == "FILE") return file(t);
  if (key == "TRACK") return trackLine(t);
  if (key == "INDEX") return index(t);
  if (key == "PREGAP" || key == "POSTGAP") return gap(t, key == "PREGAP");
  if (key == "FLAGS") return flags(t);
  if (key == "TITLE" || key == "PERFORMER") return text(t, rawLine, key == "TITLE");
  if (std::find(kIgnored.begin(), kIgnored.end(), key) != kIgnored.end()) return true;
  return fail(word(t[0].text) + " no es una línea de hoja .cue");
}

bool Parser::file(const std::vector<Token>& t) {
  if (!expectArgs(t, 2, "a la línea FILE le falta el nombre del archivo o su tipo")) return false;
  if (t[1].text.empty()) return fail("la línea FILE nombra un archivo sin nombre");
  const std::string type = asciiUpper(t[2].text);
  const auto known = std::find_if(kFileTypes.begin(), kFileTypes.end(),
                                  [&](const FileType& f) { return type == f.name; });
  if (known == kFileTypes.end())
    return fail("el tipo de archivo " + word(t[2].text) +
                " es desconocido (se admiten BINARY, MOTOROLA, WAVE, AIFF, MP3, FLAC y OGG)");
  if (static_cast<int>(sheet_->files.size()) >= kMaxCueFiles)
    return fail("la hoja nombra más de " + std::to_string(kMaxCueFiles) + " archivos");
  CueFile f;
  f.rawName = t[1].text;
  f.name = utf8(t[1].text);
  f.kind = known->kind;
  f.line = line_;
  sheet_->files.push_back(std::move(f));
  lastOffset_.push_back(0);
  pendingFile_ = "FILE \"" + std::to_string(sheet_->files.size()) + "\" WAVE\n";
  return true;
}

bool Parser::trackLine(const std::vector<Token>& t) {
  if (!expectArgs(t, 2, "a la línea TRACK le falta el número de pista o su tipo")) return false;
  if (sheet_->files.empty()) return fail("la línea TRACK va antes de cualquier línea FILE");
  const std::optional<int> n = number(t[1], 1, 99);
  if (!n) return fail("el número de pista " + word(t[1].text) + " no es válido (01 a 99)");
  const std::string mode = asciiUpper(t[2].text);
  if (mode == "CDG")
    return fail(
        "la pista es de karaoke (CDG), con sus gráficos entre el sonido; Velmar no la sabe leer");
  const int32_t dataBytes = dataSectorBytes(mode);
  if (mode != "AUDIO" && dataBytes == 0)
    return fail("el tipo de pista " + word(t[2].text) + " es desconocido");
  // Numbers may skip (01 02 09 10): a burner numbers the tracks 1, 2, 3, 4.
  if (!sheet_->tracks.empty() && *n <= sheet_->tracks.back().number) {
    char buf[80];
    std::snprintf(buf, sizeof buf, "la pista %02d sigue a la %02d; las pistas van en orden", *n,
                  sheet_->tracks.back().number);
    return fail(buf);
  }
  CueTrack track;
  track.number = *n;
  track.line = line_;
  track.sectorBytes = mode == "AUDIO" ? kBytesPerSector : dataBytes;
  track.audio = mode == "AUDIO";
  track.session = session_;
  sheet_->tracks.push_back(std::move(track));
  char buf[48];
  std::snprintf(buf, sizeof buf, "TRACK %02zu %s\n", sheet_->tracks.size(),
                mode == "AUDIO" ? "AUDIO" : "MODE1/2352");
  emit(buf + pendingFlags_);
  pendingFlags_.clear();
  return true;
}

bool Parser::index(const std::vector<Token>& t) {
  if (!expectArgs(t, 2, "a la línea INDEX le falta el número de índice o su tiempo")) return false;
  CueTrack* track = this->track("INDEX");
  if (!track) return false;
  const std::optional<int> n = number(t[1], 0, 99);
  if (!n) return fail("el número de índice " + word(t[1].text) + " no es válido (00 a 99)");
  const std::optional<int32_t> at = time(t[2]);
  if (!at)
    return fail("el tiempo " + word(t[2].text) +
                " no es válido (mm:ss:ff, con ss menor que 60 y ff menor que 75)");
  if (*at > kMaxDiscSectors) return fail("el tiempo " + cueTime(*at) + " no cabe en un disco");
  const std::string track2 = std::to_string(track->number);
  if (track->indexes.empty() && *n > 1)
    return fail("la pista " + track2 + " empieza por INDEX " + std::to_string(*n) +
                "; falta INDEX 01");
  if (!track->indexes.empty() && *n <= track->indexes.back().number)
    return fail("INDEX " + std::to_string(*n) + " de la pista " + track2 + " va después de INDEX " +
                std::to_string(track->indexes.back().number));
  if (!track->indexes.empty() && track->indexes.back().number == 0 && *n != 1)
    return fail("a INDEX 00 de la pista " + track2 + " le sigue INDEX " + std::to_string(*n) +
                " en vez de INDEX 01");
  const int file = static_cast<int>(sheet_->files.size()) - 1;
  track->indexes.push_back({*n, file, *at, line_});
  // INDEX 02 and later mark places within a track for a player's index
  // buttons: they do not lay the disc out, and may be anywhere in the file.
  if (*n > 1) return true;
  int32_t& last = lastOffset_[static_cast<size_t>(file)];
  if (*at < last)
    return fail("el tiempo " + cueTime(*at) +
                " es anterior al de la marca anterior del mismo archivo (" + cueTime(last) + ")");
  last = *at;
  char buf[48];
  std::snprintf(buf, sizeof buf, "INDEX %02d %s\n", *n, cueTime(*at).c_str());
  emit(buf);
  return true;
}

bool Parser::gap(const std::vector<Token>& t, bool pre) {
  const char* key = pre ? "PREGAP" : "POSTGAP";
  if (!expectArgs(t, 1,
                  pre ? "a la línea PREGAP le falta su duración"
                      : "a la línea POSTGAP le falta su duración"))
    return false;
  CueTrack* track = this->track(key);
  if (!track) return false;
  const std::optional<int32_t> len = time(t[1]);
  if (!len)
    return fail("la duración " + word(t[1].text) +
                " no es válida (mm:ss:ff, con ss menor que 60 y ff menor que 75)");
  if (*len > kMaxDiscSectors) return fail("la duración " + cueTime(*len) + " no cabe en un disco");
  int& seen = pre ? track->pregapLine : track->postgapLine;
  if (seen)
    return fail("la pista " + std::to_string(track->number) + " ya tiene " + key + " en la línea " +
                std::to_string(seen));
  seen = line_;
  (pre ? track->pregap : track->postgap) = *len;
  emit(std::string(key) + " " + cueTime(*len) + "\n");
  return true;
}

bool Parser::flags(const std::vector<Token>& t) {
  std::string line = "FLAGS";
  for (size_t i = 1; i < t.size(); ++i) {
    const std::string f = asciiUpper(t[i].text);
    if (t[i].quoted || (f != "DCP" && f != "4CH" && f != "PRE" && f != "SCMS"))
      return fail(word(t[i].text) + " no es una marca de FLAGS (DCP, 4CH, PRE o SCMS)");
    line += " " + f;
  }
  if (t.size() < 2) return true;
  // Before the first TRACK: the first track's.
  if (sheet_->tracks.empty()) {
    if (pendingFlagsLine_)
      return fail("ya hay una línea FLAGS antes de la primera pista, en la línea " +
                  std::to_string(pendingFlagsLine_));
    pendingFlags_ = line + "\n";
    pendingFlagsLine_ = line_;
  } else {
    emit(line + "\n");
  }
  return true;
}

bool Parser::text(const std::vector<Token>& t, std::string_view rawLine, bool title) {
  const char* key = title ? "TITLE" : "PERFORMER";
  if (t.size() < 2) return fail(std::string("a la línea ") + key + " le falta el texto");
  std::string value;
  if (t[1].quoted) {
    if (!expectArgs(t, 1, "")) return false;
    value = t[1].text;
  } else {
    // Unquoted: the rest of the line.
    const size_t at = rawLine.find(t[1].text, rawLine.find_first_not_of(" \t") + t[0].text.size());
    value = std::string(rawLine.substr(at));
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
    if (value.find('"') != std::string::npos)
      return fail(std::string("el texto de ") + key + " lleva comillas sin cerrar");
  }
  CdText& text = sheet_->tracks.empty() ? sheet_->text : sheet_->tracks.back().text;
  (title ? text.title : text.performer) = utf8(value);
  return true;
}

// libcue keeps global state while it parses.
std::mutex& libcueMutex() {
  static std::mutex m;
  return m;
}

struct CdDeleter {
  void operator()(Cd* cd) const { cd_delete(cd); }
};

}  // namespace

std::optional<CueSheet> parseCueSheet(std::string_view bytes, const std::string& name,
                                      std::string* reason) {
  CueSheet sheet;
  sheet.name = name;
  auto refuse = [&](const std::string& what) -> std::optional<CueSheet> {
    if (reason) *reason = what;
    return std::nullopt;
  };
  if (bytes.size() > kMaxCueSheetBytes)
    return refuse(sheet.problem(0, "mide más de 1 MiB; no es una hoja .cue"));
  std::string converted;
  bytes = unicodeTextAsUtf8(bytes, &converted);
  // DOS editors ended text files with Ctrl-Z.
  while (!bytes.empty() && bytes.back() == '\x1a') bytes.remove_suffix(1);
  if (bytes.find('\0') != std::string_view::npos)
    return refuse(sheet.problem(0, "no es una hoja .cue: contiene datos binarios"));

  Parser parser(bytes, !isValidUtf8(bytes), &sheet);
  if (!parser.run()) return refuse(parser.error());

  // libcue reads the normalised sheet: the files, tracks, marks and flags
  // with upper-case keywords and canonical times, nothing it could misread
  // (no text, no names). It gives the tracks' modes and flags. The text
  // comes from the pre-pass alone: libcdio exports a cdtext_get() of its own
  // that shadows libcue's in a program that links both.
  const std::string& normalised = parser.normalised();
  std::lock_guard lock(libcueMutex());
  const std::unique_ptr<Cd, CdDeleter> cd(cue_parse_string(normalised.c_str()));
  if (!cd || cd_get_ntrack(cd.get()) != static_cast<int>(sheet.tracks.size()))
    return refuse(sheet.problem(0, "no es una hoja .cue válida"));
  for (size_t i = 0; i < sheet.tracks.size(); ++i) {
    const Track* t = cd_get_track(cd.get(), static_cast<int>(i) + 1);
    if (!t) return refuse(sheet.problem(0, "no es una hoja .cue válida"));
    CueTrack& track = sheet.tracks[i];
    track.audio = track_get_mode(t) == MODE_AUDIO;
    track.preemphasis = track_is_set_flag(t, FLAG_PRE_EMPHASIS) != 0;
  }
  return sheet;
}

std::optional<CueSheet> readCueSheet(const std::string& path, std::string* reason) {
  CueSheet named;
  named.name = std::filesystem::path(path).filename().string();
  std::string why;
  const std::optional<std::string> bytes =
      readSmallFile(path, kMaxCueSheetBytes, "mide más de 1 MiB; no es una hoja .cue", &why);
  if (!bytes) {
    if (reason) *reason = named.problem(0, why);
    return std::nullopt;
  }
  return parseCueSheet(*bytes, named.name, reason);
}
