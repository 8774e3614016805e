#include "uConversionParser.h"

#include <charconv>

#include "uConversion_IMPL.h"

// ---------------------------------------------------------------------------
// Parse table
// ---------------------------------------------------------------------------

namespace {

// Non-terminals.
constexpr int32_t yyInput = 1000;
constexpr int32_t yyExpr = 1001;

// The columns of the action table.
constexpr int32_t kColumns[] = {
    0, '(', ')', '*', '+', '-', '/', CConversionParser::NUMBER, CConversionParser::UNIT, TLexYacc::yyDefault};

// sN: shift and go to state N; rN: reduce by rule N; acc: accept; a token
// without an entry (and no default) is a syntax error.
// clang-format off
constexpr const char* kActions[][10] = {
  //        end    '('    ')'    '*'    '+'    '-'    '/'    NUMBER UNIT   default
  /*  0 */ {"",    "",    "",    "",    "",    "",    "",    "",    "",    "r1"},
  /*  1 */ {"acc", "s3",  "",    "",    "",    "s4",  "",    "s5",  "",    ""},
  /*  2 */ {"r3",  "s3",  "",    "s7",  "s8",  "s9",  "s10", "s5",  "s11", ""},
  /*  3 */ {"",    "s3",  "",    "",    "",    "s4",  "",    "s5",  "",    ""},
  /*  4 */ {"",    "s3",  "",    "",    "",    "s4",  "",    "s5",  "",    ""},
  /*  5 */ {"",    "",    "",    "",    "",    "",    "",    "",    "",    "r11"},
  /*  6 */ {"r5",  "s3",  "r5",  "s7",  "s8",  "s9",  "s10", "s5",  "r5",  ""},
  /*  7 */ {"",    "s3",  "",    "",    "",    "s4",  "",    "s5",  "",    ""},
  /*  8 */ {"",    "s3",  "",    "",    "",    "s4",  "",    "s5",  "",    ""},
  /*  9 */ {"",    "s3",  "",    "",    "",    "s4",  "",    "s5",  "",    ""},
  /* 10 */ {"",    "s3",  "",    "",    "",    "s4",  "",    "s5",  "",    ""},
  /* 11 */ {"",    "",    "",    "",    "",    "",    "",    "",    "",    "r2"},
  /* 12 */ {"",    "s3",  "s18", "s7",  "s8",  "s9",  "s10", "s5",  "",    ""},
  /* 13 */ {"r10", "s3",  "r10", "r10", "r10", "r10", "r10", "s5",  "r10", ""},
  /* 14 */ {"r8",  "s3",  "r8",  "r8",  "r8",  "r8",  "r8",  "s5",  "r8",  ""},
  /* 15 */ {"r6",  "s3",  "r6",  "s7",  "r6",  "r6",  "s10", "s5",  "r6",  ""},
  /* 16 */ {"r7",  "s3",  "r7",  "r10", "r7",  "r7",  "r10", "s5",  "r7",  ""},
  /* 17 */ {"r9",  "s3",  "r9",  "r9",  "r9",  "r9",  "r9",  "s5",  "r9",  ""},
  /* 18 */ {"",    "",    "",    "",    "",    "",    "",    "",    "",    "r4"},
};
// clang-format on

// Transitions on a non-terminal after a reduction: {from, non-terminal, to}.
constexpr TYaccGoto kGotos[] = {
    {0, yyInput, 1}, {1, yyExpr, 2},   {3, yyExpr, 12}, {4, yyExpr, 13}, {7, yyExpr, 14}, {8, yyExpr, 15},
    {9, yyExpr, 16}, {10, yyExpr, 17}, {2, yyExpr, 6},  {6, yyExpr, 6},  {12, yyExpr, 6}, {13, yyExpr, 6},
    {14, yyExpr, 6}, {15, yyExpr, 6},  {16, yyExpr, 6}, {17, yyExpr, 6},
};

// The grammar: rule number -> {non-terminal, number of symbols}.
//    1 input -> (empty)            5 expr -> expr expr       9 expr -> expr '/' expr
//    2 input -> input expr UNIT    6 expr -> expr '+' expr  10 expr -> '-' expr
//    3 input -> input expr         7 expr -> expr '-' expr  11 expr -> NUMBER
//    4 expr -> '(' expr ')'        8 expr -> expr '*' expr
constexpr TYaccRule kRules[] = {
    {0, 0},      {yyInput, 0}, {yyInput, 3}, {yyInput, 2}, {yyExpr, 3}, {yyExpr, 2},
    {yyExpr, 3}, {yyExpr, 3},  {yyExpr, 3},  {yyExpr, 3},  {yyExpr, 2}, {yyExpr, 1},
};

TYaccAction cell_action(int32_t symbol, std::string_view cell) {
  int32_t number = 0;
  if (cell.size() > 1) std::from_chars(cell.data() + 1, cell.data() + cell.size(), number);
  if (cell == "acc") return {symbol, TYaccActionKind::yyAccept, 0};
  if (cell[0] == 's') return {symbol, TYaccActionKind::yyShift, number};
  return {symbol, TYaccActionKind::yyReduce, number};
}

const TYaccTables& parse_tables() {
  static const TYaccTables tables = [] {
    TYaccTables t;
    for (const auto& row : kActions) {
      std::vector<TYaccAction>& actions = t.actions.emplace_back();
      for (size_t column = 0; column < std::size(kColumns); ++column)
        if (*row[column]) actions.push_back(cell_action(kColumns[column], row[column]));
    }
    t.gotos.assign(std::begin(kGotos), std::end(kGotos));
    t.rules.assign(std::begin(kRules), std::end(kRules));
    return t;
  }();
  return tables;
}

// ---------------------------------------------------------------------------
// Lexer automaton
// ---------------------------------------------------------------------------

// Rules, earlier ones winning between matches of the same length.
enum : int32_t { rNumber = 1, rUnit = 2, rSpace = 3, rLineFeed = 4, rOther = 5 };

// States: 0 start; 1 digits; 2 digits and a decimal mark; 3 decimals;
// 4 mantissa and 'E'; 5 ... and the exponent's sign; 6 exponent digits;
// 7 unit name; 8 blank; 9 line feed; 10 any other character.
constexpr int32_t kLexStates = 11;

// Rules accepted in each state, earliest first. The single-character rule
// also matches the first character of a number or a unit name, but loses to
// the earlier rule there, so states 1 and 7 leave it out.
constexpr int32_t kAccepts[kLexStates][2] = {
    {0, 0},       {rNumber, 0}, {0, 0},           {rNumber, 0},        {0, 0},      {0, 0},
    {rNumber, 0}, {rUnit, 0},   {rSpace, rOther}, {rLineFeed, rOther}, {rOther, 0},
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_unit_char(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '"' || c == '\''; }

// The next state, or -1 when the automaton stops.
int32_t lex_transition(int32_t state, char c) {
  switch (state) {
    case 0:
      if (is_digit(c)) return 1;
      if (is_unit_char(c)) return 7;
      if (c == ' ') return 8;
      if (c == '\n') return 9;
      return 10;
    case 1:
      if (is_digit(c)) return 1;
      if (c == ',' || c == '.') return 2;
      if (c == 'E' || c == 'e') return 4;
      return -1;
    case 2: return is_digit(c) ? 3 : -1;
    case 3:
      if (is_digit(c)) return 3;
      if (c == 'E' || c == 'e') return 4;
      return -1;
    case 4:
      if (c == '+' || c == '-') return 5;
      return is_digit(c) ? 6 : -1;
    case 5:
    case 6: return is_digit(c) ? 6 : -1;
    case 7: return is_unit_char(c) ? 7 : -1;
    default: return -1;
  }
}

// The value of a NUMBER text with '.' as decimal point; false when it does
// not fit a double. A number too small to represent reads as 0.
bool read_number(std::string text, double& value) {
  for (char& c : text)
    if (c == ',') c = '.';
  const char* first = text.data();
  const char* last = text.data() + text.size();
  auto [end, ec] = std::from_chars(first, last, value);
  if (ec == std::errc() && end == last) return true;
  if (ec != std::errc::result_out_of_range) return false;
  // Out of range: the decimal exponent of the first significant digit
  // tells underflow from overflow.
  size_t e = text.find_first_of("Ee");
  std::string_view mantissa(text.data(), e == std::string::npos ? text.size() : e);
  size_t point = mantissa.find('.');
  if (point == std::string_view::npos) point = mantissa.size();
  size_t first_digit = mantissa.find_first_of("123456789");
  if (first_digit == std::string_view::npos) {
    value = 0;
    return true;
  }
  int64_t magnitude = first_digit < point ? int64_t(point - first_digit) : -int64_t(first_digit - point);
  if (e != std::string::npos) {
    std::string_view exponent(text.data() + e + 1, text.size() - e - 1);
    bool negative = !exponent.empty() && exponent[0] == '-';
    if (!exponent.empty() && (exponent[0] == '-' || exponent[0] == '+')) exponent.remove_prefix(1);
    int64_t x = 0;
    for (char c : exponent) x = x < 100000 ? x * 10 + (c - '0') : x;
    magnitude += negative ? -x : x;
  }
  if (magnitude > 0) return false;
  value = 0;
  return true;
}

// The text in the 8-bit code page (Latin-1): every character it cannot
// represent becomes '?'.
std::string to_8bit(std::string_view text) {
  std::u16string wide = utf8_to_utf16(text);
  std::string out;
  out.reserve(wide.size());
  for (size_t i = 0; i < wide.size(); ++i) {
    char16_t c = wide[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) ++i;
    out += c < 0x100 ? char(c) : '?';
  }
  return out;
}

std::string_view trim_blanks(std::string_view text) {
  size_t b = text.find_first_not_of(" \t\r\n");
  if (b == std::string_view::npos) return {};
  size_t e = text.find_last_not_of(" \t\r\n");
  return text.substr(b, e - b + 1);
}

}  // namespace

// ---------------------------------------------------------------------------
// CConversionParser
// ---------------------------------------------------------------------------

bool CConversionParser::read_char(char& c) {
  if (size_t(_textPos) >= _text.size()) return false;
  c = _text[size_t(_textPos++)];
  return true;
}

bool CConversionParser::parse(std::string_view text, double& value) {
  _text = to_8bit(text);
  _textPos = 0;
  yyreset();
  bool accepted;
  try {
    accepted = yyparse(parse_tables());
  } catch (const ELex&) {
    accepted = false;  // the lexer's limits: not reachable with this grammar
  }
  if (accepted) value = _ACC;
  return accepted;
}

int32_t CConversionParser::yylex() {
  for (;;) {
    yynew();
    int32_t state = 0;
    for (;;) {
      // Candidates of this state, the earliest rule last so that it ends on top.
      for (int32_t k = 1; k >= 0; --k) {
        if (int32_t rule = kAccepts[state][k]) {
          yymark(rule);
          yymatch(rule);
        }
      }
      if (!yyscan()) break;
      state = lex_transition(state, yyActChar);
      if (state < 0) break;
    }

    int32_t rule;
    if (!yyfind(rule)) {
      if (yyText.empty()) return 0;  // end of the text
      // No rule matches: echo one character and go on (every character
      // matches a rule of this lexer, so this does not happen).
      put_char(yyText[0]);
      yyless(1);
      continue;
    }
    yyless(yyPos[rule]);
    switch (rule) {
      case rNumber: yylval.text.clear(); return read_number(yyText, yylval.number) ? NUMBER : ILLEGAL;
      case rUnit: yylval.text = yyText.substr(0, 255); return UNIT;
      case rSpace: continue;
      default:  // a line feed, or any other character: its code
        return uint8_t(yyText[0]);
    }
  }
}

CConversionParser::TValue& CConversionParser::value_at(int32_t slot) {
  if (size_t(slot) >= yyV.size()) yyV.resize(size_t(slot) + 1);
  return yyV[size_t(slot)];
}

void CConversionParser::yyshift(int32_t sp) { value_at(sp) = yylval; }

void CConversionParser::yyaction(int32_t rule, int32_t sp, int32_t length) {
  auto arg = [&](int32_t k) -> TValue& { return value_at(sp - length + k); };
  double result = length > 0 ? arg(1).number : 0;
  switch (rule) {
    case 2:  // input -> input expr UNIT
      _ACC = convert(arg(2).number, arg(3).text);
      break;
    case 3:  // input -> input expr
      _ACC = convert(arg(2).number, {});
      break;
    case 4:  // expr -> '(' expr ')'
      result = arg(2).number;
      break;
    case 5:  // expr -> expr expr
    case 6:  // expr -> expr '+' expr
      result = arg(1).number + arg(length).number;
      break;
    case 7: result = arg(1).number - arg(3).number; break;
    case 8: result = arg(1).number * arg(3).number; break;
    case 9:  // a zero divisor gives an infinite or NaN value
      result = arg(1).number / arg(3).number;
      break;
    case 10:  // expr -> '-' expr
      result = -arg(2).number;
      break;
    default:  // 1: input -> (empty); 11: expr -> NUMBER
      break;
  }
  TValue& target = value_at(sp - length + 1);
  target.number = result;
  target.text.clear();
}

double CConversionParser::convert(double value, std::string_view unit_text) {
  if (!_units) return value;
  TRef<IFormatUnits> units;
  std::string_view name = trim_blanks(unit_text);
  if (name.empty() || !get_conversion_manager()->get_units()->find_by_name(name, units)) units = _units;
  return units->to_base(value, 1);
}
