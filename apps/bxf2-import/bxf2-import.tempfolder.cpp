#include "bxf2-import.tempfolder.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include <fmt/format.h>

#include "platform.files.h"

namespace {

// The helper's life: wait until the program says so or is gone, then delete
// the folder. It holds nothing else of the program open (no terminal, no
// pipe of a caller waiting for the program's output), and the signals that
// end the program do not end it. Its end of the pipe is file descriptor 3.
[[noreturn]] void run_helper(const std::string& folder) {
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) ::signal(sig, SIG_IGN);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  ::prctl(PR_SET_NAME, "bxf2-import-tmp");
  const int null = ::open("/dev/null", O_RDWR);
  for (int fd = 0; fd < 3; ++fd)
    if (null >= 0 && null != fd) ::dup2(null, fd);
  ::close_range(4, ~0u, 0);
  char byte = 0;
  while (::read(3, &byte, 1) < 0 && errno == EINTR) {
  }
  try {
    delete_folder(folder);
  } catch (...) {
  }
  _exit(0);
}

}  // namespace

std::unique_ptr<CRunFolder> CRunFolder::create() {
  const std::string path = temp_folder() + "bxf2-import-" + guid_to_hex(new_guid());
  if (::mkdir(path.c_str(), 0700) != 0)
    throw EFileError(fmt::format("Cannot create folder \"{}\". {}", path, std::generic_category().message(errno)));
  std::unique_ptr<CRunFolder> folder(new CRunFolder(path));
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return folder;
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (fds[0] != 3 && ::dup2(fds[0], 3) < 0) _exit(1);
    run_helper(path);
  }
  ::close(fds[0]);
  if (pid < 0) {
    ::close(fds[1]);
    return folder;
  }
  folder->_helper = pid;
  folder->_pipe = fds[1];
  return folder;
}

CRunFolder::~CRunFolder() {
  if (delete_now()) return;
  try {
    delete_folder(_path);
  } catch (...) {  // out of memory: nothing may leave a destructor
  }
}

bool CRunFolder::delete_now() noexcept {
  if (_helper <= 0) return false;
  const char go = 1;
  while (::write(_pipe, &go, 1) < 0 && errno == EINTR) {
  }
  int status = 0;
  while (::waitpid(_helper, &status, 0) < 0 && errno == EINTR) {
  }
  ::close(_pipe);
  _helper = -1;
  _pipe = -1;
  return true;
}
