// The entry point of the plug-in module `import.bxf2.plg`: `create_object`,
// the module's only export, with C linkage.
//
// The module also shows its dialogs where the program that loaded it shows
// its own: when that program exports the C function
//
//   extern "C" CPresenter* bxf_desktop_presenter();
//
// (its toolkit's presenter, looked up by name in the process when a form or
// dialog is shown), the plug-in's toolkit hands every form and dialog to the
// presenter it returns; otherwise, or when it returns null, the toolkit's own
// presenter (the terminal) shows them. This stands in for the one desktop
// that every module of a process shares.
#pragma once

#include "hapi.nplugins.h"

// Stores a counted reference to a new plug-in object (its IUnknown) in
// `*obj`, releasing the interface the variable held, and returns `obj`
// (`create_plugin_object`). The object's count is then 1, held by the
// caller. A null `obj` gives null; running out of memory leaves `*obj` as
// it was.
PLUGIN_EXPORT IUnknown** create_object(IUnknown** obj);

// The name of the function through which a program lends its presenter.
inline constexpr const char* desktop_presenter_function = "bxf_desktop_presenter";
