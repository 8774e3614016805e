#include "platform.debug.h"

#include <dlfcn.h>

#include <string>

void output_debug_string(std::string_view text) noexcept {
  using TDebugOutputFunc = void (*)(const char*);
  // Looked up on every call: a program may load this module before or after
  // it starts taking debug output, and failures are rare.
  auto sink = reinterpret_cast<TDebugOutputFunc>(::dlsym(RTLD_DEFAULT, desktop_debug_output_function));
  if (!sink) return;
  try {
    sink(std::string(text).c_str());
  } catch (...) {
  }
}
