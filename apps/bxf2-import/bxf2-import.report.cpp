#include "bxf2-import.report.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <regex>
#include <sstream>
#include <system_error>

#include <fmt/format.h>

#include "platform.files.h"
#include "sysutils.h"
#include "tvrlib.com.h"

namespace {

// `text` in the user's terms, escaped.
std::string user_text(const TImportFailure& failure, const std::string& text) {
  return printable_text(failure.files ? failure.files->user_text(text) : text);
}

// What the program knows beyond the plug-in's reason, one line each.
std::vector<std::string> known_causes(const TImportFailure& failure) {
  std::vector<std::string> lines;
  // Meshport's word on a mesh goes with what was left out (skipped_lines).
  for (const std::string& text : failure.debug_output)
    if (!text.starts_with("meshport: ")) lines.push_back("bxf2-import: " + user_text(failure, text));
  if (failure.out_of_memory || failure.logged.find("std::bad_alloc") != std::string::npos)
    lines.push_back("bxf2-import: out of memory");
  if (failure.max_objects > 0 && failure.objects >= failure.max_objects)
    lines.push_back(fmt::format("bxf2-import: the project holds {} objects, the most it may hold (--max-objects)",
                                failure.objects));
  if (failure.temp_folder_problem && failed_command_check(failure.logged))
    lines.push_back("bxf2-import: the temporary folder " + printable_text(*failure.temp_folder_problem));
  return lines;
}

// The file of a progress text "Step (file)", and the step.
std::pair<std::string, std::string> step_and_file(const std::string& text) {
  const size_t open = text.find(" (");
  if (open == std::string::npos || text.back() != ')') return {text, {}};
  return {text.substr(0, open), text.substr(open + 2, text.size() - open - 3)};
}

bool any_names(const std::vector<std::string>& lines, const std::string& name) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& line) { return line.find(name) != std::string::npos; });
}

}  // namespace

std::vector<std::string> failure_lines(const TImportFailure& failure) {
  std::vector<std::string> lines;
  lines.push_back(fmt::format("bxf2-import: the import failed ({})", ole_error_message(failure.result)));
  std::vector<std::string> reason;
  std::istringstream logged(failure.logged);
  for (std::string line; std::getline(logged, line);) reason.push_back(printable_text(line));
  const std::vector<std::string> causes = known_causes(failure);

  // The last step names the file the command was at; it is said only when
  // no other line names that file already.
  std::string file;  // in the user's terms, escaped
  bool bxf2_file = false;
  if (!failure.last_step.empty()) {
    const auto [step, name] = step_and_file(failure.last_step);
    bxf2_file = step == "Importing BXF2 file" || (step == "Extracting file" && extract_file_ext(name) == ".bxf2");
    file = step == "Importing BXF2 file" && failure.files ? printable_text(failure.files->user_file(name))
                                                          : user_text(failure, name);
    const bool named = !file.empty() && (any_names(reason, file) || any_names(causes, file));
    if (!named) {
      // A chosen BXF2 file is announced as extracted, but is imported as it is.
      if (bxf2_file)
        lines.push_back("bxf2-import: while importing " + file);
      else
        lines.push_back("bxf2-import: the last step was: " + user_text(failure, failure.last_step));
    }
  }
  for (std::string& line : reason) lines.push_back(std::move(line));
  for (const std::string& line : causes) lines.push_back(line);
  // A file that does not read, or whose links find nothing: the reader's
  // check lists every such problem at once.
  if (bxf2_file && !file.empty() && any_names(causes, file)) {
    const std::string name = step_and_file(failure.last_step).second;
    const std::string target = failure.files ? failure.files->inspect_target(name) : name;
    lines.push_back("bxf2-import: to list every problem of the file: bxf2-inspect --check " +
                    printable_text(shell_quoted(target)));
  }
  return lines;
}

// ---------------------------------------------------------------------------
// What a successful import left out
// ---------------------------------------------------------------------------

