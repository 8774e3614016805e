#include "platform.files.h"

#include "platform.codepage.h"
#include "sysutils.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace {

std::string reason(int error) { return std::generic_category().message(error); }

[[noreturn]] void raise_file_error(const char* what, std::string_view path, int error) {
  throw EFileError(fmt::format("{} \"{}\". {}", what, path, reason(error)));
}

// The file descriptor closes with the scope.
class TFileHandle {
 public:
  explicit TFileHandle(int fd) : _fd(fd) {}
  TFileHandle(const TFileHandle&) = delete;
  TFileHandle& operator=(const TFileHandle&) = delete;
  ~TFileHandle() {
    if (_fd >= 0) ::close(_fd);
  }
  int fd() const { return _fd; }

 private:
  int _fd;
};

}  // namespace

// ---------------------------------------------------------------------------
// Temporary folder and GUIDs
// ---------------------------------------------------------------------------

std::string temp_folder() {
  const char* tmpdir = std::getenv("TMPDIR");
  return include_trailing_delimiter(tmpdir && *tmpdir ? tmpdir : "/tmp");
}

TGUID new_guid() {
  uint8_t bytes[16];
  size_t got = 0;
  while (got < sizeof bytes) {
    ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      raise_file_error("Cannot read file", "random source", errno);
    }
    got += size_t(n);
  }
  TGUID g;
  g.D1 = uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
  g.D2 = uint16_t(bytes[4] << 8 | bytes[5]);
  g.D3 = uint16_t(((bytes[6] << 8 | bytes[7]) & 0x0FFF) | 0x4000);  // version 4: random
  for (int i = 0; i < 8; ++i) g.D4[i] = bytes[8 + i];
  g.D4[0] = uint8_t((g.D4[0] & 0x3F) | 0x80);  // RFC 4122 variant
  return g;
}

std::string guid_to_hex(const TGUID& g) {
  return fmt::format("{:08X}{:04X}{:04X}{:02X}{:02X}{:02X}{:02X}{:02X}{:02X}{:02X}{:02X}", g.D1, g.D2, g.D3, g.D4[0],
                     g.D4[1], g.D4[2], g.D4[3], g.D4[4], g.D4[5], g.D4[6], g.D4[7]);
}

// ---------------------------------------------------------------------------
// Files and folders
// ---------------------------------------------------------------------------

