// The host's COM interfaces as plug-ins call them, with their identifiers.
//
// The host calls and is called by method-table position, so the order of the
// virtual functions is binding: positions 0 to 2 are IUnknown's, and every
// position a plug-in does not use is declared as a reserved slot so that the
// used operations sit where the host expects them (the number after each
// declaration, and in each reserved slot's name, is its position). Reserved
// slots have their body here and answer E_NOTIMPL, so an implementation
// declares only the operations it serves; tests/tvrlib/TVR_TLB_test.cpp checks
// every operation's position.
//
// Interfaces whose comment says "COM calls" return an HRESULT and pass
// results through out parameters; the caller raises a failure code with
// OleCheck. The others are plain calls that return their value directly.
// Texts are BSTRs (the caller keeps an argument; an out parameter passes
// ownership to the caller), Booleans of COM calls are VARIANT_BOOLs, lengths
// are metres.
//
//   TRef<IProject> project;
//   OleCheck(application->GetProject(project.put()));
//   TRef<IEntity> box;
//   OleCheck(project->CreateEntity(2, box.put()));
#pragma once

#include <cstdint>

#include "math.vector.h"
#include "tvrlib.com.h"
#include "uList.h"

struct IFormatSettings;

struct IProject;
struct ISelection;
struct IEntity;
struct IEntityList;
struct IMainWindow;
struct IPluginList;

// The entity kind of a box for IProject.CreateEntity.
inline constexpr int32_t ENTITY_KIND_BOX = 2;
// The flags of an error message for IApplication.MessageBox.
inline constexpr int32_t MB_ICONERROR = 16;

// The host application: its current project, main window and plug-ins. COM calls.
struct IApplication : IUnknown {
  static constexpr TGUID IID = TGUID::parse("{62C1D0DD-F0DA-4A96-95DE-4E20B38573F5}");
  using Parent = IUnknown;
  virtual HRESULT reserved_3() { return E_NOTIMPL; }
  virtual HRESULT reserved_4() { return E_NOTIMPL; }
  virtual HRESULT reserved_5() { return E_NOTIMPL; }
  virtual HRESULT reserved_6() { return E_NOTIMPL; }
  virtual HRESULT reserved_7() { return E_NOTIMPL; }
  // Shows `text` to the user; `flags` 16 is the error icon. `result` is the button pressed.
  virtual HRESULT MessageBox(BSTR text, int32_t flags, int32_t* result) = 0;  // 8
  virtual HRESULT reserved_9() { return E_NOTIMPL; }
  virtual HRESULT reserved_10() { return E_NOTIMPL; }
  // The current project.
  virtual HRESULT GetProject(IProject** project) = 0;  // 11
  // The main window; it also answers IProgress and IMessagePump.
  virtual HRESULT GetMainWindow(IMainWindow** window) = 0;  // 12
  virtual HRESULT reserved_13() { return E_NOTIMPL; }
  virtual HRESULT reserved_14() { return E_NOTIMPL; }
  virtual HRESULT reserved_15() { return E_NOTIMPL; }
  virtual HRESULT reserved_16() { return E_NOTIMPL; }
  virtual HRESULT reserved_17() { return E_NOTIMPL; }
  // The plug-ins the host has loaded.
  virtual HRESULT GetPlugins(IPluginList** plugins) = 0;  // 18

 protected:
  ~IApplication() = default;
};

