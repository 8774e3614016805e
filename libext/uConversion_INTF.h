// The interfaces of the unit conversion: length units, number styles, named
// format settings and the process-wide conversion manager that registers them,
// with their identifiers, the format flags, the unit record and `EConversion`.
//
// Values are held in base units (metres, square metres, cubic metres) and
// shown in a chosen unit and style:
//
//   TRef<IFormatSettings> s = get_conversion_manager()->get_default_settings();
//   s->format_value(0.01234, 1);          // "12 mm"
//   s->value_from_text("1,5 cm", 0);      // 0.015
//
// Every change made through a settings setter is announced to the listeners
// connected (uEventConnections) to the settings for `IFormatSettingsChanged`.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "uList.h"

// Raised, with an empty message, by the strict text-to-value operations when
// the text does not parse.
BXF_DECLARE_EXCEPTION(EConversion, Exception);

// ---------------------------------------------------------------------------
// Flags and records
// ---------------------------------------------------------------------------

// A set of the format flags below.
using TFormatFlags = uint8_t;
inline constexpr TFormatFlags ffUnits = 1;     // append the unit suffix
inline constexpr TFormatFlags ffTruncate = 2;  // drop trailing zeros (decimal), "0/b" (fractional)
inline constexpr TFormatFlags ffUpround = 4;   // reduce fractions to lowest terms
inline constexpr TFormatFlags ffAll = ffUnits | ffTruncate | ffUpround;

// One length unit.
struct TUnitsRec {
  std::string urName;        // fixed name ("mm", the inch mark)
  std::string urCaption;     // display caption (localisable)
  std::string urFormats[3];  // suffix for exponent 1, 2 and 3; "%s" stands for the caption
  double urFactor = 1;       // metres per unit
};

// ---------------------------------------------------------------------------
// Interfaces
// ---------------------------------------------------------------------------

struct IFormatSettings;

struct INamedObject : IInterface {
  static constexpr TGUID IID = TGUID::parse("{F33A192B-1AB9-4599-83FE-7220A17C0811}");
  using Parent = IInterface;
  virtual std::string get_name() = 0;
  virtual std::string get_caption() = 0;
};

struct IFormatUnits : INamedObject {
  static constexpr TGUID IID = TGUID::parse("{1EC26748-A7D6-421F-B0B3-1F2E34BBC5A0}");
  using Parent = INamedObject;
  // value × factor^exponent.
  virtual double to_base(double value, uint8_t exponent) = 0;
  // value ÷ factor^exponent; raises EZeroDivide when the quotient is not finite.
  virtual double from_base(double value, uint8_t exponent) = 0;
  // The suffix for exponent 1 (length), 2 (area) or 3 (volume), such as
  // " mm²" or " sq in"; any other exponent is an assertion failure.
  virtual std::string suffix(uint8_t exponent) = 0;
};

struct IFormatStyle : INamedObject {
  static constexpr TGUID IID = TGUID::parse("{632D98A3-73BF-4177-A5F3-41AF50ACC9F5}");
  using Parent = INamedObject;
  // One unit in the last place at `precision` (ten of them, or a whole unit,
  // when `coarse`); raises EZeroDivide when that is not finite.
  virtual double step(bool coarse, int32_t precision) = 0;
  // The value as text with the user's decimal separator.
  virtual std::string format_number(double value, TFormatFlags flags, int32_t precision) = 0;
};

struct IFormatSettings : INamedObject {
  static constexpr TGUID IID = TGUID::parse("{C0259CEA-1ADA-4EAB-8408-44B2B6A3582C}");
  using Parent = INamedObject;
  // The name of the current style or units; empty when none is set.
  virtual std::string get_style_name() = 0;
  virtual std::string get_units_name() = 0;
  virtual TRef<IFormatStyle> get_format_style() = 0;
  virtual TRef<IFormatUnits> get_format_units() = 0;
  virtual int32_t get_precision() = 0;
  virtual TFormatFlags get_flags() = 0;
  // Look the name up in the manager's registry (any letter case); an unknown
  // name changes nothing and announces nothing.
  virtual void set_style_name(std::string_view name) = 0;
  virtual void set_units_name(std::string_view name) = 0;
  // Store the value and announce the change (also when it is the same).
  virtual void set_format_style(IFormatStyle* style) = 0;
  virtual void set_format_units(IFormatUnits* units) = 0;
  virtual void set_precision(int32_t precision) = 0;
  virtual void set_flags(TFormatFlags flags) = 0;
  // The style's step in base units. Requires a style.
  virtual double step(bool coarse) = 0;
  // The value (base units to the power `exponent`) in the settings' unit
  // and style, with the unit suffix when units are set and `show` is true.
  // Requires a style.
  virtual std::string format_value_units(double value, bool show, uint8_t exponent) = 0;
  // The same, with the suffix when units are set and ffUnits is in the flags.
  virtual std::string format_value(double value, uint8_t exponent) = 0;
  // The length the text gives in metres (a number without a unit name is in
  // the settings' units); `default_value` when the text does not parse.
  virtual double value_from_text(std::string_view text, double default_value) = 0;
  // The same; raises EConversion when the text does not parse.
  virtual double value_from_text_strict(std::string_view text) = 0;
};

// The listener of the settings-changed event: its identifier is the event's.
struct IFormatSettingsChanged : IInterface {
  static constexpr TGUID IID = TGUID::parse("{ADE329AF-C5C6-466A-B3B6-DDB49D10755A}");
  using Parent = IInterface;
  virtual void settings_changed(IFormatSettings* settings) = 0;
};

// A list of named objects (T is a TRef to an INamedObject descendant).
template <class T>
struct INamedObjectList : IList<T> {
  static constexpr TGUID IID = TGUID::parse("{B1D56BAF-CAB5-43C0-AF67-2D6F1BDC761D}");
  using Parent = IList<T>;
  // The first item whose name equals `name` ignoring the case of 'a' to 'z';
  // false, and `item` null, when there is none.
  virtual bool find_by_name(std::string_view name, T& item) = 0;
};

using IUnitsList = INamedObjectList<TRef<IFormatUnits>>;
using IStylesList = INamedObjectList<TRef<IFormatStyle>>;
using ISettingsList = INamedObjectList<TRef<IFormatSettings>>;

struct IConversionManager : IInterface {
  static constexpr TGUID IID = TGUID::parse("{A18FA8EE-4ED7-46B1-A87A-6E18B310C9AF}");
  using Parent = IInterface;
  virtual TRef<IUnitsList> get_units() = 0;
  virtual TRef<IStylesList> get_styles() = 0;
  // Settings made with `new_settings` (empty at first).
  virtual TRef<ISettingsList> get_settings() = 0;
  // The process's default settings: "mm", decimal, precision 0, all flags.
  virtual TRef<IFormatSettings> get_default_settings() = 0;
  // New settings without style and units, added to the settings registry.
  virtual TRef<IFormatSettings> new_settings(std::string_view name, std::string_view caption) = 0;
  // The length the text gives in metres, numbers without a unit name being
  // in the units named `units_name`; when no unit has that name, numbers are
  // returned unconverted. `default_value` when the text does not parse.
  virtual double value_from_text(std::string_view text, std::string_view units_name, double default_value) = 0;
  // The same; raises EConversion when the text does not parse.
  virtual double value_from_text_strict(std::string_view text, std::string_view units_name) = 0;
};
