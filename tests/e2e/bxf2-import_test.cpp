// bxf2-import end to end: the program runs as a user runs it, on the example
// kitchen and on broken archives, with its own temporary folder so that a
// folder left behind by the import shows.
#include <fcntl.h>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
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

#include "picture.reading.h"
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
    ASSERT_TRUE(file_exists(std::string(BXF_PLUGIN_BUILD_DIR) + "/import.bxf2.plg"))
        << "the build makes the plug-in module import.bxf2.plg before the tests";
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
// standard error is not a terminal: "[position/max] text", or "[position]
// text" once the position has passed the maximum (max -1 here).
struct TProgressLine {
  int position = 0, max = 0;
  std::string text;
};

std::vector<TProgressLine> progress_lines(const std::string& err) {
  static const std::regex step(R"(\[(-?[0-9]+)(/(-?[0-9]+))?\] (.*))");
  std::vector<TProgressLine> lines;
  std::istringstream in(err);
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (std::regex_match(line, m, step)) lines.push_back({std::stoi(m[1]), m[3].matched ? std::stoi(m[3]) : -1, m[4]});
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
// number of chosen files and shown only while the position has not passed
// it.
void expect_steps(const std::string& err, const std::vector<std::string>& expected, int chosen) {
  const std::vector<TProgressLine> lines = progress_lines(err);
  std::vector<std::string> texts;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int position = static_cast<int>(i) + 1;
    EXPECT_EQ(lines[i].position, position) << lines[i].text;
    EXPECT_EQ(lines[i].max, position <= chosen ? chosen : -1) << lines[i].text;
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
  const TResult r = run({"--warning", "ok", "--placement-center", "1,2,0.5", "-o", glb, "-o", json, kitchen_zip});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("5 cabinets, 47 parts, 12 component placements, 15 mesh objects, 47 articles in "),
            std::string::npos)
      << r.out;

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
               {extracting(file("upper.zip")), reading("1105_K2.DAE"), reading("2000_p1.Dae"), reading("4711_K1.DAE"),
                importing("KITCHEN.BXF2")},
               1);
  EXPECT_NE(r.out.find("5 cabinets, 47 parts, 12 component placements, 15 mesh objects, 47 articles in "),
            std::string::npos)
      << r.out;
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
  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::string err;  // part of standard error
  };
  const std::vector<Case> cases = {
      {"without meshport",
       {"--warning", "ok", "--without-meshport", kitchen_zip},
       "bxf2-import: This plugin requires Meshport plugin.\n"},
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
      {"climbing out from a subfolder",
       "deep.zip",
       {{"cadData/../../escaped.txt", "x"}},
       R"( refused: entry "cadData/../../escaped.txt" climbs out)"},
      {"absolute path", "absolute.zip", {{target, "x"}}, " refused: entry \"" + target + "\" has an absolute path"},
      {"absolute path with backslash",
       "backslash.zip",
       {{"\\escaped.txt", "x"}},
       R"( refused: entry "\escaped.txt" has an absolute path)"},
      {"drive letter",
       "drive.zip",
       {{"C:\\escaped.txt", "x"}},
       R"( refused: entry "C:\escaped.txt" starts with a drive letter)"},
      {"drive letter, relative",
       "drive-relative.zip",
       {{"c:escaped.txt", "x"}},
       R"( refused: entry "c:escaped.txt" starts with a drive letter)"},
      {"symbolic link",
       "link.zip",
       {{"cadData", root, S_IFLNK | 0777}},
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
  write_zip(file("shelf.zip"),
            {{"corner-shelf.bxf2", example("simple/corner-shelf.bxf2")}, {"cadData/4711_K1.dae", handle_dae}});
  write_file_bytes(file("other-root.bxf2"),
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<project><node id=\"wall-1\"/></project>\n");

  struct Case {
    const char* what;
    std::vector<std::string> files;
    std::vector<std::string> steps;
    std::vector<std::string> objects;    // top-level names
    bool ordered;                        // whether `objects` come in that order
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
       "\nbxf2-import: " + file("no-meshes.zip") +
           "(cadData/1105_K2.dae) is missing: 2 component placements skipped\n"},
      // The cabinet's handle mesh comes with the shelf's archive: it is there
      // only when both archives are unpacked into one cadData folder and all
      // meshes are converted before the first BXF2 file is built.
      {"two archives share cadData and are converted before either is imported",
       {file("cabinet.zip"), file("shelf.zip")},
       {extracting(file("cabinet.zip")), extracting(file("shelf.zip")), reading("1105_K2.dae"), reading("4711_K1.dae"),
        importing("base-cabinet.bxf2"), importing("corner-shelf.bxf2")},
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
       "\nbxf2-import: " + base_cabinet +
           ": cadData/4711_K1.dae is missing (a BXF2 file given on its own gets no meshes): 1 component placement "
           "skipped\n"},
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
  write_zip(file("cabinet.zip"),
            {{"base-cabinet.bxf2", cabinet_bxf2}, {"cadData/1105_K2.dae", example("kitchen/cadData/1105_K2.dae")}});
  write_file_bytes(file("not-xml.bxf2"), "Base cabinet 600; one door\n");
  write_file_bytes(file("stray-element.bxf2"),
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                   "<bxf><scene><nodes><cabinet id=\"cab-600\"/></nodes></scene></bxf>\n");
  write_zip(file("broken.zip"),
            {{"broken.bxf2", "<bxf><scene></bxf>"}, {"cadData/1105_K2.dae", example("kitchen/cadData/1105_K2.dae")}});

  // The builder refuses the document that a file which is no XML yields; the
  // XML parser's reason follows the plug-in's, in the user's terms (an
  // archived file as the archive's member), and then the reader's check of
  // the file. The last step is said only where nothing else names the file.
  const std::string no_document = "EAssertionFailed: Assertion failure (import.bxf2.import, line ";
  const std::string check = "bxf2-import: to list every problem of the file: bxf2-inspect --check ";
  struct Case {
    std::string what;
    std::vector<std::string> files;
    std::vector<std::string> steps;
    std::string reason;  // the logged line, or its start
    std::string after;   // the lines after the reason, exactly
  };
  std::vector<Case> cases = {
      {"a chosen file that is no XML",
       {corner_shelf, file("not-xml.bxf2"), base_cabinet},
       {extracting(corner_shelf), extracting(file("not-xml.bxf2"))},
       no_document,
       "bxf2-import: XML document not loaded: " + file("not-xml.bxf2") + ":1:1: Start tag expected, '<' not found\n" +
           check + file("not-xml.bxf2") + "\n"},
      {"a chosen file with an element out of place",
       {corner_shelf, file("stray-element.bxf2"), base_cabinet},
       {extracting(corner_shelf), extracting(file("stray-element.bxf2"))},
       "EAssertionFailed: cabinet (import.bxf2.parser, line ",
       "bxf2-import: " + file("stray-element.bxf2") + ":2:20: in bxf/scene/nodes/cabinet\n" + check +
           file("stray-element.bxf2") + "\n"},
      {"an archived file that is no XML",
       {corner_shelf, file("broken.zip")},
       {extracting(corner_shelf), extracting(file("broken.zip")), reading("1105_K2.dae"), importing("broken.bxf2")},
       no_document,
       "bxf2-import: XML document not loaded: " + file("broken.zip") +
           "(broken.bxf2):1:19: Opening and ending tag mismatch: scene line 1 and bxf\n" + check + file("broken.zip") +
           "\n"},
  };
  // Sound archives whose entries claim another compression method.
  for (const auto& [method, name] :
       std::vector<std::pair<uint16_t, std::string>>{{9, "deflate64"}, {12, "bzip2"}, {14, "lzma"}}) {
    const std::string archive = file(name + ".zip");
    write_zip(archive, {{"base-cabinet.bxf2", cabinet_bxf2}}, ZIP_CM_STORE);
    set_compression_method(archive, method);
    cases.push_back({"an archive compressed with " + name,
                     {file("cabinet.zip"), archive},
                     {extracting(file("cabinet.zip")), extracting(archive)},
                     fmt::format("EZipError: Archive \"{}\" refused: entry \"base-cabinet.bxf2\" uses compression "
                                 "method {} ({}); only stored (0) and deflated (8) entries are supported\n",
                                 archive, method, name),
                     ""});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> args{"--warning", "ok", "-o", file("p.json")};
    args.insert(args.end(), c.files.begin(), c.files.end());
    const TResult r = run(args);
    EXPECT_EQ(r.status, 1) << r.err;
    const std::string failed = "\nbxf2-import: the import failed (E_UNEXPECTED: catastrophic failure)\n";
    const size_t start = r.err.find(failed);
    ASSERT_NE(start, std::string::npos) << r.err;
    // The reason follows at once: no step adds anything here.
    const std::string report = r.err.substr(start + failed.size());
    EXPECT_EQ(report.substr(0, c.reason.size()), c.reason) << r.err;
    const size_t after = report.find('\n', c.reason.size() - 1);
    EXPECT_EQ(report.substr(after + 1), c.after) << r.err;
    EXPECT_EQ(r.err.find("the last step was"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(tmp), std::string::npos) << r.err;  // no temporary path
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
  // The start of a line about the file, reported as the archive's member.
  const std::string sound = "\nbxf2-import: " + file("cabinet-450.zip") + "(cabinet-450.bxf2): ";
  // A mesh where a name that climbs out of the mesh folder would find one.
  std::filesystem::create_directories(file("elsewhere"));
  std::filesystem::copy_file(std::string(BXF_PLUGIN_BUILD_DIR) + "/H-SK.meb", file("elsewhere/model_K1.meb"));
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> changes;  // to the sound cabinet
    int status;
    std::string err;                     // part of standard error
    std::multiset<std::string> present;  // names at any depth, as often as they occur
    std::vector<std::string> absent;
    double handle_width = 0;  // the x size of the handle's mesh objects; 0: not checked
  };
  const std::string drilling = R"(<machining xsi:type="Drilling" id="drill-handle" uid="X-0002"/>)";
  const std::string drilling_link = R"(<machiningLink id="handle-k1-drill" referenceId="drill-handle"/>)";
  const std::string cut_link = R"(<machiningLink id="handle-k1-cut" referenceId="cut-handle"/>)";
  const std::string cut = R"(<machining xsi:type="Cut" id="cut-handle")";
  const auto path_case = [&](const char* what, const std::string& article_number, const std::string& logged) {
    return Case{what,
                {{R"(articleNumber="4711")", "articleNumber=\"" + article_number + "\""}},
                0,
                sound + "component mesh name \"" + logged + "\" is not a file name; component \"handle-k1\" skipped\n",
                {cabinet_name, "Bottom (KUB)", "INNEN"},
                {"4711_K1", logged}};
  };
  // A link, or a component's number, that finds nothing ends the import
  // with the model's assertion naming what it looked for.
  const auto dangling_case = [&](const char* what, const std::string& from, const std::string& to,
                                 const std::string& id) {
    return Case{what, {{from, to}}, 1, fmt::format(fmt::runtime(lookup), id), {}, {}};
  };
  const std::vector<Case> cases = {
      {"every link resolves", {}, 0, "", {cabinet_name, "Bottom (KUB)", "INNEN", "4711_K1", "1105", "1105"}, {}, 0.8},
      {"ids are compared without ASCII letter case",
       {{R"(referenceId="cab-450")", R"(referenceId="CAB-450")"}},
       0,
       "",
       {cabinet_name, "4711_K1"},
       {}},
      dangling_case("a cabinet link names no cabinet", R"(referenceId="cab-450")", R"(referenceId="cab-451")",
                    "cab-451"),
      dangling_case("an empty id finds no cabinet", R"(referenceId="cab-450")", R"(referenceId="")", ""),
      dangling_case("a part link names no part", R"(referenceId="kub-412")", R"(referenceId="kub-413")", "kub-413"),
      dangling_case("a container link names no container", R"(referenceId="inner-412")", R"(referenceId="inner-413")",
                    "inner-413"),
      dangling_case("a function unit link names no function unit", R"(referenceId="door-446")",
                    R"(referenceId="door-447")", "door-447"),
      dangling_case("an article link names no article", R"(referenceId="hinge-1105")", R"(referenceId="hinge-1106")",
                    "hinge-1106"),
      dangling_case("a component link names no component", R"(referenceId="handle-k1")", R"(referenceId="handle-k2")",
                    "handle-k2"),
      dangling_case("no article lists the component's number", R"(componentNumber="K1")", R"(componentNumber="K7")",
                    "K7"),
      // Machinings other than cuts are skipped; the cuts beside them still apply.
      {"a machining link that names no machining is skipped",
       {{R"(referenceId="cut-handle")", R"(referenceId="cut-handle-2")"}},
       0,
       sound + "machining \"cut-handle-2\" of component \"handle-k1\" is not a cut; skipped\n",
       {cabinet_name, "4711_K1"},
       {}},
      {"a drilling beside the cut is skipped",
       {{cut, drilling + "\n      " + cut}, {cut_link, drilling_link + cut_link}},
       0,
       sound + "machining \"drill-handle\" of component \"handle-k1\" is not a cut; skipped\n",
       {cabinet_name, "Bottom (KUB)", "INNEN", "4711_K1"},
       {},
       0.8},
      {"a cut with original size 0 is skipped",
       {{R"(originalSize="200")", R"(originalSize="0")"}},
       0,
       sound + "cut \"cut-handle\" of component \"handle-k1\" gives no finite size (original size 0); skipped\n",
       {cabinet_name, "4711_K1"},
       {}},
      // Article and component agree on K3, but the archive brings no mesh for it.
      {"a component without mesh is skipped",
       {{"K1", "K3"}},
       0,
       "\nbxf2-import: " + file("cabinet-450.zip") +
           "(cadData/4711_K3.dae) is missing: 1 component placement skipped\n",
       {cabinet_name, "Bottom (KUB)", "INNEN"},
       {"4711_K3", "4711_K1"}},
      // The mesh file's name comes from the article number: one that holds a
      // path names no file, also where a mesh waits at the end of the path.
      path_case("an article number that climbs out of the mesh folder", "../../../elsewhere/model",
                "../../../elsewhere/model_K1"),
      path_case("an article number with a subfolder", "elsewhere/model", "elsewhere/model_K1"),
      path_case("an article number with backslashes", "..\\..\\..\\elsewhere\\model",
                "..\\..\\..\\elsewhere\\model_K1"),
      path_case("an article number with a drive", "C:model", "C:model_K1"),
      path_case("an article number with a control character", "model&#9;", "model\\t_K1"),
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string document = cabinet_450;
    for (const auto& [from, to] : c.changes) document = replaced(document, from, to);
    write_zip(file("cabinet-450.zip"), {{"cabinet-450.bxf2", document}, {"cadData/4711_K1.dae", handle_dae}});
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
      // Every number of the project is one (JSON writes null for NaN and infinity).
      for (const nlohmann::json& object : project["objects"]) {
        walk(object, [&](const nlohmann::json& entity) {
          for (const char* key : {"position", "size", "matrix", "texture_matrix"}) {
            if (!entity.contains(key)) continue;
            for (const nlohmann::json& x : entity[key]) EXPECT_TRUE(x.is_number()) << entity["name"] << " " << key;
          }
          if (entity["name"] != "4711_K1" || c.handle_width == 0) return;
          for (const nlohmann::json& mesh : entity["children"]) {
            EXPECT_NEAR(mesh["size"][0].get<double>(), c.handle_width, 1e-9) << mesh["name"];
          }
        });
      }
      std::filesystem::remove(file("p.json"));
    } else {
      EXPECT_NE(r.err.find("bxf2-import: the import failed (E_UNEXPECTED: catastrophic failure)\n"), std::string::npos)
          << r.err;
      EXPECT_FALSE(file_exists(file("p.json")));
    }
    expect_clean_temp();
  }
}

// ---------------------------------------------------------------------------
// A run a user can trust: inputs, outputs, interrupts, memory, text
// ---------------------------------------------------------------------------

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool address_sanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool address_sanitizer = true;
#else
constexpr bool address_sanitizer = false;
#endif
#else
constexpr bool address_sanitizer = false;
#endif

// A running bxf2-import, started as `run` starts it, with an optional limit
// on the child's resources.
struct TChild {
  pid_t pid = -1;
  std::string out_file, err_file;
};

TChild start(const std::string& root, const std::string& tmp, const std::vector<std::string>& args,
             const std::vector<std::pair<std::string, std::string>>& env = {}, int limit = -1, rlim_t value = 0) {
  TChild child{-1, root + "/out.txt", root + "/err.txt"};
  std::vector<std::string> argv_text{program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argv_text) argv.push_back(arg.data());
  argv.push_back(nullptr);
  child.pid = ::fork();
  if (child.pid == 0) {
    ::setenv("TMPDIR", tmp.c_str(), 1);
    ::setenv("BXF2_IMPORT_LOG", "", 1);
    for (const auto& [name, text] : env) ::setenv(name.c_str(), text.c_str(), 1);
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(child.out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(child.err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(in, 0), ::dup2(out, 1), ::dup2(err, 2);
    if (limit >= 0) {
      const rlimit r{value, value};
      ::setrlimit(limit, &r);
    }
    ::execv(argv[0], argv.data());
    _exit(127);
  }
  return child;
}

TResult finish(const TChild& child) {
  int raw = 0;
  while (::waitpid(child.pid, &raw, 0) < 0 && errno == EINTR) {
  }
  TResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  result.out = read_file_bytes(child.out_file);
  result.err = read_file_bytes(child.err_file);
  return result;
}

// The first file below `folder` whose name ends in `suffix`, "" when none.
std::string find_below(const std::string& folder, const std::string& suffix) {
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    if (it->path().string().ends_with(suffix)) return it->path().string();
  return {};
}

// Waits until `folder` holds a file ending in `suffix` with a whole line in
// it, and returns that file. The wait only guards against a hang: the
// program cannot get past what the test waits for.
std::string wait_for(const std::string& folder, const std::string& suffix) {
  for (int i = 0; i < 6000; ++i) {
    const std::string found = find_below(folder, suffix);
    if (!found.empty()) {
      const std::string text = read_file_bytes(found);
      if (!text.empty() && text.back() == '\n') return found;
    }
    ::usleep(10000);
  }
  ADD_FAILURE() << "nothing ending in " << suffix << " appeared below " << folder;
  return {};
}

// True while `pid` runs (a zombie has ended).
bool running(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  std::getline(stat, text);
  const std::size_t end = text.rfind(')');
  return end != std::string::npos && end + 2 < text.size() && text[end + 2] != 'Z';
}

// A BXF2 file whose links fan out: `n` cabinets, each with `n` containers,
// each with `n` function units, each with `n` boards: n^4 boxes from a few
// kilobytes.
std::string fan_out(int n) {
  const auto links = [n](const char* tag, const char* ref, const char* prefix) {
    std::string text;
    for (int i = 0; i < n; ++i)
      text += fmt::format(
          R"(<{0} id="{1}{2}" referenceId="{3}"><transformations><transformation translation="{2} 0 0"/></transformations></{0}>)",
          tag, prefix, i, ref);
    return text;
  };
  return fmt::format(R"(<?xml version="1.0" encoding="UTF-8"?>
<bxf xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<head><version>2.0</version><unit meter="0.001">mm</unit><angularunit>degree</angularunit></head>
<scene><nodes><node id="n" uid="N"><cabinetLinks>{}</cabinetLinks></node></nodes></scene>
<library>
<cabinets><cabinet id="cab" uid="C" modelKey="US"><containerLinks>{}</containerLinks></cabinet></cabinets>
<containers><container id="con" uid="I" modelKey="IN"><functionUnitLinks>{}</functionUnitLinks></container></containers>
<parts><part id="p" uid="P" modelKey="KUB"><geometry xsi:type="Box"><extent>10 10 10</extent></geometry></part></parts>
<functionUnits><functionUnit id="fu" uid="F"><partLinks>{}</partLinks></functionUnit></functionUnits>
</library></bxf>
)",
                     links("cabinetLink", "cab", "c"), links("containerLink", "con", "k"),
                     links("functionUnitLink", "fu", "f"), links("partLink", "p", "p"));
}

}  // namespace

TEST_F(bxf2_import, files_the_import_would_not_take_end_the_program_before_anything_runs) {
  std::filesystem::copy_file(kitchen_zip, file("KITCHEN.ZIP"));
  write_file_bytes(file("notes.txt"), "x");
  write_file_bytes(file("kitchen"), read_file_bytes(kitchen_zip));
  force_folders(file("folder.zip"));
  for (const std::string& bad :
       {file("missing.zip"), file("folder.zip"), file("notes.txt"), file("KITCHEN.ZIP"), file("kitchen")}) {
    SCOPED_TRACE(bad);
    const TResult r = run({"--warning", "ok", "-o", file("p.json"), kitchen_zip, bad});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("FILE: \"" + bad + "\" "), std::string::npos) << r.err;
    EXPECT_TRUE(progress_lines(r.err).empty()) << r.err;  // not even the first file was taken
    EXPECT_FALSE(file_exists(file("p.json")));
    expect_clean_temp();
  }
}

