// The entities of the reference host's project: boxes, groups, articles and
// mesh objects, with the live objects handed out for them (position and size
// vectors, dimension locks, property sets) and entity lists.
//
// One class, `CEntity`, serves every kind; what it answers to QueryInterface
// depends on the kind:
//
// | kind    | IEntity | IMaterialEntity | IGroupEntity | ISceneNode | IMeshNode |
// |---------|---------|-----------------|--------------|------------|-----------|
// | box     | yes     | yes             |              | yes        | yes       |
// | mesh    | yes     | yes             |              | yes        | yes       |
// | group   | yes     |                 | yes          | yes        |           |
// | article | yes     |                 |              |            |           |
//
// Entities form a tree: every entity of a project is a member of a group or
// of the project's hidden root group (the top level). A group holds a counted
// reference to each member; a member knows its group. Members are kept in a
// doubly linked list, so moving an entity costs the same whatever the size of
// the group. An entity taken out of the project (a dissolved group) stays
// alive while referenced but no longer belongs to the project; calls that
// need the project then answer E_UNEXPECTED.
//
// Position and size are those of the host's contract: for a box (and an
// article) the corner and extent in its own frame, for a mesh object the
// bounding box of its vertices in its own frame, for a group the box of its
// members' world bounds. Lengths are metres.
//
// Every number an entity keeps is finite: each setter of a position, a size,
// a matrix or a mesh's vertices refuses a value that is NaN or infinite, or
// that would make one, with EOleSysError (E_INVALIDARG), and the entity stays
// as it was. Through the COM interfaces a vector's setter answers
// E_INVALIDARG and a matrix setter (a plain call) raises it.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "TVR_TLB.h"
#include "host.calls.h"
#include "math.vector.h"
#include "uInterfacedObjects.h"

class CProject;

enum class TEntityKind { box, group, article, mesh };

// "box", "group", "article", "mesh".
const char* entity_kind_name(TEntityKind kind);

// An axis-aligned box; `empty` until a point is added.
struct TBounds {
  float3 min;
  float3 max;
  bool empty = true;

  void add(const float3& p);
  void add(const TBounds& b);
  float3 extent() const { return empty ? float3() : float3(max.x - min.x, max.y - min.y, max.z - min.z); }
};

// A mesh object's vertices and triangles (3 indices each) in its own frame,
// with the box of its vertices. Never changed once made: mesh objects loaded
// from one file share it, and one that changes its vertices gets a changed
// copy of its own.
struct TMeshGeometry {
  std::vector<float3> vertices;
  std::vector<uint32_t> indices;
  TBounds bounds;
};
using TSharedGeometry = std::shared_ptr<const TMeshGeometry>;

// A geometry of `vertices` and `indices`; refuses a vertex that is not
// finite with EOleSysError (E_INVALIDARG).
TSharedGeometry make_geometry(std::vector<float3> vertices, std::vector<uint32_t> indices);

class CEntity : public TImplements<CSafeInterfacedObject, IMaterialEntity, IGroupEntity, IMeshNode> {
 public:
  // A new entity of `kind` that belongs to `project` but is in no group yet.
  static CEntity* create(CProject* project, TEntityKind kind);
  // The host entity behind an interface pointer, or null when `object` is
  // not one of ours.
  static CEntity* from(IUnknown* object);

  // IUnknown: answers by kind (see the table above).
  HRESULT QueryInterface(const TGUID& iid, void** obj) override;

  // -- host side -----------------------------------------------------------

  TEntityKind kind() const { return _kind; }
  bool is_group() const { return _kind == TEntityKind::group; }
  bool has_matrix() const { return _kind == TEntityKind::box || _kind == TEntityKind::mesh; }
  CProject* project() const { return _project; }

  const std::string& name() const { return _name; }
  void set_name(std::string name) { _name = std::move(name); }
  bool assembly() const { return _assembly; }
  void set_assembly(bool value) { _assembly = value; }
  bool article() const { return _article; }
  void set_article(bool value) { _article = value; }
  const std::array<bool, 3>& locks() const { return _locks; }
  void set_lock(int axis, bool value) { _locks[axis] = value; }
  const std::map<std::string, std::string>& properties() const { return _properties; }
  void set_property(const std::string& name, std::string value) { _properties[name] = std::move(value); }
  // The value of a property, or "" when it is not set.
  std::string property(const std::string& name) const;

