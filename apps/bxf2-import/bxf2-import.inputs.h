// What bxf2-import knows of the chosen files before the import runs, read
// cheaply: which top-level BXF2 files and which meshes each chosen archive
// holds (as the import unpacks them), and what unit each BXF2 file's head
// declares. It gives the warnings printed before the import starts:
//
//   bxf2-import: a.zip(kitchen.bxf2) and b.zip(kitchen.bxf2) have the same name: only b.zip(kitchen.bxf2) is imported
//   bxf2-import: b.zip(kitchen.bxf2): the head declares the unit "cm" (meter="0.01"); lengths are read as millimetres
//
// and names files as the user knows them, where the plug-in sees paths in
// its temporary folder: a member of an archive is "<archive>(<member>)",
// the archive as given on the command line and the member as the archive
// spells it; a chosen file is the path as given.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CChosenFiles {
 public:
  // `files` as given on the command line. Archives that cannot be listed
  // hold nothing here: the import itself reports them.
  explicit CChosenFiles(const std::vector<std::string>& files);
  // Adds files chosen later (on the terminal), as typed.
  void add(const std::vector<std::string>& files);

  // The warnings about the chosen files, one line each (with the program's
  // name, no line end): BXF2 files of two archives that unpack to one file
  // (the later replaces the earlier), heads that declare a unit other than
  // millimetres.
  std::vector<std::string> warnings() const;

  // The plug-in's temporary-files folder (with its trailing separator): the
  // folder in which the import command makes its own temporary folder.
  void set_temp_prefix(std::string prefix) { _temp_prefix = std::move(prefix); }

  // `text` with every path the plug-in sees replaced by the user's name for
  // it: paths in the command's temporary folder (an unpacked BXF2 file, a
  // mesh in cadData/, its converted .meb named by its .dae) and the full
  // paths the open-file dialog made of relative FILEs.
  std::string user_text(std::string_view text) const;
  // The user's name of the BXF2 file the builder names `name` (its file
  // name): the chosen file of that name, else the member of the last archive
  // that holds it, else `name`.
  std::string user_file(std::string_view name) const;
  // The user's name of the mesh "cadData/<stem>.dae" that the BXF2 file
  // named `bxf_name` uses: the member of the last archive that holds it,
  // else the same name in the archive of that BXF2 file (`held` false).
  struct TMesh {
    std::string name;
    bool held = false;      // an archive holds it
    bool archived = false;  // the BXF2 file came from an archive
  };
  TMesh mesh(std::string_view bxf_name, std::string_view stem) const;
  // The file to hand `bxf2-inspect --check` for the BXF2 file `name` (a
  // file name or a path the plug-in sees): the chosen file, or the archive.
  std::string inspect_target(std::string_view name) const;

 private:
  struct TArchive {
    std::string path;                 // as given
    std::vector<std::string> bxf2;    // top-level BXF2 members, as stored
    std::vector<std::string> meshes;  // "cadData/*.dae" members, relative, as stored
    std::vector<std::string> heads;   // the start of each BXF2 member
  };
  struct TFile {
    std::string given;  // as on the command line
    std::string full;   // as the open-file dialog completes it
  };

  // The last archive whose top-level BXF2 member is `name` (ASCII case
  // aside) and the member's stored name.
  std::optional<std::pair<const TArchive*, std::string>> member(std::string_view name) const;
  std::optional<std::pair<const TArchive*, std::string>> mesh_member(std::string_view stem) const;
  // The user's name of what follows the command's temporary folder.
  std::string user_name_in_temp(std::string_view rest) const;

  std::vector<TArchive> _archives;
  std::vector<TFile> _all_files;  // every FILE
  std::vector<TFile> _files;      // the chosen .bxf2 files
  std::vector<std::string> _file_heads;
  std::string _temp_prefix;
};

// The warning for a head's <unit> element (its attributes and text), or
// nothing when it declares millimetres: a "meter" attribute of 0.001, or no
// such attribute and the text "mm" (or nothing).
std::optional<std::string> unit_warning(const std::vector<std::pair<std::string, std::string>>& attributes,
                                        const std::string& text);

// `path` quoted for a POSIX shell when it needs it.
std::string shell_quoted(std::string_view path);
