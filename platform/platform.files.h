// Files and folders: the user's temporary folder, new GUIDs, creating,
// listing and deleting folders, the path of the running module, path
// helpers, and reading and writing whole files.
//
// Paths are UTF-8 with '/' as separator. Nothing here follows a symbolic
// link out of a folder it deletes, and no failure of a single entry stops a
// recursive delete.
//
// Names are found as the desktop's file system finds them, whatever their
// letter case: a name that exists as written is taken; otherwise the first
// entry of its folder, in directory listing order, whose name equals it with
// the ASCII letters A-Z and a-z taken as equal (no other character is
// folded). Every step of a path is found that way, so "cadData/x.dae" finds
// "CADDATA/X.DAE". The functions that look for existing files and folders
// (existence, listing, reading) find them so; those that make new ones
// create them as written.
#pragma once

#include "system.h"

#include <string>
#include <string_view>
#include <vector>

// A file that cannot be opened, read or written. The message names the file
// and the system's reason: "Cannot open file \"<path>\". <reason>" (also
// "Cannot read file", "Cannot create file", "Cannot write file").
BXF_DECLARE_EXCEPTION(EFileError, Exception);

inline constexpr char path_delimiter = '/';

// ---------------------------------------------------------------------------
// Temporary folder and GUIDs
// ---------------------------------------------------------------------------

// The user's folder for temporary files: $TMPDIR when set and not empty, else
// "/tmp"; always with a trailing separator. The folder need not exist.
std::string temp_folder();

// A new GUID from the system's random source (version 4, RFC 4122 variant).
// Raises EFileError when the random source cannot be read.
TGUID new_guid();
// The GUID as 32 upper-case hexadecimal digits, without braces or dashes, in
// the order of its text form ("{01234567-89AB-...}" gives "0123456789AB...").
std::string guid_to_hex(const TGUID& guid);

// ---------------------------------------------------------------------------
// Files and folders
// ---------------------------------------------------------------------------

// The path of what `path` names on disk: `path` itself when it exists as
// written, else with every step that exists in another letter case written
// as it is on disk, up to the first step that does not exist at all (that
// step and the rest stay as given). "." and ".." steps are kept; a trailing
// separator stays.
std::string resolve_path(std::string_view path);

// True when `path` names an existing file that is not a folder (a symbolic
// link counts as what it points to).
bool file_exists(std::string_view path);
// True when `path` names an existing folder.
bool folder_exists(std::string_view path);

// Creates the folder `path` and any missing parent folders. Returns true when
// the folder exists afterwards (also when it existed before), false when it
// could not be made.
bool force_folders(std::string_view path);

// Deletes the folder `path` with everything in it: every file below it is made
// writable and deleted, every folder is made accessible and removed deepest
// first, then the folder itself. Failures of single entries are ignored (the
// entry stays). Symbolic links are removed as links, never followed; when
// `path` itself is a symbolic link only the link is removed. Does nothing when
// `path` does not exist, is not a folder, or is the root folder "/".
void delete_folder(std::string_view path);

// True when `name` matches `pattern`, in which '*' stands for any run of
// characters (also none) and '?' for exactly one character (one byte).
// Letter case does not count (A-Z and a-z are taken as equal), so "*.dae"
// matches "A.DAE". As on the system's dialogs, "*.*" matches every name, also
// one without a dot.
bool matches_wildcard(std::string_view name, std::string_view pattern);

// The full paths of the files directly inside `folder` (not in subfolders,
// and no folders) whose names match `pattern`, in the order the directory
// lists them (no sorting). The paths start with `folder` as found on disk.
// Empty when the folder does not exist or cannot be read.
std::vector<std::string> list_files(std::string_view folder, std::string_view pattern);

// ---------------------------------------------------------------------------
// The running module
// ---------------------------------------------------------------------------

// The full path of the module file (executable or shared module) that holds
// `address`, a function or object of that module. Raises EFileError when the
// address belongs to no loaded module.
std::string module_path_of(const void* address);

// The full path of the module file this code is linked into. Every module
// file (executable or shared module) links its own copy of the platform
// library, so a plug-in calling it gets its own module file, not the host's.
std::string module_path();