// A project: the entities and the selection. COM calls.
struct IProject : IUnknown {
  static constexpr TGUID IID = TGUID::parse("{3461F035-0069-4FE8-8F2F-AF940AD867E3}");
  using Parent = IUnknown;
  virtual HRESULT reserved_3() { return E_NOTIMPL; }
  virtual HRESULT reserved_4() { return E_NOTIMPL; }
  virtual HRESULT reserved_5() { return E_NOTIMPL; }
  virtual HRESULT reserved_6() { return E_NOTIMPL; }
  virtual HRESULT reserved_7() { return E_NOTIMPL; }
  virtual HRESULT reserved_8() { return E_NOTIMPL; }
  virtual HRESULT reserved_9() { return E_NOTIMPL; }
  virtual HRESULT reserved_10() { return E_NOTIMPL; }
  virtual HRESULT reserved_11() { return E_NOTIMPL; }
  virtual HRESULT reserved_12() { return E_NOTIMPL; }
  virtual HRESULT reserved_13() { return E_NOTIMPL; }
  virtual HRESULT reserved_14() { return E_NOTIMPL; }
  virtual HRESULT reserved_15() { return E_NOTIMPL; }
  virtual HRESULT reserved_16() { return E_NOTIMPL; }
  // The project's selection.
  virtual HRESULT GetSelection(ISelection** selection) = 0;  // 17
  virtual HRESULT reserved_18() { return E_NOTIMPL; }
  virtual HRESULT reserved_19() { return E_NOTIMPL; }
  virtual HRESULT reserved_20() { return E_NOTIMPL; }
  virtual HRESULT reserved_21() { return E_NOTIMPL; }
  virtual HRESULT reserved_22() { return E_NOTIMPL; }
  virtual HRESULT reserved_23() { return E_NOTIMPL; }
  virtual HRESULT reserved_24() { return E_NOTIMPL; }
  virtual HRESULT reserved_25() { return E_NOTIMPL; }
  virtual HRESULT reserved_26() { return E_NOTIMPL; }
  virtual HRESULT reserved_27() { return E_NOTIMPL; }
  virtual HRESULT reserved_28() { return E_NOTIMPL; }
  // A new entity at the top level; kind 2 is a box.
  virtual HRESULT CreateEntity(int32_t kind, IEntity** entity) = 0;  // 29
  // A new empty group at the top level.
  virtual HRESULT CreateGroup(IEntity** group) = 0;  // 30
  virtual HRESULT reserved_31() { return E_NOTIMPL; }
  // A new article entity at the top level.
  virtual HRESULT CreateArticle(IEntity** article) = 0;  // 32

 protected:
  ~IProject() = default;
};

// The entities selected in a project. COM calls.
struct ISelection : IUnknown {
  static constexpr TGUID IID = TGUID::parse("{B6452228-6F27-43B8-BEE2-0CAC231C4767}");
  using Parent = IUnknown;
  // Selects nothing.
  virtual HRESULT Clear() = 0;  // 3
  // Adds `entity` to the selection.
  virtual HRESULT Add(IEntity* entity) = 0;  // 4
  virtual HRESULT reserved_5() { return E_NOTIMPL; }
  // Puts the selected entities into one new group, which becomes the selection.
  virtual HRESULT Group() = 0;  // 6
  // Dissolves the selected groups; their members become selected.
  virtual HRESULT Ungroup() = 0;  // 7
  virtual HRESULT reserved_8() { return E_NOTIMPL; }
  virtual HRESULT reserved_9() { return E_NOTIMPL; }
  virtual HRESULT reserved_10() { return E_NOTIMPL; }
  // Adds the objects of a mesh file to the project and selects them.
  virtual HRESULT LoadFile(BSTR path) = 0;  // 11
  virtual HRESULT reserved_12() { return E_NOTIMPL; }
  virtual HRESULT reserved_13() { return E_NOTIMPL; }
  virtual HRESULT reserved_14() { return E_NOTIMPL; }
  // The selected entities, in selection order.
  virtual HRESULT GetEntities(IEntityList** entities) = 0;  // 15

 protected:
  ~ISelection() = default;
};

// Walks an entity list from the front: MoveNext first, then GetCurrent. COM calls.
struct IEntityEnumerator : IUnknown {
  static constexpr TGUID IID = TGUID::parse("{6C90656D-A694-472F-936F-AF01B36581F2}");
  using Parent = IUnknown;
  // The entity at the current position.
  virtual HRESULT GetCurrent(IEntity** entity) = 0;  // 3
  // Advances by one; `more` tells whether an entity is there.
  virtual HRESULT MoveNext(VARIANT_BOOL* more) = 0;  // 4

