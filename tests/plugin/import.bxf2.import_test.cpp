#include "import.bxf2.import.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include <unistd.h>

#include <nlohmann/json.hpp>

#include "hapi.math.texture_matrix.h"
#include "host.application.h"
#include "host.export.h"
#include "host.meb.h"
#include "import.bxf2.parser.h"
#include "meshport.convert.h"
#include "platform.files.h"
#include "platform.locale.h"
#include "test.support.h"
#include "uConversion_IMPL.h"

using namespace test_support;

namespace {

// ---------------------------------------------------------------------------
// Fixtures: documents written through the model, a host, files on disk
// ---------------------------------------------------------------------------

// A document under construction, with helpers that add filled items.
class TDoc {
 public:
  TDoc() : _bxf(std::make_unique<CBXF>()) {}
  CBXF* get() const { return _bxf.get(); }
  CBXF_library* lib() const { return _bxf->lib(); }

  template <class List>
  static auto* add(List* list) {
    return list->add(list->new_item());
  }

  CBXF_node* node(const std::string& id) {
    CBXF_node* n = add(_bxf->scene()->nodes());
    n->set_id(id);
    return n;
  }
  CBXF_cabinet* cabinet(const std::string& id, const std::string& model_key, const std::string& description) {
    CBXF_cabinet* c = add(lib()->cabinets());
    c->set_id(id);
    c->set_model_key(model_key);
    c->set_description(description);
    return c;
  }
  CBXF_container* container(const std::string& id, const std::string& model_key) {
    CBXF_container* c = add(lib()->containers());
    c->set_id(id);
    c->set_model_key(model_key);
    return c;
  }
  CBXF_function_unit* function_unit(const std::string& id) {
    CBXF_function_unit* u = add(lib()->function_units());
    u->set_id(id);
    return u;
  }
  // A part with box geometry of `extent` (millimetres).
  CBXF_part* part(const std::string& id, const std::string& model_key, const std::string& description,
                  const float3& extent) {
    CBXF_part* p = bare_part(id, model_key, description);
    auto box = std::make_unique<CBXF_box_geometry>(_bxf.get());
    box->set_extent(extent);
    p->set_geometry(std::move(box));
    return p;
  }
  CBXF_part* bare_part(const std::string& id, const std::string& model_key, const std::string& description) {
    CBXF_part* p = add(lib()->parts());
    p->set_id(id);
    p->set_model_key(model_key);
    p->set_description(description);
    return p;
  }
  CBXF_article* article(const std::string& id, const std::string& number, std::vector<std::string> components = {}) {
    CBXF_article* a = add(lib()->articles());
    a->set_id(id);
    a->set_article_number(number);
    for (const std::string& c : components) a->component_numbers()->add(c);
    return a;
  }
  CBXF_component* component(const std::string& id, const std::string& number) {
    CBXF_component* c = add(lib()->components());
    c->set_id(id);
    c->set_component_number(number);
    return c;
  }
  CBXF_cut_machining* cut(const std::string& id, const float3& orientation, double original, double final_size) {
    auto m = std::make_unique<CBXF_cut_machining>(_bxf.get());
    m->set_id(id);
    m->set_orientation(orientation);
    m->set_original_size(original);
    m->set_final_size(final_size);
    CBXF_cut_machining* cut = m.get();
    lib()->machinings()->add(std::move(m));
    return cut;
  }

  // A link in `links` to `reference_id`.
  template <class Links>
  static auto* link(Links* links, const std::string& reference_id) {
    auto* l = add(links);
    l->set_reference_id(reference_id);
    return l;
  }
  static CBXF_transformation* transform(CBXF_transformed_link* link, const float3& translation,
                                        const float4& rotation = float4(0, 0, 0, 0),
                                        const float3& center = float3(0, 0, 0)) {
    CBXF_transformation* t = add(link->transformations());
    t->set_translation(translation);
    t->set_rotation(rotation);
    t->set_center(center);
    return t;
  }

 private:
  std::unique_ptr<CBXF> _bxf;
};

// A mesh node: the cube [x0, x0 + 1] × [0, 1] × [0, 1] in metres.
TMebNode cube(const std::string& name, float x0 = 0) {
  TMebNode n;
  n.name = name;
  for (int i = 0; i < 8; ++i) n.vertices.push_back({x0 + float(i & 1), float((i >> 1) & 1), float((i >> 2) & 1)});
  n.indices = {0, 1, 3, 0, 3, 2, 4, 6, 7, 4, 7, 5};
  return n;
}

TMebNode group(const std::string& name, std::vector<TMebNode> children) {
  TMebNode n;
  n.name = name;
  n.is_group = true;
  n.children = std::move(children);
  return n;
}

void write_mesh(const std::string& path, std::vector<TMebNode> objects) {
  TMebFile file;
  file.objects = std::move(objects);
  write_meb(path, file);
}

// The log lines written while the object lives (BXF2_IMPORT_LOG pointed at a file).
class TLogCapture {
 public:
  TLogCapture() : _file(_folder.path() + "import.log") { ::setenv("BXF2_IMPORT_LOG", _file.c_str(), 1); }
  ~TLogCapture() { ::unsetenv("BXF2_IMPORT_LOG"); }
  std::vector<std::string> lines() const {
    std::vector<std::string> out;
    std::ifstream in(_file);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
  }