  // The matrix setters and set_geometry refuse non-finite numbers (above).
  const float4x4& matrix() const { return _matrix; }
  void set_matrix(const float4x4& m);
  const float4x4& texture_matrix() const { return _texture_matrix; }
  void set_texture_matrix(const float4x4& m);
  // A mesh object's geometry in its own frame; 3 indices per triangle.
  const std::vector<float3>& vertices() const;
  const std::vector<uint32_t>& indices() const;
  const TSharedGeometry& geometry() const { return _geometry; }
  void set_geometry(std::vector<float3> vertices, std::vector<uint32_t> indices);
  // Shares `geometry` (made by make_geometry, so finite) with other objects.
  void set_geometry(TSharedGeometry geometry);
  // The number of IMeshNode.Update calls.
  int update_count() const { return _updates; }

  // The group the entity is a member of: null at the top level and outside the project.
  CEntity* parent() const;
  // The group it is linked into, the hidden root included.
  CEntity* container() const { return _parent; }
  bool removed() const { return _removed; }
  // Members in member order (groups only).
  std::vector<CEntity*> members() const;
  int32_t member_count() const { return _member_count; }
  CEntity* first_member() const { return _first; }
  CEntity* next_sibling() const { return _next; }
  // True when `this` is `other` or one of the groups above it.
  bool contains(const CEntity* other) const;

  // Links `member` into this group before `before` (at the end when null),
  // taking it out of the group it was in.
  void insert_member(CEntity* member, CEntity* before = nullptr);
  // Takes the entity out of its group (it stays alive while referenced).
  void unlink();
  // Unlinks the entity and marks it as no longer belonging to the project.
  void remove_from_project();
  // Forgets the project (when the project goes away), for the whole subtree.
  void detach_project();

  float3 position() const;
  float3 size() const;
  // Sets one coordinate (0 = x, 1 = y, 2 = z) of the position or the size
  // with the meanings of the host's contract; refuses non-finite numbers
  // (above).
  void set_position(int axis, double value);
  void set_size(int axis, double value);
  // World bounds: a leaf's geometry through its matrix, a group's members'.
  // Kept until something below changes them: each entity whose bounds are
  // known has its members' known too, so a change forgets them from the
  // changed entity up to the first group that had forgotten already.
  const TBounds& world_bounds() const;
  // Moves the entity by `delta` in world coordinates (groups: every member);
  // refuses non-finite numbers (above).
  void move_world(int axis, double delta);
  // Stretches the entity along one world axis about `origin` by `factor`;
  // refuses non-finite numbers (above).
  void stretch_world(int axis, double origin, double factor);

  // -- IEntity -------------------------------------------------------------

  HRESULT GetName(BSTR* name) override;
  HRESULT GetProperties(IPropertySet** properties) override;
  HRESULT SetName(BSTR name) override;
  HRESULT SetArticleFlag(VARIANT_BOOL value) override;
  HRESULT SetParent(IEntity* group) override;
  HRESULT GetPosition(IVector3D** position) override;
  HRESULT GetSize(IVector3D** size) override;
  HRESULT SetAssemblyFlag(VARIANT_BOOL value) override;
  HRESULT GetDimensionLocks(IDimensionLocks** locks) override;

  // -- IGroupEntity --------------------------------------------------------

  HRESULT GetChildren(IEntityList** children) override;

  // -- ISceneNode, IMeshNode -----------------------------------------------

  TRef<IIterator<TRef<ISceneNode>>> GetChildNodes() override;
  void Update() override;
  float4x4 GetTextureMatrix() override;
  float4x4 GetMatrix() override;
  void SetTextureMatrix(const float4x4& matrix) override;
  void SetMatrix(const float4x4& matrix) override;

  std::string class_name() const override { return "CEntity"; }

 protected:
  CEntity(CProject* project, TEntityKind kind);
  ~CEntity() override;

 private:
  TBounds local_bounds() const;
  // Forgets the world bounds of this entity and of the groups above it.
  void forget_bounds();
  // Takes `m` as the matrix, forgetting what it changes.
  void take_matrix(const float4x4& m);
  // A mesh object's world bounds, from its turned bounds.
  TBounds mesh_world_bounds() const;
  // Applies `change` to the matrix of the entity and of every leaf below it,
  // all or none: refused when one of the results is not finite.
  template <class F>
  void change_leaf_matrices(F&& change);
  // Replaces a mesh object's vertices by `change` of each, all or none.
  template <class F>
  void change_vertices(F&& change);

