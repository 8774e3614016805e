// A stand-in for Meshport whose conversions never end by themselves, for the
// end-to-end tests that stop bxf2-import while it converts. With
// BLOCKING_CONVERTER=child the conversion runs in a child process as
// Meshport's does (`run_reader`); with =host it blocks in the host itself,
// like a call that does not return. Each conversion first writes
// "<target>.started" holding the process id that blocks; in the host, each
// signal that reaches it appends a line to "<target>.signalled".
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "TVR_TLB.h"
#include "hapi.nplugins.h"
#include "meshport.convert.h"
#include "tvrlib.com.h"
#include "uInterfacedObjects.h"

namespace {

class CBlockingConverter : public TImplements<CSafeInterfacedObject, INPlugin, IMeshConverter> {
 public:
  static CBlockingConverter* create() { return construct(new CBlockingConverter()); }

  bool ConvertFile(BSTR source, BSTR target, double, uint8_t) override {
    const std::string to = bstr_to_utf8(target);
    const char* mode = std::getenv("BLOCKING_CONVERTER");
    if (mode && std::string(mode) == "host") {
      std::ofstream(to + ".started") << ::getpid() << '\n';
      for (;;) {
        ::pause();
        std::ofstream(to + ".signalled", std::ios::app) << "signal\n";
      }
    }
    return run_reader(bstr_to_utf8(source), to, [&] {
      std::ofstream(to + ".started") << ::getpid() << '\n';
      for (;;) ::pause();
    });
  }
  std::string class_name() const override { return "CBlockingConverter"; }
};

}  // namespace

PLUGIN_EXPORT IUnknown** create_object(IUnknown** obj) { return create_plugin_object<CBlockingConverter>(obj); }
