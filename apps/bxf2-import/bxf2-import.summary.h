// The closing summary of bxf2-import: what the import put into the project,
// counted on the project's JSON export, and how long it took.
//
//   kitchen.zip: 4 cabinets, 38 parts, 6 components, 9 articles in 0.42 s
#pragma once

#include <nlohmann/json.hpp>

#include <string>

struct TProjectCounts {
  int cabinets = 0;    // top-level groups, except the "articles" groups
  int parts = 0;       // boxes
  int components = 0;  // mesh objects
  int articles = 0;    // article entities
};

// Counts the entities of a project exported as JSON ({"objects": [...]}).
// Entities without a known "kind" count as nothing.
TProjectCounts count_objects(const nlohmann::json& project);

// "4 cabinets, 38 parts, 6 components, 9 articles in 0.42 s".
std::string summary_text(const TProjectCounts& counts, double seconds);
