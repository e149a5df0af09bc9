#include "sources/TextEncoding.h"

#include <array>
#include <cstdint>
#include <optional>

bool isValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    int more = 0;
    uint32_t cp = 0;
    if (c >= 0xc2 && c <= 0xdf) {
      more = 1;
      cp = c & 0x1f;
    } else if (c >= 0xe0 && c <= 0xef) {
      more = 2;
      cp = c & 0x0f;
    } else if (c >= 0xf0 && c <= 0xf4) {
      more = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + static_cast<size_t>(more) >= s.size()) return false;
    for (int k = 1; k <= more; ++k) {
      const auto d = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
      if ((d & 0xc0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3f);
    }
    // Overlong forms, surrogates and code points past U+10FFFF.
    if ((more == 2 && cp < 0x800) || (more == 3 && (cp < 0x10000 || cp > 0x10ffff)) ||
        (cp >= 0xd800 && cp <= 0xdfff))
      return false;
    i += static_cast<size_t>(more) + 1;
  }
  return true;
}

namespace {

void appendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xc0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xe0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
  } else {
    out.push_back(static_cast<char>(0xf0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3f)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
  }
}

// Windows-1252 bytes 0x80..0x9f.
constexpr std::array<uint16_t, 32> kCp1252High{
    0x20ac, 0x0081, 0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021, 0x02c6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008d, 0x017d, 0x008f, 0x0090, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022,
    0x2013, 0x2014, 0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0x009d, 0x017e, 0x0178};

// UTF-16 or UTF-32 text (code units of `width` bytes, little- or
// big-endian), without its byte-order mark, to UTF-8; an unpaired surrogate
// or a code point past U+10FFFF becomes U+FFFD.
std::string wideToUtf8(std::string_view s, size_t width, bool little) {
  auto unit = [&](size_t i) {
    uint32_t v = 0;
    for (size_t k = 0; k < width; ++k)
      v |= uint32_t{static_cast<unsigned char>(s[i + k])} << (8 * (little ? k : width - 1 - k));
    return v;
  };
  std::string out;
  out.reserve(s.size() / width);
  for (size_t i = 0; i + width <= s.size(); i += width) {
    uint32_t cp = unit(i);
    if (width == 2 && cp >= 0xd800 && cp <= 0xdbff && i + 2 * width <= s.size()) {
      const uint32_t low = unit(i + width);
      if (low >= 0xdc00 && low <= 0xdfff) {
        cp = 0x10000 + ((cp - 0xd800) << 10) + (low - 0xdc00);
        i += width;
      }
    }
    if ((cp >= 0xd800 && cp <= 0xdfff) || cp > 0x10ffff) cp = 0xfffd;
    appendUtf8(out, cp);
  }
  return out;
}

}  // namespace

std::string_view unicodeTextAsUtf8(std::string_view bytes, std::string* converted) {
  auto at = [&](size_t i) { return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 1; };
  struct Form {
    size_t width, bom;
    bool little;
  };
  std::optional<Form> form;
  if (at(0) == 0xff && at(1) == 0xfe && at(2) == 0 && at(3) == 0)
    form = Form{4, 4, true};
  else if (at(0) == 0 && at(1) == 0 && at(2) == 0xfe && at(3) == 0xff)
    form = Form{4, 4, false};
  else if (at(0) == 0xff && at(1) == 0xfe)
    form = Form{2, 2, true};
  else if (at(0) == 0xfe && at(1) == 0xff)
    form = Form{2, 2, false};
  else if (at(0) != 0 && at(1) == 0 && at(2) == 0 && at(3) == 0)
    form = Form{4, 0, true};
  else if (at(0) == 0 && at(1) == 0 && at(2) == 0 && at(3) != 0)
    form = Form{4, 0, false};
  else if (at(0) != 0 && at(1) == 0)
    form = Form{2, 0, true};
  else if (at(0) == 0 && at(1) != 0)
    form = Form{2, 0, false};
  if (!form) return bytes.substr(0, 3) == "\xef\xbb\xbf" ? bytes.substr(3) : bytes;
  *converted = wideToUtf8(bytes.substr(form->bom), form->width, form->little);
  return *converted;
}

std::string cp1252ToUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size() + s.size() / 4);
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    appendUtf8(out, c >= 0x80 && c < 0xa0 ? kCp1252High[c - 0x80] : c);
  }
  return out;
}

std::string textAsUtf8(std::string_view bytes) {
  return isValidUtf8(bytes) ? std::string(bytes) : cp1252ToUtf8(bytes);
}

std::string asciiUpper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}
