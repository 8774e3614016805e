#include "uLexYacc.h"

#include <istream>
#include <ostream>

#include <fmt/format.h>

// ---------------------------------------------------------------------------
// Character source
// ---------------------------------------------------------------------------

bool TLexYacc::read_char(char& c) { return fInput && fInput->get(c); }

void TLexYacc::write_char(char c) {
  if (fOutput) fOutput->put(c);
}

void TLexYacc::fatal(std::string_view message) { throw ELex(fmt::format("Lex ({}): {}", yyLineNo, message)); }

bool TLexYacc::get_char(char& c) {
  do {
    if (yyUngetPtr > 0)
      c = yyUngetBuf[--yyUngetPtr];
    else if (!read_char(c))
      return false;
  } while (c == '\r');
  if (c == '\n') {
    ++yyLineNo;
    yyColNo = 0;
  } else {
    ++yyColNo;
  }
  return true;
}

void TLexYacc::unget_char(char c) {
  if (yyUngetPtr >= kMaxUnget) fatal("input buffer overflow");
  yyUngetBuf[yyUngetPtr++] = c;
  // The character will be counted again when it is read again.
  if (c == '\n')
    --yyLineNo;
  else if (yyColNo > 0)
    --yyColNo;
}

void TLexYacc::put_char(char c) {
  if (c == '\n') write_char('\r');
  write_char(c);
}

bool TLexYacc::yywrap() { return true; }

void TLexYacc::yyerror(std::string_view message) {
  if (fError) *fError << message << '\n';
}

void TLexYacc::yyreset() {
  yyStartState = yyLineState = 0;
  yyText.clear();
  yyLineNo = 1;
  yyColNo = 0;
  yyUngetPtr = 0;
  yyMatches = 0;
  yyLastChar = yyActChar = 0;
  yyRule = yyRetVal = 0;
  yyDone = false;
  yyChar = -1;
  yyErrFlag = yyNErrs = 0;
  yyFlag = yyfNone;
}

// ---------------------------------------------------------------------------
// Match bookkeeping
// ---------------------------------------------------------------------------

void TLexYacc::yynew() {
  yyText.clear();
  for (int32_t i = 0; i < yyMatches; ++i) yyPos[yyStack[i]] = 0;
  yyMatches = 0;
  yyDone = false;
}

bool TLexYacc::yyscan() {
  char c;
  if (!get_char(c)) return false;
  yyLastChar = yyActChar;
  yyActChar = c;
  yyText += c;
  return true;
}

void TLexYacc::yymark(int32_t rule) {
  if (rule < 0 || rule >= kMaxRules) fatal("too many rules");
  yyPos[rule] = int32_t(yyText.size());
}

void TLexYacc::yymatch(int32_t rule) {
  if (rule < 0 || rule >= kMaxRules) fatal("too many rules");
  // A rule matched again moves to the top: its match is now the longest.
  int32_t i = 0;
  while (i < yyMatches && yyStack[i] != rule) ++i;
  if (i < yyMatches) {
    for (; i + 1 < yyMatches; ++i) yyStack[i] = yyStack[i + 1];
    --yyMatches;
  }
  if (yyMatches >= kMaxRules) fatal("match stack overflow");
  yyStack[yyMatches++] = rule;
}

bool TLexYacc::yyfind(int32_t& rule) {
  while (yyMatches > 0 && yyPos[yyStack[yyMatches - 1]] == 0) --yyMatches;
  if (yyMatches == 0) return false;
  rule = yyStack[--yyMatches];
  yyRule = rule;
  return true;
}

void TLexYacc::yyless(int32_t n) {
  if (n < 0) n = 0;
  for (int32_t i = int32_t(yyText.size()) - 1; i >= n; --i) unget_char(yyText[size_t(i)]);
  if (size_t(n) < yyText.size()) yyText.resize(size_t(n));
}

// ---------------------------------------------------------------------------
// Parse driver
// ---------------------------------------------------------------------------

