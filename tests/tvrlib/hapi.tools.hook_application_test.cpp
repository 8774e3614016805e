// The application hook against a fake host: adopting the main window's
// handle, icon and font, the message handler's registration and its
// pre-processing, and the hand-over of the format settings.
#include "hapi.tools.hook_application.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hapi.format_settings.h"
#include "platform.application.h"
#include "uConversion_IMPL.h"

namespace {

// A message pump that records its handlers.
class CFakeWindow : public TImplements<CSafeInterfacedObject, IMainWindow> {
 public:
  static CFakeWindow* create() { return construct(new CFakeWindow()); }

  int32_t handle = 0x00010010;
  int32_t icon = 0x00020020;
  std::u16string font_name = u"Segoe UI";
  HRESULT icon_result = S_OK;
  int handle_calls = 0;

  HRESULT GetHandle(int32_t* value) override {
    ++handle_calls;
    *value = handle;
    return S_OK;
  }
  HRESULT GetIcon(int32_t* value) override {
    *value = icon;
    return icon_result;
  }
  HRESULT GetFontName(BSTR* value) override {
    *value = TBStr(std::u16string_view(font_name)).detach();
    return S_OK;
  }

 protected:
  CFakeWindow() = default;
};

class CFakePumpWindow : public TImplements<CFakeWindow, IMessagePump> {
 public:
  static CFakePumpWindow* create() { return construct(new CFakePumpWindow()); }

  std::vector<TRef<IMessageHandler>> handlers;
  int add_calls = 0;
  int remove_calls = 0;

  void add_handler(IMessageHandler* handler) override {
    ++add_calls;
    handlers.emplace_back(handler);
  }
  void remove_handler(IMessageHandler* handler) override {
    ++remove_calls;
    std::erase(handlers, TRef<IMessageHandler>(handler));
  }

 protected:
  CFakePumpWindow() = default;
};

class CFakeApplication : public TImplements<CSafeInterfacedObject, IApplication> {
 public:
  static CFakeApplication* create(IMainWindow* window) { return construct(new CFakeApplication(window)); }

  TRef<IMainWindow> window;
  int main_window_calls = 0;

  HRESULT MessageBox(BSTR, int32_t, int32_t*) override { return E_NOTIMPL; }
  HRESULT GetProject(IProject**) override { return E_NOTIMPL; }
  HRESULT GetMainWindow(IMainWindow** value) override {
    ++main_window_calls;
    *value = window.get();
    window->AddRef();
    return S_OK;
  }
  HRESULT GetPlugins(IPluginList**) override { return E_NOTIMPL; }

 protected:
  explicit CFakeApplication(IMainWindow* w) : window(w) {}
};

// An application that also offers its format settings.
class CFakeSettingsApplication : public TImplements<CFakeApplication, IConversionSettings> {
 public:
  static CFakeSettingsApplication* create(IMainWindow* window, TRef<IFormatSettings> settings) {
    return construct(new CFakeSettingsApplication(window, std::move(settings)));
  }

  TRef<IFormatSettings> settings;
  TRef<IFormatSettings> GetFormatSettings() override { return settings; }

 protected:
  CFakeSettingsApplication(IMainWindow* w, TRef<IFormatSettings> s) : TImplements(w), settings(std::move(s)) {}
};

// Each test starts from the module's load state and a fresh toolkit application.
class application_hook : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    reset_application_hook();
    restore_default_format_settings();
    CToolkitApplication& toolkit = application();
    toolkit.set_handle(0);
    toolkit.set_icon(0);
    toolkit.set_default_font_name("Sans");
    toolkit.set_on_message({});
    toolkit.hooks() = {};
    toolkit.check_synchronize();
  }
};

TEST_F(application_hook, hook_adopts_the_main_window_and_registers_the_handler) {
  TRef<CFakePumpWindow> window = CFakePumpWindow::create();
  TRef<IApplication> app = CFakeApplication::create(window.get());

  hook_application(app.get());
  EXPECT_TRUE(application_hooked());
  EXPECT_EQ(application_shares_window(), false);
  EXPECT_EQ(application().handle(), 0x00010010);
  EXPECT_EQ(application().icon(), 0x00020020);
  EXPECT_EQ(application().default_font_name(), "Segoe UI");
  ASSERT_EQ(window->handlers.size(), 1u);
  EXPECT_EQ(window->handlers[0].get(), CMessageHandler::handler());
  EXPECT_EQ(CMessageHandler::start_count(), 1);

  // A second hook while hooked does nothing.
  hook_application(app.get());
  EXPECT_EQ(window->add_calls, 1);
  EXPECT_EQ(CMessageHandler::start_count(), 1);

  unhook_application(app.get());
  EXPECT_FALSE(application_hooked());
  EXPECT_TRUE(window->handlers.empty());
  EXPECT_EQ(window->remove_calls, 1);
  EXPECT_EQ(CMessageHandler::handler(), nullptr);
  EXPECT_EQ(CMessageHandler::start_count(), 0);
  // The adopted handle, icon and font stay.
  EXPECT_EQ(application().handle(), 0x00010010);
  EXPECT_EQ(application().default_font_name(), "Segoe UI");

  // An unhook while not hooked does nothing.
  int calls = static_cast<CFakeApplication*>(app.get())->main_window_calls;
  unhook_application(app.get());
  EXPECT_EQ(static_cast<CFakeApplication*>(app.get())->main_window_calls, calls);
  EXPECT_EQ(window->remove_calls, 1);
}

