// Feeds arbitrary bytes to the unit-expression parser: it must return true or
// false without raising, crashing or leaking, and agree with the settings'
// text-to-value operations.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "uConversionParser.h"
#include "uConversion_IMPL.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  TRef<IFormatSettings> settings = get_conversion_manager()->get_default_settings();

  CConversionParser* parser = CConversionParser::create(settings->get_format_units().get());
  double value = 0;
  bool ok = parser->parse(text, value);
  parser->free();

  try {
    double strict = settings->value_from_text_strict(text);
    if (!ok || !(strict == value || (strict != strict && value != value))) __builtin_trap();
  } catch (const EConversion&) {
    if (ok) __builtin_trap();
  }
  return 0;
}
