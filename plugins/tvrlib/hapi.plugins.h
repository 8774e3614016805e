// The interfaces of a plug-in object that offers a command: its identifier,
// its menu caption and the command itself. COM calls.
#pragma once

#include "TVR_TLB.h"

struct IPlugin : IUnknown {
  static constexpr TGUID IID = TGUID::parse("{AAA15D5A-6D02-4CDD-B278-5F2CD96135B6}");
  using Parent = IUnknown;
  // The plug-in's identifier.
  virtual HRESULT name(BSTR* value) = 0;  // 3

 protected:
  ~IPlugin() = default;
};

struct IImportPlugin : IPlugin {
  static constexpr TGUID IID = TGUID::parse("{73326794-2F24-4E1A-81DA-35F96DA146E5}");
  using Parent = IPlugin;
  // The menu caption of the command.
  virtual HRESULT caption(BSTR* value) = 0;  // 4
  // Runs the command; `param` is the host's and carries no meaning for the plug-in.
  virtual HRESULT execute(intptr_t param) = 0;  // 5

 protected:
  ~IImportPlugin() = default;
};
