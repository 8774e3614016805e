// Writes realistic BXF2 files of a chosen size for benchmarks: runs of base
// cabinets, each with its carcass parts (box geometry), a container with a
// door unit and a shelf unit, hinge and handle articles and components, a
// cut machining for each handle, and links with transformations. Every link
// resolves and every component number is listed by an article.
#pragma once

#include <cstdint>
#include <string>

// Counts of what a generated file holds.
struct TGeneratedCounts {
  int64_t parts = 0;
  int64_t links = 0;       // every link of the file (scene and library)
  int64_t components = 0;  // components, each resolving its article
  int64_t bytes = 0;
};

// The text of a BXF2 file with about `parts` parts (a multiple of the eight
// parts of one cabinet), and what it holds.
std::string generate_bxf2(int64_t parts, TGeneratedCounts* counts = nullptr);
