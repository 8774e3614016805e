#include "host.entities.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "host.project.h"

namespace {

// The private identifier under which an entity answers its own address.
constexpr TGUID IID_host_entity = TGUID::parse("{0E1C5D38-4B8A-4C61-9E0B-6F3A2D7C9B15}");

double& component(float3& v, int axis) { return v.items(axis); }
double component(const float3& v, int axis) { return v.items(axis); }

// Raised for a number that would leave an entity with a NaN or an infinity.
[[noreturn]] void refuse_non_finite() { throw EOleSysError(E_INVALIDARG); }

void check_finite(double x) {
  if (is_not_finite(x)) refuse_non_finite();
}

void check_finite(const float4x4& m) {
  if (is_not_finite(m)) refuse_non_finite();
}

}  // namespace

const char* entity_kind_name(TEntityKind kind) {
  switch (kind) {
    case TEntityKind::box: return "box";
    case TEntityKind::group: return "group";
    case TEntityKind::article: return "article";
    case TEntityKind::mesh: return "mesh";
  }
  return "";
}

// ---------------------------------------------------------------------------
// Bounds
// ---------------------------------------------------------------------------

void TBounds::add(const float3& p) {
  if (empty) {
    min = max = p;
    empty = false;
    return;
  }
  min = float3(std::min(min.x, p.x), std::min(min.y, p.y), std::min(min.z, p.z));
  max = float3(std::max(max.x, p.x), std::max(max.y, p.y), std::max(max.z, p.z));
}

void TBounds::add(const TBounds& b) {
  if (b.empty) return;
  add(b.min);
  add(b.max);
}

// ---------------------------------------------------------------------------
// CEntity: construction and identity
// ---------------------------------------------------------------------------

CEntity* CEntity::create(CProject* project, TEntityKind kind) { return construct(new CEntity(project, kind)); }

CEntity::CEntity(CProject* project, TEntityKind kind) : _kind(kind), _project(project) {
  if (kind == TEntityKind::box) _extent = float3(1, 1, 1);
}

CEntity::~CEntity() {
  // Members lose their group; the references the group held go with it.
  while (_first) _first->unlink();
}

CEntity* CEntity::from(IUnknown* object) {
  if (!object) return nullptr;
  void* self = nullptr;
  if (failed(object->QueryInterface(IID_host_entity, &self)) || !self) return nullptr;
  CEntity* entity = static_cast<CEntity*>(self);
  entity->release();
  return entity;
}

HRESULT CEntity::QueryInterface(const TGUID& iid, void** obj) {
  if (!obj) return E_POINTER;
  *obj = nullptr;
  const bool leaf = has_matrix();
  const bool scene = leaf || is_group();
  if (iid == IID_host_entity)
    *obj = this;
  else if (iid == IUnknown::IID)
    *obj = static_cast<IUnknown*>(static_cast<IMaterialEntity*>(this));
  else if (iid == IEntity::IID)
    *obj = static_cast<IEntity*>(static_cast<IMaterialEntity*>(this));
  else if (iid == IMaterialEntity::IID && leaf)
    *obj = static_cast<IMaterialEntity*>(this);
  else if (iid == IGroupEntity::IID && is_group())
    *obj = static_cast<IGroupEntity*>(this);
  else if (iid == ISceneNode::IID && scene)
    *obj = static_cast<ISceneNode*>(static_cast<IMeshNode*>(this));
  else if (iid == IMeshNode::IID && leaf)
    *obj = static_cast<IMeshNode*>(this);
  else
    return E_NOINTERFACE;
  add_ref();
  return S_OK;
}

std::string CEntity::property(const std::string& name) const {
  auto it = _properties.find(name);
  return it == _properties.end() ? std::string() : it->second;
}

void CEntity::set_matrix(const float4x4& m) {
  check_finite(m);
  take_matrix(m);
}

void CEntity::take_matrix(const float4x4& m) {
  // Bit for bit: a zero that changes its sign can change a bound's sign.
  for (int i : {0, 1, 2, 4, 5, 6, 8, 9, 10})
    if (std::bit_cast<uint64_t>(m.m[i]) != std::bit_cast<uint64_t>(_matrix.m[i])) _turned_bounds_known = false;
  _matrix = m;
  forget_bounds();
}

void CEntity::set_texture_matrix(const float4x4& m) {
  check_finite(m);
  _texture_matrix = m;
}

TSharedGeometry make_geometry(std::vector<float3> vertices, std::vector<uint32_t> indices) {
  auto geometry = std::make_shared<TMeshGeometry>();
  for (const float3& v : vertices) {
    if (is_not_finite(v)) refuse_non_finite();
    geometry->bounds.add(v);
  }
  geometry->vertices = std::move(vertices);
  geometry->indices = std::move(indices);
  return geometry;
}

