// The conventions of both command-line programs on their command line:
// the program's name (never its path) in the usage line and at the start of
// every message, help texts that show each option's value as one word
// ("-o,--output PATH", not the parser's "TEXT ..." or "{ok,tick,close}"),
// the exit statuses listed at the end of --help, and every wrong command
// line answered with one line naming the program and exit status 2:
//
//   bxf2-import: --warning: "maybe" is none of ok, tick, close
//   Try 'bxf2-import --help' for more information.
#pragma once

#include <iosfwd>
#include <string>

#include <CLI/CLI.hpp>

// Exit status of a wrong command line, in both programs.
inline constexpr int cli_usage_status = 2;

// Gives `app` the clean help: options show their `option_text` alone (set it
// to the value's word, "PATH"; flags show nothing), and `footer` (the exit
// statuses) closes the help.
void use_clean_help(CLI::App& app, const std::string& footer);

// The answer to a ParseError of `app`: --help and --version print to `out`
// and give 0; any other error prints "<name>: <reason>" and the pointer to
// --help to `err` and gives cli_usage_status.
int answer_parse_error(const CLI::App& app, const CLI::ParseError& error, std::ostream& out, std::ostream& err);
