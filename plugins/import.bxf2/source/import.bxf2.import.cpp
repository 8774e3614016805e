#include "import.bxf2.import.h"

#include <cmath>
#include <exception>
#include <memory>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "hapi.math.texture_matrix.h"
#include "import.bxf2.log.h"
#include "platform.debug.h"
#include "platform.files.h"
#include "platform.locale.h"

std::string mesh_folder;

namespace {

// ---------------------------------------------------------------------------
// Host calls
// ---------------------------------------------------------------------------

// The object as interface J; raises EOleSysError (E_NOINTERFACE) when it does
// not answer J.
template <class J, class I>
TRef<J> cast(I* object) {
  TRef<J> result = query_interface<J>(object);
  if (!result) throw EOleSysError(E_NOINTERFACE);
  return result;
}

template <class J, class I>
bool supports(I* object) {
  return bool(query_interface<J>(object));
}

TRef<IEntityList> selected_entities(ISelection* selection) {
  TRef<IEntityList> list;
  OleCheck(selection->GetEntities(list.put()));
  return list;
}

TRef<IEntity> item(IEntityList* list, int32_t index) {
  TRef<IEntity> entity;
  OleCheck(list->GetItem(index, entity.put()));
  return entity;
}

// The entities of a list in enumeration order, through its enumerator.
template <class F>
void for_each_entity(IEntityList* list, F&& visit) {
  TRef<IEntityEnumerator> enumerator;
  OleCheck(list->GetEnumerator(enumerator.put()));
  for (;;) {
    VARIANT_BOOL more = VARIANT_FALSE;
    OleCheck(enumerator->MoveNext(&more));
    if (!from_variant_bool(more)) break;
    TRef<IEntity> entity;
    OleCheck(enumerator->GetCurrent(entity.put()));
    if (!visit(entity.get())) break;
  }
}

TRef<IVector3D> size_of(IEntity* entity) {
  TRef<IVector3D> v;
  OleCheck(entity->GetSize(v.put()));
  return v;
}

TRef<IVector3D> position_of(IEntity* entity) {
  TRef<IVector3D> v;
  OleCheck(entity->GetPosition(v.put()));
  return v;
}

void set_locks(IEntity* entity, bool x, bool y, bool z) {
  TRef<IDimensionLocks> locks;
  OleCheck(entity->GetDimensionLocks(locks.put()));
  OleCheck(locks->SetLockX(to_variant_bool(x)));
  OleCheck(locks->SetLockY(to_variant_bool(y)));
  OleCheck(locks->SetLockZ(to_variant_bool(z)));
}

void set_property(IPropertySet* properties, const char* name, const std::string& value) {
  OleCheck(properties->SetValue(TBStr(name).get(), TBStr(value).get()));
}

// ---------------------------------------------------------------------------
// Numbers
// ---------------------------------------------------------------------------

constexpr double degree = 0.017453292519943295;
// A quarter turn as the single-precision value of π/2.
constexpr double quarter_turn = double(float(1.5707963267948966));

// The axis turn of component meshes: (x, y, z) to (x, −z, y), carrying a
// mesh's +y axis onto +z.
float4x4 axis_turn() {
  float4x4 f;
  f.m[0] = 1;
  f.m[6] = -1;
  f.m[9] = 1;
  f.m[15] = 1;
  return f;
}

// A colour component as the host reads it: general format, 15 significant
// digits, the locale's decimal separator.
std::string color_text(float component) { return float_to_text_general(double(component), 15, decimal_separator()); }

// ---------------------------------------------------------------------------
// Links that find nothing
// ---------------------------------------------------------------------------

// "FILE:LINE:COLUMN" of a model object read from `file_name`, "FILE" alone
// when the object has no place.
std::string place_of(const CBXF_object& object, const std::string& file_name) {
  if (object.source_line() <= 0) return file_name;
  return fmt::format("{}:{}:{}", file_name, object.source_line(), object.source_column());
}

// Says on the desktop's debug output what a failed look-up looked for and
// where in the file it was asked for; the reader's own failure (the id as
// message) then goes on as it is. Never raises.
template <class Describe>
void report_unresolved(Describe describe) noexcept {
  try {
    output_debug_string(describe());
  } catch (...) {  // out of memory for the text: the failure goes on without it
  }
}

// The target of `link`, a `what` ("part"); see report_unresolved.
template <class Link>
auto target_of(const Link* link, const char* what, const std::string& file_name) {
  try {
    return link->reference();
  } catch (const EAssertionFailed&) {
    report_unresolved([&] {
      return fmt::format("no {} with id \"{}\", referenced at {}", what, link->reference_id(),
                         place_of(*link, file_name));
    });
    throw;
  }
}

// The article of `component`; see report_unresolved.
CBXF_article* article_of(const CBXF_component* component, const std::string& file_name) {
  try {
    return component->article();
  } catch (const EAssertionFailed&) {
    report_unresolved([&] {
      return fmt::format("no article lists component number \"{}\" of component \"{}\" at {}",
                         component->component_number(), component->id(), place_of(*component, file_name));
    });
    throw;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Placement matrices
// ---------------------------------------------------------------------------

float4x4 transformation_matrix(const CBXF_transformation& transformation) {
  float4x4 p = float4x4::identity();
  const float3 center = transformation.center() / 1000.0;
  const float4& rotation = transformation.rotation();
  const bool has_center = !is_zero(transformation.center());
  if (has_center) p.translate(-center.x, -center.y, -center.z);
  if (!is_zero(rotation.w)) p.rotate(float3(rotation.x, rotation.y, rotation.z), rotation.w * degree);
  if (has_center) p.translate(center.x, center.y, center.z);
  if (!is_zero(transformation.translation())) {
    const float3 t = transformation.translation() / 1000.0;
    p.translate(t.x, t.y, t.z);
  }
  return p;
}

float4x4 link_matrix(const CBXF_transformed_link& link, const float4x4& start) {
  float4x4 s = start;
  for (CBXF_transformation* t : *link.transformations()) s = float4x4::multiply(s, transformation_matrix(*t));
  return s;
}

// ---------------------------------------------------------------------------
// Import procedure
// ---------------------------------------------------------------------------

void import_document(CBXF* document, IApplication* application, const std::string& file_name) {
  ASSERT(document);
  auto builder = std::make_unique<CMebBuilder>(application, file_name);
  std::exception_ptr failure;
  try {
    TRef<IEntity> root;
    OleCheck(builder->project()->CreateGroup(root.put()));
    builder->build_nodes(document, root.get());
    builder->center_on_placement_area(root.get());

    // Dissolve the root: its groups become top-level objects of the project.
    TRef<ISelection> selection;
    OleCheck(builder->project()->GetSelection(selection.put()));
    OleCheck(selection->Clear());
    OleCheck(builder->project()->GetSelection(selection.put()));
    OleCheck(selection->Add(root.get()));
    OleCheck(builder->project()->GetSelection(selection.put()));
    OleCheck(selection->Ungroup());

    // Lock every object of the project, also those that were there before.
    TRef<IProjectContent> content = cast<IProjectContent>(builder->project());
    TRef<IIterable<TRef<IUnknown>>> objects = content->GetObjects();
    for (TRef<IIterator<TRef<IUnknown>>> it = objects->getEnumerator(); it->moveNext();) {
      TRef<IEntity> entity = cast<IEntity>(it->get_current().get());
      set_locks(entity.get(), true, true, true);
    }
  } catch (...) {
    failure = std::current_exception();
  }
  // The selection is cleared also after a failure; the build's own failure
  // is the one reported.
  try {
    builder->clear_selection();
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  builder.reset();
  if (failure) std::rethrow_exception(failure);
}

// ---------------------------------------------------------------------------
// Builder lifecycle
// ---------------------------------------------------------------------------

CMebBuilder::CMebBuilder(IApplication* application, const std::string& file_name) : _application(application) {
  ASSERT(application);
  OleCheck(_application->GetProject(_project.put()));
  OleCheck(_project->GetSelection(_selection.put()));
  _materials = load_material_dict(materials_file_name());
  _file_name = file_name;
}

void CMebBuilder::clear_selection() { OleCheck(_selection->Clear()); }

std::string CMebBuilder::drawer_mesh_file_name() {
  return include_trailing_delimiter(extract_file_path(module_path())) + "H-SK" + ".meb";
}

// ---------------------------------------------------------------------------
// The walk over nodes, cabinets, containers and function units
// ---------------------------------------------------------------------------

void CMebBuilder::build_nodes(CBXF* document, IEntity* root) {
  const float4x4 m = float4x4::identity();
  for (CBXF_node* node : *document->scene()->nodes()) {
    build_cabinet_links(node->cabinet_links(), root, m);
    build_container_links(node->container_links(), root, m);
  }
}

void CMebBuilder::build_cabinet_links(CBXF_cabinet_links* links, IEntity* parent, const float4x4& m) {
  for (CBXF_cabinet_link* link : *links) {
    CBXF_cabinet* cabinet = target_of(link, "cabinet", _file_name);
    TRef<IEntity> group = new_group(parent, "");
    OleCheck(group->SetAssemblyFlag(VARIANT_TRUE));
    set_entity_name(group.get(), cabinet->description(), cabinet->model_key());
    const float4x4 w = float4x4::multiply(link_matrix(*link), m);
    build_part_links(cabinet->part_links(), group.get(), w);
    build_container_links(cabinet->container_links(), group.get(), w);
  }
}

void CMebBuilder::build_container_links(CBXF_container_links* links, IEntity* parent, const float4x4& m) {
  for (CBXF_container_link* link : *links) {
    CBXF_container* container = target_of(link, "container", _file_name);
    std::string name = container->model_key();
    if (name.empty()) {
      TBStr parent_name;
      OleCheck(parent->GetName(parent_name.put()));
      if (parent_name.empty()) name = extract_file_stem(_file_name);
    }
    TRef<IEntity> group = new_group(parent, name);
    OleCheck(group->SetAssemblyFlag(VARIANT_TRUE));
    const float4x4 w = float4x4::multiply(link_matrix(*link), m);
    build_function_unit_links(container->function_unit_links(), group.get(), w);
  }
}

void CMebBuilder::build_function_unit_links(CBXF_function_unit_links* links, IEntity* parent, const float4x4& m) {
  for (CBXF_function_unit_link* link : *links) {
    CBXF_function_unit* unit = target_of(link, "function unit", _file_name);
    const float4x4 w = float4x4::multiply(link_matrix(*link), m);
    build_part_links(unit->part_links(), parent, w);
    build_component_links(unit->component_links(), parent, w);
    build_article_links(unit->article_links(), parent);
  }
}

// ---------------------------------------------------------------------------
// Parts
// ---------------------------------------------------------------------------

void CMebBuilder::build_part_links(CBXF_part_links* links, IEntity* parent, const float4x4& m) {
  for (CBXF_part_link* link : *links) {
    CBXF_part* part = target_of(link, "part", _file_name);

    // The drawer mesh, when its file holds exactly one object; else a box.
    TRef<IEntity> entity;
    // The module's path is looked up for drawer parts only: it costs a
    // system call, and most parts are boards.
    std::string drawer_file;
    if (part->model_key().starts_with("H-SK") && file_exists(drawer_file = drawer_mesh_file_name())) {
      OleCheck(_selection->LoadFile(TBStr(drawer_file).get()));
      int32_t count = 0;
      OleCheck(selected_entities(_selection.get())->GetCount(&count));
      if (count == 1) entity = item(selected_entities(_selection.get()).get(), 0);
    }
    if (!entity) OleCheck(_project->CreateEntity(ENTITY_KIND_BOX, entity.put()));

    OleCheck(entity->SetParent(parent));
    if (TRef<IMaterialEntity> material = query_interface<IMaterialEntity>(entity.get()))
      apply_material(material.get(), part->model_key());
    set_entity_name(entity.get(), part->description(), part->model_key());

    float4x4 s = float4x4::identity();
    if (auto* box = dynamic_cast<CBXF_box_geometry*>(part->geometry())) {
      const float3 e = box->extent() / 1000.0;
      OleCheck(size_of(entity.get())->SetX(std::fabs(e.x)));
      OleCheck(size_of(entity.get())->SetY(std::fabs(e.y)));
      OleCheck(size_of(entity.get())->SetZ(std::fabs(e.z)));
      OleCheck(position_of(entity.get())->SetX(0));
      OleCheck(position_of(entity.get())->SetY(0));
      OleCheck(position_of(entity.get())->SetZ(0));
      // A negative extent spans from the extent to 0.
      s.translate(std::min(e.x, 0.0), std::min(e.y, 0.0), std::min(e.z, 0.0));
    } else {
      // A prism is recognised and not built; a geometry of another type, or
      // none, leaves the part without one.
      const char* geometry = dynamic_cast<CBXF_prism_geometry*>(part->geometry()) ? "prism" : "no";
      log_line(fmt::format("{}: part \"{}\" ({}) has {} geometry; it keeps the host's default size",
                           extract_file_name(_file_name), part->id(), part->model_key(), geometry));
    }
    s = link_matrix(*link, s);
    apply_placement(entity.get(), float4x4::multiply(s, m));
  }
}

void CMebBuilder::apply_material(IMaterialEntity* entity, const std::string& model_key) {
  TMaterialData data;
  TRef<IPropertySet> properties;
  OleCheck(entity->GetProperties(properties.put()));
  if (!_materials->try_get_value(model_key, data)) {
    set_property(properties.get(), ".material.default.id", model_key);
    return;
  }
  set_property(properties.get(), ".material.default.id", data.id);
  set_property(properties.get(), ".material.default.diffuse.red", color_text(data.color.r));
  set_property(properties.get(), ".material.default.diffuse.green", color_text(data.color.g));
  set_property(properties.get(), ".material.default.diffuse.blue", color_text(data.color.b));
  if (data.rotate) {
    TRef<IEntity> as_entity = cast<IEntity>(entity);
    TRef<ISceneNode> node = cast<ISceneNode>(as_entity.get());
    TRef<IMeshNode> mesh = cast<IMeshNode>(node.get());
    TTextureTransform t = decompose_texture_matrix(mesh->GetTextureMatrix());
    t.angle = quarter_turn;
    mesh->SetTextureMatrix(compose_texture_matrix(t));
  }
  set_locks(entity, data.lock_x, data.lock_y, data.lock_z);
}

// ---------------------------------------------------------------------------
// Components and articles
// ---------------------------------------------------------------------------

namespace {

// Whether `stem` can name a file in the mesh folder and nothing else: no
// path separator of either kind, no "..", no drive or stream colon, no
// control character.
bool names_a_file(std::string_view stem) {
  if (stem.find_first_of("/\\:") != std::string_view::npos || stem.find("..") != std::string_view::npos) return false;
  for (char c : stem)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  return true;
}

}  // namespace

void CMebBuilder::build_component_links(CBXF_component_links* links, IEntity* parent, const float4x4& m) {
  TRef<IEntity> components = new_group(parent, "");
  OleCheck(components->SetAssemblyFlag(VARIANT_TRUE));
  const float4x4 f = axis_turn();
  const std::string file = extract_file_name(_file_name);
  for (CBXF_component_link* link : *links) {
    CBXF_component* component = target_of(link, "component", _file_name);
    const std::string stem = article_of(component, _file_name)->article_number() + "_" + component->component_number();
    if (!names_a_file(stem)) {
      log_line(fmt::format("{}: component mesh name \"{}\" is not a file name; component \"{}\" skipped", file, stem,
                           component->id()));
      continue;
    }
    const std::string path = include_trailing_delimiter(mesh_folder) + stem + ".meb";
    if (!file_exists(path)) {
      log_line(
          fmt::format("{}: component mesh \"{}\" not found; component \"{}\" skipped", file, path, component->id()));
      continue;
    }

    // The sizes the cuts give, in link order. Other machinings (drillings,
    // grooves: the reader keeps none of them) and cuts whose ratio is not
    // finite size nothing.
    std::vector<float3> cuts;
    for (CBXF_machining_link* machining_link : *component->machining_links()) {
      const CBXF_cut_machining* cut = machining_link->cut();
      if (!cut) {
        log_line(fmt::format("{}: machining \"{}\" of component \"{}\" is not a cut; skipped", file,
                             machining_link->reference_id(), component->id()));
        continue;
      }
      const float3 v = cut->orientation() * (cut->final_size() / cut->original_size());
      if (is_not_finite(v)) {
        log_line(fmt::format("{}: cut \"{}\" of component \"{}\" gives no finite size (original size {}); skipped",
                             file, cut->id(), component->id(), cut->original_size()));
        continue;
      }
      cuts.push_back(v);
    }

    OleCheck(_selection->LoadFile(TBStr(path).get()));
    // A file that holds no objects (a source with cameras or lights only)
    // gives nothing to place: no empty group is made for it.
    int32_t loaded = 0;
    OleCheck(selected_entities(_selection.get())->GetCount(&loaded));
    if (loaded == 0) {
      log_line(fmt::format("{}: component mesh \"{}\" holds no objects; component \"{}\" skipped", file, path,
                           component->id()));
      continue;
    }

    // Dissolve nested groups until a full pass finds none.
    for (;;) {
      bool found_group = false;
      for_each_entity(selected_entities(_selection.get()).get(), [&](IEntity* entity) {
        found_group = supports<IGroupEntity>(entity);
        return !found_group;
      });
      if (!found_group) break;
      OleCheck(_selection->Ungroup());
    }

    // The link's transformations act after the axis turn, the parent's after them.
    const float4x4 w = float4x4::multiply(float4x4::multiply(f, link_matrix(*link)), m);
    for_each_entity(selected_entities(_selection.get()).get(), [&](IEntity* entity) {
      TRef<ISceneNode> node = cast<ISceneNode>(entity);
      cast<IMeshNode>(node.get())->SetMatrix(float4x4::identity());
      for (const float3& v : cuts) apply_cut(entity, v);
      apply_placement(entity, w);
      lock_dimensions(entity);
      return true;
    });

    OleCheck(_selection->Group());
    TRef<IEntity> group = item(selected_entities(_selection.get()).get(), 0);
    OleCheck(group->SetParent(components.get()));
    set_entity_name(group.get(), stem, "");
  }
}

void CMebBuilder::apply_cut(IEntity* entity, const float3& v) {
  if (!is_zero(v.x)) {
    OleCheck(size_of(entity)->SetX(std::fabs(v.x)));
    OleCheck(position_of(entity)->SetX(v.x));
  }
  if (!is_zero(v.y)) {
    OleCheck(size_of(entity)->SetY(v.y));
    OleCheck(position_of(entity)->SetY(0));
  }
  if (!is_zero(v.z)) {
    OleCheck(size_of(entity)->SetZ(v.z));
    OleCheck(position_of(entity)->SetZ(0));
  }
}

void CMebBuilder::build_article_links(CBXF_article_links* links, IEntity* parent) {
  TRef<IEntity> articles = new_group(parent, articles_group_name);
  OleCheck(articles->SetAssemblyFlag(VARIANT_TRUE));
  for (CBXF_article_link* link : *links) {
    CBXF_article* article = target_of(link, "article", _file_name);
    for (int32_t i = 0; i < link->quantity(); ++i) {
      TRef<IEntity> entity;
      OleCheck(_project->CreateArticle(entity.put()));
      OleCheck(entity->SetParent(articles.get()));
      set_entity_name(entity.get(), article->article_number(), "");
      OleCheck(entity->SetArticleFlag(VARIANT_TRUE));
    }
  }
}

// ---------------------------------------------------------------------------
// Steps shared by the walk
// ---------------------------------------------------------------------------

TRef<IEntity> CMebBuilder::new_group(IEntity* parent, const std::string& name) {
  TRef<IEntity> group;
  OleCheck(_project->CreateGroup(group.put()));
  OleCheck(group->SetParent(parent));
  OleCheck(group->SetName(TBStr(name).get()));
  return group;
}

void CMebBuilder::set_entity_name(IEntity* entity, const std::string& text, const std::string& detail) {
  std::string name = text.empty() ? detail : detail.empty() ? text : text + " (" + detail + ")";
  OleCheck(entity->SetName(TBStr(name).get()));
}

namespace {

void place_node(ISceneNode* node, const float4x4& w) {
  if (TRef<IMeshNode> mesh = query_interface<IMeshNode>(node)) {
    mesh->SetMatrix(float4x4::multiply(mesh->GetMatrix(), w));
    mesh->Update();
    return;
  }
  for (TRef<IIterator<TRef<ISceneNode>>> it = node->GetChildNodes(); it->moveNext();)
    place_node(it->get_current().get(), w);
}

}  // namespace

void CMebBuilder::apply_placement(IEntity* entity, const float4x4& w) { place_node(cast<ISceneNode>(entity).get(), w); }

void CMebBuilder::lock_dimensions(IEntity* entity) {
  set_locks(entity, true, true, true);
  if (TRef<IGroupEntity> group = query_interface<IGroupEntity>(entity)) {
    TRef<IEntityList> children;
    OleCheck(group->GetChildren(children.put()));
    for_each_entity(children.get(), [&](IEntity* child) {
      lock_dimensions(child);
      return true;
    });
  }
}

void CMebBuilder::center_on_placement_area(IEntity* root) {
  TRef<IProject> project;
  OleCheck(_application->GetProject(project.put()));
  const float3 p = cast<IProjectContent>(project.get())->GetPlacementArea()->GetCenter();
  double size = 0;
  OleCheck(size_of(root)->GetX(&size));
  OleCheck(position_of(root)->SetX(p.x - size / 2));
  OleCheck(size_of(root)->GetY(&size));
  OleCheck(position_of(root)->SetY(p.y - size / 2));
  OleCheck(size_of(root)->GetZ(&size));
  OleCheck(position_of(root)->SetZ(p.z - size / 2));
}
