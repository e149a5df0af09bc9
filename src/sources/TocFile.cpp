#include "sources/TocFile.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <map>

#include "sources/CueSheet.h"
#include "sources/RegularFile.h"
#include "sources/RipSource.h"
#include "sources/SystemError.h"

namespace {

struct Token {
  enum class Kind { Word, String, Open, Close, Comma };
  Kind kind = Kind::Word;
  std::string text;  // a string's bytes, without quotes and escapes
  int line = 0;
};

struct TrackMode {
  const char* name;
  int32_t bytes;  // a block of the track in its files
};
constexpr std::array<TrackMode, 9> kModes{{
    {"AUDIO", 2352},
    {"MODE0", 2336},
    {"MODE1", 2048},
    {"MODE1_RAW", 2352},
    {"MODE2", 2336},
    {"MODE2_FORM1", 2048},
    {"MODE2_FORM2", 2324},
    {"MODE2_FORM_MIX", 2336},
    {"MODE2_RAW", 2352},
}};
constexpr int32_t kSubChannelBytes = 96;

constexpr std::array<const char*, 13> kTextItems{
    "TITLE", "PERFORMER", "SONGWRITER", "COMPOSER", "ARRANGER", "MESSAGE",  "DISC_ID",
    "GENRE", "TOC_INFO1", "TOC_INFO2",  "UPC_EAN",  "ISRC",     "SIZE_INFO"};

std::string upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// The title and performer of each language.
using Texts = std::map<int, CdText>;

class Parser {
 public:
  Parser(std::string_view text, RipDescription* rip) : text_(text), rip_(rip) {}
  bool run();
  const std::string& error() const { return error_; }

 private:
  bool fail(int line, const std::string& what) {
    if (error_.empty()) error_ = rip_->problem(line, what);
    return false;
  }
  bool failAt(const std::string& what) { return fail(here(), what); }
  // The line of the next token, or of the last one at the end.
  int here() const {
    return pos_ < tokens_.size() ? tokens_[pos_].line : tokens_.empty() ? 1 : tokens_.back().line;
  }
  bool lex();
  bool atWord(const char* word) const {
    return pos_ < tokens_.size() && tokens_[pos_].kind == Token::Kind::Word &&
           upper(tokens_[pos_].text) == word;
  }
  // The next token is a value (a number, M:S:F, #offset).
  bool atValue() const {
    return pos_ < tokens_.size() && tokens_[pos_].kind == Token::Kind::Word &&
           (std::isdigit(static_cast<unsigned char>(tokens_[pos_].text[0])) ||
            tokens_[pos_].text[0] == '#');
  }
  std::string word(const Token& t) const { return quotedName(textAsUtf8(t.text)); }
  bool string(const char* what, std::string* out);
  bool expect(Token::Kind kind, const char* what);
  std::optional<int64_t> integer(const std::string& s, int64_t max);
  // A length or position in frames: M:S:F, or a count of samples (audio) or
  // of bytes (data, rounded up to whole blocks).
  bool amount(const char* what, int64_t* frames);
  bool msf(const char* what, int64_t* sectors);
  bool cdText(bool global, Texts* texts);
  bool languageMap();
  bool textValue(const std::string& item, std::string* value);
  bool track();
  bool fileStatement(bool data);
  int fileIndex(RipFile f);

