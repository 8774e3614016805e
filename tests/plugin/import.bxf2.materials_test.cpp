#include "import.bxf2.materials.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "platform.codepage.h"
#include "platform.files.h"
#include "platform.locale.h"
#include "sysutils.h"
#include "test.support.h"

using namespace test_support;

namespace {

class materials : public ::testing::Test {
 protected:
  void SetUp() override { set_decimal_separator('.'); }
  void TearDown() override {
    set_decimal_separator(0);
    EXPECT_EQ(CSafeInterfacedObject::leak_report(), "");
  }
  static TRef<IDictionary<TMaterialData>> load(const std::string& bytes) {
    TTempFile file(bytes, ".csv");
    return load_material_dict(file.path());
  }
};

const TMaterialData kob_builtin{"CABINET", TSingleRGB(1.0f, 0.96f, 0.93f), true, false, true, false};

TEST_F(materials, builtin_table_without_file) {
  TRef<IDictionary<TMaterialData>> dict = load_material_dict("/nonexistent/import.bxf2.materials.csv");
  EXPECT_EQ(dict->get_count(), builtin_material_count);
  // Keys stay in ordinal order.
  for (int32_t i = 1; i < dict->get_count(); ++i) EXPECT_LT(compare_str(dict->get_key(i - 1), dict->get_key(i)), 0);

  struct Row {
    const char* key;
    TMaterialData data;
  };
  const Row rows[] = {
      {"F-BOD", {"ELEMENT", TSingleRGB(0.1f), true, false, true, false}},
      {"F-ESEL-re", {"ELEMENT", TSingleRGB(0.1f), false, true, false, false}},
      {"F-ESEL-vo", {"ELEMENT", TSingleRGB(0.1f), false, false, false, true}},
      {"H-FRON-Tuer", {"FRONT", TSingleRGB(0.63f, 0.52f, 0.54f), false, false, false, true}},
      {"H-FRON_HF-ob", {"FRONT", TSingleRGB(0.63f, 0.52f, 0.54f), false, false, false, true}},
      {"H-FRON-HF-ob", {"FRONT", TSingleRGB(0.63f, 0.52f, 0.54f), false, false, false, true}},
      {"H-RUEW-Sp-mi", {"BACK", TSingleRGB(0.2f), false, false, false, true}},
      {"H-SK8", {"DRAWER", TSingleRGB(0.4f), false, true, true, true}},
      {"H-VSTK-TAB", {"DRAWER", TSingleRGB(0.4f), false, false, false, true}},
      {"H-ZARG-TAB-SPAST-re", {"DRAWER", TSingleRGB(0.4f), false, true, false, false}},
      {"KOB", kob_builtin},
      {"TRAV-vo-li", kob_builtin},
      {"KRW", {"CABINET", TSingleRGB(1.0f, 0.96f, 0.93f), false, false, false, true}},
      {"S-DIST-re", {"CABINET", TSingleRGB(1.0f, 0.96f, 0.93f), true, true, false, false}},
      {"K-ZWIS", {"CABINET", TSingleRGB(1.0f, 0.96f, 0.93f), false, true, false, false}},
      {"TRAV-hi", {"CABINET", TSingleRGB(1.0f, 0.96f, 0.93f), true, true, true, true}},
      {"TRAV-KUB-vo-st", {"CABINET", TSingleRGB(1.0f, 0.96f, 0.93f), true, false, false, true}},
      {"ZUSCHN-TAB-SPAST", {"DRAWER2", TSingleRGB(0.6f), false, false, true, false}},
  };
  for (const Row& row : rows) {
    TMaterialData data;
    ASSERT_TRUE(dict->try_get_value(row.key, data)) << row.key;
    EXPECT_EQ(data, row.data) << row.key;
  }

  // Exact look-up only: other case, a trailing blank or a prefix find nothing,
  // and a failed look-up empties the id.
  for (const char* key : {"kob", "KOB ", "KO", "KOBX", "H-SK", "h-sk3", ""}) {
    TMaterialData data{"stale", TSingleRGB(0.5f), true, true, true, true};
    EXPECT_FALSE(dict->try_get_value(key, data)) << key;
    EXPECT_EQ(data.id, "") << key;
  }
}

// What a file of lines does to the table: the key looked up afterwards and
// the record expected, or nothing when the line must change nothing.
struct FileCase {
  const char* name;
  std::string content;
  const char* key;
  std::optional<TMaterialData> expected;
  int32_t count = builtin_material_count;
};

// A case prints as its name in the test's output.
void PrintTo(const FileCase& c, std::ostream* os) { *os << c.name; }

class materials_file : public materials, public ::testing::WithParamInterface<FileCase> {};

TEST_P(materials_file, line) {
  const FileCase& c = GetParam();
  TRef<IDictionary<TMaterialData>> dict = load(c.content);
  EXPECT_EQ(dict->get_count(), c.count);
  TMaterialData data;
  bool found = dict->try_get_value(c.key, data);
  if (c.expected) {
    ASSERT_TRUE(found);
    EXPECT_EQ(data, *c.expected);
  } else {
    EXPECT_FALSE(found);
  }
}

const TMaterialData oak{"OAK", TSingleRGB(0.5f, 0.5f, 1.0f), true, false, true, false};

INSTANTIATE_TEST_SUITE_P(
    , materials_file,
    ::testing::Values(
        FileCase{"replaces_builtin", "KOB\tOAK\t0,5\t0.5\tx\t1\t0\t1\t0\n", "KOB", oak},
        FileCase{"adds_key", "NEW\tPINE\t0.25\t0.5\t0.75\t0\t1\t1\t1\n", "NEW",
                 TMaterialData{"PINE", TSingleRGB(0.25f, 0.5f, 0.75f), false, true, true, true}, 73},
        FileCase{"no_line_end", "KOB\tOAK\t0,5\t0.5\tx\t1\t0\t1\t0", "KOB", oak},
        FileCase{"eight_fields", "KOB\tOAK\t0,5\t0.5\tx\t1\t0\t1\n", "KOB", kob_builtin},
        FileCase{"eight_fields_trailing_tab", "KOB\tOAK\t0,5\t0.5\tx\t1\t0\t1\t\n", "KOB", kob_builtin},
        FileCase{"empty_ninth_field_counts", "KOB\tOAK\t0,5\t0.5\tx\t1\t0\t1\t\t\n", "KOB", oak},
        FileCase{"empty_key", "\tOAK\t0,5\t0.5\tx\t1\t0\t1\t0\n", "", std::nullopt},
        FileCase{"fields_after_ninth_ignored", "KOB\tOAK\t0,5\t0.5\tx\t1\t0\t1\t0\t1\t1\n", "KOB", oak},
        FileCase{"empty_fields_between_tabs", "K\t\t\t\t\t\t\t\t\t\n", "K",
                 TMaterialData{"", TSingleRGB(1.0f), false, false, false, false}, 73},
        FileCase{"id_not_trimmed", "K\t Oak \t0\t0\t0\t0\t0\t0\t0\n", "K",
                 TMaterialData{" Oak ", TSingleRGB(0.0f), false, false, false, false}, 73},
        FileCase{"key_case_sensitive", "kob\tOAK\t0,5\t0.5\tx\t1\t0\t1\t0\n", "KOB", kob_builtin, 73},
        FileCase{"last_line_wins", "KOB\tFIRST\t0\t0\t0\t0\t0\t0\t0\nKOB\tOAK\t0,5\t0.5\tx\t1\t0\t1\t0\n", "KOB", oak},
        FileCase{"flags_exactly_one", "K\tX\t0\t0\t0\ttrue\t 1\t01\t1.0\n", "K",
                 TMaterialData{"X", TSingleRGB(0.0f), false, false, false, false}, 73},
        FileCase{"numbers", "K\tX\t1e-1\t-0.5\t1,5.0\t1\t1\t1\t1\n", "K",
                 TMaterialData{"X", TSingleRGB(0.1f, -0.5f, 1.0f), true, true, true, true}, 73},
        FileCase{"number_too_large_for_single", "K\tX\t1e39\t.5\t5,\t0\t0\t0\t0\n", "K",
                 TMaterialData{"X", TSingleRGB(1.0f, 0.5f, 5.0f), false, false, false, false}, 73},
        FileCase{"header_line_is_an_entry", "key\tid\tr\tg\tb\trotate\tx\ty\tz\n", "key",
                 TMaterialData{"id", TSingleRGB(1.0f), false, false, false, false}, 73},
        FileCase{"cr_line_ends", "A\tX\t0\t0\t0\t0\t0\t0\t0\rKOB\tOAK\t0,5\t0.5\tx\t1\t0\t1\t0\r", "KOB", oak, 73},
        FileCase{"crlf_line_ends", "A\tX\t0\t0\t0\t0\t0\t0\t0\r\n\r\nKOB\tOAK\t0,5\t0.5\tx\t1\t0\t1\t0\r\n", "KOB", oak,
                 73},
        FileCase{"mixed_line_ends", "A\tX\t0\t0\t0\t0\t0\t0\t0\n\rKOB\tOAK\t0,5\t0.5\tx\t1\t0\t1\t0", "KOB", oak, 73},
        FileCase{"empty_file", "", "KOB", kob_builtin}),
    [](const ::testing::TestParamInfo<FileCase>& info) { return std::string(info.param.name); });

TEST_F(materials, byte_order_marks_and_code_page) {
  // "Eiche" with a diaeresis and the euro sign: U+00EB, U+20AC.
  const std::string line = "KOB\tEich\xC3\xAB \xE2\x82\xAC\t0,5\t0.5\tx\t1\t0\t1\t0\r\n";
  for (TTextEncoding encoding :
       {TTextEncoding::utf8, TTextEncoding::utf16le, TTextEncoding::utf16be, TTextEncoding::ansi}) {
    TRef<IDictionary<TMaterialData>> dict = load(encode_text_file(line, encoding));
    TMaterialData data;
    ASSERT_TRUE(dict->try_get_value("KOB", data)) << int(encoding);
    EXPECT_EQ(data.id, "Eich\xC3\xAB \xE2\x82\xAC") << int(encoding);
    EXPECT_EQ(data.color, TSingleRGB(0.5f, 0.5f, 1.0f)) << int(encoding);
  }
  // Without a mark the bytes are in the 8-bit code page: E9 is U+00E9.
  TRef<IDictionary<TMaterialData>> dict = load("K\tCh\xE9ne\t0\t0\t0\t0\t0\t0\t0\n");
  EXPECT_EQ(dict->get_value("K").id, "Ch\xC3\xA9ne");
}

TEST_F(materials, either_decimal_mark_under_either_locale) {
  for (char separator : {'.', ','}) {
    set_decimal_separator(separator);
    TRef<IDictionary<TMaterialData>> dict = load("K\tX\t0,25\t0.75\t1\t0\t0\t0\t0\n");
    EXPECT_EQ(dict->get_value("K").color, TSingleRGB(0.25f, 0.75f, 1.0f)) << separator;
  }
}

TEST_F(materials, unreadable_file_keeps_builtin_table) {
  // The file exists but reading it fails.
  ASSERT_TRUE(file_exists("/proc/self/mem"));
  TRef<IDictionary<TMaterialData>> dict = load_material_dict("/proc/self/mem");
  EXPECT_EQ(dict->get_count(), builtin_material_count);
  EXPECT_EQ(dict->get_value("KOB"), kob_builtin);
  // A folder is no file.
  dict = load_material_dict(std::filesystem::temp_directory_path().string());
  EXPECT_EQ(dict->get_count(), builtin_material_count);
}

TEST_F(materials, file_found_in_any_letter_case) {
  TTempFile file("KOB\tOAK\t0,5\t0.5\tx\t1\t0\t1\t0\n", ".csv");
  const std::string upper = extract_file_path(file.path()) + upper_case(extract_file_name(file.path()));
  ASSERT_EQ(std::rename(file.path().c_str(), upper.c_str()), 0);
  TRef<IDictionary<TMaterialData>> dict = load_material_dict(file.path());
  std::remove(upper.c_str());
  EXPECT_EQ(dict->get_value("KOB").id, "OAK");
}

TEST_F(materials, file_name_beside_the_module) {
  EXPECT_EQ(materials_file_name(), change_file_ext(module_path(), ".materials.csv"));
  EXPECT_EQ(extract_file_name(materials_file_name()), extract_file_stem(module_path()) + ".materials.csv");
}

}  // namespace
