#include "bxf2-import.summary.h"

#include <gtest/gtest.h>

#include "host.entities.h"
#include "host.project.h"

// The project as the builder makes it: cabinets of parts and containers, a
// container's function units as parts, one unnamed group of components (a
// group of mesh objects per placement) and a group "articles" each; a
// container linked from the scene itself at the top level.
TEST(summary, counts_follow_the_groups_the_import_makes) {
  TRef<CProject> project(CProject::create());
  // Makes an entity of `kind` named `name` in `group` (the top level when null).
  auto add = [&](TEntityKind kind, const char* name, CEntity* group = nullptr) {
    CEntity* entity = project->new_entity(kind);
    entity->set_name(name);
    if (group) group->insert_member(entity);
    return entity;
  };
  // A function unit's content in `container`: `meshes` mesh objects in each of `placements` components.
  auto function_unit = [&](CEntity* container, int placements, int meshes, int articles) {
    add(TEntityKind::box, "door", container);
    CEntity* components = add(TEntityKind::group, "", container);
    for (int i = 0; i < placements; ++i) {
      CEntity* placement = add(TEntityKind::group, "4711_K1", components);
      for (int j = 0; j < meshes; ++j) add(TEntityKind::mesh, "handle", placement);
    }
    CEntity* group = add(TEntityKind::group, "articles", container);
    for (int i = 0; i < articles; ++i) add(TEntityKind::article, "1105", group);
  };
  CEntity* k1 = add(TEntityKind::group, "Base cabinet (US60)");
  add(TEntityKind::box, "side", k1);
  add(TEntityKind::mesh, "Drawer (H-SK3)", k1);      // a drawer part
  CEntity* inner = add(TEntityKind::group, "", k1);  // a container without model key
  function_unit(inner, 2, 3, 2);
  function_unit(inner, 0, 0, 1);
  add(TEntityKind::group, "Empty cabinet (K2)");
  function_unit(add(TEntityKind::group, "kitchen"), 1, 1, 0);  // the worktop's container

  const TProjectCounts counts = count_objects(*project);
  EXPECT_EQ(counts.cabinets, 2);
  EXPECT_EQ(counts.parts, 5);  // side, drawer, three doors
  EXPECT_EQ(counts.component_placements, 3);
  EXPECT_EQ(counts.mesh_objects, 8);  // the drawer and the components' seven
  EXPECT_EQ(counts.articles, 3);
  EXPECT_EQ(counts_text(counts), "2 cabinets, 5 parts, 3 component placements, 8 mesh objects, 3 articles");
  EXPECT_EQ(summary_text(counts, 0.4251),
            "2 cabinets, 5 parts, 3 component placements, 8 mesh objects, 3 articles in 0.43 s");

  TRef<CProject> one(CProject::create());
  CEntity* cabinet = one->new_entity(TEntityKind::group);
  CEntity* box = one->new_entity(TEntityKind::box);
  cabinet->insert_member(box);
  EXPECT_EQ(summary_text(count_objects(*one), 0),
            "1 cabinet, 1 part, 0 component placements, 0 mesh objects, 0 articles in 0.00 s");
}
