// INI files held in memory: the whole file is read at once, changed in
// memory and written back whole, so sections, keys, comments, blank lines
// and their order stay as they were except for the values written.
//
//   CIniFile ini(change_file_ext(module_path(), ".ini"));
//   bool warning = ini.read_integer("general", "warning", 1) != 0;
//   ini.write_integer("general", "warning", 0);
//   ini.update_file();
//
// Format: "[section]" lines start sections; "key=value" lines inside a
// section hold values (blanks around the key and the value are dropped, the
// value is the rest of the line after the first '='); lines starting with ';'
// or '#', blank lines and any other line are kept as they are and never read.
// Lines before the first section are kept and belong to no section. Section
// and key names compare ignoring the letter case of A to Z only. When a
// section or key appears more than once, the first one is read and written.
//
// The file's encoding (byte-order mark for UTF-8 or UTF-16, else the 8-bit
// code page) and its line break (CR LF, LF or CR; LF for a file without one)
// are kept when it is written back.
#pragma once

#include "platform.codepage.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CIniFile {
 public:
  // Reads the file `file_name`, found in any letter case as platform.files
  // finds names (and written back there); a missing file gives an empty one.
  // Raises EFileError when the file exists but cannot be read.
  explicit CIniFile(std::string file_name);

  const std::string& file_name() const { return _file_name; }

  // The value of `key` in `section`, or `default_value` when either is missing.
  std::string read_string(std::string_view section, std::string_view key, std::string_view default_value) const;
  // The value read as a 32-bit integer: decimal ("-12"), or hexadecimal after
  // "0x" ("0x1F", at most 8 digits, "0xFFFFFFFF" is -1), either with an
  // optional sign; `default_value` when the value is missing or anything else.
  int32_t read_integer(std::string_view section, std::string_view key, int32_t default_value) const;

  // Sets `key` in `section` to `value`, adding the key at the end of the
  // section's keys, or the section at the end of the file, when missing. The
  // names and the value must not hold line breaks, nor the key a '='.
  void write_string(std::string_view section, std::string_view key, std::string_view value);
  // Writes `value` in decimal.
  void write_integer(std::string_view section, std::string_view key, int32_t value);

  bool section_exists(std::string_view section) const;
  bool value_exists(std::string_view section, std::string_view key) const;

  // The file's content as text (UTF-8), one line break after every line.
  std::string text() const;
  // Replaces the content with `text` (UTF-8); the file is not touched.
  void set_text(std::string_view text);

  // Writes the whole content to `file_name` in the file's encoding. Raises
  // EFileError when the file cannot be written.
  void update_file() const;

 private:
  struct TLine {
    std::string text;   // the line as written
    int kind = 0;       // other, section or value
    std::string name;   // section or key name
    std::string value;  // value of a key line
  };

  // Index of the line holding `key` in `section`, or nothing.
  std::optional<size_t> find_value(std::string_view section, std::string_view key) const;
  static TLine parse_line(std::string_view text);

  std::string _file_name;
  std::vector<TLine> _lines;
  TTextEncoding _encoding = TTextEncoding::ansi;
  std::string _line_break = "\n";
};

// The integer a text holds under the rules of `read_integer`, or nothing.
std::optional<int32_t> parse_ini_integer(std::string_view text);
