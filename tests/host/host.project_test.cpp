// The reference host's project and selection: object order, grouping,
// dissolving, loading mesh files, the placement area.
#include "host.application.h"
#include "host.meb.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

class project : public ::testing::Test {
 protected:
  CHost host;
  TRef<IProject> proj;
  TRef<ISelection> selection;

  void SetUp() override {
    host.application().set_print_messages(false);
    OleCheck(host.application_interface()->GetProject(proj.put()));
    OleCheck(proj->GetSelection(selection.put()));
  }

  // A new entity of `kind` named `name`, in `parent` (top level when null).
  TRef<IEntity> make(TEntityKind kind, const char* name, IEntity* parent = nullptr) {
    TRef<IEntity> e;
    switch (kind) {
      case TEntityKind::box: OleCheck(proj->CreateEntity(ENTITY_KIND_BOX, e.put())); break;
      case TEntityKind::group: OleCheck(proj->CreateGroup(e.put())); break;
      case TEntityKind::article: OleCheck(proj->CreateArticle(e.put())); break;
      case TEntityKind::mesh: ADD_FAILURE(); break;
    }
    OleCheck(e->SetName(TBStr(name).get()));
    if (parent) OleCheck(e->SetParent(parent));
    return e;
  }
  void select(std::initializer_list<IEntity*> entities) {
    OleCheck(selection->Clear());
    for (IEntity* e : entities) OleCheck(selection->Add(e));
  }
  // The names of the selected entities.
  std::vector<std::string> selected() const {
    std::vector<std::string> names;
    TRef<IEntityList> list;
    OleCheck(selection->GetEntities(list.put()));
    int32_t count = 0;
    OleCheck(list->GetCount(&count));
    for (int32_t i = 0; i < count; ++i) {
      TRef<IEntity> e;
      OleCheck(list->GetItem(i, e.put()));
      names.push_back(CEntity::from(e.get())->name());
    }
    return names;
  }
  // The project as text: names in GetObjects order, members in brackets.
  std::string tree() const {
    std::string text;
    auto walk = [&](auto& self, const std::vector<CEntity*>& list) -> void {
      for (CEntity* e : list) {
        if (!text.empty() && text.back() != '[') text += ' ';
        text += e->name().empty() ? "?" : e->name();
        if (e->is_group()) {
          text += '[';
          self(self, e->members());
          text += ']';
        }
      }
    };
    walk(walk, host.project().top_level());
    return text;
  }
};

TEST_F(project, get_objects_lists_parents_before_members_depth_first) {
  TRef<IEntity> g1 = make(TEntityKind::group, "g1");
  make(TEntityKind::box, "b1", g1.get());
  TRef<IEntity> g2 = make(TEntityKind::group, "g2", g1.get());
  make(TEntityKind::box, "b2", g2.get());
  make(TEntityKind::article, "a1", g1.get());
  make(TEntityKind::box, "b3");
  TRef<IProjectContent> content = proj.query<IProjectContent>();
  ASSERT_TRUE(content);
  std::vector<std::string> names;
  for (auto it = content->GetObjects()->getEnumerator(); it->moveNext();) {
    TRef<IEntity> e = it->get_current().query<IEntity>();
    ASSERT_TRUE(e);
    names.push_back(CEntity::from(e.get())->name());
  }
  EXPECT_EQ(names, (std::vector<std::string>{"g1", "b1", "g2", "b2", "a1", "b3"}));
  EXPECT_EQ(host.project().objects().size(), 6u);
}

TEST_F(project, placement_area_centre_is_set_by_the_host) {
  TRef<IPlacementArea> area = proj.query<IProjectContent>()->GetPlacementArea();
  EXPECT_EQ(area->GetCenter(), float3(0, 0, 0));
  host.project().set_placement_center(float3(1, 2, 0.5));
  EXPECT_EQ(area->GetCenter(), float3(1, 2, 0.5));
}

