// The command line of bxf2-import: what it accepts and how it reads it.
//
//   bxf2-import [options] FILE...
//     -o, --output PATH          write the project; .glb, .json, .svg, .png or .pdf by
//                                extension, "-" for standard output; repeatable
//     --format json|glb          the format of "-o -" (default json)
//     --placement-center X,Y,Z   centre of the placement area in metres (default 0,0,0)
//     --warning ok|tick|close    how the resize warning is answered (default ok)
//     --interactive              ask on the terminal instead: the warning, and
//                                without FILEs the files
//     --plugin-dir DIR           folder of import.bxf2.plg and the files beside it
//     --without-meshport         start the host without its conversion plug-in
//     --max-objects N            most objects the project may hold (default 1000000)
//     --compact                  JSON on one line (default: laid out, vectors on one line)
//     -q, --quiet                no progress and no summary
//     --version                  the project's version
//
// Every FILE must be a regular file (or a link to one) whose name ends in
// ".zip" or ".bxf2", in lower case as the import command takes them; else the
// command line is wrong and nothing runs. Without FILEs the files are asked
// for on the terminal, with --interactive only: otherwise nothing would be
// imported, and the command line is wrong.
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

// Exit status of the program.
inline constexpr int exit_success = 0;  // the import command returned success
inline constexpr int exit_failure = 1;  // it failed or was cancelled, or the host or an output failed
inline constexpr int exit_usage = 2;    // the command line is wrong

// How the resize warning is answered.
enum class TWarningAnswer {
  ok,     // OK, "Do not show again" left clear
  tick,   // OK with "Do not show again" ticked
  close,  // the window's close box: the import does not run
};

// A project file to write: glTF binary, JSON, or a picture (front elevation
// and plan) as SVG, PNG or PDF.
enum class TOutputFormat { glb, json, svg, png, pdf };
struct TOutput {
  std::string path;  // "-": standard output
  TOutputFormat format = TOutputFormat::glb;
};

// The output name that stands for standard output.
inline constexpr const char* standard_output_name = "-";

struct TImportOptions {
  std::vector<std::string> files;            // FILE..., as given; empty only with --interactive
  std::vector<TOutput> outputs;              // --output, in the order given
  std::array<double, 3> placement_center{};  // --placement-center [0,0,0]
  std::optional<TWarningAnswer> warning;     // --warning; none: OK, or asked with --interactive
  bool interactive = false;                  // --interactive
  std::string plugin_dir;                    // --plugin-dir; "" for the default
  bool without_meshport = false;             // --without-meshport
  int64_t max_objects = 1'000'000;           // --max-objects, the host's default
  bool compact = false;                      // --compact: JSON outputs on one line
  bool quiet = false;                        // --quiet: no progress, no summary
};

// The result of reading the command line: the options, or the exit status
// when the program ends at once (--help, --version: exit_success; a wrong
// command line: exit_usage, after the reason went to `err`).
struct TParsedCommandLine {
  std::optional<TImportOptions> options;
  int exit_status = exit_success;
};

// Reads the command line. Help goes to `out`, errors to `err` (one line
// that starts with the program's name, and a pointer to --help). The files
// must pass `input_file_problem`, and there must be some unless
// --interactive; an output's format comes from its extension (".glb",
// ".json", ".svg", ".png" or ".pdf", letter case aside), that of "-" (at most once) from --format; the
// placement centre is three numbers with "." as decimal separator, separated
// by commas; the most objects a positive whole number.
TParsedCommandLine parse_command_line(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

// Why `path` cannot be imported ("does not exist", "is not a regular file",
// "is neither a ZIP archive nor a BXF2 file (...)": a name not ending in
// ".zip" or ".bxf2" exactly, at which the import command would stop without
// a word), or nothing when it can.
std::optional<std::string> input_file_problem(const std::string& path);

// The three numbers of "X,Y,Z", or nothing when the text is not that.
std::optional<std::array<double, 3>> parse_point(const std::string& text);
