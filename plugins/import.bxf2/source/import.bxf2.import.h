// The scene builder: turns one BXF2 document into objects of the host's
// current project.
//
// `import_document` creates a `CMebBuilder`, makes a root group, walks the
// scene from its nodes through cabinets, containers and function units down
// to parts, component meshes and articles, creating host groups that mirror
// that structure, centres the result on the project's placement area,
// dissolves the root group into the project and locks the dimensions of
// every object of the project.
//
// Placement: every link's transformations give its own matrix S; what
// reaches a child is W = M × S (S acts first, then the parent's M). Groups
// carry no matrix; only part entities and component meshes receive one.
// Document lengths are millimetres and reach the host divided by 1000.
//
// The builder reads the document model only and talks to the host through
// its COM interfaces; a failed host call, a failed interface cast, an
// unresolvable link and a turn about a zero axis raise and end the build.
// Objects created up to then stay in the project. A link that finds no
// target, and a component whose number no article lists, also say on the
// desktop's debug output (platform.debug) what was looked for and where in
// the file: `no part with id "kob-999", referenced at kitchen.bxf2:48:9`.
// What the builder leaves out and the build survives goes to the diagnostic
// log (import.bxf2.log): a component whose mesh file is missing, holds no
// objects or whose mesh name is no file name, a machining link that finds no
// cut, a cut that gives no finite size, a part without box geometry (prism
// geometry, or none).
//
//   mesh_folder = temp + "cadData";
//   import_document(document, application, "/home/me/kitchen.bxf2");
#pragma once

#include <string>

#include "TVR_TLB.h"
#include "import.bxf2.materials.h"
#include "import.bxf2.types.h"
#include "math.vector.h"

// The folder in which component mesh files are looked up; set by the import
// command before each build. A path delimiter is appended when it lacks one.
extern std::string mesh_folder;

// The name of the group that holds a function unit's articles.
inline constexpr const char* articles_group_name = "articles";

// Builds `document` into the current project of `application`; `file_name` is
// the path of the imported file (a container without a name is named after
// it). Raises on failure (see above); the host selection is cleared and the
// builder freed on every way out.
void import_document(CBXF* document, IApplication* application, const std::string& file_name);

// The matrix of one transformation: a turn by `rotation.w` degrees about the
// axis `rotation.xyz` through `center`, then a move by `translation`
// (lengths divided by 1000). A zero centre, angle or translation is left out.
// Raises EZeroDivide for a non-zero angle about a zero axis.
float4x4 transformation_matrix(const CBXF_transformation& transformation);

// `start` followed by the link's transformations, the first of the list
// acting first.
float4x4 link_matrix(const CBXF_transformed_link& link, const float4x4& start = float4x4::identity());

// Builds one document; made and freed by `import_document`, which clears
// the host selection when the build ends. Freeing the builder calls nothing
// of the host, so it never raises.
class CMebBuilder {
 public:
  // Asserts that `application` is given; fetches the project and its
  // selection and reads the material table. Raises when a host call fails.
  CMebBuilder(IApplication* application, const std::string& file_name);
  CMebBuilder(const CMebBuilder&) = delete;
  CMebBuilder& operator=(const CMebBuilder&) = delete;

  // Selects nothing in the host; raises when the host call fails.
  void clear_selection();

  IApplication* application() const { return _application.get(); }
  IProject* project() const { return _project.get(); }
  ISelection* selection() const { return _selection.get(); }
  IDictionary<TMaterialData>* materials() const { return _materials.get(); }
  const std::string& file_name() const { return _file_name; }

  // -- the walk --------------------------------------------------------------

  // Builds the scene nodes' cabinet links, then their container links, into `root`.
  void build_nodes(CBXF* document, IEntity* root);
  void build_cabinet_links(CBXF_cabinet_links* links, IEntity* parent, const float4x4& m);
  void build_container_links(CBXF_container_links* links, IEntity* parent, const float4x4& m);
  // A function unit's content goes into `parent`, the container's group.
  void build_function_unit_links(CBXF_function_unit_links* links, IEntity* parent, const float4x4& m);
  // One entity per part: the drawer mesh for model keys that begin with
  // "H-SK" when that file holds exactly one object, otherwise a box.
  void build_part_links(CBXF_part_links* links, IEntity* parent, const float4x4& m);
  // One named group of loaded mesh objects per component whose mesh file
  // exists, all inside an unnamed components group made for this call. The
  // file is "<article number>_<component number>.meb" in the mesh folder; a
  // name that holds a path separator ('/' or a backslash), "..", a colon or a
  // control character names no file, and the component is skipped. Each
  // machining link that finds a cut with a finite ratio sizes the meshes;
  // the others are skipped. Everything skipped is logged.
  void build_component_links(CBXF_component_links* links, IEntity* parent, const float4x4& m);
  // `quantity` article entities per link, inside a group "articles" made for this call.
  void build_article_links(CBXF_article_links* links, IEntity* parent);

  // -- the steps -------------------------------------------------------------

  // A new group in `parent` named `name` (also when empty).
  TRef<IEntity> new_group(IEntity* parent, const std::string& name);
  // Names the entity "text (detail)", "text" without detail, "detail" without text.
  void set_entity_name(IEntity* entity, const std::string& text, const std::string& detail);
  // Gives every mesh node in the entity (the entity itself, or the members of
  // a group, depth-first) the matrix W × its current matrix.
  void apply_placement(IEntity* entity, const float4x4& w);
  // Locks the three dimensions of the entity and, for a group, of everything in it.
  void lock_dimensions(IEntity* entity);
  // Moves `root` so that its size box is centred on the placement area's centre.
  void center_on_placement_area(IEntity* root);
  // Writes the material table's entry for `model_key` on the entity: id,
  // diffuse colour, texture quarter turn and locks; only the key as id when
  // the table has no such entry.
  void apply_material(IMaterialEntity* entity, const std::string& model_key);
  // Sizes and places a component mesh object from one cut (unscaled).
  void apply_cut(IEntity* entity, const float3& v);

  // The path of the drawer mesh file: "H-SK.meb" beside the plug-in's module file.
  static std::string drawer_mesh_file_name();

 private:
  TRef<IApplication> _application;
  TRef<IProject> _project;
  TRef<ISelection> _selection;
  TRef<IDictionary<TMaterialData>> _materials;
  std::string _file_name;
};
