#include "bxf2-import.report.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>
#include <system_error>

#include <fmt/format.h>

#include "platform.files.h"
#include "sysutils.h"
#include "tvrlib.com.h"

namespace {

// What the program knows beyond the plug-in's reason, one line each.
std::vector<std::string> known_causes(const TImportFailure& failure) {
  std::vector<std::string> lines;
  for (const std::string& text : failure.debug_output) lines.push_back("bxf2-import: " + printable_text(text));
  if (failure.out_of_memory || failure.logged.find("std::bad_alloc") != std::string::npos)
    lines.push_back("bxf2-import: out of memory");
  if (failure.max_objects > 0 && failure.objects >= failure.max_objects)
    lines.push_back(fmt::format("bxf2-import: the project holds {} objects, the most it may hold (--max-objects)",
                                failure.objects));
  if (failure.temp_folder_problem && failed_command_check(failure.logged))
    lines.push_back("bxf2-import: the temporary folder " + printable_text(*failure.temp_folder_problem));
  return lines;
}

}  // namespace

std::vector<std::string> failure_lines(const TImportFailure& failure) {
  std::vector<std::string> lines;
  lines.push_back(fmt::format("bxf2-import: the import failed ({})", ole_error_message(failure.result)));
  // The plug-in's reason need not name the file; the last step does.
  if (!failure.last_step.empty())
    lines.push_back("bxf2-import: the last step was: " + printable_text(failure.last_step));
  std::istringstream logged(failure.logged);
  for (std::string line; std::getline(logged, line);) lines.push_back(printable_text(line));
  for (std::string& line : known_causes(failure)) lines.push_back(std::move(line));
  return lines;
}

bool failed_command_check(const std::string& logged) {
  return logged.find("EAssertionFailed: Assertion failure (import.bxf2.plugin, line ") != std::string::npos;
}

std::optional<std::string> folder_problem(const std::string& folder) {
  const std::string probe = include_trailing_delimiter(folder) + "bxf2-import-probe-" + guid_to_hex(new_guid());
  if (::mkdir(probe.c_str(), 0700) != 0)
    return fmt::format("\"{}\" cannot be used ({})", folder, std::generic_category().message(errno));
  ::rmdir(probe.c_str());
  return std::nullopt;
}
