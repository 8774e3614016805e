#include "host.meb.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

#include <fmt/format.h>

#include "platform.files.h"
#include "sysutils.h"

namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------------------
// Layout constants
// ---------------------------------------------------------------------------

constexpr uint8_t kMagic[4] = {'M', 'E', 'B', 0x1A};
constexpr size_t kHeaderSize = 12;   // magic, version, object count
constexpr size_t kChecksumSize = 4;  // CRC-32 after the last node
constexpr uint8_t kKindMesh = 0;
constexpr uint8_t kKindGroup = 1;
constexpr size_t kMatrixSize = 16 * 8;
// The smallest node: kind, name length, matrix and one count (a group without
// children); a mesh needs 4 bytes more. Used to check counts of nodes.
constexpr size_t kMinNodeSize = 1 + 4 + kMatrixSize + 4;
constexpr size_t kVertexSize = 12;
constexpr size_t kTriangleSize = 12;

[[noreturn]] void fail(const std::string& path, std::string_view reason) {
  throw EMebFormat(fmt::format("Mesh file \"{}\": {}", path, reason));
}

// ---------------------------------------------------------------------------
// Checksum (CRC-32 of IEEE 802.3, reflected, polynomial 0xEDB88320)
// ---------------------------------------------------------------------------

constexpr std::array<uint32_t, 256> make_crc_table() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = make_crc_table();

