#pragma once

#include <string>
#include <string_view>

// The character sets of the text files a rip comes with (cue sheets, cdrdao
// TOC files), read as UTF-8, which every string of the program is.

// Whether `bytes` are well-formed UTF-8 (no overlong forms, no surrogates).
bool isValidUtf8(std::string_view bytes);

// Windows-1252 bytes as UTF-8; the five bytes it leaves undefined keep their
// Latin-1 (control) meaning.
std::string cp1252ToUtf8(std::string_view bytes);

// `bytes` as UTF-8: as they are when they are valid UTF-8, else read as
// Windows-1252.
std::string textAsUtf8(std::string_view bytes);

// A text file in UTF-16 or UTF-32 (little- or big-endian, with a byte-order
// mark or without one, then told by the zero bytes of its first character,
// which is never NUL) converted to UTF-8 into `*converted`, which the result
// then views; an unpaired surrogate or a code point past U+10FFFF becomes
// U+FFFD. Any other `bytes` are returned as they are, without a UTF-8
// byte-order mark.
std::string_view unicodeTextAsUtf8(std::string_view bytes, std::string* converted);

// `s` with the ASCII letters a-z in upper case (keywords of sheets and TOCs).
std::string asciiUpper(std::string s);