TEST_F(project, group_puts_selection_into_a_new_group_in_the_first_ones_parent) {
  TRef<IEntity> outer = make(TEntityKind::group, "outer");
  TRef<IEntity> a = make(TEntityKind::box, "a", outer.get());
  TRef<IEntity> b = make(TEntityKind::box, "b", outer.get());
  TRef<IEntity> c = make(TEntityKind::box, "c");
  make(TEntityKind::box, "d", outer.get());
  select({b.get(), c.get()});
  OleCheck(selection->Group());
  EXPECT_EQ(tree(), "outer[a ?[b c] d]");
  ASSERT_EQ(selected().size(), 1u);
  TRef<IEntityList> list;
  OleCheck(selection->GetEntities(list.put()));
  TRef<IEntity> made;
  OleCheck(list->GetItem(0, made.put()));
  EXPECT_TRUE(made.query<IGroupEntity>());
  EXPECT_EQ(CEntity::from(made.get())->parent(), CEntity::from(outer.get()));

  // Nothing selected: an empty group at the top level.
  OleCheck(selection->Clear());
  OleCheck(selection->Group());
  EXPECT_EQ(tree(), "outer[a ?[b c] d] ?[]");
}

TEST_F(project, group_refuses_a_selection_that_holds_the_target) {
  TRef<IEntity> g = make(TEntityKind::group, "g");
  TRef<IEntity> x = make(TEntityKind::box, "x", g.get());
  select({x.get(), g.get()});  // the new group would go into g, and g into it
  EXPECT_EQ(selection->Group(), E_INVALIDARG);
  EXPECT_EQ(tree(), "g[x]");
  EXPECT_EQ(selected(), (std::vector<std::string>{"x", "g"}));
}

TEST_F(project, ungroup_dissolves_nested_groups_and_keeps_other_entities_selected) {
  struct TCase {
    const char* what;
    std::vector<const char*> select;
    const char* tree;
    std::vector<std::string> selected;
  };
  const TCase cases[] = {
      {"one group", {"g"}, "x h[y z] w v", {"x", "h", "w"}},
      {"group and a box", {"v", "g"}, "x h[y z] w v", {"v", "x", "h", "w"}},
      {"outer then inner", {"g", "h"}, "x y z w v", {"x", "w", "y", "z"}},
      {"inner then outer", {"h", "g"}, "x y z w v", {"y", "z", "x", "w"}},
      {"a box only", {"v"}, "g[x h[y z] w] v", {"v"}},
  };
  for (const auto& c : cases) {
    CHost h;
    h.application().set_print_messages(false);
    CProject& p = h.project();
    std::map<std::string, TRef<CEntity>> named;  // held, so dissolved groups can still be asked
    auto add = [&](TEntityKind kind, const char* name, CEntity* parent) {
      CEntity* e = p.new_entity(kind);
      e->set_name(name);
      if (parent) parent->insert_member(e);
      named[name] = e;
      return e;
    };
    CEntity* g = add(TEntityKind::group, "g", nullptr);
    add(TEntityKind::box, "x", g);
    CEntity* hh = add(TEntityKind::group, "h", g);
    add(TEntityKind::box, "y", hh);
    add(TEntityKind::box, "z", hh);
    add(TEntityKind::box, "w", g);
    add(TEntityKind::box, "v", nullptr);
    TRef<ISelection> sel;
    OleCheck(static_cast<IProject&>(p).GetSelection(sel.put()));
    for (const char* n : c.select) OleCheck(sel->Add(static_cast<IMaterialEntity*>(named[n].get())));
    OleCheck(sel->Ungroup());
    std::string text;
    auto walk = [&](auto& self, const std::vector<CEntity*>& list) -> void {
      for (CEntity* e : list) {
        if (!text.empty() && text.back() != '[') text += ' ';
        text += e->name();
        if (e->is_group()) {
          text += '[';
          self(self, e->members());
          text += ']';
        }
      }
    };
    walk(walk, p.top_level());
    EXPECT_EQ(text, c.tree) << c.what;
    std::vector<std::string> names;
    for (CEntity* e : p.selection().entities()) names.push_back(e->name());
    EXPECT_EQ(names, c.selected) << c.what;
    for (const char* n : c.select)
      if (named[n]->is_group()) {
        EXPECT_TRUE(named[n]->removed()) << c.what;
      }
  }
}

