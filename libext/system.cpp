#include "system.h"

#include <fmt/format.h>

std::string TGUID::to_string() const {
  return fmt::format("{{{:08X}-{:04X}-{:04X}-{:02X}{:02X}-{:02X}{:02X}{:02X}{:02X}{:02X}{:02X}}}", D1, D2, D3, D4[0],
                     D4[1], D4[2], D4[3], D4[4], D4[5], D4[6], D4[7]);
}

std::string module_name_of(std::string_view file) {
  if (auto slash = file.find_last_of("/\\"); slash != std::string_view::npos) file.remove_prefix(slash + 1);
  if (auto dot = file.rfind('.'); dot != std::string_view::npos) file = file.substr(0, dot);
  return std::string(file);
}

void assertion_failed(std::string_view message, const char* file, int line) {
  throw EAssertionFailed(fmt::format("{} ({}, line {})", message, module_name_of(file), line));
}
