// bxf2-inspect run on example files and on small broken files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include <zip.h>
#include <nlohmann/json.hpp>

#include "bxf.config.h"
#include "test.support.h"

using namespace test_support;

namespace {

using json = nlohmann::json;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs bxf2-inspect with `arguments` (already quoted for the shell).
Outcome inspect(const std::string& arguments) {
  std::string out = temp_path(".out"), err = temp_path(".err");
  std::string command = std::string("'") + BXF2_INSPECT + "' " + arguments + " >'" + out + "' 2>'" + err + "'";
  int status = std::system(command.c_str());
  Outcome run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_all(out), read_all(err)};
  std::remove(out.c_str());
  std::remove(err.c_str());
  return run;
}

std::string example(const std::string& name) { return "'" + std::string(BXF_EXAMPLES_DIR) + "/" + name + "'"; }

}  // namespace

TEST(bxf2_inspect, base_cabinet_json) {
  Outcome run = inspect(example("simple/base-cabinet.bxf2"));
  ASSERT_EQ(run.status, 0) << run.err;
  json doc = json::parse(run.out);
  EXPECT_EQ(doc["head"]["author"], "Example workshop");
  EXPECT_EQ(doc["head"].size(), 5u);
  const json& node = doc["scene"]["nodes"][0];
  EXPECT_EQ(node["id"], "wall-1");
  EXPECT_EQ(node["cabinet_links"][0]["reference_id"], "cab-600");
  EXPECT_EQ(node["cabinet_links"][0]["transformations"][0]["translation"], json::array({0.0, 0.0, 100.0}));
  EXPECT_EQ(node["container_links"], json::array());

  const json& lib = doc["library"];
  for (const char* key :
       {"cabinet_groups", "cabinets", "containers", "parts", "function_units", "articles", "components", "machinings"})
    EXPECT_TRUE(lib[key].is_array()) << key;
  EXPECT_EQ(lib.size(), 8u);
  const json& cabinet = lib["cabinets"][0];
  EXPECT_EQ(cabinet["model_key"], "US60");
  EXPECT_EQ(cabinet["part_links"].size(), 5u);
  EXPECT_EQ(cabinet["container_links"][0]["reference_id"], "inner-562");
  const json& container = lib["containers"][0];
  EXPECT_EQ(container["boundary"], json({{"kind", "Box"}, {"extent", {562.0, 540.0, 682.0}}}));
  EXPECT_EQ(lib["parts"].size(), 7u);
  EXPECT_EQ(lib["parts"][0]["geometry"], json({{"type", "box"}, {"extent", {19.0, 560.0, 720.0}}}));
  EXPECT_EQ(lib["parts"][0]["drawing_detail"]["front_orientation"], json::array({0.0, -1.0, 0.0}));
  const json& door = lib["function_units"][0];
  EXPECT_EQ(door["article_links"][0]["quantity"], 2);
  EXPECT_FALSE(door["part_links"][0].contains("quantity"));
  EXPECT_EQ(door["component_links"][2]["transformations"][0]["rotation"], json::array({1.0, 0.0, 0.0, 90.0}));
  EXPECT_EQ(lib["articles"][1]["component_numbers"], json::array({"K1"}));
  EXPECT_EQ(lib["articles"][1]["total_quantity"], 1);
  EXPECT_EQ(lib["components"][1]["machining_links"][0]["reference_id"], "cut-handle");
  ASSERT_EQ(lib["machinings"].size(), 1u);  // the drilling is not read
  EXPECT_EQ(lib["machinings"][0], json({{"type", "cut"},
                                        {"id", "cut-handle"},
                                        {"uid", "X-0001"},
                                        {"orientation", {1.0, 0.0, 0.0}},
                                        {"original_size", 200.0},
                                        {"final_size", 160.0}}));
}

TEST(bxf2_inspect, utf16_prism_example) {
  Outcome run = inspect(example("simple/corner-shelf.bxf2"));
  ASSERT_EQ(run.status, 0) << run.err;
  json doc = json::parse(run.out);
  EXPECT_EQ(doc["head"]["author"], "Atelier M\xC3\xBCller");
  EXPECT_EQ(doc["library"]["parts"][0]["geometry"],
            json({{"type", "prism"}, {"base_points", {{0.0, 0.0}, {350.0, 0.0}, {0.0, 350.0}}}, {"z_value", 19.0}}));
  EXPECT_EQ(doc["library"]["cabinet_groups"][0][0]["reference_id"], "SHELF-CAB");
  EXPECT_EQ(doc["library"]["cabinets"][0]["part_links"][1]["transformations"][0]["translation"][2], 300.5);
}

