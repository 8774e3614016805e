#include "platform.ini.h"

#include "platform.files.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class ini : public ::testing::Test {
 protected:
  void SetUp() override {
    root = temp_folder() + "platform_ini_" + guid_to_hex(new_guid()) + "/";
    ASSERT_TRUE(force_folders(root));
  }
  void TearDown() override { delete_folder(root); }
  std::string root;
};

CIniFile from_text(std::string_view text) {
  CIniFile file("");
  file.set_text(text);
  return file;
}

}  // namespace

TEST(ini_values, parse_integer_cases) {
  struct Case {
    const char* text;
    std::optional<int32_t> value;
  } cases[] = {
      {"0", 0},
      {"1", 1},
      {"7", 7},
      {"-12", -12},
      {"+3", 3},
      {"0x0", 0},
      {"0x1F", 31},
      {"0X1f", 31},
      {"-0x10", -16},
      {"0xFFFFFFFF", -1},
      {"0x7FFFFFFF", 2147483647},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"2147483648", {}},   // out of range
      {"0x100000000", {}},  // more than 32 bits
      {"0x", {}},           // no digits
      {"0xG", {}},
      {"$1F", {}},  // only the 0x prefix means hexadecimal
      {"", {}},
      {"-", {}},
      {"yes", {}},
      {"1.0", {}},
      {"1 2", {}},
      {"0 ", {}},  // values are trimmed before, not here
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(parse_ini_integer(c.text), c.value);
  }
}

TEST(ini_values, read_with_defaults) {
  CIniFile file = from_text(
      "; preferences\n"
      "top=level\n"
      "[General]\n"
      "  Warning = 0x0  \n"
      "name=a = b\n"
      "empty=\n"
      "word=off\n"
      "seven=7\n"
      "[other]\n"
      "warning=5\n");
  struct Case {
    const char* section;
    const char* key;
    const char* text;  // read_string with default "?"
    int32_t number;    // read_integer with default 99
  } cases[] = {
      {"general", "warning", "0x0", 0},  // names ignore letter case, blanks trimmed
      {"GENERAL", "WARNING", "0x0", 0},
      {"general", "name", "a = b", 99},  // the value runs past a second '='
      {"general", "empty", "", 99},
      {"general", "word", "off", 99},
      {"general", "seven", "7", 7},
      {"general", "missing", "?", 99},
      {"missing", "warning", "?", 99},
      {"other", "warning", "5", 5},
      {"", "top", "?", 99},  // lines before the first section are not read
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    EXPECT_EQ(file.read_string(c.section, c.key, "?"), c.text);
    EXPECT_EQ(file.read_integer(c.section, c.key, 99), c.number);
  }
  EXPECT_TRUE(file.section_exists("OTHER"));
  EXPECT_FALSE(file.section_exists("none"));
  EXPECT_TRUE(file.value_exists("general", "EMPTY"));
  EXPECT_FALSE(file.value_exists("other", "seven"));
}

TEST(ini_values, first_of_repeated_sections_and_keys) {
  CIniFile file = from_text("[a]\nk=1\nk=2\n[b]\nk=3\n[A]\nk=4\nj=5\n");
  EXPECT_EQ(file.read_integer("a", "k", 0), 1);
  EXPECT_EQ(file.read_integer("a", "j", 0), 5);  // a later section of the same name is read too
  file.write_integer("a", "k", 9);
  EXPECT_EQ(file.text(), "[a]\nk=9\nk=2\n[b]\nk=3\n[A]\nk=4\nj=5\n");
}