// ---------------------------------------------------------------------------
// Path helpers
// ---------------------------------------------------------------------------

// `path` with its last extension (from the last '.' of the file name on)
// replaced by `extension` ("a/b.plg", ".ini" gives "a/b.ini"); appended when
// the name has none.
std::string change_file_ext(std::string_view path, std::string_view extension);
// The last extension with its dot (".bxf2"), or "" when the name has none.
std::string extract_file_ext(std::string_view path);
// The name after the last separator ("b.tar.gz").
std::string extract_file_name(std::string_view path);
// The name without its last extension ("b.tar").
std::string extract_file_stem(std::string_view path);
// The folder up to and including the last separator ("a/"), "" when none.
std::string extract_file_path(std::string_view path);
// The folder without the trailing separator ("a"); "/" for a file in the root.
std::string extract_file_dir(std::string_view path);
// `path` with exactly one separator at its end.
std::string include_trailing_delimiter(std::string_view path);
// `path` without separators at its end (the root "/" stays).
std::string exclude_trailing_delimiter(std::string_view path);

// ---------------------------------------------------------------------------
// Whole files
// ---------------------------------------------------------------------------

// The bytes of the file `path`. Raises EFileError when it cannot be read.
std::string read_file_bytes(std::string_view path);
// The lines of the text file `path` as UTF-8 (encoding by byte-order mark,
// else the 8-bit code page; lines as `text_lines` splits them). Raises
// EFileError when it cannot be read.
std::vector<std::string> load_text_file_lines(std::string_view path);
// Replaces the file `path` with one holding `bytes`, creating it when needed,
// so that the file is either the complete new one or, after any failure, the
// old one as it was: the bytes go to a new hidden file in the same folder,
// ".<name>.<process id>-<random>.part", which is flushed to the disk and then
// renamed over the target. A failed write removes that file again; only a
// process killed while writing leaves it behind.
//
// A symbolic link at `path` is followed: the file it points to (created when
// the link dangles) is replaced, in its own folder, and the link stays. An
// existing file keeps its permission bits (not its owner, and other hard
// links to it keep the old content); one that may not be written, or a
// folder, is refused. Raises EFileError: "Cannot create file" when the new
// file cannot be made there, "Cannot write file" when writing, flushing or
// renaming it fails (a full disk, the process's file-size limit: the process
// must ignore SIGXFSZ to hear of that limit rather than be ended by it).
//
// `scratch` files (what a run makes for itself in its temporary folder and
// deletes) skip the flush: a failure or a killed process still leaves the
// old file or the whole new one, only a crash of the system may not.
enum class TFileDurability { durable, scratch };
void write_file_bytes(std::string_view path, std::string_view bytes,
                      TFileDurability durability = TFileDurability::durable);

// A file replaced as `write_file_bytes` replaces it, with bytes handed over
// piece by piece, so that a large file need not be held whole in memory:
//
//   TFileReplacement file(path);   // the hidden new file beside `path`
//   file.write(head);
//   file.write(body);
//   file.commit();                 // flushed to the disk and renamed
//
// Until `commit` succeeds the target is untouched; a replacement destroyed
// without it (a failed write, an exception while producing the bytes)
// removes its hidden file. Raises EFileError as `write_file_bytes` does.
class TFileReplacement {
 public:
  explicit TFileReplacement(std::string_view path);
  TFileReplacement(const TFileReplacement&) = delete;
  TFileReplacement& operator=(const TFileReplacement&) = delete;
  ~TFileReplacement();

  void write(std::string_view bytes);
  // Flushes the new file to the disk (unless `scratch`) and renames it over
  // the target.
  void commit(TFileDurability durability = TFileDurability::durable);

 private:
  [[noreturn]] void fail(int error);

  std::string _path;    // as given, for messages
  std::string _target;  // the file replaced: `path` with its links followed
  std::string _part;    // the hidden new file; empty once committed or removed
  int _fd = -1;
};

// Removes the hidden files that process `pid` left beside `path` (its link
// followed) when it was killed while writing it with `write_file_bytes`.
void remove_partial_writes(std::string_view path, long pid);