namespace {

bool default_only(const std::vector<TYaccAction>& row) {
  for (const TYaccAction& a : row)
    if (a.symbol != TLexYacc::yyDefault) return false;
  return !row.empty();
}

// The entry for `symbol`, else the default entry, else null.
const TYaccAction* find_action(const std::vector<TYaccAction>& row, int32_t symbol, bool use_default = true) {
  const TYaccAction* fallback = nullptr;
  for (const TYaccAction& a : row) {
    if (a.symbol == symbol) return &a;
    if (a.symbol == TLexYacc::yyDefault && use_default) fallback = &a;
  }
  return fallback;
}

const TYaccAction* find_action_in(const TYaccTables& tables, int32_t state, int32_t symbol, bool use_default = true) {
  if (state < 0 || size_t(state) >= tables.actions.size()) return nullptr;
  return find_action(tables.actions[size_t(state)], symbol, use_default);
}

}  // namespace

bool TLexYacc::yyparse(const TYaccTables& tables) {
  yyChar = -1;
  yyNErrs = 0;
  yyErrFlag = 0;
  yyFlag = yyfNone;
  int32_t state = 0;
  int32_t sp = -1;
  bool shifted = false;  // the state to push was reached by shifting yyChar

  for (;;) {
    // Push the state.
    if (sp + 1 >= kMaxDepth) {
      yyerror("yyParse stack overflow");
      return false;
    }
    yyS[++sp] = state;
    if (shifted) {
      yyshift(sp);
      yyChar = -1;
      shifted = false;
    }

    for (;;) {
      // The action: states that only reduce do so without a look-ahead.
      const TYaccAction* action = nullptr;
      if (size_t(state) < tables.actions.size() && default_only(tables.actions[size_t(state)])) {
        action = &tables.actions[size_t(state)].front();
      } else {
        if (yyChar < 0) {
          yyChar = yylex();
          if (yyChar < 0) yyChar = 0;
        }
        action = find_action_in(tables, state, yyChar);
      }
      if (yyDebug && fError) *fError << fmt::format("state {}, token {}\n", state, yyChar);

      if (action && action->kind == TYaccActionKind::yyAccept) {
        yyFlag = yyfAccept;
        return true;
      }
      if (action && action->kind == TYaccActionKind::yyShift) {
        if (yyErrFlag > 0) --yyErrFlag;
        state = action->target;
        shifted = true;
        break;
      }
      if (action && action->kind == TYaccActionKind::yyReduce) {
        int32_t rule = action->target;
        if (rule <= 0 || size_t(rule) >= tables.rules.size()) return false;
        int32_t length = tables.rules[size_t(rule)].length;
        if (length > sp + 1) return false;
        yyFlag = yyfNone;
        yyaction(rule, sp, length);
        if (yyFlag == yyfAccept) return true;
        if (yyFlag == yyfAbort) return false;
        if (yyFlag != yyfError) {
          sp -= length;
          int32_t nonterminal = tables.rules[size_t(rule)].nonterminal;
          const TYaccGoto* go = nullptr;
          for (const TYaccGoto& g : tables.gotos)
            if (g.state == yyS[sp] && g.nonterminal == nonterminal) go = &g;
          if (!go) return false;  // tables without this transition are broken
          state = go->target;
          break;
        }
        yyFlag = yyfNone;
      }

      // A syntax error: report it once, then try to recover through a state
      // that shifts the error token; while recovering, discard tokens.
      if (yyErrFlag == 0) {
        yyerror("Syntax Error");
        ++yyNErrs;
      }
      if (yyErrFlag < 3) {
        yyErrFlag = 3;
        const TYaccAction* recover = nullptr;
        while (sp >= 0) {
          recover = find_action_in(tables, yyS[sp], yyErrorToken, false);
          if (recover && recover->kind == TYaccActionKind::yyShift) break;
          recover = nullptr;
          --sp;
        }
        if (!recover) return false;
        state = recover->target;  // pushed above the state that shifts the error token
        break;
      }
      if (yyChar == 0) return false;  // nothing left to discard
      yyChar = -1;
    }
  }
}
