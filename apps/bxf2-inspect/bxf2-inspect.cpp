// bxf2-inspect: reads a BXF2 file, or the BXF2 files of a ZIP archive, with
// the plug-in's reader and prints the document model as JSON, or why a file
// does not read.
//
//   bxf2-inspect FILE           the model as JSON on standard output
//   bxf2-inspect --check FILE   every link and component article that does
//                               not resolve, one per line; in an archive also
//                               components without their mesh and meshes
//                               nothing uses
//
// FILE is a BXF2 file or a ZIP archive (told by its content), or "-" for
// standard input. An archive is unpacked as the import unpacks it, into a
// temporary folder of its own; its top-level BXF2 files are read (sorted by
// name) and its cadData/*.dae meshes listed:
//
//   { "archive": "kitchen.zip",
//     "files": [ { "name": "kitchen.bxf2", "model": MODEL } ],  or "error" for one that does not read
//     "meshes": [ "cadData/1105_K2.dae", ... ] }
//
// A single file's JSON is its model alone. Files are named as the user knows
// them: a member of an archive as "<archive>(<member>)".
//
// Exit status: 0 when every file reads (and, with --check, has no problem);
// 1 when reading raises (the exception's class and message on standard
// error, and on a second line where in the file reading stopped) or when
// --check finds problems; 2 for a usage error; 3 when a file yields no
// document (missing, unreadable, not well-formed, invalid against its DTD;
// the XML parser's reason on a second line) or an archive cannot be
// unpacked. Every message starts with the program's name; text from files
// is printed with control characters escaped (the JSON escapes them itself).
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include "bxf.config.h"
#include "cli.conventions.h"
#include "import.bxf2.parser.h"
#include "import.bxf2.zip.h"
#include "inspect.model.h"
#include "platform.files.h"
#include "platform.xmldom.h"
#include "sysutils.h"

namespace {

using json = nlohmann::ordered_json;

constexpr const char* program = "bxf2-inspect";
constexpr const char* standard_input_name = "-";
// How a file read from standard input is named.
constexpr const char* standard_input_text = "(standard input)";

constexpr const char* exit_statuses =
    "Exit status:\n"
    "  0  every file reads (and, with --check, has no problem)\n"
    "  1  reading raised (its reason and where reading stopped on standard\n"
    "     error), or --check found problems\n"
    "  2  usage error\n"
    "  3  a file yields no document (missing, unreadable, not well-formed XML,\n"
    "     no root element), or the archive cannot be unpacked";

constexpr int exit_read_failed = 1;
constexpr int exit_no_document = 3;

void message(const std::string& text) { std::cerr << program << ": " << printable_text(text) << '\n'; }

// A temporary folder of this run, deleted with the object.
class TTempFolder {
 public:
  TTempFolder() : _path(temp_folder() + program + "-" + guid_to_hex(new_guid())) {
    if (!force_folders(_path)) throw EFileError(fmt::format("cannot create the temporary folder \"{}\"", _path));
  }
  ~TTempFolder() { delete_folder(_path); }
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;
  const std::string& path() const { return _path; }