namespace {

// True when nothing at all has the name `path` as written (as opposed to an
// entry that cannot be reached), so that another letter case may be tried.
bool is_missing(int error) { return error == ENOENT || error == ENOTDIR; }

// The first entry of `folder` (not "." or "..") whose name equals `name`
// ignoring ASCII letter case, or "" when there is none.
std::string entry_ignoring_case(const std::string& folder, std::string_view name) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return {};
  std::string found;
  while (dirent* entry = ::readdir(dir)) {
    std::string_view candidate = entry->d_name;
    if (candidate != "." && candidate != ".." && same_text(candidate, name)) {
      found = candidate;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

// stat() of `path`, found ignoring letter case when it does not exist as
// written.
bool stat_found(std::string_view path, struct stat& st) {
  std::string given(path);
  if (::stat(given.c_str(), &st) == 0) return true;
  if (!is_missing(errno)) return false;
  std::string found = resolve_path(given);
  return found != given && ::stat(found.c_str(), &st) == 0;
}

}  // namespace

std::string resolve_path(std::string_view path) {
  std::string given(path);
  struct stat st;
  if (given.empty() || ::lstat(given.c_str(), &st) == 0 || !is_missing(errno)) return given;

  std::string resolved = given.front() == path_delimiter ? "/" : "";
  bool found_so_far = true;
  size_t start = 0;
  while (start < given.size()) {
    size_t end = given.find(path_delimiter, start);
    if (end == std::string::npos) end = given.size();
    std::string_view step = std::string_view(given).substr(start, end - start);
    start = end + 1;
    if (step.empty()) continue;
    const std::string folder = resolved;
    if (!resolved.empty() && resolved.back() != path_delimiter) resolved += path_delimiter;
    const size_t step_start = resolved.size();
    resolved += step;
    if (!found_so_far || step == "." || step == "..") continue;
    if (::lstat(resolved.c_str(), &st) == 0) continue;
    std::string entry = is_missing(errno) ? entry_ignoring_case(folder, step) : std::string();
    if (entry.empty())
      found_so_far = false;
    else
      resolved.replace(step_start, std::string::npos, entry);
  }
  if (given.back() == path_delimiter && !resolved.empty() && resolved.back() != path_delimiter)
    resolved += path_delimiter;
  return resolved;
}

bool file_exists(std::string_view path) {
  struct stat st;
  return stat_found(path, st) && !S_ISDIR(st.st_mode);
}

bool folder_exists(std::string_view path) {
  struct stat st;
  return stat_found(path, st) && S_ISDIR(st.st_mode);
}

bool force_folders(std::string_view path) {
  std::string full = exclude_trailing_delimiter(path);
  if (full.empty()) return false;
  // Make each prefix that ends before a separator, then the whole path.
  for (size_t pos = full.find(path_delimiter, 1); pos != std::string::npos; pos = full.find(path_delimiter, pos + 1)) {
    if (full[pos - 1] == path_delimiter) continue;
    ::mkdir(full.substr(0, pos).c_str(), 0777);
  }
  ::mkdir(full.c_str(), 0777);
  return folder_exists(full);
}

namespace {

// Deletes everything inside the folder open as `dir_fd`, deepest first.
void delete_entries(int dir_fd) {
  std::vector<std::string> names;
  int list_fd = ::dup(dir_fd);
  if (list_fd < 0) return;
  DIR* dir = ::fdopendir(list_fd);
  if (!dir) {
    ::close(list_fd);
    return;
  }
  while (dirent* entry = ::readdir(dir)) {
    std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  ::closedir(dir);

  for (const std::string& name : names) {
    struct stat st;
    if (::fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      // A folder without write or search permission keeps its entries.
      ::fchmodat(dir_fd, name.c_str(), (st.st_mode & 07777) | S_IRWXU, 0);
      int sub = ::openat(dir_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (sub >= 0) {
        delete_entries(sub);
        ::close(sub);
      }
      ::unlinkat(dir_fd, name.c_str(), AT_REMOVEDIR);
    } else {
      // The counterpart of resetting a file's attributes to normal.
      if (!S_ISLNK(st.st_mode)) ::fchmodat(dir_fd, name.c_str(), (st.st_mode & 07777) | S_IWUSR, 0);
      ::unlinkat(dir_fd, name.c_str(), 0);
    }
  }
}

}  // namespace

void delete_folder(std::string_view path) {
  std::string folder = exclude_trailing_delimiter(path);
  struct stat st;
  if (folder.empty() || folder == "/" || ::lstat(folder.c_str(), &st) != 0) return;
  if (S_ISLNK(st.st_mode)) {
    ::unlink(folder.c_str());
    return;
  }
  if (!S_ISDIR(st.st_mode)) return;
  ::chmod(folder.c_str(), (st.st_mode & 07777) | S_IRWXU);
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) {
    delete_entries(fd);
    ::close(fd);
  }
  ::rmdir(folder.c_str());
}

bool matches_wildcard(std::string_view name, std::string_view pattern) {
  if (pattern == "*.*") return true;
  // Greedy match with one back-tracking point: the last '*' seen.
  size_t n = 0, p = 0;
  size_t star = std::string_view::npos, star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || same_text(pattern.substr(p, 1), name.substr(n, 1)))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_n = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++star_n;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::vector<std::string> list_files(std::string_view folder, std::string_view pattern) {
  std::vector<std::string> files;
  std::string prefix = include_trailing_delimiter(folder);
  DIR* dir = ::opendir(prefix.c_str());
  if (!dir && is_missing(errno)) {
    prefix = include_trailing_delimiter(resolve_path(prefix));
    dir = ::opendir(prefix.c_str());
  }
  if (!dir) return files;
  while (dirent* entry = ::readdir(dir)) {
    std::string_view name = entry->d_name;
    if (name == "." || name == ".." || !matches_wildcard(name, pattern)) continue;
    std::string path = prefix + std::string(name);
    bool regular = entry->d_type == DT_REG;
    if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) regular = file_exists(path);
    if (regular) files.push_back(std::move(path));
  }
  ::closedir(dir);
  return files;
}

// ---------------------------------------------------------------------------
// The running module
// ---------------------------------------------------------------------------

std::string module_path_of(const void* address) {
  Dl_info info;
  link_map* map = nullptr;
  if (::dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0)
    throw EFileError(fmt::format("No module holds the address {}.", address));
  std::string name = map && map->l_name ? map->l_name : "";
  if (name.empty()) {
    // The main program has no name in its link map.
    char buffer[4096];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || size_t(n) >= sizeof buffer) raise_file_error("Cannot open file", "/proc/self/exe", errno);
    return std::string(buffer, size_t(n));
  }
  if (char* real = ::realpath(name.c_str(), nullptr)) {
    name = real;
    std::free(real);
  }
  return name;
}

namespace {
void module_anchor() {}
}  // namespace

std::string module_path() { return module_path_of(reinterpret_cast<const void*>(&module_anchor)); }

// ---------------------------------------------------------------------------
// Path helpers
// ---------------------------------------------------------------------------

namespace {

// Index of the first character of the file name.
size_t name_start(std::string_view path) {
  size_t slash = path.rfind(path_delimiter);
  return slash == std::string_view::npos ? 0 : slash + 1;
}

// Index of the last extension's dot, or npos.
size_t ext_start(std::string_view path) {
  size_t dot = path.rfind('.');
  return dot != std::string_view::npos && dot >= name_start(path) ? dot : std::string_view::npos;
}

}  // namespace

std::string change_file_ext(std::string_view path, std::string_view extension) {
  return std::string(path.substr(0, ext_start(path))) + std::string(extension);
}

std::string extract_file_ext(std::string_view path) {
  size_t dot = ext_start(path);
  return dot == std::string_view::npos ? std::string() : std::string(path.substr(dot));
}

std::string extract_file_name(std::string_view path) { return std::string(path.substr(name_start(path))); }

std::string extract_file_stem(std::string_view path) {
  size_t start = name_start(path);
  return std::string(path.substr(start, ext_start(path) - start));
}

std::string extract_file_path(std::string_view path) { return std::string(path.substr(0, name_start(path))); }

std::string extract_file_dir(std::string_view path) {
  size_t start = name_start(path);
  if (start == 0) return {};
  if (start == 1) return "/";
  return std::string(path.substr(0, start - 1));
}

std::string include_trailing_delimiter(std::string_view path) {
  std::string result(path);
  if (result.empty() || result.back() != path_delimiter) result += path_delimiter;
  return result;
}

std::string exclude_trailing_delimiter(std::string_view path) {
  while (path.size() > 1 && path.back() == path_delimiter) path.remove_suffix(1);
  return std::string(path);
}

// ---------------------------------------------------------------------------
// Whole files
// ---------------------------------------------------------------------------

std::string read_file_bytes(std::string_view path) {
  int fd = ::open(std::string(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 && is_missing(errno)) fd = ::open(resolve_path(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) raise_file_error("Cannot open file", path, errno);
  TFileHandle file(fd);
  std::string bytes;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(file.fd(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      raise_file_error("Cannot read file", path, errno);
    }
    if (n == 0) break;
    bytes.append(buffer, size_t(n));
  }
  return bytes;
}

std::vector<std::string> load_text_file_lines(std::string_view path) {
  return text_lines(decode_text_file(read_file_bytes(path)));
}

namespace {

// The file that writing `path` replaces: the end of the chain of symbolic
// links starting at `path` (at most 40 links, as the system allows), or
// `path` itself.
std::string link_target(std::string_view path) {
  std::string target(path);
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    char buffer[4096];
    const ssize_t n = ::readlink(target.c_str(), buffer, sizeof buffer);
    if (n <= 0 || size_t(n) >= sizeof buffer) break;
    const std::string link(buffer, size_t(n));
    target = link.front() == path_delimiter ? link : extract_file_path(target) + link;
  }
  return target;
}

// ".<name>.<pid>-": the start of the names of the files in which process
// `pid` writes new content for `target`. Long names are cut so that the
// whole name stays within the system's limit of 255 bytes.
std::string part_prefix(std::string_view target, long pid) {
  std::string name = extract_file_name(target);
  if (name.size() > 200) name.resize(200);
  return fmt::format(".{}.{}-", name, pid);
}

}  // namespace

TFileReplacement::TFileReplacement(std::string_view path) : _path(path), _target(link_target(path)) {
  struct stat st;
  const bool exists = ::stat(_target.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) raise_file_error("Cannot create file", path, EISDIR);
  if (exists && ::access(_target.c_str(), W_OK) != 0) raise_file_error("Cannot create file", path, errno);

  const std::string prefix = extract_file_path(_target) + part_prefix(_target, long(::getpid()));
  for (int attempt = 0; _fd < 0; ++attempt) {
    _part = prefix + guid_to_hex(new_guid()).substr(0, 8) + ".part";
    _fd = ::open(_part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (_fd < 0 && (errno != EEXIST || attempt == 8)) raise_file_error("Cannot create file", path, errno);
  }
  if (exists && ::fchmod(_fd, st.st_mode & 07777) != 0) fail(errno);
}

TFileReplacement::~TFileReplacement() {
  if (_fd >= 0) ::close(_fd);
  if (!_part.empty()) ::unlink(_part.c_str());
}

void TFileReplacement::fail(int error) {
  if (_fd >= 0) ::close(_fd);
  _fd = -1;
  ::unlink(_part.c_str());
  _part.clear();
  raise_file_error("Cannot write file", _path, error);
}

void TFileReplacement::write(std::string_view bytes) {
  if (_part.empty()) raise_file_error("Cannot write file", _path, EBADF);
  while (!bytes.empty()) {
    const ssize_t n = ::write(_fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(errno);
    }
    bytes.remove_prefix(size_t(n));
  }
}

void TFileReplacement::commit(TFileDurability durability) {
  if (_part.empty()) raise_file_error("Cannot write file", _path, EBADF);
  // On the disk before the name moves, so that a crash leaves the old file
  // or the whole new one, never an empty one.
  if (durability == TFileDurability::durable && ::fsync(_fd) != 0) fail(errno);
  if (::close(_fd) != 0) {
    _fd = -1;
    fail(errno);
  }
  _fd = -1;
  if (::rename(_part.c_str(), _target.c_str()) != 0) fail(errno);
  _part.clear();
}

void write_file_bytes(std::string_view path, std::string_view bytes, TFileDurability durability) {
  TFileReplacement file(path);
  file.write(bytes);
  file.commit(durability);
}

void remove_partial_writes(std::string_view path, long pid) {
  const std::string target = link_target(path);
  const std::string prefix = part_prefix(target, pid);
  const std::string folder = extract_file_path(target);
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return;
  std::vector<std::string> names;
  while (dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.starts_with(prefix) && name.ends_with(".part")) names.emplace_back(name);
  }
  ::closedir(dir);
  for (const std::string& name : names) ::unlink((folder + name).c_str());
}
