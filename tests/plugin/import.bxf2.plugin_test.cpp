// The plug-in module file as the host sees it: its export list, the entry
// point called through its C signature, the protocol table, the guarded COM
// calls, the start and shutdown sequence with the application hook, and an
// empty leak report when the module unloads.
#include <dlfcn.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "hapi.nplugins.h"
#include "hapi.plugins.h"
#include "host.application.h"
#include "host.calls.h"
#include "platform.files.h"
#include "platform.presenters.h"

// The presenter this program lends the plug-in module's toolkit; null
// leaves the module with its own.
namespace {
std::shared_ptr<CScriptedPresenter> lent_presenter;
}  // namespace

extern "C" __attribute__((visibility("default"))) CPresenter* bxf_desktop_presenter() { return lent_presenter.get(); }

namespace {

namespace fs = std::filesystem;

// The module loaded by hand, as a caller that only knows the C signature.
class plugin_module : public ::testing::Test {
 protected:
  void SetUp() override {
    log_file = fs::temp_directory_path() / ("import.bxf2 log " + std::to_string(::getpid()));
    fs::remove(log_file);
    setenv("BXF2_IMPORT_LOG", log_file.c_str(), 1);
    host.application().set_print_messages(false);
    module = dlopen(PLUGIN_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    create = reinterpret_cast<TCreateObjectFunc>(dlsym(module, CREATE_OBJECT_NAME));
    ASSERT_NE(create, nullptr);
  }
  void TearDown() override {
    THostFaults::disarm();
    object.reset();
    EXPECT_EQ(unload(), "");
    unsetenv("BXF2_IMPORT_LOG");
    fs::remove(log_file);
  }

  // Unloads the module; returns what it wrote to standard error meanwhile
  // (the leak report, when objects are left).
  std::string unload() {
    if (!module) return "";
    testing::internal::CaptureStderr();
    dlclose(module);
    module = nullptr;
    return testing::internal::GetCapturedStderr();
  }

  std::vector<std::string> log_lines() const {
    std::vector<std::string> lines;
    std::ifstream in(log_file);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  static std::string text_of(HRESULT (IImportPlugin::*call)(BSTR*), IImportPlugin* plugin) {
    TBStr text;
    EXPECT_EQ((plugin->*call)(text.put()), S_OK);
    return text.utf8();
  }

  CHost host;
  fs::path log_file;
  void* module = nullptr;
  TCreateObjectFunc create = nullptr;
  TRef<IUnknown> object;
};

TEST_F(plugin_module, exports_only_create_object) {
  std::string command = std::string("nm -D --defined-only '") + PLUGIN_MODULE + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> names;
  char line[1024];
  while (fgets(line, sizeof line, pipe)) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    names.insert(text.substr(text.rfind(' ') + 1));
  }
  ASSERT_EQ(pclose(pipe), 0);
  EXPECT_EQ(names, std::set<std::string>{"create_object"});
}

TEST_F(plugin_module, create_object_fills_the_variable_and_releases_what_it_held) {
  IUnknown* variable = nullptr;
  EXPECT_EQ(create(&variable), &variable);
  ASSERT_NE(variable, nullptr);
  EXPECT_EQ(variable->AddRef(), 2);  // the caller's reference and this one
  EXPECT_EQ(variable->Release(), 1);

  IUnknown* first = variable;
  EXPECT_EQ(create(&variable), &variable);  // the first object is released
  EXPECT_NE(variable, nullptr);
  EXPECT_NE(variable, first);
  object = TRef<IUnknown>::adopt(variable);
}

TEST_F(plugin_module, protocol_table) {
  create(object.put());
  ASSERT_TRUE(object);

  TRef<IPlugin> plugin = object.query<IPlugin>();
  TRef<IImportPlugin> import = object.query<IImportPlugin>();
  ASSERT_TRUE(plugin && import);
  EXPECT_EQ(static_cast<void*>(plugin.get()), static_cast<void*>(import.get()));
  EXPECT_TRUE(object.query<INPlugin>());
  EXPECT_TRUE(object.query<INPlugin_init>());
  EXPECT_TRUE(object.query<INPlugin_done>());
  EXPECT_EQ(object.query<IUnknown>().get(), object.get());  // the identity create_object gave
  EXPECT_EQ(import.query<IUnknown>().get(), object.get());

  const TGUID others[] = {IApplication::IID, IMeshConverter::IID, IMessageHandler::IID,
                          TGUID::parse("{73326794-2F24-4E1A-81DA-35F96DA146E6}")};
  for (const TGUID& iid : others) {
    void* result = &result;
    EXPECT_EQ(object->QueryInterface(iid, &result), E_NOINTERFACE) << iid.to_string();
    EXPECT_EQ(result, nullptr);
  }
}

TEST_F(plugin_module, name_and_caption_before_and_after_initialize) {
  create(object.put());
  TRef<IImportPlugin> plugin = object.query<IImportPlugin>();
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(text_of(&IImportPlugin::name, plugin.get()), "import.bxf2");
    EXPECT_EQ(text_of(&IImportPlugin::caption, plugin.get()), "BXF2...");
    if (round == 0) object.query<INPlugin_init>()->initialize(host.application_interface());
  }
  object.query<INPlugin_done>()->done();
  EXPECT_EQ(text_of(&IImportPlugin::name, plugin.get()), "import.bxf2");
}

TEST_F(plugin_module, initialize_hooks_the_host_and_done_unhooks_it) {
  create(object.put());
  object.query<INPlugin_init>()->initialize(host.application_interface());
  EXPECT_EQ(host.main_window().handler_count(), 1u);
  EXPECT_EQ(object.query<IImportPlugin>()->execute(0), S_OK);
  object.query<INPlugin_done>()->done();  // no command left a file dialog to free
  EXPECT_EQ(host.main_window().handler_count(), 0u);
  EXPECT_TRUE(log_lines().empty());
}

TEST_F(plugin_module, host_sharing_the_toolkit_window_is_not_hooked) {
  host.main_window().set_handle(0);  // the plug-in toolkit's own window handle
  create(object.put());
  object.query<INPlugin_init>()->initialize(host.application_interface());
  EXPECT_EQ(host.main_window().handler_count(), 0u);
  object.query<INPlugin_done>()->done();
  EXPECT_EQ(host.main_window().handler_count(), 0u);
}

TEST_F(plugin_module, exception_in_execute_is_logged_and_answered_with_e_unexpected) {
  create(object.put());
  TRef<IImportPlugin> plugin = object.query<IImportPlugin>();
  // Without initialize the command has no application to work with.
  EXPECT_EQ(plugin->execute(0), HRESULT(0x8000FFFFu));
  std::vector<std::string> lines = log_lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("EAssertionFailed: Assertion failure (import.bxf2.plugin, line ", 0), 0u) << lines[0];

