#include "uConversion_IMPL.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "test.support.h"
#include "uConversionUnits.h"
#include "uEventConnections.h"

namespace {

char comma() { return ','; }

class conversion : public ::testing::Test {
 protected:
  void TearDown() override {
    set_decimal_separator_source(nullptr);
    release_conversion_manager();
    EXPECT_EQ(event_connection_count(), 0);
    EXPECT_EQ(CSafeInterfacedObject::leak_report(), "");
  }

  // Settings with the given style and units names ("" for none).
  static TRef<IFormatSettings> settings(const char* style, const char* units, int32_t precision, TFormatFlags flags) {
    TRef<IFormatSettings> s = get_conversion_manager()->new_settings("test", "Test");
    if (*style) s->set_style_name(style);
    if (*units) s->set_units_name(units);
    s->set_precision(precision);
    s->set_flags(flags);
    return s;
  }
};

// Counts the settings-changed announcements it hears.
class CListener : public TImplements<CSafeInterfacedObject, IFormatSettingsChanged> {
 public:
  static CListener* create() { return construct(new CListener()); }
  void settings_changed(IFormatSettings* settings) override { heard.push_back(settings); }
  std::vector<IFormatSettings*> heard;

 protected:
  CListener() = default;
};

const testing::Matcher<std::string> kStyleAssertion =
    testing::MatchesRegex("Assertion failure \\(uConversion_IMPL, line [0-9]+\\)");

}  // namespace

// ---------------------------------------------------------------------------
// Manager and defaults
// ---------------------------------------------------------------------------

TEST_F(conversion, manager_registers_units_and_styles) {
  TRef<IConversionManager> manager = get_conversion_manager();
  EXPECT_EQ(manager, get_conversion_manager());

  std::vector<std::string> names, captions;
  for (const TRef<IFormatUnits>& u : *static_cast<CNamedObjectList<TRef<IFormatUnits>>*>(manager->get_units().get())) {
    names.push_back(u->get_name());
    captions.push_back(u->get_caption());
  }
  const std::vector<std::string> expected = {"mm", "cm", "dm", "m", "in", "ft", "\"", "'"};
  EXPECT_EQ(names, expected);
  EXPECT_EQ(captions, expected);

  TRef<IStylesList> styles = manager->get_styles();
  ASSERT_EQ(styles->get_count(), 2);
  EXPECT_EQ(styles->get_item(0)->get_name(), "decimal");
  EXPECT_EQ(styles->get_item(1)->get_name(), "fractional");
  EXPECT_EQ(styles->get_item(1)->get_caption(), "fractional");
  EXPECT_EQ(manager->get_settings()->get_count(), 0);
}

TEST_F(conversion, manager_default_settings) {
  TRef<IFormatSettings> d = get_conversion_manager()->get_default_settings();
  ASSERT_TRUE(d);
  EXPECT_EQ(d, get_conversion_manager()->get_default_settings());
  EXPECT_EQ(d->get_name(), "");
  EXPECT_EQ(d->get_caption(), "");
  EXPECT_EQ(d->get_units_name(), "mm");
  EXPECT_EQ(d->get_style_name(), "decimal");
  EXPECT_EQ(d->get_precision(), 0);
  EXPECT_EQ(d->get_flags(), ffUnits | ffTruncate | ffUpround);
  EXPECT_EQ(get_conversion_manager()->get_settings()->get_count(), 0);  // not in the registry
}

TEST_F(conversion, manager_new_settings_join_the_registry) {
  TRef<IConversionManager> manager = get_conversion_manager();
  TRef<IFormatSettings> s = manager->new_settings("dimensions", "Dimensions");
  EXPECT_EQ(s->get_name(), "dimensions");
  EXPECT_EQ(s->get_caption(), "Dimensions");
  EXPECT_EQ(s->get_style_name(), "");
  EXPECT_EQ(s->get_units_name(), "");
  EXPECT_FALSE(s->get_format_style());
  EXPECT_FALSE(s->get_format_units());
  EXPECT_EQ(s->get_flags(), 7);
  EXPECT_EQ(s->get_precision(), 0);

  TRef<IFormatSettings> found;
  EXPECT_TRUE(manager->get_settings()->find_by_name("DIMENSIONS", found));
  EXPECT_EQ(found, s);
  EXPECT_FALSE(manager->get_settings()->find_by_name("dimension", found));
  EXPECT_FALSE(found);
}