 private:
  TTempFolder _folder;
  std::string _file;
};

// A host entity as the builder takes it.
IEntity* ent(CEntity* entity) { return static_cast<IMaterialEntity*>(entity); }

constexpr double eps = 1e-9;

void expect_vector(const float3& actual, const float3& expected, const std::string& what = {}) {
  EXPECT_NEAR(actual.x, expected.x, eps) << what;
  EXPECT_NEAR(actual.y, expected.y, eps) << what;
  EXPECT_NEAR(actual.z, expected.z, eps) << what;
}

void expect_bounds(const CEntity* entity, const float3& min, const float3& max) {
  TBounds b = entity->world_bounds();
  ASSERT_FALSE(b.empty) << entity->name();
  expect_vector(b.min, min, entity->name() + " min");
  expect_vector(b.max, max, entity->name() + " max");
}

std::vector<std::string> names(const std::vector<CEntity*>& entities) {
  std::vector<std::string> out;
  for (CEntity* e : entities) out.push_back(e->name());
  return out;
}

// A host per test, with the component mesh folder pointed at a temporary
// folder and no drawer mesh file beside the test program (which is the
// plug-in's module here; tests that want one write it there, and it is
// removed afterwards); checks that nothing reference-counted or of the
// model outlives the test.
class import : public ::testing::Test {
 protected:
  void SetUp() override {
    _live_model_objects = CBXF_object::live_objects();
    set_decimal_separator('.');
    std::remove(CMebBuilder::drawer_mesh_file_name().c_str());
    mesh_folder = folder.path() + "cadData";
    force_folders(mesh_folder);
    host = std::make_unique<CHost>();
    host->application().set_print_messages(false);
  }
  void TearDown() override {
    THostFaults::disarm();
    host.reset();
    release_conversion_manager();  // the host made the process's conversion manager
    set_decimal_separator(0);
    mesh_folder.clear();
    std::remove(CMebBuilder::drawer_mesh_file_name().c_str());
    EXPECT_EQ(CSafeInterfacedObject::leak_report(), "");
    EXPECT_EQ(CBXF_object::live_objects(), _live_model_objects);
  }

  CProject& project() const { return host->project(); }
  IApplication* application() const { return host->application_interface(); }
  void run(const TDoc& doc, const std::string& file_name = "/data/kitchen.bxf2") {
    import_document(doc.get(), application(), file_name);
  }
  // Runs `steps` on a builder of its own that is freed afterwards.
  void with_builder(const std::function<void(CMebBuilder&)>& steps) {
    CMebBuilder builder(application(), "/data/kitchen.bxf2");
    try {
      steps(builder);
    } catch (...) {
      builder.clear_selection();
      throw;
    }
    builder.clear_selection();
  }
  // A new top-level group to build into.
  CEntity* new_root() { return project().new_entity(TEntityKind::group); }

  TTempFolder folder;
  std::unique_ptr<CHost> host;

