// Meshport's plug-in object and the module's entry point. The host loads
// `meshport.plg`, calls `create_object`, hands the object its application
// (`INPlugin_init.initialize`), finds it in its plug-in list by
// `IMeshConverter`, and at shutdown calls `INPlugin_done.done`.
//
//   TRef<IUnknown> object;
//   create_object(object.put());
//   object.query<IMeshConverter>()->ConvertFile(source, target, 1000.0, 2);
#pragma once

#include "TVR_TLB.h"
#include "hapi.nplugins.h"
#include "uInterfacedObjects.h"

class CMeshportPlugin
    : public TImplements<CSafeInterfacedObject, INPlugin, INPlugin_init, INPlugin_done, IMeshConverter> {
 public:
  static CMeshportPlugin* create() { return construct(new CMeshportPlugin()); }

  // INPlugin_init: keeps a reference to the application (null is accepted).
  void initialize(IApplication* application) override;
  // INPlugin_done: ends the reader process of the conversions and lets go
  // of the application.
  void done() override;

  // IMeshConverter: converts `source` into the mesh file `target` with
  // `convert_file` (module meshport.convert). True when the target was
  // written; false, with a message on standard error, otherwise. Never throws.
  bool ConvertFile(BSTR source, BSTR target, double scale, uint8_t mode) override;

  std::string class_name() const override { return "CMeshportPlugin"; }

 protected:
  CMeshportPlugin() = default;
  ~CMeshportPlugin() override = default;

 private:
  TRef<IApplication> _application;
};

// The module's only export (C linkage): stores a counted reference to a new
// plug-in object's IUnknown in `*obj`, releasing what the variable held, and
// returns `obj` (`create_plugin_object`); returns null and creates nothing
// when `obj` is null.
PLUGIN_EXPORT IUnknown** create_object(IUnknown** obj);