TEST_F(application_hook, handle_is_sign_extended_from_32_bits) {
  TRef<CFakePumpWindow> window = CFakePumpWindow::create();
  window->handle = -2;
  TRef<IApplication> app = CFakeApplication::create(window.get());
  hook_application(app.get());
  EXPECT_EQ(application().handle(), THandle(-2));
  unhook_application(app.get());
}

TEST_F(application_hook, host_sharing_the_toolkit_window_changes_nothing) {
  TRef<CFakePumpWindow> window = CFakePumpWindow::create();
  application().set_handle(window->handle);
  TRef<IFormatSettings> host_settings = get_conversion_manager()->new_settings("host", "Host");
  TRef<IApplication> app = CFakeSettingsApplication::create(window.get(), host_settings);

  hook_application(app.get());
  EXPECT_TRUE(application_hooked());
  EXPECT_EQ(application_shares_window(), true);
  EXPECT_EQ(application().icon(), 0);
  EXPECT_EQ(application().default_font_name(), "Sans");
  EXPECT_EQ(window->add_calls, 0);
  EXPECT_NE(current_format_settings().get(), host_settings.get());

  unhook_application(app.get());
  EXPECT_FALSE(application_hooked());
  EXPECT_EQ(window->remove_calls, 0);
  // The test is made once: the answer is kept even after the handle changed.
  EXPECT_EQ(window->handle_calls, 1);
}

TEST_F(application_hook, shared_window_answer_is_kept_for_the_unhook) {
  TRef<CFakePumpWindow> window = CFakePumpWindow::create();
  TRef<IApplication> app = CFakeApplication::create(window.get());
  hook_application(app.get());  // the toolkit now uses the host's handle
  ASSERT_EQ(application().handle(), window->handle);
  unhook_application(app.get());  // still "not shared": the handler goes
  EXPECT_TRUE(window->handlers.empty());
  EXPECT_EQ(application_shares_window(), false);
}

TEST_F(application_hook, host_without_pump_still_gives_handle_icon_and_font) {
  TRef<CFakeWindow> window = CFakeWindow::create();
  TRef<IApplication> app = CFakeApplication::create(window.get());
  hook_application(app.get());
  EXPECT_EQ(application().handle(), 0x00010010);
  EXPECT_EQ(application().icon(), 0x00020020);
  EXPECT_EQ(application().default_font_name(), "Segoe UI");
  EXPECT_EQ(CMessageHandler::handler(), nullptr);
  EXPECT_EQ(CMessageHandler::start_count(), 0);
  unhook_application(app.get());
  EXPECT_EQ(CMessageHandler::start_count(), 0);
}

TEST_F(application_hook, font_name_is_taken_in_the_8_bit_code_page_and_cut) {
  struct TCase {
    std::u16string host;
    std::string toolkit;
  };
  const std::vector<TCase> cases = {
      {u"Segoe UI", "Segoe UI"},
      {u"Grüne Schrift", "Grüne Schrift"},                                              // in the code page
      {u"Schrift \u5B57\u4F53", "Schrift ??"},                                          // not in it
      {std::u16string(200, u'A'), std::string(124, 'A')},                               // cut to 124
      {std::u16string(123, u'B') + u"\u20AC\u20AC", std::string(123, 'B') + "\u20AC"},  // one byte each
      {u"", ""},
  };
  for (const TCase& c : cases) {
    reset();
    TRef<CFakeWindow> window = CFakeWindow::create();
    window->font_name = c.host;
    TRef<IApplication> app = CFakeApplication::create(window.get());
    hook_application(app.get());
    EXPECT_EQ(application().default_font_name(), c.toolkit) << c.toolkit;
    unhook_application(app.get());
  }
}

