#include "host.project.h"

#include <sys/stat.h>

#include <cstdio>
#include <unordered_set>

#include <fmt/format.h>

#include "host.meb.h"
#include "platform.files.h"
#include "sysutils.h"

// ---------------------------------------------------------------------------
// CProject
// ---------------------------------------------------------------------------

CProject* CProject::create() { return construct(new CProject()); }

CProject::CProject() {
  _root = CEntity::create(this, TEntityKind::group);
  _selection = CSelection::create(this);
}

CProject::~CProject() {
  _selection->detach_project();
  _selection->clear();
  _root->detach_project();
}

void CProject::add_error(std::string text) { _errors.push_back(std::move(text)); }

namespace {

template <class F>
void walk_depth_first(CEntity* group, F&& visit) {
  for (CEntity* m = group->first_member(); m; m = m->next_sibling()) {
    visit(m);
    if (m->is_group()) walk_depth_first(m, visit);
  }
}

}  // namespace

std::vector<CEntity*> CProject::objects() const {
  std::vector<CEntity*> result;
  walk_depth_first(_root.get(), [&](CEntity* e) { result.push_back(e); });
  return result;
}

void CProject::add_objects(int64_t n) {
  if (n > _max_objects - _object_count) throw EOleSysError(E_OUTOFMEMORY);
  _object_count += n;
}

CEntity* CProject::new_entity(TEntityKind kind) {
  add_objects(1);
  CEntity* entity = CEntity::create(this, kind);
  _root->insert_member(entity);
  return entity;
}

HRESULT CProject::GetSelection(ISelection** selection) {
  return host_call("IProject.GetSelection", [&] { return put_interface(selection, _selection.get()); });
}

HRESULT CProject::create_entity(const char* operation, TEntityKind kind, IEntity** entity) {
  return host_call(operation, [&] {
    if (!entity) return E_POINTER;
    return put_interface(entity, static_cast<IMaterialEntity*>(new_entity(kind)));
  });
}

HRESULT CProject::CreateEntity(int32_t kind, IEntity** entity) {
  if (kind != ENTITY_KIND_BOX) {
    return host_call("IProject.CreateEntity", [&] {
      if (entity) *entity = nullptr;
      return E_INVALIDARG;
    });
  }
  return create_entity("IProject.CreateEntity", TEntityKind::box, entity);
}

HRESULT CProject::CreateGroup(IEntity** group) {
  return create_entity("IProject.CreateGroup", TEntityKind::group, group);
}

HRESULT CProject::CreateArticle(IEntity** article) {
  return create_entity("IProject.CreateArticle", TEntityKind::article, article);
}

TRef<IIterable<TRef<IUnknown>>> CProject::GetObjects() {
  host_plain_call("IProjectContent.GetObjects");
  TRef<CList<TRef<IUnknown>>> list = CList<TRef<IUnknown>>::create();
  walk_depth_first(_root.get(), [&](CEntity* e) { list->add(TRef<IUnknown>(static_cast<IMaterialEntity*>(e))); });
  return TRef<IIterable<TRef<IUnknown>>>(list.get());
}

TRef<IPlacementArea> CProject::GetPlacementArea() {
  host_plain_call("IProjectContent.GetPlacementArea");
  return CPlacementArea::create(this);
}

CPlacementArea* CPlacementArea::create(CProject* project) { return construct(new CPlacementArea(project)); }

float3 CPlacementArea::GetCenter() {
  host_plain_call("IPlacementArea.GetCenter");
  return _project->placement_center();
}

// ---------------------------------------------------------------------------
// CSelection
// ---------------------------------------------------------------------------

CSelection* CSelection::create(CProject* project) { return construct(new CSelection(project)); }

void CSelection::detach_project() { _project = nullptr; }

std::vector<CEntity*> CSelection::entities() const {
  std::vector<CEntity*> result;
  result.reserve(_entities.size());
  for (const auto& e : _entities) result.push_back(e.get());
  return result;
}

bool CSelection::add(CEntity* entity) {
  ASSERT(entity && _project && entity->project() == _project);
  for (const auto& e : _entities)
    if (e.get() == entity) return false;
  _entities.emplace_back(entity);
  return true;
}

