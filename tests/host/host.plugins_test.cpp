// Loading plug-in modules through the protocol, running one, and shutting it
// down: create, initialize, done, release, unload, in that order.
#include "hapi.plugins.h"
#include "host.application.h"
#include "test.support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class plugins : public ::testing::Test {
 protected:
  fs::path folder;
  fs::path log_file;

  void SetUp() override {
    folder = fs::temp_directory_path() / fs::path("host plugins \xC3\xBC " + std::to_string(::getpid()));
    fs::create_directories(folder);
    log_file = folder / "events.log";
    setenv("HOST_TEST_PLUGIN_LOG", log_file.c_str(), 1);
    unsetenv("HOST_TEST_PLUGIN_FAIL_INIT");
  }
  void TearDown() override {
    unsetenv("HOST_TEST_PLUGIN_LOG");
    unsetenv("HOST_TEST_PLUGIN_FAIL_INIT");
    fs::remove_all(folder);
  }
  std::vector<std::string> events() const {
    std::vector<std::string> lines;
    std::ifstream in(log_file);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

TEST_F(plugins, lifecycle_runs_in_protocol_order) {
  {
    CHost host;
    host.application().set_print_messages(false);
    host.load_plugin(HOST_TEST_PLUGIN);
    EXPECT_EQ(events(), (std::vector<std::string>{"create", "initialize"}));
    ASSERT_EQ(host.plugins().entries().size(), 1u);
    EXPECT_EQ(host.main_window().handler_count(), 1u);

    TRef<IPluginList> list;
    OleCheck(host.application_interface()->GetPlugins(list.put()));
    int32_t count = 0;
    OleCheck(list->GetCount(&count));
    EXPECT_EQ(count, 1);
    TRef<IPluginEntry> entry;
    EXPECT_EQ(list->GetItem(1, entry.put()), E_INVALIDARG);
    OleCheck(list->GetItem(0, entry.put()));
    TRef<IUnknown> instance;
    OleCheck(entry->GetInstance(instance.put()));
    TRef<IImportPlugin> command = instance.query<IImportPlugin>();
    ASSERT_TRUE(command);
    EXPECT_EQ(instance.query<IPlugin>().get(), static_cast<IPlugin*>(command.get()));
    TBStr name;
    OleCheck(command->name(name.put()));
    EXPECT_EQ(name.utf8(), "test.plugin");
    entry.reset();
    instance.reset();
    list.reset();
    command.reset();

    auto failures = host.shutdown();
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(host.plugins().entries().size(), 0u);
    EXPECT_EQ(host.main_window().handler_count(), 0u);
  }
  EXPECT_EQ(events(), (std::vector<std::string>{"create", "initialize", "done", "destroy", "unload"}));
}

TEST_F(plugins, command_reaches_every_host_interface) {
  CHost host;
  host.application().set_print_messages(false);
  host.project().set_placement_center(float3(2, 0, 0));
  host.load_plugin(HOST_TEST_PLUGIN);
  TRef<IUnknown> instance;
  host.plugins().entries()[0]->GetInstance(instance.put());
  TMsg key;
  key.message = 0x0102u;                                  // a character message, which the plug-in takes
  EXPECT_TRUE(host.main_window().dispatch_message(key));  // the plug-in's handler takes it
  host.main_window().post_message(TMsg{});                // dispatched during Proceed
  EXPECT_EQ(instance.query<IImportPlugin>()->execute(0), S_OK);
  instance.reset();

  std::vector<std::string> expected = {"create",   "initialize",          "message 258", "objects 3",
                                       "center 2", "font Sans",           "message 0",   "proceed",
                                       "services", "conversion settings", "execute ok"};
  EXPECT_EQ(events(), expected);

  CProject& project = host.project();
  ASSERT_EQ(project.top_level().size(), 1u);
  CEntity* group = project.top_level()[0];
  EXPECT_EQ(group->name(), "fixture");
  EXPECT_TRUE(group->assembly());
  auto members = group->members();
  ASSERT_EQ(members.size(), 2u);
  CEntity* board = members[0];
  EXPECT_EQ(board->name(), "board");
  EXPECT_EQ(board->property(".material.default.id"), "OAK");
  EXPECT_EQ(board->size(), float3(0.6, 0.019, 0.7));
  EXPECT_EQ(board->locks(), (std::array<bool, 3>{true, false, true}));
  EXPECT_EQ(board->matrix(), float4x4::identity().translate(1, 2, 0));
  EXPECT_EQ(board->texture_matrix(), float4x4::identity().rotate_z(0.5));
  EXPECT_EQ(board->update_count(), 1);
  EXPECT_TRUE(members[1]->article());
  EXPECT_EQ(members[1]->name(), "4711");
  ASSERT_EQ(host.application().messages().size(), 1u);
  EXPECT_EQ(host.application().messages()[0].text, "fixture ran");
  EXPECT_EQ(host.application().messages()[0].flags, MB_ICONERROR);
  EXPECT_EQ(host.main_window().texts(), (std::vector<std::string>{"Working (fixture)"}));
  EXPECT_TRUE(host.project().selection().entities().empty());
}

TEST_F(plugins, modules_that_do_not_load_are_reported_and_left_unloaded) {
  fs::path not_a_module = folder / "broken.plg";
  std::ofstream(not_a_module) << "not a module";
  CHost host;
  try {
    host.load_plugin(not_a_module.string());
    ADD_FAILURE() << "loaded";
  } catch (const EPluginLoad& e) {
    EXPECT_EQ(std::string(e.message()).rfind(not_a_module.string() + ": ", 0), 0u) << e.message();
  }

  setenv("HOST_TEST_PLUGIN_FAIL_INIT", "1", 1);
  EXPECT_THROW_MSG(host.load_plugin(HOST_TEST_PLUGIN), EPluginLoad,
                   std::string(HOST_TEST_PLUGIN) + ": initialize failed: refused to start");
  EXPECT_EQ(host.plugins().entries().size(), 0u);
  EXPECT_EQ(events(), (std::vector<std::string>{"create", "initialize", "destroy", "unload"}));
}

TEST_F(plugins, folder_loading_takes_plg_files_in_name_order) {
  fs::copy_file(HOST_TEST_PLUGIN, folder / "b.plg");
  fs::copy_file(HOST_TEST_PLUGIN, folder / "a.plg");
  std::ofstream(folder / "c.plg") << "broken";
  std::ofstream(folder / "readme.txt") << "not a plug-in";
  CHost host;
  auto failures = host.load_plugins(folder.string());
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_NE(failures[0].find("c.plg"), std::string::npos);
  ASSERT_EQ(host.plugins().entries().size(), 2u);
  EXPECT_EQ(fs::path(host.plugins().entries()[0]->path()).filename(), "a.plg");
  EXPECT_EQ(fs::path(host.plugins().entries()[1]->path()).filename(), "b.plg");
  host.shutdown();
  host.shutdown();  // a second shutdown does nothing
  EXPECT_EQ(events(), (std::vector<std::string>{"create", "initialize", "create", "initialize", "done", "done",
                                                "destroy", "unload", "destroy", "unload"}));
}

}  // namespace