  // The object stays usable.
  object.query<INPlugin_init>()->initialize(host.application_interface());
  EXPECT_EQ(plugin->execute(0), S_OK);
  EXPECT_EQ(text_of(&IImportPlugin::caption, plugin.get()), "BXF2...");
  object.query<INPlugin_done>()->done();
  EXPECT_EQ(log_lines().size(), 1u);
}

TEST_F(plugin_module, failed_host_call_in_initialize_reaches_the_host) {
  create(object.put());
  THostFaults::arm(1);  // GetMainWindow of the hook
  EXPECT_THROW(object.query<INPlugin_init>()->initialize(host.application_interface()), EOleSysError);
  THostFaults::disarm();
  EXPECT_EQ(host.main_window().handler_count(), 0u);
  object.query<INPlugin_done>()->done();
  EXPECT_EQ(host.main_window().handler_count(), 0u);
}

TEST_F(plugin_module, initialize_without_application_fails_an_internal_check) {
  create(object.put());
  try {
    object.query<INPlugin_init>()->initialize(nullptr);
    ADD_FAILURE() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.class_name()), "EAssertionFailed");
    EXPECT_EQ(e.message().rfind("Assertion failure (import.bxf2.plugin, line ", 0), 0u) << e.message();
  }
  // Nothing was hooked; the command has no application and says so.
  EXPECT_EQ(host.main_window().handler_count(), 0u);
  EXPECT_EQ(object.query<IImportPlugin>()->execute(0), E_UNEXPECTED);
  object.query<INPlugin_done>()->done();
  const std::vector<std::string> lines = log_lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("EAssertionFailed: Assertion failure (import.bxf2.plugin, line ", 0), 0u) << lines[0];
}

