#include "import.bxf2.log.h"

#include <cstdio>
#include <cstdlib>

#include "sysutils.h"

void log_line(std::string_view text) noexcept {
  try {
    const std::string line = printable_text(text) + '\n';
    const char* file_name = std::getenv("BXF2_IMPORT_LOG");
    std::FILE* out = nullptr;
    if (file_name && *file_name) out = std::fopen(file_name, "ab");
    std::FILE* target = out ? out : stderr;
    std::fwrite(line.data(), 1, line.size(), target);
    if (out)
      std::fclose(out);
    else
      std::fflush(stderr);
  } catch (...) {  // out of memory for the line: it is lost, the caller goes on
  }
}