 private:
  std::string _path;
};

// One file read: its model, or why not.
struct TRead {
  std::unique_ptr<CBXF> doc;
  int status = 0;     // 0, exit_read_failed or exit_no_document
  std::string error;  // "<class>: <message>" when reading raised
  // What a root other than `bxf` means for the import, said as --check
  // lists problems; "" for a `bxf` root.
  std::string root_problem;
};

// `text` with the path `from` replaced by `to` wherever it occurs.
std::string renamed(std::string text, const std::string& from, const std::string& to) {
  if (from == to || from.empty()) return text;
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// Reads the BXF2 file at `path`, named `name` in every message; a root
// other than `bxf` is reported unless `check` lists it as a problem.
TRead read_file(const std::string& path, const std::string& name, bool check) {
  TRead read;
  TBXF_read_location where;
  try {
    read.doc = parse_file(path, &where);
  } catch (const Exception& e) {
    read.error = std::string(e.class_name()) + ": " + e.message();
  } catch (const std::exception& e) {
    read.error = std::string("Exception: ") + e.what();
  }
  if (!read.error.empty()) {
    message(read.error);
    if (const std::string place = read_failure_place(name, where); !place.empty()) message(place);
    read.status = exit_read_failed;
    return read;
  }
  if (!read.doc) {
    message(name +
            ": no BXF2 document (the file is missing, unreadable, not well-formed XML or not valid against "
            "its DTD)");
    if (!where.load_error.reason.empty()) message(renamed(xml_error_text(where.load_error), path, name));
    read.status = exit_no_document;
    return read;
  }
  if (!same_text(where.root_name, "bxf")) {
    read.root_problem = fmt::format("{}:{}:{}: the root element is <{}>, not <bxf>: nothing in it is imported", name,
                                    where.root_position.line, where.root_position.column, where.root_name);
    if (!check) message(read.root_problem);
  }
  return read;
}

std::string problem_line(const std::string& name, const TProblem& p) {
  if (p.line > 0) return fmt::format("{}:{}:{}: {}: {}", name, p.line, p.column, p.place, p.text);
  return fmt::format("{}: {}: {}", name, p.place, p.text);
}

// What one run looks at: a BXF2 file or an archive, on disk.
struct TInput {
  std::string path;  // on disk
  std::string name;  // as the user knows it
  bool archive = false;
};

bool is_zip(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  char magic[4] = {};
  const size_t got = std::fread(magic, 1, 4, file);
  std::fclose(file);
  return got == 4 && magic[0] == 'P' && magic[1] == 'K' &&
         ((magic[2] == 3 && magic[3] == 4) || (magic[2] == 5 && magic[3] == 6));
}

// The top-level BXF2 files an archive unpacked into `folder` gives the
// import, by name, and its meshes ("cadData/<name>.dae").
std::vector<std::string> archived_files(const std::string& folder) {
  std::vector<std::string> names;
  for (const std::string& path : list_files(folder, "*.bxf2")) names.push_back(extract_file_name(path));
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> archived_meshes(const std::string& folder) {
  std::vector<std::string> names;
  const std::string meshes = resolve_path(include_trailing_delimiter(folder) + "cadData");
  for (const std::string& path : list_files(meshes, "*.dae"))
    names.push_back(extract_file_name(meshes) + "/" + extract_file_name(path));
  std::sort(names.begin(), names.end());
  return names;
}

int inspect_file(const TInput& input, bool check) {
  TRead read = read_file(input.path, input.name, check);
  if (!read.doc) return read.status;
  if (!check) {
    std::cout << model_to_json(*read.doc).dump(2, ' ', false, json::error_handler_t::replace) << '\n';
    return 0;
  }
  std::vector<std::string> problems;
  if (!read.root_problem.empty()) problems.push_back(read.root_problem);
  for (const TProblem& p : check_document(*read.doc)) problems.push_back(problem_line(input.name, p));
  for (const std::string& line : problems) std::cout << printable_text(line) << '\n';
  if (problems.empty()) {
    std::cout << "no problems\n";
    return 0;
  }
  std::cout << problems.size() << (problems.size() == 1 ? " problem\n" : " problems\n");
  return exit_read_failed;
}

int inspect_archive(const TInput& input, bool check) {
  TTempFolder folder;
  try {
    extract_archive(input.path, folder.path());
  } catch (const Exception& e) {
    message(renamed(e.message(), input.path, input.name));
    return exit_no_document;
  }
  const std::vector<std::string> meshes = archived_meshes(folder.path());
  json files = json::array();
  std::vector<std::string> problems;
  std::vector<std::string> used;  // mesh stems the components name
  bool raised = false, no_document = false;
  const std::vector<std::string> members = archived_files(folder.path());
  if (members.empty()) {
    const std::string none = input.name + ": no BXF2 file at the top of the archive: the import takes nothing from it";
    if (check)
      problems.push_back(none);
    else
      message(none);
  }
  for (const std::string& member : members) {
    const std::string path = include_trailing_delimiter(folder.path()) + member;
    const std::string name = input.name + "(" + member + ")";
    TRead read = read_file(path, name, check);
    raised = raised || read.status == exit_read_failed;
    no_document = no_document || read.status == exit_no_document;
    if (!read.doc) {
      files.push_back({{"name", member}, {"error", read.error.empty() ? "no BXF2 document" : read.error}});
      continue;
    }
    if (!check) {
      files.push_back({{"name", member}, {"model", model_to_json(*read.doc)}});
      continue;
    }
    if (!read.root_problem.empty()) problems.push_back(read.root_problem);
    for (const TProblem& p : check_document(*read.doc)) problems.push_back(problem_line(name, p));
    for (const TComponentMesh& mesh : component_meshes(*read.doc)) {
      used.push_back(mesh.stem);
      const bool found = std::any_of(meshes.begin(), meshes.end(),
                                     [&](const std::string& m) { return same_text(extract_file_stem(m), mesh.stem); });
      if (!found)
        problems.push_back(problem_line(
            name,
            {mesh.place, fmt::format("component \"{}\" has no mesh cadData/{}.dae in the archive", mesh.id, mesh.stem),
             mesh.line, mesh.column}));
    }
  }
  const int status = raised ? exit_read_failed : no_document ? exit_no_document : 0;
  if (!check) {
    json out = {{"archive", input.name}, {"files", files}, {"meshes", meshes}};
    std::cout << out.dump(2, ' ', false, json::error_handler_t::replace) << '\n';
    return status;
  }
  for (const std::string& mesh : meshes) {
    const bool is_used = std::any_of(used.begin(), used.end(),
                                     [&](const std::string& stem) { return same_text(stem, extract_file_stem(mesh)); });
    if (!is_used) problems.push_back(fmt::format("{}({}): no component uses this mesh", input.name, mesh));
  }
  for (const std::string& line : problems) std::cout << printable_text(line) << '\n';
  if (problems.empty() && status == 0) {
    std::cout << "no problems\n";
    return 0;
  }
  if (!problems.empty()) std::cout << problems.size() << (problems.size() == 1 ? " problem\n" : " problems\n");
  return status != 0 ? status : exit_read_failed;
}

// Standard input, kept in a file of the run's own temporary folder.
std::string save_standard_input(const TTempFolder& folder) {
  const std::string path = include_trailing_delimiter(folder.path()) + "standard-input";
  std::string bytes((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
  write_file_bytes(path, bytes);
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Prints the document model of a BXF2 file, or of the BXF2 files of a ZIP archive, as JSON, or why "
      "a file does not read.",
      program};
  use_clean_help(app, exit_statuses);
  std::string file_name;
  bool check = false;
  app.add_option("FILE", file_name, "the BXF2 file or ZIP archive to read; - for standard input")->required();
  app.add_flag("--check", check,
               "resolve every link and every component's article, and in an archive find every component's mesh "
               "and every mesh's component; list each one that fails (instead of printing the model)");
  app.set_version_flag("--version", std::string(program) + " " + bxf_version, "the project's version");
  app.set_help_flag("-h,--help", "this help");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return answer_parse_error(app, e, std::cout, std::cerr);
  }

  try {
    std::unique_ptr<TTempFolder> input_folder;
    TInput input{file_name, file_name};
    if (file_name == standard_input_name) {
      input_folder = std::make_unique<TTempFolder>();
      input = {save_standard_input(*input_folder), standard_input_text};
    }
    input.archive = is_zip(input.path);
    return input.archive ? inspect_archive(input, check) : inspect_file(input, check);
  } catch (const Exception& e) {
    message(e.message());
    return exit_no_document;
  } catch (const std::bad_alloc&) {
    std::fputs("bxf2-inspect: out of memory\n", stderr);
    return exit_read_failed;
  }
}
