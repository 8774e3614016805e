// Text helpers of the runtime: UTF-8 / UTF-16 conversion and the system's two
// text orders.
//
// Text inside the system is UTF-8. Its orders are those of UTF-16 texts:
// case-sensitive order compares UTF-16 code units as unsigned numbers (the
// shorter of two texts that are a prefix one of the other comes first);
// case-insensitive order does the same after mapping 'a'..'z' to capitals.
// No other character is folded and no locale is consulted, so '_' (0x5F)
// orders after every ASCII letter when case is ignored.
#pragma once

#include <string>
#include <string_view>

std::u16string utf8_to_utf16(std::string_view text);
std::string utf16_to_utf8(std::u16string_view text);
// Whether `text` is well-formed UTF-8: no overlong forms, no surrogates,
// nothing beyond U+10FFFF.
bool valid_utf8(std::string_view text);

// Negative, zero or positive as `a` orders before, with or after `b`.
int compare_str(std::string_view a, std::string_view b);
int compare_text(std::string_view a, std::string_view b);
// Equal under the case-insensitive order. This is the system's one
// case-insensitive comparison: ids, XML names, INI names, unit names.
bool same_text(std::string_view a, std::string_view b);

// 'a'..'z' mapped to 'A'..'Z'; every other byte unchanged. UTF-8 bytes of
// other characters are never ASCII letters, so folding byte by byte folds
// exactly as folding UTF-16 code units does.
constexpr char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 0x20) : c; }
// The text with ascii_upper applied to every byte.
std::string upper_case(std::string_view text);

// `text` made safe to print on a terminal: control characters (U+0000 to
// U+001F, U+007F and U+0080 to U+009F) are written as escapes ("\t", "\n",
// "\r", "\x1b", "\u009b") and so is each byte that is not part of valid UTF-8
// ("\xff"). Everything else, backslashes included, stays as it is.
std::string printable_text(std::string_view text);
