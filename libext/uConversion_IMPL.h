// The implementation of the unit conversion: the number styles (`CDecimal`,
// `CFractional`), named format settings (`CFormatSettings`), the registry
// list (`CNamedObjectList`), the process-wide `CConversionManager` reached
// through `get_conversion_manager`, and the source of the user's decimal
// separator.
//
// The manager and the default settings are made on the first call of
// `get_conversion_manager` and released when the module unloads.
#pragma once

#include "sysutils.h"
#include "uConfig_INTF.h"
#include "uConversion_INTF.h"

// ---------------------------------------------------------------------------
// Decimal separator
// ---------------------------------------------------------------------------

// Where the conversion takes the user's decimal separator from. The library
// itself knows no locale: the platform layer installs its source when it is
// loaded; until then, and after `set_decimal_separator_source(nullptr)`, the
// separator is '.'.
using TDecimalSeparatorSource = char (*)();
void set_decimal_separator_source(TDecimalSeparatorSource source);
char conversion_decimal_separator();

// ---------------------------------------------------------------------------
// Number text
// ---------------------------------------------------------------------------

// At most this many decimals are written; a double has no more significant digits.
inline constexpr int32_t kMaxDecimals = 18;

// `value` in fixed notation with `decimals` digits (0 to kMaxDecimals) after
// `separator`, without digit grouping. The digits are those of the shortest
// text that reads back as `value`, rounded half away from zero; a value that
// rounds to zero has no sign. "NAN", "INF" or "-INF" when not finite.
std::string fixed_text(double value, int32_t decimals, char separator);

// The value written with precision + 3 decimals and read back, which removes
// binary noise (a hair below a decimal boundary becomes the boundary).
double preround(double value, int32_t precision);

// ---------------------------------------------------------------------------
// Styles
// ---------------------------------------------------------------------------

// Decimal numbers: "12.5".
class CDecimal : public TImplements<CSafeInterfacedObject, IFormatStyle> {
 public:
  static CDecimal* create() { return construct(new CDecimal()); }
  std::string get_name() override { return "decimal"; }
  std::string get_caption() override { return "decimal"; }
  // 1 / 10^precision (the power in single precision), times 10 when coarse.
  double step(bool coarse, int32_t precision) override;
  // Pre-rounded, then `precision` decimals; with ffTruncate trailing zeros
  // and a trailing separator are dropped.
  std::string format_number(double value, TFormatFlags flags, int32_t precision) override;

 protected:
  CDecimal() = default;
};

// Whole numbers and fractions with the denominator 2^precision: "3 1/2".
class CFractional : public TImplements<CSafeInterfacedObject, IFormatStyle> {
 public:
  static CFractional* create() { return construct(new CFractional()); }
  std::string get_name() override { return "fractional"; }
  std::string get_caption() override { return "fractional"; }
  // 1 / 2^precision, or 1 when coarse.
  double step(bool coarse, int32_t precision) override;
  // Whole part and numerator each with the value's sign ("-2 -1/4"); with
  // ffUpround the fraction is reduced, with ffTruncate a zero fraction is
  // left out. The precision is taken in 0 to 30.
  std::string format_number(double value, TFormatFlags flags, int32_t precision) override;

 protected:
  CFractional() = default;
};

// ---------------------------------------------------------------------------
// Registry lists
// ---------------------------------------------------------------------------

template <class T>
class CNamedObjectList : public CList<T, INamedObjectList<T>> {
 public:
  static CNamedObjectList* create() { return CSafeInterfacedObject::construct(new CNamedObjectList()); }

  bool find_by_name(std::string_view name, T& item) override {
    for (const T& candidate : *this) {
      if (candidate && same_text(candidate->get_name(), name)) {
        item = candidate;
        return true;
      }
    }
    item = nullptr;
    return false;
  }

 protected:
  CNamedObjectList() = default;
};

// ---------------------------------------------------------------------------
// Settings
// ---------------------------------------------------------------------------

