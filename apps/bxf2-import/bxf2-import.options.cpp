#include "bxf2-import.options.h"

#include <CLI/CLI.hpp>

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <ostream>
#include <system_error>

#include "bxf.config.h"
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

TParsedCommandLine parse_command_line(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  CLI::App app("Imports BXF2 files and ZIP archives into a project of the reference host and writes it.",
               "bxf2-import");
  TImportOptions options;
  std::vector<std::string> outputs;
  std::string center;
  std::string warning;

  app.add_option("FILE", options.files, "BXF2 files (.bxf2) and ZIP archives (.zip) to import, in order");
  app.add_option("-o,--output", outputs,
                 "write the project; by extension: .glb (glTF binary), .json, or a picture of the front elevation "
                 "and the plan: .svg, .png, .pdf; repeatable")
      ->type_name("PATH")
      ->allow_extra_args(false);
  app.add_option("--placement-center", center, "centre of the placement area in metres (default 0,0,0)")
      ->type_name("X,Y,Z");
  app.add_option("--warning", warning, "how the resize warning is answered when not asked on a terminal")
      ->check(CLI::IsMember({"ok", "tick", "close"}))
      ->type_name("ok|tick|close");
  app.add_option("--plugin-dir", options.plugin_dir,
                 "folder of import.bxf2.plg and the files beside it (default: found from the program's own path)")
      ->type_name("DIR");
  app.add_flag("--without-meshport", options.without_meshport, "start the host without its conversion plug-in");
  app.add_option("--max-objects", options.max_objects,
                 "most objects the project may hold; more fail the import as when memory runs out (default 1000000)")
      ->check(CLI::PositiveNumber)
      ->type_name("N");
  app.add_flag("-q,--quiet", options.quiet, "no progress output");
  app.set_version_flag("--version", std::string("bxf2-import ") + bxf_version, "the project's version");

  TParsedCommandLine result;
  try {
    app.parse(argc, argv);
    for (const std::string& file : options.files)
      if (const auto problem = input_file_problem(file))
        throw CLI::ValidationError("FILE", "\"" + printable_text(file) + "\" " + *problem);
    for (const std::string& path : outputs) {
      const auto format = output_format(path);
      if (!format)
        throw CLI::ValidationError("--output", "\"" + path + "\" is none of .glb, .json, .svg, .png and .pdf");
      options.outputs.push_back({path, *format});
    }
    if (!center.empty()) {
      const auto point = parse_point(center);
      if (!point)
        throw CLI::ValidationError("--placement-center", "\"" + center + "\" is not three numbers X,Y,Z");
      options.placement_center = *point;
    }
    if (warning == "ok") options.warning = TWarningAnswer::ok;
    if (warning == "tick") options.warning = TWarningAnswer::tick;
    if (warning == "close") options.warning = TWarningAnswer::close;
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e, out, err);
    result.exit_status = code == 0 ? exit_success : exit_usage;
    return result;
  }
  result.options = std::move(options);
  return result;
}