namespace {
const std::vector<float3> no_vertices;
const std::vector<uint32_t> no_indices;
}  // namespace

const std::vector<float3>& CEntity::vertices() const { return _geometry ? _geometry->vertices : no_vertices; }
const std::vector<uint32_t>& CEntity::indices() const { return _geometry ? _geometry->indices : no_indices; }

void CEntity::set_geometry(std::vector<float3> vertices, std::vector<uint32_t> indices) {
  set_geometry(make_geometry(std::move(vertices), std::move(indices)));
}

void CEntity::set_geometry(TSharedGeometry geometry) {
  _geometry = std::move(geometry);
  _turned_bounds_known = false;
  forget_bounds();
}

// ---------------------------------------------------------------------------
// CEntity: tree
// ---------------------------------------------------------------------------

CEntity* CEntity::parent() const {
  if (!_parent || !_project || _parent == _project->root()) return nullptr;
  return _parent;
}

std::vector<CEntity*> CEntity::members() const {
  std::vector<CEntity*> result;
  result.reserve(size_t(_member_count));
  for (CEntity* m = _first; m; m = m->_next) result.push_back(m);
  return result;
}

bool CEntity::contains(const CEntity* other) const {
  for (const CEntity* e = other; e; e = e->_parent)
    if (e == this) return true;
  return false;
}

void CEntity::insert_member(CEntity* member, CEntity* before) {
  ASSERT(member && member != this && (!before || before->_parent == this));
  add_ref();  // keeps this group alive while `member` leaves its old group
  member->add_ref();
  member->unlink();
  member->_parent = this;
  member->_next = before;
  member->_prev = before ? before->_prev : _last;
  if (member->_prev)
    member->_prev->_next = member;
  else
    _first = member;
  if (before)
    before->_prev = member;
  else
    _last = member;
  ++_member_count;
  forget_bounds();
  release();
}

void CEntity::unlink() {
  CEntity* group = _parent;
  if (!group) return;
  if (_prev)
    _prev->_next = _next;
  else
    group->_first = _next;
  if (_next)
    _next->_prev = _prev;
  else
    group->_last = _prev;
  _prev = _next = _parent = nullptr;
  --group->_member_count;
  group->forget_bounds();
  release();  // the group's reference
}

void CEntity::remove_from_project() {
  add_ref();
  unlink();
  _removed = true;
  _project = nullptr;
  release();
}

void CEntity::detach_project() {
  _project = nullptr;
  for (CEntity* m = _first; m; m = m->_next) m->detach_project();
}

// ---------------------------------------------------------------------------
// CEntity: geometry
// ---------------------------------------------------------------------------

TBounds CEntity::local_bounds() const {
  TBounds b;
  if (_kind == TEntityKind::mesh) {
    if (_geometry) b = _geometry->bounds;
  } else {
    b.add(_corner);
    b.add(float3(_corner.x + _extent.x, _corner.y + _extent.y, _corner.z + _extent.z));
  }
  return b;
}

void CEntity::forget_bounds() {
  for (CEntity* e = this; e && e->_world_bounds_known; e = e->_parent) e->_world_bounds_known = false;
}

const TBounds& CEntity::world_bounds() const {
  if (_world_bounds_known) return _world_bounds;
  TBounds b;
  switch (_kind) {
    case TEntityKind::article: break;
    case TEntityKind::group:
      for (CEntity* m = _first; m; m = m->_next) b.add(m->world_bounds());
      break;
    case TEntityKind::mesh: b = mesh_world_bounds(); break;
    case TEntityKind::box:
      for (int i = 0; i < 8; ++i) {
        float3 p(_corner.x + (i & 1 ? _extent.x : 0), _corner.y + (i & 2 ? _extent.y : 0),
                 _corner.z + (i & 4 ? _extent.z : 0));
        b.add(_matrix.transform_point(p));
      }
      break;
  }
  _world_bounds = b;
  _world_bounds_known = true;
  return _world_bounds;
}

