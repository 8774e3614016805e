#include "import.bxf2.plugin.h"

#include <exception>
#include <typeinfo>
#include <utility>

#include <fmt/format.h>

#include "debug.instances.h"
#include "hapi.tools.hook_application.h"
#include "import.bxf2.log.h"
#include "platform.dialogs.h"
#include "sysutils.h"

namespace {

// User-visible texts.
constexpr const char* caption_format = "{0}...";      // the menu caption
constexpr const char* dialog_caption_format = "Import {0}";  // the dialogs' caption
constexpr const char* file_type = "bxf2";

// ---------------------------------------------------------------------------
// The guard of the COM calls
// ---------------------------------------------------------------------------

// `text` on one line: line breaks become blanks.
std::string single_line(std::string text) {
  for (char& c : text)
    if (c == '\r' || c == '\n') c = ' ';
  return text;
}

// Writes "<class>: <message>" to the diagnostic log; a log that cannot be
// written is passed over.
void log_failure(std::string_view class_name, std::string_view message) noexcept {
  try {
    log_line(single_line(fmt::format("{}: {}", class_name, message)));
  } catch (...) {
  }
}

// Runs `body`: S_OK when it returns, E_UNEXPECTED when it raises, after the
// exception's class and message have gone to the diagnostic log.
template <class F>
HRESULT guarded(F&& body) noexcept {
  try {
    body();
    return S_OK;
  } catch (const Exception& e) {
    log_failure(e.class_name(), e.message());
  } catch (const std::exception& e) {
    log_failure(demangled_class_name(typeid(e)), e.what());
  } catch (...) {
    log_failure("unknown exception", "");
  }
  return E_UNEXPECTED;
}

// Stores a new BSTR holding `text` in the out parameter.
void put_text(BSTR* value, std::string_view text) {
  ASSERT(value);
  *value = TBStr(text).detach();
}

}  // namespace

std::string plugin_caption() { return fmt::format(fmt::runtime(caption_format), upper_case(file_type)); }

std::string import_caption() { return fmt::format(fmt::runtime(dialog_caption_format), upper_case(file_type)); }

// ---------------------------------------------------------------------------
// CPlugin
// ---------------------------------------------------------------------------

CPlugin::CPlugin() = default;

CPlugin::~CPlugin() = default;

HRESULT CPlugin::QueryInterface(const TGUID& iid, void** obj) {
  if (!obj) return E_POINTER;
  // The protocol table. IUnknown is the object's identity, the pointer
  // create_object hands out; IPlugin and IImportPlugin share one table.
  struct TEntry {
    const TGUID& iid;
    IUnknown* (*get)(CPlugin* self);
  };
  static const TEntry table[] = {
      {IUnknown::IID, [](CPlugin* self) -> IUnknown* { return static_cast<INPlugin*>(self); }},
      {INPlugin::IID, [](CPlugin* self) -> IUnknown* { return static_cast<INPlugin*>(self); }},
      {INPlugin_init::IID, [](CPlugin* self) -> IUnknown* { return static_cast<INPlugin_init*>(self); }},
      {INPlugin_done::IID, [](CPlugin* self) -> IUnknown* { return static_cast<INPlugin_done*>(self); }},
      {IPlugin::IID, [](CPlugin* self) -> IUnknown* { return static_cast<IImportPlugin*>(self); }},
      {IImportPlugin::IID, [](CPlugin* self) -> IUnknown* { return static_cast<IImportPlugin*>(self); }},
  };
  for (const TEntry& entry : table) {
    if (entry.iid == iid) {
      IUnknown* intf = entry.get(this);
      intf->AddRef();
      *obj = intf;
      return S_OK;
    }
  }
  *obj = nullptr;
  return E_NOINTERFACE;
}

void CPlugin::initialize(IApplication* application) {
  _application = application;
  delete std::exchange(_warning_dialog, nullptr);
  _warning_dialog = new CImportBxfDialog(import_caption());
  hook_application(_application.get());
}

void CPlugin::done() {
  _open_dialog.reset();
  if (_application) unhook_application(_application.get());
  delete std::exchange(_warning_dialog, nullptr);  // saves the preference
  _application.reset();
}

HRESULT CPlugin::name(BSTR* value) {
  return guarded([&] { put_text(value, plugin_name); });
}

HRESULT CPlugin::caption(BSTR* value) {
  return guarded([&] { put_text(value, plugin_caption()); });
}

HRESULT CPlugin::execute(intptr_t) {
  return guarded([&] { run_command(); });
}

COpenDialog& CPlugin::open_dialog() {
  if (!_open_dialog) {
    _open_dialog = std::make_unique<COpenDialog>();
  }
  return *_open_dialog;
}

void CPlugin::run_command() {
  ASSERT(_application);
}
