#include "sources/TocReader.h"

#include <cctype>

#include "sources/TextEncoding.h"

bool TocReader::lex(std::string_view text) {
  int line = 1;
  size_t i = 0;
  auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v'; };
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      ++line;
      ++i;
    } else if (isSpace(c)) {
      ++i;
    } else if (text.substr(i, 2) == "//") {
      while (i < text.size() && text[i] != '\n' && text[i] != '\r') ++i;
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
        if (i >= text.size() || text[i] == '\n' || text[i] == '\r')
          return fail(line, "falta la comilla de cierre");
        if (text[i] == '"') break;
        if (text[i] == '\\' && i + 1 < text.size()) {
          size_t k = i + 1;
          int octal = 0, digits = 0;
          while (digits < 3 && k < text.size() && text[k] >= '0' && text[k] <= '7')
            octal = octal * 8 + (text[k++] - '0'), ++digits;
          if (digits > 0) {
            t.text.push_back(static_cast<char>(octal & 0xff));
            i = k - 1;
            continue;
          }
          if (text[k] == '"' || text[k] == '\\') {
            t.text.push_back(text[k]);
            i = k;
            continue;
          }
        }
        t.text.push_back(text[i]);
      }
      ++i;
      tokens_.push_back(std::move(t));
    } else {
      size_t end = i;
      while (end < text.size() && !isSpace(text[end]) && text[end] != '\n' && text[end] != '\r' &&
             text[end] != '"' && text[end] != '{' && text[end] != '}' && text[end] != ',' &&
             text.substr(end, 2) != "//")
        ++end;
      tokens_.push_back({Token::Kind::Word, std::string(text.substr(i, end - i)), line});
      i = end;
    }
  }
  return true;
}

bool TocReader::atWord(const char* word) const {
  return pos_ < tokens_.size() && tokens_[pos_].kind == Token::Kind::Word &&
         asciiUpper(tokens_[pos_].text) == word;
}

bool TocReader::atValue() const {
  return pos_ < tokens_.size() && tokens_[pos_].kind == Token::Kind::Word &&
         (std::isdigit(static_cast<unsigned char>(tokens_[pos_].text[0])) ||
          tokens_[pos_].text[0] == '#');
}

std::string TocReader::word(const Token& t) {
  return quotedName(textAsUtf8(t.text));
}

bool TocReader::string(const char* what, std::string* out) {
  if (pos_ >= tokens_.size() || tokens_[pos_].kind != Token::Kind::String)
    return failAt(std::string("falta ") + what + " entre comillas");
  *out = tokens_[pos_++].text;
  return true;
}

bool TocReader::expect(Token::Kind kind, const char* what) {
  if (pos_ >= tokens_.size() || tokens_[pos_].kind != kind)
    return failAt(std::string("falta ") + what);
  ++pos_;
  return true;
}

std::optional<int64_t> TocReader::integer(const std::string& s, int64_t max) {
  if (s.empty() || s.size() > 12 || s.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const int64_t v = std::stoll(s);
  if (v > max) return std::nullopt;
  return v;
}
