#include "import.bxf2.plugin.h"

#include <exception>
#include <typeinfo>
#include <utility>

#include <fmt/format.h>

#include "debug.instances.h"
#include "hapi.tools.hook_application.h"
#include "import.bxf2.import.h"
#include "import.bxf2.log.h"
#include "import.bxf2.parser.h"
#include "import.bxf2.zip.h"
#include "platform.debug.h"
#include "platform.dialogs.h"
#include "platform.files.h"
#include "sysutils.h"
#include "tvrlib.com.h"

namespace {

// User-visible texts.
constexpr const char* caption_format = "{0}...";             // the menu caption
constexpr const char* dialog_caption_format = "Import {0}";  // the dialogs' caption
constexpr const char* file_type = "bxf2";
constexpr const char* meshport_missing_text = "This plugin requires Meshport plugin.";
constexpr const char* extracting_format = "Extracting file ({0})";
constexpr const char* reading_mesh_format = "Reading 3D file ({0})";
constexpr const char* importing_format = "Importing BXF2 file ({0})";
// The pieces of the open-file dialog's filter.
constexpr const char* filter_description = "BXF2 files";
constexpr const char* filter_patterns = "|*.bxf2;*.zip";
constexpr const char* filter_separator = "|";
constexpr const char* any_file_description = "Any file";
constexpr const char* any_file_patterns = "|*.*";
constexpr const char* default_extension = "zip";
// The subfolder of the archives' meshes.
constexpr const char* mesh_subfolder = "cadData";
// What Meshport is asked for: millimetres to metres, and its conversion mode.
constexpr double mesh_scale = 1000.0;
constexpr uint8_t mesh_mode = 2;

// ---------------------------------------------------------------------------
// The guard of the COM calls
// ---------------------------------------------------------------------------

// `text` on one line: line breaks become blanks.
std::string single_line(std::string text) {
  for (char& c : text)
    if (c == '\r' || c == '\n') c = ' ';
  return text;
}

// Writes "<what>: <message>" to the diagnostic log (what: an exception's
// class, or the step that failed); a log that cannot be written is passed
// over.
void log_failure(std::string_view what, std::string_view message) noexcept {
  try {
    log_line(single_line(fmt::format("{}: {}", what, message)));
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
  ASSERT(application);
  _application = application;
  _warning_dialog = std::make_unique<CImportBxfDialog>(import_caption());
  hook_application(_application.get());
}

void CPlugin::done() {
  _open_dialog.reset();
  if (_application) unhook_application(_application.get());
  if (_warning_dialog) {
    try {
      _warning_dialog->save();
    } catch (const Exception& e) {
      log_failure("The resize warning's preference was not saved", e.message());
    } catch (const std::exception& e) {
      log_failure("The resize warning's preference was not saved", e.what());
    }
    _warning_dialog.reset();
  }
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
    auto dialog = std::make_unique<COpenDialog>();
    dialog->set_title(import_caption());
    dialog->set_filter(std::string(filter_description) + filter_patterns + filter_separator + any_file_description +
                       any_file_patterns);
    dialog->set_default_ext(default_extension);
    dialog->set_options(ofHideReadOnly | ofAllowMultiSelect | ofFileMustExist | ofEnableSizing);
    _open_dialog = std::move(dialog);
  }
  return *_open_dialog;
}

namespace {

// The text of `format` with `argument`, as a new owned BSTR.
TBStr progress_text(const char* format, std::string_view argument) {
  return TBStr(fmt::format(fmt::runtime(format), argument));
}

// Moves the progress display one step on.
void advance(IProgress* progress) { progress->SetPosition(progress->GetPosition() + 1); }

// Deletes the run's temporary folder, then lets go of the progress display,
// on every way out of the command.
class CRunGuard {
 public:
  CRunGuard(std::string folder, TRef<IProgress>& progress) : _folder(std::move(folder)), _progress(progress) {}
  ~CRunGuard() {
    try {
      delete_folder(_folder);
    } catch (...) {  // out of memory while unwinding: nothing may leave a destructor
    }
    _progress.reset();
  }
  CRunGuard(const CRunGuard&) = delete;
  CRunGuard& operator=(const CRunGuard&) = delete;