TEST_F(plugin_module, null_out_parameter_is_answered_with_e_unexpected) {
  create(object.put());
  TRef<IImportPlugin> plugin = object.query<IImportPlugin>();
  EXPECT_EQ(plugin->name(nullptr), E_UNEXPECTED);
  EXPECT_EQ(plugin->caption(nullptr), E_UNEXPECTED);
  EXPECT_EQ(log_lines().size(), 2u);
}

TEST_F(plugin_module, object_left_alive_shows_in_the_leak_report) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the object left alive would also be reported as lost memory";
#else
  create(object.put());
  object.detach();  // never released
  std::string report = unload();
  EXPECT_NE(report.find("CPlugin"), std::string::npos) << report;
#endif
}

// The whole life through the reference host's own loader.
TEST(plugin_through_host, load_run_and_shut_down_with_an_empty_leak_report) {
  CHost host;
  host.application().set_print_messages(false);
  host.load_plugin(PLUGIN_MODULE);
  ASSERT_EQ(host.plugins().entries().size(), 1u);
  TRef<IUnknown> instance;
  ASSERT_EQ(host.plugins().entries()[0]->GetInstance(instance.put()), S_OK);
  TRef<IImportPlugin> plugin = instance.query<IImportPlugin>();
  ASSERT_TRUE(plugin);
  TBStr name;
  EXPECT_EQ(plugin->name(name.put()), S_OK);
  EXPECT_EQ(name.utf8(), "import.bxf2");
  EXPECT_EQ(plugin->execute(0), S_OK);
  plugin.reset();
  instance.reset();

  testing::internal::CaptureStderr();
  std::vector<std::string> failures = host.shutdown();
  std::string report = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(report, "");
}

// A copy of the module in a folder of its own, so that its preference file
// (beside the module as loaded) is this test's alone: a preference that
// cannot be saved at shutdown is logged, and shutdown goes on.
TEST(plugin_through_host, failed_preference_save_is_logged_and_shutdown_goes_on) {
  const fs::path folder = fs::temp_directory_path() / ("import.bxf2 save " + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  const fs::path module = folder / "import.bxf2.plg";
  fs::copy_file(PLUGIN_MODULE, module);
  const fs::path ini = folder / "import.bxf2.ini";
  const fs::path log_file = folder / "log.txt";
  write_file_bytes(ini.string(), "[general]\nwarning=0\n");  // the warning is off: shutdown writes it back
  setenv("BXF2_IMPORT_LOG", log_file.c_str(), 1);
  {
    CHost host;
    host.application().set_print_messages(false);
    host.load_plugin(module.string());
    EXPECT_EQ(host.main_window().handler_count(), 1u);
    fs::remove(ini);
    fs::create_directory(ini);  // now the file cannot be written
    testing::internal::CaptureStderr();
    EXPECT_EQ(host.shutdown(), std::vector<std::string>{});
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // and nothing is left alive
    EXPECT_EQ(host.main_window().handler_count(), 0u);      // unhooked all the same
  }
  unsetenv("BXF2_IMPORT_LOG");
  const std::string log = read_file_bytes(log_file.string());
  EXPECT_EQ(
      log.rfind("The resize warning's preference was not saved: Cannot create file \"" + ini.string() + "\". ", 0), 0u)
      << log;
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1);
  fs::remove_all(folder);
}

// ---------------------------------------------------------------------------
// The import command, through the reference host
// ---------------------------------------------------------------------------

// One run of the command: the files offered, how the user and the progress
// display answer, and what the run leaves.
struct TCommandCase {
  const char* what;
  bool meshport;                                  // Meshport loaded before the plug-in
  std::vector<TFormAnswer> warning;               // answers to the resize warning
  std::optional<std::vector<std::string>> files;  // chosen names (in the test folder); nothing: cancel
  std::string refused;                            // Proceed answers false for the text naming this file
  std::vector<std::string> messages;              // host message boxes
  std::vector<std::string> texts;                 // progress texts (file names in the test folder)
  bool imported;                                  // the project holds objects afterwards
};

