#include "LexYacc/uLexYacc.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "test.support.h"

namespace {

// A runtime over a stream with a one-rule grammar: list -> (empty) | list 'x'.
// 'e' is a token no rule takes; with `recover`, "list -> list error" lets
// the parse go on after it.
class TProbe : public TLexYacc {
 public:
  static TProbe* create(std::istream* in, std::ostream* out, std::ostream* err) {
    return construct(new TProbe(in, out, err));
  }
  using TLexYacc::get_char;
  using TLexYacc::unget_char;
  using TLexYacc::yyColNo;
  using TLexYacc::yyFlag;
  using TLexYacc::yyless;
  using TLexYacc::yyLineNo;
  using TLexYacc::yymark;
  using TLexYacc::yymatch;
  using TLexYacc::yyNErrs;
  using TLexYacc::yynew;
  using TLexYacc::yyparse;
  using TLexYacc::yyText;

  int count = 0;

  static TYaccTables tables(bool recover) {
    TYaccTables t;
    // State 0: reduce rule 1 (list -> empty). State 1: end accepts, 'x' shifts
    // to 2, error shifts to 3. States 2 and 3 reduce rules 2 and 3.
    t.actions = {{{yyDefault, TYaccActionKind::yyReduce, 1}},
                 {{0, TYaccActionKind::yyAccept, 0}, {'x', TYaccActionKind::yyShift, 2}},
                 {{yyDefault, TYaccActionKind::yyReduce, 2}},
                 {{yyDefault, TYaccActionKind::yyReduce, 3}}};
    if (recover) t.actions[1].push_back({yyErrorToken, TYaccActionKind::yyShift, 3});
    t.gotos = {{0, 100, 1}};
    t.rules = {{0, 0}, {100, 0}, {100, 2}, {100, 2}};
    return t;
  }

 protected:
  TProbe(std::istream* in, std::ostream* out, std::ostream* err) : TLexYacc(in, out, err) {}
  int32_t yylex() override {
    char c;
    while (get_char(c))
      if (c != ' ') return uint8_t(c);
    return 0;
  }
  void yyaction(int32_t rule, int32_t, int32_t) override {
    if (rule == 2) ++count;
  }
};

struct TOwned {
  TProbe* p;
  ~TOwned() { p->free(); }
  TProbe* operator->() const { return p; }
};

}  // namespace

TEST(lex_yacc, get_char_counts_lines_and_skips_carriage_returns) {
  std::istringstream in("ab\r\ncd");
  TOwned probe{TProbe::create(&in, nullptr, nullptr)};
  std::string read;
  char c;
  while (probe->get_char(c)) read += c;
  EXPECT_EQ(read, "ab\ncd");
  EXPECT_EQ(probe->yyLineNo, 2);
  EXPECT_EQ(probe->yyColNo, 2);
  probe->unget_char('d');
  probe->unget_char('c');
  ASSERT_TRUE(probe->get_char(c));
  EXPECT_EQ(c, 'c');
  ASSERT_TRUE(probe->get_char(c));
  EXPECT_EQ(c, 'd');
  EXPECT_FALSE(probe->get_char(c));
}

TEST(lex_yacc, put_char_writes_line_feeds_as_crlf) {
  std::ostringstream out;
  TOwned probe{TProbe::create(nullptr, &out, nullptr)};
  for (char c : std::string("a\nb")) probe->put_char(c);
  EXPECT_EQ(out.str(), "a\r\nb");
  EXPECT_TRUE(probe->yywrap());
}

TEST(lex_yacc, fatal_errors_name_the_line) {
  TOwned probe{TProbe::create(nullptr, nullptr, nullptr)};
  for (int i = 0; i < TLexYacc::kMaxUnget; ++i) probe->unget_char('x');
  ASSERT_THROW_MSG(probe->unget_char('x'), ELex, "Lex (1): input buffer overflow");
  ASSERT_THROW_MSG(probe->yymark(TLexYacc::kMaxRules), ELex, "Lex (1): too many rules");
  EXPECT_THROW(probe->yymatch(-1), ELex);
}

TEST(lex_yacc, yyless_pushes_back_the_rest) {
  std::istringstream in("abc");
  TOwned probe{TProbe::create(&in, nullptr, nullptr)};
  char c;
  probe->yynew();
  for (int i = 0; i < 3; ++i) {
    probe->get_char(c);
    probe->yyText += c;
  }
  probe->yyless(1);
  EXPECT_EQ(probe->yyText, "a");
  std::string rest;
  while (probe->get_char(c)) rest += c;
  EXPECT_EQ(rest, "bc");
}

TEST(lex_yacc, parse_accepts_reports_and_recovers) {
  struct {
    const char* input;
    bool recover;
    bool accepted;
    int count;
    const char* errors;
  } const cases[] = {
      {"", false, true, 0, ""},
      {"x x x", false, true, 3, ""},
      {"x e x", false, false, 1, "Syntax Error\n"},
      {"x e x", true, true, 2, "Syntax Error\n"},  // error shifted, then 'x' goes on
      {"e", true, true, 0, "Syntax Error\n"},
  };
  for (const auto& c : cases) {
    std::istringstream in(c.input);
    std::ostringstream err;
    TOwned probe{TProbe::create(&in, nullptr, &err)};
    TYaccTables tables = TProbe::tables(c.recover);
    EXPECT_EQ(probe->yyparse(tables), c.accepted) << c.input;
    EXPECT_EQ(probe->count, c.count) << c.input;
    EXPECT_EQ(err.str(), c.errors) << c.input;
    EXPECT_EQ(probe->yyNErrs, *c.errors ? 1 : 0) << c.input;
  }
}

TEST(lex_yacc, parse_stack_overflow_fails) {
  // list -> 'x' list | (empty): right recursion keeps every 'x' on the stack.
  TYaccTables t;
  t.actions = {{{'x', TYaccActionKind::yyShift, 1}, {TLexYacc::yyDefault, TYaccActionKind::yyReduce, 1}},
               {{'x', TYaccActionKind::yyShift, 1}, {TLexYacc::yyDefault, TYaccActionKind::yyReduce, 1}},
               {{0, TYaccActionKind::yyAccept, 0}},
               {{TLexYacc::yyDefault, TYaccActionKind::yyReduce, 2}}};
  t.gotos = {{0, 100, 2}, {1, 100, 3}};
  t.rules = {{0, 0}, {100, 0}, {100, 2}};
  for (int n : {100, TLexYacc::kMaxDepth + 10}) {
    std::istringstream in(std::string(size_t(n), 'x'));
    std::ostringstream err;
    TOwned probe{TProbe::create(&in, nullptr, &err)};
    bool accepted = probe->yyparse(t);
    EXPECT_EQ(accepted, n == 100);
    EXPECT_EQ(err.str(), n == 100 ? "" : "yyParse stack overflow\n");
  }
}
