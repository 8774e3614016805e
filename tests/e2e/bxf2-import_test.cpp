// bxf2-import end to end: the program runs as a user runs it, on the example
// kitchen and on broken archives, with its own temporary folder so that a
// folder left behind by the import shows.
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform.files.h"

namespace {

const std::string program = BXF2_IMPORT_PROGRAM;
const std::string kitchen_zip = std::string(BXF_EXAMPLES_BUILD_DIR) + "/kitchen.zip";
const std::string examples = BXF_EXAMPLES_SOURCE_DIR;
const std::string base_cabinet = examples + "/simple/base-cabinet.bxf2";
const std::string corner_shelf = examples + "/simple/corner-shelf.bxf2";

// The top-level names the two simple examples give.
const std::string base_cabinet_name = "Base cabinet 600, one door (US60)";
const std::string corner_shelf_name = "Eckregal (ECKR)";

struct TResult {
  int status = -1;
  std::string out, err;
};

class bxf2_import : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!file_exists(std::string(BXF_PLUGIN_BUILD_DIR) + "/import.bxf2.plg"))
      GTEST_SKIP() << "the plug-in module import.bxf2.plg is not built";
    root = temp_folder() + "bxf2_import_e2e_" + guid_to_hex(new_guid());
    tmp = root + "/tmp";
    ASSERT_TRUE(force_folders(tmp));
  }
  void TearDown() override {
    if (!root.empty()) delete_folder(root);
  }

  // Runs the program with `args` (quoted here), TMPDIR pointing at `tmp` and
  // standard input not a terminal.
  TResult run(const std::vector<std::string>& args) {
    std::string command = "TMPDIR='" + tmp + "' BXF2_IMPORT_LOG= '" + program + "'";
    for (const std::string& arg : args) command += " '" + arg + "'";
    command += " </dev/null >'" + root + "/out.txt' 2>'" + root + "/err.txt'";
    TResult result;
    const int raw = std::system(command.c_str());
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = read_file_bytes(root + "/out.txt");
    result.err = read_file_bytes(root + "/err.txt");
    return result;
  }

  // Nothing is left in the temporary folder.
  void expect_clean_temp() {
    std::vector<std::string> left;
    for (const auto& item : std::filesystem::directory_iterator(tmp)) left.push_back(item.path().string());
    EXPECT_TRUE(left.empty()) << left.front();
  }

  // The path of `name` in the test's own folder.
  std::string file(const std::string& name) const { return root + "/" + name; }

  std::string root, tmp;
};

void walk(const nlohmann::json& entity, const std::function<void(const nlohmann::json&)>& visit) {
  visit(entity);
  if (entity.contains("children"))
    for (const nlohmann::json& child : entity["children"]) walk(child, visit);
}

struct TZipEntry {
  std::string name, data;
  uint32_t unix_mode = 0;  // file type and permissions; 0 records none
};

// Writes the archive `path` with `entries`, each compressed with `method`.
void write_zip(const std::string& path, const std::vector<TZipEntry>& entries, int32_t method = ZIP_CM_DEFAULT) {
  int code = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  ASSERT_NE(archive, nullptr);
  for (const TZipEntry& entry : entries) {
    zip_source_t* source = zip_source_buffer(archive, entry.data.data(), entry.data.size(), 0);
    const zip_int64_t index = zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8);
    ASSERT_GE(index, 0) << zip_strerror(archive);
    ASSERT_EQ(zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), method, 0), 0);
    if (entry.unix_mode != 0) {
      ASSERT_EQ(zip_file_set_external_attributes(archive, static_cast<zip_uint64_t>(index), 0, ZIP_OPSYS_UNIX,
                                                 entry.unix_mode << 16),
                0);
    }
  }
  ASSERT_EQ(zip_close(archive), 0) << path;
}