// Each coordinate of a point through the matrix is the turned part
// (m[0] x + m[1] y + m[2] z, summed in that order, as transform_point sums)
// plus the translation, added last. Adding a number is monotonic in
// floating point, so the least and greatest of the sums plus the
// translation are exactly the least and greatest of the points through the
// matrix: the same bounds, without visiting the vertices after a move.
TBounds CEntity::mesh_world_bounds() const {
  const double* m = _matrix.m;
  if (!_turned_bounds_known) {
    TBounds turned;
    for (const float3& v : vertices())
      turned.add(float3(m[0] * v.x + m[1] * v.y + m[2] * v.z, m[4] * v.x + m[5] * v.y + m[6] * v.z,
                        m[8] * v.x + m[9] * v.y + m[10] * v.z));
    _turned_bounds = turned;
    _turned_bounds_known = true;
  }
  TBounds b;
  if (_turned_bounds.empty) return b;
  b.min = float3(_turned_bounds.min.x + m[3], _turned_bounds.min.y + m[7], _turned_bounds.min.z + m[11]);
  b.max = float3(_turned_bounds.max.x + m[3], _turned_bounds.max.y + m[7], _turned_bounds.max.z + m[11]);
  b.empty = false;
  return b;
}

float3 CEntity::position() const {
  switch (_kind) {
    case TEntityKind::box:
    case TEntityKind::article: return _corner;
    case TEntityKind::mesh: {
      TBounds b = local_bounds();
      return b.empty ? float3() : b.min;
    }
    case TEntityKind::group: {
      const TBounds& b = world_bounds();
      return b.empty ? float3() : b.min;
    }
  }
  return {};
}

float3 CEntity::size() const {
  switch (_kind) {
    case TEntityKind::box:
    case TEntityKind::article: return _extent;
    case TEntityKind::mesh: return local_bounds().extent();
    case TEntityKind::group: return world_bounds().extent();
  }
  return {};
}

template <class F>
void CEntity::change_leaf_matrices(F&& change) {
  // Visits every entity below, in tree order, without a list of them:
  // `leaf` for each one with a matrix, `done` for each group once all of
  // its members have been visited.
  const auto walk = [this](auto&& leaf, auto&& done) {
    for (CEntity* e = this; e;) {
      if (e->has_matrix()) leaf(e);
      if (e->_first) {
        e = e->_first;
        continue;
      }
      for (;;) {
        if (e->is_group()) done(e);
        if (e == this) {
          e = nullptr;
          break;
        }
        if (e->_next) {
          e = e->_next;
          break;
        }
        e = e->_parent;
      }
    }
  };
  // All or none: every result is checked before the first is taken.
  walk(
      [&](CEntity* e) {
        float4x4 changed = e->_matrix;
        change(changed);
        check_finite(changed);
      },
      [](CEntity*) {});
  // The bounds are measured again on the way, each group after its members,
  // so that the next question about them visits nothing.
  walk(
      [&](CEntity* e) {
        float4x4 changed = e->_matrix;
        change(changed);
        e->take_matrix(changed);
        (void)e->world_bounds();
      },
      [](CEntity* group) { (void)group->world_bounds(); });
}

template <class F>
void CEntity::change_vertices(F&& change) {
  std::vector<float3> changed = vertices();
  for (float3& v : changed) change(v);
  set_geometry(make_geometry(std::move(changed), indices()));
}

void CEntity::set_position(int axis, double value) {
  check_finite(value);
  switch (_kind) {
    case TEntityKind::box:
    case TEntityKind::article:
      component(_corner, axis) = value;
      forget_bounds();
      break;
    case TEntityKind::mesh: {
      TBounds b = local_bounds();
      if (b.empty) break;
      double delta = value - component(b.min, axis);
      change_vertices([&](float3& v) { component(v, axis) += delta; });
      break;
    }
    case TEntityKind::group: {
      TBounds b = world_bounds();
      if (b.empty) break;
      move_world(axis, value - component(b.min, axis));
      break;
    }
  }
}

void CEntity::set_size(int axis, double value) {
  check_finite(value);
  switch (_kind) {
    case TEntityKind::box:
    case TEntityKind::article:
      component(_extent, axis) = value;
      forget_bounds();
      break;
    case TEntityKind::mesh: {
      // Stretches the vertices about the corner; a flat extent cannot be stretched.
      TBounds b = local_bounds();
      double old = component(b.extent(), axis);
      if (b.empty || old == 0) break;
      double origin = component(b.min, axis), factor = value / old;
      check_finite(factor);
      change_vertices([&](float3& v) { component(v, axis) = origin + (component(v, axis) - origin) * factor; });
      break;
    }
    case TEntityKind::group: {
      TBounds b = world_bounds();
      double old = component(b.extent(), axis);
      if (b.empty || old == 0) break;
      stretch_world(axis, component(b.min, axis), value / old);
      break;
    }
  }
}

void CEntity::move_world(int axis, double delta) {
  check_finite(delta);
  double d[3] = {0, 0, 0};
  d[axis] = delta;
  change_leaf_matrices([&](float4x4& m) { m.translate(d[0], d[1], d[2]); });
}

