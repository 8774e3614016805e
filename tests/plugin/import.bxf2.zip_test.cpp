#include "import.bxf2.zip.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform.files.h"
#include "test.support.h"

using namespace test_support;

namespace {

// One entry of an archive written for a test.
struct TZipEntry {
  TZipEntry(std::string name, std::string data, zip_int32_t method = ZIP_CM_DEFLATE, bool folder = false,
            std::optional<std::uint32_t> unix_mode = {})
      : name(std::move(name)), data(std::move(data)), method(method), folder(folder), unix_mode(unix_mode) {}

  std::string name;
  std::string data;
  zip_int32_t method = ZIP_CM_DEFLATE;
  bool folder = false;                     // added as a folder entry (data unused)
  std::optional<std::uint32_t> unix_mode;  // file type and permissions, e.g. 0120777 for a link
};

// Writes `entries` as a ZIP archive to `path` with libzip's writer.
void write_zip(const std::string& path, const std::vector<TZipEntry>& entries) {
  int code = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  ASSERT_NE(archive, nullptr) << "zip_open " << code;
  for (const TZipEntry& entry : entries) {
    zip_int64_t index;
    if (entry.folder) {
      index = zip_dir_add(archive, entry.name.c_str(), ZIP_FL_ENC_UTF_8);
    } else {
      zip_source_t* source = zip_source_buffer(archive, entry.data.data(), entry.data.size(), 0);
      ASSERT_NE(source, nullptr);
      index = zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8);
      if (index < 0) zip_source_free(source);
    }
    ASSERT_GE(index, 0) << entry.name << ": " << zip_strerror(archive);
    if (!entry.folder) {
      ASSERT_EQ(zip_set_file_compression(archive, index, entry.method, 0), 0) << entry.name;
    }
    if (entry.unix_mode) {
      ASSERT_EQ(zip_file_set_external_attributes(archive, index, 0, ZIP_OPSYS_UNIX, *entry.unix_mode << 16), 0);
    }
  }
  ASSERT_EQ(zip_close(archive), 0) << zip_strerror(archive);
}

std::uint32_t get32(const std::string& bytes, std::size_t at) {
  return std::uint32_t(std::uint8_t(bytes[at])) | std::uint32_t(std::uint8_t(bytes[at + 1])) << 8 |
         std::uint32_t(std::uint8_t(bytes[at + 2])) << 16 | std::uint32_t(std::uint8_t(bytes[at + 3])) << 24;
}
std::uint16_t get16(const std::string& bytes, std::size_t at) {
  return std::uint16_t(std::uint8_t(bytes[at]) | std::uint8_t(bytes[at + 1]) << 8);
}
void put(std::string& bytes, std::size_t at, std::uint32_t value, int size) {
  for (int i = 0; i < size; ++i) bytes[at + i] = char((value >> (8 * i)) & 0xFF);
}

// Rewrites a header field of the entry `name` in the archive's bytes, in its
// local header and in the central directory: what a hand-made or hostile
// archive would hold. Offsets are those of the local header; the central
// directory's field sits `central_shift` bytes further (2 for the method and
// sizes: its record has the extra "version made by" field).
enum class TField { method, uncompressed_size };
void patch_entry(const std::string& path, const std::string& name, TField field, std::uint32_t value) {
  std::string bytes = read_file_bytes(path);
  int patched = 0;
  for (std::size_t at = 0; at + 46 <= bytes.size(); ++at) {
    const std::uint32_t signature = get32(bytes, at);
    if (signature == 0x04034b50 && bytes.compare(at + 30, get16(bytes, at + 26), name) == 0 &&
        get16(bytes, at + 26) == name.size()) {
      put(bytes, at + (field == TField::method ? 8 : 22), value, field == TField::method ? 2 : 4);
      ++patched;
    } else if (signature == 0x02014b50 && get16(bytes, at + 28) == name.size() &&
               bytes.compare(at + 46, name.size(), name) == 0) {
      put(bytes, at + (field == TField::method ? 10 : 24), value, field == TField::method ? 2 : 4);
      ++patched;
    }
  }
  ASSERT_EQ(patched, 2) << name;
  write_file_bytes(path, bytes);
}

