#include "import.bxf2.materials.h"

#include <cmath>
#include <limits>
#include <string_view>
#include <vector>

#include "platform.codepage.h"
#include "platform.files.h"
#include "platform.locale.h"

namespace {

// ---------------------------------------------------------------------------
// Built-in table
// ---------------------------------------------------------------------------

// One row of the built-in table: every key of the row shares its record.
struct TBuiltinRow {
  const char* id;
  float r, g, b;
  bool rotate, lock_x, lock_y, lock_z;
  std::vector<const char*> keys;
};

const std::vector<TBuiltinRow>& builtin_rows() {
  static const std::vector<TBuiltinRow> rows = {
      {"ELEMENT", 0.1f, 0.1f, 0.1f, 1, 0, 1, 0, {"F-BOD"}},
      {"ELEMENT", 0.1f, 0.1f, 0.1f, 0, 1, 0, 0, {"F-ESEL-li", "F-ESEL-re"}},
      {"ELEMENT", 0.1f, 0.1f, 0.1f, 0, 0, 0, 1, {"F-ESEL-vo"}},
      {"FRONT",
       0.63f,
       0.52f,
       0.54f,
       0,
       0,
       0,
       1,
       {"H-FRON", "H-FRON-Blende", "H-FRON-BSys", "H-FRON-BSys-SPAST", "H-FRON-BSys-SPAST-mi", "H-FRON-BSys-SPAST-ob",
        "H-FRON-BSys-SPAST-un", "H-FRON-FSys", "H-FRON-HF-ob", "H-FRON_HF-ob", "H-FRON-HF-un", "H-FRON_HF-un",
        "H-FRON-HK", "H-FRON-HL", "H-FRON-HS", "H-FRON-Tuer"}},
      {"BACK",
       0.2f,
       0.2f,
       0.2f,
       0,
       0,
       0,
       1,
       {"H-RUEW", "H-RUEW-BSys", "H-RUEW-FSys", "H-RUEW-Sp-li", "H-RUEW-Sp-mi", "H-RUEW-Sp-re"}},
      {"DRAWER", 0.4f, 0.4f, 0.4f, 0, 1, 1, 1, {"H-SK1", "H-SK2", "H-SK3", "H-SK4", "H-SK6", "H-SK8"}},
      {"DRAWER", 0.4f, 0.4f, 0.4f, 0, 0, 0, 1, {"H-VSTK-BSys", "H-VSTK-FSys", "H-VSTK-TAB"}},
      {"DRAWER",
       0.4f,
       0.4f,
       0.4f,
       0,
       1,
       0,
       0,
       {"H-ZARG-li", "H-ZARG-re", "H-ZARG-TAB-li", "H-ZARG-TAB-re", "H-ZARG-TAB-SPAST-li", "H-ZARG-TAB-SPAST-re"}},
      {"CABINET",
       1.0f,
       0.96f,
       0.93f,
       1,
       0,
       1,
       0,
       {"KOB", "KUB", "K-ZWIB", "TRAV-hi-li", "TRAV-KOB-hi-li", "TRAV-KOB-vo-li", "TRAV-KUB-hi-li", "TRAV-KUB-vo-li",
        "TRAV-vo-li"}},
      {"CABINET", 1.0f, 0.96f, 0.93f, 0, 0, 0, 1, {"KRW"}},
      {"CABINET", 1.0f, 0.96f, 0.93f, 1, 1, 0, 0, {"KSL", "KSR", "S-DIST-li", "S-DIST-re"}},
      {"CABINET", 1.0f, 0.96f, 0.93f, 0, 1, 0, 0, {"K-ZWIS"}},
      {"CABINET", 1.0f, 0.96f, 0.93f, 1, 1, 1, 1, {"TRAV", "TRAV-hi", "TRAV-vo"}},
      {"CABINET",
       1.0f,
       0.96f,
       0.93f,
       1,
       0,
       0,
       1,
       {"TRAV-hi-st", "TRAV-KOB-hi-st", "TRAV-KOB-vo-st", "TRAV-KUB-hi-st", "TRAV-KUB-vo-st", "TRAV-vo-st"}},
      {"DRAWER2",
       0.6f,
       0.6f,
       0.6f,
       0,
       0,
       1,
       0,
       {"ZUSCHN", "ZUSCHN-BSys", "ZUSCHN-FSys", "ZUSCHN-Sp-li", "ZUSCHN-Sp-re", "ZUSCHN-TAB", "ZUSCHN-TAB-SPAST"}},
  };
  return rows;
}

void store_builtin(IDictionary<TMaterialData>& dict) {
  for (const TBuiltinRow& row : builtin_rows()) {
    TMaterialData data{row.id, TSingleRGB(row.r, row.g, row.b), row.rotate, row.lock_x, row.lock_y, row.lock_z};
    for (const char* key : row.keys) dict.set_value(key, data);
  }
}

// ---------------------------------------------------------------------------
// Materials file
// ---------------------------------------------------------------------------

// The lines of `text`, each ending at CR, LF or CR LF; a last line without an
// end counts when it is not empty.
std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0, i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(text.substr(start, i - start));
      i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// The TAB-separated fields of a line: empty fields between TABs count, a
// trailing TAB adds no empty field, an empty line has none.
std::vector<std::string_view> split_fields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  while (start < line.size()) {
    size_t tab = line.find('\t', start);
    if (tab == std::string_view::npos) {
      fields.push_back(line.substr(start));
      break;
    }
    fields.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
  return fields;
}

// A colour component written with "." or "," as decimal mark; 1.0 when the
// text is no number or does not fit a single-precision float.
float color_component(std::string_view field) {
  std::optional<double> value = text_to_float(with_decimal_separator(field));
  if (!value || std::fabs(*value) > std::numeric_limits<float>::max()) return 1.0f;
  return float(*value);
}

bool flag(std::string_view field) { return field == "1"; }

void store_line(IDictionary<TMaterialData>& dict, std::string_view line) {
  std::vector<std::string_view> f = split_fields(line);
  if (f.size() < 9 || f[0].empty()) return;
  TMaterialData data{std::string(f[1]), TSingleRGB(color_component(f[2]), color_component(f[3]), color_component(f[4])),
                     flag(f[5]),        flag(f[6]),
                     flag(f[7]),        flag(f[8])};
  dict.set_value(std::string(f[0]), data);
}

}  // namespace

std::string materials_file_name() { return change_file_ext(module_path(), ".materials.csv"); }

TRef<IDictionary<TMaterialData>> load_material_dict(const std::string& file_name) {
  TRef<IDictionary<TMaterialData>> dict = CMaterialDict::create();
  store_builtin(*dict);
  if (!file_exists(file_name)) return dict;
  std::string text;
  try {
    text = decode_text_file(read_file_bytes(file_name));
  } catch (const Exception&) {
    return dict;  // an unreadable file leaves the built-in entries in effect
  }
  for (std::string_view line : split_lines(text)) store_line(*dict, line);
  return dict;
}