TEST(bxf2_inspect, examples_check_clean) {
  for (const char* name : {"simple/base-cabinet.bxf2", "simple/corner-shelf.bxf2", "kitchen/kitchen.bxf2"}) {
    SCOPED_TRACE(name);
    Outcome run = inspect("--check " + example(name));
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out, "no problems\n");
  }
}

TEST(bxf2_inspect, check_lists_every_problem) {
  TTempFile file(
      "<bxf><scene><nodes><node><cabinetLinks><cabinetLink referenceId='K'/><cabinetLink referenceId='nope'/>"
      "</cabinetLinks></node></nodes></scene><library><cabinets><cabinet id='k'><partLinks>"
      "<partLink referenceId='P9'/></partLinks></cabinet></cabinets>"
      "<components><component componentNumber='K7'><machiningLinks><machiningLink referenceId=''/>"
      "</machiningLinks></component></components></library></bxf>");
  Outcome run = inspect("--check " + file.arg());
  EXPECT_EQ(run.status, 1);
  // Each with the place of its element in the file.
  const std::string& f = file.path();
  EXPECT_EQ(run.out, f + ":1:70: scene.nodes[0].cabinet_links[1]: no cabinet with id \"nope\"\n" + f +
                         ":1:187: library.cabinets[0].part_links[0]: no part with id \"P9\"\n" + f +
                         ":1:260: library.components[0]: no article lists component number \"K7\"\n" + f +
                         ":1:308: library.components[0].machining_links[0]: no machining with id \"\"\n"
                         "4 problems\n");
}

// Ids and numbers come from the file: a terminal gets them escaped, in the
// problems and in the reason reading stopped. (XML admits no escape
// character itself, but it admits the one-byte control sequence introducer
// U+009B and tabs.)
TEST(bxf2_inspect, text_from_the_file_is_printed_escaped) {
  TTempFile links(
      "<bxf><scene><nodes><node><cabinetLinks><cabinetLink referenceId='cab&#9;[2J&#x9b;1m'/>"
      "</cabinetLinks></node></nodes></scene></bxf>");
  Outcome check = inspect("--check " + links.arg());
  EXPECT_EQ(check.status, 1);
  EXPECT_EQ(
      check.out,
      links.path() + ":1:40: scene.nodes[0].cabinet_links[0]: no cabinet with id \"cab\\t[2J\\u009b1m\"\n1 problem\n");
  TTempFile quantity("<bxf><library><articles><article totalQuantity='x&#x9b;2J'/></articles></library></bxf>");
  Outcome read = inspect(quantity.arg());
  EXPECT_EQ(read.status, 1);
  EXPECT_EQ(read.err.substr(0, read.err.find('\n')),
            "bxf2-inspect: EConvertError: 'x\\u009b2J' is not a valid integer value");
  EXPECT_EQ(read.err.find("\xC2\x9B"), std::string::npos) << read.err;
}

TEST(bxf2_inspect, reading_errors_with_place) {
  struct Case {
    std::string xml;
    std::string first_line;
    std::string place;  // after "<file>:"
  } cases[] = {
      {"<bxf>\n  <library>\n    <parts>\n      <part/>\n      <part/>\n      <part>\n"
       "        <geometry xsi:type='Box' id='g'/>\n      </part>\n    </parts>\n  </library>\n</bxf>\n",
       "EAssertionFailed: id (import.bxf2.parser, line ", "7:9: in bxf/library/parts/part[3]/geometry/@id"},
      {"<bxf><scene><nodes><node/><!-- x --></nodes></scene></bxf>",
       "EParse: ", "1:27: in bxf/scene/nodes/comment(): a comment where an element was expected"},
      {"<bxf><head>\n  stray words here, more than twenty characters\n</head></bxf>",
       "EParse: ", "1:12: in bxf/head/text(): text \"stray words here, mo...\" where an element was expected"},
      {"<bxf><head><?pi x?></head></bxf>", "EParse: ",
       "1:12: in bxf/head/processing-instruction(): a processing instruction where an element was expected"},
      {"<bxf><library>\n<parts><part><geometry xsi:type='Box'><extent>1,5 2</extent></geometry></part></parts>"
       "</library></bxf>",
       "EAssertionFailed: Assertion failure (import.bxf2.parser.tools, line ",
       "2:39: in bxf/library/parts/part/geometry/extent"},
      {"<bxf><library><articles><article totalQuantity='x'/></articles></library></bxf>",
       "EConvertError: 'x' is not a valid integer value", "1:25: in bxf/library/articles/article/@totalQuantity"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.xml);
    TTempFile file(c.xml);
    Outcome run = inspect(file.arg());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    std::string first = run.err.substr(0, run.err.find('\n'));
    std::string second = run.err.substr(first.size() + 1);
    EXPECT_EQ(first.compare(0, c.first_line.size() + 14, "bxf2-inspect: " + c.first_line), 0) << first;
    EXPECT_EQ(second, "bxf2-inspect: " + file.path() + ":" + c.place + "\n");
  }
}