TEST_F(conversion, find_by_name_folds_only_ascii_letters) {
  TRef<IUnitsList> units = get_conversion_manager()->get_units();
  TRef<IFormatUnits> u;
  EXPECT_TRUE(units->find_by_name("Ft", u));
  EXPECT_EQ(u->get_name(), "ft");
  EXPECT_TRUE(units->find_by_name("\"", u));
  EXPECT_EQ(u->get_name(), "\"");
  EXPECT_FALSE(units->find_by_name(" mm", u));
  EXPECT_FALSE(u);
  EXPECT_FALSE(units->find_by_name("", u));
}

// ---------------------------------------------------------------------------
// Units
// ---------------------------------------------------------------------------

TEST_F(conversion, units_suffixes) {
  struct {
    const char* units;
    uint8_t exponent;
    const char* suffix;
  } const cases[] = {
      {"mm", 1, " mm"},    {"mm", 2, " mm\xC2\xB2"}, {"cm", 3, " cm\xC2\xB3"}, {"m", 1, " m"},     {"in", 1, " in"},
      {"in", 2, " sq in"}, {"ft", 3, " cu ft"},      {"\"", 1, "\""},          {"\"", 2, " sq\""}, {"'", 1, "'"},
      {"'", 3, " cu'"},
  };
  TRef<IUnitsList> units = get_conversion_manager()->get_units();
  for (const auto& c : cases) {
    TRef<IFormatUnits> u;
    ASSERT_TRUE(units->find_by_name(c.units, u));
    EXPECT_EQ(u->suffix(c.exponent), c.suffix) << c.units << " " << int(c.exponent);
  }
  TRef<IFormatUnits> mm;
  units->find_by_name("mm", mm);
  EXPECT_THROW(mm->suffix(0), EAssertionFailed);
  EXPECT_THROW(mm->suffix(4), EAssertionFailed);
}

TEST_F(conversion, units_to_and_from_base) {
  struct {
    const char* units;
    double value;
    uint8_t exponent;
    double base;
  } const cases[] = {
      {"mm", 12.5, 1, 0.0125}, {"cm", 2, 2, 0.0002},   {"dm", 1, 3, 0.001}, {"m", 7, 1, 7},  {"in", 1, 2, 0.00064516},
      {"ft", 2, 1, 0.6096},    {"\"", 3.5, 1, 0.0889}, {"'", 1, 1, 0.3048}, {"mm", 5, 0, 5},
  };
  TRef<IUnitsList> units = get_conversion_manager()->get_units();
  for (const auto& c : cases) {
    TRef<IFormatUnits> u;
    ASSERT_TRUE(units->find_by_name(c.units, u));
    EXPECT_NEAR(u->to_base(c.value, c.exponent), c.base, 1e-15) << c.units;
    EXPECT_NEAR(u->from_base(c.base, c.exponent), c.value, 1e-12) << c.units;
  }
}

TEST_F(conversion, units_from_base_not_finite_raises) {
  TRef<IFormatUnits> zero = CUnits::create({"z", "z", {" %s", " %s", " %s"}, 0});
  EXPECT_THROW(zero->from_base(1, 1), EZeroDivide);
  EXPECT_EQ(zero->to_base(1, 1), 0);
  TRef<IFormatUnits> mm;
  get_conversion_manager()->get_units()->find_by_name("mm", mm);
  EXPECT_THROW(mm->from_base(std::numeric_limits<double>::max(), 1), EZeroDivide);

  TRef<IFormatSettings> s = settings("decimal", "", 0, ffAll);
  s->set_format_units(zero.get());
  EXPECT_THROW(s->format_value(1, 1), EZeroDivide);
}

// ---------------------------------------------------------------------------
// Formatting
// ---------------------------------------------------------------------------

