#include "meshport.plugin.h"

#include <cstdio>

#include "meshport.convert.h"
#include "tvrlib.com.h"

void CMeshportPlugin::initialize(IApplication* application) { _application = application; }

void CMeshportPlugin::done() {
  end_conversion_reader();
  _application.reset();
}

bool CMeshportPlugin::ConvertFile(BSTR source, BSTR target, double scale, uint8_t mode) {
  // A plain call: nothing may escape to the host.
  try {
    return convert_file(bstr_to_utf8(source), bstr_to_utf8(target), scale, mode);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Meshport: cannot convert: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "Meshport: cannot convert: unexpected error\n");
  }
  return false;
}

IUnknown** create_object(IUnknown** obj) { return create_plugin_object<CMeshportPlugin>(obj); }
