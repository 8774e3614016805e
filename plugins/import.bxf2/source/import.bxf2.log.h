// The plug-in's diagnostic log: one line per thing the scene builder left
// out (a component mesh file that is missing, a part without usable
// geometry), so that a user can see what an import did not build.
//
// Lines go to standard error, or, when the environment variable
// BXF2_IMPORT_LOG names a file, are appended to that file.
#pragma once

#include <string_view>

// Writes `text` and a line end to the log. Never raises: a log file that
// cannot be opened sends the line to standard error instead.
void log_line(std::string_view text);