 private:
  int64_t _live_model_objects = 0;
};

// ---------------------------------------------------------------------------
// Placement matrices
// ---------------------------------------------------------------------------

TEST(import_matrix, transformations_in_list_order) {
  TDoc doc;
  auto* link = TDoc::link(TDoc::add(doc.get()->scene()->nodes())->cabinet_links(), "C");
  TDoc::transform(link, float3(0, 0, 0), float4(0, 0, 1, 90));
  TDoc::transform(link, float3(100, 0, 0));
  // A point is first turned, then moved by 0.1 along x.
  expect_vector(link_matrix(*link).transform_point(float3(1, 0, 0)), float3(0.1, 1, 0));
  // A start matrix acts before the transformations.
  float4x4 start = float4x4::identity();
  start.translate(0, 0, 1);
  expect_vector(link_matrix(*link, start).transform_point(float3(1, 0, 0)), float3(0.1, 1, 1));
}

TEST(import_matrix, turn_about_a_centre) {
  CBXF doc;
  CBXF_transformation t(&doc);
  t.set_rotation(float4(0, 0, 1, 90));
  t.set_center(float3(100, 0, 0));
  float4x4 m = transformation_matrix(t);
  expect_vector(m.transform_point(float3(0.1, 0, 0)), float3(0.1, 0, 0));
  expect_vector(m.transform_point(float3(0.2, 0, 0)), float3(0.1, 0.1, 0));
  t.set_translation(float3(0, 0, 500));
  expect_vector(transformation_matrix(t).transform_point(float3(0.2, 0, 0)), float3(0.1, 0.1, 0.5));
}

TEST(import_matrix, zero_angle_and_tiny_values_are_left_out) {
  CBXF doc;
  CBXF_transformation t(&doc);
  t.set_rotation(float4(0, 0, 0, 0));  // zero angle about a zero axis: no rotation, no error
  t.set_center(float3(1e-13, 0, 0));
  t.set_translation(float3(0, -1e-13, 0));
  EXPECT_EQ(transformation_matrix(t), float4x4::identity());
  t.set_rotation(float4(1, 2, 3, 1e-13));
  EXPECT_EQ(transformation_matrix(t), float4x4::identity());
  // A tiny centre is no centre: the turn is about the origin.
  t.set_rotation(float4(0, 0, 1, 90));
  expect_vector(transformation_matrix(t).transform_point(float3(1, 0, 0)), float3(0, 1, 0));
}

TEST(import_matrix, turn_about_a_zero_axis_raises) {
  CBXF doc;
  CBXF_transformation t(&doc);
  t.set_rotation(float4(0, 0, 0, 45));
  EXPECT_THROW(transformation_matrix(t), EZeroDivide);
}

// ---------------------------------------------------------------------------
// Structure
// ---------------------------------------------------------------------------

// A base cabinet with a side and a container with one function unit (a
// part, three handles as articles, no components), plus a container directly
// under the scene node.
TDoc kitchen_doc() {
  TDoc doc;
  CBXF_node* node = doc.node("N1");
  CBXF_cabinet* cab = doc.cabinet("C1", "KUB", "Base cabinet");
  doc.part("P1", "KOB", "Side", float3(600, -20, 720));
  doc.part("P2", "H-FRON", "Door", float3(596, 19, 716));
  TDoc::link(cab->part_links(), "P1");
  CBXF_container* inner = doc.container("K1", "");
  TDoc::link(cab->container_links(), "K1");
  CBXF_function_unit* unit = doc.function_unit("F1");
  TDoc::link(inner->function_unit_links(), "F1");
  TDoc::link(unit->part_links(), "P2");
  doc.article("A1", "HANDLE-128");
  TDoc::link(unit->article_links(), "A1")->set_quantity(3);
  TDoc::link(node->cabinet_links(), "C1");
  CBXF_container* outer = doc.container("K2", "");
  TDoc::link(node->container_links(), "K2");
  doc.function_unit("F2");
  TDoc::link(outer->function_unit_links(), "F2");
  return doc;
}

TEST_F(import, structure_names_and_flags) {
  TDoc doc = kitchen_doc();
  run(doc);

  std::vector<CEntity*> top = project().top_level();
  ASSERT_EQ(names(top), (std::vector<std::string>{"Base cabinet (KUB)", "kitchen"}));
  CEntity* cab = top[0];
  EXPECT_EQ(cab->kind(), TEntityKind::group);
  EXPECT_TRUE(cab->assembly());
  ASSERT_EQ(names(cab->members()), (std::vector<std::string>{"Side (KOB)", ""}));
  CEntity* side = cab->members()[0];
  EXPECT_EQ(side->kind(), TEntityKind::box);
  EXPECT_FALSE(side->assembly());

  // The container inside the cabinet stays unnamed; its function unit's
  // content lies directly in it: the part, the components group, the articles group.
  CEntity* inner = cab->members()[1];
  EXPECT_TRUE(inner->assembly());
  ASSERT_EQ(names(inner->members()), (std::vector<std::string>{"Door (H-FRON)", "", "articles"}));
  CEntity* components = inner->members()[1];
  EXPECT_EQ(components->kind(), TEntityKind::group);
  EXPECT_TRUE(components->assembly());
  EXPECT_EQ(components->member_count(), 0);
  CEntity* articles = inner->members()[2];
  EXPECT_TRUE(articles->assembly());
  ASSERT_EQ(names(articles->members()), (std::vector<std::string>(3, "HANDLE-128")));
  for (CEntity* a : articles->members()) {
    EXPECT_EQ(a->kind(), TEntityKind::article);
    EXPECT_TRUE(a->article());
  }

  // The container under the scene node is named after the file, and an empty
  // function unit still gets both groups.
  CEntity* outer = top[1];
  EXPECT_TRUE(outer->assembly());
  EXPECT_EQ(names(outer->members()), (std::vector<std::string>{"", "articles"}));

  // Afterwards nothing is selected and every object is locked.
  EXPECT_TRUE(project().selection().entities().empty());
  for (CEntity* e : project().objects()) EXPECT_EQ(e->locks(), (std::array<bool, 3>{true, true, true})) << e->name();
}

TEST_F(import, objects_present_before_are_locked_too) {
  CEntity* before = project().new_entity(TEntityKind::box);
  TDoc doc;
  run(doc);  // no scene nodes: the root is made, centred and dissolved
  EXPECT_EQ(project().top_level(), (std::vector<CEntity*>{before}));
  EXPECT_EQ(before->locks(), (std::array<bool, 3>{true, true, true}));
  EXPECT_TRUE(project().selection().entities().empty());
}

TEST_F(import, cabinet_and_container_names) {
  struct Case {
    std::string description, model_key, expected;
  };
  const Case cases[] = {
      {"Tall cabinet", "KSL", "Tall cabinet (KSL)"},
      {"", "KSL", "KSL"},
      {"Tall cabinet", "", "Tall cabinet"},
      {"", "", ""},
  };
  TDoc doc;
  CBXF_node* node = doc.node("N");
  int n = 0;
  for (const Case& c : cases) {
    std::string id = "C" + std::to_string(n++);
    doc.cabinet(id, c.model_key, c.description);
    TDoc::link(node->cabinet_links(), id);
  }
  // A container with a model key is named by it wherever it is.
  doc.container("K", "Unterschrank");
  TDoc::link(node->container_links(), "K");
  run(doc, "/some/where/Plan 1.final.bxf2");
  EXPECT_EQ(names(project().top_level()),
            (std::vector<std::string>{"Tall cabinet (KSL)", "KSL", "Tall cabinet", "", "Unterschrank"}));

  // The file part of the name, without folder and last extension.
  TDoc doc2;
  doc2.container("K", "");
  TDoc::link(doc2.node("N")->container_links(), "K");
  run(doc2, "/some/where/Plan 1.final.bxf2");
  EXPECT_EQ(project().top_level().back()->name(), "Plan 1.final");
}

TEST_F(import, unresolvable_link_stops_the_build) {
  TDoc doc;
  TDoc::link(doc.node("N")->cabinet_links(), "missing-cabinet");
  try {
    run(doc);
    FAIL() << "no error";
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.message().rfind("missing-cabinet (", 0), 0u) << e.message();
  }
  // The root group stays, empty; the selection is cleared.
  ASSERT_EQ(project().top_level().size(), 1u);
  EXPECT_EQ(project().top_level()[0]->member_count(), 0);
  EXPECT_TRUE(project().selection().entities().empty());
}

TEST_F(import, missing_document_or_application_is_an_assertion_failure) {
  TDoc doc;
  auto check = [](const std::function<void()>& f) {
    try {
      f();
      ADD_FAILURE() << "no error";
    } catch (const EAssertionFailed& e) {
      EXPECT_EQ(e.message().rfind("Assertion failure (import.bxf2.import, line ", 0), 0u) << e.message();
    }
  };
  check([&] { import_document(nullptr, application(), "x.bxf2"); });
  check([&] { import_document(doc.get(), nullptr, "x.bxf2"); });
  EXPECT_TRUE(project().top_level().empty());
}

// ---------------------------------------------------------------------------
// Placement of parts
// ---------------------------------------------------------------------------

TEST_F(import, import_is_centred_on_the_placement_area) {
  project().set_placement_center(float3(2, 3, 1));
  TDoc doc;
  doc.part("P", "KOB", "Side", float3(600, -20, 720));
  CBXF_cabinet* cab = doc.cabinet("C", "KUB", "");
  TDoc::link(cab->part_links(), "P");
  TDoc::transform(TDoc::link(doc.node("N")->cabinet_links(), "C"), float3(5000, 0, 0));
  run(doc);
  CEntity* side = project().top_level()[0]->members()[0];
  expect_bounds(side, float3(1.7, 2.99, 0.64), float3(2.3, 3.01, 1.36));
}

