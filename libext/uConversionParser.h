// `CConversionParser`, which turns a length typed by the user into metres:
// numbers with ',' or '.' as decimal mark, + - * /, parentheses, unary minus,
// numbers written next to each other (which add: "3 1/2"), and a unit name
// after an expression ("12,5 cm", "3 1/2\""). A text is a sequence of such
// items; the result is the last one.
//
//   CConversionParser* p = CConversionParser::create(mm);  // numbers without a unit are mm
//   double value;
//   bool ok = p->parse("2*(3+4) cm", value);               // value = 0.14
//   p->free();
//
// A parser is an owned object: its creator frees it. Unit-conversion code
// makes a new one for every text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "LexYacc/uLexYacc.h"
#include "uConversion_INTF.h"

class CConversionParser : public TLexYacc {
 public:
  // Tokens besides single characters (their codes) and the end of the text (0).
  static constexpr int32_t NUMBER = 257;
  static constexpr int32_t UNIT = 258;
  static constexpr int32_t ILLEGAL = 259;  // a number that does not read; no rule accepts it

  // Numbers without a unit name are in `units`; without units (null) every
  // number is returned as it is and unit names are ignored.
  static CConversionParser* create(IFormatUnits* units) { return construct(new CConversionParser(units)); }

  // Converts the text. True, with `value` set, when it parses; false, with
  // `value` unchanged, otherwise. Raises nothing for bad input. The empty
  // text parses and gives the result of the previous parse (0 at first).
  bool parse(std::string_view text, double& value);

  // The next character of the text; false after the last one.
  bool read_char(char& c) override;

 protected:
  explicit CConversionParser(IFormatUnits* units) : TLexYacc(nullptr, nullptr, nullptr), _units(units) {}

  int32_t yylex() override;
  void yyshift(int32_t sp) override;
  void yyaction(int32_t rule, int32_t sp, int32_t length) override;

 private:
  struct TValue {
    double number = 0;
    std::string text;  // the unit name of a UNIT token
  };

  // The value in metres: in the unit named `unit_text` when the units
  // registry knows it, else in `_units`; unchanged without `_units`.
  double convert(double value, std::string_view unit_text);

  TRef<IFormatUnits> _units;
  std::string _text;  // 8-bit characters
  int32_t _textPos = 0;
  double _ACC = 0;

  TValue yylval;
  // Parallel to the parse stack (plus the slot an empty rule fills), grown
  // as the stack grows, so at most kMaxDepth + 1 values.
  std::vector<TValue> yyV;
  TValue& value_at(int32_t slot);
};
