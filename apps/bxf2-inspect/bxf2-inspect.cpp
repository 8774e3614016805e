// bxf2-inspect: reads one BXF2 file with the plug-in's reader and prints the
// document model as JSON, or why the file does not read.
//
//   bxf2-inspect FILE.bxf2           the model as JSON on standard output
//   bxf2-inspect --check FILE.bxf2   every link and component article that
//                                    does not resolve, one per line
//
// Exit status: 0 when the file reads (and, with --check, everything
// resolves); 1 when reading raises (the exception's class and message on
// standard error, and on a second line where in the file reading stopped) or
// when --check finds problems; 2 for a usage error; 3 when the file yields no
// document (missing, unreadable, not well-formed, invalid against its DTD;
// the XML parser's reason on a second line). Text from the file is printed
// with control characters escaped (the JSON escapes them itself).
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "bxf.config.h"
#include "import.bxf2.parser.h"
#include "inspect.model.h"
#include "platform.xmldom.h"
#include "sysutils.h"

namespace {

// "FILE:LINE:COLUMN: in PATH" for the place where reading stopped, or "" when
// it is not known.
std::string place_of(const std::string& file_name, const TBXF_read_location& where) {
  if (where.node.is_null()) return {};
  std::string path = node_path(where.node, where.attribute);
  if (TTextPosition position = where.node.source_position(); position.line > 0)
    return fmt::format("{}:{}:{}: in {}", file_name, position.line, position.column, path);
  return fmt::format("{}: in {}", file_name, path);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Prints the document model of a BXF2 file as JSON, or why the file does not read."};
  std::string file_name;
  bool check = false;
  app.add_option("FILE", file_name, "the BXF2 file to read")->required();
  app.add_flag("--check", check,
               "resolve every link and every component's article and list each one that fails "
               "(instead of printing the model)");
  app.set_version_flag("--version", std::string("bxf2-inspect ") + bxf_version, "the project's version");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }

  std::unique_ptr<CBXF> doc;
  TBXF_read_location where;
  try {
    doc.reset(parse_file(file_name, &where));
  } catch (const Exception& e) {
    std::cerr << e.class_name() << ": " << printable_text(e.message()) << "\n";
    if (std::string place = place_of(file_name, where); !place.empty()) std::cerr << printable_text(place) << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "Exception: " << printable_text(e.what()) << "\n";
    return 1;
  }
  if (!doc) {
    std::cerr << printable_text(file_name) << ": no BXF2 document (the file is missing, unreadable, not well-formed XML "
              << "or not valid against its DTD)\n";
    if (!where.load_error.reason.empty()) std::cerr << printable_text(xml_error_text(where.load_error)) << "\n";
    return 3;
  }

  if (check) {
    std::vector<TProblem> problems = check_document(*doc);
    for (const TProblem& p : problems) std::cout << printable_text(p.place) << ": " << printable_text(p.text) << "\n";
    if (problems.empty()) {
      std::cout << "no problems\n";
      return 0;
    }
    std::cout << problems.size() << (problems.size() == 1 ? " problem\n" : " problems\n");
    return 1;
  }

  std::cout << model_to_json(*doc).dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
  return 0;
}