// Writes into every local header and every central directory record of the
// archive `path` the compression method `method`. Meant for archives of
// stored entries, whose data holds no header signature.
void set_compression_method(const std::string& path, uint16_t method) {
  std::string bytes = read_file_bytes(path);
  const auto patch = [&](const std::string& signature, std::size_t offset) {
    int patched = 0;
    for (std::size_t at = bytes.find(signature); at != std::string::npos; at = bytes.find(signature, at + 4)) {
      bytes[at + offset] = static_cast<char>(method & 0xFF);
      bytes[at + offset + 1] = static_cast<char>(method >> 8);
      ++patched;
    }
    ASSERT_GT(patched, 0) << path;
  };
  patch(std::string("PK\x03\x04", 4), 8);   // local file header
  patch(std::string("PK\x01\x02", 4), 10);  // central directory record
  write_file_bytes(path, bytes);
}

std::string example(const std::string& relative) { return read_file_bytes(examples + "/" + relative); }

// The steps the program printed on standard error, one line per step when
// standard error is not a terminal: "[position/max] text".
struct TProgressLine {
  int position = 0, max = 0;
  std::string text;
};

std::vector<TProgressLine> progress_lines(const std::string& err) {
  static const std::regex step(R"(\[(-?[0-9]+)/(-?[0-9]+)\] (.*))");
  std::vector<TProgressLine> lines;
  std::istringstream in(err);
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (std::regex_match(line, m, step)) lines.push_back({std::stoi(m[1]), std::stoi(m[2]), m[3]});
  }
  return lines;
}

std::string extracting(const std::string& path) { return "Extracting file (" + path + ")"; }
std::string reading(const std::string& name) { return "Reading 3D file (" + name + ")"; }
std::string importing(const std::string& name) { return "Importing BXF2 file (" + name + ")"; }

// `texts` with every run of mesh or archived BXF2 steps sorted: the command
// takes those files in directory listing order, which is the system's.
std::vector<std::string> listing_order_free(std::vector<std::string> texts) {
  const auto kind = [](const std::string& text) { return text.substr(0, text.find(" (")); };
  for (auto begin = texts.begin(); begin != texts.end();) {
    const auto end = std::find_if(begin, texts.end(), [&](const std::string& t) { return kind(t) != kind(*begin); });
    if (kind(*begin) != "Extracting file") std::sort(begin, end);
    begin = end;
  }
  return texts;
}

// The program printed the steps `expected` (up to directory listing order),
// the position advancing by one per step from 1, the maximum being the
// number of chosen files.
void expect_steps(const std::string& err, const std::vector<std::string>& expected, int chosen) {
  const std::vector<TProgressLine> lines = progress_lines(err);
  std::vector<std::string> texts;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].position, static_cast<int>(i) + 1) << lines[i].text;
    EXPECT_EQ(lines[i].max, chosen) << lines[i].text;
    texts.push_back(lines[i].text);
  }
  EXPECT_EQ(listing_order_free(texts), listing_order_free(expected)) << err;
}

std::vector<std::string> top_level_names(const nlohmann::json& project) {
  std::vector<std::string> names;
  for (const nlohmann::json& object : project["objects"]) names.push_back(object["name"]);
  return names;
}

// Every name in the project, at any depth.
std::multiset<std::string> all_names(const nlohmann::json& project) {
  std::multiset<std::string> names;
  for (const nlohmann::json& object : project["objects"])
    walk(object, [&](const nlohmann::json& entity) { names.insert(entity["name"].get<std::string>()); });
  return names;
}

}  // namespace

