// The names the BXF2 reader knows: element and attribute names, geometry and
// machining type names.
//
// Names match as `same_text` compares them (sysutils): the same text, or
// both empty, or equal with the ASCII letters taken without case
// ("PARTLINKS" is partLinks); every other character must match exactly. A
// name in no table classifies as `unknown`.
#pragma once

#include <cstdint>
#include <string_view>

// The two enumerations are tables read in step with their names
// (import.bxf2.parser.consts.cpp): many to a line, in the same order.
// clang-format off

// Elements, in table order; `unknown` is every other name.
enum class TBXF_element : uint8_t {
  bxf, head, version, date, author, copyright, unit, angularunit, country, language,
  scene, nodes, node, cabinetLinks, cabinetLink, containerLinks, containerLink, library,
  cabinetGroups, cabinetGroup, cabinets, cabinet, partLinks, partLink, containers, container,
  functionUnitLinks, functionUnitLink, transformations, transformation, parts, part, geometry,
  basePoints, point, zValue, drawingDetail, functionUnits, functionUnit, articleLinks,
  articleLink, componentLinks, componentLink, articles, article, material, componentNumbers,
  componentNumber, components, component, machiningLinks, machiningLink, machiningGroups,
  machinings, machining, boundary, extent, description,
  unknown
};

// Attributes, in table order; `unknown` is every other name.
enum class TBXF_attribute : uint8_t {
  id, uid, referenceId, modelKey, xsi_type, frontOrientation, floorOrientation, center,
  rotation, translation, quantity, itemNumber, articleNumber, totalQuantity, componentNumber,
  orientation, originalSize, finalSize,
  unknown
};
// clang-format on

// Part shapes the reader builds.
enum class TBXF_geometry_type : uint8_t { unknown, Box, Prism };

// Machining kinds; only Cut is read into the document.
enum class TBXF_machining_type : uint8_t { unknown, Groove, Rabbet, Drilling, Rounding, Cut };

// The names of each table, index = enumeration value; the last entry of the
// element and attribute tables is "unknown".
extern const std::string_view BXF_element_names[59];
extern const std::string_view BXF_attribute_names[19];
extern const std::string_view BXF_geometry_type_names[3];
extern const std::string_view BXF_machining_type_names[6];

// The first table value whose name matches `name`, or `unknown`. The element
// and attribute lookups never answer `unknown` by matching "unknown" itself.
TBXF_element element_named(std::string_view name);
TBXF_attribute attribute_named(std::string_view name);
TBXF_geometry_type geometry_type_of(std::string_view name);
TBXF_machining_type machining_type_of(std::string_view name);

// The table name of a value ("partLinks").
std::string_view name_of(TBXF_element element);
std::string_view name_of(TBXF_attribute attribute);