TEST_F(application_hook, failed_host_call_leaves_the_hook_marked) {
  TRef<CFakePumpWindow> window = CFakePumpWindow::create();
  window->icon_result = E_FAIL;
  TRef<IApplication> app = CFakeApplication::create(window.get());
  EXPECT_THROW(hook_application(app.get()), EOleSysError);
  EXPECT_TRUE(application_hooked());
  EXPECT_EQ(application().handle(), 0x00010010);  // adopted before the failure
  EXPECT_EQ(window->add_calls, 0);                // not reached
  hook_application(app.get());                    // hooked: nothing more
  EXPECT_EQ(window->add_calls, 0);
}

TEST_F(application_hook, two_starts_and_one_stop_keep_the_handler) {
  TRef<CFakePumpWindow> window = CFakePumpWindow::create();
  CMessageHandler::start(window.get());
  CMessageHandler::start(window.get());
  EXPECT_EQ(window->add_calls, 1);
  EXPECT_EQ(CMessageHandler::start_count(), 2);

  CMessageHandler::stop(window.get());
  EXPECT_EQ(window->handlers.size(), 1u);
  EXPECT_NE(CMessageHandler::handler(), nullptr);

  CMessageHandler::stop(window.get());
  EXPECT_TRUE(window->handlers.empty());
  EXPECT_EQ(window->remove_calls, 1);
  EXPECT_EQ(CMessageHandler::handler(), nullptr);
  EXPECT_EQ(CMessageHandler::start_count(), 0);
}

TEST_F(application_hook, format_settings_are_handed_over_and_restored) {
  TRef<IFormatSettings> defaults = get_conversion_manager()->get_default_settings();
  ASSERT_EQ(current_format_settings().get(), defaults.get());

  TRef<CFakePumpWindow> window = CFakePumpWindow::create();
  TRef<IFormatSettings> host_settings = get_conversion_manager()->new_settings("host", "Host");
  TRef<IApplication> app = CFakeSettingsApplication::create(window.get(), host_settings);

  hook_application(app.get());
  EXPECT_EQ(current_format_settings().get(), host_settings.get());
  unhook_application(app.get());
  EXPECT_EQ(current_format_settings().get(), defaults.get());
}

TEST_F(application_hook, host_without_settings_leaves_the_defaults) {
  TRef<IFormatSettings> defaults = get_conversion_manager()->get_default_settings();
  TRef<CFakePumpWindow> window = CFakePumpWindow::create();
  TRef<IApplication> app = CFakeApplication::create(window.get());
  hook_application(app.get());
  EXPECT_EQ(current_format_settings().get(), defaults.get());
  unhook_application(app.get());
  EXPECT_EQ(current_format_settings().get(), defaults.get());
}

// ---------------------------------------------------------------------------
// The handler's pre-processing
// ---------------------------------------------------------------------------

class application_hook_handler : public application_hook {
 protected:
  void SetUp() override {
    application_hook::SetUp();
    window = CFakePumpWindow::create();
    CMessageHandler::start(window.get());
    CToolkitApplication& toolkit = application();
    toolkit.hooks().key_message = [this](TMsg&) {
      checks.push_back("key");
      return false;
    };
    toolkit.hooks().control_message = [this](TMsg&) {
      checks.push_back("control");
      return false;
    };
    toolkit.queue([this] { checks.push_back("queued"); });
  }
  void TearDown() override {
    CMessageHandler::stop(window.get());
    application_hook::TearDown();
  }

  TRef<CFakePumpWindow> window;
  std::vector<std::string> checks;
};

TEST_F(application_hook_handler, message_taken_by_the_application_event_skips_the_rest) {
  application().set_on_message([this](TMsg& msg, bool& handled) {
    checks.push_back("event");
    handled = msg.message == WM_KEYDOWN;
  });
  TMsg msg;
  msg.message = WM_KEYDOWN;
  bool handled = false;
  window->handlers[0]->handle_message(msg, handled);
  EXPECT_TRUE(handled);
  EXPECT_EQ(checks, (std::vector<std::string>{"event", "control"}));
  EXPECT_EQ(application().queued_count(), 1u);
}

TEST_F(application_hook_handler, ordinary_message_runs_the_queued_calls) {
  TMsg msg;
  msg.message = WM_NULL;
  bool handled = false;
  window->handlers[0]->handle_message(msg, handled);
  EXPECT_FALSE(handled);
  EXPECT_EQ(checks, (std::vector<std::string>{"control", "key", "queued"}));
  EXPECT_EQ(application().queued_count(), 0u);
}

TEST_F(application_hook_handler, message_claimed_by_a_control_is_handled) {
  application().hooks().control_message = [](TMsg&) { return true; };
  TMsg msg;
  bool handled = false;
  window->handlers[0]->handle_message(msg, handled);
  EXPECT_TRUE(handled);
  EXPECT_EQ(application().queued_count(), 1u);
}

}  // namespace
