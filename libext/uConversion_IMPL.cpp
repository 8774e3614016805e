#include "uConversion_IMPL.h"

#include <charconv>
#include <cmath>

#include <fmt/format.h>

#include "math.fpu.h"
#include "uConversionParser.h"
#include "uConversionUnits.h"
#include "uEventConnections.h"

// ---------------------------------------------------------------------------
// Decimal separator
// ---------------------------------------------------------------------------

namespace {

char point_separator() { return '.'; }
TDecimalSeparatorSource g_separator_source = point_separator;

}  // namespace

void set_decimal_separator_source(TDecimalSeparatorSource source) {
  g_separator_source = source ? source : point_separator;
}

char conversion_decimal_separator() { return g_separator_source(); }

// ---------------------------------------------------------------------------
// Number text
// ---------------------------------------------------------------------------

std::string fixed_text(double value, int32_t decimals, char separator) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  decimals = decimals < 0 ? 0 : decimals > kMaxDecimals ? kMaxDecimals : decimals;

  // The shortest digits that read back as the value: "-d.ddde+XX".
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  ASSERT(ec == std::errc());
  std::string_view text(buffer, size_t(end - buffer));
  bool negative = text[0] == '-';
  if (negative) text.remove_prefix(1);
  size_t e = text.find('e');
  std::string digits;
  for (char c : text.substr(0, e))
    if (c != '.') digits += c;
  int exponent = 0;
  std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(), exponent);

  // value = 0.<digits> × 10^point; keep the digits down to 10^-decimals.
  int64_t point = int64_t(exponent) + 1;
  int64_t keep = point + decimals;
  std::string kept;  // kept × 10^-decimals is the rounded value
  if (keep < 0) {
    kept = "0";
  } else if (keep < int64_t(digits.size())) {
    kept = digits.substr(0, size_t(keep));
    if (digits[size_t(keep)] >= '5') {
      int64_t i = keep - 1;
      while (i >= 0 && kept[size_t(i)] == '9') kept[size_t(i--)] = '0';
      if (i < 0)
        kept.insert(kept.begin(), '1');
      else
        ++kept[size_t(i)];
    }
    if (kept.empty()) kept = "0";
  } else {
    kept = digits + std::string(size_t(keep) - digits.size(), '0');
  }

  if (kept.size() < size_t(decimals) + 1) kept.insert(0, size_t(decimals) + 1 - kept.size(), '0');
  bool zero = kept.find_first_not_of('0') == std::string::npos;
  std::string out = negative && !zero ? "-" : "";
  out += kept.substr(0, kept.size() - size_t(decimals));
  if (decimals > 0) {
    out += separator;
    out += kept.substr(kept.size() - size_t(decimals));
  }
  return out;
}

double preround(double value, int32_t precision) {
  if (is_not_finite(value)) return value;
  int64_t decimals = int64_t(precision) + 3;
  std::string text = fixed_text(value,
                                int32_t(decimals < 0              ? 0
                                        : decimals > kMaxDecimals ? kMaxDecimals
                                                                  : decimals),
                                '.');
  double result = value;
  std::from_chars(text.data(), text.data() + text.size(), result);
  return result;
}

// ---------------------------------------------------------------------------
// Styles
// ---------------------------------------------------------------------------

namespace {

double checked(double value) {
  if (is_not_finite(value)) throw EZeroDivide();
  return value;
}

// Rounds to the nearest integer, ties to the even one, whatever the
// floating-point rounding mode.
double round_half_even(double x) {
  double r = std::floor(x);
  double d = x - r;
  if (d > 0.5 || (d == 0.5 && std::fmod(r, 2) != 0)) r += 1;
  return r;
}

}  // namespace

double CDecimal::step(bool coarse, int32_t precision) {
  float power = std::pow(10.0f, float(precision));
  double result = 1.0 / double(power);
  if (coarse) result *= 10;
  return checked(result);
}

std::string CDecimal::format_number(double value, TFormatFlags flags, int32_t precision) {
  char separator = conversion_decimal_separator();
  std::string text = fixed_text(preround(value, precision), precision, separator);
  if ((flags & ffTruncate) && text.find(separator) != std::string::npos) {
    while (!text.empty() && text.back() == '0') text.pop_back();
    if (!text.empty() && text.back() == separator) text.pop_back();
    if (text.empty()) text = "0";
  }
  return text;
}

double CFractional::step(bool coarse, int32_t precision) {
  if (coarse) return 1;
  return checked(1.0 / std::pow(2.0, double(precision)));
}

std::string CFractional::format_number(double value, TFormatFlags flags, int32_t precision) {
  char separator = conversion_decimal_separator();
  precision = precision < 0 ? 0 : precision > 30 ? 30 : precision;
  int64_t b = int64_t(1) << precision;
  if (b == 1 || is_not_finite(value)) return fixed_text(preround(value, 0), 0, separator);

  // The magnitude carries and reduces as a positive value does; the sign
  // then goes on the whole and on the fraction (-2.25 gives "-2 -1/4").
  double v = preround(value, precision);
  const bool negative = v < 0;
  v = std::fabs(v);
  double whole = std::trunc(v);
  int64_t n = int64_t(round_half_even((v - whole) * double(b)));
  int carry = 0;
  if (n == b) {
    n = 0;
    carry = 1;
  }
  if (flags & ffUpround)
    while (n > 0 && n % 2 == 0) n /= 2, b /= 2;
  whole += carry;
  if (negative) {
    whole = -whole;
    n = -n;
  }

  if ((flags & ffTruncate) && n == 0) return fixed_text(whole, 0, separator);
  if (whole == 0) return fmt::format("{}/{}", n, b);
  return fmt::format("{} {}/{}", fixed_text(whole, 0, separator), n, b);
}

