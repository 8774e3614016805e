// What bxf2-import says when the import command fails: the command's result
// code by name, the step it was at when that names the file and nothing
// else does, the reason the plug-in logged (as logged), and then what the
// program knows beyond that reason, in the user's terms: what the modules
// sent to the desktop's debug output (where reading stopped, what a link
// looked for, the XML parser's reason for a file that did not load), that
// memory ran out, that the project reached its most objects, that the
// temporary folder cannot be used; for a file with a problem in it, the
// command that lists all of them. Text from files is escaped throughout.
//
//   bxf2-import: the import failed (E_UNEXPECTED: catastrophic failure)
//   EAssertionFailed: kob-999 (import.bxf2.types, line 794)
//   bxf2-import: no part with id "kob-999", referenced at kitchen.zip(kitchen.bxf2):48:9
//   bxf2-import: to list every problem of the file: bxf2-inspect --check kitchen.zip
//
// And what it says when the import succeeded but left things out: the
// plug-in's log, gathered into one line per missing or unusable mesh and
// per kind of part geometry that is not built:
//
//   bxf2-import: kitchen.zip(cadData/4711_K3.dae) is missing: 7 component placements skipped
//   bxf2-import: kitchen.zip(kitchen.bxf2): prism geometry is not built: 2 part placements keep the host's default size (part "side-l")
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bxf2-import.inputs.h"
#include "system.h"

// The facts gathered after a failed import command.
struct TImportFailure {
  HRESULT result = E_UNEXPECTED;  // what `execute` returned
  std::string last_step;          // the last progress text, "" when none
  std::string logged;             // the plug-in's log, lines ending in "\n"
  bool out_of_memory = false;     // memory ran out somewhere in the process
  int64_t objects = 0;            // the project's objects
  int64_t max_objects = 0;        // and the most it may hold
  // Why the temporary folder the command makes its own in cannot be used,
  // when it cannot: "\"/tmp/x/\" cannot be used (No such file or directory)".
  std::optional<std::string> temp_folder_problem;
  // What the modules sent to the desktop's debug output during the command,
  // one entry per message (Meshport's, "meshport: ...", are said with what
  // was left out instead).
  std::vector<std::string> debug_output;
  // The chosen files, for the user's names of what the plug-in saw; none:
  // the texts as they are.
  const CChosenFiles* files = nullptr;
};

// The lines to print (without line ends), in order.
std::vector<std::string> failure_lines(const TImportFailure& failure);

// The plug-in's log of a failed command split into what the builder left
// out before (all lines but the last) and the command's reason (the last
// line, written when the failure ended the command).
std::pair<std::string, std::string> split_failure_log(const std::string& logged);

// The lines that report what a successful import left out (see above),
// from the plug-in's log and the desktop's debug output (Meshport's
// "meshport: <source>: <reason>" for a mesh that gave nothing).
std::vector<std::string> skipped_lines(const std::string& logged, const std::vector<std::string>& debug_output,
                                       const CChosenFiles& files);

// True when the logged reason is a failed internal check of the plug-in's
// import command (module import.bxf2.plugin): its temporary folder, a chosen
// file that vanished, the missing progress display.
bool failed_command_check(const std::string& logged);

// Why `folder` cannot hold a new folder, or nothing when it can (tried by
// making and removing one).
std::optional<std::string> folder_problem(const std::string& folder);
