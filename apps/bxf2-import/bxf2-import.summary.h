// The closing summary of bxf2-import: what the import put into the project,
// and how long it took.
//
//   5 cabinets, 44 parts, 12 component placements, 15 mesh objects, 47 articles in 0.42 s
#pragma once

#include <string>

class CProject;

// What the import builds, counted from the groups it makes: a cabinet is a
// top-level group of parts and containers; a container's group holds its
// function units' parts, one unnamed group of components (each component
// placement a group of mesh objects) and one group "articles" per function
// unit. Parts are the boxes and drawer meshes of cabinets and containers.
struct TProjectCounts {
  int cabinets = 0;
  int parts = 0;
  int component_placements = 0;
  int mesh_objects = 0;  // every mesh object: drawer meshes and components' meshes
  int articles = 0;
};

// Counts the entities of `project` as above, walking its groups (nothing is
// measured, so the count stays cheap on large projects).
TProjectCounts count_objects(const CProject& project);

// "5 cabinets, 44 parts, 12 component placements, 15 mesh objects, 47 articles".
std::string counts_text(const TProjectCounts& counts);
// The same, followed by " in 0.42 s".
std::string summary_text(const TProjectCounts& counts, double seconds);
