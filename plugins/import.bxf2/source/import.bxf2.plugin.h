// The plug-in object the host drives through the plug-in protocol: it takes
// the host application at initialisation, tells its identifier and menu
// caption, runs the import command and lets go of the host at shutdown.
//
// One object serves INPlugin, INPlugin_init, INPlugin_done, IPlugin and
// IImportPlugin; IPlugin and IImportPlugin share one method table, so a
// query for either gives the same pointer. The COM calls (`name`, `caption`,
// `execute`) never let an exception out: a failure is written to the
// plug-in's diagnostic log as one line "<class>: <message>" and answered
// with E_UNEXPECTED. `initialize` and `done` let their exceptions reach the
// host, except a failed save of the resize warning's preference, which
// `done` logs and goes on from.
//
// The object owns its two dialogs (std::unique_ptr): `done` frees them, and
// so does the object's destruction when the host never called `done`.
//
//   TRef<IUnknown> object = ...;   // from create_object
//   object.query<INPlugin_init>()->initialize(application);
//   object.query<IImportPlugin>()->execute(0);
//   object.query<INPlugin_done>()->done();
#pragma once

#include <memory>
#include <string>

#include "TVR_TLB.h"
#include "hapi.nplugins.h"
#include "hapi.plugins.h"
#include "import.bxf2.warning.h"
#include "uInterfacedObjects.h"

class COpenDialog;

// The plug-in's identifier, returned by `name`.
inline constexpr const char* plugin_name = "import.bxf2";

class CPlugin : public TImplements<CSafeInterfacedObject, INPlugin, INPlugin_init, INPlugin_done, IImportPlugin> {
 public:
  static CPlugin* create() { return construct(new CPlugin()); }

  // Answers the interfaces of the protocol table; E_NOINTERFACE otherwise.
  HRESULT QueryInterface(const TGUID& iid, void** obj) override;

  // -- INPlugin_init, INPlugin_done ----------------------------------------

  // Holds `application`, creates the resize warning (which reads its
  // preference) and hooks the toolkit to the host. Raises what those raise;
  // a null `application` fails an internal check (EAssertionFailed) before
  // anything changes, so `execute` then answers E_UNEXPECTED.
  void initialize(IApplication* application) override;
  // Frees the open-file dialog, unhooks, saves the resize warning's
  // preference and frees the warning, and releases the application, in that
  // order. A save that fails is logged ("The resize warning's preference was
  // not saved: <message>") and shutdown goes on. Raises what unhooking
  // raises; the application is then released with the object.
  void done() override;

  // -- IPlugin, IImportPlugin ----------------------------------------------

  // "import.bxf2".
  HRESULT name(BSTR* value) override;
  // The menu caption, "BXF2...".
  HRESULT caption(BSTR* value) override;
  // Runs the import command; S_OK also when the user cancels, E_UNEXPECTED
  // when it ended by an exception. `param` is not used.
  HRESULT execute(intptr_t param) override;

  std::string class_name() const override { return "CPlugin"; }

 protected:
  CPlugin();
  ~CPlugin() override;

 private:
  // The import command.
  void run_command();
  // The open-file dialog, made on first use and kept for later commands.
  COpenDialog& open_dialog();
  // The path (no trailing separator) of a new, existing, empty folder in the
  // user's temporary folder. Fails an internal check when it cannot be made.
  static std::string make_temp_folder();
  // Parses the BXF2 file `file_name` and builds it into the project; the
  // document is freed on every way out. Raises what reading and building raise.
  void import_file(const std::string& file_name);

  TRef<IApplication> _application;
  std::unique_ptr<COpenDialog> _open_dialog;
  std::unique_ptr<CImportBxfDialog> _warning_dialog;
};

// The menu caption: "%0:s..." with the upper-cased identifier "bxf2".
std::string plugin_caption();
// The caption of the plug-in's dialogs: "Import %0:s" with "BXF2".
std::string import_caption();
