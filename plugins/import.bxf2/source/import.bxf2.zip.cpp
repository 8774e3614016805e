#include "import.bxf2.zip.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include <fmt/format.h>

#include "platform.files.h"

namespace {

// ---------------------------------------------------------------------------
// libzip handles
// ---------------------------------------------------------------------------

struct TArchiveCloser {
  // The archive is only read: discarding it closes it without writing.
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
using TArchive = std::unique_ptr<zip_t, TArchiveCloser>;

struct TEntryCloser {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using TEntryFile = std::unique_ptr<zip_file_t, TEntryCloser>;

std::string open_error_text(int code) {
  zip_error_t error;
  zip_error_init_with_code(&error, code);
  std::string text = zip_error_strerror(&error);
  zip_error_fini(&error);
  return text;
}

const char* method_name(std::int32_t method) {
  switch (method) {
    case ZIP_CM_SHRINK: return "shrink";
    case ZIP_CM_IMPLODE: return "implode";
    case ZIP_CM_DEFLATE64: return "deflate64";
    case ZIP_CM_BZIP2: return "bzip2";
    case ZIP_CM_LZMA: return "lzma";
    case ZIP_CM_LZMA2: return "lzma2";
    case ZIP_CM_XZ: return "xz";
#ifdef ZIP_CM_ZSTD
    case ZIP_CM_ZSTD: return "zstd";
#endif
    case ZIP_CM_PPMD: return "ppmd";
    default: return "unknown";
  }
}

// ---------------------------------------------------------------------------
// Entry names
// ---------------------------------------------------------------------------

// Where an entry goes below the folder.
struct TEntryTarget {
  std::string relative;  // '/'-separated, no "." or "..", empty for the folder itself
  bool folder = false;
};

bool is_separator(char c) { return c == '/' || c == '\\'; }

// Where the entry `name` goes, or the reason it may not be extracted (empty
// when it may).
std::string resolve_entry_name(const std::string& name, TEntryTarget& target) {
  if (name.empty()) return "has an empty name";
  if (is_separator(name.front())) return "has an absolute path";
  if (name.size() >= 2 && name[1] == ':' && ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')))
    return "starts with a drive letter";

  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = start;
    while (end < name.size() && !is_separator(name[end])) ++end;
    std::string part = name.substr(start, end - start);
    if (part == "..") {
      if (parts.empty()) return "climbs out of the folder";
      parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
    start = end + 1;
  }

  target.folder = is_separator(name.back());
  if (parts.empty() && !target.folder) return "names no file";
  target.relative.clear();
  for (const std::string& part : parts) {
    if (!target.relative.empty()) target.relative += '/';
    target.relative += part;
  }
  return {};
}

// The reason the entry's Unix file type forbids extracting it, empty when it
// is a regular file, a folder, or carries no Unix file type.
std::string check_file_type(zip_t* archive, zip_uint64_t index) {
  zip_uint8_t system = 0;
  zip_uint32_t attributes = 0;
  if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0) return {};
  if (system != ZIP_OPSYS_UNIX) return {};
  const mode_t type = (attributes >> 16) & S_IFMT;
  if (type == 0 || type == S_IFREG || type == S_IFDIR) return {};
  if (type == S_IFLNK) return "is a symbolic link";
  return "is a special file";
}

// ---------------------------------------------------------------------------
// Extraction
// ---------------------------------------------------------------------------

struct TEntry {
  zip_uint64_t index = 0;
  std::string name;  // as stored, for messages
  TEntryTarget target;
  zip_uint64_t declared_size = 0;
};

class TExtractor {
 public:
  TExtractor(const std::string& archive_path, const std::string& folder, const TZipLimits& limits)
      : _path(archive_path), _folder(exclude_trailing_delimiter(folder)), _limits(limits) {}

  void run() {
    if (_folder.empty()) throw EZipError(fmt::format("Archive \"{}\": no folder to extract into", _path));
    open();
    check_entries();
    if (!force_folders(_folder)) fail(fmt::format("cannot create folder \"{}\"", _folder));
    for (const TEntry& entry : _entries) extract(entry);
  }

