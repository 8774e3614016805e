#include "bench.xml.h"

bool bare_parse_bytes(pugi::xml_document& doc, std::string_view bytes) {
  return bool(doc.load_buffer(bytes.data(), bytes.size(), dom_parse_options));
}