class plugin_command : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = temp_folder() + "bxf2_command_" + guid_to_hex(new_guid());
    tmp = folder + "/tmp";
    ASSERT_TRUE(force_folders(tmp));
    const char* old = std::getenv("TMPDIR");
    old_tmpdir = old ? std::optional<std::string>(old) : std::nullopt;
    setenv("TMPDIR", tmp.c_str(), 1);
    setenv("BXF2_IMPORT_LOG", (folder + "/log.txt").c_str(), 1);
    const std::string cabinet = read_file_bytes(std::string(BXF_EXAMPLES_DIR) + "/simple/base-cabinet.bxf2");
    for (const char* name : {"a.bxf2", "b.bxf2", "C.BXF2", "d.zip.txt"}) write_file_bytes(folder + "/" + name, cabinet);
    write_file_bytes(folder + "/broken.bxf2", "<bxf");
    lent_presenter = std::make_shared<CScriptedPresenter>();
  }
  void TearDown() override {
    lent_presenter.reset();
    unsetenv("BXF2_IMPORT_LOG");
    if (old_tmpdir)
      setenv("TMPDIR", old_tmpdir->c_str(), 1);
    else
      unsetenv("TMPDIR");
    delete_folder(folder);
  }

  // The entries left in the temporary folder.
  std::vector<std::string> temp_entries() const {
    std::vector<std::string> left;
    for (const auto& item : fs::directory_iterator(tmp)) left.push_back(item.path().string());
    return left;
  }

  std::string folder, tmp;
  std::optional<std::string> old_tmpdir;
};

TEST_F(plugin_command, runs_end_as_the_user_and_the_progress_display_answer) {
  const std::string meshport_missing = "This plugin requires Meshport plugin.";
  const TCommandCase cases[] = {
      {"Meshport missing: only the message", false, {}, std::nullopt, "", {meshport_missing}, {}, false},
      {"warning closed", true, {TFormAnswer::close_box()}, std::nullopt, "", {}, {}, false},
      {"dialog cancelled", true, {TFormAnswer::enter(false)}, std::nullopt, "", {}, {}, false},
      {"upper-case extension stops the run after the earlier files",
       true,
       {TFormAnswer::enter(false)},
       std::vector<std::string>{"a.bxf2", "C.BXF2", "b.bxf2"},
       "",
       {},
       {"Extracting file (a.bxf2)", "Extracting file (C.BXF2)"},
       true},
      {"unknown extension stops the run before anything is imported",
       true,
       {TFormAnswer::enter(false)},
       std::vector<std::string>{"d.zip.txt", "a.bxf2"},
       "",
       {},
       {"Extracting file (d.zip.txt)"},
       false},
      {"Proceed false skips a chosen file and goes on",
       true,
       {TFormAnswer::enter(false)},
       std::vector<std::string>{"broken.bxf2", "a.bxf2"},
       "broken.bxf2",
       {},
       {"Extracting file (broken.bxf2)", "Extracting file (a.bxf2)"},
       true},
      {"Proceed false for every file imports nothing",
       true,
       {TFormAnswer::enter(false)},
       std::vector<std::string>{"a.bxf2"},
       "a.bxf2",
       {},
       {"Extracting file (a.bxf2)"},
       false},
  };
  for (const TCommandCase& c : cases) {
    SCOPED_TRACE(c.what);
    lent_presenter = std::make_shared<CScriptedPresenter>();
    for (const TFormAnswer& answer : c.warning) lent_presenter->add_form_answer(answer);
    if (c.files) {
      std::vector<std::string> paths;
      for (const std::string& name : *c.files) paths.push_back(folder + "/" + name);
      lent_presenter->add_files(paths);
    } else if (!c.warning.empty() && c.warning.front().action != TFormAction::close_box) {
      lent_presenter->add_cancel();
    }

    CHost host;
    host.application().set_print_messages(false);
    if (c.meshport) host.load_plugin(MESHPORT_MODULE);
    host.load_plugin(PLUGIN_MODULE);
    const std::string refused = c.refused.empty() ? "" : folder + "/" + c.refused;
    host.main_window().set_proceed_handler(
        [&](const TProgressState& state) { return refused.empty() || state.text.find(refused) == std::string::npos; });
    TRef<IUnknown> instance;
    ASSERT_EQ(host.plugins().entries().back()->GetInstance(instance.put()), S_OK);
    EXPECT_EQ(instance.query<IImportPlugin>()->execute(0), S_OK);
    instance.reset();

    std::vector<std::string> messages;
    for (const THostMessage& message : host.application().messages()) {
      messages.push_back(message.text);
      EXPECT_EQ(message.flags, 16);
    }
    EXPECT_EQ(messages, c.messages);
    std::vector<std::string> texts;
    for (const std::string& text : c.texts) {
      const size_t open = text.find('(') + 1;
      texts.push_back(text.substr(0, open) + folder + "/" + text.substr(open));
    }
    EXPECT_EQ(host.main_window().texts(), texts);
    if (!c.texts.empty()) {
      EXPECT_EQ(host.main_window().progress().max, int32_t(c.files->size()));
      EXPECT_EQ(host.main_window().progress().position, int32_t(c.texts.size()));
    }
    EXPECT_EQ(!host.project().objects().empty(), c.imported);
    if (!c.meshport) {
      EXPECT_TRUE(lent_presenter->forms().empty());
    }
    if (c.warning.empty() || c.warning.front().action == TFormAction::close_box) {
      EXPECT_TRUE(lent_presenter->dialogs().empty());
    }
    EXPECT_EQ(lent_presenter->pending_form_answers(), 0u);
    EXPECT_EQ(lent_presenter->pending_file_answers(), 0u);
    EXPECT_EQ(temp_entries(), std::vector<std::string>{});
    EXPECT_TRUE(host.shutdown().empty());
  }
}