TEST_F(bxf2_import, the_example_kitchen_becomes_a_locked_project_centred_on_the_placement_area) {
  const std::string json = root + "/kitchen.json";
  const std::string glb = root + "/kitchen.glb";
  const TResult r = run({"-q", "--warning", "ok", "--placement-center", "1,2,0.5", "-o", glb, "-o", json, kitchen_zip});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("6 cabinets, 44 parts, 15 components, 47 articles in "), std::string::npos) << r.out;

  const nlohmann::json project = nlohmann::json::parse(read_file_bytes(json));
  EXPECT_EQ(project["placement_center"], nlohmann::json::parse("[1, 2, 0.5]"));
  ASSERT_FALSE(project["objects"].empty());
  std::array<double, 3> lo{}, hi{};
  lo.fill(std::numeric_limits<double>::infinity());
  hi.fill(-std::numeric_limits<double>::infinity());
  // The cabinets in the order the scene links them, each its own group, and
  // the container linked by the scene node itself (the worktop) in a group
  // named after the file.
  EXPECT_EQ(top_level_names(project),
            (std::vector<std::string>{"Base cabinet (US60)", "Drawer base cabinet (US60-S3)", "Tall cabinet (HS60)",
                                      "Wall cabinet (OS60)", "Wall cabinet (OS60)", "kitchen"}));
  std::map<std::string, int> kinds;
  std::set<std::string> materials;
  for (const nlohmann::json& object : project["objects"]) {
    walk(object, [&](const nlohmann::json& entity) {
      EXPECT_EQ(entity["locks"], nlohmann::json::parse("[true, true, true]")) << entity["name"];
      ++kinds[entity["kind"].get<std::string>()];
      if (entity["properties"].contains(".material.default.id"))
        materials.insert(entity["properties"][".material.default.id"].get<std::string>());
    });
    if (object["bounds"].is_null()) continue;
    for (int i = 0; i < 3; ++i) {
      lo[i] = std::min(lo[i], object["bounds"]["min"][i].get<double>());
      hi[i] = std::max(hi[i], object["bounds"]["max"][i].get<double>());
    }
  }
  // Every part a box, every drawer box and component mesh converted from
  // the archive or shipped with the plug-in, every article listed.
  EXPECT_EQ(kinds, (std::map<std::string, int>{{"article", 47}, {"box", 44}, {"group", 43}, {"mesh", 15}}));
  EXPECT_EQ(materials, (std::set<std::string>{"CABINET", "DRAWER", "DRAWER2", "ELEMENT", "FRONT"}));
  const std::array<double, 3> center{1, 2, 0.5};
  for (int i = 0; i < 3; ++i) EXPECT_NEAR((lo[i] + hi[i]) / 2, center[i], 1e-6) << "axis " << i;

  const std::string glb_bytes = read_file_bytes(glb);
  EXPECT_EQ(glb_bytes.substr(0, 4), "glTF");
  expect_clean_temp();
}

// Archives written on the desktop may spell the folder and the files in any
// letter case; the desktop finds them, and so does the import: the meshes
// of CADDATA/*.DAE are converted and every component finds its mesh. (The
// chosen archive's own extension is matched exactly.)
TEST_F(bxf2_import, an_archive_in_other_letter_cases_imports_its_components) {
  write_zip(file("upper.zip"), {{"KITCHEN.BXF2", example("kitchen/kitchen.bxf2")},
                                  {"CADDATA/1105_K2.DAE", example("kitchen/cadData/1105_K2.dae")},
                                  {"CadData/2000_p1.Dae", example("kitchen/cadData/2000_P1.dae")},
                                  {"caddata/4711_K1.DAE", example("kitchen/cadData/4711_K1.dae")}});
  const TResult reference = run({"-q", "--warning", "ok", "-o", file("reference.json"), kitchen_zip});
  ASSERT_EQ(reference.status, 0) << reference.err;
  const TResult r = run({"--warning", "ok", "-o", file("upper.json"), file("upper.zip")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("not found"), std::string::npos) << r.err;  // no component skipped
  expect_steps(r.err,
               {extracting(file("upper.zip")), reading("1105_K2.DAE"), reading("2000_p1.Dae"),
                reading("4711_K1.DAE"), importing("KITCHEN.BXF2")},
               1);
  EXPECT_NE(r.out.find("6 cabinets, 44 parts, 15 components, 47 articles in "), std::string::npos) << r.out;
  // The same project, but for the group named after the file.
  nlohmann::json upper = nlohmann::json::parse(read_file_bytes(file("upper.json")));
  const nlohmann::json expected = nlohmann::json::parse(read_file_bytes(file("reference.json")));
  ASSERT_EQ(upper["objects"].back()["name"], "KITCHEN");
  upper["objects"].back()["name"] = "kitchen";
  EXPECT_EQ(all_names(upper), all_names(expected));
  EXPECT_TRUE(upper["objects"] == expected["objects"]);
  expect_clean_temp();
}

TEST_F(bxf2_import, commands_that_end_without_importing_leave_an_empty_project) {
  std::filesystem::copy_file(kitchen_zip, root + "/KITCHEN.ZIP");
  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::string err;  // part of standard error
  };
  const std::vector<Case> cases = {
      {"warning closed", {"--warning", "close", kitchen_zip}, ""},
      {"upper-case extension", {"--warning", "ok", root + "/KITCHEN.ZIP"}, ""},
      {"without meshport", {"--warning", "ok", "--without-meshport", kitchen_zip},
       "This plugin requires Meshport plugin."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), {"-q", "-o", root + "/p.json"});
    const TResult r = run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    EXPECT_TRUE(nlohmann::json::parse(read_file_bytes(root + "/p.json"))["objects"].empty());
    expect_clean_temp();
  }
}