 private:
  [[noreturn]] void fail(const std::string& reason) const {
    throw EZipError(fmt::format("Archive \"{}\": {}", _path, reason));
  }
  [[noreturn]] void refuse(const std::string& reason) const {
    throw EZipError(fmt::format("Archive \"{}\" refused: {}", _path, reason));
  }

  void open() {
    int code = 0;
    // No ZIP_CHECKCONS: it refuses sound archives whose local headers differ
    // from the directory in what writers may vary (extra fields of archives
    // written with data descriptors). Damaged data is still caught: by the
    // directory's bounds here and by the checksum of every entry read.
    zip_t* archive = zip_open(resolve_path(_path).c_str(), ZIP_RDONLY, &code);
    if (!archive) throw EZipError(fmt::format("Cannot open archive \"{}\": {}", _path, open_error_text(code)));
    _archive.reset(archive);
  }

  // Reads the directory and refuses the archive when any entry may not be
  // extracted; nothing is written before this has passed.
  void check_entries() {
    const zip_int64_t count = zip_get_num_entries(_archive.get(), 0);
    if (count < 0) fail("cannot read the list of entries");
    if (static_cast<std::uint64_t>(count) > _limits.max_entries)
      refuse(fmt::format("it holds {} entries, more than the limit of {}", count, _limits.max_entries));

    std::uint64_t total = 0;
    for (zip_uint64_t index = 0; index < static_cast<zip_uint64_t>(count); ++index) {
      zip_stat_t stat;
      zip_stat_init(&stat);
      if (zip_stat_index(_archive.get(), index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_NAME))
        fail(fmt::format("cannot read entry {}: {}", index, zip_strerror(_archive.get())));

      TEntry entry;
      entry.index = index;
      entry.name = stat.name;
      std::string reason = resolve_entry_name(entry.name, entry.target);
      if (reason.empty()) reason = check_file_type(_archive.get(), index);
      if (!reason.empty()) refuse(fmt::format("entry \"{}\" {}", entry.name, reason));

      if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE)
        refuse(fmt::format("entry \"{}\" is encrypted", entry.name));
      if (!(stat.valid & ZIP_STAT_COMP_METHOD) ||
          (stat.comp_method != ZIP_CM_STORE && stat.comp_method != ZIP_CM_DEFLATE))
        refuse(fmt::format(
            "entry \"{}\" uses compression method {} ({}); only stored (0) and deflated (8) entries are supported",
            entry.name, stat.comp_method, method_name(stat.comp_method)));

      entry.declared_size = (stat.valid & ZIP_STAT_SIZE) ? stat.size : 0;
      if (entry.declared_size > _limits.max_entry_size)
        refuse(fmt::format("entry \"{}\" declares {} bytes, more than the limit of {} bytes per entry", entry.name,
                           entry.declared_size, _limits.max_entry_size));
      total += entry.declared_size;  // each term is bounded, so no overflow
      if (total > _limits.max_total_size)
        refuse(fmt::format("its entries declare more than the limit of {} bytes in total", _limits.max_total_size));
      _entries.push_back(std::move(entry));
    }
  }

  void extract(const TEntry& entry) {
    // As on the desktop, a file or folder already there under another letter
    // case is the one written to ("CADDATA/b.dae" joins "cadData/a.dae").
    const std::string target =
        entry.target.relative.empty() ? _folder : resolve_path(_folder + "/" + entry.target.relative);
    if (entry.target.folder) {
      if (!force_folders(target)) fail(fmt::format("cannot create folder \"{}\"", target));
      return;
    }
    const std::string parent = extract_file_dir(target);
    if (!force_folders(parent)) fail(fmt::format("cannot create folder \"{}\"", parent));

    TEntryFile source(zip_fopen_index(_archive.get(), entry.index, 0));
    if (!source) fail(fmt::format("cannot read entry \"{}\": {}", entry.name, zip_strerror(_archive.get())));

    // A link left at the target by anything else is not followed.
    const int output = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (output < 0) fail(fmt::format("cannot create file \"{}\": {}", target, std::strerror(errno)));
    try {
      copy(entry, source.get(), output, target);
    } catch (...) {
      ::close(output);
      ::unlink(target.c_str());
      throw;
    }
    if (::close(output) != 0) fail(fmt::format("cannot write file \"{}\": {}", target, std::strerror(errno)));
  }

