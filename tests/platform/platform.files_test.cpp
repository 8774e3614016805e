#include "platform.files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <regex>

#include "test.support.h"

using namespace test_support;

namespace {

// A fresh folder below the temporary folder, deleted with the fixture.
class files : public ::testing::Test {
 protected:
  void SetUp() override {
    root = temp_folder() + "platform_files_" + guid_to_hex(new_guid());
    ASSERT_TRUE(force_folders(root));
  }
  void TearDown() override { delete_folder(root); }

  std::string make_file(const std::string& relative, std::string_view content = "x") {
    std::string path = root + "/" + relative;
    force_folders(extract_file_dir(path));
    write_file_bytes(path, content);
    return path;
  }

  std::string root;
};

// Sets an environment variable for the scope.
class TEnv {
 public:
  TEnv(const char* name, const char* value) : _name(name) {
    if (const char* old = std::getenv(name)) _old = old;
    if (value)
      ::setenv(name, value, 1);
    else
      ::unsetenv(name);
  }
  ~TEnv() {
    if (_old)
      ::setenv(_name, _old->c_str(), 1);
    else
      ::unsetenv(_name);
  }

 private:
  const char* _name;
  std::optional<std::string> _old;
};

}  // namespace

TEST(files_temp, temp_folder_from_environment) {
  struct Case {
    const char* tmpdir;
    const char* folder;
  } cases[] = {
      {nullptr, "/tmp/"},
      {"", "/tmp/"},
      {"/var/tmp", "/var/tmp/"},
      {"/var/tmp/", "/var/tmp/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tmpdir ? c.tmpdir : "(unset)");
    TEnv env("TMPDIR", c.tmpdir);
    EXPECT_EQ(temp_folder(), c.folder);
  }
}

TEST(files_temp, guid_hex_is_32_upper_digits_and_new_each_time) {
  std::regex hex("[0-9A-F]{32}");
  std::string a = guid_to_hex(new_guid());
  std::string b = guid_to_hex(new_guid());
  EXPECT_TRUE(std::regex_match(a, hex)) << a;
  EXPECT_TRUE(std::regex_match(b, hex)) << b;
  EXPECT_NE(a, b);
  TGUID g = new_guid();
  EXPECT_EQ(g.D3 >> 12, 4);         // random version
  EXPECT_EQ(g.D4[0] & 0xC0, 0x80);  // RFC 4122 variant
}

TEST(files_temp, guid_hex_follows_text_form) {
  constexpr TGUID g = TGUID::parse("{D618BF05-D894-4D63-93B8-FC5D7FB618C1}");
  EXPECT_EQ(guid_to_hex(g), "D618BF05D8944D6393B8FC5D7FB618C1");
}

TEST_F(files, force_folders_makes_missing_parents) {
  std::string deep = root + "/a/b//c/";
  EXPECT_FALSE(folder_exists(deep));
  EXPECT_TRUE(force_folders(deep));
  EXPECT_TRUE(folder_exists(root + "/a/b/c"));
  EXPECT_TRUE(force_folders(deep));  // existing folder
  std::string file = make_file("f.txt");
  EXPECT_FALSE(force_folders(file + "/sub"));  // a file in the way
  EXPECT_FALSE(force_folders(""));
}

TEST_F(files, exists_tells_files_from_folders) {
  std::string file = make_file("f.txt");
  EXPECT_TRUE(file_exists(file));
  EXPECT_FALSE(folder_exists(file));
  EXPECT_TRUE(folder_exists(root));
  EXPECT_FALSE(file_exists(root));
  EXPECT_FALSE(file_exists(root + "/missing"));
  EXPECT_FALSE(folder_exists(root + "/missing"));
}

TEST_F(files, delete_folder_removes_nested_and_read_only_entries) {
  std::string top = root + "/top";
  std::string read_only = make_file("top/a/b/locked.txt");
  make_file("top/a/plain.txt");
  make_file("top/c/d/e/deep.txt");
  force_folders(top + "/empty");
  ASSERT_EQ(::chmod(read_only.c_str(), 0444), 0);
  ASSERT_EQ(::chmod((top + "/a/b").c_str(), 0555), 0);  // read-only folder
  ASSERT_EQ(::chmod((top + "/c").c_str(), 0), 0);       // no access at all

  delete_folder(top);
  EXPECT_FALSE(folder_exists(top));
  EXPECT_TRUE(folder_exists(root));
}

TEST_F(files, delete_folder_does_not_follow_symbolic_links) {
  std::string outside = make_file("outside/keep.txt");
  std::string outside_file = make_file("outside.txt");
  make_file("top/inner.txt");
  ASSERT_EQ(::symlink((root + "/outside").c_str(), (root + "/top/link_dir").c_str()), 0);
  ASSERT_EQ(::symlink(outside_file.c_str(), (root + "/top/link_file").c_str()), 0);
  ASSERT_EQ(::chmod(outside_file.c_str(), 0444), 0);

  delete_folder(root + "/top");
  EXPECT_FALSE(folder_exists(root + "/top"));
  EXPECT_TRUE(file_exists(outside));
  EXPECT_TRUE(file_exists(outside_file));
  struct stat st;
  ASSERT_EQ(::stat(outside_file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0444u);  // the link's target keeps its permissions

  // A link given as the folder: only the link goes.
  ASSERT_EQ(::symlink((root + "/outside").c_str(), (root + "/alias").c_str()), 0);
  delete_folder(root + "/alias");
  EXPECT_TRUE(file_exists(outside));
  struct stat link;
  EXPECT_NE(::lstat((root + "/alias").c_str(), &link), 0);
}

TEST_F(files, delete_folder_ignores_missing_and_files) {
  delete_folder(root + "/missing");
  delete_folder("/");
  delete_folder("//");
  EXPECT_TRUE(folder_exists("/tmp"));
  std::string file = make_file("f.txt");
  delete_folder(file);
  EXPECT_TRUE(file_exists(file));
}

TEST(files_wildcard, matches) {
  struct Case {
    const char* name;
    const char* pattern;
    bool match;
  } cases[] = {
      {"a.dae", "*.dae", true},
      {".dae", "*.dae", true},
      {"a.DAE", "*.dae", true},  // case does not count
      {"KITCHEN.Bxf2", "*.bxf2", true},
      {"a.d\xC3\xA4"
       "e",
       "*.D\xC3\x84"
       "E",
       false},  // only A-Z are folded
      {"a.dae.bak", "*.dae", false},
      {"a.daex", "*.dae", false},
      {"a.b.dae", "*.dae", true},
      {"abc", "a?c", true},
      {"ac", "a?c", false},
      {"abc", "*", true},
      {"", "*", true},
      {"noext", "*.*", true},
      {"x.bxf2", "*.bxf2", true},
      {"aXbXc", "a*b*c", true},
      {"aXbX", "a*b*c", false},
      {"mississippi", "*sip*", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " ~ " + c.pattern);
    EXPECT_EQ(matches_wildcard(c.name, c.pattern), c.match);
  }
}

TEST_F(files, list_files_top_level_only) {
  std::string a = make_file("m/one.dae");
  std::string b = make_file("m/two.dae");
  make_file("m/three.DAE");
  make_file("m/readme.txt");
  make_file("m/sub/deep.dae");
  force_folders(root + "/m/folder.dae");  // a folder is not a file
  ASSERT_EQ(::symlink(a.c_str(), (root + "/m/link.dae").c_str()), 0);

  std::vector<std::string> found = list_files(root + "/m", "*.dae");
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{root + "/m/link.dae", a, root + "/m/three.DAE", b}));
  EXPECT_EQ(list_files(root + "/m/", "*.dae").size(), 4u);
  EXPECT_TRUE(list_files(root + "/missing", "*.dae").empty());
}

