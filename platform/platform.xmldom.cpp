#include "platform.xmldom.h"

#include <filesystem>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include <pugixml.hpp>

#include "sysutils.h"
#include "uInterfacedObjects.h"

// ---------------------------------------------------------------------------
// The document
// ---------------------------------------------------------------------------

// Parse options: comments, processing instructions and CDATA stay as nodes;
// white-space-only text is dropped (parse_ws_pcdata not set); entities and
// line ends are translated; the XML declaration and DOCTYPE are not kept.
// Parsing as a fragment keeps text beside the root element, which the check
// of the top level then refuses (the parser would drop it silently).
static constexpr unsigned parse_options =
    pugi::parse_cdata | pugi::parse_escapes | pugi::parse_wconv_attribute | pugi::parse_eol |
    pugi::parse_comments | pugi::parse_pi | pugi::parse_fragment;

class CXMLDOMDocument : public TImplements<CSafeInterfacedObject, IXMLDOMDocument> {
 public:
  static CXMLDOMDocument* create() { return construct(new CXMLDOMDocument()); }

  bool get_validate_on_parse() override { return _validate_on_parse; }
  void set_validate_on_parse(bool value) override { _validate_on_parse = value; }

  bool load(const std::string& file_name) override {
    _document.reset();
    // Only regular files load: a folder or device would be read as a stream
    // of undefined size.
    std::error_code error;
    if (!std::filesystem::is_regular_file(file_name, error)) return false;
    pugi::xml_parse_result result = _document.load_file(file_name.c_str(), parse_options, pugi::encoding_auto);
    if (!result || !well_formed_top_level()) {
      _document.reset();
      return false;
    }
    return true;
  }

  TXMLNode document_element() override {
    pugi::xml_node root = _document.document_element();
    return root ? TXMLNode(this, root.internal_object(), false) : TXMLNode();
  }

 protected:
  CXMLDOMDocument() = default;

 private:
  // The parser accepts several root elements and text beside the root; a
  // well-formed document has exactly one root element and only comments and
  // processing instructions beside it.
  bool well_formed_top_level() const {
    int elements = 0;
    for (pugi::xml_node n = _document.first_child(); n; n = n.next_sibling()) {
      switch (n.type()) {
        case pugi::node_element: ++elements; break;
        case pugi::node_comment:
        case pugi::node_pi:
        case pugi::node_declaration:
        case pugi::node_doctype: break;
        default: return false;
      }
    }
    return elements == 1;
  }

  pugi::xml_document _document;
  bool _validate_on_parse = false;
};

TRef<IXMLDOMDocument> create_dom_document() { return CXMLDOMDocument::create(); }

// ---------------------------------------------------------------------------
// Nodes
// ---------------------------------------------------------------------------

namespace {

pugi::xml_node as_node(void* handle) { return pugi::xml_node(static_cast<pugi::xml_node_struct*>(handle)); }
pugi::xml_attribute as_attribute(void* handle) {
  return pugi::xml_attribute(static_cast<pugi::xml_attribute_struct*>(handle));
}

bool is_text(const pugi::xml_node& n) { return n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata; }

// All text and CDATA below `root`, in document order, walked without recursion.
std::string text_below(pugi::xml_node root) {
  pugi::xml_node first = root.first_child();
  // The common case: one text child.
  if (first && is_text(first) && !first.next_sibling()) return first.value();
  std::string text;
  pugi::xml_node n = first;
  while (n) {
    if (is_text(n)) text += n.value();
    if (n.first_child()) {
      n = n.first_child();
      continue;
    }
    while (n && n != root && !n.next_sibling()) n = n.parent();
    if (!n || n == root) break;
    n = n.next_sibling();
  }
  return text;
}

}  // namespace

int32_t TXMLNode::node_type() const {
  if (!_handle) return NODE_INVALID;
  if (_is_attribute) return NODE_ATTRIBUTE;
  switch (as_node(_handle).type()) {
    case pugi::node_element: return NODE_ELEMENT;
    case pugi::node_pcdata: return NODE_TEXT;
    case pugi::node_cdata: return NODE_CDATA_SECTION;
    case pugi::node_pi:
    case pugi::node_declaration: return NODE_PROCESSING_INSTRUCTION;
    case pugi::node_comment: return NODE_COMMENT;
    case pugi::node_document: return NODE_DOCUMENT;
    case pugi::node_doctype: return NODE_DOCUMENT_TYPE;
    default: return NODE_INVALID;
  }
}

std::string TXMLNode::node_name() const {
  if (!_handle) return {};
  if (_is_attribute) return as_attribute(_handle).name();
  pugi::xml_node n = as_node(_handle);
  switch (n.type()) {
    case pugi::node_pcdata: return "#text";
    case pugi::node_cdata: return "#cdata-section";
    case pugi::node_comment: return "#comment";
    case pugi::node_document: return "#document";
    default: return n.name();
  }
}

std::string TXMLNode::text() const {
  if (!_handle) return {};
  if (_is_attribute) return as_attribute(_handle).value();
  pugi::xml_node n = as_node(_handle);
  if (n.type() == pugi::node_element || n.type() == pugi::node_document) return text_below(n);
  return n.value();
}

std::optional<std::string> TXMLNode::node_value() const {
  if (!_handle) return std::nullopt;
  if (_is_attribute) return std::string(as_attribute(_handle).value());
  pugi::xml_node n = as_node(_handle);
  switch (n.type()) {
    case pugi::node_pcdata:
    case pugi::node_cdata:
    case pugi::node_comment:
    case pugi::node_pi:
    case pugi::node_declaration: return std::string(n.value());
    default: return std::nullopt;
  }
}