TEST_F(conversion, format_value_in_each_style) {
  struct {
    const char* style;
    const char* units;
    int32_t precision;
    TFormatFlags flags;
    double value;  // in base units
    uint8_t exponent;
    const char* text;
  } const cases[] = {
      // Decimal.
      {"decimal", "mm", 0, ffAll, 0.01234, 1, "12 mm"},
      {"decimal", "mm", 0, ffAll, 1, 1, "1000 mm"},
      {"decimal", "", 2, ffTruncate, 1.5, 1, "1.5"},
      {"decimal", "", 2, ffTruncate, 1.999, 1, "2"},
      {"decimal", "", 2, 0, 1.5, 1, "1.50"},
      {"decimal", "", 2, 0, 1.999, 1, "2.00"},
      {"decimal", "in", 0, ffUnits, 0.00064516, 2, "1 sq in"},
      {"decimal", "mm", 1, ffUnits, 0.0125, 1, "12.5 mm"},
      {"decimal", "mm", 1, ffTruncate, 0.0125, 1, "12.5"},  // no ffUnits: no suffix
      {"decimal", "m", 3, ffAll, 2.5e-6, 3, "0 m\xC2\xB3"},
      {"decimal", "", 2, ffTruncate, 0.001, 1, "0"},  // "0.00" -> "0"
      {"decimal", "", 2, ffTruncate, 100, 1, "100"},  // no separator: zeros stay
      {"decimal", "", 0, 0, 2.5, 1, "3"},             // half away from zero
      {"decimal", "", 0, 0, -2.5, 1, "-3"},
      {"decimal", "", 0, 0, -0.0004, 1, "0"},  // no "-0"
      {"decimal", "", 2, 0, 0.1 + 0.2, 1, "0.30"},
      {"decimal", "", 1, 0, 0.04999999999999999, 1, "0.1"},  // pre-rounding: 0.050 first
      {"decimal", "", -2, 0, 1234.5, 1, "1235"},             // negative precision: no decimals
      {"decimal", "'", 1, ffAll, 0.6096, 1, "2'"},
      // Fractional, precision 3 (eighths).
      {"fractional", "", 3, ffAll, 2.5, 1, "2 1/2"},
      {"fractional", "", 3, ffAll, 0.375, 1, "3/8"},
      {"fractional", "", 3, ffAll, 2.0, 1, "2"},
      {"fractional", "", 3, ffAll, 2.99, 1, "3"},  // 7.92 eighths round to 8 and carry
      {"fractional", "", 3, ffUnits | ffTruncate, 2.5, 1, "2 4/8"},
      {"fractional", "", 3, ffUnits | ffUpround, 2.0, 1, "2 0/8"},
      {"fractional", "", 2, ffAll, -2.25, 1, "-2 -1/4"},
      {"fractional", "", 2, ffAll, -0.25, 1, "-1/4"},
      // Negative values carry and reduce as positive ones, then take the sign.
      {"fractional", "", 3, ffAll, -2.99, 1, "-3"},
      {"fractional", "", 3, ffAll, -0.99, 1, "-1"},
      {"fractional", "", 3, ffAll, -2.5, 1, "-2 -1/2"},
      {"fractional", "", 3, ffUnits | ffTruncate, -2.5, 1, "-2 -4/8"},
      {"fractional", "", 3, ffUnits | ffUpround, -2.99, 1, "-3 0/8"},
      {"fractional", "", 3, ffAll, -0.0625, 1, "0"},   // rounds to nothing: no sign
      {"fractional", "", 3, ffAll, 0.0625, 1, "0"},    // half an eighth: ties to even (0)
      {"fractional", "", 3, ffAll, 0.1875, 1, "1/4"},  // 1.5 eighths: ties to even (2)
      {"fractional", "", 0, ffAll, 2.6, 1, "3"},       // denominator 1: whole numbers
      {"fractional", "", 0, 0, 2.4, 1, "2"},
      {"fractional", "\"", 3, ffAll, 0.0889, 1, "3 1/2\""},
      {"fractional", "in", 4, ffAll, 0.0254 * 1.75, 1, "1 3/4 in"},
  };
  for (const auto& c : cases) {
    TRef<IFormatSettings> s = settings(c.style, c.units, c.precision, c.flags);
    EXPECT_EQ(s->format_value(c.value, c.exponent), c.text)
        << c.style << " " << c.units << " p" << c.precision << " f" << int(c.flags) << " " << c.value;
  }
}

TEST_F(conversion, format_value_units_shows_the_suffix_on_request) {
  TRef<IFormatSettings> s = settings("decimal", "cm", 1, ffTruncate);
  EXPECT_EQ(s->format_value_units(0.125, true, 1), "12.5 cm");
  EXPECT_EQ(s->format_value_units(0.125, false, 1), "12.5");
  EXPECT_EQ(s->format_value(0.125, 1), "12.5");
  s->set_flags(ffAll);
  EXPECT_EQ(s->format_value_units(0.125, false, 1), "12.5");
  EXPECT_EQ(s->format_value_units(0.0025, true, 2), "25 cm\xC2\xB2");
  // Without units the value is formatted as it is, and there is no suffix.
  TRef<IFormatSettings> plain = settings("decimal", "", 0, ffAll);
  EXPECT_EQ(plain->format_value_units(0.125, true, 1), "0");
  EXPECT_EQ(plain->format_value(12, 1), "12");
}

