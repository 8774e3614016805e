// What bxf2-import says when the import command fails: the command's result
// code by name, the step it was at, the reason the plug-in logged, and then
// what the program knows beyond that reason, which the plug-in cannot say:
// what the modules sent to the desktop's debug output (the XML parser's
// reason for a file that did not load), that memory ran out, that the
// project reached its most objects, that the temporary folder cannot be
// used. Text from files is escaped throughout.
//
//   bxf2-import: the import failed (E_UNEXPECTED: catastrophic failure)
//   bxf2-import: the last step was: Importing BXF2 file (kitchen.bxf2)
//   EOleSysError: E_OUTOFMEMORY: out of memory
//   bxf2-import: the project holds 1000000 objects, the most it may hold (--max-objects)
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "system.h"

// The facts gathered after a failed import command.
struct TImportFailure {
  HRESULT result = E_UNEXPECTED;   // what `execute` returned
  std::string last_step;           // the last progress text, "" when none
  std::string logged;              // the plug-in's log, lines ending in "\n"
  bool out_of_memory = false;      // memory ran out somewhere in the process
  int64_t objects = 0;             // the project's objects
  int64_t max_objects = 0;         // and the most it may hold
  // Why the temporary folder the command makes its own in cannot be used,
  // when it cannot: "\"/tmp/x/\" cannot be used (No such file or directory)".
  std::optional<std::string> temp_folder_problem;
  // What the modules sent to the desktop's debug output during the command,
  // one entry per message.
  std::vector<std::string> debug_output;
};

// The lines to print (without line ends), in order.
std::vector<std::string> failure_lines(const TImportFailure& failure);

// True when the logged reason is a failed internal check of the plug-in's
// import command (module import.bxf2.plugin): its temporary folder, a chosen
// file that vanished, the missing progress display.
bool failed_command_check(const std::string& logged);

// Why `folder` cannot hold a new folder, or nothing when it can (tried by
// making and removing one).
std::optional<std::string> folder_problem(const std::string& folder);
