// Writing the reference host's project to files: JSON (the stable schema
// below, relied on outside this repository), glTF binary, and pictures (SVG,
// PNG, PDF: a front elevation and a plan, drawn by host.picture).
//
// JSON: lengths in metres, matrices as 16 numbers row-major.
//
//   { "placement_center": [x, y, z],
//     "objects": [ ENTITY, ... ] }              top-level entities in project order
//   ENTITY = { "kind": "box" | "group" | "mesh" | "article",
//     "name": "...", "assembly": bool, "article": bool,
//     "locks": [x, y, z],                       booleans
//     "properties": { "name": "value", ... },   in name order
//     "position": [x, y, z], "size": [x, y, z],
//     "bounds": { "min": [x, y, z], "max": [x, y, z] } or null,   world bounds
//     "matrix": [16], "texture_matrix": [16],   boxes and mesh objects only
//     "children": [ ENTITY, ... ] }             groups only, member order
//
// JSON is in the host's coordinates (Z up). glTF binary (.glb) is Y up as
// glTF wants it: its root node "project" turns the host's +Z into glTF's +Y
// (a point (x, y, z) lands at (x, z, -y)). Below it, one node per entity,
// nested as the groups are; a box
// is a cuboid mesh (24 vertices with face normals, 12 triangles) from its
// corner and extent, a mesh object its triangles, each under a node that
// carries the entity's matrix. The material is named after the property
// ".material.default.id" ("default" when unset) and takes the diffuse colour
// properties (".material.default.diffuse.red", "...green", "...blue"; "." or
// "," as decimal separator, kept between 0 and 1) as its base colour, white
// when unset or unreadable (`material_name`, `material_base_colour`, which
// the pictures use too). Articles and empty groups are nodes without a mesh.
//
// Pictures: see host.picture.
//
// No writer writes a number that is not finite: a project holding one
// (a position, size, bound, matrix or vertex) is refused with EExport naming
// the entity ("<path>: box "Side" in "Cabinet/Inner": non-finite size"); the
// glTF writer likewise refuses a value beyond its 32-bit floating-point
// numbers. Files are replaced through `write_file_bytes`: a refused or failed
// write leaves an existing file as it was.
#pragma once

#include <string>

#include "graphics.colors.h"
#include "host.picture.h"
#include "host.project.h"

BXF_DECLARE_EXCEPTION(EExport, Exception);  // a project that could not be written

// The name of an entity's material in every export: ".material.default.id",
// "default" when unset.
std::string material_name(const CEntity& entity);
// The base colour of an entity's material in every export: the diffuse
// colour properties ".material.default.diffuse.red", "...green" and
// "...blue" ("." or "," as decimal separator), each 1 when unset, unreadable
// or not finite, and kept between 0 and 1.
TSingleRGB material_base_colour(const CEntity& entity);
// The entity by kind and name with the groups it is in, for messages:
// `box "Side (KOB)" in "Base cabinet (US60)/Inner"`.
std::string entity_description(const CEntity& entity);

// How the JSON text is laid out. Either way it ends with a line break.
enum class TJsonLayout {
  readable,  // indented by 2, one member per line; each vector, matrix and bounds on one line
  compact,   // one line, no spaces
};

// What the writers take beside the project and the path.
struct TExportOptions {
  TJsonLayout json_layout = TJsonLayout::readable;  // .json
  TPictureOptions picture;                          // .svg, .png, .pdf
};

// The project as JSON text in the schema above; raises EExport (naming the
// entity, not a file) for a non-finite number.
std::string project_json_text(const CProject& project, TJsonLayout layout = TJsonLayout::readable);
// Writes the JSON text to `path`, as it is made: the text is not held whole
// in memory. Raises EExport when the project holds a non-finite number
// (before anything is written) or the file cannot be written ("<path>: the
// file cannot be written (<the system's reason>)").
void write_project_json(const CProject& project, const std::string& path, TJsonLayout layout = TJsonLayout::readable);
// Writes the project as glTF binary to `path`; raises EExport with the
// exporter's reason when that fails.
void write_project_glb(const CProject& project, const std::string& path);
// Writes the picture of the project (host.picture) to `path`; raises EExport
// as project_picture does, and when the file cannot be written.
void write_project_picture(const CProject& project, const std::string& path, TPictureFormat format,
                           const TPictureOptions& options = {});
// Writes by the extension of `path` (".json", ".glb", ".svg", ".png" or
// ".pdf", letter case ignored) with the options for that format; raises
// EExport for any other extension.
void write_project(const CProject& project, const std::string& path, const TExportOptions& options = {});