namespace {

// `ids` as a list of at most a few, quoted: `part "a", "b", ...`.
std::string id_list(const char* what, const std::vector<std::string>& ids) {
  std::string text = std::string(what) + (ids.size() == 1 ? " " : "s ");
  for (size_t i = 0; i < ids.size() && i < 3; ++i) text += (i ? ", \"" : "\"") + ids[i] + "\"";
  if (ids.size() > 3) text += ", ...";
  return text;
}

std::string placements(int count, const char* what) {
  return fmt::format("{} {} placement{}", count, what, count == 1 ? "" : "s");
}

void add_once(std::vector<std::string>& list, const std::string& item) {
  if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

struct TSkippedMesh {
  std::string bxf_name, stem;
  bool empty = false;  // the file was there and held nothing
  int count = 0;
};

struct TSkippedGeometry {
  std::string bxf_name, kind;
  int count = 0;
  std::vector<std::string> parts;
};

}  // namespace

std::vector<std::string> skipped_lines(const std::string& logged, const std::vector<std::string>& debug_output,
                                       const CChosenFiles& files) {
  static const std::regex mesh_line(
      R"re(^(.*): component mesh "(.*)" (not found|holds no objects); component ".*" skipped$)re");
  static const std::regex geometry_line(
      R"re(^(.*): part "(.*)" \(.*\) has (prism|no) geometry; it keeps the host's default size$)re");

  // The converter's reason for each mesh that gave nothing, by stem.
  std::vector<std::pair<std::string, std::string>> reasons;
  std::vector<bool> reason_used;
  for (const std::string& text : debug_output) {
    if (!text.starts_with("meshport: ")) continue;
    const std::string rest = text.substr(10);
    const std::string folded = upper_case(rest);
    const size_t end = folded.find(".DAE: ");
    if (end == std::string::npos) continue;
    reasons.emplace_back(extract_file_stem(rest.substr(0, end + 4)), rest.substr(end + 6));
    reason_used.push_back(false);
  }

  std::vector<TSkippedMesh> meshes;
  std::vector<TSkippedGeometry> geometries;
  std::vector<std::pair<std::string, int>> others;
  std::istringstream in(logged);
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (std::regex_match(line, m, mesh_line)) {
      const std::string stem = extract_file_stem(m[2].str());
      const bool empty = m[3] == "holds no objects";
      auto it = std::find_if(meshes.begin(), meshes.end(), [&](const TSkippedMesh& s) {
        return s.bxf_name == m[1].str() && same_text(s.stem, stem) && s.empty == empty;
      });
      if (it == meshes.end()) it = meshes.insert(meshes.end(), {m[1].str(), stem, empty, 0});
      ++it->count;
    } else if (std::regex_match(line, m, geometry_line)) {
      auto it = std::find_if(geometries.begin(), geometries.end(), [&](const TSkippedGeometry& g) {
        return g.bxf_name == m[1].str() && g.kind == m[3].str();
      });
      if (it == geometries.end()) it = geometries.insert(geometries.end(), {m[1].str(), m[3].str(), 0, {}});
      ++it->count;
      add_once(it->parts, m[2].str());
    } else {
      auto it = std::find_if(others.begin(), others.end(), [&](const auto& o) { return o.first == line; });
      if (it == others.end())
        others.emplace_back(line, 1);
      else
        ++it->second;
    }
  }

  std::vector<std::string> lines;
  for (const TSkippedMesh& mesh : meshes) {
    const CChosenFiles::TMesh name = files.mesh(mesh.bxf_name, mesh.stem);
    std::string what;
    if (mesh.empty) {
      what = "holds no geometry";
    } else if (name.held) {
      what = "could not be converted";
      for (size_t i = 0; i < reasons.size(); ++i) {
        if (!same_text(reasons[i].first, mesh.stem)) continue;
        what += " (" + reasons[i].second + ")";
        reason_used[i] = true;
        break;
      }
    } else {
      what = name.archived ? "is missing" : "is missing (a BXF2 file given on its own gets no meshes)";
    }
    const std::string subject = name.archived ? name.name : files.user_file(mesh.bxf_name) + ": " + name.name;
    lines.push_back(printable_text(
        fmt::format("bxf2-import: {} {}: {} skipped", subject, what, placements(mesh.count, "component"))));
  }
  for (size_t i = 0; i < reasons.size(); ++i) {
    if (reason_used[i]) continue;
    const std::string stem = reasons[i].first;
    const CChosenFiles::TMesh name = files.mesh("", stem);
    lines.push_back(
        printable_text(fmt::format("bxf2-import: {} could not be converted ({})", name.name, reasons[i].second)));
  }
  for (const TSkippedGeometry& geometry : geometries) {
    const std::string what = geometry.kind == "prism" ? "prism geometry is not built" : "parts without geometry";
    lines.push_back(printable_text(fmt::format("bxf2-import: {}: {}: {} keep the host's default size ({})",
                                               files.user_file(geometry.bxf_name), what,
                                               placements(geometry.count, "part"), id_list("part", geometry.parts))));
  }
  for (const auto& [line, count] : others) {
    // "<file name>: <what>", the file as the user knows it.
    const size_t colon = line.find(": ");
    const std::string text =
        colon == std::string::npos ? line : files.user_file(line.substr(0, colon)) + line.substr(colon);
    lines.push_back(printable_text(files.user_text("bxf2-import: " + text)) +
                    (count > 1 ? fmt::format(" ({} times)", count) : std::string()));
  }
  return lines;
}

std::pair<std::string, std::string> split_failure_log(const std::string& logged) {
  std::string text = logged;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  const size_t last = text.rfind('\n');
  if (last == std::string::npos) return {std::string(), logged};
  return {text.substr(0, last + 1), logged.substr(last + 1)};
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
