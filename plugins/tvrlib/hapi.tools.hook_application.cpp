#include "hapi.tools.hook_application.h"

#include <string>

#include "hapi.format_settings.h"
#include "platform.application.h"
#include "platform.codepage.h"

namespace {

// ---------------------------------------------------------------------------
// Module-wide state, cleared at load
// ---------------------------------------------------------------------------

struct THookState {
  bool hooked = false;
  // Whether the toolkit application already uses the host main window,
  // computed once for the module's life.
  bool shared_window_computed = false;
  bool shared_window = false;
  TRef<IMessageHandler> handler;
  int32_t start_count = 0;

  // At unload a handler still held is dropped without calling the pump.
  ~THookState() { handler.reset(); }
};
THookState g_hook;

// Whether the toolkit application's window is the host main window's. The
// answer is kept, so the unhook sees what the hook saw even though the hook
// changes the toolkit's handle.
bool shares_window(IMainWindow* window) {
  if (g_hook.shared_window_computed) return g_hook.shared_window;
  int32_t handle = 0;
  OleCheck(window->GetHandle(&handle));
  g_hook.shared_window = THandle(handle) == application().handle();  // sign-extended
  g_hook.shared_window_computed = true;
  return g_hook.shared_window;
}

// The face name as the toolkit keeps it: in the 8-bit code page (characters
// it cannot hold become '?') and at most MAX_FONT_NAME_LENGTH characters.
std::string toolkit_font_name(const TBStr& name) {
  std::string ansi = utf8_to_ansi(name.utf8());
  if (ansi.size() > MAX_FONT_NAME_LENGTH) ansi.resize(MAX_FONT_NAME_LENGTH);
  return ansi_to_utf8(ansi);
}

TRef<IMainWindow> main_window(IApplication* application) {
  TRef<IMainWindow> window;
  OleCheck(application->GetMainWindow(window.put()));
  ASSERT(window);
  return window;
}

}  // namespace

// ---------------------------------------------------------------------------
// Hook and unhook
// ---------------------------------------------------------------------------

void hook_application(IApplication* application) {
  if (g_hook.hooked) return;
  g_hook.hooked = true;

  TRef<IMainWindow> window = main_window(application);
  if (shares_window(window.get())) return;

  int32_t handle = 0;
  OleCheck(window->GetHandle(&handle));
  CApplication& toolkit = ::application();
  toolkit.set_handle(THandle(handle));

  int32_t icon = 0;
  OleCheck(window->GetIcon(&icon));
  toolkit.set_icon(THandle(icon));

  TBStr font_name;
  OleCheck(window->GetFontName(font_name.put()));
  toolkit.set_default_font_name(toolkit_font_name(font_name));

  if (TRef<IMessagePump> pump = window.query<IMessagePump>()) CMessageHandler::start(pump.get());

  if (TRef<IConversionSettings> settings = query_interface<IConversionSettings>(application))
    set_current_format_settings(settings->GetFormatSettings());
}

void unhook_application(IApplication* application) {
  if (!g_hook.hooked) return;
  g_hook.hooked = false;

  TRef<IMainWindow> window = main_window(application);
  if (shares_window(window.get())) return;

  if (query_interface<IConversionSettings>(application)) restore_default_format_settings();

  if (TRef<IMessagePump> pump = window.query<IMessagePump>()) CMessageHandler::stop(pump.get());
}

bool application_hooked() { return g_hook.hooked; }

// ---------------------------------------------------------------------------
// CMessageHandler
// ---------------------------------------------------------------------------

void CMessageHandler::start(IMessagePump* pump) {
  if (g_hook.start_count == 0) {
    ASSERT(!g_hook.handler);
    g_hook.handler = create();
    pump->add_handler(g_hook.handler.get());
  }
  ++g_hook.start_count;
}

void CMessageHandler::stop(IMessagePump* pump) {
  if (g_hook.start_count-- != 1) return;
  ASSERT(g_hook.handler);
  pump->remove_handler(g_hook.handler.get());
  g_hook.handler.reset();
}

int32_t CMessageHandler::start_count() { return g_hook.start_count; }

IMessageHandler* CMessageHandler::handler() { return g_hook.handler.get(); }

void CMessageHandler::handle_message(TMsg& msg, bool& handled) { ::application().handle_message(msg, handled); }
