#include "host.meb.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>

#include "test.support.h"

namespace fs = std::filesystem;

namespace {

// CRC-32 bit by bit, as an independent check of the reader's table version.
uint32_t reference_crc(const std::vector<uint8_t>& data, size_t size) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    c ^= data[i];
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
  }
  return ~c;
}

// True when `dir` holds a half-written file of the file writer.
bool has_partial_writes(const fs::path& dir) {
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().extension() == ".part") return true;
  return false;
}

// Builds mesh files byte by byte, to craft files the writer would refuse.
struct TBytes {
  std::vector<uint8_t> b;
  TBytes& u8(uint8_t v) {
    b.push_back(v);
    return *this;
  }
  TBytes& u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
    return *this;
  }
  TBytes& zeros(size_t n) {
    b.insert(b.end(), n, 0);
    return *this;
  }
  TBytes& f32(float v) { return u32(std::bit_cast<uint32_t>(v)); }
  TBytes& f64(double v) {
    const auto u = std::bit_cast<uint64_t>(v);
    return u32(uint32_t(u)).u32(uint32_t(u >> 32));
  }
  TBytes& text(const std::string& s) {
    u32(uint32_t(s.size()));
    b.insert(b.end(), s.begin(), s.end());
    return *this;
  }
  TBytes& header(uint32_t count, uint32_t version = 1) {
    b.insert(b.end(), {'M', 'E', 'B', 0x1A});
    return u32(version).u32(count);
  }
  TBytes& identity() {
    for (int i = 0; i < 16; ++i) f64(i % 5 == 0 ? 1 : 0);
    return *this;
  }
  TBytes& group(const std::string& name, uint32_t children) { return u8(1).text(name).identity().u32(children); }
  // A mesh of one triangle over three vertices.
  TBytes& triangle(const std::string& name) {
    u8(0).text(name).identity().u32(3);
    for (float f : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f}) f32(f);
    return u32(1).u32(0).u32(1).u32(2);
  }
  // Appends the checksum.
  std::vector<uint8_t> sealed() const {
    std::vector<uint8_t> out = b;
    const uint32_t crc = reference_crc(out, out.size());
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(crc >> (8 * i)));
    return out;
  }
};

// Recomputes the checksum of a complete file after the bytes were changed.
void reseal(std::vector<uint8_t>& file) {
  const size_t end = file.size() - 4;
  const uint32_t crc = reference_crc(file, end);
  for (int i = 0; i < 4; ++i) file[end + size_t(i)] = uint8_t(crc >> (8 * i));
}

