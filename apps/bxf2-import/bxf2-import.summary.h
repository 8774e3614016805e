// The closing summary of bxf2-import: what the import put into the project,
// and how long it took.
//
//   4 cabinets, 38 parts, 6 components, 9 articles in 0.42 s
#pragma once

#include <string>

class CProject;

struct TProjectCounts {
  int cabinets = 0;    // top-level groups, except the "articles" groups
  int parts = 0;       // boxes
  int components = 0;  // mesh objects
  int articles = 0;    // article entities
};

// Counts the entities of `project` by kind, walking its groups (nothing is
// measured, so the count stays cheap on large projects).
TProjectCounts count_objects(const CProject& project);

// "4 cabinets, 38 parts, 6 components, 9 articles".
std::string counts_text(const TProjectCounts& counts);
// "4 cabinets, 38 parts, 6 components, 9 articles in 0.42 s".
std::string summary_text(const TProjectCounts& counts, double seconds);