 private:
  std::string _folder;
  TRef<IProgress>& _progress;
};

}  // namespace

std::string CPlugin::make_temp_folder() {
  std::string folder = temp_folder() + guid_to_hex(new_guid());
  force_folders(folder);
  ASSERT(folder_exists(folder));
  return folder;
}

void CPlugin::import_file(const std::string& file_name) {
  TBXF_read_location where;
  std::unique_ptr<CBXF> document;
  try {
    document = parse_file(file_name, &where);
  } catch (...) {
    // The exception is the reason; where reading stopped goes to the
    // desktop's debug output, in the file's terms.
    try {
      if (const std::string place = read_failure_place(file_name, where); !place.empty()) output_debug_string(place);
    } catch (...) {  // out of memory for the text: the failure goes on without it
    }
    throw;
  }
  import_document(document.get(), _application.get(), file_name);
}

void CPlugin::run_command() {
  ASSERT(_application);

  // Meshport: the first plug-in whose object converts meshes.
  TRef<IMeshConverter> converter;
  {
    TRef<IPluginList> plugins;
    OleCheck(_application->GetPlugins(plugins.put()));
    int32_t count = 0;
    OleCheck(plugins->GetCount(&count));
    for (int32_t i = 0; i < count && !converter; ++i) {
      TRef<IPluginEntry> entry;
      OleCheck(plugins->GetItem(i, entry.put()));
      TRef<IUnknown> instance;
      OleCheck(entry->GetInstance(instance.put()));
      if (instance) converter = instance.query<IMeshConverter>();
    }
  }
  if (!converter) {
    int32_t result = 0;
    OleCheck(_application->MessageBox(TBStr(meshport_missing_text).get(), MB_ICONERROR, &result));
    return;
  }

  ASSERT(_warning_dialog);
  if (!_warning_dialog->execute(false)) return;

  COpenDialog& dialog = open_dialog();
  if (!dialog.execute()) return;
  const std::vector<std::string> files = dialog.files();

  TRef<IProgress> progress;
  {
    TRef<IMainWindow> window;
    OleCheck(_application->GetMainWindow(window.put()));
    if (window) progress = window.query<IProgress>();
  }
  ASSERT(progress);

  bool archive_seen = false;
  progress->SetMax(static_cast<int32_t>(files.size()));

  const std::string temp = make_temp_folder();
  CRunGuard guard(temp, progress);

  mesh_folder = temp + path_delimiter + mesh_subfolder + path_delimiter;

  for (const std::string& file : files) {
    ASSERT(file_exists(file));
    advance(progress.get());
    progress->SetText(progress_text(extracting_format, file).get());
    if (!progress->Proceed()) continue;
    const std::string extension = extract_file_ext(file);
    if (extension == ".zip") {
      extract_archive(file, temp);
      archive_seen = true;
    } else if (extension == ".bxf2") {
      import_file(file);
    } else {
      return;
    }
  }

  if (!archive_seen) return;

  for (const std::string& mesh : list_files(mesh_folder, "*.dae")) {
    advance(progress.get());
    progress->SetText(progress_text(reading_mesh_format, extract_file_name(mesh)).get());
    if (!progress->Proceed()) return;
    converter->ConvertFile(TBStr(mesh).get(), TBStr(change_file_ext(mesh, ".meb")).get(), mesh_scale, mesh_mode);
  }

  for (const std::string& bxf : list_files(temp, "*.bxf2")) {
    advance(progress.get());
    progress->SetText(progress_text(importing_format, extract_file_name(bxf)).get());
    if (!progress->Proceed()) return;
    import_file(bxf);
  }
}