CEntity* CSelection::group() {
  ASSERT(_project);
  CEntity* root = _project->root();
  CEntity* target = _entities.empty() ? root : _entities.front()->container();
  for (const auto& e : _entities)
    if (e->contains(target)) return nullptr;
  _project->add_objects(1);
  CEntity* group = CEntity::create(_project, TEntityKind::group);
  target->insert_member(group, _entities.empty() ? nullptr : _entities.front().get());
  for (const auto& e : _entities) group->insert_member(e.get());
  _entities.clear();
  _entities.emplace_back(group);
  return group;
}

void CSelection::ungroup() {
  ASSERT(_project);
  std::vector<TRef<CEntity>> selected = std::move(_entities);
  _entities.clear();
  std::unordered_set<CEntity*> seen;
  auto keep = [&](CEntity* e) {
    if (seen.insert(e).second) _entities.emplace_back(e);
  };
  for (const auto& e : selected) {
    if (!e->is_group() || e->removed()) {
      if (!e->removed()) keep(e.get());
      continue;
    }
    CEntity* group = e.get();
    CEntity* target = group->container();
    for (CEntity* member : group->members()) {
      target->insert_member(member, group);
      keep(member);
    }
    group->remove_from_project();
    _project->remove_objects(1);
  }
  // A selected group that was a member of one dissolved before it joined the
  // selection as a member; it is gone now.
  std::erase_if(_entities, [](const TRef<CEntity>& e) { return e->removed(); });
}

// A mesh file read and checked, as the objects made from it need it: each
// node's world matrix and, for meshes, the geometry they share.
struct CSelection::TLoadedFile {
  struct TNode {
    std::string name;
    float4x4 world;
    TSharedGeometry geometry;  // null for a group
    std::vector<TNode> children;
  };
  std::vector<TNode> objects;
  int64_t count = 0;  // of all nodes
  // The file when it was read.
  uint64_t device = 0, inode = 0, size = 0;
  int64_t modified_ns = 0;
};

namespace {

using TLoadedNode = CSelection::TLoadedFile::TNode;

// `node` with its world matrix (`outer` acting after its own) and its
// geometry checked; raises Exception for indices the reader let through and
// EOleSysError (E_INVALIDARG) for a number that is not finite.
TLoadedNode prepare(const TMebNode& node, const float4x4& outer) {
  TLoadedNode out;
  out.name = node.name;
  float4x4 own;
  for (int i = 0; i < 16; ++i) own.m[i] = node.matrix[size_t(i)];
  out.world = float4x4::multiply(own, outer);
  if (node.is_group) {
    out.children.reserve(node.children.size());
    for (const TMebNode& child : node.children) out.children.push_back(prepare(child, out.world));
    return out;
  }
  std::vector<float3> vertices;
  vertices.reserve(node.vertices.size());
  for (const TMebVertex& v : node.vertices) vertices.emplace_back(v.x, v.y, v.z);
  if (node.indices.size() % 3 != 0)
    throw Exception(
        fmt::format("mesh \"{}\": the index count {} is not a multiple of 3", node.name, node.indices.size()));
  for (uint32_t i : node.indices)
    if (i >= vertices.size()) throw Exception(fmt::format("mesh \"{}\": vertex index {} out of range", node.name, i));
  out.geometry = make_geometry(std::move(vertices), node.indices);
  if (is_not_finite(out.world)) throw EOleSysError(E_INVALIDARG);
  return out;
}

int64_t count_nodes(const std::vector<TMebNode>& nodes) {
  int64_t n = int64_t(nodes.size());
  for (const TMebNode& node : nodes) n += count_nodes(node.children);
  return n;
}

}  // namespace