class meb : public ::testing::Test {
 protected:
  fs::path dir;
  void SetUp() override {
    dir = fs::temp_directory_path() / ("host.meb_test." + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string path(const std::string& name) const { return (dir / name).string(); }

  std::string put(const std::string& name, const std::vector<uint8_t>& bytes) const {
    fs::remove(dir / name);  // rewriting in place would flush to disk each time
    std::ofstream out(dir / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path(name);
  }

  std::vector<uint8_t> get(const std::string& name) const {
    std::ifstream in(dir / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  // The message read_meb raises for `file`, or "" when it reads it.
  std::string refusal(const std::vector<uint8_t>& file) const {
    const std::string p = put("probe.meb", file);
    try {
      read_meb(p);
    } catch (const EMebFormat& e) {
      const std::string prefix = "Mesh file \"" + p + "\": ";
      EXPECT_EQ(e.message().substr(0, prefix.size()), prefix);
      return e.message().substr(prefix.size());
    }
    return "";
  }
};

TMebNode mesh(std::string name, std::vector<TMebVertex> vertices, std::vector<uint32_t> indices) {
  TMebNode node;
  node.name = std::move(name);
  node.vertices = std::move(vertices);
  node.indices = std::move(indices);
  return node;
}

TMebNode group(std::string name, std::vector<TMebNode> children) {
  TMebNode node;
  node.name = std::move(name);
  node.is_group = true;
  node.children = std::move(children);
  return node;
}

void expect_same(const TMebNode& a, const TMebNode& b) {
  SCOPED_TRACE(a.name);
  EXPECT_EQ(a.name, b.name);
  EXPECT_EQ(a.is_group, b.is_group);
  EXPECT_EQ(a.matrix, b.matrix);
  ASSERT_EQ(a.vertices.size(), b.vertices.size());
  for (size_t i = 0; i < a.vertices.size(); ++i) {
    EXPECT_EQ(std::bit_cast<uint32_t>(a.vertices[i].x), std::bit_cast<uint32_t>(b.vertices[i].x));
    EXPECT_EQ(std::bit_cast<uint32_t>(a.vertices[i].y), std::bit_cast<uint32_t>(b.vertices[i].y));
    EXPECT_EQ(std::bit_cast<uint32_t>(a.vertices[i].z), std::bit_cast<uint32_t>(b.vertices[i].z));
  }
  EXPECT_EQ(a.indices, b.indices);
  ASSERT_EQ(a.children.size(), b.children.size());
  for (size_t i = 0; i < a.children.size(); ++i) expect_same(a.children[i], b.children[i]);
}

TMebFile sample_file() {
  TMebNode cube = mesh("Korpus 60 \xC3\xBC\xE2\x82\xAC",
                       {{0, 0, 0}, {0.6f, 0, 0}, {0.6f, 0.72f, 0}, {0, 0.72f, -0.56f}}, {0, 1, 2, 0, 2, 3});
  cube.matrix = {1, 0, 0, 0.25, 0, 0, -1, 0.5, 0, 1, 0, -1e-300, 0, 0, 0, 1};
  TMebNode tiny = mesh("", {{std::numeric_limits<float>::denorm_min(), -0.0f, 3.4e38f}}, {});
  TMebFile file;
  file.objects.push_back(group("Unterschrank", {cube, group("leer", {}), group("inner", {tiny})}));
  file.objects.push_back(mesh("empty", {}, {}));
  file.objects.push_back(mesh(std::string(kMebMaxNameLength, 'n'), {{1, 2, 3}}, {0, 0, 0}));
  return file;
}

}  // namespace

TEST_F(meb, round_trip_keeps_tree_names_matrices_and_exact_values) {
  const TMebFile file = sample_file();
  write_meb(path("sample.meb"), file);
  const TMebFile back = read_meb(path("sample.meb"));
  ASSERT_EQ(back.objects.size(), file.objects.size());
  for (size_t i = 0; i < file.objects.size(); ++i) expect_same(back.objects[i], file.objects[i]);
  EXPECT_FALSE(has_partial_writes(dir));
}

TEST_F(meb, round_trip_of_an_empty_file_and_replacing_an_existing_file) {
  write_meb(path("x.meb"), sample_file());
  write_meb(path("x.meb"), TMebFile{});
  EXPECT_TRUE(read_meb(path("x.meb")).objects.empty());
  EXPECT_EQ(get("x.meb"), TBytes().header(0).sealed());
}

TEST_F(meb, layout_is_little_endian_with_magic_version_and_checksum) {
  TMebFile file;
  file.objects.push_back(mesh("m", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}));
  write_meb(path("layout.meb"), file);
  const std::vector<uint8_t> bytes = get("layout.meb");
  EXPECT_EQ(bytes, TBytes().header(1).triangle("m").sealed());
  ASSERT_EQ(bytes.size(), 206u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8),
            (std::vector<uint8_t>{'M', 'E', 'B', 0x1A, 1, 0, 0, 0}));
  // The checksum is the CRC-32 used by zip and PNG ("123456789" gives 0xCBF43926).
  const std::vector<uint8_t> check = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(reference_crc(check, check.size()), 0xCBF43926u);
}

TEST_F(meb, nesting_up_to_the_limit_is_read) {
  TBytes b;
  b.header(1);
  for (int level = 1; level < kMebMaxDepth; ++level) b.group("", 1);
  b.triangle("deep");
  const TMebFile file = read_meb(put("deep.meb", b.sealed()));
  const TMebNode* node = &file.objects.at(0);
  int depth = 1;
  while (node->is_group) node = &node->children.at(0), ++depth;
  EXPECT_EQ(depth, kMebMaxDepth);
  EXPECT_EQ(node->name, "deep");
}

// Files of one triangle mesh "m" (node at byte 12, vertex count at 146,
// vertices at 150, triangle count at 186, indices at 190, checksum at 202)
// changed in one place, with a correct checksum unless the row says otherwise.
TEST_F(meb, damaged_and_hostile_files_are_refused_with_a_clear_reason) {
  const std::vector<uint8_t> good = TBytes().header(1).triangle("m").sealed();
  ASSERT_EQ(refusal(good), "");

  auto changed = [&](std::function<void(std::vector<uint8_t>&)> change, bool keep_checksum = true) {
    std::vector<uint8_t> f = good;
    change(f);
    if (keep_checksum) reseal(f);
    return f;
  };
  auto put_u32 = [](std::vector<uint8_t>& f, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + size_t(i)] = uint8_t(v >> (8 * i));
  };
  std::vector<uint8_t> too_deep_bytes;
  {
    TBytes b;
    b.header(1);
    for (int level = 1; level <= kMebMaxDepth; ++level) b.group("", 1);
    b.triangle("too deep");
    too_deep_bytes = b.sealed();
  }

  struct TCase {
    const char* what;
    std::vector<uint8_t> file;
    std::string reason;
  } cases[] = {
      {"empty", {}, "empty file"},
      {"other format", {'P', 'K', 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "not a mesh file (bad magic number)"},
      {"text", {'M', 'E', 'S', 'H'}, "not a mesh file (bad magic number)"},
      {"magic only, cut", {'M', 'E', 'B'}, "truncated (3 bytes)"},
      {"cut in version", {'M', 'E', 'B', 0x1A, 1, 0}, "truncated (6 bytes)"},
      {"cut in header", {'M', 'E', 'B', 0x1A, 1, 0, 0, 0, 1, 0}, "truncated (10 bytes)"},
      {"newer version", TBytes().header(1, 2).triangle("m").sealed(),
       "version 2 is not supported (this reader reads version 1)"},
      {"version 0", TBytes().header(1, 0).sealed(), "version 0 is not supported (this reader reads version 1)"},
      {"one byte missing", std::vector<uint8_t>(good.begin(), good.end() - 1),
       "damaged or truncated (checksum mismatch)"},
      {"cut in the vertices", std::vector<uint8_t>(good.begin(), good.begin() + 160),
       "damaged or truncated (checksum mismatch)"},
      {"flipped bit", changed([](auto& f) { f[170] ^= 0x10; }, false), "damaged or truncated (checksum mismatch)"},
      {"flipped checksum", changed([](auto& f) { f[205] ^= 0x80; }, false), "damaged or truncated (checksum mismatch)"},
      {"no objects but data", changed([&](auto& f) { put_u32(f, 8, 0); }), "trailing data at byte 12"},
      {"object count beyond the file", changed([&](auto& f) { put_u32(f, 8, 0xFFFFFFFF); }),
       "object count 4294967295 exceeds the remaining data at byte 8"},
      {"second object missing", changed([&](auto& f) { put_u32(f, 8, 2); }),
       "object count 2 exceeds the remaining data at byte 8"},
      {"unknown kind", changed([](auto& f) { f[12] = 7; }), "unknown node kind 7 at byte 12"},
      {"long name", changed([&](auto& f) { put_u32(f, 13, kMebMaxNameLength + 1); }),
       "name longer than 4096 bytes at byte 13"},
      {"name beyond the file", TBytes().header(1).u8(0).u32(200).zeros(132).sealed(),
       "unexpected end of data at byte 17"},
      {"name not UTF-8", changed([](auto& f) { f[17] = 0xC0; }), "name is not UTF-8 at byte 13"},
      {"NaN in the matrix", changed([](auto& f) { f[25] = 0x7F, f[24] = 0xF8; }), "non-finite matrix value at byte 18"},
      {"cut in the matrix", TBytes().header(1).u8(0).text("0123456789").zeros(122).sealed(),
       "unexpected end of data at byte 27"},
      {"infinite vertex",
       changed([&](auto& f) { put_u32(f, 162, std::bit_cast<uint32_t>(std::numeric_limits<float>::infinity())); }),
       "non-finite vertex coordinate in the vertices at byte 146"},
      {"vertex count beyond the file", changed([&](auto& f) { put_u32(f, 146, 1000000); }),
       "vertex count 1000000 exceeds the remaining data at byte 146"},
      {"no triangle count", TBytes().header(1).u8(0).text("m").identity().u32(0).sealed(),
       "unexpected end of data at byte 150"},
      {"triangle count beyond the file", changed([&](auto& f) { put_u32(f, 186, 2); }),
       "triangle count 2 exceeds the remaining data at byte 186"},
      {"index out of range", changed([&](auto& f) { put_u32(f, 198, 3); }),
       "vertex index 3 out of range (3 vertices) at byte 198"},
      {"huge index", changed([&](auto& f) { put_u32(f, 190, 0xFFFFFFFF); }),
       "vertex index 4294967295 out of range (3 vertices) at byte 190"},
      {"mesh without vertices but a triangle",
       TBytes().header(1).u8(0).text("m").identity().u32(0).u32(1).u32(0).u32(0).u32(0).sealed(),
       "vertex index 0 out of range (0 vertices) at byte 154"},
      {"trailing byte",
       [&] {
         TBytes b = TBytes().header(1).triangle("m");
         b.u8(0);
         return b.sealed();
       }(),
       "trailing data at byte 202"},
      {"child count beyond the file", TBytes().header(1).group("g", 1).sealed(),
       "child count 1 exceeds the remaining data at byte 146"},
      {"children beyond the limit", TBytes().header(1).group("g", 0xFFFFFFFF).sealed(),
       "child count 4294967295 exceeds the remaining data at byte 146"},
      {"nesting too deep", too_deep_bytes, "nesting deeper than 1000 levels at byte 137012"},
  };
  for (const TCase& c : cases) EXPECT_EQ(refusal(c.file), c.reason) << c.what;
}

TEST_F(meb, missing_unreadable_and_huge_files_are_refused) {
  const std::string missing = path("missing.meb");
  EXPECT_THROW_MSG(read_meb(missing), EMebFormat, "Mesh file \"" + missing + "\": cannot be opened");
  fs::create_directories(dir / "folder.meb");
  EXPECT_THROW(read_meb(path("folder.meb")), EMebFormat);

  // A sparse file just over the limit: refused by its size, before reading.
  const std::string huge = put("huge.meb", TBytes().header(0).sealed());
  fs::resize_file(huge, kMebMaxFileSize + 1);
  EXPECT_THROW_MSG(read_meb(huge), EMebFormat,
                   "Mesh file \"" + huge + "\": too large (1073741825 bytes, at most 1073741824)");
}

// Every single-byte change and every truncation of a valid file is either
// read or refused with EMebFormat: nothing else escapes, nothing crashes.
TEST_F(meb, every_byte_change_and_truncation_is_read_or_refused) {
  TMebFile file;
  file.objects.push_back(group("g", {mesh("m", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}), group("e", {})}));
  write_meb(path("base.meb"), file);
  const std::vector<uint8_t> good = get("base.meb");
  int refused = 0, read = 0;
  auto probe = [&](const std::vector<uint8_t>& f) {
    const std::string p = put("probe.meb", f);
    try {
      read_meb(p);
      ++read;
    } catch (const EMebFormat&) {
      ++refused;
    }
  };
  for (size_t at = 0; at + 4 < good.size(); ++at)
    for (uint8_t value : {uint8_t(0), uint8_t(1), uint8_t(0x7F), uint8_t(0xFF), uint8_t(good[at] ^ 0x40)}) {
      std::vector<uint8_t> f = good;
      f[at] = value;
      reseal(f);
      probe(f);
    }
  for (size_t size = 0; size < good.size(); ++size) {
    std::vector<uint8_t> f(good.begin(), good.begin() + ptrdiff_t(size));
    probe(f);
    if (size >= 16) {
      reseal(f);
      probe(f);
    }
  }
  EXPECT_GT(refused, 0);
  EXPECT_GT(read, 0);  // changes inside vertex values stay readable
}

TEST_F(meb, writer_refuses_content_the_reader_would_refuse) {
  TMebNode nan_matrix = mesh("nan matrix", {}, {});
  nan_matrix.matrix[5] = std::nan("");
  TMebNode group_with_vertices = group("g", {});
  group_with_vertices.vertices = {{0, 0, 0}};
  TMebNode mesh_with_children = mesh("m", {}, {});
  mesh_with_children.children = {mesh("c", {}, {})};
  TMebNode too_deep = mesh("leaf", {}, {});
  for (int level = 1; level <= kMebMaxDepth; ++level) too_deep = group("level", {too_deep});

  struct TCase {
    TMebNode node;
    std::string message;
  } cases[] = {
      {mesh("two indices", {{0, 0, 0}}, {0, 0}),
       "cannot write \"two indices\": the index count is not a multiple of 3"},
      {mesh("out", {{0, 0, 0}}, {0, 0, 1}), "cannot write \"out\": vertex index 1 out of range (1 vertices)"},
      {mesh("inf", {{0, INFINITY, 0}}, {}), "cannot write \"inf\": non-finite vertex coordinate"},
      {nan_matrix, "cannot write \"nan matrix\": non-finite matrix value"},
      {group_with_vertices, "cannot write \"g\": a group has no vertices or triangles"},
      {mesh_with_children, "cannot write \"m\": a mesh has no children"},
      {mesh(std::string(kMebMaxNameLength + 1, 'n'), {}, {}),
       "cannot write \"" + std::string(kMebMaxNameLength + 1, 'n') + "\": name longer than 4096 bytes"},
      {mesh("bad \xFF", {}, {}), "cannot write \"bad \xFF\": name is not UTF-8"},
      {mesh("surrogate \xED\xA0\x80", {}, {}), "cannot write \"surrogate \xED\xA0\x80\": name is not UTF-8"},
      {too_deep, "cannot write \"leaf\": nesting deeper than 1000 levels"},
  };
  const std::string target = path("refused.meb");
  for (const TCase& c : cases) {
    TMebFile file;
    file.objects.push_back(c.node);
    EXPECT_THROW_MSG(write_meb(target, file), EMebFormat, "Mesh file \"" + target + "\": " + c.message);
    EXPECT_FALSE(fs::exists(target));
    EXPECT_FALSE(has_partial_writes(dir));
  }
}

TEST_F(meb, writing_into_a_missing_folder_fails_and_leaves_nothing) {
  const std::string target = path("no such folder/x.meb");
  EXPECT_THROW_MSG(write_meb(target, sample_file()), EMebFormat, "Mesh file \"" + target + "\": cannot be written");
  EXPECT_FALSE(fs::exists(dir / "no such folder"));
}

TEST_F(meb, paths_with_spaces_and_non_ascii_names_work) {
  fs::create_directories(dir /
                         "K\xC3\xBC"
                         "che mit Leerzeichen");
  const std::string target = path(
      "K\xC3\xBC"
      "che mit Leerzeichen/Sp\xC3\xBCle \xE2\x80\x93 60.meb");
  write_meb(target, sample_file());
  EXPECT_EQ(read_meb(target).objects.size(), 3u);
}