// The files and folders below `root`, relative, sorted ("a/", "a/b.txt").
std::vector<std::string> tree(const std::string& root) {
  std::vector<std::string> names;
  if (!std::filesystem::exists(root)) return names;
  for (const auto& item : std::filesystem::recursive_directory_iterator(root)) {
    std::string name = std::filesystem::relative(item.path(), root).generic_string();
    if (item.is_directory() && !item.is_symlink()) name += '/';
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// What extract_archive raised: class and message, empty when nothing.
TRaised raised_by(const std::string& archive, const std::string& folder, const TZipLimits& limits = {}) {
  return test_support::raised_by([&] { extract_archive(archive, folder, limits); });
}

// A fresh folder for the test: the archive lies in it, extraction goes to
// its "out" subfolder, so anything written beside "out" escaped.
class zip_extract : public ::testing::Test {
 protected:
  void SetUp() override {
    root = temp_folder() + "zip_test_" + guid_to_hex(new_guid());
    ASSERT_TRUE(force_folders(root));
    archive = root + "/archive.zip";
    out = root + "/out";
  }
  void TearDown() override { delete_folder(root); }

  // Everything below the root except the archive and "out".
  std::vector<std::string> outside() const {
    std::vector<std::string> names;
    for (const std::string& name : tree(root))
      if (name != "archive.zip" && name != "out/" && name.rfind("out/", 0) != 0) names.push_back(name);
    return names;
  }

  std::string root, archive, out;
};

const std::string kitchen_xml = "<bxf><head/><scene/><library/></bxf>\n";
const std::string mesh_text(5000, 'm');

}  // namespace

TEST_F(zip_extract, extracts_stored_and_deflated_entries_with_their_folders) {
  write_zip(archive, {
                         {"kitchen.bxf2", kitchen_xml, ZIP_CM_STORE},
                         {"cadData/", "", ZIP_CM_STORE, true},
                         {"cadData/4711_K1.dae", mesh_text, ZIP_CM_DEFLATE},
                         {"deep/er/folder/note.txt", "n", ZIP_CM_DEFLATE},
                         {"empty/", "", ZIP_CM_STORE, true},
                         {"zero.txt", "", ZIP_CM_STORE},
                         {"./dot/./x.txt", "x", ZIP_CM_STORE},
                         {"a/../inside.txt", "i", ZIP_CM_STORE},
                     });
  extract_archive(archive, out);
  EXPECT_EQ(tree(out), (std::vector<std::string>{"cadData/", "cadData/4711_K1.dae", "deep/", "deep/er/",
                                                 "deep/er/folder/", "deep/er/folder/note.txt", "dot/", "dot/x.txt",
                                                 "empty/", "inside.txt", "kitchen.bxf2", "zero.txt"}));
  EXPECT_EQ(read_file_bytes(out + "/kitchen.bxf2"), kitchen_xml);
  EXPECT_EQ(read_file_bytes(out + "/cadData/4711_K1.dae"), mesh_text);
  EXPECT_EQ(read_file_bytes(out + "/zero.txt"), "");
  EXPECT_EQ(read_file_bytes(out + "/inside.txt"), "i");
  EXPECT_TRUE(outside().empty());
}

TEST_F(zip_extract, backslash_separators_make_folders) {
  write_zip(archive, {
                         {"cadData\\", "", ZIP_CM_STORE, true},
                         {"cadData\\1105_K2.dae", mesh_text, ZIP_CM_DEFLATE},
                         {"mixed\\sub/file.txt", "f", ZIP_CM_STORE},
                     });
  extract_archive(archive, out);
  EXPECT_EQ(tree(out), (std::vector<std::string>{"cadData/", "cadData/1105_K2.dae", "mixed/", "mixed/sub/",
                                                 "mixed/sub/file.txt"}));
  EXPECT_EQ(read_file_bytes(out + "/cadData/1105_K2.dae"), mesh_text);
}

TEST_F(zip_extract, existing_files_are_overwritten_and_later_entries_win) {
  ASSERT_TRUE(force_folders(out + "/cadData"));
  write_file_bytes(out + "/kitchen.bxf2", std::string(10000, 'o'));
  write_file_bytes(out + "/cadData/keep.dae", "keep");
  write_zip(archive, {
                         {"kitchen.bxf2", kitchen_xml, ZIP_CM_DEFLATE},
                         {"twice.txt", "first", ZIP_CM_STORE},
                         {"./twice.txt", "second", ZIP_CM_STORE},
                     });
  extract_archive(archive, out + "/");  // a trailing separator on the folder is fine
  EXPECT_EQ(read_file_bytes(out + "/kitchen.bxf2"), kitchen_xml);
  EXPECT_EQ(read_file_bytes(out + "/twice.txt"), "second");
  EXPECT_EQ(read_file_bytes(out + "/cadData/keep.dae"), "keep");
}

// As on the desktop, names that differ only in letter case are one name:
// entries join the folder or replace the file already there.
TEST_F(zip_extract, names_that_differ_in_case_only_are_one_name) {
  write_zip(archive, {
                         {"cadData/a.dae", "a", ZIP_CM_STORE},
                         {"CADDATA/b.dae", "b", ZIP_CM_STORE},
                         {"CadData/Sub/", "", ZIP_CM_STORE, true},
                         {"caddata/SUB/c.dae", "c", ZIP_CM_STORE},
                         {"CADDATA/A.DAE", "a again", ZIP_CM_STORE},
                         {"kitchen.bxf2", "first", ZIP_CM_STORE},
                         {"Kitchen.BXF2", kitchen_xml, ZIP_CM_STORE},
                     });
  extract_archive(archive, out);
  EXPECT_EQ(tree(out), (std::vector<std::string>{"cadData/", "cadData/Sub/", "cadData/Sub/c.dae", "cadData/a.dae",
                                                 "cadData/b.dae", "kitchen.bxf2"}));
  EXPECT_EQ(read_file_bytes(out + "/cadData/a.dae"), "a again");
  EXPECT_EQ(read_file_bytes(out + "/kitchen.bxf2"), kitchen_xml);

  // The archive itself is found in any case too.
  const std::string upper = root + "/UPPER.ZIP";
  ASSERT_EQ(std::rename(archive.c_str(), upper.c_str()), 0);
  delete_folder(out);
  extract_archive(root + "/upper.zip", out);
  EXPECT_EQ(read_file_bytes(out + "/cadData/b.dae"), "b");
}

TEST_F(zip_extract, an_existing_link_at_a_target_is_not_followed) {
  ASSERT_TRUE(force_folders(out));
  ASSERT_EQ(::symlink((root + "/victim.txt").c_str(), (out + "/x.txt").c_str()), 0);
  write_zip(archive, {{"x.txt", "payload", ZIP_CM_STORE}});
  const TRaised raised = raised_by(archive, out);
  EXPECT_EQ(raised.class_name, "EZipError");
  EXPECT_EQ(raised.message.rfind("Archive \"" + archive + "\": cannot create file \"" + out + "/x.txt\": ", 0), 0u)
      << raised.message;
  EXPECT_FALSE(std::filesystem::exists(root + "/victim.txt"));
}

// Archives refused before anything is written: the message, and neither the
// extraction folder nor anything beside it exists afterwards.
TEST_F(zip_extract, hostile_and_unsupported_archives_are_refused_before_writing) {
  struct Case {
    const char* what;
    std::vector<TZipEntry> entries;
    TZipLimits limits;
    std::string message;  // after "Archive \"<archive>\" refused: "
  };
  const TZipEntry good{"kitchen.bxf2", kitchen_xml, ZIP_CM_STORE};
  const std::string escaped = "/escaped.txt";  // below the root, absolute
  const std::vector<Case> cases = {
      {"parent", {good, {"../escaped.txt", "x"}}, {}, "entry \"../escaped.txt\" climbs out of the folder"},
      {"parent deeper",
       {good, {"a/b/../../../escaped.txt", "x"}},
       {},
       "entry \"a/b/../../../escaped.txt\" climbs out of the folder"},
      {"parent backslash",
       {good, {"cadData\\..\\..\\escaped.txt", "x"}},
       {},
       "entry \"cadData\\..\\..\\escaped.txt\" climbs out of the folder"},
      {"parent folder", {good, {"../", "", ZIP_CM_STORE, true}}, {}, "entry \"../\" climbs out of the folder"},
      {"absolute", {good, {"ROOT" + escaped, "x"}}, {}, "entry \"ROOT" + escaped + "\" has an absolute path"},
      {"absolute backslash", {good, {"\\escaped.txt", "x"}}, {}, "entry \"\\escaped.txt\" has an absolute path"},
      {"drive letter", {good, {"C:/escaped.txt", "x"}}, {}, "entry \"C:/escaped.txt\" starts with a drive letter"},
      {"drive relative", {good, {"c:escaped.txt", "x"}}, {}, "entry \"c:escaped.txt\" starts with a drive letter"},
      {"symbolic link",
       {good, {"link", "ROOT", ZIP_CM_STORE, false, 0120777}},
       {},
       "entry \"link\" is a symbolic link"},
      {"fifo", {good, {"pipe", "", ZIP_CM_STORE, false, 0010644}}, {}, "entry \"pipe\" is a special file"},
      {"only dots", {good, {"./.", "x"}}, {}, "entry \"./.\" names no file"},
      {"declared entry size",
       {good, {"big.dae", std::string(2000, 'b')}},
       {100, 1000, 100000},
       "entry \"big.dae\" declares 2000 bytes, more than the limit of 1000 bytes per entry"},
      {"declared total size",
       {{"a", std::string(600, 'a')}, {"b", std::string(600, 'b')}, {"c", std::string(600, 'c')}},
       {100, 1000, 1500},
       "its entries declare more than the limit of 1500 bytes in total"},
      {"entry count",
       {good, {"a", "a"}, {"b", "b"}},
       {2, 1000, 100000},
       "it holds 3 entries, more than the limit of 2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<TZipEntry> entries = c.entries;
    for (TZipEntry& entry : entries) {
      if (entry.name.rfind("ROOT", 0) == 0) entry.name = root + entry.name.substr(4);
      if (entry.data == "ROOT") entry.data = root + escaped;
    }
    write_zip(archive, entries);
    std::string message = c.message;
    if (const auto at = message.find("ROOT"); at != std::string::npos) message.replace(at, 4, root);
    const TRaised raised = raised_by(archive, out, c.limits);
    EXPECT_EQ(raised.class_name, "EZipError");
    EXPECT_EQ(raised.message, "Archive \"" + archive + "\" refused: " + message);
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_TRUE(outside().empty());
    EXPECT_FALSE(std::filesystem::exists(root + escaped));
  }
}

TEST_F(zip_extract, compression_methods_other_than_stored_and_deflated_are_refused) {
  struct Case {
    std::uint32_t method;
    const char* text;
  };
  const Case cases[] = {
      {ZIP_CM_BZIP2, "12 (bzip2)"},    {ZIP_CM_LZMA, "14 (lzma)"}, {ZIP_CM_DEFLATE64, "9 (deflate64)"},
      {ZIP_CM_IMPLODE, "6 (implode)"}, {ZIP_CM_XZ, "95 (xz)"},     {77, "77 (unknown)"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    write_zip(archive, {{"kitchen.bxf2", kitchen_xml, ZIP_CM_STORE}, {"cadData/odd.dae", mesh_text, ZIP_CM_STORE}});
    patch_entry(archive, "cadData/odd.dae", TField::method, c.method);
    const TRaised raised = raised_by(archive, out);
    EXPECT_EQ(raised.class_name, "EZipError");
    EXPECT_EQ(raised.message, "Archive \"" + archive +
                                  "\" refused: entry \"cadData/odd.dae\" uses compression method " + c.text +
                                  "; only stored (0) and deflated (8) entries are supported");
    EXPECT_FALSE(std::filesystem::exists(out));
  }
}

// A header that under-declares its size: the bytes actually inflated are
// counted, extraction stops at the declared size, and the partial file goes.
TEST_F(zip_extract, an_entry_larger_than_it_declares_is_refused_while_inflating) {
  const std::string bomb(4 << 20, '\0');
  write_zip(archive, {{"kitchen.bxf2", kitchen_xml, ZIP_CM_STORE}, {"bomb.dae", bomb, ZIP_CM_DEFLATE}});
  patch_entry(archive, "bomb.dae", TField::uncompressed_size, 10);
  const TRaised raised = raised_by(archive, out, {100, 1000, 2000});
  EXPECT_EQ(raised.class_name, "EZipError");
  EXPECT_EQ(raised.message,
            "Archive \"" + archive + "\" refused: entry \"bomb.dae\" unpacks to more than the 10 bytes it declares");
  EXPECT_EQ(tree(out), (std::vector<std::string>{"kitchen.bxf2"}));
  EXPECT_TRUE(outside().empty());
}

TEST_F(zip_extract, damaged_and_foreign_files_give_a_clear_error) {
  std::string text;  // letters that do not compress much
  for (std::uint32_t seed = 1; text.size() < 20000;) {
    seed = seed * 1103515245 + 12345;
    text += char('a' + (seed >> 16) % 26);
  }
  write_zip(archive, {{"kitchen.bxf2", text, ZIP_CM_DEFLATE}});
  const std::string valid = read_file_bytes(archive);

  struct Case {
    const char* what;
    std::string bytes;
    std::string message;  // with ARCHIVE for the archive's path
  };
  std::string corrupt = valid;
  for (std::size_t at = 1000; at < 1100; ++at) corrupt[at] = char(corrupt[at] ^ 0x55);  // inside the deflated data
  const std::vector<Case> cases = {
      {"text file", "<bxf/>\n", "Cannot open archive \"ARCHIVE\": Not a zip archive"},
      {"empty file", "", "Cannot open archive \"ARCHIVE\": Not a zip archive"},
      {"truncated", valid.substr(0, valid.size() - 30), "Cannot open archive \"ARCHIVE\": Not a zip archive"},
      {"cut in the data", valid.substr(0, 80) + valid.substr(valid.size() - 80),
       "Cannot open archive \"ARCHIVE\": Zip archive inconsistent"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    write_file_bytes(archive, c.bytes);
    std::string message = c.message;
    message.replace(message.find("ARCHIVE"), 7, archive);
    const TRaised raised = raised_by(archive, out);
    EXPECT_EQ(raised.class_name, "EZipError");
    EXPECT_EQ(raised.message, message);
  }

  // Damage only the compressed data: the directory reads, inflating fails.
  write_file_bytes(archive, corrupt);
  const TRaised raised = raised_by(archive, out);
  EXPECT_EQ(raised.class_name, "EZipError");
  EXPECT_EQ(raised.message.rfind("Archive \"" + archive + "\": cannot read entry \"kitchen.bxf2\": ", 0), 0u)
      << raised.message;
  EXPECT_FALSE(std::filesystem::exists(out + "/kitchen.bxf2"));

  const TRaised missing = raised_by(root + "/missing.zip", out);
  EXPECT_EQ(missing.class_name, "EZipError");
  EXPECT_EQ(missing.message, "Cannot open archive \"" + root + "/missing.zip\": No such file");
}