TXMLNamedNodeMap TXMLNode::attributes() const {
  if (!_handle || _is_attribute || as_node(_handle).type() != pugi::node_element) return {};
  return TXMLNamedNodeMap(*this);
}

TXMLNodeList TXMLNode::child_nodes() const {
  if (!_handle || _is_attribute) return {};
  return TXMLNodeList(*this);
}

TXMLNode TXMLNode::parent_node() const {
  if (!_handle || _is_attribute) return {};
  pugi::xml_node parent = as_node(_handle).parent();
  return parent ? TXMLNode(_document.get(), parent.internal_object(), false) : TXMLNode();
}

std::ptrdiff_t TXMLNode::source_offset() const {
  if (!_handle || _is_attribute) return -1;
  pugi::xml_node n = as_node(_handle);
  std::ptrdiff_t offset = n.offset_debug();
  if (offset < 0) return offset;
  // The parser records where the name or content starts; report the markup's '<'.
  switch (n.type()) {
    case pugi::node_element: return offset - 1;                  // "<"
    case pugi::node_pi:
    case pugi::node_declaration: return offset - 2;              // "<?"
    case pugi::node_comment: return offset - 4;                  // "<!--"
    case pugi::node_cdata: return offset - 9;                    // "<![CDATA["
    default: return offset;
  }
}

// ---------------------------------------------------------------------------
// Lists by index
// ---------------------------------------------------------------------------

// Both lists are linked lists underneath; the cursor makes a walk by rising
// index cost one step per item, and any other access at most one walk from
// the cursor or from the front.

int32_t TXMLNodeList::length() const {
  if (_parent.is_null()) return 0;
  if (_length < 0) {
    int32_t n = 0;
    for (pugi::xml_node c = as_node(_parent._handle).first_child(); c; c = c.next_sibling()) ++n;
    _length = n;
  }
  return _length;
}

TXMLNode TXMLNodeList::item(int32_t index) const {
  if (index < 0 || index >= length()) return {};
  pugi::xml_node n;
  int32_t at;
  if (_cursor && _cursor_index <= index) {
    n = as_node(_cursor);
    at = _cursor_index;
  } else {
    n = as_node(_parent._handle).first_child();
    at = 0;
  }
  for (; at < index; ++at) n = n.next_sibling();
  _cursor = n.internal_object();
  _cursor_index = index;
  return TXMLNode(_parent._document.get(), n.internal_object(), false);
}

int32_t TXMLNamedNodeMap::length() const {
  if (_element.is_null()) return 0;
  if (_length < 0) {
    int32_t n = 0;
    for (pugi::xml_attribute a = as_node(_element._handle).first_attribute(); a; a = a.next_attribute()) ++n;
    _length = n;
  }
  return _length;
}

TXMLNode TXMLNamedNodeMap::item(int32_t index) const {
  if (index < 0 || index >= length()) return {};
  pugi::xml_attribute a;
  int32_t at;
  if (_cursor && _cursor_index <= index) {
    a = as_attribute(_cursor);
    at = _cursor_index;
  } else {
    a = as_node(_element._handle).first_attribute();
    at = 0;
  }
  for (; at < index; ++at) a = a.next_attribute();
  _cursor = a.internal_object();
  _cursor_index = index;
  return TXMLNode(_element._document.get(), a.internal_object(), true);
}

// ---------------------------------------------------------------------------
// Positions
// ---------------------------------------------------------------------------

namespace {

bool starts_with_bytes(const std::string& s, std::initializer_list<unsigned char> bytes) {
  if (s.size() < bytes.size()) return false;
  size_t i = 0;
  for (unsigned char b : bytes)
    if (static_cast<unsigned char>(s[i++]) != b) return false;
  return true;
}

std::string utf16_bytes_to_utf8(const std::string& bytes, bool big_endian) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    auto b0 = static_cast<unsigned char>(bytes[2 * i]), b1 = static_cast<unsigned char>(bytes[2 * i + 1]);
    units[i] = char16_t(big_endian ? (b0 << 8 | b1) : (b1 << 8 | b0));
  }
  return utf16_to_utf8(units);
}

std::string latin1_to_utf8(const std::string& bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (char c : bytes) {
    auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      text += c;
    } else {
      text += char(0xC0 | b >> 6);
      text += char(0x80 | (b & 0x3F));
    }
  }
  return text;
}

// The file's text as the loader sees it: UTF-16 by byte-order mark or by the
// first character '<'; Latin-1 when the declaration names it; UTF-8 otherwise.
std::string decoded_text(const std::string& bytes) {
  if (starts_with_bytes(bytes, {0xFE, 0xFF}) || starts_with_bytes(bytes, {0x00, 0x3C}))
    return utf16_bytes_to_utf8(bytes, true);
  if (starts_with_bytes(bytes, {0xFF, 0xFE}) || starts_with_bytes(bytes, {0x3C, 0x00}))
    return utf16_bytes_to_utf8(bytes, false);
  if (bytes.compare(0, 5, "<?xml") == 0) {
    std::string declaration = upper_case(bytes.substr(0, bytes.find("?>")));
    if (declaration.find("ISO-8859-1") != std::string::npos || declaration.find("LATIN1") != std::string::npos)
      return latin1_to_utf8(bytes);
  }
  return bytes;
}

}  // namespace

std::optional<TTextPosition> xml_text_position(const std::string& file_name, std::ptrdiff_t offset) {
  if (offset < 0) return std::nullopt;
  std::ifstream in(file_name, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string text = decoded_text(bytes);
  if (size_t(offset) > text.size()) return std::nullopt;
  TTextPosition position{1, 1};
  for (size_t i = 0; i < size_t(offset); ++i) {
    if (text[i] == '\n') {
      ++position.line;
      position.column = 1;
    } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      ++position.column;
    }
  }
  return position;
}