TEST_F(import, box_size_position_and_offset) {
  struct Case {
    float3 extent;
    float3 size;
    float3 min, max;  // world bounds
  };
  const Case cases[] = {
      {float3(600, -20, 720), float3(0.6, 0.02, 0.72), float3(0, -0.02, 0), float3(0.6, 0, 0.72)},
      {float3(-600, 20, -720), float3(0.6, 0.02, 0.72), float3(-0.6, 0, -0.72), float3(0, 0.02, 0)},
      {float3(0, 0, 0), float3(0, 0, 0), float3(0, 0, 0), float3(0, 0, 0)},
  };
  for (const Case& c : cases) {
    TDoc doc;
    doc.part("P", "KOB", "", c.extent);
    auto* links = TDoc::add(doc.lib()->cabinets())->part_links();
    TDoc::link(links, "P");
    CEntity* root = new_root();
    with_builder([&](CMebBuilder& b) { b.build_part_links(links, ent(root), float4x4::identity()); });
    CEntity* box = root->members().at(0);
    expect_vector(box->size(), c.size, "size");
    expect_vector(box->position(), float3(0, 0, 0), "position");
    expect_bounds(box, c.min, c.max);
  }
}

TEST_F(import, offset_acts_before_the_link_and_the_parent) {
  TDoc doc;
  doc.part("P", "KOB", "", float3(600, -20, 720));
  auto* links = TDoc::add(doc.lib()->cabinets())->part_links();
  // Turned a quarter about z, then moved 1 m along x.
  auto* link = TDoc::link(links, "P");
  TDoc::transform(link, float3(0, 0, 0), float4(0, 0, 1, 90));
  float4x4 parent = float4x4::identity();
  parent.translate(1, 0, 0);
  CEntity* root = new_root();
  with_builder([&](CMebBuilder& b) { b.build_part_links(links, ent(root), parent); });
  CEntity* box = root->members().at(0);
  // The box spans x 0..0.6, y -0.02..0; turned: x 0..0.02, y 0..0.6; moved.
  expect_bounds(box, float3(1, 0, 0), float3(1.02, 0.6, 0.72));
  EXPECT_EQ(box->update_count(), 1);
}

TEST_F(import, parts_without_box_geometry_keep_the_default_size) {
  TLogCapture log;
  TDoc doc;
  CBXF_part* prism = doc.bare_part("P1", "KOB", "Shelf");
  prism->set_geometry(std::make_unique<CBXF_prism_geometry>(doc.get()));
  doc.bare_part("P2", "NOPE", "");
  auto* links = TDoc::add(doc.lib()->cabinets())->part_links();
  TDoc::transform(TDoc::link(links, "P1"), float3(1000, 0, 0));
  TDoc::link(links, "P2");
  CEntity* root = new_root();
  with_builder([&](CMebBuilder& b) { b.build_part_links(links, ent(root), float4x4::identity()); });
  ASSERT_EQ(names(root->members()), (std::vector<std::string>{"Shelf (KOB)", "NOPE"}));
  CEntity* shelf = root->members()[0];
  EXPECT_EQ(shelf->kind(), TEntityKind::box);
  expect_vector(shelf->size(), float3(1, 1, 1));
  EXPECT_EQ(shelf->property(".material.default.id"), "CABINET");
  expect_bounds(shelf, float3(1, 0, 0), float3(2, 1, 1));
  std::vector<std::string> lines = log.lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "kitchen.bxf2: part \"P1\" (KOB) has prism geometry; it keeps the host's default size");
  EXPECT_EQ(lines[1], "kitchen.bxf2: part \"P2\" (NOPE) has no geometry; it keeps the host's default size");
}

// ---------------------------------------------------------------------------
// Drawer mesh
// ---------------------------------------------------------------------------

TEST_F(import, drawer_mesh_by_model_key) {
  write_mesh(CMebBuilder::drawer_mesh_file_name(), {cube("drawer")});
  struct Case {
    std::string model_key;
    TEntityKind kind;
    std::string material;
    std::array<bool, 3> locks;  // before the final locking
  };
  const Case cases[] = {
      {"H-SK3", TEntityKind::mesh, "DRAWER", {true, true, true}},
      {"H-SK9", TEntityKind::mesh, "H-SK9", {false, false, false}},  // not in the table
      {"h-sk3", TEntityKind::box, "h-sk3", {false, false, false}},   // the prefix is case-sensitive
      {"H-VSTK-TAB", TEntityKind::box, "DRAWER", {false, false, true}},
  };
  for (const Case& c : cases) {
    TDoc doc;
    doc.part("P", c.model_key, "Drawer", float3(596, 450, 176));
    auto* links = TDoc::add(doc.lib()->cabinets())->part_links();
    TDoc::transform(TDoc::link(links, "P"), float3(0, 0, 100));
    CEntity* root = new_root();
    with_builder([&](CMebBuilder& b) { b.build_part_links(links, ent(root), float4x4::identity()); });
    ASSERT_EQ(root->member_count(), 1) << c.model_key;
    CEntity* e = root->members()[0];
    EXPECT_EQ(e->kind(), c.kind) << c.model_key;
    EXPECT_EQ(e->name(), "Drawer (" + c.model_key + ")");
    EXPECT_EQ(e->property(".material.default.id"), c.material) << c.model_key;
    EXPECT_EQ(e->locks(), c.locks) << c.model_key;
    expect_vector(e->size(), float3(0.596, 0.45, 0.176), c.model_key);
    expect_bounds(e, float3(0, 0, 0.1), float3(0.596, 0.45, 0.276));
    EXPECT_TRUE(project().selection().entities().empty());
  }
}