  TEntityKind _kind;
  CProject* _project;
  bool _removed = false;

  std::string _name;
  bool _assembly = false;
  bool _article = false;
  std::array<bool, 3> _locks = {false, false, false};
  std::map<std::string, std::string> _properties;

  // Boxes and articles: corner and extent. Mesh objects: geometry.
  float3 _corner;
  float3 _extent;
  TSharedGeometry _geometry;
  mutable TBounds _world_bounds;
  mutable bool _world_bounds_known = false;
  // Mesh objects: the vertices through the matrix without its translation,
  // kept while the geometry and the rest of the matrix stay the same, so
  // that a moved object's bounds come without visiting its vertices again.
  mutable TBounds _turned_bounds;
  mutable bool _turned_bounds_known = false;
  float4x4 _matrix = float4x4::identity();
  float4x4 _texture_matrix = float4x4::identity();
  int _updates = 0;

  // Tree links. A group holds one counted reference per member.
  CEntity* _parent = nullptr;
  CEntity* _prev = nullptr;
  CEntity* _next = nullptr;
  CEntity* _first = nullptr;
  CEntity* _last = nullptr;
  int32_t _member_count = 0;
};

// A fixed list of entities (a snapshot taken when it is handed out).
class CEntityList : public TImplements<CSafeInterfacedObject, IEntityList> {
 public:
  static CEntityList* create(std::vector<TRef<CEntity>> entities);

  const std::vector<TRef<CEntity>>& entities() const { return _entities; }

  HRESULT GetItem(int32_t index, IEntity** entity) override;
  HRESULT GetCount(int32_t* count) override;
  HRESULT GetEnumerator(IEntityEnumerator** enumerator) override;

 protected:
  explicit CEntityList(std::vector<TRef<CEntity>> entities) : _entities(std::move(entities)) {}

 private:
  std::vector<TRef<CEntity>> _entities;
};

class CEntityEnumerator : public TImplements<CSafeInterfacedObject, IEntityEnumerator> {
 public:
  static CEntityEnumerator* create(CEntityList* list);

  HRESULT GetCurrent(IEntity** entity) override;
  HRESULT MoveNext(VARIANT_BOOL* more) override;

 protected:
  explicit CEntityEnumerator(CEntityList* list) : _list(list) {}

 private:
  TRef<CEntityList> _list;
  int32_t _current = -1;
};

// The live position or size of an entity.
class CVector3D : public TImplements<CSafeInterfacedObject, IVector3D> {
 public:
  enum TWhich { position, size };
  static CVector3D* create(CEntity* entity, TWhich which);

  HRESULT GetX(double* value) override;
  HRESULT SetX(double value) override;
  HRESULT GetY(double* value) override;
  HRESULT SetY(double value) override;
  HRESULT GetZ(double* value) override;
  HRESULT SetZ(double value) override;

 protected:
  CVector3D(CEntity* entity, TWhich which) : _entity(entity), _which(which) {}

 private:
  HRESULT get(const char* operation, int axis, double* value);
  HRESULT set(const char* operation, int axis, double value);

  TRef<CEntity> _entity;
  TWhich _which;
};

class CDimensionLocks : public TImplements<CSafeInterfacedObject, IDimensionLocks> {
 public:
  static CDimensionLocks* create(CEntity* entity);

  HRESULT SetLockX(VARIANT_BOOL locked) override;
  HRESULT SetLockY(VARIANT_BOOL locked) override;
  HRESULT SetLockZ(VARIANT_BOOL locked) override;

 protected:
  explicit CDimensionLocks(CEntity* entity) : _entity(entity) {}

 private:
  TRef<CEntity> _entity;
};

class CPropertySet : public TImplements<CSafeInterfacedObject, IPropertySet> {
 public:
  static CPropertySet* create(CEntity* entity);

  // An empty name is refused with E_INVALIDARG.
  HRESULT SetValue(BSTR name, BSTR value) override;

 protected:
  explicit CPropertySet(CEntity* entity) : _entity(entity) {}

 private:
  TRef<CEntity> _entity;
};
