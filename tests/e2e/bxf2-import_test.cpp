// bxf2-import end to end: the program runs as a user runs it, on the example
// kitchen and on broken archives, with its own temporary folder so that a
// folder left behind by the import shows.
#include <gtest/gtest.h>
#include <zip.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform.files.h"

namespace {

const std::string program = BXF2_IMPORT_PROGRAM;
const std::string kitchen_zip = std::string(BXF_EXAMPLES_BUILD_DIR) + "/kitchen.zip";

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

  std::string root, tmp;
};

void walk(const nlohmann::json& entity, const std::function<void(const nlohmann::json&)>& visit) {
  visit(entity);
  if (entity.contains("children"))
    for (const nlohmann::json& child : entity["children"]) walk(child, visit);
}

void write_zip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries) {
  int code = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  ASSERT_NE(archive, nullptr);
  for (const auto& [name, data] : entries) {
    zip_source_t* source = zip_source_buffer(archive, data.data(), data.size(), 0);
    ASSERT_GE(zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8), 0) << zip_strerror(archive);
  }
  ASSERT_EQ(zip_close(archive), 0);
}

}  // namespace

TEST_F(bxf2_import, the_example_kitchen_becomes_a_locked_project_centred_on_the_placement_area) {
  const std::string json = root + "/kitchen.json";
  const std::string glb = root + "/kitchen.glb";
  const TResult r = run({"-q", "--warning", "ok", "--placement-center", "1,2,0.5", "-o", glb, "-o", json, kitchen_zip});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(" cabinets, "), std::string::npos) << r.out;

  const nlohmann::json project = nlohmann::json::parse(read_file_bytes(json));
  EXPECT_EQ(project["placement_center"], nlohmann::json::parse("[1, 2, 0.5]"));
  ASSERT_FALSE(project["objects"].empty());
  std::array<double, 3> lo{}, hi{};
  lo.fill(std::numeric_limits<double>::infinity());
  hi.fill(-std::numeric_limits<double>::infinity());
  int boxes = 0;
  for (const nlohmann::json& object : project["objects"]) {
    walk(object, [&](const nlohmann::json& entity) {
      EXPECT_EQ(entity["locks"], nlohmann::json::parse("[true, true, true]")) << entity["name"];
      if (entity["kind"] == "box") ++boxes;
    });
    if (object["bounds"].is_null()) continue;
    for (int i = 0; i < 3; ++i) {
      lo[i] = std::min(lo[i], object["bounds"]["min"][i].get<double>());
      hi[i] = std::max(hi[i], object["bounds"]["max"][i].get<double>());
    }
  }
  EXPECT_GT(boxes, 0);
  const std::array<double, 3> center{1, 2, 0.5};
  for (int i = 0; i < 3; ++i) EXPECT_NEAR((lo[i] + hi[i]) / 2, center[i], 1e-6) << "axis " << i;

  const std::string glb_bytes = read_file_bytes(glb);
  EXPECT_EQ(glb_bytes.substr(0, 4), "glTF");
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
  write_file_bytes(root + "/damaged.zip", "not an archive");
  write_zip(root + "/hostile.zip", {{"../escaped.txt", "x"}, {"kitchen.bxf2", "<bxf/>"}});
  for (const char* name : {"damaged.zip", "hostile.zip"}) {
    SCOPED_TRACE(name);
    const TResult r = run({"-q", "--warning", "ok", root + "/" + name});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("the import failed"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(root + "/" + name), std::string::npos) << r.err;  // the archive named in the reason
    EXPECT_FALSE(std::filesystem::exists(tmp + "/escaped.txt"));
    expect_clean_temp();
  }
}

TEST_F(bxf2_import, usage_errors_exit_with_2) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {}, {"--warning", "maybe", kitchen_zip}, {"-o", root + "/x.obj", kitchen_zip}, {root + "/missing.zip"}}) {
    EXPECT_EQ(run(args).status, 2);
  }
}