void CEntity::stretch_world(int axis, double origin, double factor) {
  check_finite(origin);
  check_finite(factor);
  double d[3] = {0, 0, 0}, s[3] = {1, 1, 1};
  d[axis] = origin;
  s[axis] = factor;
  change_leaf_matrices(
      [&](float4x4& m) { m.translate(-d[0], -d[1], -d[2]).scale(s[0], s[1], s[2]).translate(d[0], d[1], d[2]); });
}

// ---------------------------------------------------------------------------
// CEntity: IEntity
// ---------------------------------------------------------------------------

HRESULT CEntity::GetName(BSTR* name) {
  return host_call("IEntity.GetName", [&] {
    if (!name) return E_POINTER;
    *name = utf8_to_bstr(_name);
    return S_OK;
  });
}

HRESULT CEntity::GetProperties(IPropertySet** properties) {
  return host_call("IEntity.GetProperties", [&] { return put_interface(properties, CPropertySet::create(this)); });
}

HRESULT CEntity::SetName(BSTR name) {
  return host_call("IEntity.SetName", [&] {
    _name = bstr_to_utf8(name);
    return S_OK;
  });
}

HRESULT CEntity::SetArticleFlag(VARIANT_BOOL value) {
  return host_call("IEntity.SetArticleFlag", [&] {
    _article = from_variant_bool(value);
    return S_OK;
  });
}

HRESULT CEntity::SetParent(IEntity* group) {
  return host_call("IEntity.SetParent", [&] {
    if (!_project) return E_UNEXPECTED;
    CEntity* target = _project->root();
    if (group) {
      target = from(group);
      // Only groups of the same project take members, and never the entity
      // itself or a group inside it.
      if (!target || !target->is_group() || target->_project != _project) return E_INVALIDARG;
    }
    if (contains(target)) return E_INVALIDARG;
    if (_parent != target) target->insert_member(this);
    return S_OK;
  });
}

HRESULT CEntity::GetPosition(IVector3D** position) {
  return host_call("IEntity.GetPosition",
                   [&] { return put_interface(position, CVector3D::create(this, CVector3D::position)); });
}

HRESULT CEntity::GetSize(IVector3D** size) {
  return host_call("IEntity.GetSize", [&] { return put_interface(size, CVector3D::create(this, CVector3D::size)); });
}

HRESULT CEntity::SetAssemblyFlag(VARIANT_BOOL value) {
  return host_call("IEntity.SetAssemblyFlag", [&] {
    _assembly = from_variant_bool(value);
    return S_OK;
  });
}

HRESULT CEntity::GetDimensionLocks(IDimensionLocks** locks) {
  return host_call("IEntity.GetDimensionLocks", [&] { return put_interface(locks, CDimensionLocks::create(this)); });
}

HRESULT CEntity::GetChildren(IEntityList** children) {
  return host_call("IGroupEntity.GetChildren", [&] {
    std::vector<TRef<CEntity>> list;
    list.reserve(size_t(_member_count));
    for (CEntity* m = _first; m; m = m->_next) list.emplace_back(m);
    return put_interface(children, CEntityList::create(std::move(list)));
  });
}

// ---------------------------------------------------------------------------
// CEntity: ISceneNode, IMeshNode
// ---------------------------------------------------------------------------

TRef<IIterator<TRef<ISceneNode>>> CEntity::GetChildNodes() {
  host_plain_call("ISceneNode.GetChildNodes");
  TRef<CList<TRef<ISceneNode>>> nodes = CList<TRef<ISceneNode>>::create();
  for (CEntity* m = _first; m; m = m->_next)
    if (m->_kind != TEntityKind::article) nodes->add(TRef<ISceneNode>(static_cast<IMeshNode*>(m)));
  return nodes->getEnumerator();
}

void CEntity::Update() {
  host_plain_call("IMeshNode.Update");
  ++_updates;
}

float4x4 CEntity::GetTextureMatrix() {
  host_plain_call("IMeshNode.GetTextureMatrix");
  return _texture_matrix;
}

float4x4 CEntity::GetMatrix() {
  host_plain_call("IMeshNode.GetMatrix");
  return _matrix;
}

void CEntity::SetTextureMatrix(const float4x4& matrix) {
  host_plain_call("IMeshNode.SetTextureMatrix");
  set_texture_matrix(matrix);
}

void CEntity::SetMatrix(const float4x4& matrix) {
  host_plain_call("IMeshNode.SetMatrix");
  set_matrix(matrix);
}

// ---------------------------------------------------------------------------
// Entity lists
// ---------------------------------------------------------------------------