TEST_F(bxf2_import, broken_and_hostile_archives_fail_with_the_logged_reason) {
  // Each hostile archive holds a harmless BXF2 file first, so a refusal that
  // came only after writing would show in what is left.
  struct Case {
    const char* what;
    std::string name;  // of the archive
    std::vector<TZipEntry> entries;
    std::string reason;  // part of standard error, after the archive's path
  };
  const std::string target = root + "/escaped.txt";
  const std::vector<Case> cases = {
      {"not an archive", "damaged.zip", {}, ": "},
      {"climbing out", "hostile.zip", {{"../escaped.txt", "x"}}, R"( refused: entry "../escaped.txt" climbs out)"},
      {"climbing out from a subfolder", "deep.zip", {{"cadData/../../escaped.txt", "x"}},
       R"( refused: entry "cadData/../../escaped.txt" climbs out)"},
      {"absolute path", "absolute.zip", {{target, "x"}}, " refused: entry \"" + target + "\" has an absolute path"},
      {"absolute path with backslash", "backslash.zip", {{"\\escaped.txt", "x"}},
       R"( refused: entry "\escaped.txt" has an absolute path)"},
      {"drive letter", "drive.zip", {{"C:\\escaped.txt", "x"}},
       R"( refused: entry "C:\escaped.txt" starts with a drive letter)"},
      {"drive letter, relative", "drive-relative.zip", {{"c:escaped.txt", "x"}},
       R"( refused: entry "c:escaped.txt" starts with a drive letter)"},
      {"symbolic link", "link.zip", {{"cadData", root, S_IFLNK | 0777}},
       R"( refused: entry "cadData" is a symbolic link)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string archive = file(c.name);
    if (c.entries.empty()) {
      write_file_bytes(archive, "not an archive");
    } else {
      std::vector<TZipEntry> entries{{"kitchen.bxf2", "<bxf/>"}};
      entries.insert(entries.end(), c.entries.begin(), c.entries.end());
      write_zip(archive, entries);
    }
    const TResult r = run({"-q", "--warning", "ok", archive});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("the import failed"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(archive + "\"" + c.reason), std::string::npos) << r.err;  // the archive named in the reason
    EXPECT_FALSE(std::filesystem::exists(tmp + "/escaped.txt"));
    EXPECT_FALSE(std::filesystem::exists(target));
    expect_clean_temp();
  }
}

TEST_F(bxf2_import, usage_errors_exit_with_2) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {}, {"--warning", "maybe", kitchen_zip}, {"-o", root + "/x.obj", kitchen_zip}, {root + "/missing.zip"}}) {
    EXPECT_EQ(run(args).status, 2);
  }
}