// Names are found as the desktop finds them: exactly when they exist as
// written, else in any letter case, at every step of the path.
TEST_F(files, names_are_found_ignoring_letter_case) {
  make_file("CADDATA/4711_K1.MEB", "mesh");
  make_file("CADDATA/Sub/x.txt", "deep");
  make_file("Import.Bxf2.INI", "[general]");
  // Two names that differ in case only: the exact one wins.
  make_file("Twins/a.txt", "upper");
  make_file("twins/a.txt", "lower");

  struct Case {
    std::string path;
    std::string found;  // relative to root; "" when nothing is found
  } cases[] = {
      {"cadData/4711_k1.meb", "CADDATA/4711_K1.MEB"},
      {"CADDATA/4711_K1.MEB", "CADDATA/4711_K1.MEB"},
      {"caddata/sub/X.TXT", "CADDATA/Sub/x.txt"},
      {"import.bxf2.ini", "Import.Bxf2.INI"},
      {"Twins/a.txt", "Twins/a.txt"},
      {"twins/A.TXT", "twins/a.txt"},
      {"cadData/missing.meb", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const std::string path = root + "/" + c.path;
    if (c.found.empty()) {
      EXPECT_FALSE(file_exists(path));
      EXPECT_EQ(resolve_path(path), root + "/CADDATA/missing.meb");  // the missing step as given
      EXPECT_THROW(read_file_bytes(path), EFileError);
      continue;
    }
    EXPECT_EQ(resolve_path(path), root + "/" + c.found);
    EXPECT_TRUE(file_exists(path));
    EXPECT_FALSE(folder_exists(path));
    EXPECT_EQ(read_file_bytes(path), read_file_bytes(root + "/" + c.found));
  }
  EXPECT_EQ(read_file_bytes(root + "/TWINS/a.txt").size(), 5u);  // the first in listing order
  EXPECT_TRUE(folder_exists(root + "/cadData"));
  EXPECT_EQ(resolve_path(root + "/cadData/"), root + "/CADDATA/");
  EXPECT_EQ(resolve_path(root + "/cadData/../caddata/./sub"), root + "/CADDATA/../CADDATA/./Sub");
  EXPECT_EQ(resolve_path("/nonexistent/folder"), "/nonexistent/folder");

  // Listings: the folder found in any case, names matched in any case, the
  // paths as they are on disk.
  make_file("CADDATA/2000_P1.dae");
  make_file("CADDATA/1105_K2.DAE");
  std::vector<std::string> found = list_files(root + "/cadData/", "*.dae");
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{root + "/CADDATA/1105_K2.DAE", root + "/CADDATA/2000_P1.dae"}));
  EXPECT_EQ(load_text_file_lines(root + "/IMPORT.BXF2.ini"), std::vector<std::string>{"[general]"});
}

