// The temporary folder of one bxf2-import run. Everything a run keeps for a
// while (the import command's own temporary folder with the unpacked
// archives, the plug-in's log, caught messages) goes below one folder in the
// user's temporary folder, and a small helper process started with it deletes
// that folder when the run ends, however it ends: normally, on a second
// Ctrl-C, or killed outright. The import command's folder goes with it even
// when the command had no chance to delete it.
//
//   auto folder = CRunFolder::create();   // "/tmp/bxf2-import-0123ABCD..."
//   ::setenv("TMPDIR", folder->path().c_str(), 1);
//   ...                                    // the run
//   folder.reset();                        // deleted, the helper gone
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

class CRunFolder {
 public:
  // Makes "bxf2-import-<32 hex digits>" in the user's temporary folder and
  // starts its helper. Raises EFileError when the folder cannot be made. When
  // the helper cannot be started, the folder is still deleted at the end of
  // a run that ends normally.
  static std::unique_ptr<CRunFolder> create();
  // Deletes the folder and waits until it is gone.
  ~CRunFolder();
  CRunFolder(const CRunFolder&) = delete;
  CRunFolder& operator=(const CRunFolder&) = delete;

  // The folder, without a trailing separator.
  const std::string& path() const { return _path; }
  // Has the helper delete the folder now and waits until it has; safe in a
  // signal handler. False when there is no helper (nothing was deleted).
  bool delete_now() noexcept;

 private:
  explicit CRunFolder(std::string path) : _path(std::move(path)) {}

  std::string _path;
  pid_t _helper = -1;
  int _pipe = -1;  // the write end; the helper deletes when it reads or sees the end
};