TEST_F(plugin_command, open_dialog_settings_and_a_failed_import_still_cleans_up) {
  lent_presenter->add_form_answer(TFormAnswer::enter(false));
  lent_presenter->add_files({folder + "/a.bxf2", folder + "/broken.bxf2", folder + "/b.bxf2"});
  CHost host;
  host.application().set_print_messages(false);
  host.load_plugin(MESHPORT_MODULE);
  host.load_plugin(PLUGIN_MODULE);
  TRef<IUnknown> instance;
  ASSERT_EQ(host.plugins().entries().back()->GetInstance(instance.put()), S_OK);
  EXPECT_EQ(instance.query<IImportPlugin>()->execute(0), E_UNEXPECTED);
  instance.reset();

  ASSERT_EQ(lent_presenter->dialogs().size(), 1u);
  const TShownDialog& dialog = lent_presenter->dialogs()[0];
  EXPECT_EQ(dialog.title, "Import BXF2");
  EXPECT_EQ(dialog.filter, "BXF2 files|*.bxf2;*.zip|Any file|*.*");
  EXPECT_EQ(dialog.default_ext, "zip");
  EXPECT_EQ(dialog.options, ofHideReadOnly | ofAllowMultiSelect | ofFileMustExist | ofEnableSizing);
  // The first file stays imported, the last is never reached; the reason
  // of the failure (no document from the broken file) is logged.
  EXPECT_FALSE(host.project().objects().empty());
  EXPECT_NE(read_file_bytes(folder + "/log.txt").find("EAssertionFailed: Assertion failure (import.bxf2.import, line "),
            std::string::npos);
  EXPECT_EQ(host.main_window().texts().size(), 2u);
  EXPECT_EQ(temp_entries(), std::vector<std::string>{});
  EXPECT_TRUE(host.shutdown().empty());
}

// An archive of the example kitchen: its BXF2 file at the top, its meshes in
// cadData, and a BXF2 file in a subfolder that is not imported.
void write_kitchen_zip(const std::string& path) {
  const std::string source = std::string(BXF_EXAMPLES_DIR) + "/kitchen/";
  std::vector<std::pair<std::string, std::string>> entries = {
      {"kitchen.bxf2", read_file_bytes(source + "kitchen.bxf2")}, {"sub/nested.bxf2", "<bxf"}};
  for (const std::string& mesh : list_files(source + "cadData", "*.dae"))
    entries.emplace_back("cadData/" + extract_file_name(mesh), read_file_bytes(mesh));
  int code = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  ASSERT_NE(archive, nullptr);
  for (const auto& [name, data] : entries) {
    zip_source_t* data_source = zip_source_buffer(archive, data.data(), data.size(), 0);
    ASSERT_GE(zip_file_add(archive, name.c_str(), data_source, ZIP_FL_ENC_UTF_8), 0);
  }
  ASSERT_EQ(zip_close(archive), 0);
}