  std::string_view text_;
  RipDescription* rip_;
  std::vector<Token> tokens_;
  size_t pos_ = 0;
  std::string error_;
  int32_t blockBytes_ = kBytesPerSector;  // the current track's
  bool audio_ = true;
  std::vector<int> mapped_;  // languages the LANGUAGE_MAP maps
  bool hasMap_ = false;
  Texts albumTexts_;
  std::vector<Texts> trackTexts_;
};

bool Parser::lex() {
  int line = 1;
  size_t i = 0;
  auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v'; };
  while (i < text_.size()) {
    const char c = text_[i];
    if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < text_.size() && text_[i + 1] == '\n') ++i;
      ++line;
      ++i;
    } else if (isSpace(c)) {
      ++i;
    } else if (text_.substr(i, 2) == "//") {
      while (i < text_.size() && text_[i] != '\n' && text_[i] != '\r') ++i;
    } else if (c == '{' || c == '}' || c == ',') {
      tokens_.push_back({c == '{'   ? Token::Kind::Open
                         : c == '}' ? Token::Kind::Close
                                    : Token::Kind::Comma,
                         std::string(1, c), line});
      ++i;
    } else if (c == '"') {
      // \" \\ and \ooo (octal) are escapes; a string ends on its line.
      Token t{Token::Kind::String, {}, line};
      for (++i;; ++i) {
        if (i >= text_.size() || text_[i] == '\n' || text_[i] == '\r')
          return fail(line, "falta la comilla de cierre");
        if (text_[i] == '"') break;
        if (text_[i] == '\\' && i + 1 < text_.size()) {
          size_t k = i + 1;
          int octal = 0, digits = 0;
          while (digits < 3 && k < text_.size() && text_[k] >= '0' && text_[k] <= '7')
            octal = octal * 8 + (text_[k++] - '0'), ++digits;
          if (digits > 0) {
            t.text.push_back(static_cast<char>(octal & 0xff));
            i = k - 1;
            continue;
          }
          if (text_[k] == '"' || text_[k] == '\\') {
            t.text.push_back(text_[k]);
            i = k;
            continue;
          }
        }
        t.text.push_back(text_[i]);
      }
      ++i;
      tokens_.push_back(std::move(t));
    } else {
      size_t end = i;
      while (end < text_.size() && !isSpace(text_[end]) && text_[end] != '\n' &&
             text_[end] != '\r' && text_[end] != '"' && text_[end] != '{' && text_[end] != '}' &&
             text_[end] != ',' && text_.substr(end, 2) != "//")
        ++end;
      tokens_.push_back({Token::Kind::Word, std::string(text_.substr(i, end - i)), line});
      i = end;
    }
  }
  return true;
}

bool Parser::string(const char* what, std::string* out) {
  if (pos_ >= tokens_.size() || tokens_[pos_].kind != Token::Kind::String)
    return failAt(std::string("falta ") + what + " entre comillas");
  *out = tokens_[pos_++].text;
  return true;
}

bool Parser::expect(Token::Kind kind, const char* what) {
  if (pos_ >= tokens_.size() || tokens_[pos_].kind != kind)
    return failAt(std::string("falta ") + what);
  ++pos_;
  return true;
}