TEST_F(project, dissolved_group_leaves_the_project) {
  TRef<IEntity> g = make(TEntityKind::group, "g");
  TRef<IEntity> x = make(TEntityKind::box, "x", g.get());
  select({g.get()});
  OleCheck(selection->Ungroup());
  EXPECT_EQ(tree(), "x");
  EXPECT_EQ(x->SetParent(g.get()), E_INVALIDARG);
  EXPECT_EQ(selection->Add(g.get()), E_INVALIDARG);
  EXPECT_EQ(g->SetParent(nullptr), E_UNEXPECTED);
}

TEST_F(project, selection_add_misuse) {
  TRef<IEntity> b = make(TEntityKind::box, "b");
  EXPECT_EQ(selection->Add(nullptr), E_POINTER);
  OleCheck(selection->Add(b.get()));
  OleCheck(selection->Add(b.get()));
  EXPECT_EQ(selected(), (std::vector<std::string>{"b"}));
  CHost other;
  TRef<IProject> other_project;
  OleCheck(other.application_interface()->GetProject(other_project.put()));
  TRef<IEntity> foreign;
  OleCheck(other_project->CreateEntity(ENTITY_KIND_BOX, foreign.put()));
  EXPECT_EQ(selection->Add(foreign.get()), E_INVALIDARG);
  EXPECT_EQ(b->SetParent(foreign.get()), E_INVALIDARG);
}

TEST_F(project, load_file_failure_changes_nothing) {
  TRef<IEntity> b = make(TEntityKind::box, "b");
  select({b.get()});
  namespace fs = std::filesystem;
  fs::path bad = fs::temp_directory_path() / "host project test \xC3\xBC.meb";
  {
    std::ofstream out(bad, std::ios::binary);
    out << "not a mesh file";
  }
  for (const fs::path& path : {bad, fs::temp_directory_path() / "host-missing-file.meb"}) {
    EXPECT_EQ(selection->LoadFile(TBStr(path.string()).get()), E_FAIL) << path;
    EXPECT_EQ(tree(), "b");
    EXPECT_EQ(selected(), (std::vector<std::string>{"b"}));
  }
  ASSERT_EQ(host.project().errors().size(), 2u);
  EXPECT_EQ(host.project().errors()[0],
            "LoadFile: Mesh file \"" + bad.string() + "\": not a mesh file (bad magic number)");
  fs::remove(bad);
}

TEST_F(project, load_file_adds_top_level_objects_and_selects_them) {
  namespace fs = std::filesystem;
  TRef<IEntity> before = make(TEntityKind::box, "before");
  select({before.get()});
  TMebNode tri;
  tri.name = "tri";
  tri.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 2, 0}};
  tri.indices = {0, 1, 2};
  tri.matrix[3] = 5;  // moved along x
  TMebNode group;
  group.name = "drawer";
  group.is_group = true;
  group.matrix[7] = 1;  // moved along y, for every member
  group.children = {tri};
  TMebNode loose = tri;
  loose.name = "loose";
  TMebFile file;
  file.objects = {group, loose};
  fs::path path = fs::temp_directory_path() / "host project test Ã¼ mesh.meb";
  write_meb(path.string(), file);

  // Found in any letter case, as the desktop finds files.
  std::string other_case = path.string();
  other_case.replace(other_case.size() - 8, 8, "MESH.MEB");
  OleCheck(selection->LoadFile(TBStr(other_case).get()));
  EXPECT_EQ(tree(), "before drawer[tri] loose");
  EXPECT_EQ(selected(), (std::vector<std::string>{"drawer", "loose"}));
  CEntity* mesh = host.project().top_level()[1]->members()[0];
  EXPECT_EQ(mesh->kind(), TEntityKind::mesh);
  EXPECT_EQ(mesh->matrix(), float4x4::identity().translate(5, 1, 0));
  EXPECT_EQ(mesh->vertices().size(), 3u);
  EXPECT_EQ(mesh->indices(), (std::vector<uint32_t>{0, 1, 2}));
  TBounds b = mesh->world_bounds();
  EXPECT_EQ(b.min, float3(5, 1, 0));
  EXPECT_EQ(b.max, float3(6, 3, 0));
  EXPECT_EQ(host.project().top_level()[1]->kind(), TEntityKind::group);
  EXPECT_TRUE(host.project().errors().empty());
  fs::remove(path);
}

