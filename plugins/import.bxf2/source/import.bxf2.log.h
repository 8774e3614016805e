// The plug-in's diagnostic log: one line per thing the scene builder left
// out (a component mesh file that is missing, holds no objects or whose name
// is no file name, a machining that is no usable cut, a part without usable
// geometry), so that a user can see what an import did not build, and one
// line per failure of a protocol call. bxf2-import gathers these lines into
// one per mesh and per kind of geometry.
//
// Lines go to standard error, or, when the environment variable
// BXF2_IMPORT_LOG names a file, are appended to that file.
#pragma once

#include <string>
#include <string_view>

// Writes `text` and a line end to the log, control characters escaped as
// printable_text (sysutils) escapes them, so that one call gives one line
// whatever the text quotes from a file. Never raises: a log file that cannot
// be opened sends the line to standard error instead.
void log_line(std::string_view text) noexcept;