std::optional<int64_t> Parser::integer(const std::string& s, int64_t max) {
  if (s.empty() || s.size() > 12 || s.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const int64_t v = std::stoll(s);
  if (v > max) return std::nullopt;
  return v;
}

bool Parser::msf(const char* what, int64_t* sectors) {
  const int line = here();
  const std::string s = atValue() ? tokens_[pos_].text : std::string();
  const size_t a = s.find(':'), b = s.find(':', a == std::string::npos ? a : a + 1);
  const std::optional<int64_t> m = a == std::string::npos ? std::nullopt
                                                          : integer(s.substr(0, a), 99),
                               sec = b == std::string::npos
                                         ? std::nullopt
                                         : integer(s.substr(a + 1, b - a - 1), 59),
                               f = b == std::string::npos ? std::nullopt
                                                          : integer(s.substr(b + 1), 74);
  if (!m || !sec || !f)
    return fail(line, s.empty() ? std::string("falta ") + what + " (M:S:F)"
                                : std::string(what) + " " + quotedName(s) +
                                      " no es un tiempo válido (M:S:F, con S menor que 60 y F "
                                      "menor que 75)");
  ++pos_;
  *sectors = sectorsOfMsf(*m, *sec, *f);
  if (*sectors > kMaxDiscSectors)
    return fail(line, std::string(what) + " " + cueTime(*sectors) + " no cabe en un disco");
  return true;
}

bool Parser::amount(const char* what, int64_t* frames) {
  if (atValue() && tokens_[pos_].text.find(':') != std::string::npos) {
    int64_t sectors = 0;
    if (!msf(what, &sectors)) return false;
    *frames = sectors * kFramesPerSector;
    return true;
  }
  const int line = here();
  const std::string s = atValue() ? tokens_[pos_].text : std::string();
  const int64_t max = audio_ ? kMaxDiscFrames : int64_t{kMaxDiscSectors} * blockBytes_;
  const std::optional<int64_t> v = integer(s, max);
  if (!v)
    return fail(line, s.empty() ? std::string("falta ") + what
                                : std::string(what) + " " + quotedName(s) +
                                      " no está en M:S:F ni es un número de " +
                                      (audio_ ? "muestras" : "bytes") + " que quepa en un disco");
  ++pos_;
  *frames = audio_ ? *v : (*v + blockBytes_ - 1) / blockBytes_ * kFramesPerSector;
  return true;
}

bool Parser::run() {
  if (!lex()) return false;
  while (pos_ < tokens_.size() && !atWord("TRACK")) {
    if (atWord("CD_DA") || atWord("CD_ROM") || atWord("CD_ROM_XA") || atWord("CD_I")) {
      ++pos_;
    } else if (atWord("CATALOG")) {
      ++pos_;
      std::string catalog;
      if (!string("el número de catálogo (13 cifras)", &catalog)) return false;
    } else if (atWord("CD_TEXT")) {
      ++pos_;
      if (!cdText(true, &albumTexts_)) return false;
    } else {
      return failAt(word(tokens_[pos_]) + " no es una palabra de archivo .toc");
    }
  }
  while (pos_ < tokens_.size())
    if (!track()) return false;
  if (rip_->tracks.empty()) return fail(0, "no tiene ninguna pista (falta la palabra TRACK)");

  // The text of the first language mapped, or of language 0 without a map.
  int language = hasMap_ ? -1 : 0;
  if (!mapped_.empty()) language = *std::min_element(mapped_.begin(), mapped_.end());
  auto pick = [&](const Texts& t) { return t.count(language) ? t.at(language) : CdText{}; };
  rip_->text = pick(albumTexts_);
  for (size_t i = 0; i < rip_->tracks.size(); ++i) rip_->tracks[i].text = pick(trackTexts_[i]);
  return true;
}

bool Parser::languageMap() {
  // Pairs "n : code"; the colon may touch either side.
  if (!expect(Token::Kind::Open, "«{» tras LANGUAGE_MAP")) return false;
  std::string words;
  const int line = here();
  while (pos_ < tokens_.size() && tokens_[pos_].kind == Token::Kind::Word)
    words += " " + tokens_[pos_++].text;
  if (!expect(Token::Kind::Close, "«}» al final de LANGUAGE_MAP")) return false;
  std::vector<std::string> parts;
  std::string part;
  for (const char c : words + " ") {
    if (c == ' ' || c == ':') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
      if (c == ':') parts.push_back(":");
    } else {
      part.push_back(c);
    }
  }
  for (size_t i = 0; i < parts.size(); i += 3) {
    const std::optional<int64_t> n = integer(parts[i], 7);
    if (!n || i + 2 >= parts.size() || parts[i + 1] != ":" || parts[i + 2] == ":")
      return fail(line,
                  "LANGUAGE_MAP no es una lista de pares «idioma : código» (idioma de 0 a 7)");
    mapped_.push_back(static_cast<int>(*n));
  }
  hasMap_ = true;
  return true;
}

