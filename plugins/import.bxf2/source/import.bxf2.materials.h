// The material table: maps the model key of a part to the host material id,
// diffuse colour, texture turn and dimension locks that the scene builder
// gives the host object made for that part.
//
// A built-in table of 72 keys is stored first; the materials file beside the
// plug-in module (`import.bxf2.materials.csv`) may add keys or replace
// built-in ones. The table is read afresh for every imported file.
//
// Materials file format: one entry per line, lines ending at CR, LF or CR LF.
// A byte-order mark selects UTF-8, UTF-16 LE or UTF-16 BE; a file without one
// is read in the system's 8-bit code page (Windows-1252 here, see
// platform.codepage). Fields are separated by TAB:
//
//   key  id  red  green  blue  rotate  lock_x  lock_y  lock_z
//
// Lines with fewer than nine fields or an empty key are skipped; fields after
// the ninth are ignored. Colour components accept "." and "," as decimal
// mark and become 1.0 when they are not numbers; a flag is true only when it
// is exactly "1". A later line replaces an earlier entry with the same key.
#pragma once

#include <string>

#include "graphics.colors.h"
#include "uDictionary.h"

struct TMaterialData {
  std::string id;       // host material id
  TSingleRGB color;     // diffuse colour, nominally 0 to 1
  bool rotate = false;  // the texture is turned by a quarter turn
  bool lock_x = false;
  bool lock_y = false;
  bool lock_z = false;

  bool operator==(const TMaterialData&) const = default;
};

// Empties the id of a record that a look-up did not find.
inline void clear_text_fields(TMaterialData& data) { data.id.clear(); }

// The material table: sorted, keys compared ordinally and case-sensitively.
class CMaterialDict : public CDictionary<TMaterialData> {
 public:
  static CMaterialDict* create() { return construct(new CMaterialDict()); }

 protected:
  CMaterialDict() : CDictionary<TMaterialData>(true, false) {}
};

// The number of keys in the built-in table.
inline constexpr int builtin_material_count = 72;

// The full path of the plug-in's module file with its extension replaced by
// ".materials.csv". Raises EFileError when the module path cannot be found.
std::string materials_file_name();

// A new material table holding the built-in entries, then the entries of the
// materials file `file_name`. A missing file, or one that cannot be read,
// leaves the entries stored so far; reading never raises.
TRef<IDictionary<TMaterialData>> load_material_dict(const std::string& file_name);