TEST_F(plugin_command, archives_convert_their_meshes_then_import_their_top_level_files) {
  const std::string archive = folder + "/k.zip";
  write_kitchen_zip(archive);
  const size_t meshes = list_files(std::string(BXF_EXAMPLES_DIR) + "/kitchen/cadData", "*.dae").size();
  ASSERT_GT(meshes, 0u);
  // Runs the command on the archive; Proceed answers false from the
  // `stop_at`-th question on (0: never).
  for (size_t stop_at : {size_t(0), size_t(2), meshes + 2}) {
    SCOPED_TRACE(stop_at);
    lent_presenter = std::make_shared<CScriptedPresenter>();
    lent_presenter->add_form_answer(TFormAnswer::enter(false));
    lent_presenter->add_files({archive});
    CHost host;
    host.application().set_print_messages(false);
    host.load_plugin(MESHPORT_MODULE);
    host.load_plugin(PLUGIN_MODULE);
    size_t asked = 0;
    host.main_window().set_proceed_handler([&](const TProgressState&) { return stop_at == 0 || ++asked < stop_at; });
    TRef<IUnknown> instance;
    ASSERT_EQ(host.plugins().entries().back()->GetInstance(instance.put()), S_OK);
    EXPECT_EQ(instance.query<IImportPlugin>()->execute(0), S_OK);
    instance.reset();

    const std::vector<std::string>& texts = host.main_window().texts();
    const size_t shown = stop_at == 0 ? meshes + 2 : stop_at;
    ASSERT_EQ(texts.size(), shown);
    EXPECT_EQ(texts[0], "Extracting file (" + archive + ")");
    for (size_t i = 1; i < shown && i <= meshes; ++i) {
      EXPECT_EQ(texts[i].rfind("Reading 3D file (", 0), 0u) << texts[i];
      EXPECT_EQ(texts[i].find('/'), std::string::npos) << texts[i];  // the name alone
    }
    if (shown == meshes + 2) {
      EXPECT_EQ(texts.back(), "Importing BXF2 file (kitchen.bxf2)");
      // Meshport wrote every .meb where the builder looks for it.
      const std::string log = file_exists(folder + "/log.txt") ? read_file_bytes(folder + "/log.txt") : "";
      EXPECT_EQ(log.find("not found"), std::string::npos) << log;
    }
    EXPECT_EQ(host.main_window().progress().max, 1);
    EXPECT_EQ(host.main_window().progress().position, int32_t(shown));
    EXPECT_EQ(!host.project().objects().empty(), stop_at == 0);
    EXPECT_EQ(temp_entries(), std::vector<std::string>{});
    EXPECT_TRUE(host.shutdown().empty());
  }
}