bool Parser::textValue(const std::string& item, std::string* value) {
  if (pos_ < tokens_.size() && tokens_[pos_].kind == Token::Kind::String) {
    *value = textAsUtf8(tokens_[pos_++].text);
    return true;
  }
  // Binary data (SIZE_INFO, TOC_INFO1, GENRE, or a text as bytes): numbers
  // 0..255 and strings, separated by commas.
  if (!expect(Token::Kind::Open, ("el valor de " + item + " (un texto o «{ ... }»)").c_str()))
    return false;
  while (pos_ < tokens_.size() && tokens_[pos_].kind != Token::Kind::Close) {
    const Token& t = tokens_[pos_];
    if (t.kind == Token::Kind::Word && !integer(t.text, 255))
      return failAt(word(t) + " no es un byte (0 a 255) en el valor de " + item);
    if (t.kind == Token::Kind::Open) return failAt("«{» dentro del valor de " + item);
    ++pos_;
  }
  return expect(Token::Kind::Close, ("«}» al final del valor de " + item).c_str());
}

bool Parser::cdText(bool global, Texts* texts) {
  if (!expect(Token::Kind::Open, "«{» tras CD_TEXT")) return false;
  if (global && atWord("LANGUAGE_MAP")) {
    ++pos_;
    if (!languageMap()) return false;
  }
  while (atWord("LANGUAGE")) {
    ++pos_;
    const std::optional<int64_t> n = atValue() ? integer(tokens_[pos_].text, 7) : std::nullopt;
    if (!n) return failAt("LANGUAGE necesita un número de idioma de 0 a 7");
    ++pos_;
    if (!expect(Token::Kind::Open, "«{» tras LANGUAGE")) return false;
    CdText& text = (*texts)[static_cast<int>(*n)];
    while (pos_ < tokens_.size() && tokens_[pos_].kind == Token::Kind::Word) {
      const std::string item = upper(tokens_[pos_].text);
      if (std::find(kTextItems.begin(), kTextItems.end(), item) == kTextItems.end())
        return failAt(word(tokens_[pos_]) + " no es un elemento de CD_TEXT");
      ++pos_;
      std::string value;
      if (!textValue(item, &value)) return false;
      if (item == "TITLE") text.title = value;
      if (item == "PERFORMER") text.performer = value;
    }
    if (!expect(Token::Kind::Close, "«}» al final del bloque LANGUAGE")) return false;
  }
  return expect(Token::Kind::Close, "«}» al final de CD_TEXT");
}

int Parser::fileIndex(RipFile f) {
  for (size_t i = 0; i < rip_->files.size(); ++i) {
    const RipFile& g = rip_->files[i];
    if (g.rawName == f.rawName && g.byteOffset == f.byteOffset && g.dataBytes == f.dataBytes)
      return static_cast<int>(i);
  }
  if (static_cast<int>(rip_->files.size()) >= kMaxRipFiles) {
    fail(f.line, "nombra más de " + std::to_string(kMaxRipFiles) + " archivos");
    return -1;
  }
  rip_->files.push_back(std::move(f));
  return static_cast<int>(rip_->files.size()) - 1;
}

bool Parser::fileStatement(bool data) {
  const Token& key = tokens_[pos_++];
  const std::string keyword = upper(key.text);
  if (data == audio_)
    return fail(key.line,
                keyword + (audio_ ? " va en una pista de audio; es para pistas de datos"
                                  : " va en una pista de datos; es para pistas de audio"));
  RipFile f;
  f.line = key.line;
  if (!string("el nombre del archivo", &f.rawName)) return false;
  if (f.rawName.empty()) return fail(key.line, keyword + " nombra un archivo sin nombre");
  if (f.rawName == "-")
    return fail(key.line, keyword + " lee de la entrada estándar («-»); Velmar solo lee archivos");
  f.name = textAsUtf8(f.rawName);
  const bool wave = !data && hasExtension(f.rawName, ".wav");
  f.kind = wave ? FileKind::Encoded : FileKind::BigEndian;
  int64_t offset = 0;
  if (atValue() && tokens_[pos_].text[0] == '#') {
    const std::optional<int64_t> v = integer(tokens_[pos_].text.substr(1), int64_t{1} << 40);
    if (!v) return failAt("el desplazamiento " + word(tokens_[pos_]) + " no es válido (#bytes)");
    ++pos_;
    offset = *v;
    // A WAVE's offset counts in its samples; it cannot split one.
    if (wave && offset % 4 != 0)
      return fail(key.line, "el desplazamiento #" + std::to_string(offset) +
                                " no cae entre dos muestras de " + quotedName(f.name));
  }
  RipStretch s;
  s.line = key.line;
  if (data) {
    f.dataBytes = blockBytes_;
    f.byteOffset = offset;
  } else {
    f.byteOffset = wave ? 0 : offset;
    if (!amount("el comienzo", &s.from)) return false;
    s.from += wave ? offset / 4 : 0;
  }
  if (atValue() && !amount("la duración", &s.frames)) return false;
  if (s.frames == 0) s.frames = -1;
  s.file = fileIndex(std::move(f));
  if (s.file < 0) return false;
  rip_->tracks.back().content.push_back(s);
  return true;
}

