#include "bench.xml.h"

#include <libxml/parser.h>
#include <libxml/xmlreader.h>

namespace {

// The adaptor's options.
constexpr int parse_options = XML_PARSE_NOENT | XML_PARSE_NONET;

int64_t step_through(xmlTextReaderPtr reader) {
  if (!reader) return -1;
  int64_t nodes = 0;
  int result;
  while ((result = xmlTextReaderRead(reader)) == 1) ++nodes;
  xmlFreeTextReader(reader);
  return result == 0 ? nodes : -1;
}

}  // namespace

int64_t bare_parse_file(const std::string& path) {
  return step_through(xmlReaderForFile(path.c_str(), nullptr, parse_options));
}

int64_t bare_parse_bytes(std::string_view bytes) {
  return step_through(xmlReaderForMemory(bytes.data(), int(bytes.size()), nullptr, nullptr, parse_options));
}
