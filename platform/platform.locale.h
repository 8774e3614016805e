// The user's number format: the decimal separator, and conversions between
// numbers and text under it.
//
// The separator comes from the environment (LC_ALL, then LC_NUMERIC, then
// LANG: a language that writes decimal commas gives ',', anything else '.'),
// read once, and can be overridden (tests do). Nothing here depends on the C
// library's global locale.
#pragma once

#include <optional>
#include <string>
#include <string_view>

char decimal_separator();
// Overrides the separator for the whole module; 0 returns to the environment's.
void set_decimal_separator(char separator);

// The separator a locale name such as "de_DE.UTF-8" writes; '.' for "C", "POSIX" or "".
char decimal_separator_of_locale(std::string_view locale_name);

// `text` with every "." and "," replaced by the user's separator: numbers in
// files may be written with either mark, whatever the locale.
std::string with_decimal_separator(std::string_view text);

// Reads a number written with `separator` as decimal mark: optional blanks,
// optional sign, digits with at most one separator, optional exponent ('E' or
// 'e', optional sign, digits), optional blanks. No digit grouping. Nothing
// when the text is not such a number or does not fit a double.
std::optional<double> text_to_float(std::string_view text, char separator);
std::optional<double> text_to_float(std::string_view text);  // the user's separator

// A 32-bit signed decimal integer, optional blanks and sign around it; nothing
// when the text is not one or is out of range.
std::optional<int32_t> text_to_int(std::string_view text);

// Fixed notation with `decimals` digits after the separator ("12.50").
std::string float_to_text_fixed(double value, int decimals, char separator);
// General notation with at most `digits` significant digits, trailing zeros
// dropped, exponent form only where fixed notation would not fit ("0.1",
// "1E-5"); "NAN", "INF" and "-INF" for values that are not finite.
std::string float_to_text_general(double value, int digits, char separator);
