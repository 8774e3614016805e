#include "bxf2-import.inputs.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>

#include <fmt/format.h>

#include "import.bxf2.zip.h"
#include "platform.files.h"
#include "platform.xmldom.h"
#include "sysutils.h"

namespace {

// How much of a BXF2 file is read for its head: heads come first and are
// small.
constexpr size_t head_bytes = 64 * 1024;

bool ends_with_text(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && same_text(text.substr(text.size() - end.size()), end);
}

std::string file_start(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes(head_bytes, '\0');
  in.read(bytes.data(), std::streamsize(bytes.size()));
  bytes.resize(size_t(std::max<std::streamsize>(in.gcount(), 0)));
  return bytes;
}

std::string completed(const std::string& given) {
  if (!given.empty() && given.front() == '/') return given;
  char buffer[4096];
  if (!::getcwd(buffer, sizeof buffer)) return given;
  return include_trailing_delimiter(buffer) + given;
}

std::optional<std::string> head_unit_warning(const std::string& bytes) {
  const auto unit = peek_element(bytes, "bxf", "head", "unit");
  if (!unit) return std::nullopt;
  return unit_warning(unit->attributes, unit->text);
}

bool is_hex_digit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

}  // namespace

std::optional<std::string> unit_warning(const std::vector<std::pair<std::string, std::string>>& attributes,
                                        const std::string& text) {
  std::string name = text;
  const size_t first = name.find_first_not_of(" \t\r\n");
  name = first == std::string::npos ? std::string() : name.substr(first, name.find_last_not_of(" \t\r\n") - first + 1);
  for (const auto& [attribute, value] : attributes) {
    if (!same_text(attribute, "meter")) continue;
    std::string number = value;
    std::replace(number.begin(), number.end(), ',', '.');
    char* end = nullptr;
    const double metres = std::strtod(number.c_str(), &end);
    if (end && *end == '\0' && !number.empty() && std::fabs(metres - 0.001) <= 1e-12) return std::nullopt;
    return fmt::format("the head declares the unit \"{}\" (meter=\"{}\"); lengths are read as millimetres", name,
                       value);
  }
  if (name.empty() || same_text(name, "mm")) return std::nullopt;
  return fmt::format("the head declares the unit \"{}\"; lengths are read as millimetres", name);
}

std::string shell_quoted(std::string_view path) {
  const bool plain = !path.empty() && std::all_of(path.begin(), path.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("_./-+,:@%=").find(c) != std::string_view::npos;
  });
  if (plain) return std::string(path);
  std::string quoted = "'";
  for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

CChosenFiles::CChosenFiles(const std::vector<std::string>& files) { add(files); }

void CChosenFiles::add(const std::vector<std::string>& files) {
  for (const std::string& file : files) {
    _all_files.push_back({file, completed(file)});
    if (extract_file_ext(file) == ".bxf2") {
      _files.push_back({file, completed(file)});
      _file_heads.push_back(file_start(file));
      continue;
    }
    TArchive archive{file, {}, {}, {}};
    try {
      for (const TZipEntryName& entry : list_archive(file)) {
        if (entry.folder) continue;
        const size_t slash = entry.relative.find('/');
        if (slash == std::string::npos && ends_with_text(entry.relative, ".bxf2")) {
          archive.bxf2.push_back(entry.relative);
          try {
            archive.heads.push_back(read_archive_entry_start(file, entry.name, head_bytes));
          } catch (const Exception&) {
            archive.heads.emplace_back();
          }
        } else if (slash != std::string::npos && same_text(entry.relative.substr(0, slash), "cadData") &&
                   entry.relative.find('/', slash + 1) == std::string::npos && ends_with_text(entry.relative, ".dae")) {
          archive.meshes.push_back(entry.relative);
        }
      }
    } catch (const Exception&) {  // the import says why the archive does not read
    }
    _archives.push_back(std::move(archive));
  }
}

std::vector<std::string> CChosenFiles::warnings() const {
  std::vector<std::string> lines;
  // Members of one name, ASCII case aside, unpack into one file: the last
  // one written stays.
  std::vector<std::pair<std::string, std::vector<std::string>>> by_name;
  for (const TArchive& archive : _archives) {
    for (const std::string& name : archive.bxf2) {
      const std::string user = archive.path + "(" + name + ")";
      auto it = std::find_if(by_name.begin(), by_name.end(), [&](const auto& e) { return same_text(e.first, name); });
      if (it == by_name.end())
        by_name.push_back({name, {user}});
      else
        it->second.push_back(user);
    }
  }
  for (const auto& [name, users] : by_name) {
    if (users.size() < 2) continue;
    std::string all;
    for (size_t i = 0; i < users.size(); ++i) all += (i == 0 ? "" : i + 1 == users.size() ? " and " : ", ") + users[i];
    lines.push_back(fmt::format("bxf2-import: {} have the same name: only {} is imported", printable_text(all),
                                printable_text(users.back())));
  }
  for (size_t i = 0; i < _files.size(); ++i)
    if (const auto warning = head_unit_warning(_file_heads[i]))
      lines.push_back(fmt::format("bxf2-import: {}: {}", printable_text(_files[i].given), printable_text(*warning)));
  for (const TArchive& archive : _archives)
    for (size_t i = 0; i < archive.bxf2.size(); ++i)
      if (const auto warning = head_unit_warning(archive.heads[i]))
        lines.push_back(fmt::format("bxf2-import: {}({}): {}", printable_text(archive.path),
                                    printable_text(archive.bxf2[i]), printable_text(*warning)));
  return lines;
}