// ---------------------------------------------------------------------------
// Parsing
// ---------------------------------------------------------------------------

namespace {

// Runs a new parser over the text; false, with `value` unchanged, when the
// text does not parse.
bool parse_length(std::string_view text, IFormatUnits* units, double& value) {
  CConversionParser* parser = CConversionParser::create(units);
  struct TFree {
    CConversionParser* parser;
    ~TFree() { parser->free(); }
  } free_parser{parser};
  return parser->parse(text, value);
}

}  // namespace

// ---------------------------------------------------------------------------
// CFormatSettings
// ---------------------------------------------------------------------------

CFormatSettings::~CFormatSettings() { event_disconnect_all(static_cast<IFormatSettings*>(this)); }

std::string CFormatSettings::get_style_name() { return _style ? _style->get_name() : std::string(); }
std::string CFormatSettings::get_units_name() { return _units ? _units->get_name() : std::string(); }

void CFormatSettings::set_style_name(std::string_view name) {
  TRef<IFormatStyle> style;
  if (get_conversion_manager()->get_styles()->find_by_name(name, style)) set_format_style(style.get());
}

void CFormatSettings::set_units_name(std::string_view name) {
  TRef<IFormatUnits> units;
  if (get_conversion_manager()->get_units()->find_by_name(name, units)) set_format_units(units.get());
}

void CFormatSettings::set_format_style(IFormatStyle* style) {
  _style = style;
  notify();
}

void CFormatSettings::set_format_units(IFormatUnits* units) {
  _units = units;
  notify();
}

void CFormatSettings::set_precision(int32_t precision) {
  _precision = precision;
  notify();
}

void CFormatSettings::set_flags(TFormatFlags flags) {
  _flags = flags & ffAll;
  notify();
}

void CFormatSettings::notify() {
  IFormatSettings* self = this;
  for (auto it = event_targets(self, IFormatSettingsChanged::IID); it->moveNext();)
    if (auto listener = it->get_current().query<IFormatSettingsChanged>()) listener->settings_changed(self);
}

double CFormatSettings::step(bool coarse) {
  ASSERT(_style);
  double result = _style->step(coarse, _precision);
  return _units ? _units->to_base(result, 1) : result;
}

std::string CFormatSettings::format_value_units(double value, bool show, uint8_t exponent) {
  ASSERT(_style);
  if (_units) value = _units->from_base(value, exponent);
  std::string text = _style->format_number(value, _flags, _precision);
  if (_units && show) text += _units->suffix(exponent);
  return text;
}

std::string CFormatSettings::format_value(double value, uint8_t exponent) {
  return format_value_units(value, (_flags & ffUnits) != 0, exponent);
}

double CFormatSettings::value_from_text(std::string_view text, double default_value) {
  double value = default_value;
  parse_length(text, _units.get(), value);
  return value;
}

double CFormatSettings::value_from_text_strict(std::string_view text) {
  double value = 0;
  if (!parse_length(text, _units.get(), value)) throw EConversion();
  return value;
}

// ---------------------------------------------------------------------------
// CConversionManager
// ---------------------------------------------------------------------------

namespace {

// The process's manager and default settings, released when the module
// unloads (before the leak report, which is made last).
struct TConversionState {
  TRef<IConversionManager> manager;
  TRef<IFormatSettings> default_settings;
  ~TConversionState() { release(); }
  void release() {
    default_settings.reset();
    manager.reset();
  }
};
TConversionState g_state;

}  // namespace

CConversionManager::CConversionManager()
    : _units(CNamedObjectList<TRef<IFormatUnits>>::create()),
      _styles(CNamedObjectList<TRef<IFormatStyle>>::create()),
      _settings(CNamedObjectList<TRef<IFormatSettings>>::create()) {
  for (const TUnitsRec& info : units_table()) _units->add(CUnits::create(info));
  _styles->add(CDecimal::create());
  _styles->add(CFractional::create());
}

TRef<IFormatSettings> CConversionManager::get_default_settings() {
  // The defaults belong to the process's manager; another manager shares them.
  return g_state.default_settings;
}

TRef<IFormatSettings> CConversionManager::new_settings(std::string_view name, std::string_view caption) {
  TRef<IFormatSettings> settings = CFormatSettings::create(name, caption);
  _settings->add(settings);
  return settings;
}

double CConversionManager::value_from_text(std::string_view text, std::string_view units_name, double default_value) {
  TRef<IFormatUnits> units;
  _units->find_by_name(units_name, units);
  double value = default_value;
  parse_length(text, units.get(), value);
  return value;
}

double CConversionManager::value_from_text_strict(std::string_view text, std::string_view units_name) {
  TRef<IFormatUnits> units;
  _units->find_by_name(units_name, units);
  double value = 0;
  if (!parse_length(text, units.get(), value)) throw EConversion();
  return value;
}

TRef<IConversionManager> get_conversion_manager() {
  if (!g_state.manager) {
    // The manager is in place before the defaults look their names up in it.
    g_state.manager = CConversionManager::create();
    TRef<IFormatSettings> defaults = CFormatSettings::create("", "");
    defaults->set_units_name("mm");
    defaults->set_style_name("decimal");
    g_state.default_settings = defaults;
  }
  return g_state.manager;
}

void release_conversion_manager() { g_state.release(); }