CEntityList* CEntityList::create(std::vector<TRef<CEntity>> entities) {
  return construct(new CEntityList(std::move(entities)));
}

HRESULT CEntityList::GetItem(int32_t index, IEntity** entity) {
  return host_call("IEntityList.GetItem", [&] {
    if (!entity) return E_POINTER;
    *entity = nullptr;
    if (index < 0 || size_t(index) >= _entities.size()) return E_INVALIDARG;
    return put_interface(entity, static_cast<IMaterialEntity*>(_entities[size_t(index)].get()));
  });
}

HRESULT CEntityList::GetCount(int32_t* count) {
  return host_call("IEntityList.GetCount", [&] {
    if (!count) return E_POINTER;
    *count = int32_t(_entities.size());
    return S_OK;
  });
}

HRESULT CEntityList::GetEnumerator(IEntityEnumerator** enumerator) {
  return host_call("IEntityList.GetEnumerator",
                   [&] { return put_interface(enumerator, CEntityEnumerator::create(this)); });
}

CEntityEnumerator* CEntityEnumerator::create(CEntityList* list) { return construct(new CEntityEnumerator(list)); }

HRESULT CEntityEnumerator::GetCurrent(IEntity** entity) {
  return host_call("IEntityEnumerator.GetCurrent", [&] {
    if (!entity) return E_POINTER;
    *entity = nullptr;
    const auto& list = _list->entities();
    if (_current < 0 || size_t(_current) >= list.size()) return E_INVALIDARG;
    return put_interface(entity, static_cast<IMaterialEntity*>(list[size_t(_current)].get()));
  });
}

HRESULT CEntityEnumerator::MoveNext(VARIANT_BOOL* more) {
  return host_call("IEntityEnumerator.MoveNext", [&] {
    if (!more) return E_POINTER;
    const auto count = int32_t(_list->entities().size());
    if (_current < count) ++_current;
    *more = to_variant_bool(_current < count);
    return S_OK;
  });
}

// ---------------------------------------------------------------------------
// Vectors, locks, properties
// ---------------------------------------------------------------------------

CVector3D* CVector3D::create(CEntity* entity, TWhich which) { return construct(new CVector3D(entity, which)); }

HRESULT CVector3D::get(const char* operation, int axis, double* value) {
  return host_call(operation, [&] {
    if (!value) return E_POINTER;
    *value = (_which == position ? _entity->position() : _entity->size()).items(axis);
    return S_OK;
  });
}

HRESULT CVector3D::set(const char* operation, int axis, double value) {
  return host_call(operation, [&] {
    if (_which == position)
      _entity->set_position(axis, value);
    else
      _entity->set_size(axis, value);
    return S_OK;
  });
}

HRESULT CVector3D::GetX(double* value) { return get("IVector3D.GetX", 0, value); }
HRESULT CVector3D::SetX(double value) { return set("IVector3D.SetX", 0, value); }
HRESULT CVector3D::GetY(double* value) { return get("IVector3D.GetY", 1, value); }
HRESULT CVector3D::SetY(double value) { return set("IVector3D.SetY", 1, value); }
HRESULT CVector3D::GetZ(double* value) { return get("IVector3D.GetZ", 2, value); }
HRESULT CVector3D::SetZ(double value) { return set("IVector3D.SetZ", 2, value); }

CDimensionLocks* CDimensionLocks::create(CEntity* entity) { return construct(new CDimensionLocks(entity)); }

HRESULT CDimensionLocks::SetLockX(VARIANT_BOOL locked) {
  return host_call("IDimensionLocks.SetLockX", [&] {
    _entity->set_lock(0, from_variant_bool(locked));
    return S_OK;
  });
}

HRESULT CDimensionLocks::SetLockY(VARIANT_BOOL locked) {
  return host_call("IDimensionLocks.SetLockY", [&] {
    _entity->set_lock(1, from_variant_bool(locked));
    return S_OK;
  });
}

HRESULT CDimensionLocks::SetLockZ(VARIANT_BOOL locked) {
  return host_call("IDimensionLocks.SetLockZ", [&] {
    _entity->set_lock(2, from_variant_bool(locked));
    return S_OK;
  });
}

CPropertySet* CPropertySet::create(CEntity* entity) { return construct(new CPropertySet(entity)); }

HRESULT CPropertySet::SetValue(BSTR name, BSTR value) {
  return host_call("IPropertySet.SetValue", [&] {
    std::string key = bstr_to_utf8(name);
    if (key.empty()) return E_INVALIDARG;
    _entity->set_property(key, bstr_to_utf8(value));
    return S_OK;
  });
}
