#include "import.bxf2.log.h"

#include <cstdio>
#include <cstdlib>

void log_line(std::string_view text) {
  const char* file_name = std::getenv("BXF2_IMPORT_LOG");
  std::FILE* out = nullptr;
  if (file_name && *file_name) out = std::fopen(file_name, "ab");
  std::FILE* target = out ? out : stderr;
  std::fwrite(text.data(), 1, text.size(), target);
  std::fputc('\n', target);
  if (out)
    std::fclose(out);
  else
    std::fflush(stderr);
}