TEST_F(conversion, format_with_decimal_comma) {
  set_decimal_separator_source(comma);
  struct {
    const char* style;
    const char* units;
    int32_t precision;
    TFormatFlags flags;
    double value;
    const char* text;
  } const cases[] = {
      {"decimal", "", 2, 0, 1.5, "1,50"},
      {"decimal", "", 2, ffTruncate, 1.5, "1,5"},
      {"decimal", "", 2, ffTruncate, 1.999, "2"},
      {"decimal", "", 2, ffTruncate, 3.001, "3"},
      {"decimal", "mm", 1, ffAll, 0.0125, "12,5 mm"},
      {"decimal", "", 3, ffTruncate, 1234.5, "1234,5"},  // no digit grouping
      {"fractional", "", 3, ffAll, 2.5, "2 1/2"},
  };
  for (const auto& c : cases) {
    TRef<IFormatSettings> s = settings(c.style, c.units, c.precision, c.flags);
    EXPECT_EQ(s->format_value(c.value, 1), c.text) << c.value;
  }
  EXPECT_EQ(conversion_decimal_separator(), ',');
  set_decimal_separator_source(nullptr);
  EXPECT_EQ(conversion_decimal_separator(), '.');
}

TEST_F(conversion, format_without_style_is_an_assertion) {
  TRef<IFormatSettings> s = settings("", "mm", 0, ffAll);
  try {
    s->format_value(1, 1);
    FAIL() << "no exception";
  } catch (const EAssertionFailed& e) {
    EXPECT_THAT(e.message(), kStyleAssertion);
  }
  try {
    s->format_value_units(1, true, 1);
    FAIL() << "no exception";
  } catch (const EAssertionFailed& e) {
    EXPECT_THAT(e.message(), kStyleAssertion);
  }
  try {
    s->step(false);
    FAIL() << "no exception";
  } catch (const EAssertionFailed& e) {
    EXPECT_THAT(e.message(), kStyleAssertion);
  }
}

TEST_F(conversion, fixed_text_rounds_the_shortest_digits) {
  struct {
    double value;
    int32_t decimals;
    char separator;
    const char* text;
  } const cases[] = {
      {12.5, 0, '.', "13"},
      {-2.5, 0, '.', "-3"},
      {0.5, 0, '.', "1"},
      {0.4, 0, '.', "0"},
      {1.005, 2, '.', "1.01"},  // the shortest digits are "1.005"
      {9.999, 2, '.', "10.00"},
      {0, 2, '.', "0.00"},
      {-0.001, 2, '.', "0.00"},
      {0.05, 1, '.', "0.1"},
      {0.0001234, 5, '.', "0.00012"},
      {123.456, 1, ',', "123,5"},
      {1e20, 0, '.', "100000000000000000000"},
      {1.5, -1, '.', "2"},
      {1, 40, '.', "1.000000000000000000"},  // at most 18 decimals
      {std::numeric_limits<double>::quiet_NaN(), 2, '.', "NAN"},
      {std::numeric_limits<double>::infinity(), 2, '.', "INF"},
      {-std::numeric_limits<double>::infinity(), 2, '.', "-INF"},
  };
  for (const auto& c : cases) EXPECT_EQ(fixed_text(c.value, c.decimals, c.separator), c.text) << c.value;
  EXPECT_EQ(preround(2.9999999999999996, 0), 3);
  EXPECT_EQ(preround(1.23456, 1), 1.2346);  // precision + 3 decimals
}

// ---------------------------------------------------------------------------
// Step
// ---------------------------------------------------------------------------

