// `TLexYacc`, the runtime of table-driven lexers and LALR(1) parsers: the
// character source with a push-back buffer and line and column counting, the
// match bookkeeping a lexer's automaton uses to find the longest match (the
// earlier rule winning between matches of the same length), and the parse
// driver that runs a grammar's action and goto tables.
//
// A concrete parser derives from `TLexYacc`, supplies `yylex` (its lexer,
// built on `yynew`, `yyscan`, `yymark`, `yymatch`, `yyfind` and `yyless`),
// keeps the semantic values in a stack parallel to the parse stack
// (`yyshift` stores the token's value, `yyaction` runs a rule's action) and
// calls `yyparse` with its tables.
//
// Limits (each a fixed-size buffer, so no input grows them):
//   kMaxUnget  1024 characters pushed back  ("input buffer overflow": ELex)
//   kMaxRules  2048 candidate rules          ("too many rules", "match stack overflow": ELex)
//   kMaxDepth  1024 parse stack entries      ("yyParse stack overflow": the parse fails)
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "uInterfacedObjects.h"

// A fatal lexer error: "Lex (<line>): <text>".
BXF_DECLARE_EXCEPTION(ELex, Exception);

enum TYaccFlag { yyfNone, yyfAccept, yyfAbort, yyfError };

// ---------------------------------------------------------------------------
// Parse tables
// ---------------------------------------------------------------------------

enum class TYaccActionKind : uint8_t { yyShift, yyReduce, yyAccept };

// One entry of a state's action row.
struct TYaccAction {
  int32_t symbol;        // the token, or yyDefault for every token without an entry
  TYaccActionKind kind;  //
  int32_t target;        // shift: the next state; reduce: the rule number
};

// A transition on a non-terminal after a reduction.
struct TYaccGoto {
  int32_t state;
  int32_t nonterminal;
  int32_t target;
};

// A grammar rule: the non-terminal it makes and the number of symbols it takes.
struct TYaccRule {
  int32_t nonterminal;
  int32_t length;
};

struct TYaccTables {
  std::vector<std::vector<TYaccAction>> actions;  // by state
  std::vector<TYaccGoto> gotos;
  std::vector<TYaccRule> rules;  // by rule number; entry 0 unused
};

// ---------------------------------------------------------------------------
// TLexYacc
// ---------------------------------------------------------------------------

class TLexYacc : public CSafeInterfacedObject {
 public:
  static constexpr int32_t kMaxUnget = 1024;
  static constexpr int32_t kMaxRules = 2048;
  static constexpr int32_t kMaxDepth = 1024;
  static constexpr int32_t yyDefault = -1;      // the "default" column of an action row
  static constexpr int32_t yyErrorToken = 256;  // the token of error productions

  // Streams; each may be null (nothing is read, written or reported).
  std::istream* fInput = nullptr;
  std::ostream* fOutput = nullptr;
  std::ostream* fError = nullptr;

  // Reads one raw character from the input; false at the end.
  virtual bool read_char(char& c);
  // Writes one character to the output.
  virtual void write_char(char c);
  // Raises ELex "Lex (<line>): <message>".
  [[noreturn]] virtual void fatal(std::string_view message);
  // The next character: from the push-back buffer first, else from the
  // input. A carriage return is skipped; a line feed counts a new line and
  // resets the column. False at the end of the input.
  virtual bool get_char(char& c);
  // Pushes a character back; more than kMaxUnget is fatal.
  virtual void unget_char(char c);
  // Echoes a character to the output; a line feed is written as CR LF.
  virtual void put_char(char c);
  // True when there is no further input after the end (always).
  virtual bool yywrap();

 protected:
  TLexYacc(std::istream* input, std::ostream* output, std::ostream* error)
      : fInput(input), fOutput(output), fError(error) {}

  // Lexer state.
  int32_t yyStartState = 0;  // the automaton's start state
  int32_t yyLineState = 0;   // start state at the beginning of a line
  std::string yyText;        // the text matched so far
  int32_t yyLineNo = 1;
  int32_t yyColNo = 0;
  char yyUngetBuf[kMaxUnget] = {};
  int32_t yyUngetPtr = 0;           // characters in yyUngetBuf
  int32_t yyMatches = 0;            // candidate rules on yyStack
  int32_t yyPos[kMaxRules] = {};    // length of each rule's longest match
  int32_t yyStack[kMaxRules] = {};  // candidate rules, the best on top
  char yyLastChar = 0;
  char yyActChar = 0;
  int32_t yyRule = 0;
  int32_t yyRetVal = 0;
  bool yyDone = false;

  // Parser state.
  int32_t yyChar = -1;  // the look-ahead token; -1 when none is held
  int32_t yyErrFlag = 0;
  int32_t yyNErrs = 0;
  TYaccFlag yyFlag = yyfNone;
  bool yyDebug = false;  // trace the parse on the error stream
  int32_t yyS[kMaxDepth] = {};

  // Returns the lexer and parser to their initial state (the streams stay).
  void yyreset();

  // Lexer helpers. `yynew` starts a match; `yyscan` reads the next
  // character into yyText (false at the end); `yymark(n)` records that rule
  // n matches yyText; `yymatch(n)` makes rule n the best candidate;
  // `yyfind(n)` takes the best candidate that matched something (false when
  // none did); `yyless(n)` pushes yyText back beyond its first n characters.
  void yynew();
  bool yyscan();
  void yymark(int32_t rule);
  void yymatch(int32_t rule);
  bool yyfind(int32_t& rule);
  void yyless(int32_t n);

  // The next token: 0 at the end of the text.
  virtual int32_t yylex() = 0;
  // The token just shifted sits at parse-stack slot `sp`.
  virtual void yyshift(int32_t sp) { (void)sp; }
  // Rule `rule` is reduced: its `length` symbols are at slots
  // sp - length + 1 .. sp, and its value goes to slot sp - length + 1.
  virtual void yyaction(int32_t rule, int32_t sp, int32_t length) { (void)rule, (void)sp, (void)length; }
  // Reports a parse error on the error stream.
  virtual void yyerror(std::string_view message);

  // Runs the parse; true when the input is accepted. Fails on a token the
  // tables do not accept (after the error recovery the tables allow) and
  // when the parse stack would exceed kMaxDepth entries.
  bool yyparse(const TYaccTables& tables);
};
