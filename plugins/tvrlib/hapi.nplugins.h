// The plug-in protocol: the entry point every plug-in module exports, and
// the interfaces through which the host starts and stops a plug-in object.
//
// The host loads the module, calls `create_object` once and keeps the object
// it returns; it then calls `initialize` with its application (when the
// object answers INPlugin_init), and at shutdown `done` (when it answers
// INPlugin_done) before it releases the object and unloads the module.
//
// A module defines its entry point with `create_plugin_object`, which every
// module shares, so that all of them guard it alike:
//
//   PLUGIN_EXPORT IUnknown** create_object(IUnknown** obj) { return create_plugin_object<CPlugin>(obj); }
#pragma once

#include <utility>

#include "TVR_TLB.h"

// The exported entry point, with C linkage and by name:
//   extern "C" IUnknown** create_object(IUnknown** obj);
// Stores a counted reference to a new plug-in object in `*obj` (releasing
// what the variable held) and returns `obj`.
using TCreateObjectFunc = IUnknown** (*)(IUnknown** obj);
inline constexpr const char* CREATE_OBJECT_NAME = "create_object";

// Declares a function of a module's C interface: C linkage, and visible
// outside the module although the module hides every other symbol.
#define PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

// Marks a plug-in object; no methods of its own.
struct INPlugin : IUnknown {
  static constexpr TGUID IID = TGUID::parse("{B5B83C15-E76B-4520-BD6D-91D24A3A4E44}");
  using Parent = IUnknown;

 protected:
  ~INPlugin() = default;
};

struct INPlugin_init : IUnknown {
  static constexpr TGUID IID = TGUID::parse("{372AF292-2F5B-4243-BBD0-1BCF4D048003}");
  using Parent = IUnknown;
  // Plain call: hands the plug-in the host application (the plug-in takes its
  // own reference). An exception raised inside reaches the host.
  virtual void initialize(IApplication* application) = 0;  // 3

 protected:
  ~INPlugin_init() = default;
};

struct INPlugin_done : IUnknown {
  static constexpr TGUID IID = TGUID::parse("{71259F7B-755A-47A0-8555-D5D4EEF666C9}");
  using Parent = IUnknown;
  // Plain call: the plug-in lets go of the host. An exception raised inside
  // reaches the host.
  virtual void done() = 0;  // 3

 protected:
  ~INPlugin_done() = default;
};

// The body of a module's `create_object`: makes a `Plugin` with
// `Plugin::create()` (a new object without references), stores a counted
// reference to its IUnknown (through INPlugin) in `*obj`, releases what the
// variable held and returns `obj`; the object's count is then 1, held by the
// caller. A null `obj` gives null and makes nothing. When making the object
// fails (memory runs out, its constructor raises), `*obj` stays as it was
// and nothing is released. Never raises: no exception crosses the module's
// boundary.
template <class Plugin>
IUnknown** create_plugin_object(IUnknown** obj) noexcept {
  if (!obj) return nullptr;
  try {
    TRef<IUnknown> made(static_cast<INPlugin*>(Plugin::create()));
    if (IUnknown* previous = std::exchange(*obj, made.detach())) previous->Release();
  } catch (...) {
  }
  return obj;
}
