#include "platform.ini.h"

#include "platform.files.h"
#include "sysutils.h"

#include <fmt/format.h>

namespace {

enum : int { other_line, section_line, value_line };

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<int32_t> parse_ini_integer(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  uint64_t value = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    for (char c : text) {
      int d = hex_digit(c);
      if (d < 0) return std::nullopt;
      value = value * 16 + uint64_t(d);
      if (value > 0xFFFFFFFFu) return std::nullopt;
    }
    auto bits = uint32_t(value);
    return int32_t(negative ? 0u - bits : bits);
  }
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + uint64_t(c - '0');
    if (value > 0x80000000u) return std::nullopt;
  }
  if (!negative && value > 0x7FFFFFFFu) return std::nullopt;
  return negative ? int32_t(0 - int64_t(value)) : int32_t(value);
}

CIniFile::CIniFile(std::string file_name) : _file_name(resolve_path(file_name)) {
  if (!file_exists(_file_name)) return;
  std::string bytes = read_file_bytes(_file_name);
  _encoding = detect_text_encoding(bytes);
  set_text(decode_text_file(bytes));
}

CIniFile::TLine CIniFile::parse_line(std::string_view text) {
  TLine line{std::string(text), other_line, {}, {}};
  std::string_view body = trim(text);
  if (body.empty() || body.front() == ';' || body.front() == '#') return line;
  if (body.front() == '[') {
    size_t close = body.rfind(']');
    line.kind = section_line;
    line.name =
        trim(body.substr(1, close == std::string_view::npos || close == 0 ? std::string_view::npos : close - 1));
    return line;
  }
  size_t equals = body.find('=');
  if (equals == std::string_view::npos || trim(body.substr(0, equals)).empty()) return line;
  line.kind = value_line;
  line.name = trim(body.substr(0, equals));
  line.value = trim(body.substr(equals + 1));
  return line;
}

void CIniFile::set_text(std::string_view text) {
  _lines.clear();
  size_t first_break = text.find_first_of("\r\n");
  if (first_break != std::string_view::npos)
    _line_break = text.substr(first_break, 2) == "\r\n" ? "\r\n" : std::string(1, text[first_break]);
  for (const std::string& line : text_lines(text)) _lines.push_back(parse_line(line));
}

std::string CIniFile::text() const {
  std::string result;
  for (const TLine& line : _lines) result += line.text + _line_break;
  return result;
}

std::optional<size_t> CIniFile::find_value(std::string_view section, std::string_view key) const {
  bool inside = false;
  for (size_t i = 0; i < _lines.size(); ++i) {
    const TLine& line = _lines[i];
    if (line.kind == section_line)
      inside = same_text(line.name, section);
    else if (inside && line.kind == value_line && same_text(line.name, key))
      return i;
  }
  return std::nullopt;
}

bool CIniFile::section_exists(std::string_view section) const {
  for (const TLine& line : _lines)
    if (line.kind == section_line && same_text(line.name, section)) return true;
  return false;
}

bool CIniFile::value_exists(std::string_view section, std::string_view key) const {
  return find_value(section, key).has_value();
}

std::string CIniFile::read_string(std::string_view section, std::string_view key,
                                  std::string_view default_value) const {
  auto index = find_value(section, key);
  return index ? _lines[*index].value : std::string(default_value);
}

int32_t CIniFile::read_integer(std::string_view section, std::string_view key, int32_t default_value) const {
  auto index = find_value(section, key);
  if (!index) return default_value;
  return parse_ini_integer(_lines[*index].value).value_or(default_value);
}

void CIniFile::write_string(std::string_view section, std::string_view key, std::string_view value) {
  if (auto index = find_value(section, key)) {
    TLine& line = _lines[*index];
    line.value = value;
    line.text = line.name + "=" + line.value;
    return;
  }
  TLine added = parse_line(std::string(key) + "=" + std::string(value));
  // After the last key of the first section of that name, or its heading.
  std::optional<size_t> insert_after;
  bool inside = false;
  for (size_t i = 0; i < _lines.size(); ++i) {
    const TLine& line = _lines[i];
    if (line.kind == section_line) {
      if (insert_after) break;
      inside = same_text(line.name, section);
      if (inside) insert_after = i;
    } else if (inside && line.kind == value_line) {
      insert_after = i;
    }
  }
  if (insert_after) {
    _lines.insert(_lines.begin() + std::ptrdiff_t(*insert_after + 1), std::move(added));
    return;
  }
  if (!_lines.empty() && !trim(_lines.back().text).empty()) _lines.push_back(parse_line(""));
  _lines.push_back(parse_line("[" + std::string(section) + "]"));
  _lines.push_back(std::move(added));
}

void CIniFile::write_integer(std::string_view section, std::string_view key, int32_t value) {
  write_string(section, key, fmt::format("{}", value));
}

void CIniFile::update_file() const { write_file_bytes(_file_name, encode_text_file(text(), _encoding)); }
