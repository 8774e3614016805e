// Entities of the reference host: kinds, flags, names, properties, locks,
// live position and size, world bounds, membership and misuse.
#include "host.application.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <numbers>

namespace {

class entities : public ::testing::Test {
 protected:
  CHost host;
  TRef<IProject> project;

  void SetUp() override {
    host.application().set_print_messages(false);
    OleCheck(host.application_interface()->GetProject(project.put()));
  }

  TRef<IEntity> box() {
    TRef<IEntity> e;
    OleCheck(project->CreateEntity(ENTITY_KIND_BOX, e.put()));
    return e;
  }
  TRef<IEntity> group() {
    TRef<IEntity> e;
    OleCheck(project->CreateGroup(e.put()));
    return e;
  }
  TRef<IEntity> article() {
    TRef<IEntity> e;
    OleCheck(project->CreateArticle(e.put()));
    return e;
  }
  static float3 read(IEntity* e, bool size) {
    TRef<IVector3D> v;
    OleCheck(size ? e->GetSize(v.put()) : e->GetPosition(v.put()));
    float3 r;
    OleCheck(v->GetX(&r.x));
    OleCheck(v->GetY(&r.y));
    OleCheck(v->GetZ(&r.z));
    return r;
  }
  static void write(IEntity* e, bool size, const float3& p) {
    TRef<IVector3D> v;
    OleCheck(size ? e->GetSize(v.put()) : e->GetPosition(v.put()));
    OleCheck(v->SetX(p.x));
    OleCheck(v->SetY(p.y));
    OleCheck(v->SetZ(p.z));
  }
  static CEntity* host_entity(IEntity* e) { return CEntity::from(e); }
  static void expect_near(const float3& a, const float3& b, const char* what) {
    EXPECT_NEAR(a.x, b.x, 1e-9) << what;
    EXPECT_NEAR(a.y, b.y, 1e-9) << what;
    EXPECT_NEAR(a.z, b.z, 1e-9) << what;
  }
};

TEST_F(entities, new_box_has_corner_zero_extent_one_and_identity_matrices) {
  TRef<IEntity> b = box();
  expect_near(read(b.get(), false), float3(0, 0, 0), "position");
  expect_near(read(b.get(), true), float3(1, 1, 1), "size");
  TRef<IMeshNode> node = b.query<IMeshNode>();
  ASSERT_TRUE(node);
  EXPECT_EQ(node->GetMatrix(), float4x4::identity());
  EXPECT_EQ(node->GetTextureMatrix(), float4x4::identity());
  EXPECT_TRUE(host_entity(b.get())->properties().empty());
  TBStr name;
  OleCheck(b->GetName(name.put()));
  EXPECT_EQ(name.utf8(), "");
}

TEST_F(entities, interfaces_answered_by_kind) {
  struct TCase {
    const char* kind;
    TRef<IEntity> entity;
    bool material, group, scene, mesh;
  };
  TCase cases[] = {
      {"box", box(), true, false, true, true},
      {"group", group(), false, true, true, false},
      {"article", article(), false, false, false, false},
  };
  for (auto& c : cases) {
    EXPECT_EQ(bool(c.entity.query<IMaterialEntity>()), c.material) << c.kind;
    EXPECT_EQ(bool(c.entity.query<IGroupEntity>()), c.group) << c.kind;
    EXPECT_EQ(bool(c.entity.query<ISceneNode>()), c.scene) << c.kind;
    EXPECT_EQ(bool(c.entity.query<IMeshNode>()), c.mesh) << c.kind;
    EXPECT_EQ(c.entity.query<IUnknown>().get(), c.entity.query<IEntity>().query<IUnknown>().get()) << c.kind;
    EXPECT_EQ(c.entity.query<IEntity>().get(), c.entity.get()) << c.kind;
    EXPECT_EQ(entity_kind_name(host_entity(c.entity.get())->kind()), std::string(c.kind));
  }
}

TEST_F(entities, names_flags_properties_and_locks) {
  TRef<IEntity> b = box();
  OleCheck(b->SetName(TBStr("Sockel K\xC3\xBC"
                            "che")
                          .get()));
  TBStr name;
  OleCheck(b->GetName(name.put()));
  EXPECT_EQ(name.utf8(),
            "Sockel K\xC3\xBC"
            "che");

  OleCheck(b->SetAssemblyFlag(VARIANT_TRUE));
  OleCheck(b->SetArticleFlag(1));  // any non-zero value is true
  EXPECT_TRUE(host_entity(b.get())->assembly());
  EXPECT_TRUE(host_entity(b.get())->article());
  OleCheck(b->SetAssemblyFlag(VARIANT_FALSE));
  EXPECT_FALSE(host_entity(b.get())->assembly());

  TRef<IPropertySet> props;
  OleCheck(b->GetProperties(props.put()));
  OleCheck(props->SetValue(TBStr(".material.default.id").get(), TBStr("KOB").get()));
  OleCheck(props->SetValue(TBStr(".material.default.id").get(), TBStr("OAK").get()));
  OleCheck(props->SetValue(TBStr(".material.default.diffuse.red").get(), TBStr("0,5").get()));
  EXPECT_EQ(props->SetValue(nullptr, TBStr("x").get()), E_INVALIDARG);
  EXPECT_EQ(host_entity(b.get())->property(".material.default.id"), "OAK");
  EXPECT_EQ(host_entity(b.get())->property(".material.default.diffuse.red"), "0,5");
  EXPECT_EQ(host_entity(b.get())->properties().size(), 2u);

  TRef<IDimensionLocks> locks;
  OleCheck(b->GetDimensionLocks(locks.put()));
  OleCheck(locks->SetLockX(VARIANT_TRUE));
  OleCheck(locks->SetLockZ(VARIANT_TRUE));
  EXPECT_EQ(host_entity(b.get())->locks(), (std::array<bool, 3>{true, false, true}));
  OleCheck(locks->SetLockX(VARIANT_FALSE));
  OleCheck(locks->SetLockY(VARIANT_TRUE));
  EXPECT_EQ(host_entity(b.get())->locks(), (std::array<bool, 3>{false, true, true}));
}

TEST_F(entities, box_bounds_under_rotation) {
  struct TCase {
    const char* what;
    float3 corner, extent;
    float4x4 matrix;
    float3 min, max;
  };
  const double quarter = std::numbers::pi / 2;
  const TCase cases[] = {
      {"identity", {0, 0, 0}, {1, 2, 3}, float4x4::identity(), {0, 0, 0}, {1, 2, 3}},
      {"moved", {0.5, 0, 0}, {1, 2, 3}, float4x4::identity().translate(1, 1, 1), {1.5, 1, 1}, {2.5, 3, 4}},
      {"quarter turn about z", {0, 0, 0}, {1, 2, 3}, float4x4::identity().rotate_z(quarter), {-2, 0, 0}, {0, 1, 3}},
      {"eighth turn about z",
       {0, 0, 0},
       {1, 1, 1},
       float4x4::identity().rotate_z(quarter / 2),
       {-std::sqrt(0.5), 0, 0},
       {std::sqrt(0.5), std::sqrt(2.0), 1}},
      {"turn about x then move",
       {0, 0, 0},
       {1, 2, 3},
       float4x4::identity().rotate(float3(1, 0, 0), quarter).translate(0, 0, 5),
       {0, -3, 5},
       {1, 0, 7}},
      {"negative extent", {0, 0, 0}, {-1, 2, 3}, float4x4::identity(), {-1, 0, 0}, {0, 2, 3}},
  };
  for (const auto& c : cases) {
    TRef<IEntity> b = box();
    write(b.get(), false, c.corner);
    write(b.get(), true, c.extent);
    b.query<IMeshNode>()->SetMatrix(c.matrix);
    TBounds bounds = host_entity(b.get())->world_bounds();
    ASSERT_FALSE(bounds.empty) << c.what;
    expect_near(bounds.min, c.min, c.what);
    expect_near(bounds.max, c.max, c.what);
    // Position and size of a box stay in its own frame.
    expect_near(read(b.get(), false), c.corner, c.what);
    expect_near(read(b.get(), true), c.extent, c.what);
  }
}

TEST_F(entities, group_position_and_size_follow_members_world_bounds) {
  TRef<IEntity> g = group();
  expect_near(read(g.get(), false), float3(), "empty group position");
  expect_near(read(g.get(), true), float3(), "empty group size");
  write(g.get(), false, float3(5, 5, 5));  // nothing to move
  write(g.get(), true, float3(5, 5, 5));
  expect_near(read(g.get(), true), float3(), "empty group stays empty");

  TRef<IEntity> a = box(), b = box(), inner = group(), art = article();
  b.query<IMeshNode>()->SetMatrix(float4x4::identity().translate(2, 0, 0));
  write(b.get(), true, float3(1, 3, 1));
  OleCheck(a->SetParent(g.get()));
  OleCheck(inner->SetParent(g.get()));
  OleCheck(b->SetParent(inner.get()));
  OleCheck(art->SetParent(g.get()));  // articles have no bounds
  expect_near(read(g.get(), false), float3(0, 0, 0), "position");
  expect_near(read(g.get(), true), float3(3, 3, 1), "size");

  // Setting the position moves every member, nested ones included.
  write(g.get(), false, float3(1, -1, 0.5));
  expect_near(read(g.get(), false), float3(1, -1, 0.5), "moved position");
  expect_near(read(g.get(), true), float3(3, 3, 1), "size after move");
  expect_near(host_entity(b.get())->world_bounds().min, float3(3, -1, 0.5), "nested member moved");

  // Setting the size stretches about the corner.
  write(g.get(), true, float3(6, 3, 2));
  expect_near(read(g.get(), false), float3(1, -1, 0.5), "corner kept");
  expect_near(read(g.get(), true), float3(6, 3, 2), "stretched size");
  TBounds ab = host_entity(a.get())->world_bounds();
  expect_near(ab.min, float3(1, -1, 0.5), "first member min");
  expect_near(ab.max, float3(3, 0, 2.5), "first member max");
}

TEST_F(entities, mesh_position_and_size_move_and_stretch_vertices) {
  CEntity* mesh = host.project().new_entity(TEntityKind::mesh);
  mesh->set_geometry({{1, 1, 1}, {3, 1, 1}, {1, 5, 2}}, {0, 1, 2});
  mesh->set_matrix(float4x4::identity().translate(10, 0, 0));
  IEntity* e = static_cast<IMaterialEntity*>(mesh);
  expect_near(read(e, false), float3(1, 1, 1), "position");
  expect_near(read(e, true), float3(2, 4, 1), "size");
  write(e, false, float3(0, 0, 0));
  write(e, true, float3(4, 2, 1));
  expect_near(mesh->vertices()[0], float3(0, 0, 0), "corner vertex");
  expect_near(mesh->vertices()[1], float3(4, 0, 0), "stretched along x");
  expect_near(mesh->vertices()[2], float3(0, 2, 1), "stretched along y");
  TBounds b = mesh->world_bounds();
  expect_near(b.min, float3(10, 0, 0), "world min");
  expect_near(b.max, float3(14, 2, 1), "world max");
}

// A group's bounds are kept between questions; every change below it must
// show in the next answer, however deep the change and whichever way it
// comes. Each row changes the tree (outer[inner[a b] mesh] beside a box c
// at the top level) and the bounds of both groups are set against the
// bounds measured afresh from the leaves.
TEST_F(entities, group_bounds_follow_every_change_below_them) {
  CProject& p = host.project();
  CEntity* outer = p.new_entity(TEntityKind::group);
  CEntity* inner = p.new_entity(TEntityKind::group);
  CEntity* a = p.new_entity(TEntityKind::box);
  CEntity* b = p.new_entity(TEntityKind::box);
  CEntity* mesh = p.new_entity(TEntityKind::mesh);
  CEntity* c = p.new_entity(TEntityKind::box);
  mesh->set_geometry({{0, 0, 0}, {1, 2, 3}}, {0, 1, 1});
  outer->insert_member(inner);
  inner->insert_member(a);
  inner->insert_member(b);
  outer->insert_member(mesh);
  b->set_matrix(float4x4::identity().translate(2, 0, 0));
  c->set_matrix(float4x4::identity().translate(-5, 0, 0));

  // The bounds measured from the leaves, nothing kept.
  const auto measured = [](auto& self, const CEntity* e) -> TBounds {
    TBounds bounds;
    if (e->is_group()) {
      for (const CEntity* m = e->first_member(); m; m = m->next_sibling()) bounds.add(self(self, m));
    } else if (e->kind() == TEntityKind::mesh) {
      for (const float3& v : e->vertices()) bounds.add(e->matrix().transform_point(v));
    } else if (e->kind() == TEntityKind::box) {
      const float3 lo = e->position(), ext = e->size();
      for (int i = 0; i < 8; ++i)
        bounds.add(e->matrix().transform_point(
            float3(lo.x + (i & 1 ? ext.x : 0), lo.y + (i & 2 ? ext.y : 0), lo.z + (i & 4 ? ext.z : 0))));
    }
    return bounds;
  };
  struct TChange {
    const char* what;
    std::function<void()> change;
  };
  const TChange changes[] = {
      {"a leaf's matrix", [&] { a->set_matrix(float4x4::identity().translate(0, 4, 0)); }},
      {"a box's corner", [&] { a->set_position(2, -3); }},
      {"a box's extent", [&] { b->set_size(0, 7); }},
      {"a mesh's vertices moved", [&] { mesh->set_position(1, 9); }},
      {"a mesh's vertices stretched", [&] { mesh->set_size(2, 0.5); }},
      {"a mesh's geometry replaced",
       [&] {
         mesh->set_geometry({{-8, 0, 0}}, {0, 0, 0});
       }},
      {"the inner group moved", [&] { inner->set_position(0, 1.5); }},
      {"the outer group stretched", [&] { outer->set_size(1, 20); }},
      {"a member joins from outside", [&] { inner->insert_member(c); }},
      {"a member leaves", [&] { p.root()->insert_member(b); }},
      {"a member is taken out", [&] { a->unlink(); }},
      {"the inner group moves to the top", [&] { p.root()->insert_member(inner); }},
  };
  for (const TChange& row : changes) {
    SCOPED_TRACE(row.what);
    (void)outer->world_bounds();  // known before the change
    (void)inner->world_bounds();
    row.change();
    for (const CEntity* g : {outer, inner}) {
      const TBounds kept = g->world_bounds(), fresh = measured(measured, g);
      EXPECT_EQ(kept.empty, fresh.empty);
      if (!fresh.empty) {
        EXPECT_EQ(kept.min, fresh.min);
        EXPECT_EQ(kept.max, fresh.max);
      }
    }
  }
}

// Mesh objects made from one file share its geometry; one that changes its
// vertices gets a copy of its own and leaves the others as they were.
TEST_F(entities, a_shared_geometry_is_copied_by_the_object_that_changes_it) {
  const TSharedGeometry shared = make_geometry({{0, 0, 0}, {1, 1, 1}}, {0, 1, 1});
  CEntity* first = host.project().new_entity(TEntityKind::mesh);
  CEntity* second = host.project().new_entity(TEntityKind::mesh);
  first->set_geometry(shared);
  second->set_geometry(shared);
  first->set_size(0, 4);
  EXPECT_EQ(second->geometry(), shared);
  EXPECT_EQ(second->vertices()[1], float3(1, 1, 1));
  EXPECT_EQ(first->vertices()[1], float3(4, 1, 1));
  EXPECT_EQ(first->indices(), shared->indices);
  EXPECT_EQ(first->size(), float3(4, 1, 1));
  EXPECT_EQ(second->size(), float3(1, 1, 1));
}

TEST_F(entities, set_parent_and_its_misuse) {
  TRef<IEntity> outer = group(), inner = group(), b = box(), art = article();
  OleCheck(inner->SetParent(outer.get()));
  OleCheck(b->SetParent(inner.get()));
  EXPECT_EQ(host_entity(b.get())->parent(), host_entity(inner.get()));

  struct TCase {
    const char* what;
    IEntity* entity;
    IEntity* group;
    HRESULT expected;
  };
  const TCase cases[] = {
      {"group into itself", outer.get(), outer.get(), E_INVALIDARG},
      {"group into its member", outer.get(), inner.get(), E_INVALIDARG},
      {"entity into a box", art.get(), b.get(), E_INVALIDARG},
      {"entity into an article", b.get(), art.get(), E_INVALIDARG},
  };
  for (const auto& c : cases) EXPECT_EQ(c.entity->SetParent(c.group), c.expected) << c.what;
  EXPECT_EQ(host_entity(inner.get())->parent(), host_entity(outer.get()));

  // A null group is the top level.
  OleCheck(b->SetParent(nullptr));
  EXPECT_EQ(host_entity(b.get())->parent(), nullptr);
  EXPECT_EQ(host.project().top_level().back(), host_entity(b.get()));
}

TEST_F(entities, children_lists_and_scene_nodes) {
  TRef<IEntity> g = group(), a = box(), b = group(), art = article();
  for (IEntity* e : {a.get(), b.get(), art.get()}) OleCheck(e->SetParent(g.get()));
  TRef<IEntityList> children;
  OleCheck(g.query<IGroupEntity>()->GetChildren(children.put()));
  int32_t count = 0;
  OleCheck(children->GetCount(&count));
  EXPECT_EQ(count, 3);
  TRef<IEntity> item;
  OleCheck(children->GetItem(2, item.put()));
  EXPECT_EQ(item.get(), art.get());
  EXPECT_EQ(children->GetItem(3, item.put()), E_INVALIDARG);
  EXPECT_EQ(children->GetItem(-1, item.put()), E_INVALIDARG);
  EXPECT_EQ(children->GetItem(0, nullptr), E_POINTER);
  EXPECT_EQ(children->GetCount(nullptr), E_POINTER);

  TRef<IEntityEnumerator> en;
  OleCheck(children->GetEnumerator(en.put()));
  EXPECT_EQ(en->GetCurrent(item.put()), E_INVALIDARG);  // before the first MoveNext
  std::vector<IEntity*> walked;
  VARIANT_BOOL more = 0;
  while (OleCheck(en->MoveNext(&more)), more) {
    EXPECT_EQ(more, VARIANT_TRUE);
    OleCheck(en->GetCurrent(item.put()));
    walked.push_back(item.get());
  }
  EXPECT_EQ(walked, (std::vector<IEntity*>{a.get(), b.get(), art.get()}));
  OleCheck(en->MoveNext(&more));
  EXPECT_EQ(more, VARIANT_FALSE);

  // Scene nodes: the members that are not articles.
  std::vector<ISceneNode*> nodes;
  for (auto it = g.query<ISceneNode>()->GetChildNodes(); it->moveNext();) nodes.push_back(it->get_current().get());
  EXPECT_EQ(nodes, (std::vector<ISceneNode*>{a.query<ISceneNode>().get(), b.query<ISceneNode>().get()}));
  EXPECT_FALSE(a.query<ISceneNode>()->GetChildNodes()->moveNext());
}

TEST_F(entities, mesh_node_matrices_and_update) {
  TRef<IMeshNode> node = box().query<IMeshNode>();
  float4x4 m = float4x4::identity().translate(1, 2, 3);
  float4x4 t = float4x4::identity().rotate_z(1);
  node->SetMatrix(m);
  node->SetTextureMatrix(t);
  EXPECT_EQ(node->GetMatrix(), m);
  EXPECT_EQ(node->GetTextureMatrix(), t);
  node->Update();
  EXPECT_EQ(CEntity::from(node.get())->update_count(), 1);
}

// No NaN or infinity enters the project, given or made: each refused call
// answers E_INVALIDARG (plain calls raise it) and changes nothing.
TEST_F(entities, non_finite_numbers_are_refused_and_change_nothing) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double huge = std::numeric_limits<double>::max();
  CEntity* mesh = host.project().new_entity(TEntityKind::mesh);
  mesh->set_geometry({{0, 0, 0}, {1e-300, 1, 1}}, {});
  TRef<IEntity> b = box(), g = group(), member = box();
  OleCheck(member->SetParent(g.get()));
  member.query<IMeshNode>()->SetMatrix(float4x4::identity().translate(-huge, 0, 0));
  IEntity* m = static_cast<IMaterialEntity*>(mesh);
  struct TCase {
    const char* what;
    IEntity* entity;
    bool size;
    double value;
  };
  const TCase cases[] = {
      {"box position NaN", b.get(), false, nan},
      {"box size infinite", b.get(), true, inf},
      {"box size minus infinity", b.get(), true, -inf},
      {"mesh position NaN", m, false, nan},
      {"mesh stretched past the largest number", m, true, 1e10},  // 1e10 / 1e-300 along x
      {"group size NaN", g.get(), true, nan},
      {"group moved past the largest number", g.get(), false, huge},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<float3> vertices = mesh->vertices();
    const float4x4 matrix = host_entity(member.get())->matrix();
    const float3 before = read(c.entity, c.size);
    TRef<IVector3D> v;
    OleCheck(c.size ? c.entity->GetSize(v.put()) : c.entity->GetPosition(v.put()));
    EXPECT_EQ(v->SetX(c.value), E_INVALIDARG);
    const float3 after = read(c.entity, c.size);
    EXPECT_EQ(after.x, before.x);
    EXPECT_EQ(mesh->vertices().size(), vertices.size());
    for (size_t i = 0; i < vertices.size(); ++i) EXPECT_EQ(mesh->vertices()[i].x, vertices[i].x);
    EXPECT_TRUE(host_entity(member.get())->matrix() == matrix);
  }

