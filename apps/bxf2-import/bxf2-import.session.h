// One run of bxf2-import: starts the reference host (with Meshport unless
// told otherwise), loads the import plug-in through the plug-in protocol,
// runs its import command with the console answering the dialogs and showing
// the progress, writes the project, and shuts everything down again.
//
// The exit status is exit_success when the command returned success and
// every output was written; exit_failure when the host or a plug-in did not
// start, the command returned a failure code (the reason the plug-in logged
// is printed, and beside it what the modules sent to the desktop's debug
// output, such as the XML parser's reason for a file that did not load, in
// the user's terms: bxf2-import.report), the user cancelled the warning or
// the file dialog (nothing is written), an output could not be written, or
// a module left objects alive at shutdown (a non-empty leak report);
// exit_usage for --interactive without a terminal. Before the host starts,
// the chosen files are looked at for the warnings of bxf2-import.inputs.
#pragma once

#include <iosfwd>
#include <string>

#include "bxf2-import.options.h"

// The module file of the import plug-in and of the host's conversion plug-in.
inline constexpr const char* import_plugin_file = "import.bxf2.plg";
inline constexpr const char* meshport_plugin_file = "meshport.plg";

// The folder of the import plug-in when --plugin-dir is not given, found from
// the program's path: the program's own folder, the installed layout
// (`../lib/bxf2-import`), then the build tree (`../../plugins/import.bxf2`);
// the first that holds import.bxf2.plg. "" when none does.
std::string default_plugin_dir(const std::string& program_path);

// The host's conversion plug-in: in `plugin_dir`, the program's folder, the
// installed layout or the build tree (`../../host/meshport`); "" when none
// holds it.
std::string find_meshport(const std::string& program_path, const std::string& plugin_dir);

// Whether the process has a controlling terminal to ask on.
bool has_terminal();

// Runs the import as `options` say and returns the exit status. The summary
// goes to `out`; progress, messages and errors to `err`.
int run_import(const TImportOptions& options, const std::string& program_path, std::ostream& out, std::ostream& err);
