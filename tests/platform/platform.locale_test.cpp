#include "platform.locale.h"

#include <gtest/gtest.h>

#include <cmath>

#include "uConversion_IMPL.h"

TEST(locale, separator_of_locale_names) {
  EXPECT_EQ(decimal_separator_of_locale("de_DE.UTF-8"), ',');
  EXPECT_EQ(decimal_separator_of_locale("fr"), ',');
  EXPECT_EQ(decimal_separator_of_locale("en_US.UTF-8"), '.');
  EXPECT_EQ(decimal_separator_of_locale("C"), '.');
  EXPECT_EQ(decimal_separator_of_locale(""), '.');
}

TEST(locale, separator_override) {
  set_decimal_separator(',');
  EXPECT_EQ(decimal_separator(), ',');
  EXPECT_EQ(text_to_float("1,5"), 1.5);
  // Either mark in a file's number becomes the user's.
  EXPECT_EQ(with_decimal_separator("0.5 1,25 -3"), "0,5 1,25 -3");
  set_decimal_separator('.');
  EXPECT_EQ(with_decimal_separator("0.5 1,25 -3"), "0.5 1.25 -3");
  set_decimal_separator(0);
}

TEST(locale, text_to_float_cases) {
  struct Case {
    const char* text;
    char separator;
    std::optional<double> value;
  } cases[] = {
      {"12.5", '.', 12.5},   {" -3.25e2 ", '.', -325.0},
      {"+7", '.', 7.0},      {".5", '.', 0.5},
      {"5.", '.', 5.0},      {"1,5", ',', 1.5},
      {"1.5", ',', {}},      {"1,5", '.', {}},
      {"1.000,5", ',', {}},  {"", '.', {}},
      {"-", '.', {}},        {"1e", '.', {}},
      {"1e+3", '.', 1000.0}, {"abc", '.', {}},
      {"1 2", '.', {}},      {"1e999", '.', {}},
      {"1e-999", '.', 0.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(text_to_float(c.text, c.separator), c.value);
  }
}

TEST(locale, text_to_int_cases) {
  EXPECT_EQ(text_to_int("42"), 42);
  EXPECT_EQ(text_to_int(" -7 "), -7);
  EXPECT_EQ(text_to_int("+3"), 3);
  EXPECT_EQ(text_to_int("2147483648"), std::nullopt);
  EXPECT_EQ(text_to_int("1.0"), std::nullopt);
  EXPECT_EQ(text_to_int(""), std::nullopt);
  EXPECT_EQ(text_to_int("0x10"), std::nullopt);
}

TEST(locale, float_to_text_general_cases) {
  struct Case {
    double value;
    const char* text;
  } cases[] = {
      {double(0.1f), "0.100000001490116"},
      {1.0, "1"},
      {double(0.96f), "0.959999978542328"},
      {-2.5, "-2.5"},
      {123456.0, "123456"},
      {0.00001, "0.00001"},
      {0.000001, "1E-6"},
      {1e20, "1E20"},
      {1.5e15, "1.5E15"},
      {123456789012345.0, "123456789012345"},
      {0.0, "0"},
  };
  for (const auto& c : cases) EXPECT_EQ(float_to_text_general(c.value, 15, '.'), c.text) << c.value;
  EXPECT_EQ(float_to_text_general(0.5, 15, ','), "0,5");
  EXPECT_EQ(float_to_text_fixed(2.345, 2, ','), "2,35");
  EXPECT_EQ(float_to_text_fixed(-0.5, 0, '.'), "-0");
}

// The unit conversion formats with the user's separator once the platform is loaded.
TEST(locale, unit_conversion_follows_the_separator) {
  TRef<IFormatSettings> defaults = get_conversion_manager()->get_default_settings();
  defaults->set_precision(1);
  set_decimal_separator(',');
  EXPECT_EQ(conversion_decimal_separator(), ',');
  EXPECT_EQ(defaults->format_value(0.0125, 1), "12,5 mm");
  EXPECT_DOUBLE_EQ(defaults->value_from_text("12,5", 0), 0.0125);
  set_decimal_separator('.');
  EXPECT_EQ(defaults->format_value(0.0125, 1), "12.5 mm");
  set_decimal_separator(0);
  release_conversion_manager();
}