TEST(bxf2_inspect, no_document_and_usage) {
  // The parser's reason follows on a second line.
  struct Case {
    std::string xml;
    std::string reason;  // after "<file>"
  } cases[] = {
      {"<bxf><head></bxf>", ":1:18: Opening and ending tag mismatch: head line 1 and bxf"},
      {"<?xml version='1.0' encoding='windows-1252'?>\n<bxf><head><author>K\x81</author></head></bxf>",
       ": input conversion failed due to input error, bytes 0x81 0x3C 0x2F 0x61"},
      {"<!DOCTYPE bxf [<!ENTITY wc 'Wall cabinet'>]>\n<bxf>&wc;</bxf>",
       ":2:16: not valid against its DTD: No declaration for element bxf"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.xml);
    TTempFile broken(c.xml);
    Outcome run = inspect(broken.arg());
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "bxf2-inspect: " + broken.path() +
                           ": no BXF2 document (the file is missing, unreadable, not well-formed XML or not valid "
                           "against its DTD)\n"
                           "bxf2-inspect: " +
                           broken.path() + c.reason + "\n");
  }
  Outcome missing = inspect("'/nonexistent/file.bxf2'");
  EXPECT_EQ(missing.status, 3);
  EXPECT_NE(
      missing.err.find("\nbxf2-inspect: /nonexistent/file.bxf2: cannot open the file: No such file or directory\n"),
      std::string::npos)
      << missing.err;

  // A file in a code page reads as that code page.
  TTempFile windows(
      "<?xml version='1.0' encoding='windows-1252'?><bxf><head><author>K\xFC"
      "chenschrank 5\x80"
      "</author></head></bxf>");
  Outcome read = inspect(windows.arg());
  ASSERT_EQ(read.status, 0) << read.err;
  EXPECT_EQ(json::parse(read.out)["head"]["author"],
            "K\xC3\xBC"
            "chenschrank 5\xE2\x82\xAC");
  Outcome run;

  // A root of another name reads as an empty document, and is said; for
  // --check it is a problem.
  TTempFile other("<?xml version='1.0'?>\n<document/>");
  run = inspect(other.arg());
  EXPECT_EQ(run.status, 0);
  json doc = json::parse(run.out);
  EXPECT_EQ(doc["scene"]["nodes"], json::array());
  EXPECT_EQ(doc["head"]["version"], "");
  const std::string root =
      other.path() + ":2:1: the root element is <document>, not <bxf>: nothing in it is imported\n";
  EXPECT_EQ(run.err, "bxf2-inspect: " + root);
  run = inspect("--check " + other.arg());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, root + "1 problem\n");

  // Usage errors name the program, never its path.
  run = inspect("");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "bxf2-inspect: FILE is required\nTry 'bxf2-inspect --help' for more information.\n");
  EXPECT_EQ(inspect("--bogus x.bxf2").status, 2);
  run = inspect("--help");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.find(BXF2_INSPECT), std::string::npos) << run.out;
  for (const char* text : {"Usage: bxf2-inspect [OPTIONS] FILE\n", "\n  FILE ", "\n  --check ", "\nExit status:\n  0 ",
                           "\n  1 ", "\n  2 ", "\n  3 "})
    EXPECT_NE(run.out.find(text), std::string::npos) << text;
  EXPECT_EQ(run.out.find("TEXT"), std::string::npos) << run.out;

  run = inspect("--version");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, std::string("bxf2-inspect ") + bxf_version + "\n");
}

namespace {

std::string example_text(const std::string& name) { return read_all(std::string(BXF_EXAMPLES_DIR) + "/" + name); }

// An archive at a path of its own holding `entries` (name, bytes), removed with the object.
class TempZip {
 public:
  explicit TempZip(const std::vector<std::pair<std::string, std::string>>& entries) : _path(temp_path(".zip")) {
    int code = 0;
    zip_t* archive = zip_open(_path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    for (const auto& [name, data] : entries) {
      zip_source_t* source = zip_source_buffer(archive, data.data(), data.size(), 0);
      zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8);
    }
    zip_close(archive);
  }
  ~TempZip() { std::remove(_path.c_str()); }
  std::string arg() const { return "'" + _path + "'"; }
  const std::string& path() const { return _path; }

 private:
  std::string _path;
};

}  // namespace