 protected:
  ~IEntityEnumerator() = default;
};

// A list of entities. COM calls.
struct IEntityList : IUnknown {
  static constexpr TGUID IID = TGUID::parse("{AAD96E75-7517-46FB-93A8-3948DEAEA377}");
  using Parent = IUnknown;
  virtual HRESULT reserved_3() { return E_NOTIMPL; }
  // The entity at `index`, counted from 0.
  virtual HRESULT GetItem(int32_t index, IEntity** entity) = 0;  // 4
  // The number of entities.
  virtual HRESULT GetCount(int32_t* count) = 0;  // 5
  // A new enumerator over the list.
  virtual HRESULT GetEnumerator(IEntityEnumerator** enumerator) = 0;  // 6

 protected:
  ~IEntityList() = default;
};

// The named text values of an entity. COM calls.
struct IPropertySet : IUnknown {
  static constexpr TGUID IID = TGUID::parse("{C41394B7-D933-495D-B6A1-3D7344CBFC9C}");
  using Parent = IUnknown;
  virtual HRESULT reserved_3() { return E_NOTIMPL; }
  virtual HRESULT reserved_4() { return E_NOTIMPL; }
  // Sets the value of `name`, adding it when new.
  virtual HRESULT SetValue(BSTR name, BSTR value) = 0;  // 5

 protected:
  ~IPropertySet() = default;
};

// A live vector of an entity (its position or its size, in metres). COM calls.
struct IVector3D : IUnknown {
  static constexpr TGUID IID = TGUID::parse("{8DE2C9ED-A8E5-486E-9B18-948310F0B8E5}");
  using Parent = IUnknown;
  virtual HRESULT GetX(double* value) = 0;  // 3
  virtual HRESULT SetX(double value) = 0;   // 4
  virtual HRESULT GetY(double* value) = 0;  // 5
  virtual HRESULT SetY(double value) = 0;   // 6
  virtual HRESULT GetZ(double* value) = 0;  // 7
  virtual HRESULT SetZ(double value) = 0;   // 8

 protected:
  ~IVector3D() = default;
};

// The three dimension locks of an entity: a set lock bars resizing along its axis. COM calls.
struct IDimensionLocks : IUnknown {
  static constexpr TGUID IID = TGUID::parse("{D8C9B0B9-0B1E-492B-81CA-6132B7A2E773}");
  using Parent = IUnknown;
  virtual HRESULT reserved_3() { return E_NOTIMPL; }
  virtual HRESULT SetLockX(VARIANT_BOOL locked) = 0;  // 4
  virtual HRESULT reserved_5() { return E_NOTIMPL; }
  virtual HRESULT SetLockY(VARIANT_BOOL locked) = 0;  // 6
  virtual HRESULT reserved_7() { return E_NOTIMPL; }
  virtual HRESULT SetLockZ(VARIANT_BOOL locked) = 0;  // 8

 protected:
  ~IDimensionLocks() = default;
};

