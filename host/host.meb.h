// The host's own mesh files (`.meb`): a tree of groups and triangle meshes,
// each node with a name and a matrix. `read_meb` loads a file into a
// `TMebFile`, `write_meb` stores one. The byte layout (version 1) is described
// in host/README.md, section "Mesh files (.meb)".
//
// The reader trusts nothing in the file: every count is checked against the
// bytes that remain before anything is allocated, nesting is bounded, every
// index must name an existing vertex, and a checksum over the whole file
// catches damaged and truncated files. Anything it cannot accept raises
// EMebFormat with a message naming the file and the fault; it never crashes.
//
//   TMebFile file = read_meb("/tmp/cube.meb");   // raises EMebFormat
//   for (const TMebNode& object : file.objects) ...
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform.files.h"
#include "system.h"

// A mesh file that cannot be read or written; the message names the file.
BXF_DECLARE_EXCEPTION(EMebFormat, Exception);

// One vertex position.
struct TMebVertex {
  float x, y, z;
};

// A node of the tree: a group (`is_group`, with `children`) or a mesh (with
// `vertices` and `indices`). A group has no vertices or indices and a mesh
// has no children.
struct TMebNode {
  std::string name;  // UTF-8, at most kMebMaxNameLength bytes, may be empty
  // Row-major, column vectors (the translation is in elements 3, 7 and 11);
  // identity by default.
  std::array<double, 16> matrix = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  std::vector<TMebVertex> vertices;  // mesh nodes
  std::vector<uint32_t> indices;     // 3 per triangle, each < vertices.size(); mesh nodes
  std::vector<TMebNode> children;    // group nodes
  bool is_group = false;
};

// A whole file: its top-level objects, in order.
struct TMebFile {
  std::vector<TMebNode> objects;
};

// The format version this module reads and writes.
inline constexpr uint32_t kMebVersion = 1;
// Files larger than this are refused before they are read (1 GiB).
inline constexpr uint64_t kMebMaxFileSize = uint64_t(1) << 30;
// Deepest allowed nesting; top-level objects are at level 1. Far above
// what real models need (some nest 65 levels).
inline constexpr int kMebMaxDepth = 1000;
// Longest allowed node name, in bytes.
inline constexpr uint32_t kMebMaxNameLength = 4096;

// The content of the mesh file at `path` (a UTF-8 path). Raises EMebFormat
// when the file cannot be read, is not a mesh file, has another version, is
// damaged, truncated, too large or too deeply nested, or holds a value the
// format does not allow (an index out of range, a non-finite number, a name
// that is too long or not UTF-8).
TMebFile read_meb(const std::string& path);

// Writes `file` to `path`, replacing an existing file through the platform's
// file writer (`write_file_bytes`), so the target is either the complete new
// file or left as it was. Raises EMebFormat
// when the content breaks a rule of the format (the reader would refuse it)
// or when the file cannot be written. `durability` as write_file_bytes
// takes it.
void write_meb(const std::string& path, const TMebFile& file, TFileDurability durability = TFileDurability::durable);
