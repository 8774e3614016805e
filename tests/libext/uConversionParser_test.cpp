#include "uConversionParser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "uConversion_IMPL.h"

namespace {

class conversion_parser : public ::testing::Test {
 protected:
  void TearDown() override {
    set_decimal_separator_source(nullptr);
    release_conversion_manager();
    EXPECT_EQ(CSafeInterfacedObject::leak_report(), "");
  }

  static TRef<IFormatUnits> units(std::string_view name) {
    TRef<IFormatUnits> u;
    EXPECT_TRUE(get_conversion_manager()->get_units()->find_by_name(name, u)) << name;
    return u;
  }

  // Parses with a new parser; `value` is left alone when the text fails.
  static bool parse(std::string_view text, IFormatUnits* in, double& value) {
    CConversionParser* parser = CConversionParser::create(in);
    bool ok = parser->parse(text, value);
    parser->free();
    return ok;
  }
};

struct TParseCase {
  const char* text;
  double expected;
};

// Lengths typed with the parser's units set to millimetres; results in metres.
const TParseCase kMillimetreCases[] = {
    {"12.5", 0.0125},      {"12,5", 0.0125},    {"1,5 cm", 0.015},    {"5 MM", 0.005},  // unit names ignore letter case
    {"5 cM", 0.05},        {"3 1/2\"", 0.0889},                                         // 3.5 inches
    {"-1 1/2", -0.0015},   {"5' 3\"", 0.0762},  // two items; the result is the last one (3 inches)
    {"3 mm 4", 0.004},                          // the last item, in the parser's units
    {"5 xyz", 0.005},                           // unknown unit: the parser's units
    {"2*(3+4) mm", 0.014}, {"8/2/2", 0.002},    {"5 - 3 - 1", 0.001}, {"4 - -2", 0.006}, {"1 m", 1},
    {"2 dm", 0.2},         {"1 ft", 0.3048},    {"2 in", 0.0508},     {"1e3", 1},  // exponent
    {"1,5E+1 cm", 0.15},   {"2.5e-1 m", 0.25},  {"1e", 0.001},  // the number 1 followed by the unit "e" (unknown)
    {"  7  ", 0.007},                                           // blanks are skipped
    {"1\r2", 0.012},                                            // a carriage return is skipped entirely
    {"1 cm 2 cm", 0.02},   {"1e-400", 0},                       // too small to represent: zero
};

}  // namespace

TEST_F(conversion_parser, parse_lengths_in_millimetres) {
  TRef<IFormatUnits> mm = units("mm");
  for (const TParseCase& c : kMillimetreCases) {
    double value = -99;
    EXPECT_TRUE(parse(c.text, mm.get(), value)) << c.text;
    EXPECT_NEAR(value, c.expected, 1e-12) << c.text;
  }
}

// Plain values (no units): precedence and juxtaposition as the parse table
// resolves them.
TEST_F(conversion_parser, parse_precedence_from_the_table) {
  const TParseCase cases[] = {
      {"1+2*3", 7},      {"2*3+1", 7},  {"8-2-1", 5},       // left-associative
      {"24/4/2", 3},     {"2*3*4", 24}, {"10 - 4 * 2", 2},  // state 16: '*' after the right operand of '-'
      {"10 - 4 / 2", 8}, {"-2*3", -6},                      // unary minus binds tighter than the operators
      {"-2+3", 1},       {"--2", 2},    {"-(2+3)", -5},    {"(1+2)*3", 9},
      {"((4))", 4},      {"2*3 4", 14},  // an operand after an operator takes the numbers after it: 2 * 7
      {"-2 3", -5},                      // -(2 3)
      {"1/2 3", 0.2},                    // 1 / 5
      {"1 1/2", 1.5},                    // the operator applies to the second of two juxtaposed operands
      {"2 3*4", 14},     {"1 2 3", 6},  {"2 -3", -1},      {"5 cm", 5},  // no units: unit names are ignored
      {"3 1/2\"", 3.5},
  };
  for (const TParseCase& c : cases) {
    double value = -99;
    EXPECT_TRUE(parse(c.text, nullptr, value)) << c.text;
    EXPECT_DOUBLE_EQ(value, c.expected) << c.text;
  }
}