TEST_F(import, drawer_mesh_with_two_objects_gives_a_box) {
  write_mesh(CMebBuilder::drawer_mesh_file_name(), {cube("front"), cube("box", 2)});
  TDoc doc;
  doc.part("P", "H-SK1", "", float3(500, 400, 150));
  auto* links = TDoc::add(doc.lib()->cabinets())->part_links();
  TDoc::link(links, "P");
  CEntity* root = new_root();
  with_builder([&](CMebBuilder& b) { b.build_part_links(links, ent(root), float4x4::identity()); });
  ASSERT_EQ(root->member_count(), 1);
  EXPECT_EQ(root->members()[0]->kind(), TEntityKind::box);
  expect_vector(root->members()[0]->size(), float3(0.5, 0.4, 0.15));
  // The loaded objects stay at the top level where the host put them.
  std::vector<CEntity*> top = project().top_level();
  ASSERT_EQ(names(top), (std::vector<std::string>{"", "front", "box"}));
  EXPECT_EQ(top[1]->matrix(), float4x4::identity());
}

TEST_F(import, without_drawer_mesh_file_a_box_is_made) {
  TDoc doc;
  doc.part("P", "H-SK3", "", float3(500, 400, 150));
  auto* links = TDoc::add(doc.lib()->cabinets())->part_links();
  TDoc::link(links, "P");
  CEntity* root = new_root();
  with_builder([&](CMebBuilder& b) { b.build_part_links(links, ent(root), float4x4::identity()); });
  EXPECT_EQ(root->members().at(0)->kind(), TEntityKind::box);
  EXPECT_EQ(root->members().at(0)->property(".material.default.id"), "DRAWER");
}

// ---------------------------------------------------------------------------
// Materials
// ---------------------------------------------------------------------------

TEST_F(import, material_properties_texture_turn_and_locks) {
  struct Case {
    std::string key;
    char separator;
    std::map<std::string, std::string> properties;
    bool turned;
    std::array<bool, 3> locks;  // all set before
  };
  const Case cases[] = {
      {"KOB",
       '.',
       {{".material.default.id", "CABINET"},
        {".material.default.diffuse.red", "1"},
        {".material.default.diffuse.green", "0.959999978542328"},
        {".material.default.diffuse.blue", "0.930000007152557"}},
       true,
       {false, true, false}},
      {"F-BOD",
       ',',
       {{".material.default.id", "ELEMENT"},
        {".material.default.diffuse.red", "0,100000001490116"},
        {".material.default.diffuse.green", "0,100000001490116"},
        {".material.default.diffuse.blue", "0,100000001490116"}},
       true,
       {false, true, false}},
      {"H-FRON_HF-ob",
       '.',
       {{".material.default.id", "FRONT"},
        {".material.default.diffuse.red", "0.629999995231628"},
        {".material.default.diffuse.green", "0.519999980926514"},
        {".material.default.diffuse.blue", "0.540000021457672"}},
       false,
       {false, false, true}},
      {"kob", '.', {{".material.default.id", "kob"}}, false, {true, true, true}},
  };
  for (const Case& c : cases) {
    set_decimal_separator(c.separator);
    CEntity* box = project().new_entity(TEntityKind::box);
    for (int axis = 0; axis < 3; ++axis) box->set_lock(axis, true);
    float4x4 texture = float4x4::identity();
    texture.translate(0.25, 0.5, 0).rotate_z(0.3).scale(2, 4, 1);
    box->set_texture_matrix(texture);
    with_builder([&](CMebBuilder& b) { b.apply_material(static_cast<IMaterialEntity*>(box), c.key); });
    EXPECT_EQ(box->properties(), c.properties) << c.key;
    EXPECT_EQ(box->locks(), c.locks) << c.key;
    TTextureTransform t = decompose_texture_matrix(box->texture_matrix());
    EXPECT_NEAR(t.angle, c.turned ? 1.5707963705062866 : 0.3, 1e-12) << c.key;
    EXPECT_NEAR(t.offset_x, 0.25, 1e-12);
    EXPECT_NEAR(t.offset_y, 0.5, 1e-12);
    EXPECT_NEAR(t.scale_x, 0.5, 1e-12);
    EXPECT_NEAR(t.scale_y, 0.25, 1e-12);
  }
}

TEST_F(import, materials_file_beside_the_module_is_read_per_builder) {
  // The test program is the module here.
  const std::string file = materials_file_name();
  // A key of its own, so that builders of other tests running meanwhile see no change.
  write_file_bytes(file, "ZZ-BUILDER-TEST\tOAK\t0,5\t0.5\tx\t1\t0\t1\t0\n");
  CEntity* box = project().new_entity(TEntityKind::box);
  with_builder([&](CMebBuilder& b) {
    EXPECT_EQ(b.materials()->get_count(), builtin_material_count + 1);
    b.apply_material(static_cast<IMaterialEntity*>(box), "ZZ-BUILDER-TEST");
  });
  std::remove(file.c_str());
  EXPECT_EQ(box->property(".material.default.id"), "OAK");
  EXPECT_EQ(box->property(".material.default.diffuse.blue"), "1");
}

// ---------------------------------------------------------------------------
// Components
// ---------------------------------------------------------------------------

// A function unit with one component link to K1 of article 4711.
struct TComponentDoc {
  TDoc doc;
  CBXF_component* component;
  CBXF_component_links* links;
  CBXF_component_link* link;
  TComponentDoc() {
    doc.article("A", "4711", {"K0", "K1"});
    component = doc.component("K", "K1");
    links = doc.function_unit("F")->component_links();
    link = TDoc::link(links, "K");
  }
};