std::shared_ptr<const CSelection::TLoadedFile> CSelection::loaded_file(const std::string& path) {
  struct stat info {};
  const bool found = ::stat(path.c_str(), &info) == 0;
  const int64_t modified_ns = int64_t(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
  if (found) {
    auto it = _loaded_files.find(path);
    if (it != _loaded_files.end()) {
      const TLoadedFile& f = *it->second;
      if (f.device == uint64_t(info.st_dev) && f.inode == uint64_t(info.st_ino) && f.size == uint64_t(info.st_size) &&
          f.modified_ns == modified_ns)
        return it->second;
    }
  }
  _loaded_files.erase(path);
  TMebFile file = read_meb(path);
  auto loaded = std::make_shared<TLoadedFile>();
  loaded->count = count_nodes(file.objects);
  // Checked before the nodes, as a file whose objects would not fit is
  // refused whatever else is wrong with it.
  if (loaded->count > _project->max_objects() - _project->object_count()) throw EOleSysError(E_OUTOFMEMORY);
  loaded->objects.reserve(file.objects.size());
  for (const TMebNode& node : file.objects) loaded->objects.push_back(prepare(node, float4x4::identity()));
  if (found) {
    loaded->device = uint64_t(info.st_dev);
    loaded->inode = uint64_t(info.st_ino);
    loaded->size = uint64_t(info.st_size);
    loaded->modified_ns = modified_ns;
    _loaded_files[path] = loaded;
  }
  return loaded;
}

void CSelection::load_file(const std::string& path) {
  ASSERT(_project);
  const std::shared_ptr<const TLoadedFile> file = loaded_file(path);
  if (file->count > _project->max_objects() - _project->object_count()) throw EOleSysError(E_OUTOFMEMORY);
  // Every object is built before any joins the project, so a file refused
  // half-way changes nothing.
  std::vector<TRef<CEntity>> built;
  built.reserve(file->objects.size());
  auto build = [&](auto& self, const TLoadedNode& node) -> TRef<CEntity> {
    if (!node.geometry) {
      TRef<CEntity> group = CEntity::create(_project, TEntityKind::group);
      group->set_name(node.name);
      for (const TLoadedNode& child : node.children) {
        TRef<CEntity> member = self(self, child);
        group->insert_member(member.get());
      }
      return group;
    }
    TRef<CEntity> mesh = CEntity::create(_project, TEntityKind::mesh);
    mesh->set_name(node.name);
    mesh->set_geometry(node.geometry);
    mesh->set_matrix(node.world);
    return mesh;
  };
  for (const TLoadedNode& node : file->objects) built.push_back(build(build, node));
  _project->add_objects(file->count);
  _entities.clear();
  for (const auto& e : built) {
    _project->root()->insert_member(e.get());
    _entities.push_back(e);
  }
}

HRESULT CSelection::Clear() {
  return host_call("ISelection.Clear", [&] {
    _entities.clear();
    return S_OK;
  });
}

HRESULT CSelection::Add(IEntity* entity) {
  return host_call("ISelection.Add", [&] {
    if (!_project) return E_UNEXPECTED;
    if (!entity) return E_POINTER;
    CEntity* e = CEntity::from(entity);
    if (!e || e->project() != _project) return E_INVALIDARG;
    add(e);
    return S_OK;
  });
}

HRESULT CSelection::Group() {
  return host_call("ISelection.Group", [&] {
    if (!_project) return E_UNEXPECTED;
    return group() ? S_OK : E_INVALIDARG;
  });
}

HRESULT CSelection::Ungroup() {
  return host_call("ISelection.Ungroup", [&] {
    if (!_project) return E_UNEXPECTED;
    ungroup();
    return S_OK;
  });
}

HRESULT CSelection::LoadFile(BSTR path) {
  return host_call("ISelection.LoadFile", [&] {
    if (!_project) return E_UNEXPECTED;
    // Found as the desktop's file system finds it: in any letter case.
    std::string file = resolve_path(bstr_to_utf8(path));
    try {
      load_file(file);
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const EOleSysError&) {
      throw;
    } catch (const std::exception& e) {
      std::string text = fmt::format("LoadFile: {}", e.what());
      std::fprintf(stderr, "%s\n", printable_text(text).c_str());
      _project->add_error(std::move(text));
      return E_FAIL;
    }
    return S_OK;
  });
}

HRESULT CSelection::GetEntities(IEntityList** entities) {
  return host_call("ISelection.GetEntities", [&] { return put_interface(entities, CEntityList::create(_entities)); });
}
