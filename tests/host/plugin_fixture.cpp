// A small plug-in module for the host's loading tests. It logs each step of
// its life (create, initialize, execute, done, destroy, unload) to the file
// named by HOST_TEST_PLUGIN_LOG, and its command calls into every host
// interface through the protocol, as a real plug-in does.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "TVR_TLB.h"
#include "hapi.hooks.h"
#include "hapi.nplugins.h"
#include "hapi.plugins.h"
#include "uConversion_INTF.h"
#include "uInterfacedObjects.h"

namespace {

void log(const std::string& line) {
  const char* path = std::getenv("HOST_TEST_PLUGIN_LOG");
  if (!path) return;
  if (FILE* f = std::fopen(path, "a")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

// The number as text.
std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// Logs the unloading of the module.
struct TUnloadLogger {
  ~TUnloadLogger() { log("unload"); }
} unload_logger;

class CHandler : public TImplements<CSafeInterfacedObject, IMessageHandler> {
 public:
  static CHandler* create() { return construct(new CHandler()); }
  void handle_message(TMsg& msg, bool& handled) override {
    log("message " + number(msg.message));
    if (msg.message == 0x0102u) handled = true;  // a character message
  }
};

class CFixturePlugin
    : public TImplements<CSafeInterfacedObject, INPlugin, INPlugin_init, INPlugin_done, IImportPlugin> {
 public:
  static CFixturePlugin* create() { return construct(new CFixturePlugin()); }

  void initialize(IApplication* application) override {
    log("initialize");
    _application = application;
    TRef<IMainWindow> window;
    OleCheck(_application->GetMainWindow(window.put()));
    if (auto pump = window.query<IMessagePump>()) {
      _handler = CHandler::create();
      pump->add_handler(_handler.get());
    }
    if (std::getenv("HOST_TEST_PLUGIN_FAIL_INIT")) throw Exception("refused to start");
  }

  void done() override {
    log("done");
    TRef<IMainWindow> window;
    OleCheck(_application->GetMainWindow(window.put()));
    if (auto pump = window.query<IMessagePump>()) pump->remove_handler(_handler.get());
    _handler.reset();
    _application.reset();
  }

  HRESULT name(BSTR* value) override {
    *value = utf8_to_bstr("test.plugin");
    return S_OK;
  }
  HRESULT caption(BSTR* value) override {
    *value = utf8_to_bstr("Test...");
    return S_OK;
  }
  HRESULT execute(intptr_t) override {
    try {
      run();
      log("execute ok");
      return S_OK;
    } catch (const std::exception& e) {
      log(std::string("execute failed: ") + e.what());
      return E_UNEXPECTED;
    }
  }

 protected:
  CFixturePlugin() { log("create"); }
  ~CFixturePlugin() override { log("destroy"); }

 private:
  void run() {
    TRef<IProject> project;
    TRef<ISelection> selection;
    OleCheck(_application->GetProject(project.put()));
    OleCheck(project->GetSelection(selection.put()));

    // Entities.
    TRef<IEntity> group, box, article;
    OleCheck(project->CreateGroup(group.put()));
    OleCheck(group->SetName(TBStr("fixture").get()));
    OleCheck(group->SetAssemblyFlag(VARIANT_TRUE));
    OleCheck(project->CreateEntity(ENTITY_KIND_BOX, box.put()));
    OleCheck(box->SetParent(group.get()));
    OleCheck(box->SetName(TBStr("board").get()));
    TRef<IPropertySet> properties;
    OleCheck(box->GetProperties(properties.put()));
    OleCheck(properties->SetValue(TBStr(".material.default.id").get(), TBStr("OAK").get()));
    TRef<IVector3D> size, position;
    OleCheck(box->GetSize(size.put()));
    OleCheck(size->SetX(0.6));
    OleCheck(size->SetY(0.019));
    OleCheck(size->SetZ(0.7));
    OleCheck(box->GetPosition(position.put()));
    OleCheck(position->SetX(0));
    OleCheck(position->SetY(0));
    OleCheck(position->SetZ(0));
    double x = 0, y = 0, z = 0;
    OleCheck(size->GetX(&x));
    OleCheck(size->GetY(&y));
    OleCheck(size->GetZ(&z));
    if (x != 0.6 || y != 0.019 || z != 0.7) throw Exception("size does not read back");
    OleCheck(position->GetX(&x));
    OleCheck(position->GetY(&y));
    OleCheck(position->GetZ(&z));
    TRef<IDimensionLocks> locks;
    OleCheck(box->GetDimensionLocks(locks.put()));
    OleCheck(locks->SetLockX(VARIANT_TRUE));
    OleCheck(locks->SetLockY(VARIANT_FALSE));
    OleCheck(locks->SetLockZ(VARIANT_TRUE));
    if (!box.query<IMaterialEntity>()) throw Exception("a box takes no material");
    OleCheck(project->CreateArticle(article.put()));
    OleCheck(article->SetParent(group.get()));
    OleCheck(article->SetName(TBStr("4711").get()));
    OleCheck(article->SetArticleFlag(VARIANT_TRUE));

    // Members and scene nodes.
    TRef<IEntityList> children;
    OleCheck(group.query<IGroupEntity>()->GetChildren(children.put()));
    int32_t count = 0;
    OleCheck(children->GetCount(&count));
    TRef<IEntity> item;
    OleCheck(children->GetItem(0, item.put()));
    if (count != 2 || item.get() != box.get()) throw Exception("wrong members");
    TRef<IEntityEnumerator> members;
    OleCheck(children->GetEnumerator(members.put()));
    VARIANT_BOOL more = 0;
    int walked = 0;
    while (OleCheck(members->MoveNext(&more)), more) {
      OleCheck(members->GetCurrent(item.put()));
      TBStr name;
      OleCheck(item->GetName(name.put()));
      ++walked;
    }
    if (walked != 2) throw Exception("wrong enumeration");
    for (auto nodes = group.query<ISceneNode>()->GetChildNodes(); nodes->moveNext();) {
      TRef<IMeshNode> node = nodes->get_current().query<IMeshNode>();
      if (!node) continue;
      node->SetMatrix(float4x4::multiply(node->GetMatrix(), float4x4::identity().translate(1, 2, 0)));
      node->SetTextureMatrix(node->GetTextureMatrix().rotate_z(0.5));
      node->Update();
    }

    // Project content.
    TRef<IProjectContent> content = project.query<IProjectContent>();
    int objects = 0;
    for (auto it = content->GetObjects()->getEnumerator(); it->moveNext();)
      if (it->get_current().query<IEntity>()) ++objects;
    log("objects " + number(objects));
    float3 center = content->GetPlacementArea()->GetCenter();
    log("center " + number(center.x));

    // Selection.
    OleCheck(selection->Clear());
    OleCheck(selection->Add(group.get()));
    OleCheck(selection->Group());
    TRef<IEntityList> selected;
    OleCheck(selection->GetEntities(selected.put()));
    TRef<IEntity> outer;
    OleCheck(selected->GetItem(0, outer.put()));
    OleCheck(outer->SetName(TBStr("outer").get()));
    OleCheck(selection->Ungroup());
    if (selection->LoadFile(TBStr("/nonexistent/file.meb").get()) != E_FAIL) throw Exception("LoadFile succeeded");
    OleCheck(selection->Clear());

    // Main window, progress, pump.
    TRef<IMainWindow> window;
    OleCheck(_application->GetMainWindow(window.put()));
    int32_t handle = 0, icon = 0;
    TBStr font;
    OleCheck(window->GetHandle(&handle));
    OleCheck(window->GetIcon(&icon));
    OleCheck(window->GetFontName(font.put()));
    log("font " + font.utf8());
    TRef<IProgress> progress = window.query<IProgress>();
    if (!progress) throw Exception("no progress");
    progress->SetMax(1);
    progress->SetPosition(progress->GetPosition() + 1);
    progress->SetText(TBStr("Working (fixture)").get());
    log(progress->Proceed() ? "proceed" : "stop");

    // Plug-ins and services.
    TRef<IPluginList> plugins;
    OleCheck(_application->GetPlugins(plugins.put()));
    OleCheck(plugins->GetCount(&count));
    bool found = false;
    for (int32_t i = 0; i < count; ++i) {
      TRef<IPluginEntry> entry;
      TRef<IUnknown> instance;
      OleCheck(plugins->GetItem(i, entry.put()));
      OleCheck(entry->GetInstance(instance.put()));
      if (instance.query<IImportPlugin>().get() == static_cast<IImportPlugin*>(this)) found = true;
    }
    if (!found) throw Exception("not in the plug-in list");
    if (auto services = TRef<IApplication>(_application).query<IPluginServices>()) {
      services->GetEventDispatcher();
      services->GetWindowSync();
      log("services");
    }
    if (auto settings = TRef<IApplication>(_application).query<IConversionSettings>())
      log(settings->GetFormatSettings() ? "conversion settings" : "no format settings");
    int32_t result = 0;
    OleCheck(_application->MessageBox(TBStr("fixture ran").get(), MB_ICONERROR, &result));
  }

  TRef<IApplication> _application;
  TRef<IMessageHandler> _handler;
};

}  // namespace

PLUGIN_EXPORT IUnknown** create_object(IUnknown** obj) { return create_plugin_object<CFixturePlugin>(obj); }