TEST(files_module, module_path_is_this_program) {
  std::string path = module_path();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.front(), '/');
  EXPECT_EQ(extract_file_name(path), "platform_tests");
  EXPECT_TRUE(file_exists(path));
  static int local = 0;
  EXPECT_EQ(module_path_of(&local), path);
  // An address inside a shared library gives that library's file.
  std::string libc = module_path_of(reinterpret_cast<const void*>(&::getpid));
  EXPECT_NE(libc, path);
  EXPECT_NE(extract_file_name(libc).find("libc"), std::string::npos) << libc;
  EXPECT_THROW(module_path_of(reinterpret_cast<const void*>(uintptr_t(16))), EFileError);
}

TEST(files_paths, helpers) {
  struct Case {
    const char* path;
    const char* ext;
    const char* name;
    const char* stem;
    const char* folder;
    const char* dir;
    const char* ini;
  } cases[] = {
      {"/opt/p/import.bxf2.plg", ".plg", "import.bxf2.plg", "import.bxf2", "/opt/p/", "/opt/p",
       "/opt/p/import.bxf2.ini"},
      {"/a.b/noext", "", "noext", "noext", "/a.b/", "/a.b", "/a.b/noext.ini"},
      {"file.zip", ".zip", "file.zip", "file", "", "", "file.ini"},
      {"/root.txt", ".txt", "root.txt", "root", "/", "/", "/root.ini"},
      {"/x/.hidden", ".hidden", ".hidden", "", "/x/", "/x", "/x/.ini"},
      {"/x/dir/", "", "", "", "/x/dir/", "/x/dir", "/x/dir/.ini"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(extract_file_ext(c.path), c.ext);
    EXPECT_EQ(extract_file_name(c.path), c.name);
    EXPECT_EQ(extract_file_stem(c.path), c.stem);
    EXPECT_EQ(extract_file_path(c.path), c.folder);
    EXPECT_EQ(extract_file_dir(c.path), c.dir);
    EXPECT_EQ(change_file_ext(c.path, ".ini"), c.ini);
  }
  EXPECT_EQ(change_file_ext("/p/import.bxf2.plg", ".materials.csv"), "/p/import.bxf2.materials.csv");
  EXPECT_EQ(change_file_ext("/m/a.dae", ".meb"), "/m/a.meb");
  EXPECT_EQ(include_trailing_delimiter("/a"), "/a/");
  EXPECT_EQ(include_trailing_delimiter("/a/"), "/a/");
  EXPECT_EQ(exclude_trailing_delimiter("/a//"), "/a");
  EXPECT_EQ(exclude_trailing_delimiter("/"), "/");
}

TEST_F(files, whole_file_round_trip_and_errors) {
  std::string path = root + "/bytes.bin";
  std::string content("a\0b\r\n\xFF", 6);
  write_file_bytes(path, content);
  EXPECT_EQ(read_file_bytes(path), content);
  write_file_bytes(path, "short");
  EXPECT_EQ(read_file_bytes(path), "short");
  // A scratch file is replaced the same way, only not flushed to the disk.
  write_file_bytes(path, content, TFileDurability::scratch);
  EXPECT_EQ(read_file_bytes(path), content);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root), {}), 1);  // nothing left beside it

  struct Case {
    std::string path;
    bool write;
    std::string message;
  } cases[] = {
      {root + "/missing.bin", false, "Cannot open file \"" + root + "/missing.bin\". No such file or directory"},
      {root, false, "Cannot read file \"" + root + "\". Is a directory"},
      {root + "/no/such/x.bin", true, "Cannot create file \"" + root + "/no/such/x.bin\". No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    if (c.write)
      EXPECT_THROW_MSG(write_file_bytes(c.path, "x"), EFileError, c.message);
    else
      EXPECT_THROW_MSG(read_file_bytes(c.path), EFileError, c.message);
  }
}

