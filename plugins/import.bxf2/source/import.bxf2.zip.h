// ZIP extraction for the import command: unpacks an archive into a folder the
// command owns, and refuses archives that would write anywhere else or grow
// without bound.
//
//   extract_archive("/home/me/kitchen.zip", temp);   // temp/kitchen.bxf2, temp/cadData/...
//
// What is extracted:
// - entries stored (method 0) or deflated (method 8); any other method, and
//   any encrypted entry, refuses the archive;
// - entry names use "/" or "\" as separators; an entry whose name ends in a
//   separator makes a folder; the folders of every entry are recreated;
// - existing files are overwritten; a file or folder that exists under
//   another letter case is the one written to, as the desktop's file system
//   finds it (platform.files), so "cadData/a.dae" and "CADDATA/b.dae" land
//   in one folder.
//
// What is refused, for the whole archive and before anything is written:
// - an entry whose name is absolute ("/etc/x", "\x"), starts with a drive
//   letter ("C:x"), or climbs out of the folder with ".." ("a/../../x");
// - an entry that is a symbolic link or another special file (Unix file
//   type in its external attributes other than a regular file or a folder);
// - more entries than `TZipLimits::max_entries`, an entry declaring more than
//   `max_entry_size` bytes, or entries declaring more than `max_total_size`
//   bytes together.
// While unpacking, the bytes actually inflated are counted: an entry that
// unpacks to more than it declares is refused the moment it does, so the
// limits hold whatever the headers say. A file left half-written by such a
// failure is removed; files of earlier entries stay (the caller owns the
// folder and deletes it).
//
// Every failure raises EZipError with a message that names the archive and,
// when there is one, the entry. The archive is closed on every way out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "system.h"

// An archive that cannot be read or is refused; the message says why.
BXF_DECLARE_EXCEPTION(EZipError, Exception);

// Bounds on what one archive may unpack to. The defaults are generous for
// furniture exports (a kitchen with its meshes is a few megabytes).
struct TZipLimits {
  // Entries in the archive, folders included [100,000].
  std::uint64_t max_entries = 100'000;
  // Uncompressed bytes of one entry [1 GiB].
  std::uint64_t max_entry_size = std::uint64_t(1) << 30;
  // Uncompressed bytes of all entries together [2 GiB].
  std::uint64_t max_total_size = std::uint64_t(2) << 30;
};

// Extracts every entry of the ZIP archive `archive_path` into `folder` (which
// is created when missing). Raises EZipError when the archive cannot be
// opened, is damaged or not a ZIP archive, holds an entry refused above, or
// when a file or folder cannot be written.
void extract_archive(const std::string& archive_path, const std::string& folder, const TZipLimits& limits = {});

// An entry of an archive as extraction would write it.
struct TZipEntryName {
  std::string name;      // as stored ("cadData\\1105_K2.dae"), for messages
  std::string relative;  // where it goes below the folder, '/'-separated ("cadData/1105_K2.dae")
  bool folder = false;
};

// The entries of the archive `archive_path`, in archive order, without
// extracting anything: those extraction would write (an entry it would
// refuse is left out; whether the archive as a whole would be refused is not
// judged here). Raises EZipError when the archive cannot be opened or its
// directory not read.
std::vector<TZipEntryName> list_archive(const std::string& archive_path);

// At most `max_bytes` from the start of the entry named `name` (as stored)
// of the archive, inflated; raises EZipError when it cannot be read.
std::string read_archive_entry_start(const std::string& archive_path, const std::string& name, std::size_t max_bytes);