class CFormatSettings : public TImplements<CSafeInterfacedObject, IConfigurationSettings, IFormatSettings> {
 public:
  // Settings without style and units, all flags, precision 0.
  static CFormatSettings* create(std::string_view name, std::string_view caption) {
    return construct(new CFormatSettings(name, caption));
  }

  // IConfigurationSettings
  CSafeBaseObject* get_object() override { return this; }

  // IFormatSettings
  std::string get_name() override { return _name; }
  std::string get_caption() override { return _caption; }
  std::string get_style_name() override;
  std::string get_units_name() override;
  TRef<IFormatStyle> get_format_style() override { return _style; }
  TRef<IFormatUnits> get_format_units() override { return _units; }
  int32_t get_precision() override { return _precision; }
  TFormatFlags get_flags() override { return _flags; }
  void set_style_name(std::string_view name) override;
  void set_units_name(std::string_view name) override;
  void set_format_style(IFormatStyle* style) override;
  void set_format_units(IFormatUnits* units) override;
  void set_precision(int32_t precision) override;
  void set_flags(TFormatFlags flags) override;
  double step(bool coarse) override;
  std::string format_value_units(double value, bool show, uint8_t exponent) override;
  std::string format_value(double value, uint8_t exponent) override;
  double value_from_text(std::string_view text, double default_value) override;
  double value_from_text_strict(std::string_view text) override;

  // Published properties: together they describe the settings completely.
  std::string style() { return get_style_name(); }
  void set_style(std::string_view name) { set_style_name(name); }
  std::string units() { return get_units_name(); }
  void set_units(std::string_view name) { set_units_name(name); }
  bool showUnits() const { return _flags & ffUnits; }
  void set_showUnits(bool on) { set_flag(ffUnits, on); }
  bool truncate() const { return _flags & ffTruncate; }
  void set_truncate(bool on) { set_flag(ffTruncate, on); }
  bool upround() const { return _flags & ffUpround; }
  void set_upround(bool on) { set_flag(ffUpround, on); }
  int32_t precision() const { return _precision; }

 protected:
  CFormatSettings(std::string_view name, std::string_view caption) : _name(name), _caption(caption) {}
  ~CFormatSettings() override;

 private:
  void set_flag(TFormatFlags flag, bool on) { set_flags(on ? _flags | flag : _flags & ~flag); }
  // Calls every listener connected for IFormatSettingsChanged.
  void notify();

  std::string _name;
  std::string _caption;
  TRef<IFormatStyle> _style;
  TRef<IFormatUnits> _units;
  TFormatFlags _flags = ffAll;
  int32_t _precision = 0;
};

// ---------------------------------------------------------------------------
// Manager
// ---------------------------------------------------------------------------

class CConversionManager : public TImplements<CSafeInterfacedObject, IConversionManager> {
 public:
  // A manager with the eight units of the table and the decimal and
  // fractional styles; the settings registry is empty.
  static CConversionManager* create() { return construct(new CConversionManager()); }

  TRef<IUnitsList> get_units() override { return _units; }
  TRef<IStylesList> get_styles() override { return _styles; }
  TRef<ISettingsList> get_settings() override { return _settings; }
  TRef<IFormatSettings> get_default_settings() override;
  TRef<IFormatSettings> new_settings(std::string_view name, std::string_view caption) override;
  double value_from_text(std::string_view text, std::string_view units_name, double default_value) override;
  double value_from_text_strict(std::string_view text, std::string_view units_name) override;

 protected:
  CConversionManager();

 private:
  TRef<IUnitsList> _units;
  TRef<IStylesList> _styles;
  TRef<ISettingsList> _settings;
};

// The process's conversion manager, made with the default settings (units
// "mm", style "decimal", precision 0, all flags) on the first call.
TRef<IConversionManager> get_conversion_manager();

// Releases the manager and the default settings, as the module's unload step
// does; the next `get_conversion_manager` makes new ones. References still
// held elsewhere keep their objects alive.
void release_conversion_manager();
