#include "sources/TocFile.h"

#include <algorithm>
#include <array>
#include <filesystem>

#include "sources/RegularFile.h"
#include "sources/RipSource.h"
#include "sources/SystemError.h"
#include "sources/TextEncoding.h"
#include "sources/TocCdText.h"

namespace {

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

// The header, then the tracks; CD_TEXT blocks are read by TocTextReader.
class Parser : public TocTextReader {
 public:
  Parser(std::string_view text, RipDescription* rip) : TocTextReader(rip), text_(text) {}
  bool run();

 private:
  // A length or position in frames: M:S:F, or a count of samples (audio) or
  // of bytes (data, rounded up to whole blocks).
  bool amount(const char* what, int64_t* frames);
  bool msf(const char* what, int64_t* sectors);
  bool track();
  bool fileStatement(bool data);
  int fileIndex(RipFile f);

  std::string_view text_;
  int32_t blockBytes_ = kBytesPerSector;  // the current track's
  bool audio_ = true;
  Texts albumTexts_;
  std::vector<Texts> trackTexts_;
};

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
  if (!lex(text_)) return false;
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

  rip_->text = chosen(albumTexts_);
  for (size_t i = 0; i < rip_->tracks.size(); ++i) rip_->tracks[i].text = chosen(trackTexts_[i]);
  return true;
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
  const std::string keyword = asciiUpper(key.text);
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
  const std::string mode = pos_ < tokens_.size() ? asciiUpper(tokens_[pos_].text) : std::string();
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
    const std::string k = key.kind == Token::Kind::Word ? asciiUpper(key.text) : std::string();
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