TEST_F(import, component_mesh_loaded_placed_locked_and_grouped) {
  // Two objects inside a group inside a group.
  write_mesh(mesh_folder + "/4711_K1.meb", {group("outer", {group("inner", {cube("a"), cube("b", 3)})})});
  TComponentDoc c;
  TDoc::transform(c.link, float3(1000, 0, 0));
  float4x4 parent = float4x4::identity();
  parent.translate(0, 2, 0);
  CEntity* root = new_root();
  with_builder([&](CMebBuilder& b) { b.build_component_links(c.links, ent(root), parent); });

  ASSERT_EQ(root->member_count(), 1);
  CEntity* components = root->members()[0];
  EXPECT_EQ(components->name(), "");
  EXPECT_TRUE(components->assembly());
  ASSERT_EQ(names(components->members()), (std::vector<std::string>{"4711_K1"}));
  CEntity* group = components->members()[0];
  ASSERT_EQ(names(group->members()), (std::vector<std::string>{"a", "b"}));
  // Matrix: axis turn F first, then the link (1 m along x), then the parent (2 m along y).
  float4x4 expected = float4x4::identity();
  expected.m[5] = 0, expected.m[6] = -1, expected.m[9] = 1, expected.m[10] = 0;
  expected.translate(1, 2, 0);
  for (CEntity* mesh : group->members()) {
    EXPECT_EQ(mesh->kind(), TEntityKind::mesh);
    EXPECT_EQ(mesh->matrix(), expected);
    EXPECT_EQ(mesh->locks(), (std::array<bool, 3>{true, true, true}));
    EXPECT_EQ(mesh->update_count(), 1);
  }
  // The cube's +y becomes +z.
  expect_bounds(group->members()[0], float3(1, 1, 0), float3(2, 2, 1));
  // Everything loaded went into the group; nothing is left at the top level
  // but the root, and the selection is cleared.
  EXPECT_EQ(project().top_level(), (std::vector<CEntity*>{root}));
  EXPECT_TRUE(project().selection().entities().empty());
}

// The desktop finds files whatever their letter case: the mesh folder, a
// component's mesh file and the drawer mesh are found so.
TEST_F(import, mesh_files_are_found_in_any_letter_case) {
  ASSERT_TRUE(force_folders(folder.path() + "CADDATA2"));
  write_mesh(folder.path() + "CADDATA2/4711_k1.MEB", {cube("hinge")});
  mesh_folder = folder.path() + "cadData2/";
  TComponentDoc c;
  CEntity* root = new_root();
  with_builder([&](CMebBuilder& b) { b.build_component_links(c.links, ent(root), float4x4::identity()); });
  ASSERT_EQ(root->member_count(), 1);
  ASSERT_EQ(names(root->members()[0]->members()), (std::vector<std::string>{"4711_K1"}));
  EXPECT_EQ(names(root->members()[0]->members()[0]->members()), (std::vector<std::string>{"hinge"}));

  // Beside the test program, in other letters than the builder asks for;
  // removed whatever the outcome, as the fixture removes only "H-SK.meb".
  const std::string drawer = extract_file_path(CMebBuilder::drawer_mesh_file_name()) + "h-sk.MEB";
  write_mesh(drawer, {cube("drawer")});
  struct TRemove {
    std::string path;
    ~TRemove() { std::remove(path.c_str()); }
  } remove_drawer{drawer};
  TDoc doc;
  doc.part("P", "H-SK3", "Drawer", float3(596, 450, 176));
  auto* links = TDoc::add(doc.lib()->cabinets())->part_links();
  TDoc::link(links, "P");
  CEntity* parts = new_root();
  with_builder([&](CMebBuilder& b) { b.build_part_links(links, ent(parts), float4x4::identity()); });
  ASSERT_EQ(parts->member_count(), 1);
  EXPECT_EQ(parts->members()[0]->kind(), TEntityKind::mesh);
}

TEST_F(import, cut_machinings_size_component_meshes) {
  // Beside each cut the component links a drilling (which the reader leaves
  // out, so its link finds nothing) and a machining of another kind: both
  // are skipped and logged, and the cut still applies. A cut whose ratio is
  // not finite is skipped too.
  const std::string drilling = "kitchen.bxf2: machining \"D1\" of component \"K\" is not a cut; skipped";
  const std::string other = "kitchen.bxf2: machining \"M2\" of component \"K\" is not a cut; skipped";
  struct Case {
    float3 orientation;
    double original_size;
    float3 size, position;
    std::string cut_skipped;  // the log line for the cut, if any
  };
  const Case cases[] = {
      {float3(1, 0, 0), 1000, float3(0.8, 1, 1), float3(0.8, 0, 0), ""},
      {float3(0, 0, -1), 1000, float3(1, 1, 0.8), float3(5, 0, 0), ""},  // size z -0.8: mirrored
      {float3(0, 2, 0), 1000, float3(1, 1.6, 1), float3(5, 0, 0), ""},
      {float3(1, 0, 0), 0, float3(1, 1, 1), float3(5, 0, 0),  // 800 / 0: infinite
       "kitchen.bxf2: cut \"M1\" of component \"K\" gives no finite size (original size 0); skipped"},
  };
  for (const Case& k : cases) {
    TLogCapture log;
    write_mesh(mesh_folder + "/4711_K1.meb", {cube("plinth", 5)});
    TComponentDoc c;
    c.doc.cut("M1", k.orientation, k.original_size, 800);
    c.doc.lib()->machinings()->add(std::make_unique<CBXF_machining>(c.doc.get()));
    c.doc.lib()->machinings()->at(1)->set_id("M2");
    TDoc::link(c.component->machining_links(), "D1");
    TDoc::link(c.component->machining_links(), "M2");
    TDoc::link(c.component->machining_links(), "M1");
    CEntity* root = new_root();
    with_builder([&](CMebBuilder& b) { b.build_component_links(c.links, ent(root), float4x4::identity()); });
    CEntity* mesh = root->members().at(0)->members().at(0)->members().at(0);
    expect_vector(mesh->size(), k.size, "size");
    expect_vector(mesh->position(), k.position, "position");
    std::vector<std::string> expected = {drilling, other};
    if (!k.cut_skipped.empty()) expected.push_back(k.cut_skipped);
    EXPECT_EQ(log.lines(), expected);
  }
}

TEST_F(import, later_cuts_override_earlier_ones_per_axis) {
  write_mesh(mesh_folder + "/4711_K1.meb", {cube("plinth")});
  TComponentDoc c;
  c.doc.cut("M1", float3(1, 1, 0), 1000, 500);
  c.doc.cut("M2", float3(0.5, 0, 0), 1, 3);
  TDoc::link(c.component->machining_links(), "M1");
  TDoc::link(c.component->machining_links(), "M2");
  CEntity* root = new_root();
  with_builder([&](CMebBuilder& b) { b.build_component_links(c.links, ent(root), float4x4::identity()); });
  CEntity* mesh = root->members().at(0)->members().at(0)->members().at(0);
  expect_vector(mesh->size(), float3(1.5, 0.5, 1));
  expect_vector(mesh->position(), float3(1.5, 0, 0));
}

