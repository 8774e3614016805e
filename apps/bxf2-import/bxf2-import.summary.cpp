#include "bxf2-import.summary.h"

#include <fmt/format.h>

#include "host.project.h"

namespace {

void count(const CEntity& entity, bool top_level, TProjectCounts& counts) {
  switch (entity.kind()) {
    case TEntityKind::box: ++counts.parts; break;
    case TEntityKind::mesh: ++counts.components; break;
    case TEntityKind::article: ++counts.articles; break;
    case TEntityKind::group:
      if (top_level && entity.name() != "articles") ++counts.cabinets;
      for (const CEntity* member = entity.first_member(); member; member = member->next_sibling())
        count(*member, false, counts);
      break;
  }
}

std::string plural(int n, const char* one, const char* many) { return fmt::format("{} {}", n, n == 1 ? one : many); }

}  // namespace

TProjectCounts count_objects(const CProject& project) {
  TProjectCounts counts;
  for (const CEntity* entity = project.root()->first_member(); entity; entity = entity->next_sibling())
    count(*entity, true, counts);
  return counts;
}

std::string counts_text(const TProjectCounts& counts) {
  return fmt::format("{}, {}, {}, {}", plural(counts.cabinets, "cabinet", "cabinets"),
                     plural(counts.parts, "part", "parts"), plural(counts.components, "component", "components"),
                     plural(counts.articles, "article", "articles"));
}

std::string summary_text(const TProjectCounts& counts, double seconds) {
  return fmt::format("{} in {:.2f} s", counts_text(counts), seconds);
}