TEST_F(bxf2_import, a_write_that_fails_keeps_the_old_file_and_leaves_nothing_beside_it) {
  write_file_bytes(file("p.json"), "old project");
  write_file_bytes(file("p.glb"), "old model");
  write_file_bytes(file("p.pdf"), "old picture");
  // The files are larger than the limit; the plug-in's own files are not.
  const TResult r = finish(
      start(root, tmp,
            {"-q", "--warning", "ok", "-o", file("p.json"), "-o", file("p.glb"), "-o", file("p.pdf"), base_cabinet}, {},
            RLIMIT_FSIZE, 4096));
  EXPECT_EQ(r.status, 1) << r.err;
  for (const char* name : {"p.json", "p.glb", "p.pdf"})
    EXPECT_NE(r.err.find("bxf2-import: " + file(name) + ": the file cannot be written (File too large)\n"),
              std::string::npos)
        << r.err;
  EXPECT_EQ(read_file_bytes(file("p.json")), "old project");
  EXPECT_EQ(read_file_bytes(file("p.glb")), "old model");
  EXPECT_EQ(read_file_bytes(file("p.pdf")), "old picture");
  std::set<std::string> names;
  for (const auto& item : std::filesystem::directory_iterator(root)) names.insert(item.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"err.txt", "out.txt", "p.glb", "p.json", "p.pdf", "tmp"}));
  expect_clean_temp();
}

