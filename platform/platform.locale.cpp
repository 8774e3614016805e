#include "platform.locale.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "uConversion_IMPL.h"

// ---------------------------------------------------------------------------
// The separator
// ---------------------------------------------------------------------------

namespace {

char g_override = 0;

char environment_separator() {
  for (const char* name : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) return decimal_separator_of_locale(value);
  }
  return '.';
}

}  // namespace

char decimal_separator_of_locale(std::string_view locale_name) {
  // Languages that write a decimal comma.
  static const char* const comma_languages[] = {
      "af", "be", "bg", "bs", "ca", "cs", "da", "de", "el", "es", "et", "eu", "fi", "fo", "fr", "gl", "hr",
      "hu", "hy", "id", "is", "it", "ka", "kk", "ky", "lt", "lv", "mk", "mn", "nb", "nl", "nn", "no", "pl",
      "pt", "ro", "ru", "sk", "sl", "sq", "sr", "sv", "tr", "uk", "uz", "vi", "az", "be", "lb", "br", "oc"};
  std::string_view language = locale_name.substr(0, locale_name.find_first_of("_.@"));
  for (const char* l : comma_languages)
    if (language == l) return ',';
  return '.';
}

char decimal_separator() {
  static const char from_environment = environment_separator();
  return g_override ? g_override : from_environment;
}

void set_decimal_separator(char separator) { g_override = separator; }

std::string with_decimal_separator(std::string_view text) {
  const char separator = decimal_separator();
  std::string local(text);
  for (char& c : local)
    if (c == '.' || c == ',') c = separator;
  return local;
}

namespace {

// Hands the user's separator to the unit conversion when the module loads.
struct TConversionSeparator {
  TConversionSeparator() { set_decimal_separator_source(decimal_separator); }
};
TConversionSeparator g_conversion_separator;

}  // namespace

// ---------------------------------------------------------------------------
// Text to number
// ---------------------------------------------------------------------------

std::optional<double> text_to_float(std::string_view text, char separator) {
  size_t i = 0, n = text.size();
  auto blank = [&](size_t k) { return k < n && (text[k] == ' ' || text[k] == '\t'); };
  auto digit = [&](size_t k) { return k < n && text[k] >= '0' && text[k] <= '9'; };
  while (blank(i)) ++i;
  std::string number;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') number += '-';
    ++i;
  }
  size_t digits = 0;
  while (digit(i)) number += text[i++], ++digits;
  if (i < n && text[i] == separator) {
    number += '.';
    ++i;
    while (digit(i)) number += text[i++], ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    number += 'e';
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) number += text[i++];
    if (!digit(i)) return std::nullopt;
    while (digit(i)) number += text[i++];
  }
  while (blank(i)) ++i;
  if (i != n) return std::nullopt;

  double value = 0;
  auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Underflow reads as zero; overflow does not convert.
    if (std::strtod(number.c_str(), nullptr) == 0 || std::fabs(std::strtod(number.c_str(), nullptr)) < 1)
      return number[0] == '-' ? -0.0 : 0.0;
    return std::nullopt;
  }
  if (ec != std::errc() || end != number.data() + number.size()) return std::nullopt;
  return value;
}

std::optional<double> text_to_float(std::string_view text) { return text_to_float(text, decimal_separator()); }

std::optional<int32_t> text_to_int(std::string_view text) {
  size_t b = text.find_first_not_of(" \t");
  if (b == std::string_view::npos) return std::nullopt;
  size_t e = text.find_last_not_of(" \t");
  text = text.substr(b, e - b + 1);
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  if (text.empty() || text[0] == '+') return std::nullopt;
  int32_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// ---------------------------------------------------------------------------
// Number to text
// ---------------------------------------------------------------------------

namespace {

std::string with_separator(std::string text, char separator) {
  for (char& c : text)
    if (c == '.') c = separator;
  return text;
}

}  // namespace

std::string float_to_text_fixed(double value, int decimals, char separator) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return with_separator(buffer, separator);
}

std::string float_to_text_general(double value, int digits, char separator) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";
  // Round to `digits` significant digits first; the exponent decides the form.
  // to_chars writes what printf's "%.*e" writes, without the C library's locale.
  char buffer[64];
  const int precision = digits > 0 ? digits - 1 : 6;  // printf's default for none
  const auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer - 1, value, std::chars_format::scientific, precision);
  if (error == std::errc())
    *end = '\0';
  else
    std::snprintf(buffer, sizeof buffer, "%.*e", digits - 1, value);
  char* e = std::strchr(buffer, 'e');
  int exponent = std::atoi(e + 1);
  std::string mantissa(buffer, e);  // "-d.ddd"
  bool negative = mantissa[0] == '-';
  if (negative) mantissa.erase(0, 1);
  std::string significant = mantissa.substr(0, 1) + (mantissa.size() > 2 ? mantissa.substr(2) : "");
  while (significant.size() > 1 && significant.back() == '0') significant.pop_back();

  std::string out = negative ? "-" : "";
  if (exponent < digits && std::fabs(value) >= 0.00001) {
    if (exponent < 0) {
      out += "0" + std::string(1, separator) + std::string(size_t(-exponent - 1), '0') + significant;
    } else if (size_t(exponent) + 1 >= significant.size()) {
      out += significant + std::string(size_t(exponent) + 1 - significant.size(), '0');
    } else {
      out += significant.substr(0, size_t(exponent) + 1) + separator + significant.substr(size_t(exponent) + 1);
    }
    return out;
  }
  out += significant.substr(0, 1);
  if (significant.size() > 1) out += separator + significant.substr(1);
  out += "E" + std::to_string(exponent);
  return out;
}