// An object of the project: box, group, article or mesh object. COM calls.
struct IEntity : IUnknown {
  static constexpr TGUID IID = TGUID::parse("{DC7000AF-B69B-4F49-97F5-82A2070249DE}");
  using Parent = IUnknown;
  virtual HRESULT reserved_3() { return E_NOTIMPL; }
  // The name; empty when never named.
  virtual HRESULT GetName(BSTR* name) = 0;  // 4
  virtual HRESULT reserved_5() { return E_NOTIMPL; }
  virtual HRESULT reserved_6() { return E_NOTIMPL; }
  virtual HRESULT reserved_7() { return E_NOTIMPL; }
  virtual HRESULT reserved_8() { return E_NOTIMPL; }
  virtual HRESULT reserved_9() { return E_NOTIMPL; }
  virtual HRESULT reserved_10() { return E_NOTIMPL; }
  virtual HRESULT reserved_11() { return E_NOTIMPL; }
  // The entity's property set.
  virtual HRESULT GetProperties(IPropertySet** properties) = 0;  // 12
  virtual HRESULT reserved_13() { return E_NOTIMPL; }
  virtual HRESULT reserved_14() { return E_NOTIMPL; }
  virtual HRESULT reserved_15() { return E_NOTIMPL; }
  virtual HRESULT SetName(BSTR name) = 0;  // 16
  virtual HRESULT reserved_17() { return E_NOTIMPL; }
  virtual HRESULT reserved_18() { return E_NOTIMPL; }
  virtual HRESULT SetArticleFlag(VARIANT_BOOL value) = 0;  // 19
  virtual HRESULT reserved_20() { return E_NOTIMPL; }
  virtual HRESULT reserved_21() { return E_NOTIMPL; }
  virtual HRESULT reserved_22() { return E_NOTIMPL; }
  virtual HRESULT reserved_23() { return E_NOTIMPL; }
  virtual HRESULT reserved_24() { return E_NOTIMPL; }
  // Makes the entity a member of `group`.
  virtual HRESULT SetParent(IEntity* group) = 0;  // 25
  virtual HRESULT reserved_26() { return E_NOTIMPL; }
  virtual HRESULT reserved_27() { return E_NOTIMPL; }
  virtual HRESULT reserved_28() { return E_NOTIMPL; }
  virtual HRESULT reserved_29() { return E_NOTIMPL; }
  virtual HRESULT reserved_30() { return E_NOTIMPL; }
  virtual HRESULT reserved_31() { return E_NOTIMPL; }
  virtual HRESULT reserved_32() { return E_NOTIMPL; }
  // The live position vector.
  virtual HRESULT GetPosition(IVector3D** position) = 0;  // 33
  // The live size vector.
  virtual HRESULT GetSize(IVector3D** size) = 0;  // 34
  virtual HRESULT reserved_35() { return E_NOTIMPL; }
  virtual HRESULT reserved_36() { return E_NOTIMPL; }
  virtual HRESULT SetAssemblyFlag(VARIANT_BOOL value) = 0;  // 37
  // The entity's dimension locks.
  virtual HRESULT GetDimensionLocks(IDimensionLocks** locks) = 0;  // 38

 protected:
  ~IEntity() = default;
};

// An entity that takes a material (through its material properties). COM calls.
struct IMaterialEntity : IEntity {
  static constexpr TGUID IID = TGUID::parse("{EFB7C78B-CD38-474E-9373-88D515AD2B83}");
  using Parent = IEntity;

 protected:
  ~IMaterialEntity() = default;
};

// A group: an entity whose members are entities. COM calls.
struct IGroupEntity : IEntity {
  static constexpr TGUID IID = TGUID::parse("{247FE6F2-593A-4922-87EF-7C7F22687550}");
  using Parent = IEntity;
  virtual HRESULT reserved_39() { return E_NOTIMPL; }
  virtual HRESULT reserved_40() { return E_NOTIMPL; }
  // The members, in member order.
  virtual HRESULT GetChildren(IEntityList** children) = 0;  // 41

 protected:
  ~IGroupEntity() = default;
};

// A node of the project's scene graph. Plain calls.
struct ISceneNode : IUnknown {
  static constexpr TGUID IID = TGUID::parse("{8934BE05-55B2-4AC5-BAE2-6C266D184DEE}");
  using Parent = IUnknown;
  // The child nodes (a group's members that are scene nodes), in order.
  virtual TRef<IIterator<TRef<ISceneNode>>> GetChildNodes() = 0;  // 3

 protected:
  ~ISceneNode() = default;
};

