#include "sysutils.h"

#include <cstdint>

// ---------------------------------------------------------------------------
// UTF-8 decoding
// ---------------------------------------------------------------------------

namespace {

// Decodes the character at `i`; an invalid sequence yields U+FFFD and one byte.
char32_t decode(std::string_view s, size_t& i) {
  auto b = [&](size_t k) { return uint8_t(s[k]); };
  uint8_t c = b(i);
  auto cont = [&](size_t k) { return k < s.size() && (b(k) & 0xC0) == 0x80; };
  if (c < 0x80) {
    ++i;
    return c;
  }
  if (c >= 0xC2 && c <= 0xDF && cont(i + 1)) {
    char32_t cp = (c & 0x1F) << 6 | (b(i + 1) & 0x3F);
    i += 2;
    return cp;
  }
  if (c >= 0xE0 && c <= 0xEF && cont(i + 1) && cont(i + 2)) {
    char32_t cp = (c & 0x0F) << 12 | (b(i + 1) & 0x3F) << 6 | (b(i + 2) & 0x3F);
    if (cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF)) {
      i += 3;
      return cp;
    }
  }
  if (c >= 0xF0 && c <= 0xF4 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
    char32_t cp = (c & 0x07) << 18 | (b(i + 1) & 0x3F) << 12 | (b(i + 2) & 0x3F) << 6 | (b(i + 3) & 0x3F);
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      i += 4;
      return cp;
    }
  }
  ++i;
  return 0xFFFD;
}

// A key whose order is the UTF-16 code-unit order of the character: code
// points from U+E000 to U+FFFF come after the supplementary planes, whose
// surrogates (0xD800..0xDFFF) order before them.
uint32_t utf16_order_key(char32_t cp) { return cp >= 0xE000 && cp <= 0xFFFF ? cp + 0x110000 : cp; }

template <bool IgnoreCase>
int compare(std::string_view a, std::string_view b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    char ca = IgnoreCase ? ascii_upper(a[i]) : a[i];
    char cb = IgnoreCase ? ascii_upper(b[i]) : b[i];
    if (ca == cb) continue;
    if (uint8_t(ca) < 0x80 && uint8_t(cb) < 0x80) return uint8_t(ca) < uint8_t(cb) ? -1 : 1;
    // The texts differ beyond ASCII: compare the two characters whole. The
    // bytes before `i` are equal, so both characters start at `start`.
    size_t start = i;
    while (start > 0 && (uint8_t(a[start]) & 0xC0) == 0x80) --start;
    size_t ia = start, ib = start;
    uint32_t ka = utf16_order_key(decode(a, ia));
    uint32_t kb = utf16_order_key(decode(b, ib));
    if (IgnoreCase) {
      if (ka < 0x80) ka = uint8_t(ascii_upper(char(ka)));
      if (kb < 0x80) kb = uint8_t(ascii_upper(char(kb)));
    }
    if (ka != kb) return ka < kb ? -1 : 1;
    return uint8_t(a[i]) < uint8_t(b[i]) ? -1 : 1;  // invalid sequences: by byte
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace

// ---------------------------------------------------------------------------
// Public helpers
// ---------------------------------------------------------------------------

// Names, ids and property values are mostly ASCII: the conversions copy the
// ASCII start of a text unit by unit and decode from the first other byte on.
namespace {

size_t ascii_prefix(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && uint8_t(text[i]) < 0x80) ++i;
  return i;
}

size_t ascii_prefix(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] < 0x80) ++i;
  return i;
}

}  // namespace

std::u16string utf8_to_utf16(std::string_view text) {
  const size_t ascii = ascii_prefix(text);
  std::u16string out(ascii, u'\0');
  for (size_t i = 0; i < ascii; ++i) out[i] = char16_t(uint8_t(text[i]));
  if (ascii == text.size()) return out;
  out.reserve(text.size());
  for (size_t i = ascii; i < text.size();) {
    char32_t cp = decode(text, i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(char16_t(0xD800 + (cp >> 10)));
      out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(char16_t(cp));
    }
  }
  return out;
}

std::string utf16_to_utf8(std::u16string_view text) {
  const size_t ascii = ascii_prefix(text);
  std::string out(ascii, '\0');
  for (size_t i = 0; i < ascii; ++i) out[i] = char(text[i]);
  if (ascii == text.size()) return out;
  out.reserve(text.size());
  for (size_t i = ascii; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;  // unpaired surrogate
    }
    if (cp < 0x80) {
      out.push_back(char(cp));
    } else if (cp < 0x800) {
      out.push_back(char(0xC0 | cp >> 6));
      out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(char(0xE0 | cp >> 12));
      out.push_back(char(0x80 | (cp >> 6 & 0x3F)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(char(0xF0 | cp >> 18));
      out.push_back(char(0x80 | (cp >> 12 & 0x3F)));
      out.push_back(char(0x80 | (cp >> 6 & 0x3F)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

bool valid_utf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const size_t start = i;
    // decode takes a single byte for what is not UTF-8, and gives U+FFFD.
    if (decode(text, i) == 0xFFFD && i - start == 1) return false;
  }
  return true;
}

int compare_str(std::string_view a, std::string_view b) { return compare<false>(a, b); }
int compare_text(std::string_view a, std::string_view b) { return compare<true>(a, b); }

bool same_text(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (ascii_upper(a[i]) != ascii_upper(b[i])) return false;
  return true;
}

std::string upper_case(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = ascii_upper(c);
  return out;
}

std::string printable_text(std::string_view text) {
  static constexpr char hex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const size_t start = i;
    const char32_t cp = decode(text, i);
    const bool invalid = cp == 0xFFFD && i - start == 1;
    if (cp == '\t') {
      out += "\\t";
    } else if (cp == '\n') {
      out += "\\n";
    } else if (cp == '\r') {
      out += "\\r";
    } else if (invalid || cp < 0x20 || cp == 0x7F) {
      const auto byte = uint8_t(text[start]);
      out += {'\\', 'x', hex[byte >> 4], hex[byte & 0xF]};
    } else if (cp >= 0x80 && cp <= 0x9F) {
      out += {'\\', 'u', '0', '0', hex[cp >> 4], hex[cp & 0xF]};
    } else {
      out.append(text.substr(start, i - start));
    }
  }
  return out;
}