uint32_t crc32(const uint8_t* data, size_t size) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) c = kCrcTable[(c ^ data[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

// ---------------------------------------------------------------------------
// Reader
// ---------------------------------------------------------------------------

class TMebReader {
 public:
  TMebReader(const std::string& path, const std::vector<uint8_t>& data, size_t end)
      : _path(path), _data(data), _end(end) {}

  TMebFile read_file() {
    _pos = 8;  // magic and version were checked by the caller
    TMebFile file;
    const uint32_t count = read_count("object count", kMinNodeSize);
    file.objects.reserve(count);
    for (uint32_t i = 0; i < count; ++i) file.objects.push_back(read_node(1));
    if (_pos != _end) fail(_path, fmt::format("trailing data at byte {}", _pos));
    return file;
  }

 private:
  const std::string& _path;
  const std::vector<uint8_t>& _data;
  size_t _end;  // where the checksum starts
  size_t _pos = 0;

  size_t remaining() const { return _end - _pos; }

  void need(size_t bytes) {
    if (remaining() < bytes) fail(_path, fmt::format("unexpected end of data at byte {}", _pos));
  }

  uint8_t u8() {
    need(1);
    return _data[_pos++];
  }

  uint32_t u32() {
    need(4);
    uint32_t v = uint32_t(_data[_pos]) | uint32_t(_data[_pos + 1]) << 8 | uint32_t(_data[_pos + 2]) << 16 |
                 uint32_t(_data[_pos + 3]) << 24;
    _pos += 4;
    return v;
  }

  uint64_t u64() {
    const uint64_t lo = u32();
    return lo | uint64_t(u32()) << 32;
  }

  // A count of items of at least `item_size` bytes each that must fit in the
  // bytes after it.
  uint32_t read_count(std::string_view what, size_t item_size) {
    const size_t at = _pos;
    const uint32_t count = u32();
    if (uint64_t(count) * item_size > remaining())
      fail(_path, fmt::format("{} {} exceeds the remaining data at byte {}", what, count, at));
    return count;
  }

  TMebNode read_node(int depth) {
    const size_t at = _pos;
    if (depth > kMebMaxDepth) fail(_path, fmt::format("nesting deeper than {} levels at byte {}", kMebMaxDepth, at));
    TMebNode node;
    const uint8_t kind = u8();
    if (kind != kKindMesh && kind != kKindGroup) fail(_path, fmt::format("unknown node kind {} at byte {}", kind, at));
    node.is_group = kind == kKindGroup;

    const size_t name_at = _pos;
    const uint32_t name_length = u32();
    if (name_length > kMebMaxNameLength)
      fail(_path, fmt::format("name longer than {} bytes at byte {}", kMebMaxNameLength, name_at));
    need(name_length);
    node.name.assign(reinterpret_cast<const char*>(_data.data() + _pos), name_length);
    if (!valid_utf8(node.name)) fail(_path, fmt::format("name is not UTF-8 at byte {}", name_at));
    _pos += name_length;

    const size_t matrix_at = _pos;
    need(kMatrixSize);
    for (double& m : node.matrix) m = std::bit_cast<double>(u64());
    for (double m : node.matrix)
      if (!std::isfinite(m)) fail(_path, fmt::format("non-finite matrix value at byte {}", matrix_at));

    if (node.is_group) {
      const uint32_t count = read_count("child count", kMinNodeSize);
      node.children.reserve(count);
      for (uint32_t i = 0; i < count; ++i) node.children.push_back(read_node(depth + 1));
      return node;
    }

    const size_t vertices_at = _pos;
    // A mesh is followed by at least its triangle count.
    const uint32_t vertex_count = read_count("vertex count", kVertexSize);
    need(size_t(vertex_count) * kVertexSize + 4);
    node.vertices.resize(vertex_count);
    for (TMebVertex& v : node.vertices) {
      v.x = std::bit_cast<float>(u32());
      v.y = std::bit_cast<float>(u32());
      v.z = std::bit_cast<float>(u32());
      if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z))
        fail(_path, fmt::format("non-finite vertex coordinate in the vertices at byte {}", vertices_at));
    }
    const uint32_t triangle_count = read_count("triangle count", kTriangleSize);
    node.indices.resize(size_t(triangle_count) * 3);
    for (uint32_t& index : node.indices) {
      const size_t index_at = _pos;
      index = u32();
      if (index >= vertex_count)
        fail(_path,
             fmt::format("vertex index {} out of range ({} vertices) at byte {}", index, vertex_count, index_at));
    }
    return node;
  }
};

// ---------------------------------------------------------------------------
// Writer
// ---------------------------------------------------------------------------

class TMebWriter {
 public:
  explicit TMebWriter(const std::string& path) : _path(path) {}

  std::vector<uint8_t> encode(const TMebFile& file) {
    for (uint8_t b : kMagic) u8(b);
    u32(kMebVersion);
    u32(count_of(file.objects.size(), "objects", "file"));
    for (const TMebNode& node : file.objects) write_node(node, 1);
    u32(crc32(_out.data(), _out.size()));
    return std::move(_out);
  }

 private:
  const std::string& _path;
  std::vector<uint8_t> _out;

  [[noreturn]] void refuse(const TMebNode& node, std::string_view reason) {
    fail(_path, fmt::format("cannot write \"{}\": {}", node.name, reason));
  }

  uint32_t count_of(size_t n, std::string_view what, std::string_view owner) {
    if (n > UINT32_MAX) fail(_path, fmt::format("cannot write {}: too many {}", owner, what));
    return uint32_t(n);
  }

  void u8(uint8_t v) { _out.push_back(v); }
  void u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) _out.push_back(uint8_t(v >> (8 * i)));
  }
  void u64(uint64_t v) {
    u32(uint32_t(v));
    u32(uint32_t(v >> 32));
  }

  void write_node(const TMebNode& node, int depth) {
    if (depth > kMebMaxDepth) refuse(node, fmt::format("nesting deeper than {} levels", kMebMaxDepth));
    if (node.name.size() > kMebMaxNameLength) refuse(node, fmt::format("name longer than {} bytes", kMebMaxNameLength));
    if (!valid_utf8(node.name)) refuse(node, "name is not UTF-8");
    for (double m : node.matrix)
      if (!std::isfinite(m)) refuse(node, "non-finite matrix value");

    u8(node.is_group ? kKindGroup : kKindMesh);
    u32(uint32_t(node.name.size()));
    for (char c : node.name) u8(uint8_t(c));
    for (double m : node.matrix) u64(std::bit_cast<uint64_t>(m));

    if (node.is_group) {
      if (!node.vertices.empty() || !node.indices.empty()) refuse(node, "a group has no vertices or triangles");
      u32(count_of(node.children.size(), "children", fmt::format("\"{}\"", node.name)));
      for (const TMebNode& child : node.children) write_node(child, depth + 1);
      return;
    }

    if (!node.children.empty()) refuse(node, "a mesh has no children");
    if (node.indices.size() % 3 != 0) refuse(node, "the index count is not a multiple of 3");
    const uint32_t vertex_count = count_of(node.vertices.size(), "vertices", fmt::format("\"{}\"", node.name));
    u32(vertex_count);
    for (const TMebVertex& v : node.vertices) {
      if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z))
        refuse(node, "non-finite vertex coordinate");
      u32(std::bit_cast<uint32_t>(v.x));
      u32(std::bit_cast<uint32_t>(v.y));
      u32(std::bit_cast<uint32_t>(v.z));
    }
    u32(count_of(node.indices.size() / 3, "triangles", fmt::format("\"{}\"", node.name)));
    for (uint32_t index : node.indices) {
      if (index >= vertex_count)
        refuse(node, fmt::format("vertex index {} out of range ({} vertices)", index, vertex_count));
      u32(index);
    }
  }
};

}  // namespace

