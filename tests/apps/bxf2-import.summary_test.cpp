#include "bxf2-import.summary.h"

#include <gtest/gtest.h>

#include "host.entities.h"
#include "host.project.h"

TEST(summary, counts_follow_the_kinds_of_the_project) {
  TRef<CProject> project(CProject::create());
  // Makes an entity of `kind` named `name` in `group` (the top level when null).
  auto add = [&](TEntityKind kind, const char* name, CEntity* group = nullptr) {
    CEntity* entity = project->new_entity(kind);
    entity->set_name(name);
    if (group) group->insert_member(entity);
    return entity;
  };
  CEntity* k1 = add(TEntityKind::group, "K1");
  add(TEntityKind::box, "side", k1);
  add(TEntityKind::box, "top", k1);
  add(TEntityKind::mesh, "4711_K1", add(TEntityKind::group, "drawer", k1));
  add(TEntityKind::group, "K2");
  CEntity* articles = add(TEntityKind::group, "articles");
  add(TEntityKind::article, "1105", articles);
  add(TEntityKind::article, "4711", articles);
  add(TEntityKind::box, "loose");

  const TProjectCounts counts = count_objects(*project);
  EXPECT_EQ(counts.cabinets, 2);
  EXPECT_EQ(counts.parts, 3);
  EXPECT_EQ(counts.components, 1);
  EXPECT_EQ(counts.articles, 2);
  EXPECT_EQ(counts_text(counts), "2 cabinets, 3 parts, 1 component, 2 articles");
  EXPECT_EQ(summary_text(counts, 0.4251), "2 cabinets, 3 parts, 1 component, 2 articles in 0.43 s");

  TRef<CProject> empty(CProject::create());
  EXPECT_EQ(summary_text(count_objects(*empty), 0), "0 cabinets, 0 parts, 0 components, 0 articles in 0.00 s");
}