// Ctrl-C or SIGTERM while a mesh conversion runs (one that would never end):
// the conversion ends at once, the run writes nothing, keeps no temporary
// file and exits with 128 and the signal's number. A conversion that blocks
// inside the host itself ends with the second Ctrl-C.
TEST_F(bxf2_import, an_interrupted_run_writes_nothing_and_leaves_nothing_behind) {
  ASSERT_TRUE(file_exists(BLOCKING_CONVERTER)) << "the build makes the blocking converter before the tests";
  const std::string plugins = file("plugins");
  force_folders(plugins);
  for (const std::string name : {"import.bxf2.plg", "H-SK.meb"})
    std::filesystem::create_symlink(std::string(BXF_PLUGIN_BUILD_DIR) + "/" + name, plugins + "/" + name);
  std::filesystem::create_symlink(BLOCKING_CONVERTER, plugins + "/meshport.plg");
  write_zip(file("cabinet.zip"), {{"base-cabinet.bxf2", example("simple/base-cabinet.bxf2")},
                                  {"cadData/1105_K2.dae", example("kitchen/cadData/1105_K2.dae")}});
  struct TCase {
    const char* what;
    const char* converter;  // BLOCKING_CONVERTER
    std::vector<int> signals;
    int status;
  };
  const TCase cases[] = {
      {"Ctrl-C", "child", {SIGINT}, 130},
      {"SIGTERM", "child", {SIGTERM}, 143},
      {"Ctrl-C twice", "host", {SIGINT, SIGINT}, 130},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    write_file_bytes(file("p.json"), "old project");
    const TChild child =
        start(root, tmp, {"--plugin-dir", plugins, "--warning", "ok", "-o", file("p.json"), file("cabinet.zip")},
              {{"BLOCKING_CONVERTER", c.converter}});
    const std::string started = wait_for(tmp, ".meb.started");
    ASSERT_FALSE(started.empty());
    const pid_t blocker = std::stoi(read_file_bytes(started));
    for (std::size_t i = 0; i < c.signals.size(); ++i) {
      // A later signal only once the one before has arrived.
      if (i > 0) {
        ASSERT_FALSE(wait_for(tmp, ".meb.signalled").empty());
      }
      ::kill(child.pid, c.signals[i]);
    }
    const TResult r = finish(child);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find("bxf2-import: interrupted, nothing written\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(read_file_bytes(file("p.json")), "old project");
    EXPECT_FALSE(running(blocker));
    expect_clean_temp();
  }
}

TEST_F(bxf2_import, the_glb_stands_upright_where_the_json_is_z_up) {
  const TResult r = run({"-q", "--warning", "ok", "-o", file("k.glb"), "-o", file("k.json"), kitchen_zip});
  ASSERT_EQ(r.status, 0) << r.err;
  // The host's world bounds of the whole project, from the JSON.
  const nlohmann::json project = nlohmann::json::parse(read_file_bytes(file("k.json")));
  std::array<double, 3> lo{}, hi{};
  lo.fill(std::numeric_limits<double>::infinity());
  hi.fill(-std::numeric_limits<double>::infinity());
  for (const nlohmann::json& object : project["objects"]) {
    if (object["bounds"].is_null()) continue;
    for (int i = 0; i < 3; ++i) {
      lo[i] = std::min(lo[i], object["bounds"]["min"][i].get<double>());
      hi[i] = std::max(hi[i], object["bounds"]["max"][i].get<double>());
    }
  }
  ASSERT_GT(hi[2] - lo[2], 0.5);  // the kitchen has height

  // The glTF's: each mesh's accessor bounds through its node's transforms.
  const std::string glb = read_file_bytes(file("k.glb"));
  ASSERT_GT(glb.size(), 20u);
  uint32_t json_length = 0;
  std::memcpy(&json_length, glb.data() + 12, 4);
  const nlohmann::json gltf = nlohmann::json::parse(glb.substr(20, json_length));
  const nlohmann::json& nodes = gltf["nodes"];
  const std::vector<int> roots = gltf["scenes"][0]["nodes"];
  ASSERT_EQ(roots.size(), 1u);
  EXPECT_EQ(nodes[roots[0]]["name"], "project");
  // Column-major: the host's y axis goes to -Z, its z axis to +Y.
  EXPECT_EQ(nodes[roots[0]]["matrix"], nlohmann::json::parse("[1,0,0,0, 0,0,-1,0, 0,1,0,0, 0,0,0,1]"));
  using TMatrix = std::array<double, 16>;  // column-major, as glTF writes it
  const auto multiply = [](const TMatrix& a, const TMatrix& b) {
    TMatrix m{};
    for (int col = 0; col < 4; ++col)
      for (int row = 0; row < 4; ++row)
        for (int k = 0; k < 4; ++k) m[col * 4 + row] += a[k * 4 + row] * b[col * 4 + k];
    return m;
  };
  std::array<double, 3> glo{}, ghi{};
  glo.fill(std::numeric_limits<double>::infinity());
  ghi.fill(-std::numeric_limits<double>::infinity());
  const auto visit = [&](auto& self, int index, const TMatrix& parent) -> void {
    const nlohmann::json& node = nodes[index];
    TMatrix local{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    if (node.contains("matrix")) local = node["matrix"].get<TMatrix>();
    ASSERT_FALSE(node.contains("rotation") || node.contains("translation") || node.contains("scale"));
    const TMatrix world = multiply(parent, local);
    if (node.contains("mesh")) {
      for (const nlohmann::json& primitive : gltf["meshes"][node["mesh"].get<int>()]["primitives"]) {
        const nlohmann::json& accessor = gltf["accessors"][primitive["attributes"]["POSITION"].get<int>()];
        for (int corner = 0; corner < 8; ++corner) {
          double p[3];
          for (int i = 0; i < 3; ++i) p[i] = accessor[(corner >> i & 1) ? "max" : "min"][i].get<double>();
          for (int row = 0; row < 3; ++row) {
            const double v = world[row] * p[0] + world[4 + row] * p[1] + world[8 + row] * p[2] + world[12 + row];
            glo[row] = std::min(glo[row], v);
            ghi[row] = std::max(ghi[row], v);
          }
        }
      }
    }
    if (node.contains("children"))
      for (const nlohmann::json& child : node["children"]) self(self, child.get<int>(), world);
  };
  visit(visit, roots[0], TMatrix{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
  // glTF x = host x, glTF y = host z (up), glTF z = -host y.
  constexpr double tolerance = 1e-4;
  EXPECT_NEAR(glo[0], lo[0], tolerance);
  EXPECT_NEAR(ghi[0], hi[0], tolerance);
  EXPECT_NEAR(glo[1], lo[2], tolerance);
  EXPECT_NEAR(ghi[1], hi[2], tolerance);
  EXPECT_NEAR(glo[2], -hi[1], tolerance);
  EXPECT_NEAR(ghi[2], -lo[1], tolerance);
}

TEST_F(bxf2_import, text_from_files_is_printed_with_control_characters_escaped) {
  const std::string name = file("esc\x1b]0;x\a.bxf2");
  write_file_bytes(name, replaced(cabinet_450, R"(referenceId="cab-450")", R"(referenceId="cab&#x9b;2J&#9;")"));
  const TResult r = run({"--warning", "ok", name});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("[1/1] Extracting file (" + file("esc\\x1b]0;x\\x07.bxf2") + ")\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("\nEAssertionFailed: cab\\u009b2J\\t (import.bxf2.types, line "), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find('\a'), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("\xC2\x9B"), std::string::npos) << r.err;
  expect_clean_temp();
}

// A small file whose links fan out to millions of boxes: the project's limit
// or the memory ends the run with a plain message, never an abort.
TEST_F(bxf2_import, a_fan_out_ends_with_out_of_memory_not_an_abort) {
  write_file_bytes(file("fan-out.bxf2"), fan_out(45));  // 4 million boxes
  const TResult limited =
      run({"-q", "--warning", "ok", "--max-objects", "50", "-o", file("p.json"), file("fan-out.bxf2")});
  EXPECT_EQ(limited.status, 1) << limited.err;
  EXPECT_NE(limited.err.find("\nEOleSysError: E_OUTOFMEMORY: out of memory\n"
                             "bxf2-import: the project holds 50 objects, the most it may hold (--max-objects)\n"),
            std::string::npos)
      << limited.err;
  EXPECT_FALSE(file_exists(file("p.json")));
  expect_clean_temp();

  if (address_sanitizer) GTEST_SKIP() << "a memory limit does not work with the address sanitizer";
  const TResult starved = finish(start(root, tmp, {"-q", "--warning", "ok", "-o", file("p.json"), file("fan-out.bxf2")},
                                       {}, RLIMIT_AS, rlim_t(256) << 20));
  EXPECT_EQ(starved.status, 1) << starved.err;
  EXPECT_NE(starved.err.find("bxf2-import: out of memory\n"), std::string::npos) << starved.err;
  EXPECT_FALSE(file_exists(file("p.json")));
  expect_clean_temp();
}

// The example kitchen drawn in each picture format: every part and
// component mesh once in each view, the page and its text as the title,
// scale and dimensions say.
TEST_F(bxf2_import, the_example_kitchen_is_drawn_as_svg_png_and_pdf) {
  const TResult r =
      run({"-q", "--warning", "ok", "-o", file("k.svg"), "-o", file("k.png"), "-o", file("k.pdf"), kitchen_zip});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::optional<TSvgPicture> svg = read_svg(file("k.svg"));
  ASSERT_TRUE(svg);
  // 44 parts and 15 meshes, twice; the six materials once in the legend.
  EXPECT_EQ(svg->shapes.size(), 2u * (44 + 15) + 6);
  EXPECT_NEAR(svg->width, 841.89, 0.01);
  EXPECT_EQ(png_size(read_file_bytes(file("k.png"))), (std::pair{1600, 1000}));
  if (!pdf_tools_found()) GTEST_SKIP() << "pdfinfo and pdftotext (poppler-utils) are not installed";
  const std::string info = pdf_info(file("k.pdf"));
  EXPECT_NE(info.find("Pages:           1\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Title:           kitchen.zip\n"), std::string::npos) << info;
  const std::string text = pdf_text(file("k.pdf"));
  for (const char* expected :
       {"kitchen.zip", "5 cabinets, 47 parts, 12 component placements, 15 mesh objects, 47 articles",
        "Scale 1:20, A4 landscape", "Dimensions in mm", "Front elevation", "Plan", "1800", "2200", "624", "CABINET",
        "FRONT"})
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  expect_clean_temp();
}

// A run that imports nothing still draws its pictures: a page that says the
// project is empty. (Without the converter the command shows its message and
// ends having imported nothing.)
TEST_F(bxf2_import, an_empty_project_is_drawn_as_a_page_that_says_so) {
  const TResult r =
      run({"-q", "--without-meshport", "-o", file("e.svg"), "-o", file("e.png"), "-o", file("e.pdf"), base_cabinet});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::optional<TSvgPicture> svg = read_svg(file("e.svg"));
  ASSERT_TRUE(svg);
  EXPECT_TRUE(svg->shapes.empty());
  EXPECT_EQ(png_size(read_file_bytes(file("e.png"))), (std::pair{1600, 1000}));
  if (!pdf_tools_found()) GTEST_SKIP() << "pdfinfo and pdftotext (poppler-utils) are not installed";
  const std::string text = pdf_text(file("e.pdf"));
  for (const char* expected :
       {"base-cabinet.bxf2", "0 cabinets, 0 parts, 0 component placements, 0 mesh objects, 0 articles",
        "The project is empty."})
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  expect_clean_temp();
}

// ---------------------------------------------------------------------------
// The user's terms: prompts, places, what was left out, counts, warnings,
// conventions (one group of rows per promise)
// ---------------------------------------------------------------------------

namespace {

const std::string warning_text =
    "bxf2-import: Warning! The imported cabinets are not intended to be resized. This can result in incorrect "
    "reporting.\n";

// A run on a terminal: standard input and the controlling terminal are a
// new pseudo-terminal on which `typed` was typed ahead; standard output and
// standard error go to files. `screen` is what the terminal showed (the
// echo of the typing, and whatever the program asked there).
struct TTerminalResult {
  int status = -1;
  std::string screen, out, err;
};

TTerminalResult run_on_terminal(const std::string& root, const std::string& tmp, const std::vector<std::string>& args,
                                const std::string& typed) {
  std::vector<std::string> argv_text{program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argv_text) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const std::string out_file = root + "/out.txt", err_file = root + "/err.txt";
  int master = -1;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    ::setenv("TMPDIR", tmp.c_str(), 1);
    ::setenv("BXF2_IMPORT_LOG", "", 1);
    const int out = ::open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, 1), ::dup2(err, 2);
    ::execv(argv[0], argv.data());
    _exit(127);
  }
  TTerminalResult result;
  if (pid < 0) {
    ADD_FAILURE() << "no pseudo-terminal";
    return result;
  }
  // Typed ahead: the terminal keeps it until the program reads, if ever.
  [[maybe_unused]] const ssize_t written = ::write(master, typed.data(), typed.size());
  // The screen until the last process on the terminal lets go of it.
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    result.screen.append(buffer, size_t(n));
  }
  int raw = 0;
  while (::waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
  }
  ::close(master);
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  result.out = read_file_bytes(out_file);
  result.err = read_file_bytes(err_file);
  return result;
}

// The line and column ("48:9") of the first `text` in `document`.
std::string place_in(const std::string& document, const std::string& text) {
  const size_t at = document.find(text);
  EXPECT_NE(at, std::string::npos) << text;
  const size_t line_start = document.rfind('\n', at);
  const size_t line = size_t(std::count(document.begin(), document.begin() + long(at), '\n')) + 1;
  return fmt::format("{}:{}", line, at - (line_start == std::string::npos ? 0 : line_start + 1) + 1);
}

// A scene whose only COLLADA node is a camera: a file that gives no mesh.
const char* const camera_only = R"(<?xml version="1.0" encoding="utf-8"?>
<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">
  <asset><unit name="millimeter" meter="0.001"/><up_axis>Y_UP</up_axis></asset>
  <library_cameras><camera id="cam"><optics><technique_common><perspective>
    <yfov>45</yfov><aspect_ratio>1.5</aspect_ratio><znear>1</znear><zfar>1000</zfar>
  </perspective></technique_common></optics></camera></library_cameras>
  <library_visual_scenes><visual_scene id="Scene"><node id="c" name="c"><instance_camera url="#cam"/></node></visual_scene></library_visual_scenes>
  <scene><instance_visual_scene url="#Scene"/></scene>
</COLLADA>
)";

}  // namespace

// With FILEs nothing is asked, also on a terminal: the warning's text goes
// once to standard error and is answered as --warning says. --interactive
// asks on the terminal; what the user cancels there writes nothing.
TEST_F(bxf2_import, with_files_nothing_is_asked_and_interactive_asks_on_the_terminal) {
  // A file the import takes whole: nothing else is said about it.
  const std::string one = file("one.bxf2");
  write_file_bytes(one, fan_out(1));
  const std::string written = "bxf2-import: cancelled: {}; nothing imported, nothing written\n";
  struct TCase {
    const char* what;
    std::vector<std::string> args;
    std::string typed;  // ahead, on the terminal
    int status;
    std::string err;  // the whole of standard error, but for progress lines
    bool asked;       // the warning was shown on the terminal
  };
  const std::vector<TCase> cases = {
      // A close typed ahead would cancel the run, were anything asked.
      {"files given", {one}, "c\n", 0, warning_text, false},
      {"files given and --warning close",
       {"--warning", "close", one},
       "\n",
       1,
       warning_text + fmt::format(fmt::runtime(written), "the resize warning was closed (--warning close)"),
       false},
      {"--interactive, OK on the terminal", {"--interactive", one}, "\n", 0, "", true},
      {"--interactive, closed on the terminal",
       {"--interactive", one},
       "c\n",
       1,
       fmt::format(fmt::runtime(written), "the resize warning was closed"),
       true},
      {"--interactive without FILEs: the files typed", {"--interactive"}, "\n" + one + "\n\n", 0, "", true},
      {"--interactive without FILEs: none typed",
       {"--interactive"},
       "\n\n",
       1,
       fmt::format(fmt::runtime(written), "no file was chosen"),
       true},
      {"no FILE and no --interactive",
       {},
       "\n",
       2,
       "bxf2-import: no FILE given: name the files to import, or choose them on the terminal with --interactive\n"
       "Try 'bxf2-import --help' for more information.\n",
       false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    write_file_bytes(file("p.json"), "old project");
    std::vector<std::string> args{"-o", file("p.json")};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const TTerminalResult r = run_on_terminal(root, tmp, args, c.typed);
    EXPECT_EQ(r.status, c.status) << r.err << r.screen;
    std::string err;  // without the progress lines
    std::istringstream lines(r.err);
    for (std::string line; std::getline(lines, line);)
      if (!line.starts_with("[")) err += line + "\n";
    EXPECT_EQ(err, c.err) << r.screen;
    EXPECT_EQ(r.screen.find("Do not show again") != std::string::npos, c.asked) << r.screen;
    const std::string project = read_file_bytes(file("p.json"));
    if (c.status == 0) {
      EXPECT_EQ(top_level_names(nlohmann::json::parse(project)).size(), 1u);
      EXPECT_TRUE(r.out.starts_with("1 cabinet, 1 part, 0 component placements, ")) << r.out;
    } else {
      EXPECT_EQ(project, "old project");
      EXPECT_EQ(r.out, "");
    }
    expect_clean_temp();
  }
}

// A reading error names file, line, column and element path; a link that
// finds nothing, what it looked for and where it is; a parse error without
// a message, what was met; each then offers the reader's check. Archived
// files are the archive's members, never a temporary path.
TEST_F(bxf2_import, errors_name_the_place_in_the_file_as_the_user_knows_it) {
  const std::string zip = file("cabinet-450.zip");
  const std::string member = zip + "(cabinet-450.bxf2)";
  const std::string check = "bxf2-import: to list every problem of the file: bxf2-inspect --check " + zip + "\n";
  const std::string part_link = R"(<partLink id="cab-450-kub" referenceId="kub-412"/>)";
  const std::string component = R"(<component id="handle-k1" uid="M-0002" modelKey="handle" componentNumber="K1">)";
  struct TCase {
    const char* what;
    std::string from, to;  // the change to the sound cabinet
    std::string reason;    // the start of the logged reason
    std::string place;     // what to find in the changed document for the place; "" none
    std::string after;     // the lines after the reason, {} the place
  };
  const std::vector<TCase> cases = {
      {"a part link that finds no part", part_link, replaced(part_link, "kub-412", "kob-999"),
       "EAssertionFailed: kob-999 (import.bxf2.types, line ", "<partLink id=\"cab-450-kub\"",
       "bxf2-import: no part with id \"kob-999\", referenced at " + member + ":{}\n" + check},
      {"a component number no article lists", component, replaced(component, "K1", "K7"),
       "EAssertionFailed: K7 (import.bxf2.types, line ", "<component id=\"handle-k1\"",
       "bxf2-import: no article lists component number \"K7\" of component \"handle-k1\" at " + member + ":{}\n" +
           check},
      {"a comment in the head", "<head><version>", "<head><!-- exported by hand --><version>", "EParse: \n",
       "<!-- exported",
       "bxf2-import: " + member + ":{}: in bxf/head/comment(): a comment where an element was expected\n" + check},
      {"an element out of place", "<containers>", "<containerz>",
       "EAssertionFailed: containerz (import.bxf2.parser, line ", "<containerz>",
       "bxf2-import: " + member + ":{}: in bxf/library/containerz\n" + check},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::string document = replaced(cabinet_450, c.from, c.to);
    if (c.from == "<containers>") document = replaced(document, "</containers>", "</containerz>");
    write_zip(zip, {{"cabinet-450.bxf2", document}});
    const TResult r = run({"-q", "-o", file("p.json"), zip});
    EXPECT_EQ(r.status, 1) << r.err;
    const std::string failed = "bxf2-import: the import failed (E_UNEXPECTED: catastrophic failure)\n";
    ASSERT_EQ(r.err.substr(0, failed.size()), failed) << r.err;
    const std::string report = r.err.substr(failed.size());
    EXPECT_EQ(report.substr(0, c.reason.size()), c.reason) << r.err;
    const size_t after = report.find('\n');
    EXPECT_EQ(report.substr(after + 1), fmt::format(fmt::runtime(c.after), place_in(document, c.place))) << r.err;
    EXPECT_FALSE(file_exists(file("p.json")));
    expect_clean_temp();
  }
}

// One line per mesh that gives nothing (missing, unreadable, without
// geometry), naming it in the archive with the placements skipped, and one
// per part geometry that is not built.
TEST_F(bxf2_import, what_was_left_out_is_told_once_per_mesh_and_per_geometry) {
  const std::string zip = file("cabinet-450.zip");
  const std::string handle_link = R"(<componentLink id="door-446-handle" referenceId="handle-k1">)";
  // The handle placed three times.
  std::string three_handles = cabinet_450;
  const size_t begin = three_handles.find(handle_link);
  const size_t end = three_handles.find("</componentLink>", begin) + std::string("</componentLink>").size();
  const std::string link = three_handles.substr(begin, end - begin);
  three_handles.insert(end, link + link);
  struct TCase {
    const char* what;
    std::vector<TZipEntry> meshes;
    std::string line;  // a regular expression for the line about the handle's mesh
    int status = 0;
  };
  const std::string name = std::regex_replace(zip, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
  const std::vector<TCase> cases = {
      {"missing",
       {},
       "bxf2-import: " + name + R"(\(cadData/4711_K1\.dae\) is missing: 3 component placements skipped)"},
      // Meshport's own reason, when it gives one, comes in brackets.
      {"unreadable",
       {{"cadData/4711_K1.dae", "not a mesh"}},
       "bxf2-import: " + name +
           R"(\(cadData/4711_K1\.dae\) could not be converted( \(.*\))?: 3 component placements skipped)"},
      {"a camera only",
       {{"cadData/4711_K1.dae", camera_only}},
       "bxf2-import: " + name +
           R"(\(cadData/4711_K1\.dae\) (holds no geometry|could not be converted( \(.*\))?): 3 component placements skipped)"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<TZipEntry> entries{{"cabinet-450.bxf2", three_handles}};
    entries.insert(entries.end(), c.meshes.begin(), c.meshes.end());
    write_zip(zip, entries);
    const TResult r = run({"-q", "-o", file("p.json"), zip});
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> ours;  // Meshport may speak for itself as well
    std::istringstream lines(r.err);
    for (std::string line; std::getline(lines, line);)
      if (line.starts_with("bxf2-import: ")) ours.push_back(line);
    ASSERT_EQ(ours.size(), 1u) << r.err;
    EXPECT_TRUE(std::regex_match(ours[0], std::regex(c.line))) << ours[0];
    // Nothing is made for a component without mesh, not even an empty group.
    const std::multiset<std::string> names = all_names(nlohmann::json::parse(read_file_bytes(file("p.json"))));
    EXPECT_EQ(names.count("4711_K1"), 0u);
    EXPECT_EQ(names.count("Bottom (KUB)"), 1u);
    expect_clean_temp();
  }
  // Parts: the corner shelf's prism, placed twice.
  const TResult shelf = run({"-q", "-o", file("p.json"), corner_shelf});
  EXPECT_EQ(shelf.status, 0) << shelf.err;
  EXPECT_EQ(shelf.err, "bxf2-import: " + corner_shelf +
                           ": prism geometry is not built: 2 part placements keep the host's default size (part "
                           "\"shelf-tri\")\n");
}

// The summary counts what it names; -q leaves out progress and summary, so
// that a clean import says nothing, while warnings still come.
TEST_F(bxf2_import, the_summary_counts_what_it_names_and_quiet_is_quiet) {
  const TResult loud = run({kitchen_zip});
  ASSERT_EQ(loud.status, 0) << loud.err;
  EXPECT_TRUE(std::regex_match(
      loud.out, std::regex("5 cabinets, 47 parts, 12 component placements, 15 mesh objects, 47 articles in "
                           "[0-9]+\\.[0-9][0-9] s\n")))
      << loud.out;
  EXPECT_FALSE(progress_lines(loud.err).empty());
  const TResult quiet = run({"-q", "-o", file("k.json"), kitchen_zip});
  EXPECT_EQ(quiet.status, 0) << quiet.err;
  EXPECT_EQ(quiet.out, "");
  EXPECT_EQ(quiet.err, "");
  const TResult warned = run({"-q", "-o", file("k.json"), base_cabinet});
  EXPECT_EQ(warned.status, 0) << warned.err;
  EXPECT_EQ(warned.out, "");
  EXPECT_EQ(warned.err,
            "bxf2-import: " + base_cabinet +
                ": cadData/1105_K2.dae is missing (a BXF2 file given on its own gets no meshes): 2 component "
                "placements skipped\n"
                "bxf2-import: " +
                base_cabinet +
                ": cadData/4711_K1.dae is missing (a BXF2 file given on its own gets no meshes): 1 component "
                "placement skipped\n");
}

// Before the import starts: archives whose BXF2 files unpack into one, and
// heads that declare another unit than millimetres.
TEST_F(bxf2_import, files_that_would_surprise_are_warned_of_before_the_import) {
  const std::string one = fan_out(1);  // taken whole: nothing else is said
  const std::string centimetres = replaced(one, R"(<unit meter="0.001">mm</unit>)", R"(<unit meter="0.01">cm</unit>)");
  write_zip(file("a.zip"), {{"kitchen.bxf2", one}});
  write_zip(file("b.zip"), {{"Kitchen.bxf2", centimetres}});
  write_file_bytes(file("inches.bxf2"), replaced(one, R"(<unit meter="0.001">mm</unit>)", "<unit>inch</unit>"));
  const TResult r = run({"-q", "-o", file("p.json"), file("a.zip"), file("b.zip"), file("inches.bxf2")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "bxf2-import: " + file("a.zip") + "(kitchen.bxf2) and " + file("b.zip") +
                       "(Kitchen.bxf2) have the same name: only " + file("b.zip") +
                       "(Kitchen.bxf2) is imported\n"
                       "bxf2-import: " +
                       file("inches.bxf2") +
                       ": the head declares the unit \"inch\"; lengths are read as millimetres\n"
                       "bxf2-import: " +
                       file("b.zip") +
                       "(Kitchen.bxf2): the head declares the unit \"cm\" (meter=\"0.01\"); lengths are read as "
                       "millimetres\n");
  // One cabinet from the archives, one from the chosen file.
  EXPECT_EQ(top_level_names(nlohmann::json::parse(read_file_bytes(file("p.json")))).size(), 2u);
  // Said before the first step.
  const TResult loud = run({"-o", file("p.json"), file("a.zip"), file("b.zip")});
  EXPECT_LT(loud.err.find("have the same name"), loud.err.find("[1/2] Extracting file")) << loud.err;
  expect_clean_temp();
}

// The program's name, never its path, in usage lines and messages; help
// without the parser's annotations; "-" as standard output for one -o.
TEST_F(bxf2_import, conventions_of_the_command_line) {
  const TResult help = run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Imports BXF2 files", 0), 0u) << help.out;
  EXPECT_NE(help.out.find("\nUsage: bxf2-import [OPTIONS] [FILE...]\n"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("\nExit status:\n"), std::string::npos) << help.out;
  for (const char* noise : {"TEXT", ":{", "POSITIVE", BXF2_IMPORT_PROGRAM})
    EXPECT_EQ(help.out.find(noise), std::string::npos) << noise;
  const TResult wrong = run({"--warning", "maybe", kitchen_zip});
  EXPECT_EQ(wrong.status, 2);
  EXPECT_EQ(wrong.err,
            "bxf2-import: --warning: \"maybe\" is none of ok, tick, close\nTry 'bxf2-import --help' for more "
            "information.\n");

  // Asking needs a terminal: a process without one is told at once.
  {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::setsid();  // no controlling terminal any more
      const int err = ::open(file("err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(err, 2);
      ::execl(program.c_str(), program.c_str(), "--interactive", static_cast<char*>(nullptr));
      _exit(127);
    }
    int raw = 0;
    ASSERT_EQ(::waitpid(pid, &raw, 0), pid);
    EXPECT_EQ(WEXITSTATUS(raw), 2);
    EXPECT_EQ(read_file_bytes(file("err.txt")), "bxf2-import: --interactive: there is no terminal to ask on\n");
  }

  // Standard output takes the project (JSON unless --format says glb); the
  // summary then goes to standard error.
  const TResult json = run({"-o", "-", kitchen_zip});
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(top_level_names(nlohmann::json::parse(json.out)).size(), 6u);
  EXPECT_NE(json.err.find("\nbxf2-import: 5 cabinets, 47 parts, "), std::string::npos) << json.err;
  const TResult glb = run({"-q", "--format", "glb", "-o", "-", "-o", file("k.json"), kitchen_zip});
  ASSERT_EQ(glb.status, 0) << glb.err;
  EXPECT_EQ(glb.out.substr(0, 4), "glTF");
  EXPECT_EQ(glb.err, "");
  EXPECT_TRUE(file_exists(file("k.json")));

  // The JSON is laid out for reading, vectors on one line; --compact puts
  // the same project on one line.
  const std::string readable = read_file_bytes(file("k.json"));
  EXPECT_NE(readable.find("\n  \"placement_center\": [0.0, 0.0, 0.0],\n"), std::string::npos)
      << readable.substr(0, 200);
  const TResult compact = run({"-q", "--compact", "-o", file("c.json"), kitchen_zip});
  ASSERT_EQ(compact.status, 0) << compact.err;
  const std::string one_line = read_file_bytes(file("c.json"));
  EXPECT_EQ(std::count(one_line.begin(), one_line.end(), '\n'), 1);
  EXPECT_EQ(nlohmann::json::parse(one_line), nlohmann::json::parse(readable));
  expect_clean_temp();
}
