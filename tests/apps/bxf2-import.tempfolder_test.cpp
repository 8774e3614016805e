#include "bxf2-import.tempfolder.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform.files.h"

namespace {

// A temporary folder of its own for the run folders of a test.
class tempfolder : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* tmpdir = std::getenv("TMPDIR")) saved = tmpdir;
    root = temp_folder() + "bxf2_import_tempfolder_" + guid_to_hex(new_guid());
    ASSERT_TRUE(force_folders(root));
    ::setenv("TMPDIR", root.c_str(), 1);
  }
  void TearDown() override {
    if (saved.empty())
      ::unsetenv("TMPDIR");
    else
      ::setenv("TMPDIR", saved.c_str(), 1);
    delete_folder(root);
  }
  std::string root, saved;
};

}  // namespace

TEST_F(tempfolder, goes_with_everything_in_it_when_the_run_ends) {
  std::string path;
  {
    auto folder = CRunFolder::create();
    path = folder->path();
    EXPECT_EQ(extract_file_dir(path), root);
    EXPECT_EQ(extract_file_name(path).substr(0, 12), "bxf2-import-");
    ASSERT_TRUE(force_folders(path + "/0123ABCD/cadData"));
    write_file_bytes(path + "/0123ABCD/cadData/x.dae", "x");
  }
  EXPECT_FALSE(folder_exists(path));
}

// A run killed outright cannot delete anything; its helper does, once the
// run is gone. (This test adopts orphans so that it can wait for the helper.)
TEST_F(tempfolder, goes_when_the_run_is_killed) {
  ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const pid_t run = ::fork();
  if (run == 0) {
    auto folder = CRunFolder::create();
    write_file_bytes(folder->path() + "/log", "x");
    const std::string path = folder->path() + "\n";
    if (::write(fds[1], path.data(), path.size()) < 0) _exit(1);
    ::kill(::getpid(), SIGKILL);
  }
  ::close(fds[1]);
  std::string path;
  char c = 0;
  while (::read(fds[0], &c, 1) == 1 && c != '\n') path += c;
  ::close(fds[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(run, &status, 0), run);
  EXPECT_TRUE(WIFSIGNALED(status));
  ASSERT_FALSE(path.empty());
  // The orphaned helper is ours now; it ends once the folder is gone.
  const pid_t helper = ::waitpid(-1, &status, 0);
  ::prctl(PR_SET_CHILD_SUBREAPER, 0);
  EXPECT_GT(helper, 0);
  EXPECT_FALSE(folder_exists(path));
  EXPECT_EQ(list_files(root, "*").size(), 0u);
}