TEST_F(conversion, step_of_each_style) {
  struct {
    const char* style;
    const char* units;
    int32_t precision;
    bool coarse;
    double step;
  } const cases[] = {
      {"decimal", "mm", 1, false, 0.0001},   {"decimal", "mm", 1, true, 0.001}, {"decimal", "", 0, false, 1},
      {"decimal", "", 0, true, 10},          {"decimal", "", 3, false, 0.001},  {"decimal", "", -2, false, 100},
      {"fractional", "", 3, false, 0.125},   {"fractional", "", 3, true, 1},    {"fractional", "in", 2, false, 0.00635},
      {"fractional", "in", 2, true, 0.0254},
  };
  for (const auto& c : cases) {
    TRef<IFormatSettings> s = settings(c.style, c.units, c.precision, ffAll);
    EXPECT_NEAR(s->step(c.coarse), c.step, c.step * 1e-6) << c.style << " " << c.precision << " " << c.coarse;
  }
}

TEST_F(conversion, step_not_finite_raises) {
  EXPECT_THROW(settings("decimal", "", -46, ffAll)->step(false), EZeroDivide);  // 10^-46 is 0 in single precision
  EXPECT_THROW(settings("fractional", "", -2000, ffAll)->step(false), EZeroDivide);
  EXPECT_EQ(settings("fractional", "", -2000, ffAll)->step(true), 1);
}

// ---------------------------------------------------------------------------
// Setters and notifications
// ---------------------------------------------------------------------------

TEST_F(conversion, name_setters_find_by_name_or_ignore) {
  TRef<IFormatSettings> s = settings("decimal", "mm", 0, ffAll);
  TRef<CListener> listener = CListener::create();
  ASSERT_TRUE(
      event_connect(s.get(), IFormatSettingsChanged::IID, static_cast<IFormatSettingsChanged*>(listener.get())));

  struct {
    bool style;  // else units
    const char* name;
    const char* now;
    size_t heard;  // announcements so far
  } const steps[] = {
      {true, "Fractional", "fractional", 1},
      {true, "metric", "fractional", 1},  // unknown: unchanged, not announced
      {true, "DECIMAL", "decimal", 2},
      {true, "decimal", "decimal", 3},  // the same value is announced too
      {true, "", "decimal", 3},
      {false, "IN", "in", 4},
      {false, "yard", "in", 4},
      {false, "\"", "\"", 5},
      {false, "mm ", "\"", 5},  // no trimming
  };
  for (const auto& step : steps) {
    if (step.style)
      s->set_style_name(step.name);
    else
      s->set_units_name(step.name);
    EXPECT_EQ(step.style ? s->get_style_name() : s->get_units_name(), step.now) << step.name;
    EXPECT_EQ(listener->heard.size(), step.heard) << step.name;
  }
  for (IFormatSettings* heard : listener->heard) EXPECT_EQ(heard, s.get());
  EXPECT_TRUE(
      event_disconnect(s.get(), IFormatSettingsChanged::IID, static_cast<IFormatSettingsChanged*>(listener.get())));
}

TEST_F(conversion, every_setter_announces) {
  TRef<IFormatSettings> s = settings("decimal", "mm", 0, ffAll);
  auto* object = dynamic_cast<CFormatSettings*>(s.query<IConfigurationSettings>()->get_object());
  ASSERT_NE(object, nullptr);
  TRef<CListener> listener = CListener::create();
  event_connect(s.get(), IFormatSettingsChanged::IID, static_cast<IFormatSettingsChanged*>(listener.get()));

  TRef<IFormatStyle> fractional;
  get_conversion_manager()->get_styles()->find_by_name("fractional", fractional);
  s->set_format_style(fractional.get());
  EXPECT_EQ(s->get_style_name(), "fractional");
  s->set_format_units(nullptr);
  EXPECT_EQ(s->get_units_name(), "");
  s->set_precision(3);
  s->set_precision(3);
  EXPECT_EQ(s->get_precision(), 3);
  s->set_flags(ffUnits);
  EXPECT_EQ(s->get_flags(), ffUnits);
  object->set_truncate(true);
  object->set_upround(true);
  object->set_showUnits(false);
  EXPECT_EQ(s->get_flags(), ffTruncate | ffUpround);
  EXPECT_FALSE(object->showUnits());
  EXPECT_TRUE(object->truncate());
  EXPECT_TRUE(object->upround());
  object->set_style("decimal");
  object->set_units("cm");
  EXPECT_EQ(object->style(), "decimal");
  EXPECT_EQ(object->units(), "cm");
  EXPECT_EQ(object->precision(), 3);
  EXPECT_EQ(listener->heard.size(), 10u);

  // A disconnected listener hears nothing more; one that does not answer
  // the listener interface is skipped.
  event_disconnect(s.get(), IFormatSettingsChanged::IID, static_cast<IFormatSettingsChanged*>(listener.get()));
  TRef<IList<int>> stranger = CList<int>::create();
  event_connect(s.get(), IFormatSettingsChanged::IID, stranger.get());
  s->set_precision(1);
  EXPECT_EQ(listener->heard.size(), 10u);
}

