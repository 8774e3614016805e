// `IConfigurationSettings`: what an object answers when its whole state is
// described by its published properties, so that configuration code can read
// and write it without knowing its class.
#pragma once

#include "uInterfacedObjects.h"

struct IConfigurationSettings : IInterface {
  static constexpr TGUID IID = TGUID::parse("{84254A51-36C2-4C3D-8150-1E735ABE9E0F}");
  using Parent = IInterface;
  // The object implementing the interface; never null. It lives as long as
  // the reference through which it was reached.
  virtual CSafeBaseObject* get_object() = 0;
};
