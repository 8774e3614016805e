#include "hapi.format_settings.h"

#include "uConversion_IMPL.h"

namespace {

// Filled when the module loads and emptied when it unloads, before the
// instance tracker's leak report.
struct TSharedFormatSettings {
  TRef<IFormatSettings> settings;
  TSharedFormatSettings() : settings(get_conversion_manager()->get_default_settings()) {}
  ~TSharedFormatSettings() { settings.reset(); }
};
TSharedFormatSettings g_shared;

}  // namespace

TRef<IFormatSettings> current_format_settings() { return g_shared.settings; }

void set_current_format_settings(TRef<IFormatSettings> settings) { g_shared.settings = std::move(settings); }

void restore_default_format_settings() { g_shared.settings = get_conversion_manager()->get_default_settings(); }