// Every host call of a whole command, failing in turn: a chosen BXF2 file,
// then an archive with meshes to convert and a BXF2 file to import. Each
// failure ends the command with E_UNEXPECTED and its temporary folder gone;
// the next command of the same plug-in object runs through, and the module
// leaves nothing alive when the host unloads it.
TEST_F(plugin_command, every_failing_host_call_ends_the_command_cleanly) {
  // A small cabinet: one side, and a door unit with a handle whose mesh
  // comes from the archive.
  const std::string cabinet = R"(<?xml version="1.0" encoding="UTF-8"?>
<bxf xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
  <head><version>2.0</version><unit meter="0.001">mm</unit></head>
  <scene><nodes><node id="n"><cabinetLinks>
    <cabinetLink id="n-c" referenceId="c"><transformations><transformation translation="0 0 100"/></transformations></cabinetLink>
  </cabinetLinks></node></nodes></scene>
  <library>
    <cabinets><cabinet id="c" modelKey="US60">
      <partLinks><partLink id="c-side" referenceId="side"/></partLinks>
      <containerLinks><containerLink id="c-inner" referenceId="inner"/></containerLinks>
    </cabinet></cabinets>
    <containers><container id="inner" modelKey="INNEN">
      <functionUnitLinks><functionUnitLink id="inner-door" referenceId="door"/></functionUnitLinks>
      <boundary xsi:type="Box"><extent>562 540 682</extent></boundary>
    </container></containers>
    <parts><part id="side" modelKey="KSL"><geometry xsi:type="Box"><extent>19 560 720</extent></geometry></part></parts>
    <functionUnits><functionUnit id="door">
      <articleLinks><articleLink id="door-handle" referenceId="handle-4711" quantity="1"/></articleLinks>
      <componentLinks><componentLink id="door-handle" referenceId="handle-k1"/></componentLinks>
    </functionUnit></functionUnits>
    <articles><article id="handle-4711" articleNumber="4711">
      <componentNumbers><componentNumber>K1</componentNumber></componentNumbers>
    </article></articles>
    <components><component id="handle-k1" modelKey="handle" componentNumber="K1"/></components>
  </library>
</bxf>
)";
  write_file_bytes(folder + "/small.bxf2", cabinet);
  const std::string archive = folder + "/small.zip";
  {
    int code = 0;
    zip_t* zip = zip_open(archive.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    ASSERT_NE(zip, nullptr);
    const std::string mesh = std::string(BXF_EXAMPLES_DIR) + "/kitchen/cadData/4711_K1.dae";
    ASSERT_GE(zip_file_add(zip, "archived.bxf2", zip_source_buffer(zip, cabinet.data(), cabinet.size(), 0), 0), 0);
    ASSERT_GE(zip_file_add(zip, "cadData/4711_K1.dae", zip_source_file(zip, mesh.c_str(), 0, -1), 0), 0);
    ASSERT_EQ(zip_close(zip), 0);
  }
  const std::vector<std::string> chosen = {folder + "/small.bxf2", archive};

  // One host life: Meshport and the plug-in loaded, the command run with the
  // n-th host call failing (0: none), then another command without failure.
  // Returns the failed operation.
  auto run = [&](int64_t n, int64_t* calls) {
    lent_presenter = std::make_shared<CScriptedPresenter>();
    lent_presenter->add_form_answer(TFormAnswer::enter(false));
    lent_presenter->add_files(chosen);
    CHost host;
    host.application().set_print_messages(false);
    host.load_plugin(MESHPORT_MODULE);
    host.load_plugin(PLUGIN_MODULE);
    TRef<IUnknown> instance;
    EXPECT_EQ(host.plugins().entries().back()->GetInstance(instance.put()), S_OK);
    TRef<IImportPlugin> plugin = instance.query<IImportPlugin>();

    THostFaults::arm(n);
    if (n == 0) THostFaults::reset();
    EXPECT_EQ(plugin->execute(0), n == 0 ? S_OK : E_UNEXPECTED) << n;
    const std::string failed = THostFaults::failed_operation();
    if (calls) *calls = THostFaults::calls();
    THostFaults::disarm();
    EXPECT_EQ(temp_entries(), std::vector<std::string>{}) << n << " " << failed;

    // The next command: the chosen file alone.
    lent_presenter = std::make_shared<CScriptedPresenter>();
    lent_presenter->add_form_answer(TFormAnswer::enter(false));
    lent_presenter->add_files({chosen.front()});
    const size_t before = host.project().objects().size();
    EXPECT_EQ(plugin->execute(0), S_OK) << n << " " << failed;
    EXPECT_EQ(lent_presenter->pending_file_answers(), 0u) << n << " " << failed;
    EXPECT_GT(host.project().objects().size(), before) << n << " " << failed;
    EXPECT_EQ(temp_entries(), std::vector<std::string>{}) << n << " " << failed;
    plugin.reset();
    instance.reset();

    testing::internal::CaptureStderr();
    const std::vector<std::string> failures = host.shutdown();
    const std::string report = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(failures.empty()) << n << " " << failed;
    EXPECT_EQ(report, "") << n << " " << failed;
    return failed;
  };

  int64_t calls = 0;
  EXPECT_EQ(run(0, &calls), "");
  ASSERT_GT(calls, 20);
  // The archived file found the converted handle mesh (the chosen file,
  // imported before any conversion, did not).
  const std::string log = read_file_bytes(folder + "/log.txt");
  EXPECT_NE(log.find("small.bxf2: component mesh"), std::string::npos) << log;
  EXPECT_EQ(log.find("archived.bxf2"), std::string::npos) << log;
  std::set<std::string> failed_operations;
  for (int64_t n = 1; n <= calls; ++n) {
    const std::string failed = run(n, nullptr);
    EXPECT_FALSE(failed.empty()) << n;
    failed_operations.insert(failed);
  }
  // The walk reached every kind of step.
  for (const char* operation : {"IApplication.GetPlugins", "IApplication.GetMainWindow", "IProgress.SetText",
                                "IProgress.Proceed", "IProject.GetSelection"}) {
    EXPECT_EQ(failed_operations.count(operation), 1u) << operation;
  }
}

}  // namespace
