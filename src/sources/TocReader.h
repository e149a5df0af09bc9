#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sources/DiscLayout.h"

// The words of a cdrdao TOC file, and a cursor over them for the readers of
// its parts (see TocFile.h). `//` starts a comment to the end of the line;
// strings are quoted, with the escapes \", \\ and \ooo (octal), and end on
// their line; `{`, `}` and `,` stand alone; anything else up to a blank is a
// word.
class TocReader {
 public:
  struct Token {
    enum class Kind { Word, String, Open, Close, Comma };
    Kind kind = Kind::Word;
    std::string text;  // a string's bytes, without quotes and escapes
    int line = 0;
  };

  // Problems are those of `rip` (its name and a line).
  explicit TocReader(RipDescription* rip) : rip_(rip) {}
  // The first problem met, in Spanish («disco.toc», línea 7: ...).
  const std::string& error() const { return error_; }

 protected:
  // Splits `text` into tokens; false (see error()) at a string that is not
  // closed on its line.
  bool lex(std::string_view text);

  // Keeps the first problem; always false.
  bool fail(int line, const std::string& what) {
    if (error_.empty()) error_ = rip_->problem(line, what);
    return false;
  }
  bool failAt(const std::string& what) { return fail(here(), what); }
  // The line of the next token, or of the last one at the end.
  int here() const {
    return pos_ < tokens_.size() ? tokens_[pos_].line : tokens_.empty() ? 1 : tokens_.back().line;
  }
  // The next token is the word `word` (upper case), in any case.
  bool atWord(const char* word) const;
  // The next token is a value (a number, M:S:F, #offset).
  bool atValue() const;
  // A token, quoted for a message.
  static std::string word(const Token& t);
  // Reads a string into `*out`; `what` names it when it is missing.
  bool string(const char* what, std::string* out);
  // Reads a token of `kind`; `what` names it when it is missing.
  bool expect(Token::Kind kind, const char* what);
  // `s` as a number of at most `max`, or nothing when it is none.
  static std::optional<int64_t> integer(const std::string& s, int64_t max);

  RipDescription* rip_;
  std::vector<Token> tokens_;
  size_t pos_ = 0;

 private:
  std::string error_;
};