bool Parser::track() {
  const Token& head = tokens_[pos_];
  if (!atWord("TRACK")) return failAt(word(head) + " no es una palabra de archivo .toc");
  if (static_cast<int>(rip_->tracks.size()) >= kMaxRipTracks)
    return failAt("más de " + std::to_string(kMaxRipTracks) + " pistas; un CD tiene 99 como mucho");
  ++pos_;
  const std::string mode = pos_ < tokens_.size() ? upper(tokens_[pos_].text) : std::string();
  const auto known = std::find_if(kModes.begin(), kModes.end(),
                                  [&](const TrackMode& m) { return mode == m.name; });
  if (known == kModes.end() || tokens_[pos_].kind != Token::Kind::Word)
    return failAt(pos_ < tokens_.size()
                      ? "el tipo de pista " + word(tokens_[pos_]) + " es desconocido"
                      : "a TRACK le falta el tipo de pista");
  ++pos_;
  audio_ = known->bytes == kBytesPerSector && mode == "AUDIO";
  blockBytes_ = known->bytes;
  if (atWord("RW") || atWord("RW_RAW")) {
    if (audio_)
      return failAt("la pista lleva datos de subcanal (" + tokens_[pos_].text +
                    ") entre el sonido; Velmar no la sabe leer");
    blockBytes_ += kSubChannelBytes;
    ++pos_;
  }
  RipTrack t;
  t.number = static_cast<int>(rip_->tracks.size()) + 1;
  t.line = head.line;
  t.audio = audio_;
  // An Enhanced CD: data after audio is a later session.
  const bool afterAudio = std::any_of(rip_->tracks.begin(), rip_->tracks.end(),
                                      [](const RipTrack& r) { return r.audio; });
  t.session = !audio_ && afterAudio ? 2 : (rip_->tracks.empty() ? 1 : rip_->tracks.back().session);
  rip_->tracks.push_back(std::move(t));
  trackTexts_.emplace_back();
  RipTrack& r = rip_->tracks.back();

  int startLine = 0;
  std::vector<std::pair<int64_t, int>> indexes;  // sectors after INDEX 01, line
  while (pos_ < tokens_.size() && !atWord("TRACK")) {
    const Token& key = tokens_[pos_];
    const std::string k = key.kind == Token::Kind::Word ? upper(key.text) : std::string();
    if (k == "NO") {
      ++pos_;
      if (!atWord("COPY") && !atWord("PRE_EMPHASIS"))
        return failAt("tras NO va COPY o PRE_EMPHASIS");
      ++pos_;
    } else if (k == "COPY" || k == "TWO_CHANNEL_AUDIO" || k == "FOUR_CHANNEL_AUDIO") {
      ++pos_;
    } else if (k == "PRE_EMPHASIS") {
      ++pos_;
      r.preemphasis = true;
    } else if (k == "ISRC") {
      ++pos_;
      std::string isrc;
      if (!string("el ISRC (12 caracteres)", &isrc)) return false;
    } else if (k == "CD_TEXT") {
      ++pos_;
      if (!cdText(false, &trackTexts_.back())) return false;
    } else if (k == "FILE" || k == "AUDIOFILE" || k == "DATAFILE") {
      if (!fileStatement(k == "DATAFILE")) return false;
    } else if (k == "SILENCE" || k == "ZERO") {
      ++pos_;
      // ZERO may name the data mode and sub-channel mode of its zeros.
      while (k == "ZERO" && pos_ < tokens_.size() && !atValue() &&
             (std::any_of(kModes.begin(), kModes.end(),
                          [&](const TrackMode& m) { return atWord(m.name); }) ||
              atWord("RW") || atWord("RW_RAW")))
        ++pos_;
      RipStretch s;
      s.line = key.line;
      if (!amount("la duración", &s.frames)) return false;
      r.content.push_back(s);
    } else if (k == "PREGAP" || k == "START") {
      ++pos_;
      if (startLine)
        return fail(key.line, "la pista " + std::to_string(r.number) + " ya tiene " +
                                  (k == "PREGAP" ? "PREGAP o START" : "START o PREGAP") +
                                  " en la línea " + std::to_string(startLine));
      startLine = key.line;
      if (k == "PREGAP") {
        if (!r.content.empty())
          return fail(key.line, "PREGAP va antes de lo que tiene la pista, no después");
        int64_t sectors = 0;
        if (!msf("la duración", &sectors)) return false;
        r.content.push_back({-1, 0, sectors * kFramesPerSector, false, key.line});
        r.start = {1, 0, key.line};
      } else if (atValue()) {
        int64_t sectors = 0;
        if (!msf("el comienzo", &sectors)) return false;
        r.start = {0, sectors, key.line};
      } else {
        r.start = {r.content.size(), 0, key.line};
      }
    } else if (k == "INDEX") {
      ++pos_;
      int64_t sectors = 0;
      if (!msf("el índice", &sectors)) return false;
      indexes.push_back({sectors, key.line});
    } else if (k == "FIFO") {
      return fail(key.line, "FIFO lee de una tubería; Velmar solo lee archivos");
    } else {
      return failAt(word(key) + " no es una palabra de archivo .toc");
    }
  }
  if (!startLine) r.start.line = r.line;
  for (const auto& [sectors, line] : indexes)
    r.marks.push_back({r.start.stretch, r.start.sectors + sectors, line});
  return true;
}

}  // namespace