  void copy(const TEntry& entry, zip_file_t* source, int output, const std::string& target) {
    std::vector<char> buffer(64 * 1024);
    std::uint64_t written = 0;
    for (;;) {
      const zip_int64_t got = zip_fread(source, buffer.data(), buffer.size());
      if (got < 0) fail(fmt::format("cannot read entry \"{}\": {}", entry.name, zip_file_strerror(source)));
      if (got == 0) break;
      written += static_cast<std::uint64_t>(got);
      _unpacked += static_cast<std::uint64_t>(got);
      if (written > entry.declared_size)
        refuse(
            fmt::format("entry \"{}\" unpacks to more than the {} bytes it declares", entry.name, entry.declared_size));
      if (written > _limits.max_entry_size)
        refuse(fmt::format("entry \"{}\" unpacks to more than the limit of {} bytes per entry", entry.name,
                           _limits.max_entry_size));
      if (_unpacked > _limits.max_total_size)
        refuse(fmt::format("its entries unpack to more than the limit of {} bytes in total", _limits.max_total_size));
      const char* data = buffer.data();
      std::size_t left = static_cast<std::size_t>(got);
      while (left > 0) {
        const ssize_t done = ::write(output, data, left);
        if (done < 0) {
          if (errno == EINTR) continue;
          fail(fmt::format("cannot write file \"{}\": {}", target, std::strerror(errno)));
        }
        data += done;
        left -= static_cast<std::size_t>(done);
      }
    }
    if (written != entry.declared_size)
      fail(fmt::format("entry \"{}\" unpacks to {} bytes but declares {}", entry.name, written, entry.declared_size));
  }

  std::string _path;
  std::string _folder;
  TZipLimits _limits;
  TArchive _archive;
  std::vector<TEntry> _entries;
  std::uint64_t _unpacked = 0;
};

}  // namespace

void extract_archive(const std::string& archive_path, const std::string& folder, const TZipLimits& limits) {
  TExtractor(archive_path, folder, limits).run();
}

namespace {

TArchive open_for_reading(const std::string& archive_path) {
  int code = 0;
  zip_t* archive = zip_open(resolve_path(archive_path).c_str(), ZIP_RDONLY, &code);
  if (!archive) throw EZipError(fmt::format("Cannot open archive \"{}\": {}", archive_path, open_error_text(code)));
  return TArchive(archive);
}

}  // namespace

std::vector<TZipEntryName> list_archive(const std::string& archive_path) {
  const TArchive archive = open_for_reading(archive_path);
  const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
  if (count < 0) throw EZipError(fmt::format("Archive \"{}\": cannot read the list of entries", archive_path));
  std::vector<TZipEntryName> names;
  for (zip_uint64_t index = 0; index < static_cast<zip_uint64_t>(count); ++index) {
    const char* name = zip_get_name(archive.get(), index, 0);
    if (!name) continue;
    TEntryTarget target;
    if (!resolve_entry_name(name, target).empty() || !check_file_type(archive.get(), index).empty()) continue;
    names.push_back({name, target.relative, target.folder});
  }
  return names;
}

std::string read_archive_entry_start(const std::string& archive_path, const std::string& name, std::size_t max_bytes) {
  const TArchive archive = open_for_reading(archive_path);
  const zip_int64_t index = zip_name_locate(archive.get(), name.c_str(), ZIP_FL_ENC_RAW);
  if (index < 0) throw EZipError(fmt::format("Archive \"{}\": no entry \"{}\"", archive_path, name));
  TEntryFile file(zip_fopen_index(archive.get(), static_cast<zip_uint64_t>(index), 0));
  if (!file)
    throw EZipError(
        fmt::format("Archive \"{}\": cannot read entry \"{}\": {}", archive_path, name, zip_strerror(archive.get())));
  std::string bytes(max_bytes, '\0');
  std::size_t got = 0;
  while (got < max_bytes) {
    const zip_int64_t n = zip_fread(file.get(), bytes.data() + got, max_bytes - got);
    if (n < 0)
      throw EZipError(fmt::format("Archive \"{}\": cannot read entry \"{}\": {}", archive_path, name,
                                  zip_file_strerror(file.get())));
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  return bytes;
}