TEST_F(import, missing_component_mesh_is_skipped_and_logged) {
  TLogCapture log;
  TComponentDoc c;
  CEntity* root = new_root();
  with_builder([&](CMebBuilder& b) { b.build_component_links(c.links, ent(root), float4x4::identity()); });
  ASSERT_EQ(root->member_count(), 1);
  EXPECT_EQ(root->members()[0]->member_count(), 0);
  std::vector<std::string> lines = log.lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "kitchen.bxf2: component mesh \"" + include_trailing_delimiter(mesh_folder) +
                          "4711_K1.meb\" not found; component \"K\" skipped");
}

// The mesh file is named from the article number and the component number;
// a name that could reach another folder names no file. Each case puts a
// mesh where the name would lead, so only the check keeps it from loading.
TEST_F(import, component_mesh_names_that_are_no_file_names_are_skipped_and_logged) {
  struct Case {
    std::string article_number;
    std::string component_number;
    std::string reached;  // where the name leads from the mesh folder ("" for nowhere)
    std::string logged;   // the name as the log shows it; "" when the mesh loads
  };
  const Case cases[] = {
      {"4711", "K1", "4711_K1", ""},
      {"47.11", "K1", "47.11_K1", ""},                            // a dot alone is no path
      {"../outside", "K1", "../outside_K1", "../outside_K1"},     // climbs out
      {"sub/model", "K1", "sub/model_K1", "sub/model_K1"},        // a subfolder
      {"/tmp/model", "K1", "", "/tmp/model_K1"},                  // an absolute path
      {"4711", "K1/../../outside", "", "4711_K1/../../outside"},  // the component number climbs
      {"..\\outside", "K1", "..\\outside_K1", "..\\outside_K1"},  // the other separator
      {"sub\\model", "K1", "sub\\model_K1", "sub\\model_K1"},
      {"C:model", "K1", "C:model_K1", "C:model_K1"},  // a drive
      {"model", "K1:stream", "model_K1:stream", "model_K1:stream"},
      {"..", "K1", ".._K1", ".._K1"},
      {"model\x01", "K1", "model\x01_K1", "model\\x01_K1"},  // control characters
      {"model\t1", "K1", "model\t1_K1", "model\\t1_K1"},
      {"model\x7F", "K1", "model\x7F_K1", "model\\x7f_K1"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.article_number + " " + k.component_number);
    TLogCapture log;
    if (!k.reached.empty()) {
      const std::string path = include_trailing_delimiter(mesh_folder) + k.reached + ".meb";
      force_folders(extract_file_path(path));
      write_mesh(path, {cube("reached")});
    }
    TDoc doc;
    doc.article("A", k.article_number, {k.component_number});
    TDoc::link(doc.function_unit("F")->component_links(), doc.component("K", k.component_number)->id());
    const size_t before = project().objects().size();
    CEntity* root = new_root();
    with_builder([&](CMebBuilder& b) {
      b.build_component_links(doc.lib()->function_units()->at(0)->component_links(), ent(root), float4x4::identity());
    });
    CEntity* components = root->members().at(0);
    if (k.logged.empty()) {
      EXPECT_EQ(names(components->members()), std::vector<std::string>{k.article_number + "_" + k.component_number});
      EXPECT_TRUE(log.lines().empty());
    } else {
      EXPECT_EQ(components->member_count(), 0);
      EXPECT_EQ(project().objects().size(), before + 2);  // the root and its components group: nothing loaded
      EXPECT_EQ(log.lines(), std::vector<std::string>{"kitchen.bxf2: component mesh name \"" + k.logged +
                                                      "\" is not a file name; component \"K\" skipped"});
    }
  }
}

TEST_F(import, component_without_article_stops_the_build) {
  write_mesh(mesh_folder + "/4711_K1.meb", {cube("a")});
  TComponentDoc c;
  c.component->set_component_number("K9");
  CEntity* root = new_root();
  try {
    with_builder([&](CMebBuilder& b) { b.build_component_links(c.links, ent(root), float4x4::identity()); });
    FAIL() << "no error";
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.message().rfind("K9 (", 0), 0u) << e.message();
  }
}

// ---------------------------------------------------------------------------
// Articles
// ---------------------------------------------------------------------------

TEST_F(import, articles_by_quantity) {
  TDoc doc;
  doc.article("A1", "100-200");
  doc.article("A2", "300");
  CBXF_article_links* links = doc.function_unit("F")->article_links();
  TDoc::link(links, "A1")->set_quantity(3);
  TDoc::link(links, "A2")->set_quantity(0);
  TDoc::link(links, "a2")->set_quantity(-1);
  TDoc::link(links, "a2")->set_quantity(1);  // ids match ignoring case
  CEntity* root = new_root();
  with_builder([&](CMebBuilder& b) { b.build_article_links(links, ent(root)); });
  CEntity* articles = root->members().at(0);
  EXPECT_EQ(articles->name(), "articles");
  EXPECT_EQ(names(articles->members()), (std::vector<std::string>{"100-200", "100-200", "100-200", "300"}));
  for (CEntity* a : articles->members()) {
    EXPECT_TRUE(a->article());
    EXPECT_EQ(a->locks(), (std::array<bool, 3>{false, false, false}));
  }
}

TEST_F(import, missing_article_stops_the_build) {
  TDoc doc;
  CBXF_article_links* links = doc.function_unit("F")->article_links();
  TDoc::link(links, "NOPE")->set_quantity(1);
  CEntity* root = new_root();
  EXPECT_THROW(with_builder([&](CMebBuilder& b) { b.build_article_links(links, ent(root)); }), EAssertionFailed);
}

