#include "sources/TocCdText.h"

#include <algorithm>
#include <array>

#include "sources/TextEncoding.h"

namespace {

constexpr std::array<const char*, 13> kTextItems{
    "TITLE", "PERFORMER", "SONGWRITER", "COMPOSER", "ARRANGER", "MESSAGE",  "DISC_ID",
    "GENRE", "TOC_INFO1", "TOC_INFO2",  "UPC_EAN",  "ISRC",     "SIZE_INFO"};

}  // namespace

CdText TocTextReader::chosen(const Texts& texts) const {
  int language = hasMap_ ? -1 : 0;
  if (!mapped_.empty()) language = *std::min_element(mapped_.begin(), mapped_.end());
  const auto it = texts.find(language);
  return it == texts.end() ? CdText{} : it->second;
}

bool TocTextReader::languageMap() {
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

bool TocTextReader::textValue(const std::string& item, std::string* value) {
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

bool TocTextReader::cdText(bool global, Texts* texts) {
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
      const std::string item = asciiUpper(tokens_[pos_].text);
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