// A scene node with geometry: a world matrix (row-major, applied to column vectors) and a texture matrix. Plain calls.
struct IMeshNode : ISceneNode {
  static constexpr TGUID IID = TGUID::parse("{FBA32A6F-8ACA-41C6-8AEE-F9732AE3DB02}");
  using Parent = ISceneNode;
  virtual HRESULT reserved_4() { return E_NOTIMPL; }
  virtual HRESULT reserved_5() { return E_NOTIMPL; }
  virtual HRESULT reserved_6() { return E_NOTIMPL; }
  virtual HRESULT reserved_7() { return E_NOTIMPL; }
  virtual HRESULT reserved_8() { return E_NOTIMPL; }
  virtual HRESULT reserved_9() { return E_NOTIMPL; }
  virtual HRESULT reserved_10() { return E_NOTIMPL; }
  virtual HRESULT reserved_11() { return E_NOTIMPL; }
  virtual HRESULT reserved_12() { return E_NOTIMPL; }
  virtual HRESULT reserved_13() { return E_NOTIMPL; }
  virtual HRESULT reserved_14() { return E_NOTIMPL; }
  virtual HRESULT reserved_15() { return E_NOTIMPL; }
  virtual HRESULT reserved_16() { return E_NOTIMPL; }
  virtual HRESULT reserved_17() { return E_NOTIMPL; }
  virtual HRESULT reserved_18() { return E_NOTIMPL; }
  virtual HRESULT reserved_19() { return E_NOTIMPL; }
  virtual HRESULT reserved_20() { return E_NOTIMPL; }
  virtual HRESULT reserved_21() { return E_NOTIMPL; }
  virtual HRESULT reserved_22() { return E_NOTIMPL; }
  virtual HRESULT reserved_23() { return E_NOTIMPL; }
  virtual HRESULT reserved_24() { return E_NOTIMPL; }
  virtual HRESULT reserved_25() { return E_NOTIMPL; }
  virtual HRESULT reserved_26() { return E_NOTIMPL; }
  virtual HRESULT reserved_27() { return E_NOTIMPL; }
  virtual HRESULT reserved_28() { return E_NOTIMPL; }
  virtual HRESULT reserved_29() { return E_NOTIMPL; }
  virtual HRESULT reserved_30() { return E_NOTIMPL; }
  virtual HRESULT reserved_31() { return E_NOTIMPL; }
  virtual HRESULT reserved_32() { return E_NOTIMPL; }
  virtual HRESULT reserved_33() { return E_NOTIMPL; }
  virtual HRESULT reserved_34() { return E_NOTIMPL; }
  virtual HRESULT reserved_35() { return E_NOTIMPL; }
  virtual HRESULT reserved_36() { return E_NOTIMPL; }
  // Brings the node's derived state up to date after changes.
  virtual void Update() = 0;  // 37
  virtual HRESULT reserved_38() { return E_NOTIMPL; }
  virtual HRESULT reserved_39() { return E_NOTIMPL; }
  virtual HRESULT reserved_40() { return E_NOTIMPL; }
  virtual HRESULT reserved_41() { return E_NOTIMPL; }
  virtual float4x4 GetTextureMatrix() = 0;  // 42
  virtual float4x4 GetMatrix() = 0;         // 43
  virtual HRESULT reserved_44() { return E_NOTIMPL; }
  virtual HRESULT reserved_45() { return E_NOTIMPL; }
  virtual void SetTextureMatrix(const float4x4& matrix) = 0;  // 46
  virtual void SetMatrix(const float4x4& matrix) = 0;         // 47

 protected:
  ~IMeshNode() = default;
};

// The area of the project where new objects are placed. Plain calls.
struct IPlacementArea : IUnknown {
  static constexpr TGUID IID = TGUID::parse("{B63A2954-CAF5-4169-8017-EDD3BEABA39A}");
  using Parent = IUnknown;
  virtual HRESULT reserved_3() { return E_NOTIMPL; }
  virtual HRESULT reserved_4() { return E_NOTIMPL; }
  // The centre, in metres.
  virtual float3 GetCenter() = 0;  // 5

 protected:
  ~IPlacementArea() = default;
};