TEST_F(bxf2_import, chosen_files_and_archives_are_imported_in_the_order_of_the_command) {
  const std::string cabinet_bxf2 = example("simple/base-cabinet.bxf2");
  const std::string hinge_dae = example("kitchen/cadData/1105_K2.dae");
  const std::string handle_dae = example("kitchen/cadData/4711_K1.dae");
  write_zip(file("subfolder.zip"), {{"planning/base-cabinet.bxf2", cabinet_bxf2}, {"cadData/1105_K2.dae", hinge_dae}});
  write_zip(file("no-meshes.zip"), {{"base-cabinet.bxf2", cabinet_bxf2}});
  write_zip(file("cabinet.zip"), {{"base-cabinet.bxf2", cabinet_bxf2}, {"cadData/1105_K2.dae", hinge_dae}});
  write_zip(file("shelf.zip"), {{"corner-shelf.bxf2", example("simple/corner-shelf.bxf2")},
                                {"cadData/4711_K1.dae", handle_dae}});
  write_file_bytes(file("other-root.bxf2"),
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<project><node id=\"wall-1\"/></project>\n");

  struct Case {
    const char* what;
    std::vector<std::string> files;
    std::vector<std::string> steps;
    std::vector<std::string> objects;  // top-level names
    bool ordered;                      // whether `objects` come in that order
    std::multiset<std::string> present;  // names at any depth, as often as they occur
    std::vector<std::string> absent;
    std::string err;  // part of standard error
  };
  const std::vector<Case> cases = {
      {"an archive whose BXF2 file sits in a subfolder converts its meshes and imports nothing",
       {file("subfolder.zip")},
       {extracting(file("subfolder.zip")), reading("1105_K2.dae")},
       {},
       true,
       {},
       {},
       ""},
      {"an archive without cadData converts nothing and imports its BXF2 file",
       {file("no-meshes.zip")},
       {extracting(file("no-meshes.zip")), importing("base-cabinet.bxf2")},
       {base_cabinet_name},
       true,
       {"Door (H-FRONT)", "1105", "1105", "4711"},
       {"1105_K2", "4711_K1"},
       R"(not found; component "hinge-k2" skipped)"},
      // The cabinet's handle mesh comes with the shelf's archive: it is there
      // only when both archives are unpacked into one cadData folder and all
      // meshes are converted before the first BXF2 file is built.
      {"two archives share cadData and are converted before either is imported",
       {file("cabinet.zip"), file("shelf.zip")},
       {extracting(file("cabinet.zip")), extracting(file("shelf.zip")), reading("1105_K2.dae"),
        reading("4711_K1.dae"), importing("base-cabinet.bxf2"), importing("corner-shelf.bxf2")},
       {base_cabinet_name, corner_shelf_name},
       false,
       {"1105_K2", "1105_K2", "4711_K1"},
       {},
       ""},
      // The chosen file is built while the archive's mesh is still unconverted.
      {"a chosen BXF2 file is imported at once, the archive's after the meshes",
       {file("shelf.zip"), base_cabinet},
       {extracting(file("shelf.zip")), extracting(base_cabinet), reading("4711_K1.dae"),
        importing("corner-shelf.bxf2")},
       {base_cabinet_name, corner_shelf_name},
       true,
       {"Door (H-FRONT)"},
       {"4711_K1", "1105_K2"},
       R"(not found; component "handle-k1" skipped)"},
      {"a file whose root is not bxf imports nothing and ends nothing",
       {file("other-root.bxf2"), base_cabinet},
       {extracting(file("other-root.bxf2")), extracting(base_cabinet)},
       {base_cabinet_name},
       true,
       {},
       {},
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> args{"--warning", "ok", "-o", file("p.json")};
    args.insert(args.end(), c.files.begin(), c.files.end());
    const TResult r = run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    expect_steps(r.err, c.steps, static_cast<int>(c.files.size()));
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;

    const nlohmann::json project = nlohmann::json::parse(read_file_bytes(file("p.json")));
    std::vector<std::string> objects = top_level_names(project), expected = c.objects;
    if (!c.ordered) {
      std::sort(objects.begin(), objects.end());
      std::sort(expected.begin(), expected.end());
    }
    EXPECT_EQ(objects, expected);
    const std::multiset<std::string> names = all_names(project);
    for (const std::string& name : c.present) EXPECT_EQ(names.count(name), c.present.count(name)) << name;
    for (const std::string& name : c.absent) EXPECT_EQ(names.count(name), 0u) << name;
    expect_clean_temp();
  }
}

TEST_F(bxf2_import, a_file_that_cannot_be_read_ends_the_import_with_the_logged_reason) {
  const std::string cabinet_bxf2 = example("simple/base-cabinet.bxf2");
  write_zip(file("cabinet.zip"), {{"base-cabinet.bxf2", cabinet_bxf2},
                                  {"cadData/1105_K2.dae", example("kitchen/cadData/1105_K2.dae")}});
  write_file_bytes(file("not-xml.bxf2"), "Base cabinet 600; one door\n");
  write_file_bytes(file("stray-element.bxf2"),
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                   "<bxf><scene><nodes><cabinet id=\"cab-600\"/></nodes></scene></bxf>\n");
  write_zip(file("broken.zip"), {{"broken.bxf2", "<bxf><scene></bxf>"},
                                 {"cadData/1105_K2.dae", example("kitchen/cadData/1105_K2.dae")}});

  // The builder refuses the document that a file which is no XML yields; the
  // XML parser's reason follows the plug-in's.
  const std::string no_document = "EAssertionFailed: Assertion failure (import.bxf2.import, line ";
  struct Case {
    std::string what;
    std::vector<std::string> files;
    std::vector<std::string> steps;
    std::string reason;      // the logged line, or its start
    std::string xml_reason;  // the end of the XML parser's line, when a file did not load
  };
  std::vector<Case> cases = {
      {"a chosen file that is no XML", {corner_shelf, file("not-xml.bxf2"), base_cabinet},
       {extracting(corner_shelf), extracting(file("not-xml.bxf2"))}, no_document,
       file("not-xml.bxf2") + ":1:1: Start tag expected, '<' not found"},
      {"a chosen file with an element out of place", {corner_shelf, file("stray-element.bxf2"), base_cabinet},
       {extracting(corner_shelf), extracting(file("stray-element.bxf2"))},
       "EAssertionFailed: cabinet (import.bxf2.parser, line ", ""},
      {"an archived file that is no XML", {corner_shelf, file("broken.zip")},
       {extracting(corner_shelf), extracting(file("broken.zip")), reading("1105_K2.dae"), importing("broken.bxf2")},
       no_document, "/broken.bxf2:1:19: Opening and ending tag mismatch: scene line 1 and bxf"},
  };
  // Sound archives whose entries claim another compression method.
  for (const auto& [method, name] : std::vector<std::pair<uint16_t, std::string>>{
           {9, "deflate64"}, {12, "bzip2"}, {14, "lzma"}}) {
    const std::string archive = file(name + ".zip");
    write_zip(archive, {{"base-cabinet.bxf2", cabinet_bxf2}}, ZIP_CM_STORE);
    set_compression_method(archive, method);
    cases.push_back({"an archive compressed with " + name, {file("cabinet.zip"), archive},
                     {extracting(file("cabinet.zip")), extracting(archive)},
                     fmt::format("EZipError: Archive \"{}\" refused: entry \"base-cabinet.bxf2\" uses compression "
                                 "method {} ({}); only stored (0) and deflated (8) entries are supported",
                                 archive, method, name),
                     ""});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> args{"--warning", "ok", "-o", file("p.json")};
    args.insert(args.end(), c.files.begin(), c.files.end());
    const TResult r = run(args);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("bxf2-import: the import failed (0x8000FFFF)\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\n" + c.reason), std::string::npos) << r.err;
    const size_t xml = r.err.find("\nbxf2-import: XML document not loaded: ");
    if (c.xml_reason.empty()) {
      EXPECT_EQ(xml, std::string::npos) << r.err;
    } else {
      EXPECT_GT(xml, r.err.find("\n" + c.reason)) << r.err;  // beside the plug-in's reason
      EXPECT_NE(r.err.find(c.xml_reason + "\n", xml), std::string::npos) << r.err;
    }
    EXPECT_NE(r.err.find("\nbxf2-import: the last step was: " + c.steps.back() + "\n"), std::string::npos) << r.err;
    // The files before the failing one were imported (the steps show it),
    // but a failed import writes no project.
    expect_steps(r.err, c.steps, static_cast<int>(c.files.size()));
    EXPECT_FALSE(file_exists(file("p.json")));
    expect_clean_temp();
  }
}