// ---------------------------------------------------------------------------
// Entry points
// ---------------------------------------------------------------------------

TMebFile read_meb(const std::string& path) {
  const fs::path file_path(path);
  std::error_code ec;
  if (!fs::is_regular_file(file_path, ec)) fail(path, "cannot be opened");
  const uintmax_t size = fs::file_size(file_path, ec);
  if (ec) fail(path, "cannot be opened");
  if (size == 0) fail(path, "empty file");
  if (size > kMebMaxFileSize) fail(path, fmt::format("too large ({} bytes, at most {})", size, kMebMaxFileSize));

  std::vector<uint8_t> data(size);
  std::ifstream in(file_path, std::ios::binary);
  if (!in) fail(path, "cannot be opened");
  in.read(reinterpret_cast<char*>(data.data()), std::streamsize(size));
  if (size_t(in.gcount()) != size) fail(path, "cannot be read");

  // Magic and version first, so that another kind of file, or a file of
  // another version, is reported as such rather than as damaged.
  const size_t magic_bytes = std::min<size_t>(size, sizeof kMagic);
  if (!std::equal(data.begin(), data.begin() + ptrdiff_t(magic_bytes), kMagic))
    fail(path, "not a mesh file (bad magic number)");
  if (size < 8) fail(path, fmt::format("truncated ({} bytes)", size));
  const uint32_t version =
      uint32_t(data[4]) | uint32_t(data[5]) << 8 | uint32_t(data[6]) << 16 | uint32_t(data[7]) << 24;
  if (version != kMebVersion)
    fail(path, fmt::format("version {} is not supported (this reader reads version {})", version, kMebVersion));
  if (size < kHeaderSize + kChecksumSize) fail(path, fmt::format("truncated ({} bytes)", size));

  const size_t end = size - kChecksumSize;
  const uint32_t stored = uint32_t(data[end]) | uint32_t(data[end + 1]) << 8 | uint32_t(data[end + 2]) << 16 |
                          uint32_t(data[end + 3]) << 24;
  if (stored != crc32(data.data(), end)) fail(path, "damaged or truncated (checksum mismatch)");

  return TMebReader(path, data, end).read_file();
}

void write_meb(const std::string& path, const TMebFile& file, TFileDurability durability) {
  const std::vector<uint8_t> bytes = TMebWriter(path).encode(file);
  try {
    write_file_bytes(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), durability);
  } catch (const EFileError&) {
    fail(path, "cannot be written");
  }
}
