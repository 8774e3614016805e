// bxf2-import: imports BXF2 files and ZIP archives into a project of the
// reference host through the import plug-in, and writes the project as glTF
// binary and JSON. See bxf2-import.options.h for the command line and
// bxf2-import.session.h for the exit status.
#include <cstdio>
#include <iostream>
#include <new>

#include "bxf2-import.options.h"
#include "bxf2-import.session.h"
#include "platform.files.h"

int main(int argc, char** argv) {
  try {
    const TParsedCommandLine parsed = parse_command_line(argc, argv, std::cout, std::cerr);
    if (!parsed.options) return parsed.exit_status;
    return run_import(*parsed.options, module_path(), std::cout, std::cerr);
  } catch (const std::bad_alloc&) {
    std::fputs("bxf2-import: out of memory\n", stderr);  // without allocating
    return exit_failure;
  } catch (const std::exception& e) {
    std::cerr << "bxf2-import: " << e.what() << '\n';
    return exit_failure;
  }
}
