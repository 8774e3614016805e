#include "bxf2-import.options.h"

#include <CLI/CLI.hpp>

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <ostream>
#include <system_error>

#include "bxf.config.h"
#include "cli.conventions.h"
#include "platform.files.h"
#include "sysutils.h"

std::optional<std::array<double, 3>> parse_point(const std::string& text) {
  std::array<double, 3> point{};
  const char* at = text.data();
  const char* end = text.data() + text.size();
  for (std::size_t i = 0; i < 3; ++i) {
    if (i > 0) {
      if (at == end || *at != ',') return std::nullopt;
      ++at;
    }
    const auto [next, error] = std::from_chars(at, end, point[i]);
    if (error != std::errc() || !std::isfinite(point[i])) return std::nullopt;
    at = next;
  }
  if (at != end) return std::nullopt;
  return point;
}

namespace {

std::optional<TOutputFormat> output_format(const std::string& path) {
  const std::size_t dot = path.find_last_of("./");
  if (dot == std::string::npos || path[dot] != '.') return std::nullopt;
  const std::string extension = path.substr(dot);
  if (same_text(extension, ".glb")) return TOutputFormat::glb;
  if (same_text(extension, ".json")) return TOutputFormat::json;
  if (same_text(extension, ".svg")) return TOutputFormat::svg;
  if (same_text(extension, ".png")) return TOutputFormat::png;
  if (same_text(extension, ".pdf")) return TOutputFormat::pdf;
  return std::nullopt;
}

}  // namespace

std::optional<std::string> input_file_problem(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return "does not exist";
    return std::generic_category().message(errno);
  }
  if (!S_ISREG(st.st_mode)) return S_ISDIR(st.st_mode) ? "is a folder, not a file" : "is not a regular file";
  const std::string extension = extract_file_ext(path);
  if (extension != ".zip" && extension != ".bxf2")
    return "is neither a ZIP archive nor a BXF2 file (the name must end in \".zip\" or \".bxf2\", in lower case)";
  return std::nullopt;
}

namespace {

constexpr const char* exit_statuses =
    "Exit status:\n"
    "  0    the import ran and every output was written\n"
    "  1    the import failed (its reason on standard error) or was cancelled,\n"
    "       the host or a plug-in did not start, an output could not be written,\n"
    "       or a plug-in left objects alive\n"
    "  2    usage error: a wrong option or value, a FILE that does not exist, is\n"
    "       not a regular file or is not named .zip or .bxf2, no FILE without\n"
    "       --interactive, --interactive without a terminal; nothing was run\n"
    "  130  interrupted by Ctrl-C (143: by SIGTERM); nothing was written";

// A wrong value: CLI11 prints "<name>: <what>".
[[noreturn]] void wrong(const std::string& option, const std::string& what) {
  throw CLI::ValidationError(option, what);
}

std::optional<int64_t> positive_number(const std::string& text) {
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value <= 0) return std::nullopt;
  return value;
}

}  // namespace

TParsedCommandLine parse_command_line(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  CLI::App app("Imports BXF2 files and ZIP archives into a project of the reference host and writes it.",
               "bxf2-import");
  use_clean_help(app, exit_statuses);
  TImportOptions options;
  std::vector<std::string> outputs;
  std::string center, warning, format, max_objects;

  app.add_option("FILE", options.files, "BXF2 files (.bxf2) and ZIP archives (.zip) to import, in order")
      ->option_text("...");
  app.add_option("-o,--output", outputs,
                 "write the project; by extension: .glb (glTF binary), .json, or a picture of the front elevation "
                 "and the plan: .svg, .png, .pdf; - for standard output; repeatable")
      ->option_text("PATH")
      ->allow_extra_args(false);
  app.add_option("--format", format, "the format of -o - (default json)")->option_text("json|glb");
  app.add_option("--placement-center", center, "centre of the placement area in metres (default 0,0,0)")
      ->option_text("X,Y,Z");
  app.add_option("--warning", warning,
                 "how the resize warning is answered (default ok); its text goes to standard error while the "
                 "preference says to show it, unless -q")
      ->option_text("ok|tick|close");
  app.add_flag("--interactive", options.interactive,
               "ask on the terminal instead: the resize warning (unless --warning is given) and, without FILEs, "
               "the files to import");
  app.add_option("--plugin-dir", options.plugin_dir,
                 "folder of import.bxf2.plg and the files beside it (default: found from the program's own path)")
      ->option_text("DIR");
  app.add_flag("--without-meshport", options.without_meshport, "start the host without its conversion plug-in");
  app.add_option("--max-objects", max_objects,
                 "most objects the project may hold; more fail the import as when memory runs out (default 1000000)")
      ->option_text("N");
  app.add_flag("--compact", options.compact,
               "JSON outputs on one line (default: indented, each vector and matrix on one line)");
  app.add_flag("-q,--quiet", options.quiet,
               "no progress and no summary; warnings and errors still go to standard error");
  app.set_version_flag("--version", std::string("bxf2-import ") + bxf_version, "the project's version");
  app.set_help_flag("-h,--help", "this help");

  TParsedCommandLine result;
  try {
    app.parse(argc, argv);
    for (const std::string& file : options.files)
      if (const auto problem = input_file_problem(file)) wrong("FILE", "\"" + printable_text(file) + "\" " + *problem);
    if (options.files.empty() && !options.interactive)
      throw CLI::ValidationError(
          "no FILE given: name the files to import, or choose them on the terminal with "
          "--interactive");
    if (!format.empty() && format != "json" && format != "glb")
      wrong("--format", "\"" + printable_text(format) + "\" is neither json nor glb");
    for (const std::string& path : outputs) {
      if (path == standard_output_name) {
        for (const TOutput& output : options.outputs)
          if (output.path == standard_output_name) wrong("--output", "standard output (-) can take one output only");
        options.outputs.push_back({path, format == "glb" ? TOutputFormat::glb : TOutputFormat::json});
        continue;
      }
      const auto output = output_format(path);
      if (!output) wrong("--output", "\"" + printable_text(path) + "\" is none of .glb, .json, .svg, .png and .pdf");
      options.outputs.push_back({path, *output});
    }
    if (!center.empty()) {
      const auto point = parse_point(center);
      if (!point) wrong("--placement-center", "\"" + printable_text(center) + "\" is not three numbers X,Y,Z");
      options.placement_center = *point;
    }
    if (warning == "ok")
      options.warning = TWarningAnswer::ok;
    else if (warning == "tick")
      options.warning = TWarningAnswer::tick;
    else if (warning == "close")
      options.warning = TWarningAnswer::close;
    else if (!warning.empty() || app.count("--warning") > 0)
      wrong("--warning", "\"" + printable_text(warning) + "\" is none of ok, tick, close");
    if (!max_objects.empty() || app.count("--max-objects") > 0) {
      const auto number = positive_number(max_objects);
      if (!number) wrong("--max-objects", "\"" + printable_text(max_objects) + "\" is not a positive whole number");
      options.max_objects = *number;
    }
  } catch (const CLI::ParseError& e) {
    result.exit_status = answer_parse_error(app, e, out, err) == 0 ? exit_success : exit_usage;
    return result;
  }
  result.options = std::move(options);
  return result;
}
