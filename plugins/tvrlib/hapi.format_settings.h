// The host API's shared current format settings: the one `IFormatSettings`
// through which the plug-in's libraries show and read lengths.
//
// At module load it holds the unit conversion's default settings
// (millimetres, decimal style); while the plug-in is hooked to a host that
// offers its own settings (IConversionSettings), it holds the host's; it is
// released when the module unloads.
//
//   TRef<IFormatSettings> settings = current_format_settings();
//   settings->format_value(0.5, ffUnits);
#pragma once

#include "uConversion_INTF.h"

// The settings held now; null only while a host has handed over none.
TRef<IFormatSettings> current_format_settings();
// Holds `settings` (a counted reference) in place of the current ones.
void set_current_format_settings(TRef<IFormatSettings> settings);
// Holds the unit conversion's default settings again.
void restore_default_format_settings();
