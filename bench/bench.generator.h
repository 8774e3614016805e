// Writes realistic BXF2 files and archives of a chosen size for benchmarks.
//
// `generate_bxf2`: runs of base cabinets, each with its carcass parts (box
// geometry), a container with a door unit and a shelf unit, hinge and handle
// articles and components, and links with transformations. Every link
// resolves and every component number is listed by an article. By default
// each handle is a rail cut to length with its own component number (no two
// handles share a mesh); with `shared_hardware` the cabinets share a small
// catalogue of hardware models instead, as a planning program's export does:
// two hinges, eight bar handles and a shelf support (four under every shelf).
//
// `write_archive`: such a document with shared hardware in a ZIP archive
// (deflated), with one COLLADA mesh per hardware model in cadData/, named
// "<article number>_<component number>.dae" as the import looks them up.
//
// `generate_cabinet_run`: a smaller document whose cabinets all share their
// part, container and function unit definitions, for the scene builder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Counts of what a generated file holds.
struct TGeneratedCounts {
  int64_t cabinets = 0;
  int64_t parts = 0;
  int64_t links = 0;            // every link of the file (scene and library)
  int64_t components = 0;       // components, each resolving its article
  int64_t component_links = 0;  // component links: each places one mesh
  int64_t bytes = 0;            // of the BXF2 text
  int64_t mesh_files = 0;       // distinct meshes (archives only)
  int64_t archive_bytes = 0;    // of the ZIP archive (archives only)
};

struct TGeneratorOptions {
  // Hardware from a shared catalogue of models, shelf supports included
  // [false: every handle its own component number, no supports].
  bool shared_hardware = false;
};

// The text of a BXF2 file with about `parts` parts (a multiple of the eight
// parts of one cabinet), and what it holds.
std::string generate_bxf2(int64_t parts, TGeneratedCounts* counts = nullptr, const TGeneratorOptions& options = {});

// The name of the BXF2 file inside archives from `write_archive`.
inline constexpr const char* archive_document_name = "kitchen.bxf2";

// Writes a ZIP archive at `path` holding a BXF2 document of `cabinets`
// cabinets with shared hardware and the COLLADA mesh of every hardware model
// under cadData/. Returns what it holds; raises std::runtime_error when the
// archive cannot be written.
TGeneratedCounts write_archive(int64_t cabinets, const std::string& path);

// The COLLADA meshes of the hardware catalogue: file name (without folder)
// and text, one per model.
struct TMeshFile {
  std::string name;
  std::string text;
  int64_t triangles = 0;
};
std::vector<TMeshFile> generate_hardware_meshes();

// A BXF2 document with `cabinets` base cabinets in one run: each cabinet its
// own library entry with six carcass parts (shared part definitions) and a
// container whose function unit adds a door, a components group and an
// articles group with two articles: 13 host entities per cabinet.
std::string generate_cabinet_run(int cabinets);
inline constexpr int cabinet_run_entities_per_cabinet = 13;
