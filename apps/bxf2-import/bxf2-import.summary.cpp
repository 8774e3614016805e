#include "bxf2-import.summary.h"

#include <fmt/format.h>

#include "host.project.h"

namespace {

// The name the builder gives a function unit's group of articles.
constexpr const char* articles_group = "articles";

bool is_articles_group(const CEntity& entity) {
  return entity.kind() == TEntityKind::group && entity.name() == articles_group;
}

bool holds_articles_group(const CEntity& group) {
  for (const CEntity* member = group.first_member(); member; member = member->next_sibling())
    if (is_articles_group(*member)) return true;
  return false;
}

void count_meshes_and_articles(const CEntity& entity, TProjectCounts& counts) {
  switch (entity.kind()) {
    case TEntityKind::mesh: ++counts.mesh_objects; break;
    case TEntityKind::article: ++counts.articles; break;
    case TEntityKind::box: break;
    case TEntityKind::group:
      for (const CEntity* member = entity.first_member(); member; member = member->next_sibling())
        count_meshes_and_articles(*member, counts);
      break;
  }
}

// A leaf of a cabinet or container: an article, or a part (a box or a
// drawer's mesh object).
void count_leaf(const CEntity& entity, TProjectCounts& counts) {
  if (entity.kind() == TEntityKind::article) {
    ++counts.articles;
    return;
  }
  ++counts.parts;
  if (entity.kind() == TEntityKind::mesh) ++counts.mesh_objects;
}

// A container's group: parts, groups of components, groups of articles.
void count_container(const CEntity& group, TProjectCounts& counts) {
  for (const CEntity* member = group.first_member(); member; member = member->next_sibling()) {
    if (member->kind() != TEntityKind::group) {
      count_leaf(*member, counts);
    } else if (is_articles_group(*member)) {
      count_meshes_and_articles(*member, counts);
    } else {
      for (const CEntity* component = member->first_member(); component; component = component->next_sibling()) {
        if (component->kind() == TEntityKind::group) ++counts.component_placements;
        count_meshes_and_articles(*component, counts);
      }
    }
  }
}

// A cabinet's group: parts and containers.
void count_cabinet(const CEntity& group, TProjectCounts& counts) {
  for (const CEntity* member = group.first_member(); member; member = member->next_sibling()) {
    if (member->kind() == TEntityKind::group)
      count_container(*member, counts);
    else
      count_leaf(*member, counts);
  }
}

std::string plural(int n, const char* one, const char* many) { return fmt::format("{} {}", n, n == 1 ? one : many); }

}  // namespace

TProjectCounts count_objects(const CProject& project) {
  TProjectCounts counts;
  for (const CEntity* entity = project.root()->first_member(); entity; entity = entity->next_sibling()) {
    if (entity->kind() != TEntityKind::group) {
      count_leaf(*entity, counts);
    } else if (is_articles_group(*entity)) {
      count_meshes_and_articles(*entity, counts);
    } else if (holds_articles_group(*entity)) {
      count_container(*entity, counts);  // linked from a scene node itself
    } else {
      ++counts.cabinets;
      count_cabinet(*entity, counts);
    }
  }
  return counts;
}

std::string counts_text(const TProjectCounts& counts) {
  return fmt::format(
      "{}, {}, {}, {}, {}", plural(counts.cabinets, "cabinet", "cabinets"), plural(counts.parts, "part", "parts"),
      plural(counts.component_placements, "component placement", "component placements"),
      plural(counts.mesh_objects, "mesh object", "mesh objects"), plural(counts.articles, "article", "articles"));
}

std::string summary_text(const TProjectCounts& counts, double seconds) {
  return fmt::format("{} in {:.2f} s", counts_text(counts), seconds);
}