  // Matrices, through the interface and on the host side.
  TRef<IMeshNode> node = b.query<IMeshNode>();
  float4x4 bad = float4x4::identity();
  bad.m[3] = nan;
  for (int texture = 0; texture < 2; ++texture) {
    try {
      texture ? node->SetTextureMatrix(bad) : node->SetMatrix(bad);
      ADD_FAILURE() << "accepted";
    } catch (const EOleSysError& e) {
      EXPECT_EQ(e.error_code(), E_INVALIDARG);
    }
    bad.m[3] = inf;
  }
  EXPECT_TRUE(node->GetMatrix() == float4x4::identity());
  EXPECT_TRUE(node->GetTextureMatrix() == float4x4::identity());
  EXPECT_THROW(mesh->set_geometry({{nan, 0, 0}}, {}), EOleSysError);
  EXPECT_EQ(mesh->vertices().size(), 2u);
}

TEST_F(entities, null_out_parameters_answer_e_pointer) {
  TRef<IEntity> b = box();
  EXPECT_EQ(b->GetName(nullptr), E_POINTER);
  EXPECT_EQ(b->GetPosition(nullptr), E_POINTER);
  EXPECT_EQ(b->GetSize(nullptr), E_POINTER);
  EXPECT_EQ(b->GetProperties(nullptr), E_POINTER);
  EXPECT_EQ(b->GetDimensionLocks(nullptr), E_POINTER);
  EXPECT_EQ(project->CreateEntity(ENTITY_KIND_BOX, nullptr), E_POINTER);
  TRef<IVector3D> v;
  OleCheck(b->GetSize(v.put()));
  EXPECT_EQ(v->GetX(nullptr), E_POINTER);
  TRef<IEntity> other;
  EXPECT_EQ(project->CreateEntity(1, other.put()), E_INVALIDARG);
  EXPECT_FALSE(other);
}

}  // namespace