namespace {

// A base cabinet 450 whose every kind of link resolves: a bottom board, the
// inner container with a door function unit, its two hinges as articles and
// its handle as a component with a cut.
const char* const cabinet_450 = R"(<?xml version="1.0" encoding="UTF-8"?>
<bxf xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
  <head><version>2.0</version><unit meter="0.001">mm</unit><angularunit>degree</angularunit></head>
  <scene>
    <nodes>
      <node id="wall-2" uid="N-0002">
        <cabinetLinks>
          <cabinetLink id="wall-2-c1" referenceId="cab-450">
            <transformations><transformation translation="0 0 100"/></transformations>
          </cabinetLink>
        </cabinetLinks>
      </node>
    </nodes>
  </scene>
  <library>
    <cabinets>
      <cabinet id="cab-450" uid="C-0450" modelKey="US45">
        <description>Base cabinet 450</description>
        <partLinks><partLink id="cab-450-kub" referenceId="kub-412"/></partLinks>
        <containerLinks>
          <containerLink id="cab-450-inner" referenceId="inner-412">
            <transformations><transformation translation="19 0 19"/></transformations>
          </containerLink>
        </containerLinks>
      </cabinet>
    </cabinets>
    <containers>
      <container id="inner-412" uid="I-0450" modelKey="INNEN">
        <functionUnitLinks><functionUnitLink id="inner-412-door" referenceId="door-446"/></functionUnitLinks>
      </container>
    </containers>
    <parts>
      <part id="kub-412" uid="P-0450" modelKey="KUB">
        <geometry xsi:type="Box"><extent>412 560 19</extent></geometry>
        <description>Bottom</description>
      </part>
    </parts>
    <functionUnits>
      <functionUnit id="door-446" uid="F-0450">
        <description>Door, hinged right</description>
        <articleLinks><articleLink id="door-446-hinges" referenceId="hinge-1105" quantity="2"/></articleLinks>
        <componentLinks>
          <componentLink id="door-446-handle" referenceId="handle-k1">
            <transformations><transformation translation="390 -30 600" rotation="1 0 0 90"/></transformations>
          </componentLink>
        </componentLinks>
      </functionUnit>
    </functionUnits>
    <articles>
      <article id="hinge-1105" uid="A-0001" itemNumber="1" articleNumber="1105" totalQuantity="2">
        <description>Concealed hinge 110 degrees</description>
      </article>
      <article id="handle-4711" uid="A-0002" itemNumber="2" articleNumber="4711" totalQuantity="1">
        <componentNumbers><componentNumber>K1</componentNumber></componentNumbers>
        <description>Bar handle 160</description>
      </article>
    </articles>
    <components>
      <component id="handle-k1" uid="M-0002" modelKey="handle" componentNumber="K1">
        <machiningLinks><machiningLink id="handle-k1-cut" referenceId="cut-handle"/></machiningLinks>
      </component>
    </components>
    <machinings>
      <machining xsi:type="Cut" id="cut-handle" uid="X-0001" orientation="1 0 0" originalSize="200" finalSize="160"/>
    </machinings>
  </library>
</bxf>
)";