// The content of a project. Plain calls.
struct IProjectContent : IUnknown {
  static constexpr TGUID IID = TGUID::parse("{52D6D2DF-79CA-4E30-9564-9DACBC3D6FF2}");
  using Parent = IUnknown;
  virtual HRESULT reserved_3() { return E_NOTIMPL; }
  virtual HRESULT reserved_4() { return E_NOTIMPL; }
  virtual HRESULT reserved_5() { return E_NOTIMPL; }
  virtual HRESULT reserved_6() { return E_NOTIMPL; }
  virtual HRESULT reserved_7() { return E_NOTIMPL; }
  virtual HRESULT reserved_8() { return E_NOTIMPL; }
  virtual HRESULT reserved_9() { return E_NOTIMPL; }
  virtual HRESULT reserved_10() { return E_NOTIMPL; }
  virtual HRESULT reserved_11() { return E_NOTIMPL; }
  virtual HRESULT reserved_12() { return E_NOTIMPL; }
  virtual HRESULT reserved_13() { return E_NOTIMPL; }
  virtual HRESULT reserved_14() { return E_NOTIMPL; }
  virtual HRESULT reserved_15() { return E_NOTIMPL; }
  virtual HRESULT reserved_16() { return E_NOTIMPL; }
  virtual HRESULT reserved_17() { return E_NOTIMPL; }
  virtual HRESULT reserved_18() { return E_NOTIMPL; }
  virtual HRESULT reserved_19() { return E_NOTIMPL; }
  virtual HRESULT reserved_20() { return E_NOTIMPL; }
  virtual HRESULT reserved_21() { return E_NOTIMPL; }
  virtual HRESULT reserved_22() { return E_NOTIMPL; }
  virtual HRESULT reserved_23() { return E_NOTIMPL; }
  virtual HRESULT reserved_24() { return E_NOTIMPL; }
  virtual HRESULT reserved_25() { return E_NOTIMPL; }
  virtual HRESULT reserved_26() { return E_NOTIMPL; }
  virtual HRESULT reserved_27() { return E_NOTIMPL; }
  virtual HRESULT reserved_28() { return E_NOTIMPL; }
  virtual HRESULT reserved_29() { return E_NOTIMPL; }
  virtual HRESULT reserved_30() { return E_NOTIMPL; }
  virtual HRESULT reserved_31() { return E_NOTIMPL; }
  virtual HRESULT reserved_32() { return E_NOTIMPL; }
  virtual HRESULT reserved_33() { return E_NOTIMPL; }
  virtual HRESULT reserved_34() { return E_NOTIMPL; }
  virtual HRESULT reserved_35() { return E_NOTIMPL; }
  virtual HRESULT reserved_36() { return E_NOTIMPL; }
  virtual HRESULT reserved_37() { return E_NOTIMPL; }
  virtual HRESULT reserved_38() { return E_NOTIMPL; }
  virtual HRESULT reserved_39() { return E_NOTIMPL; }
  // All entities of the project, depth-first, parents before members; position 3 of the result gives an iterator.
  virtual TRef<IIterable<TRef<IUnknown>>> GetObjects() = 0;  // 40
  virtual HRESULT reserved_41() { return E_NOTIMPL; }
  virtual TRef<IPlacementArea> GetPlacementArea() = 0;  // 42

 protected:
  ~IProjectContent() = default;
};

// The host's main window. COM calls.
struct IMainWindow : IUnknown {
  static constexpr TGUID IID = TGUID::parse("{183E5A66-996B-4C9B-8902-2B408211F74A}");
  using Parent = IUnknown;
  // The window handle.
  virtual HRESULT GetHandle(int32_t* handle) = 0;  // 3
  virtual HRESULT reserved_4() { return E_NOTIMPL; }
  virtual HRESULT reserved_5() { return E_NOTIMPL; }
  virtual HRESULT reserved_6() { return E_NOTIMPL; }
  // The application icon's handle.
  virtual HRESULT GetIcon(int32_t* icon) = 0;  // 7
  // The face name of the user-interface font.
  virtual HRESULT GetFontName(BSTR* name) = 0;  // 8