TEST_F(conversion_parser, parse_division_by_zero_succeeds) {
  double value = 0;
  EXPECT_TRUE(parse("1/0", nullptr, value));
  EXPECT_TRUE(std::isinf(value));
  EXPECT_TRUE(parse("0/0", nullptr, value));
  EXPECT_TRUE(std::isnan(value));
}

TEST_F(conversion_parser, parse_failures_leave_the_value) {
  const char* const cases[] = {
      "+5",              // no unary plus
      "1.",              // the number 1, then the token '.'
      "1,",              //
      ",5",              //
      "(1",              // unclosed
      "1)",              //
      ")",               //
      "a - b",           // a unit where an expression is expected
      "1\t2",            // a tab
      "1 +",             // missing operand
      "*2",              //
      "1..2",            //
      "5 cm cm",         // two unit names
      "1e+",             // 1, the unit "e", then '+' at the end
      "5 mm\xC2\xB2",    // '²'
      "5 \xE2\x82\xAC",  // a character the 8-bit code page lacks ('?')
      "1\n2",            // a line feed is a token of its own
      "1e999",           // does not fit a double
      "(",               //
      "-",               //
  };
  TRef<IFormatUnits> mm = units("mm");
  for (const char* text : cases) {
    double value = 42;
    EXPECT_FALSE(parse(text, mm.get(), value)) << text;
    EXPECT_EQ(value, 42) << text;
  }
}

TEST_F(conversion_parser, parse_empty_text_gives_the_accumulator) {
  TRef<IFormatUnits> mm = units("mm");
  CConversionParser* parser = CConversionParser::create(mm.get());
  double value = 42;
  EXPECT_TRUE(parser->parse("", value));
  EXPECT_EQ(value, 0);  // a new parser
  EXPECT_TRUE(parser->parse("5", value));
  EXPECT_DOUBLE_EQ(value, 0.005);
  value = 42;
  EXPECT_TRUE(parser->parse("   ", value));
  EXPECT_DOUBLE_EQ(value, 0.005);  // not reset between texts
  EXPECT_FALSE(parser->parse("(", value));
  EXPECT_DOUBLE_EQ(value, 0.005);
  parser->free();
}

TEST_F(conversion_parser, parse_long_and_deep_texts) {
  double value = 42;
  // Nesting deeper than the parse stack fails.
  EXPECT_FALSE(parse(std::string(2000, '(') + "1" + std::string(2000, ')'), nullptr, value));
  EXPECT_TRUE(parse(std::string(500, '(') + "1" + std::string(500, ')'), nullptr, value));
  EXPECT_EQ(value, 1);
  // Juxtaposed numbers stack up until they are reduced at the end.
  std::string many;
  for (int i = 0; i < 2000; ++i) many += "1 ";
  EXPECT_FALSE(parse(many, nullptr, value));
  // A long sum reduces as it goes.
  std::string sum = "1";
  for (int i = 0; i < 5000; ++i) sum += "+1";
  EXPECT_TRUE(parse(sum, nullptr, value));
  EXPECT_EQ(value, 5001);
  // Numbers and unit names of any length.
  EXPECT_TRUE(parse(std::string(5000, '0') + "7", nullptr, value));
  EXPECT_EQ(value, 7);
  EXPECT_FALSE(parse(std::string(400, '9'), nullptr, value));
  TRef<IFormatUnits> mm = units("mm");
  EXPECT_TRUE(parse("3 " + std::string(5000, 'x'), mm.get(), value));
  EXPECT_DOUBLE_EQ(value, 0.003);
}

TEST_F(conversion_parser, parse_ignores_the_locale_separator) {
  set_decimal_separator_source([] { return ','; });
  TRef<IFormatUnits> mm = units("mm");
  double value = 0;
  EXPECT_TRUE(parse("12,5", mm.get(), value));
  EXPECT_DOUBLE_EQ(value, 0.0125);
  EXPECT_TRUE(parse("12.5", mm.get(), value));
  EXPECT_DOUBLE_EQ(value, 0.0125);
}