TEST_F(conversion, settings_drop_their_connections_when_they_die) {
  TRef<CListener> listener = CListener::create();
  {
    TRef<IFormatSettings> s = CFormatSettings::create("local", "");
    event_connect(s.get(), IFormatSettingsChanged::IID, static_cast<IFormatSettingsChanged*>(listener.get()));
    EXPECT_EQ(event_connection_count(), 1);
  }
  EXPECT_EQ(event_connection_count(), 0);
  EXPECT_EQ(listener->references(), 1);
}

TEST_F(conversion, configuration_settings_give_the_object) {
  TRef<IFormatSettings> s = settings("fractional", "in", 4, ffUnits);
  TRef<IConfigurationSettings> config = s.query<IConfigurationSettings>();
  ASSERT_TRUE(config);
  auto* object = dynamic_cast<CFormatSettings*>(config->get_object());
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(static_cast<IFormatSettings*>(object), s.get());
  EXPECT_EQ(object->style(), "fractional");
  EXPECT_EQ(object->units(), "in");
  EXPECT_TRUE(object->showUnits());
  EXPECT_FALSE(object->truncate());
  EXPECT_FALSE(object->upround());
  EXPECT_EQ(object->precision(), 4);
}

// ---------------------------------------------------------------------------
// Text to value
// ---------------------------------------------------------------------------

TEST_F(conversion, value_from_text_of_settings_and_manager) {
  TRef<IFormatSettings> d = get_conversion_manager()->get_default_settings();
  EXPECT_DOUBLE_EQ(d->value_from_text("12,5", -1), 0.0125);
  EXPECT_DOUBLE_EQ(d->value_from_text("1 ft", -1), 0.3048);
  EXPECT_EQ(d->value_from_text("(1", -1), -1);
  EXPECT_DOUBLE_EQ(d->value_from_text_strict("3 1/2\""), 0.0889);
  EXPECT_THROW_MSG(d->value_from_text_strict("+5"), EConversion, "");
  // Settings without units return numbers unconverted.
  EXPECT_EQ(settings("decimal", "", 0, ffAll)->value_from_text("5 cm", -1), 5);

  TRef<IConversionManager> m = get_conversion_manager();
  EXPECT_DOUBLE_EQ(m->value_from_text("5", "CM", -1), 0.05);
  EXPECT_DOUBLE_EQ(m->value_from_text("5 mm", "in", -1), 0.005);
  EXPECT_EQ(m->value_from_text("5 mm", "yard", -1), 5);  // unknown units: no conversion
  EXPECT_EQ(m->value_from_text("1.", "mm", 7), 7);
  EXPECT_DOUBLE_EQ(m->value_from_text_strict("2*(3+4)", "mm"), 0.014);
  EXPECT_THROW(m->value_from_text_strict("a - b", "mm"), EConversion);
  EXPECT_EQ(m->value_from_text("", "mm", 7), 0);  // a new parser each time
}

TEST_F(conversion, value_from_text_with_decimal_comma) {
  set_decimal_separator_source(comma);
  TRef<IFormatSettings> d = get_conversion_manager()->get_default_settings();
  EXPECT_DOUBLE_EQ(d->value_from_text("12,5", -1), 0.0125);
  EXPECT_DOUBLE_EQ(d->value_from_text("12.5 cm", -1), 0.125);
  EXPECT_EQ(d->format_value(d->value_from_text("12,5", -1), 1), "13 mm");
  d->set_precision(1);
  EXPECT_EQ(d->format_value(d->value_from_text("12,5", -1), 1), "12,5 mm");
  d->set_precision(0);
}

TEST_F(conversion, release_makes_a_new_manager) {
  TRef<IFormatSettings> old_defaults = get_conversion_manager()->get_default_settings();
  old_defaults->set_precision(2);
  release_conversion_manager();
  TRef<IFormatSettings> defaults = get_conversion_manager()->get_default_settings();
  EXPECT_NE(defaults, old_defaults);
  EXPECT_EQ(defaults->get_precision(), 0);
  EXPECT_EQ(old_defaults->get_precision(), 2);  // still alive through this reference
}
