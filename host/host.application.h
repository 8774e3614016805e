// The reference host's application object and the host as a whole.
//
// `CHostApplication` answers IApplication (message boxes, the project, the main
// window, the plug-in list), IPluginServices (no event dispatcher and no
// window-activation service: both answers are null) and IConversionSettings
// (the host's current format settings).
//
// `CHost` starts a host with an empty project, loads plug-ins and shuts them
// down again:
//
//   CHost host;
//   host.load_plugin("/opt/app/import.bxf2.plg");
//   ... host.project() ...
//   host.shutdown();   // also done by the destructor
#pragma once

#include <string>
#include <vector>

#include "TVR_TLB.h"
#include "host.calls.h"
#include "host.plugins.h"
#include "host.project.h"
#include "host.window.h"
#include "uConversion_INTF.h"
#include "uInterfacedObjects.h"

// One message shown with IApplication.MessageBox.
struct THostMessage {
  std::string text;
  int32_t flags = 0;
};

class CHostApplication : public TImplements<CSafeInterfacedObject, IApplication, IPluginServices, IConversionSettings> {
 public:
  static CHostApplication* create();

  // -- host side -----------------------------------------------------------

  CProject& project() const { return *_project; }
  CMainWindow& main_window() const { return *_main_window; }
  CPluginList& plugins() const { return *_plugins; }
  // Every message shown, oldest first.
  const std::vector<THostMessage>& messages() const { return _messages; }
  // Whether messages are also written to standard error (default true).
  void set_print_messages(bool value) { _print_messages = value; }
  // The format settings handed to plug-ins; at first the unit-conversion
  // library's default settings.
  void set_format_settings(TRef<IFormatSettings> settings) { _format_settings = std::move(settings); }
  // Drops the project, the window, the plug-in list and the settings (at host shutdown).
  void close();

  // -- IApplication --------------------------------------------------------

  // Records the message and writes "message: <text>" to standard error;
  // `result` (when given) is 1, the OK button.
  HRESULT MessageBox(BSTR text, int32_t flags, int32_t* result) override;
  HRESULT GetProject(IProject** project) override;
  HRESULT GetMainWindow(IMainWindow** window) override;
  HRESULT GetPlugins(IPluginList** plugins) override;

  // -- IPluginServices -----------------------------------------------------

  TRef<IUnknown> GetEventDispatcher() override;
  TRef<IUnknown> GetWindowSync() override;

  // -- IConversionSettings -------------------------------------------------

  TRef<IFormatSettings> GetFormatSettings() override;

  std::string class_name() const override { return "CHostApplication"; }

 protected:
  CHostApplication();

 private:
  TRef<CProject> _project;
  TRef<CMainWindow> _main_window;
  TRef<CPluginList> _plugins;
  TRef<IFormatSettings> _format_settings;
  std::vector<THostMessage> _messages;
  bool _print_messages = true;
};

// A running reference host.
class CHost {
 public:
  CHost();
  ~CHost();
  CHost(const CHost&) = delete;
  CHost& operator=(const CHost&) = delete;

  CHostApplication& application() const { return *_application; }
  IApplication* application_interface() const { return _application.get(); }
  CProject& project() const { return _application->project(); }
  CMainWindow& main_window() const { return _application->main_window(); }
  CPluginList& plugins() const { return _application->plugins(); }

  // Loads one plug-in module; raises EPluginLoad with the reason.
  void load_plugin(const std::string& path);
  // Loads every "*.plg" module of `folder`; returns the reasons of those that did not load.
  std::vector<std::string> load_plugins(const std::string& folder);
  // Shuts the plug-ins down (done on each, last loaded first), drops the
  // message handlers still registered, releases the plug-in objects and
  // unloads their modules. Returns the failures of `done` calls. Safe to call twice.
  std::vector<std::string> shutdown();

 private:
  TRef<CHostApplication> _application;
};