 protected:
  ~IMainWindow() = default;
};

// The host's progress display. Plain calls.
struct IProgress : IUnknown {
  static constexpr TGUID IID = TGUID::parse("{7C829ACC-9A3A-47E5-8D6E-77B7215378CE}");
  using Parent = IUnknown;
  virtual HRESULT reserved_3() { return E_NOTIMPL; }
  virtual int32_t GetPosition() = 0;  // 4
  virtual HRESULT reserved_5() { return E_NOTIMPL; }
  virtual void SetMax(int32_t value) = 0;       // 6
  virtual void SetPosition(int32_t value) = 0;  // 7
  // Shows one line of text for the next step; the caller keeps `text`.
  virtual void SetText(BSTR text) = 0;  // 8
  // True to go on with the announced step, false to skip it or stop.
  virtual bool Proceed() = 0;  // 9

 protected:
  ~IProgress() = default;
};

// One loaded plug-in. COM calls.
struct IPluginEntry : IUnknown {
  static constexpr TGUID IID = TGUID::parse("{87FCB61D-A7E0-4269-B37D-C5B9BBB1F028}");
  using Parent = IUnknown;
  virtual HRESULT reserved_3() { return E_NOTIMPL; }
  virtual HRESULT reserved_4() { return E_NOTIMPL; }
  // The plug-in object.
  virtual HRESULT GetInstance(IUnknown** instance) = 0;  // 5

 protected:
  ~IPluginEntry() = default;
};

// The plug-ins the host has loaded, in load order. COM calls.
struct IPluginList : IUnknown {
  static constexpr TGUID IID = TGUID::parse("{9EAFD55A-E574-4A8E-99AA-89E5BA35BD33}");
  using Parent = IUnknown;
  virtual HRESULT reserved_3() { return E_NOTIMPL; }
  // The entry at `index`, counted from 0.
  virtual HRESULT GetItem(int32_t index, IPluginEntry** entry) = 0;  // 4
  virtual HRESULT GetCount(int32_t* count) = 0;                      // 5

 protected:
  ~IPluginList() = default;
};

// The 3D-file conversion plug-in's service. Plain calls.
struct IMeshConverter : IUnknown {
  static constexpr TGUID IID = TGUID::parse("{D618BF05-D894-4D63-93B8-FC5D7FB618C1}");
  using Parent = IUnknown;
  virtual HRESULT reserved_3() { return E_NOTIMPL; }
  // Converts the 3D file `source` into the mesh file `target`; true when the target was written. The caller keeps both texts.
  virtual bool ConvertFile(BSTR source, BSTR target, double scale, uint8_t mode) = 0;  // 4

 protected:
  ~IMeshConverter() = default;
};

// Host services handed to plug-ins' shared libraries. Plain calls.
struct IPluginServices : IUnknown {
  static constexpr TGUID IID = TGUID::parse("{518DB834-9E4C-4240-A5D8-1A251FF62DDF}");
  using Parent = IUnknown;
  // The host's event dispatcher, or null.
  virtual TRef<IUnknown> GetEventDispatcher() = 0;  // 3
  // The host's window-activation service, or null.
  virtual TRef<IUnknown> GetWindowSync() = 0;  // 4

 protected:
  ~IPluginServices() = default;
};

// The host's unit and number-format settings. Plain calls.
struct IConversionSettings : IUnknown {
  static constexpr TGUID IID = TGUID::parse("{72E5C194-E983-4FCE-8A0B-357F718F8D5B}");
  using Parent = IUnknown;
  virtual HRESULT reserved_3() { return E_NOTIMPL; }
  virtual HRESULT reserved_4() { return E_NOTIMPL; }
  // The current format settings.
  virtual TRef<IFormatSettings> GetFormatSettings() = 0;  // 5

 protected:
  ~IConversionSettings() = default;
};
