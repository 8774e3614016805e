// The reference host's project: its entities (a tree under a hidden root
// group whose members are the top-level entities), its selection and its
// placement area.
//
// The project answers IProject (creating entities, the selection) and
// IProjectContent (all entities, the placement area). Every new entity joins
// the top level at the end. The selection answers ISelection with the
// grouping, dissolving and mesh-file loading that the host's contract gives.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "TVR_TLB.h"
#include "host.calls.h"
#include "host.entities.h"
#include "uInterfacedObjects.h"

class CSelection;

// The most objects a project holds unless the program says otherwise: far
// more than the largest real planning (a whole building's fitted furniture
// is some hundred thousand parts), and about 1.3 GB of memory when reached.
inline constexpr int64_t kDefaultMaxObjects = 1'000'000;

class CProject : public TImplements<CSafeInterfacedObject, IProject, IProjectContent> {
 public:
  static CProject* create();

  // -- host side -----------------------------------------------------------

  // The hidden group whose members are the top-level entities.
  CEntity* root() const { return _root.get(); }
  CSelection& selection() const { return *_selection; }
  // The top-level entities in project order.
  std::vector<CEntity*> top_level() const { return _root->members(); }
  // Every entity, depth-first, each group before its members.
  std::vector<CEntity*> objects() const;
  // A new entity of `kind` at the end of the top level. Raises EOleSysError
  // (E_OUTOFMEMORY) when the project holds its most objects already.
  CEntity* new_entity(TEntityKind kind);

  // The number of entities in the project, and the most it may hold
  // (kDefaultMaxObjects unless set). Creating entities beyond it fails with
  // E_OUTOFMEMORY, as when memory runs out; a lower limit set later only
  // stops new ones.
  int64_t object_count() const { return _object_count; }
  int64_t max_objects() const { return _max_objects; }
  void set_max_objects(int64_t value) { _max_objects = value; }
  // Counts `n` new entities; raises EOleSysError (E_OUTOFMEMORY) and counts
  // nothing when they would pass the limit.
  void add_objects(int64_t n);
  // Counts `n` entities that left the project.
  void remove_objects(int64_t n) { _object_count -= n; }

  const float3& placement_center() const { return _placement_center; }
  void set_placement_center(const float3& center) { _placement_center = center; }

  // The reasons of the calls that failed on bad input (a mesh file that does
  // not read), oldest first.
  const std::vector<std::string>& errors() const { return _errors; }
  void add_error(std::string text);

  // -- IProject ------------------------------------------------------------

  HRESULT GetSelection(ISelection** selection) override;
  // Kind 2 makes a box (corner 0, extent 1 m); other kinds are refused with E_INVALIDARG.
  HRESULT CreateEntity(int32_t kind, IEntity** entity) override;
  HRESULT CreateGroup(IEntity** group) override;
  HRESULT CreateArticle(IEntity** article) override;

  // -- IProjectContent -----------------------------------------------------

  TRef<IIterable<TRef<IUnknown>>> GetObjects() override;
  TRef<IPlacementArea> GetPlacementArea() override;

  std::string class_name() const override { return "CProject"; }

 protected:
  CProject();
  ~CProject() override;

 private:
  HRESULT create_entity(const char* operation, TEntityKind kind, IEntity** entity);

  TRef<CEntity> _root;
  TRef<CSelection> _selection;
  float3 _placement_center;
  std::vector<std::string> _errors;
  int64_t _object_count = 0;
  int64_t _max_objects = kDefaultMaxObjects;
};

class CPlacementArea : public TImplements<CSafeInterfacedObject, IPlacementArea> {
 public:
  static CPlacementArea* create(CProject* project);

  float3 GetCenter() override;

 protected:
  explicit CPlacementArea(CProject* project) : _project(project) {}

 private:
  TRef<CProject> _project;
};

class CSelection : public TImplements<CSafeInterfacedObject, ISelection> {
 public:
  static CSelection* create(CProject* project);

  // -- host side -----------------------------------------------------------

  // The selected entities in selection order.
  std::vector<CEntity*> entities() const;
  void clear() { _entities.clear(); }
  // Adds an entity of the project; false when it was selected already.
  bool add(CEntity* entity);
  // Puts the selected entities into one new group (see Group); null and
  // nothing changed when a selected entity holds the new group's parent.
  CEntity* group();
  // Dissolves the selected groups (see Ungroup).
  void ungroup();
  // Loads a mesh file (see LoadFile); raises EMebFormat with the reason when
  // it does not read, and Exception for indices the reader let through. A
  // file is read once while its size and modification time stay the same:
  // the objects made from it share its geometry.
  void load_file(const std::string& path);
  // Forgets the project (when it goes away).
  void detach_project();
  // A mesh file read and checked as load_file keeps it.
  struct TLoadedFile;

  // -- ISelection ----------------------------------------------------------

  HRESULT Clear() override;
  // Adds an entity of the project; a null entity gives E_POINTER, an entity
  // that is not in the project E_INVALIDARG. Adding a selected entity again
  // changes nothing.
  HRESULT Add(IEntity* entity) override;
  // Creates a group in the group of the first selected entity, where that
  // entity was, and moves the selected entities into it in selection order;
  // the new group becomes the only selected entity. With nothing selected the
  // new group is empty and at the top level. E_INVALIDARG when a selected
  // entity is, or holds, the group the new group would go into.
  HRESULT Group() override;
  // Dissolves each selected group, in selection order: its members move into
  // the group's own group, where the group was, the group leaves the project,
  // and its members take its place in the selection. Other selected entities
  // stay selected.
  HRESULT Ungroup() override;
  // Adds the objects of a mesh file at the end of the top level and makes
  // them the selection. A file that does not read gives E_FAIL, records the
  // reason in the project's errors and changes nothing.
  HRESULT LoadFile(BSTR path) override;
  HRESULT GetEntities(IEntityList** entities) override;

  std::string class_name() const override { return "CSelection"; }

 protected:
  explicit CSelection(CProject* project) : _project(project) {}

 private:
  // The mesh file at `path`, from the files read before when it has not
  // changed since.
  std::shared_ptr<const TLoadedFile> loaded_file(const std::string& path);

  CProject* _project;
  std::vector<TRef<CEntity>> _entities;
  std::unordered_map<std::string, std::shared_ptr<const TLoadedFile>> _loaded_files;  // by path
};