TEST(ini_values, writes_keep_everything_else) {
  struct Case {
    const char* before;
    const char* section;
    const char* key;
    const char* value;
    const char* after;
  } cases[] = {
      {"", "general", "warning", "0", "[general]\nwarning=0\n"},
      {"[general]\nwarning=1\n", "general", "warning", "0", "[general]\nwarning=0\n"},
      {"[General]\n  Warning = 1 ; note\n", "general", "warning", "0", "[General]\nWarning=0\n"},
      {"[other]\nx=1\n", "general", "warning", "0", "[other]\nx=1\n\n[general]\nwarning=0\n"},
      {"[other]\nx=1\n\n", "general", "warning", "0", "[other]\nx=1\n\n[general]\nwarning=0\n"},
      {"; head\n[general]\na=1\n\n; about the next\n[next]\nb=2\n", "general", "warning", "0",
       "; head\n[general]\na=1\nwarning=0\n\n; about the next\n[next]\nb=2\n"},
      {"[general]\n[next]\n", "GENERAL", "warning", "0", "[general]\nwarning=0\n[next]\n"},
      {"[a]\r\nx=1\r\n", "a", "y", "2", "[a]\r\nx=1\r\ny=2\r\n"},  // line breaks kept
      {"[a]\rx=1", "a", "x", "2", "[a]\rx=2\r"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.before);
    CIniFile file = from_text(c.before);
    file.write_string(c.section, c.key, c.value);
    EXPECT_EQ(file.text(), c.after);
  }
  CIniFile numbers = from_text("");
  numbers.write_integer("n", "minus", -5);
  EXPECT_EQ(numbers.read_integer("n", "minus", 0), -5);
  EXPECT_EQ(numbers.read_string("n", "minus", ""), "-5");
}

TEST_F(ini, file_round_trip_keeps_other_sections) {
  std::string path = root + "import.bxf2.ini";
  CIniFile missing(path);  // no file yet
  EXPECT_EQ(missing.read_integer("general", "warning", 1), 1);
  EXPECT_EQ(missing.text(), "");

  write_file_bytes(path, "; user notes\r\n[window]\r\nleft=0x20\r\n\r\n[general]\r\nwarning=1\r\n");
  CIniFile file(path);
  EXPECT_EQ(file.read_integer("window", "left", 0), 32);
  file.write_integer("general", "warning", 0);
  file.update_file();
  EXPECT_EQ(read_file_bytes(path), "; user notes\r\n[window]\r\nleft=0x20\r\n\r\n[general]\r\nwarning=0\r\n");
  EXPECT_EQ(CIniFile(path).read_integer("general", "warning", 1), 0);
}

TEST_F(ini, file_found_in_any_letter_case_and_written_back_there) {
  write_file_bytes(root + "Import.Bxf2.INI", "[general]\nwarning=1\n");
  CIniFile file(root + "import.bxf2.ini");
  EXPECT_EQ(file.file_name(), root + "Import.Bxf2.INI");
  EXPECT_EQ(file.read_integer("general", "warning", 7), 1);
  file.write_integer("general", "warning", 0);
  file.update_file();
  EXPECT_EQ(read_file_bytes(root + "Import.Bxf2.INI"), "[general]\nwarning=0\n");
  EXPECT_FALSE(std::filesystem::exists(root + "import.bxf2.ini"));
}

TEST_F(ini, file_encoding_kept) {
  struct Case {
    std::string bytes;
    const char* value;  // UTF-8
  } cases[] = {
      {"[a]\nname=M\xFCller\n", "M\xC3\xBCller"},                                       // 8-bit code page
      {"\xEF\xBB\xBF[a]\nname=M\xC3\xBCller\n", "M\xC3\xBCller"},                       // UTF-8 with mark
      {std::string("\xFF\xFE[\0a\0]\0\n\0n\0a\0m\0e\0=\0\xFC\0\n\0", 24), "\xC3\xBC"},  // UTF-16
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    std::string path = root + "enc.ini";
    write_file_bytes(path, c.bytes);
    CIniFile file(path);
    EXPECT_EQ(file.read_string("a", "name", ""), c.value);
    file.update_file();
    EXPECT_EQ(read_file_bytes(path), c.bytes);
  }
}

TEST_F(ini, unwritable_file_raises) {
  EXPECT_EQ(CIniFile(root).text(), "");  // a folder is no file: read as missing
  CIniFile file(root + "no/such/folder.ini");
  file.write_integer("general", "warning", 0);
  EXPECT_THROW(file.update_file(), EFileError);
}
