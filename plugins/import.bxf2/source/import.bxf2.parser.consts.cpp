#include "import.bxf2.parser.consts.h"

#include <array>
#include <cstdint>
#include <iterator>

#include "sysutils.h"

// The tables are laid out as the enumerations in the header are.
// clang-format off
const std::string_view BXF_element_names[59] = {
    "bxf", "head", "version", "date", "author", "copyright", "unit", "angularunit", "country", "language",
    "scene", "nodes", "node", "cabinetLinks", "cabinetLink", "containerLinks", "containerLink", "library",
    "cabinetGroups", "cabinetGroup", "cabinets", "cabinet", "partLinks", "partLink", "containers", "container",
    "functionUnitLinks", "functionUnitLink", "transformations", "transformation", "parts", "part", "geometry",
    "basePoints", "point", "zValue", "drawingDetail", "functionUnits", "functionUnit", "articleLinks",
    "articleLink", "componentLinks", "componentLink", "articles", "article", "material", "componentNumbers",
    "componentNumber", "components", "component", "machiningLinks", "machiningLink", "machiningGroups",
    "machinings", "machining", "boundary", "extent", "description",
    "unknown"};

const std::string_view BXF_attribute_names[19] = {
    "id", "uid", "referenceId", "modelKey", "xsi:type", "frontOrientation", "floorOrientation", "center",
    "rotation", "translation", "quantity", "itemNumber", "articleNumber", "totalQuantity", "componentNumber",
    "orientation", "originalSize", "finalSize",
    "unknown"};
// clang-format on

const std::string_view BXF_geometry_type_names[3] = {"unknown", "Box", "Prism"};
const std::string_view BXF_machining_type_names[6] = {"unknown", "Groove", "Rabbet", "Drilling", "Rounding", "Cut"};

static_assert(std::size(BXF_element_names) == size_t(TBXF_element::unknown) + 1);
static_assert(std::size(BXF_attribute_names) == size_t(TBXF_attribute::unknown) + 1);

namespace {

// Index of the first name in `names[0..count)` that matches, or `count`.
size_t find_name(const std::string_view* names, size_t count, std::string_view name) {
  for (size_t i = 0; i < count; ++i)
    if (same_text(names[i], name)) return i;
  return count;
}

// The element and attribute tables, searched for every node the reader
// classifies, found in constant time: an open-addressing index over a hash of
// each name with its ASCII letters folded, holding the first of names that
// match each other (none do).
class TNameIndex {
 public:
  TNameIndex(const std::string_view* names, size_t count) : _names(names), _count(count) {
    _slots.fill(empty);
    for (size_t i = 0; i < count; ++i) {
      if (find(names[i]) != count) continue;
      size_t slot = hash(names[i]) & mask;
      while (_slots[slot] != empty) slot = (slot + 1) & mask;
      _slots[slot] = uint8_t(i);
    }
  }

  // Same answer as find_name.
  size_t find(std::string_view name) const {
    for (size_t slot = hash(name) & mask; _slots[slot] != empty; slot = (slot + 1) & mask)
      if (same_text(_names[_slots[slot]], name)) return _slots[slot];
    return _count;
  }

 private:
  static constexpr size_t size = 256;  // over four times the largest table
  static constexpr size_t mask = size - 1;
  static constexpr uint8_t empty = 0xFF;

  static size_t hash(std::string_view name) {
    uint32_t h = 2166136261u;
    for (char c : name) {
      h ^= uint8_t(ascii_upper(c));
      h *= 16777619u;
    }
    return h ^ (h >> 16);
  }

  const std::string_view* _names;
  size_t _count;
  std::array<uint8_t, size> _slots;
};

}  // namespace

TBXF_element element_named(std::string_view name) {
  static const TNameIndex index(BXF_element_names, size_t(TBXF_element::unknown));
  return TBXF_element(index.find(name));
}

TBXF_attribute attribute_named(std::string_view name) {
  static const TNameIndex index(BXF_attribute_names, size_t(TBXF_attribute::unknown));
  return TBXF_attribute(index.find(name));
}

TBXF_geometry_type geometry_type_of(std::string_view name) {
  size_t i = find_name(BXF_geometry_type_names, std::size(BXF_geometry_type_names), name);
  return i < std::size(BXF_geometry_type_names) ? TBXF_geometry_type(i) : TBXF_geometry_type::unknown;
}

TBXF_machining_type machining_type_of(std::string_view name) {
  size_t i = find_name(BXF_machining_type_names, std::size(BXF_machining_type_names), name);
  return i < std::size(BXF_machining_type_names) ? TBXF_machining_type(i) : TBXF_machining_type::unknown;
}

std::string_view name_of(TBXF_element element) { return BXF_element_names[size_t(element)]; }
std::string_view name_of(TBXF_attribute attribute) { return BXF_attribute_names[size_t(attribute)]; }
