#include "import.bxf2.log.h"

#include <cstdio>
#include <cstdlib>

std::string printable(std::string_view text) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      out += "\\x";
      out += digits[byte >> 4];
      out += digits[byte & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

void log_line(std::string_view text) noexcept {
  try {
    const std::string line = printable(text) + '\n';
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