// `text` with every `from` replaced by `to`.
std::string replaced(std::string text, const std::string& from, const std::string& to) {
  if (from.empty()) return text;
  std::size_t count = 0;
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
    ++count;
  }
  EXPECT_GT(count, 0u) << from;
  return text;
}

}  // namespace

TEST_F(bxf2_import, links_are_resolved_when_the_import_builds_them) {
  const std::string handle_dae = example("kitchen/cadData/4711_K1.dae");
  const std::string cabinet_name = "Base cabinet 450 (US45)";
  const std::string lookup = "EAssertionFailed: {} (import.bxf2.types, line ";
  struct Case {
    const char* what;
    std::string from, to;  // the change to the sound cabinet
    int status;
    std::string err;  // part of standard error
    std::multiset<std::string> present;  // names at any depth, as often as they occur
    std::vector<std::string> absent;
  };
  const std::vector<Case> cases = {
      {"every link resolves", "", "", 0, "", {cabinet_name, "Bottom (KUB)", "INNEN", "4711_K1", "1105", "1105"}, {}},
      {"ids are compared without ASCII letter case", R"(referenceId="cab-450")", R"(referenceId="CAB-450")", 0, "",
       {cabinet_name, "4711_K1"}, {}},
      {"a cabinet link names no cabinet", R"(referenceId="cab-450")", R"(referenceId="cab-451")", 1,
       fmt::format(fmt::runtime(lookup), "cab-451"), {}, {}},
      {"an empty id finds no cabinet", R"(referenceId="cab-450")", R"(referenceId="")", 1,
       fmt::format(fmt::runtime(lookup), ""), {}, {}},
      {"a part link names no part", R"(referenceId="kub-412")", R"(referenceId="kub-413")", 1,
       fmt::format(fmt::runtime(lookup), "kub-413"), {}, {}},
      {"a container link names no container", R"(referenceId="inner-412")", R"(referenceId="inner-413")", 1,
       fmt::format(fmt::runtime(lookup), "inner-413"), {}, {}},
      {"a function unit link names no function unit", R"(referenceId="door-446")", R"(referenceId="door-447")", 1,
       fmt::format(fmt::runtime(lookup), "door-447"), {}, {}},
      {"an article link names no article", R"(referenceId="hinge-1105")", R"(referenceId="hinge-1106")", 1,
       fmt::format(fmt::runtime(lookup), "hinge-1106"), {}, {}},
      {"a component link names no component", R"(referenceId="handle-k1")", R"(referenceId="handle-k2")", 1,
       fmt::format(fmt::runtime(lookup), "handle-k2"), {}, {}},
      {"no article lists the component's number", R"(componentNumber="K1")", R"(componentNumber="K7")", 1,
       fmt::format(fmt::runtime(lookup), "K7"), {}, {}},
      {"a machining link names no machining", R"(referenceId="cut-handle")", R"(referenceId="cut-handle-2")", 1,
       fmt::format(fmt::runtime(lookup), "cut-handle-2"), {}, {}},
      // Article and component agree on K3, but the archive brings no mesh for it.
      {"a component without mesh is skipped", "K1", "K3", 0,
       R"(/cadData/4711_K3.meb" not found; component "handle-k1" skipped)", {cabinet_name, "Bottom (KUB)", "INNEN"},
       {"4711_K3", "4711_K1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    write_zip(file("cabinet-450.zip"), {{"cabinet-450.bxf2", replaced(cabinet_450, c.from, c.to)},
                                        {"cadData/4711_K1.dae", handle_dae}});
    const TResult r = run({"--warning", "ok", "-o", file("p.json"), file("cabinet-450.zip")});
    std::filesystem::remove(file("cabinet-450.zip"));
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    expect_steps(r.err, {extracting(file("cabinet-450.zip")), reading("4711_K1.dae"), importing("cabinet-450.bxf2")},
                 1);
    if (c.status == 0) {
      const nlohmann::json project = nlohmann::json::parse(read_file_bytes(file("p.json")));
      EXPECT_EQ(top_level_names(project), std::vector<std::string>{cabinet_name});
      const std::multiset<std::string> names = all_names(project);
      for (const std::string& name : c.present) EXPECT_EQ(names.count(name), c.present.count(name)) << name;
      for (const std::string& name : c.absent) EXPECT_EQ(names.count(name), 0u) << name;
      std::filesystem::remove(file("p.json"));
    } else {
      EXPECT_NE(r.err.find("bxf2-import: the import failed (0x8000FFFF)\n"), std::string::npos) << r.err;
      EXPECT_FALSE(file_exists(file("p.json")));
    }
    expect_clean_temp();
  }
}
