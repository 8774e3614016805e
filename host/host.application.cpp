#include "host.application.h"

#include <cstdio>

#include "sysutils.h"
#include "uConversion_IMPL.h"

// ---------------------------------------------------------------------------
// CHostApplication
// ---------------------------------------------------------------------------

CHostApplication* CHostApplication::create() { return construct(new CHostApplication()); }

CHostApplication::CHostApplication()
    : _project(CProject::create()),
      _main_window(CMainWindow::create()),
      _plugins(CPluginList::create(_main_window.get())),
      _format_settings(get_conversion_manager()->get_default_settings()) {}

void CHostApplication::close() {
  _plugins.reset();
  _main_window.reset();
  _project.reset();
  _format_settings.reset();
}

HRESULT CHostApplication::MessageBox(BSTR text, int32_t flags, int32_t* result) {
  return host_call("IApplication.MessageBox", [&] {
    _messages.push_back({bstr_to_utf8(text), flags});
    if (_print_messages) std::fprintf(stderr, "message: %s\n", printable_text(_messages.back().text).c_str());
    if (result) *result = 1;
    return S_OK;
  });
}

HRESULT CHostApplication::GetProject(IProject** project) {
  return host_call("IApplication.GetProject", [&] {
    if (!_project) return E_UNEXPECTED;
    return put_interface(project, static_cast<IProject*>(_project.get()));
  });
}

HRESULT CHostApplication::GetMainWindow(IMainWindow** window) {
  return host_call("IApplication.GetMainWindow", [&] {
    if (!_main_window) return E_UNEXPECTED;
    return put_interface(window, static_cast<IMainWindow*>(_main_window.get()));
  });
}

HRESULT CHostApplication::GetPlugins(IPluginList** plugins) {
  return host_call("IApplication.GetPlugins", [&] {
    if (!_plugins) return E_UNEXPECTED;
    return put_interface(plugins, static_cast<IPluginList*>(_plugins.get()));
  });
}

TRef<IUnknown> CHostApplication::GetEventDispatcher() {
  host_plain_call("IPluginServices.GetEventDispatcher");
  return nullptr;
}

TRef<IUnknown> CHostApplication::GetWindowSync() {
  host_plain_call("IPluginServices.GetWindowSync");
  return nullptr;
}

TRef<IFormatSettings> CHostApplication::GetFormatSettings() {
  host_plain_call("IConversionSettings.GetFormatSettings");
  return _format_settings;
}

// ---------------------------------------------------------------------------
// CHost
// ---------------------------------------------------------------------------

CHost::CHost() : _application(CHostApplication::create()) {}

CHost::~CHost() {
  // Nothing may escape a destructor; the plug-in list unloads what is left.
  try {
    shutdown();
  } catch (...) {
  }
  _application->close();
}

void CHost::load_plugin(const std::string& path) {
  plugins().load(path, static_cast<IApplication*>(_application.get()));
}

std::vector<std::string> CHost::load_plugins(const std::string& folder) {
  return plugins().load_folder(folder, static_cast<IApplication*>(_application.get()));
}

std::vector<std::string> CHost::shutdown() {
  std::vector<std::string> failures = plugins().finish();
  // Handlers left behind live in modules about to unload.
  main_window().clear_handlers();
  plugins().unload();
  return failures;
}