// An archive reads as the import unpacks it: each top-level BXF2 file with
// its model (the single file's schema), and the archive's meshes.
TEST(bxf2_inspect, an_archive_lists_its_files_with_their_models_and_its_meshes) {
  const std::string kitchen = example_text("kitchen/kitchen.bxf2");
  TempZip zip({{"kitchen.bxf2", kitchen},
               {"planning/ignored.bxf2", "<bxf/>"},
               {"cadData/1105_K2.dae", example_text("kitchen/cadData/1105_K2.dae")},
               {"cadData/4711_K1.dae", example_text("kitchen/cadData/4711_K1.dae")},
               {"cadData/2000_P1.dae", example_text("kitchen/cadData/2000_P1.dae")}});
  TTempFile single(kitchen);
  Outcome run = inspect(zip.arg());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const json doc = json::parse(run.out);
  EXPECT_EQ(doc["archive"], zip.path());
  ASSERT_EQ(doc["files"].size(), 1u);
  EXPECT_EQ(doc["files"][0]["name"], "kitchen.bxf2");
  EXPECT_EQ(doc["files"][0]["model"], json::parse(inspect(single.arg()).out));
  EXPECT_EQ(doc["meshes"], json::array({"cadData/1105_K2.dae", "cadData/2000_P1.dae", "cadData/4711_K1.dae"}));
  Outcome check = inspect("--check " + zip.arg());
  EXPECT_EQ(check.status, 0) << check.out << check.err;
  EXPECT_EQ(check.out, "no problems\n");

  // Standard input takes an archive as well as a file.
  Outcome piped = inspect("- <" + zip.arg());
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(json::parse(piped.out)["archive"], "(standard input)");
  Outcome file = inspect("--check - <" + single.arg());
  EXPECT_EQ(file.status, 0) << file.err;
  EXPECT_EQ(file.out, "no problems\n");
}

// --check also finds components whose mesh the archive lacks, meshes no
// component uses, and a file whose root is not <bxf>; members are named as
// "<archive>(<member>)".
TEST(bxf2_inspect, check_of_an_archive_finds_missing_and_unused_meshes) {
  const std::string cabinet = example_text("simple/base-cabinet.bxf2");
  TempZip zip({{"base-cabinet.bxf2", cabinet},
               {"plan.bxf2", "<?xml version='1.0'?>\n<project/>"},
               {"CADDATA/1105_k2.DAE", example_text("kitchen/cadData/1105_K2.dae")},
               {"CADDATA/9999_X.dae", example_text("kitchen/cadData/2000_P1.dae")}});
  Outcome check = inspect("--check " + zip.arg());
  EXPECT_EQ(check.status, 1);
  const std::string& z = zip.path();
  const size_t at = cabinet.find("<component id=\"handle-k1\"");
  ASSERT_NE(at, std::string::npos);
  const long line = std::count(cabinet.begin(), cabinet.begin() + long(at), '\n') + 1;
  const size_t column = at - cabinet.rfind('\n', at);
  EXPECT_EQ(check.out, z + "(base-cabinet.bxf2):" + std::to_string(line) + ":" + std::to_string(column) +
                           ": library.components[1]: component \"handle-k1\" has no mesh cadData/4711_K1.dae in the "
                           "archive\n" +
                           z +
                           "(plan.bxf2):2:1: the root element is <project>, not <bxf>: nothing in it is imported\n" +
                           z + "(CADDATA/9999_X.dae): no component uses this mesh\n3 problems\n");
  // A member that does not read is said as a single file's would be.
  TempZip broken(std::vector<std::pair<std::string, std::string>>{{"broken.bxf2", "<bxf><scene></bxf>"}});
  Outcome read = inspect(broken.arg());
  EXPECT_EQ(read.status, 3);
  EXPECT_EQ(read.err, "bxf2-inspect: " + broken.path() +
                          "(broken.bxf2): no BXF2 document (the file is missing, unreadable, not well-formed XML or "
                          "not valid against its DTD)\n"
                          "bxf2-inspect: " +
                          broken.path() +
                          "(broken.bxf2):1:19: Opening and ending tag mismatch: scene line 1 and bxf\n");
  EXPECT_EQ(json::parse(read.out)["files"][0]["error"], "no BXF2 document");
  // An archive that does not unpack.
  TTempFile not_zip("PK\x03\x04 but nothing after");
  Outcome bad = inspect(not_zip.arg());
  EXPECT_EQ(bad.status, 3);
  EXPECT_EQ(bad.err.rfind("bxf2-inspect: Cannot open archive \"" + not_zip.path() + "\": ", 0), 0u) << bad.err;
}
