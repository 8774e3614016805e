#include "import.bxf2.parser.tools.h"

#include <fmt/format.h>

#include "platform.locale.h"

// ---------------------------------------------------------------------------
// Loading
// ---------------------------------------------------------------------------

TRef<IXMLDOMDocument> load_document(const std::string& file_name, TXMLParseError* error) {
  TRef<IXMLDOMDocument> dom = create_dom_document();
  dom->set_validate_on_parse(true);
  if (!dom->load(file_name)) {
    if (error) *error = dom->parse_error();
    return nullptr;
  }
  return dom;
}

// ---------------------------------------------------------------------------
// Enumeration
// ---------------------------------------------------------------------------

CDOMEnumerator::CDOMEnumerator(const TXMLNode& node) : _node(node) { ASSERT(!node.is_null()); }

bool CDOMEnumerator::moveNext() {
  if (_current < length() - 1) {
    ++_current;
    return true;
  }
  return false;
}

TXMLNode CDOMEnumerator::current() {
  ASSERT(_current < length());
  return item(_current);
}

int32_t CAttributeEnumerator::length() {
  if (!_fetched) {
    _list = _node.attributes();
    _fetched = true;
  }
  return _list.length();
}

TXMLNode CAttributeEnumerator::item(int32_t index) {
  length();
  return _list.item(index);
}

int32_t CChildEnumerator::length() {
  if (!_fetched) {
    _list = _node.child_nodes();
    _fetched = true;
  }
  return _list.length();
}

TXMLNode CChildEnumerator::item(int32_t index) {
  length();
  return _list.item(index);
}

TRef<IDOMEnumerator> attributes_of(const TXMLNode& node) { return CAttributeEnumerator::create(node); }
TRef<IDOMEnumerator> children_of(const TXMLNode& node) { return CChildEnumerator::create(node); }

// ---------------------------------------------------------------------------
// Node reading
// ---------------------------------------------------------------------------

std::string node_text(const TXMLNode& node) {
  ASSERT(!node.is_null());
  std::string text = node.text();
  if (!text.empty()) return text;
  return node.node_value().value_or(std::string());
}

TBXF_element element_of(const TXMLNode& node) {
  ASSERT(!node.is_null());
  if (node.node_type() != NODE_ELEMENT) throw EParse("");
  return element_named(node.node_name_view());
}

TBXF_attribute attribute_of(const TXMLNode& node) {
  ASSERT(!node.is_null());
  if (node.node_type() != NODE_ATTRIBUTE) return TBXF_attribute::unknown;
  return attribute_named(node.node_name_view());
}

// ---------------------------------------------------------------------------
// Values
// ---------------------------------------------------------------------------

double to_double(std::string_view text) {
  const std::string local = with_decimal_separator(text);
  if (std::optional<double> value = text_to_float(local)) return *value;
  throw EConvertError(fmt::format("'{}' is not a valid floating point value", local));
}

int32_t read_integer(const TXMLNode& node) {
  std::string text = node.text();
  if (std::optional<int32_t> value = text_to_int(text)) return *value;
  throw EConvertError(fmt::format("'{}' is not a valid integer value", text));
}

double read_double(const TXMLNode& node) { return to_double(node.text()); }

namespace {

// The node's text split at every space into exactly `N` numbers.
template <int N>
void read_numbers(const TXMLNode& node, double (&numbers)[N]) {
  std::string text = node.text();
  std::string_view parts[N];
  int count = 0;
  size_t start = 0;
  while (true) {
    size_t space = text.find(' ', start);
    std::string_view part = std::string_view(text).substr(start, space == std::string::npos ? space : space - start);
    ASSERT(count < N);
    parts[count++] = part;
    if (space == std::string::npos) break;
    start = space + 1;
  }
  ASSERT(count == N);
  for (int i = 0; i < N; ++i) numbers[i] = to_double(parts[i]);
}

}  // namespace

float2 read_float2(const TXMLNode& node) {
  double v[2];
  read_numbers(node, v);
  return float2(v[0], v[1]);
}

float3 read_float3(const TXMLNode& node) {
  double v[3];
  read_numbers(node, v);
  return float3(v[0], v[1], v[2]);
}

float4 read_float4(const TXMLNode& node) {
  double v[4];
  read_numbers(node, v);
  return float4(v[0], v[1], v[2], v[3]);
}
