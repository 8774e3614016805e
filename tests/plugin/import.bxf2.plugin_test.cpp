// The plug-in module file as the host sees it: its export list, the entry
// point called through its C signature, the protocol table, the guarded COM
// calls, the start and shutdown sequence with the application hook, and an
// empty leak report when the module unloads.
#include <dlfcn.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "hapi.nplugins.h"
#include "hapi.plugins.h"
#include "host.application.h"
#include "host.calls.h"

namespace {

namespace fs = std::filesystem;

// The module loaded by hand, as a caller that only knows the C signature.
class ModuleTest : public ::testing::Test {
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

TEST_F(ModuleTest, exports_only_create_object) {
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

TEST_F(ModuleTest, create_object_fills_the_variable_and_releases_what_it_held) {
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

TEST_F(ModuleTest, protocol_table) {
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

TEST_F(ModuleTest, name_and_caption_before_and_after_initialize) {
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

TEST_F(ModuleTest, initialize_hooks_the_host_and_done_unhooks_it) {
  create(object.put());
  object.query<INPlugin_init>()->initialize(host.application_interface());
  EXPECT_EQ(host.main_window().handler_count(), 1u);
  EXPECT_EQ(object.query<IImportPlugin>()->execute(0), S_OK);
  object.query<INPlugin_done>()->done();  // no command left a file dialog to free
  EXPECT_EQ(host.main_window().handler_count(), 0u);
  EXPECT_TRUE(log_lines().empty());
}

TEST_F(ModuleTest, host_sharing_the_toolkit_window_is_not_hooked) {
  host.main_window().set_handle(0);  // the plug-in toolkit's own window handle
  create(object.put());
  object.query<INPlugin_init>()->initialize(host.application_interface());
  EXPECT_EQ(host.main_window().handler_count(), 0u);
  object.query<INPlugin_done>()->done();
  EXPECT_EQ(host.main_window().handler_count(), 0u);
}

TEST_F(ModuleTest, exception_in_execute_is_logged_and_answered_with_e_unexpected) {
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

TEST_F(ModuleTest, failed_host_call_in_initialize_reaches_the_host) {
  create(object.put());
  THostFaults::arm(1);  // GetMainWindow of the hook
  EXPECT_THROW(object.query<INPlugin_init>()->initialize(host.application_interface()), EOleSysError);
  THostFaults::disarm();
  EXPECT_EQ(host.main_window().handler_count(), 0u);
  object.query<INPlugin_done>()->done();
  EXPECT_EQ(host.main_window().handler_count(), 0u);
}

TEST_F(ModuleTest, null_out_parameter_is_answered_with_e_unexpected) {
  create(object.put());
  TRef<IImportPlugin> plugin = object.query<IImportPlugin>();
  EXPECT_EQ(plugin->name(nullptr), E_UNEXPECTED);
  EXPECT_EQ(plugin->caption(nullptr), E_UNEXPECTED);
  EXPECT_EQ(log_lines().size(), 2u);
}

TEST_F(ModuleTest, object_left_alive_shows_in_the_leak_report) {
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
TEST(ModuleThroughHost, load_run_and_shut_down_with_an_empty_leak_report) {
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

}  // namespace