// A mesh file is read once while it stays as it was: the objects loaded from
// it share one geometry. A file rewritten since (another size or time) is
// read again.
TEST_F(project, load_file_reads_a_file_again_only_when_it_changed) {
  namespace fs = std::filesystem;
  TMebNode tri;
  tri.name = "tri";
  tri.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 2, 0}};
  tri.indices = {0, 1, 2};
  const fs::path path = fs::temp_directory_path() / ("host project test cache " + std::to_string(getpid()) + ".meb");
  write_meb(path.string(), TMebFile{{tri}});
  const auto load = [&] {
    OleCheck(selection->LoadFile(TBStr(path.string()).get()));
    return host.project().top_level().back();
  };
  CEntity* first = load();
  CEntity* second = load();
  EXPECT_EQ(first->geometry(), second->geometry());

  tri.vertices.push_back({5, 5, 5});
  write_meb(path.string(), TMebFile{{tri}});
  CEntity* third = load();
  EXPECT_NE(third->geometry(), first->geometry());
  EXPECT_EQ(third->vertices().size(), 4u);
  EXPECT_EQ(first->vertices().size(), 3u);

  fs::remove(path);
  EXPECT_EQ(selection->LoadFile(TBStr(path.string()).get()), E_FAIL);  // gone: not taken from memory
  EXPECT_EQ(host.project().errors().size(), 1u);
}

}  // namespace

// The project holds at most its most objects: every way of making entities
// (the three creators, grouping, loading a mesh file) answers E_OUTOFMEMORY
// beyond it and changes nothing; dissolving a group makes room again.
TEST_F(project, entities_beyond_the_most_objects_are_refused_with_out_of_memory) {
  namespace fs = std::filesystem;
  EXPECT_EQ(host.project().max_objects(), kDefaultMaxObjects);
  TMebNode tri;
  tri.name = "tri";
  tri.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 2, 0}};
  tri.indices = {0, 1, 2};
  TMebNode drawer;
  drawer.name = "drawer";
  drawer.is_group = true;
  drawer.children = {tri};
  const fs::path mesh = fs::temp_directory_path() / ("host project limit " + std::to_string(::getpid()) + ".meb");
  write_meb(mesh.string(), TMebFile{{drawer}});  // two objects

  host.project().set_max_objects(3);
  TRef<IEntity> a = make(TEntityKind::box, "a");
  TRef<IEntity> g = make(TEntityKind::group, "g");
  select({a.get()});
  EXPECT_EQ(selection->LoadFile(TBStr(mesh.string()).get()), E_OUTOFMEMORY);  // 2 + 2 > 3
  EXPECT_EQ(selected(), (std::vector<std::string>{"a"}));
  TRef<IEntity> c = make(TEntityKind::article, "c");
  EXPECT_EQ(host.project().object_count(), 3);
  TRef<IEntity> refused;
  EXPECT_EQ(proj->CreateEntity(ENTITY_KIND_BOX, refused.put()), E_OUTOFMEMORY);
  EXPECT_EQ(proj->CreateGroup(refused.put()), E_OUTOFMEMORY);
  EXPECT_EQ(proj->CreateArticle(refused.put()), E_OUTOFMEMORY);
  EXPECT_EQ(selection->Group(), E_OUTOFMEMORY);
  EXPECT_EQ(refused.get(), nullptr);
  EXPECT_EQ(tree(), "a g[] c");
  EXPECT_TRUE(host.project().errors().empty());

  select({g.get()});
  OleCheck(selection->Ungroup());
  EXPECT_EQ(host.project().object_count(), 2);
  select({a.get()});
  OleCheck(selection->Group());
  EXPECT_EQ(host.project().object_count(), 3);
  EXPECT_EQ(tree(), "?[a] c");
  fs::remove(mesh);
}