// ---------------------------------------------------------------------------
// Failure paths
// ---------------------------------------------------------------------------

// Everything the builder does: cabinets, containers, parts, the drawer mesh,
// component meshes with nested groups and cuts, articles.
TDoc full_doc() {
  TDoc doc = kitchen_doc();
  doc.part("D", "H-SK3", "Drawer", float3(596, 450, 176));
  CBXF_function_unit* unit = doc.lib()->function_units()->at(0);
  TDoc::transform(TDoc::link(unit->part_links(), "D"), float3(0, 0, 100), float4(0, 0, 1, 90), float3(10, 0, 0));
  doc.article("A9", "4711", {"K1"});
  CBXF_component* k = doc.component("K", "K1");
  doc.cut("M", float3(1, 0, 0), 1000, 800);
  TDoc::link(k->machining_links(), "M");
  TDoc::link(unit->component_links(), "K");
  return doc;
}

TEST_F(import, every_failing_host_call_ends_the_import_cleanly) {
  write_mesh(CMebBuilder::drawer_mesh_file_name(), {cube("drawer")});
  write_mesh(mesh_folder + "/4711_K1.meb", {group("g", {group("h", {cube("a"), cube("b", 2)})})});
  TDoc doc = full_doc();

  THostFaults::reset();
  run(doc);
  const int64_t calls = THostFaults::calls();
  ASSERT_GT(calls, 100);
  // What is alive besides the host: the document's own lists.
  host.reset();
  const std::string document_only = CSafeInterfacedObject::leak_report();

  for (int64_t n = 1; n <= calls; ++n) {
    host = std::make_unique<CHost>();
    host->application().set_print_messages(false);
    THostFaults::arm(n);
    try {
      run(doc);
      ADD_FAILURE() << "call " << n << " failed without error";
    } catch (const EOleSysError& e) {
      EXPECT_EQ(e.error_code(), E_FAIL) << n;
    }
    const std::string failed = THostFaults::failed_operation();
    THostFaults::disarm();
    EXPECT_FALSE(failed.empty()) << n;
    if (failed != "ISelection.Clear") {
      EXPECT_TRUE(project().selection().entities().empty()) << n << " " << failed;
    }
    host.reset();
    EXPECT_EQ(CSafeInterfacedObject::leak_report(), document_only) << n << " " << failed;
  }
  host = std::make_unique<CHost>();
}

// ---------------------------------------------------------------------------
// A realistic document
// ---------------------------------------------------------------------------

TEST_F(import, kitchen_example_builds_completely) {
  TLogCapture log;
  const std::string examples = BXF_EXAMPLES_DIR "/kitchen/";
  std::vector<std::string> sources = list_files(examples + "cadData", "*.dae");
  ASSERT_EQ(sources.size(), 3u);
  for (const std::string& dae : sources) {
    std::string message;
    ASSERT_TRUE(convert_file(dae, include_trailing_delimiter(mesh_folder) + extract_file_stem(dae) + ".meb", 1000.0,
                             kMeshportTree, &message))
        << message;
  }
  write_file_bytes(CMebBuilder::drawer_mesh_file_name(), read_file_bytes(BXF_DRAWER_MESH_DIR "/H-SK.meb"));
  project().set_placement_center(float3(1, 2, 0));

  std::unique_ptr<CBXF> doc = parse_file(examples + "kitchen.bxf2");
  ASSERT_TRUE(doc);
  import_document(doc.get(), application(), examples + "kitchen.bxf2");
  doc.reset();

  // Nothing was left out, nothing stays selected.
  std::vector<std::string> lines = log.lines();
  EXPECT_TRUE(lines.empty()) << lines.front();
  EXPECT_TRUE(project().selection().entities().empty());

  // Five cabinets, and the plinth container named after the file.
  std::vector<std::string> top = names(project().top_level());
  ASSERT_EQ(top.size(), 6u);
  for (const std::string& name : top) EXPECT_FALSE(name.empty());
  EXPECT_EQ(top.back(), "kitchen");

  std::set<std::string> component_groups;
  int drawers = 0, articles = 0, boxes = 0;
  TBounds all;
  for (CEntity* e : project().objects()) {
    EXPECT_EQ(e->locks(), (std::array<bool, 3>{true, true, true})) << e->name();
    all.add(e->world_bounds());
    switch (e->kind()) {
      case TEntityKind::box:
        ++boxes;
        EXPECT_FALSE(e->name().empty());
        EXPECT_FALSE(e->property(".material.default.id").empty()) << e->name();
        break;
      case TEntityKind::mesh:
        if (e->name().find("(H-SK") != std::string::npos) {
          ++drawers;
          EXPECT_EQ(e->property(".material.default.id"), "DRAWER") << e->name();
          EXPECT_EQ(e->property(".material.default.diffuse.red"), "0.400000005960464");
        }
        break;
      case TEntityKind::article:
        ++articles;
        EXPECT_TRUE(e->article());
        EXPECT_FALSE(e->name().empty());
        break;
      case TEntityKind::group:
        if (e->parent() && e->parent()->name().empty() && !e->name().empty() && e->name() != "articles")
          component_groups.insert(e->name());
        break;
    }
  }
  EXPECT_EQ(drawers, 3);  // one drawer function unit is linked twice
  EXPECT_GT(boxes, 20);
  EXPECT_GT(articles, 0);
  EXPECT_EQ(component_groups, (std::set<std::string>{"1105_K2", "2000_P1", "4711_K1"}));
  // The import's size box is centred on the placement area.
  expect_vector((all.min + all.max) / 2.0, float3(1, 2, 0), "centre");

  // The JSON export shows the same.
  nlohmann::ordered_json json = nlohmann::ordered_json::parse(project_json_text(project()));
  ASSERT_EQ(json["objects"].size(), 6u);
  EXPECT_EQ(json["objects"][0]["kind"], "group");
  EXPECT_EQ(json["objects"][0]["assembly"], true);
  EXPECT_EQ(json["objects"][0]["locks"], nlohmann::ordered_json::parse("[true, true, true]"));
}

}  // namespace