std::optional<std::pair<const CChosenFiles::TArchive*, std::string>> CChosenFiles::member(std::string_view name) const {
  for (auto it = _archives.rbegin(); it != _archives.rend(); ++it)
    for (const std::string& member : it->bxf2)
      if (same_text(member, name)) return std::pair{&*it, member};
  return std::nullopt;
}

std::optional<std::pair<const CChosenFiles::TArchive*, std::string>> CChosenFiles::mesh_member(
    std::string_view stem) const {
  for (auto it = _archives.rbegin(); it != _archives.rend(); ++it)
    for (const std::string& mesh : it->meshes)
      if (same_text(extract_file_stem(mesh), stem)) return std::pair{&*it, mesh};
  return std::nullopt;
}

std::string CChosenFiles::user_file(std::string_view name) const {
  for (const TFile& file : _files)
    if (extract_file_name(file.full) == name) return file.given;
  if (const auto found = member(name)) return found->first->path + "(" + found->second + ")";
  return std::string(name);
}

CChosenFiles::TMesh CChosenFiles::mesh(std::string_view bxf_name, std::string_view stem) const {
  // A chosen BXF2 file is built before any archive's meshes are converted.
  const std::string name = "cadData/" + std::string(stem) + ".dae";
  for (const TFile& file : _files)
    if (extract_file_name(file.full) == bxf_name) return {name, false, false};
  if (const auto found = mesh_member(stem)) return {found->first->path + "(" + found->second + ")", true, true};
  if (const auto found = member(bxf_name)) return {found->first->path + "(" + name + ")", false, true};
  return {name, false, false};
}

std::string CChosenFiles::inspect_target(std::string_view name) const {
  const std::string file_name = extract_file_name(name);
  for (const TFile& file : _files)
    if (file.full == name || extract_file_name(file.full) == name) return file.given;
  if (const auto found = member(file_name)) return found->first->path;
  return std::string(name);
}

std::string CChosenFiles::user_name_in_temp(std::string_view rest) const {
  const size_t slash = rest.find('/');
  if (slash == std::string_view::npos) {
    if (const auto found = member(rest)) return found->first->path + "(" + found->second + ")";
    return std::string(rest);
  }
  if (same_text(rest.substr(0, slash), "cadData") && rest.find('/', slash + 1) == std::string_view::npos) {
    const std::string stem = extract_file_stem(rest);
    if (const auto found = mesh_member(stem)) return found->first->path + "(" + found->second + ")";
    if (ends_with_text(rest, ".meb")) return "cadData/" + stem + ".dae";
  }
  return std::string(rest);
}

std::string CChosenFiles::user_text(std::string_view text) const {
  std::string result;
  size_t at = 0;
  while (at < text.size()) {
    const size_t found = _temp_prefix.empty() ? std::string_view::npos : text.find(_temp_prefix, at);
    size_t folder = found == std::string_view::npos ? 0 : found + _temp_prefix.size();
    bool is_temp = found != std::string_view::npos && folder + 33 <= text.size() && text[folder + 32] == '/';
    for (size_t i = 0; is_temp && i < 32; ++i) is_temp = is_hex_digit(text[folder + i]);
    if (found == std::string_view::npos) {
      result.append(text.substr(at));
      break;
    }
    if (!is_temp) {
      result.append(text.substr(at, folder - at));
      at = folder;
      continue;
    }
    result.append(text.substr(at, found - at));
    // The path goes on to a quote, a colon (line and column) or the end.
    const size_t begin = folder + 33;
    size_t end = text.find_first_of("\":", begin);
    if (end == std::string_view::npos) end = text.size();
    result += user_name_in_temp(text.substr(begin, end - begin));
    at = end;
  }
  // FILEs the dialog completed to full paths, longest first.
  std::vector<const TFile*> files;
  for (const TFile& file : _all_files) files.push_back(&file);
  std::sort(files.begin(), files.end(), [](const TFile* a, const TFile* b) { return a->full.size() > b->full.size(); });
  for (const TFile* file : files) {
    if (file->full == file->given) continue;
    for (size_t pos = result.find(file->full); pos != std::string::npos;
         pos = result.find(file->full, pos + file->given.size()))
      result.replace(pos, file->full.size(), file->given);
  }
  return result;
}