std::optional<RipDescription> parseTocFile(std::string_view bytes, const std::string& name,
                                           std::string* reason) {
  RipDescription rip;
  rip.name = name;
  auto refuse = [&](const std::string& what) -> std::optional<RipDescription> {
    if (reason) *reason = what;
    return std::nullopt;
  };
  if (bytes.size() > kMaxTocFileBytes)
    return refuse(rip.problem(0, "mide más de 1 MiB; no es un archivo .toc"));
  if (bytes.substr(0, 3) == "\xef\xbb\xbf") bytes.remove_prefix(3);
  if (bytes.find('\0') != std::string_view::npos)
    return refuse(rip.problem(0, "no es un archivo .toc: contiene datos binarios"));
  Parser parser(bytes, &rip);
  if (!parser.run()) return refuse(parser.error());
  return rip;
}

std::optional<RipDescription> readTocFile(const std::string& path, std::string* reason) {
  RipDescription named;
  named.name = std::filesystem::path(path).filename().string();
  std::string why;
  const std::optional<std::string> bytes =
      readSmallFile(path, kMaxTocFileBytes, "mide más de 1 MiB; no es un archivo .toc", &why);
  if (!bytes) {
    if (reason) *reason = named.problem(0, why);
    return std::nullopt;
  }
  return parseTocFile(*bytes, named.name, reason);
}

std::unique_ptr<RipSource> openTocFile(const std::string& path, std::string* reason) {
  std::optional<RipDescription> rip = readTocFile(path, reason);
  if (!rip) return nullptr;
  std::string why;
  auto source =
      RipSource::open(std::move(*rip), std::filesystem::path(path).parent_path().string(), &why);
  if (!source && reason) *reason = why;
  return source;
}
