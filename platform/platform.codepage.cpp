#include "platform.codepage.h"

#include "sysutils.h"

#include <cstdint>

// ---------------------------------------------------------------------------
// Windows-1252
// ---------------------------------------------------------------------------

namespace {

// The characters of the bytes 80..9F; the unassigned bytes keep their value.
constexpr char16_t high_block[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

char32_t ansi_char(uint8_t b) { return b >= 0x80 && b < 0xA0 ? high_block[b - 0x80] : b; }

// The byte for `cp`, or '?' when the code page has no such character.
char ansi_byte(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return char(cp);
  for (int i = 0; i < 32; ++i)
    if (high_block[i] == cp) return char(0x80 + i);
  return '?';
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | cp >> 6);
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | cp >> 12);
    out += char(0x80 | (cp >> 6 & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | cp >> 18);
    out += char(0x80 | (cp >> 12 & 0x3F));
    out += char(0x80 | (cp >> 6 & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

// The code point at `i` (advanced past it), or nothing for an invalid byte
// (advanced by one).
bool next_code_point(std::string_view s, size_t& i, char32_t& cp) {
  auto b = [&](size_t k) { return uint8_t(s[k]); };
  auto cont = [&](size_t k) { return k < s.size() && (b(k) & 0xC0) == 0x80; };
  uint8_t c = b(i);
  if (c < 0x80) {
    cp = c;
    ++i;
    return true;
  }
  if (c >= 0xC2 && c <= 0xDF && cont(i + 1)) {
    cp = (c & 0x1F) << 6 | (b(i + 1) & 0x3F);
    i += 2;
    return true;
  }
  if (c >= 0xE0 && c <= 0xEF && cont(i + 1) && cont(i + 2)) {
    cp = (c & 0x0F) << 12 | (b(i + 1) & 0x3F) << 6 | (b(i + 2) & 0x3F);
    if (cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF)) {
      i += 3;
      return true;
    }
  }
  if (c >= 0xF0 && c <= 0xF4 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
    cp = (c & 0x07) << 18 | (b(i + 1) & 0x3F) << 12 | (b(i + 2) & 0x3F) << 6 | (b(i + 3) & 0x3F);
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      i += 4;
      return true;
    }
  }
  ++i;
  return false;
}

}  // namespace

std::string ansi_to_utf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) append_utf8(out, ansi_char(uint8_t(c)));
  return out;
}

std::string utf8_to_ansi(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    out += next_code_point(text, i, cp) ? ansi_byte(cp) : '?';
  }
  return out;
}

// ---------------------------------------------------------------------------
// Text files
// ---------------------------------------------------------------------------

TTextEncoding detect_text_encoding(std::string_view bytes, size_t* bom_length) {
  TTextEncoding encoding = TTextEncoding::ansi;
  size_t length = 0;
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    encoding = TTextEncoding::utf8;
    length = 3;
  } else if (bytes.starts_with("\xFF\xFE")) {
    encoding = TTextEncoding::utf16le;
    length = 2;
  } else if (bytes.starts_with("\xFE\xFF")) {
    encoding = TTextEncoding::utf16be;
    length = 2;
  }
  if (bom_length) *bom_length = length;
  return encoding;
}

std::string decode_text_file(std::string_view bytes) {
  size_t bom = 0;
  TTextEncoding encoding = detect_text_encoding(bytes, &bom);
  bytes.remove_prefix(bom);
  switch (encoding) {
    case TTextEncoding::ansi: return ansi_to_utf8(bytes);
    case TTextEncoding::utf8: return std::string(bytes);
    case TTextEncoding::utf16le:
    case TTextEncoding::utf16be: {
      bool little = encoding == TTextEncoding::utf16le;
      std::u16string units(bytes.size() / 2, u'\0');
      for (size_t k = 0; k < units.size(); ++k) {
        auto lo = uint8_t(bytes[2 * k + (little ? 0 : 1)]);
        auto hi = uint8_t(bytes[2 * k + (little ? 1 : 0)]);
        units[k] = char16_t(hi << 8 | lo);
      }
      return utf16_to_utf8(units);
    }
  }
  return {};
}

std::string encode_text_file(std::string_view text, TTextEncoding encoding) {
  switch (encoding) {
    case TTextEncoding::ansi: return utf8_to_ansi(text);
    case TTextEncoding::utf8: return "\xEF\xBB\xBF" + std::string(text);
    case TTextEncoding::utf16le:
    case TTextEncoding::utf16be: {
      bool little = encoding == TTextEncoding::utf16le;
      std::string out = little ? "\xFF\xFE" : "\xFE\xFF";
      for (char16_t unit : utf8_to_utf16(text)) {
        char lo = char(unit & 0xFF), hi = char(unit >> 8);
        out += little ? lo : hi;
        out += little ? hi : lo;
      }
      return out;
    }
  }
  return {};
}

std::vector<std::string> text_lines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    size_t end = text.find_first_of("\r\n");
    lines.emplace_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + (text.substr(end, 2) == "\r\n" ? 2 : 1));
  }
  return lines;
}
