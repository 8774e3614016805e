#include "bxf2-import.summary.h"

#include <fmt/format.h>

namespace {

void count(const nlohmann::json& entity, bool top_level, TProjectCounts& counts) {
  if (!entity.is_object()) return;
  const std::string kind = entity.value("kind", "");
  if (kind == "box") ++counts.parts;
  if (kind == "mesh") ++counts.components;
  if (kind == "article") ++counts.articles;
  if (kind == "group" && top_level && entity.value("name", "") != "articles") ++counts.cabinets;
  if (const auto children = entity.find("children"); children != entity.end() && children->is_array())
    for (const nlohmann::json& child : *children) count(child, false, counts);
}

std::string plural(int n, const char* one, const char* many) { return fmt::format("{} {}", n, n == 1 ? one : many); }

}  // namespace

TProjectCounts count_objects(const nlohmann::json& project) {
  TProjectCounts counts;
  if (const auto objects = project.find("objects"); objects != project.end() && objects->is_array())
    for (const nlohmann::json& entity : *objects) count(entity, true, counts);
  return counts;
}

std::string summary_text(const TProjectCounts& counts, double seconds) {
  return fmt::format("{}, {}, {}, {} in {:.2f} s", plural(counts.cabinets, "cabinet", "cabinets"),
                     plural(counts.parts, "part", "parts"), plural(counts.components, "component", "components"),
                     plural(counts.articles, "article", "articles"), seconds);
}
