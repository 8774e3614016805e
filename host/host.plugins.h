// The reference host's plug-in list and module loader.
//
// A plug-in is a module file exporting `create_object` (see hapi.nplugins).
// Loading opens the module with local symbol binding, creates the plug-in
// object and, when it answers INPlugin_init, calls `initialize` with the host
// application. Shutting down calls `done` on every plug-in that answers
// INPlugin_done (the last loaded first), then releases the objects and
// unloads the modules, again the last loaded first. The list answers
// IPluginList; its entries answer IPluginEntry.
#pragma once

#include <string>
#include <vector>

#include "TVR_TLB.h"
#include "host.calls.h"
#include "uInterfacedObjects.h"

BXF_DECLARE_EXCEPTION(EPluginLoad, Exception);  // a plug-in module that does not load

class CPluginEntry : public TImplements<CSafeInterfacedObject, IPluginEntry> {
 public:
  static CPluginEntry* create(std::string path, void* module, TRef<IUnknown> instance);

  const std::string& path() const { return _path; }
  IUnknown* instance() const { return _instance.get(); }

  HRESULT GetInstance(IUnknown** instance) override;

 protected:
  CPluginEntry(std::string path, void* module, TRef<IUnknown> instance)
      : _path(std::move(path)), _module(module), _instance(std::move(instance)) {}

 private:
  friend class CPluginList;
  std::string _path;
  void* _module;
  TRef<IUnknown> _instance;
};

class CMainWindow;

class CPluginList : public TImplements<CSafeInterfacedObject, IPluginList> {
 public:
  // `window` (may be null) is the pump whose handlers a plug-in that fails to
  // start leaves behind; they are dropped before its module unloads.
  static CPluginList* create(CMainWindow* window = nullptr);

  // Loads the module at `path`, creates its plug-in object and initialises
  // it with `application`. Raises EPluginLoad with the reason ("<path>: ...")
  // when the module does not open, lacks `create_object`, gives no object or
  // raises in `initialize`; the module is unloaded again then.
  void load(const std::string& path, IApplication* application);
  // Loads every file of `folder` whose name ends in `extension`, in name
  // order; returns the reasons of the modules that did not load.
  std::vector<std::string> load_folder(const std::string& folder, IApplication* application,
                                       const std::string& extension = ".plg");
  // Calls `done` on every plug-in, last loaded first. Failures are returned as texts.
  std::vector<std::string> finish();
  // Releases every plug-in object and unloads its module, last loaded first.
  void unload();

  const std::vector<TRef<CPluginEntry>>& entries() const { return _entries; }

  HRESULT GetItem(int32_t index, IPluginEntry** entry) override;
  HRESULT GetCount(int32_t* count) override;

  std::string class_name() const override { return "CPluginList"; }

 protected:
  explicit CPluginList(CMainWindow* window) : _window(window) {}
  ~CPluginList() override;

 private:
  CMainWindow* _window;
  std::vector<TRef<CPluginEntry>> _entries;
};
