// The installed programs: `cmake --install` into a prefix, the tree moved
// as a whole to another folder, and the programs run from there as a user
// runs them, on the examples installed with the documentation.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "bxf.config.h"
#include "platform.files.h"

namespace {

namespace fs = std::filesystem;

struct TRun {
  int status = -1;
  std::string out, err;
};

class install : public ::testing::Test {
 protected:
  void SetUp() override {
    root = temp_folder() + "bxf2_install_e2e_" + guid_to_hex(new_guid());
    ASSERT_TRUE(force_folders(root + "/tmp"));
  }
  void TearDown() override { delete_folder(root); }

  // Runs `command` (already quoted) with TMPDIR in the test's folder and
  // standard input not a terminal.
  TRun run(const std::string& command) {
    const std::string line = "TMPDIR='" + root + "/tmp' BXF2_IMPORT_LOG= " + command + " </dev/null >'" + root +
                             "/out.txt' 2>'" + root + "/err.txt'";
    const int raw = std::system(line.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_file_bytes(root + "/out.txt"),
            read_file_bytes(root + "/err.txt")};
  }

  // Every file below `prefix`, relative to it.
  static std::set<std::string> files_below(const std::string& prefix) {
    std::set<std::string> files;
    for (const auto& item : fs::recursive_directory_iterator(prefix))
      if (!item.is_directory()) files.insert(fs::relative(item.path(), prefix).string());
    return files;
  }

  std::string root;
};

std::string quoted(const std::string& text) { return "'" + text + "'"; }

}  // namespace

TEST_F(install, a_moved_install_tree_runs_from_its_new_place) {
  const std::string first = root + "/first";
  const TRun install =
      run(quoted(BXF_CMAKE_COMMAND) + " --install " + quoted(BXF_BUILD_DIR) + " --prefix " + quoted(first));
  ASSERT_EQ(install.status, 0) << install.out << install.err;

  // What an installation holds, and nothing that only tests or benchmarks use.
  std::set<std::string> expected{
      "bin/bxf2-import",
      "bin/bxf2-inspect",
      "lib/bxf2-import/import.bxf2.plg",
      "lib/bxf2-import/meshport.plg",
      "lib/bxf2-import/H-SK.meb",
      "share/doc/bxf2-import/README.md",
      "share/doc/bxf2-import/docs/kitchen.png",
      "share/doc/bxf2-import/host/README.md",
      "share/doc/bxf2-import/examples/kitchen.zip",
      "share/doc/bxf2-import/examples/base-cabinet.bxf2",
      "share/doc/bxf2-import/examples/corner-shelf.bxf2",
      "share/man/man1/bxf2-import.1.gz",
      "share/man/man1/bxf2-inspect.1.gz",
  };
  if (file_exists(std::string(BXF_SOURCE_DIR) + "/plugins/import.bxf2/import.bxf2.materials.csv"))
    expected.insert("lib/bxf2-import/import.bxf2.materials.csv");
  EXPECT_EQ(files_below(first), expected);

  // Moved as a whole, away from the build folder and the first prefix.
  const std::string moved = root + "/elsewhere/opt";
  ASSERT_TRUE(force_folders(root + "/elsewhere"));
  fs::rename(first, moved);
  const std::string import = quoted(moved + "/bin/bxf2-import");
  const std::string inspect = quoted(moved + "/bin/bxf2-inspect");
  const std::string examples = moved + "/share/doc/bxf2-import/examples/";

  TRun r = run(import + " --version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string("bxf2-import ") + bxf_version + "\n");
  r = run(inspect + " --version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string("bxf2-inspect ") + bxf_version + "\n");

  // The kitchen needs Meshport for its hardware and the drawer mesh for its
  // drawers, both found in the moved plug-in folder.
  const std::string glb = root + "/kitchen.glb", json = root + "/kitchen.json";
  r = run(import + " --warning ok -o " + quoted(glb) + " -o " + quoted(json) + " " + quoted(examples + "kitchen.zip"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(file_exists(glb));
  const nlohmann::json project = nlohmann::json::parse(read_file_bytes(json));
  ASSERT_FALSE(project["objects"].empty());
  std::multiset<std::string> kinds;
  std::vector<nlohmann::json> pending(project["objects"].begin(), project["objects"].end());
  while (!pending.empty()) {
    const nlohmann::json entity = pending.back();
    pending.pop_back();
    kinds.insert(entity["kind"].get<std::string>());
    if (entity.contains("children"))
      pending.insert(pending.end(), entity["children"].begin(), entity["children"].end());
  }
  EXPECT_GT(kinds.count("mesh"), 0u) << "no mesh objects: Meshport or the drawer mesh was not found";
  EXPECT_GT(kinds.count("box"), 0u);
  EXPECT_TRUE(fs::is_empty(root + "/tmp"));

  r = run(inspect + " " + quoted(examples + "base-cabinet.bxf2"));
  ASSERT_EQ(r.status, 0) << r.err;
  const nlohmann::json model = nlohmann::json::parse(r.out);
  EXPECT_FALSE(model["library"]["parts"].empty());

  // Started through a link from another folder, it still finds its plug-in
  // folder beside its real place.
  const std::string link = root + "/elsewhere/bxf2-import";
  fs::create_symlink(moved + "/bin/bxf2-import", link);
  r = run(quoted(link) + " --warning ok -o " + quoted(root + "/cabinet.json") + " " +
          quoted(examples + "base-cabinet.bxf2"));
  EXPECT_EQ(r.status, 0) << r.err;

  // The plug-in folder it used is the moved one: without it there is none.
  fs::remove_all(moved + "/lib/bxf2-import");
  r = run(import + " --warning ok " + quoted(examples + "base-cabinet.bxf2"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "bxf2-import: import.bxf2.plg not found beside the program; use --plugin-dir\n");
}