namespace {

// The names in `folder`, sorted.
std::vector<std::string> names_in(const std::string& folder) {
  std::vector<std::string> names;
  for (const std::string& path : list_files(folder, "*")) names.push_back(extract_file_name(path));
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST_F(files, a_write_cut_short_keeps_the_old_file_and_leaves_nothing_beside_it) {
  const std::string path = make_file("out.json", "old content");
  ::chmod(path.c_str(), 0640);
  // The file-size limit makes the system refuse the write half-way (EFBIG);
  // the process hears of it only when SIGXFSZ is ignored.
  struct sigaction ignore {
  }, saved{};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGXFSZ, &ignore, &saved);
  rlimit old_limit{};
  ::getrlimit(RLIMIT_FSIZE, &old_limit);
  const rlimit small{1000, old_limit.rlim_max};
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const TRaised raised = raised_by([&] { write_file_bytes(path, std::string(5000, 'n')); });
  ::setrlimit(RLIMIT_FSIZE, &old_limit);
  ::sigaction(SIGXFSZ, &saved, nullptr);
  EXPECT_EQ(raised.class_name, "EFileError");
  EXPECT_EQ(raised.message, "Cannot write file \"" + path + "\". File too large");
  EXPECT_EQ(read_file_bytes(path), "old content");
  EXPECT_EQ(names_in(root), std::vector<std::string>{"out.json"});

  // A write that goes through replaces the file and keeps its permissions.
  write_file_bytes(path, "new");
  EXPECT_EQ(read_file_bytes(path), "new");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(names_in(root), std::vector<std::string>{"out.json"});
}

// A file replaced piece by piece: nothing of it is seen before the commit,
// and one given up (its producer failed) leaves the old file alone.
TEST_F(files, a_replacement_in_pieces_shows_only_when_committed) {
  const std::string path = make_file("out.json", "old");
  {
    TFileReplacement file(path);
    file.write("{\"objects\": ");
    file.write("[]}");
    EXPECT_EQ(read_file_bytes(path), "old");
    EXPECT_EQ(names_in(root).size(), 2u);  // the hidden new file beside it
    file.commit();
    EXPECT_THROW(file.write("more"), EFileError);
  }
  EXPECT_EQ(read_file_bytes(path), "{\"objects\": []}");
  EXPECT_EQ(names_in(root), std::vector<std::string>{"out.json"});
  {
    TFileReplacement file(path);
    file.write("half");
  }
  EXPECT_EQ(read_file_bytes(path), "{\"objects\": []}");
  EXPECT_EQ(names_in(root), std::vector<std::string>{"out.json"});
}

TEST_F(files, writing_through_a_symbolic_link_replaces_the_file_it_points_to) {
  force_folders(root + "/real");
  const std::string real = make_file("real/kitchen.glb", "old");
  const std::string link = root + "/kitchen.glb";
  ASSERT_EQ(::symlink("real/kitchen.glb", link.c_str()), 0);
  write_file_bytes(link, "new");
  struct stat st {};
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(read_file_bytes(real), "new");
  EXPECT_EQ(names_in(root + "/real"), std::vector<std::string>{"kitchen.glb"});

  // A dangling link: the file it names is made.
  const std::string dangling = root + "/dangling.json";
  ASSERT_EQ(::symlink((root + "/real/made.json").c_str(), dangling.c_str()), 0);
  write_file_bytes(dangling, "made");
  EXPECT_EQ(read_file_bytes(root + "/real/made.json"), "made");
}

TEST_F(files, a_folder_is_not_replaced_and_partial_writes_of_one_process_are_removed) {
  force_folders(root + "/out.json");
  try {
    write_file_bytes(root + "/out.json", "x");
    ADD_FAILURE() << "no exception";
  } catch (const EFileError& e) {
    EXPECT_EQ(e.message(), "Cannot create file \"" + root + "/out.json\". Is a directory");
  }
  EXPECT_TRUE(folder_exists(root + "/out.json"));

  // What killed writers left: only process 4242's files go.
  for (const char* name : {".x.meb.4242-0A1B2C3D.part", ".x.meb.4242-FFFFFFFF.part", ".x.meb.42-0A1B2C3D.part",
                           ".y.meb.4242-0A1B2C3D.part", "x.meb"})
    make_file(name);
  remove_partial_writes(root + "/x.meb", 4242);
  EXPECT_EQ(names_in(root),
            (std::vector<std::string>{".x.meb.42-0A1B2C3D.part", ".y.meb.4242-0A1B2C3D.part", "x.meb"}));
}

TEST_F(files, load_text_file_lines_by_encoding) {
  struct Case {
    std::string bytes;
    std::vector<std::string> lines;
  } cases[] = {
      {"KOB\tOAK\r\nT\xFCr\r\n", {"KOB\tOAK", "T\xC3\xBCr"}},
      {"\xEF\xBB\xBFT\xC3\xBCr\nx", {"T\xC3\xBCr", "x"}},
      {std::string("\xFF\xFE"
                   "a\0\r\0\n\0b\0",
                   10),
       {"a", "b"}},
      {"", {}},
  };
  for (const auto& c : cases) {
    write_file_bytes(root + "/t.csv", c.bytes);
    EXPECT_EQ(load_text_file_lines(root + "/t.csv"), c.lines);
  }
  EXPECT_THROW(load_text_file_lines(root + "/none.csv"), EFileError);
}
