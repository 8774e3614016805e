// Meshport's conversion core: reads a 3D file with assimp (COLLADA first, and
// every other format assimp reads) and turns it into the host's mesh file
// (`.meb`, module host.meb). Each node's world transform is baked into its
// vertices and every written matrix is the identity; the output is in metres
// with +y up. What the scale and mode arguments mean is described in
// host/README.md, section "Meshport".
//
// `convert_file` is what the plug-in's `ConvertFile` runs: it reads the source
// in a child process, so that a hostile file that makes the reader crash or
// hang costs only that process, and writes the target only when everything
// went well. One reader process serves every file of a run (assimp starts
// once); a file that ends it fails alone, and the next file gets a new one.
//
//   std::string message;
//   if (!convert_file("/tmp/4711_K1.dae", "/tmp/4711_K1.meb", 1000.0, kMeshportTree, &message))
//     ...  // no target file; `message` was also printed on standard error
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "host.meb.h"
#include "system.h"

// A source Meshport cannot convert; the message names the source.
BXF_DECLARE_EXCEPTION(EMeshport, Exception);

// The conversion modes (the `mode` argument).
enum : uint8_t {
  kMeshportFlat = 0,    // every mesh-bearing node becomes a top-level mesh object
  kMeshportSingle = 1,  // all meshes make one mesh object named after the source file
  kMeshportTree = 2,    // the node hierarchy is kept: nodes with children become groups
};

// Sources larger than this are refused before they are read (256 MiB).
inline constexpr uint64_t kMeshportMaxSourceSize = uint64_t(256) << 20;
// The reader's child process is stopped after this many seconds.
inline constexpr unsigned kMeshportTimeLimit = 120;
// Deepest node hierarchy converted (what a mesh file can hold); the scene
// root's children are level 1.
inline constexpr int kMeshportMaxDepth = kMebMaxDepth;

// The mesh file content for the 3D file `source`, read in this process.
// Raises EMeshport when the arguments are out of range or the source cannot
// be read or converted. A hostile source may crash the reader itself: use
// `convert_file` for files from outside.
TMebFile convert_scene(const std::string& source, double scale, uint8_t mode);

// Converts `source` into the mesh file `target`. Returns true when the target
// was written. Otherwise there is no new target (an existing file there is
// left as it was), the reason is printed on standard error as one line
// "Meshport: cannot convert "<source>": <reason>" (control characters
// escaped) and, when `message` is given, stored there without the line end.
//
// The reader is forked at the first conversion and kept for the next ones,
// each within kMeshportTimeLimit seconds; it ends with the host, at
// `end_conversion_reader`, or when a file makes it crash, hang, run out of
// memory, or a stop signal comes (as `run_reader` says).
bool convert_file(const std::string& source, const std::string& target, double scale, uint8_t mode,
                  std::string* message = nullptr);

// Ends the reader process that convert_file keeps, if one runs (the next
// conversion starts a new one). Meshport calls it when the host is done.
void end_conversion_reader();
// The process id of that reader, -1 when none runs.
long conversion_reader_pid();

// Runs `work`, which reads `source` and writes `target` (raising on failure,
// EMeshport for a message of its own), in a child process and reports as
// `convert_file` does; true when `work` returned.
//
// The child is stopped after kMeshportTimeLimit seconds, limited to 4 GiB of
// memory (not in sanitizer builds), and ends with the host. While it runs,
// SIGINT and SIGTERM are held back in the calling thread: when one comes,
// the child is ended at once (reason "stopped (the host got signal <n>)"),
// and the signal reaches the host's own handling when the report is out. A
// file the child left half-written beside `target` is removed.
bool run_reader(const std::string& source, const std::string& target, const std::function<void()>& work,
                std::string* message = nullptr);
