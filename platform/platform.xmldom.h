// The XML DOM: loads an XML file into a read-only tree and offers the node
// operations the BXF2 reader needs (node type, qualified name, text, value,
// attribute map and child list by index, document element).
//
//   TRef<IXMLDOMDocument> dom = create_dom_document();
//   dom->set_validate_on_parse(true);
//   if (dom->load("cabinet.bxf2")) {
//     TXMLNode root = dom->document_element();
//     TXMLNodeList children = root.child_nodes();
//     for (int32_t i = 0; i < children.length(); ++i) use(children.item(i));
//   }
//
// How files are read:
// - UTF-8 and UTF-16 (either byte order), with or without a byte-order mark,
//   with or without an encoding declaration; the tree's text is UTF-8.
// - Comments, processing instructions and CDATA sections stay in the tree as
//   nodes of their own; text made only of white space between elements is
//   dropped; other text is kept exactly (no trimming).
// - Names are the qualified names as written ("xsi:type" is one name);
//   namespaces are not resolved, and namespace declarations are ordinary
//   attributes.
// - A file that is missing, unreadable or not well-formed does not load.
//   Validation against a DTD or schema is not available: a validate-on-parse
//   request is recorded and checks nothing beyond well-formedness.
//
// Nodes (`TXMLNode`) are small value handles into the tree. Each handle keeps
// its document alive through a counted reference, so a node stays valid as
// long as someone holds it. Lists and maps are handles too; they remember
// where the last `item` was, so that walking them by index from 0 upwards
// costs constant time per step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "system.h"

struct IXMLDOMDocument;
class TXMLNodeList;
class TXMLNamedNodeMap;

// Node types, numbered as the DOM numbers them.
enum TXMLNodeType : int32_t {
  NODE_INVALID = 0,  // a null handle
  NODE_ELEMENT = 1,
  NODE_ATTRIBUTE = 2,
  NODE_TEXT = 3,
  NODE_CDATA_SECTION = 4,
  NODE_PROCESSING_INSTRUCTION = 7,
  NODE_COMMENT = 8,
  NODE_DOCUMENT = 9,
  NODE_DOCUMENT_TYPE = 10,
};

// A node of a loaded document, or null. Copying is cheap (a counted reference
// to the document and a pointer into it).
class TXMLNode {
 public:
  TXMLNode() = default;

  bool is_null() const { return _handle == nullptr; }
  explicit operator bool() const { return _handle != nullptr; }

  // One of TXMLNodeType; NODE_INVALID for a null node.
  int32_t node_type() const;
  // The qualified name of an element, attribute or processing instruction;
  // "#text", "#cdata-section", "#comment" or "#document" for those nodes; ""
  // for a null node.
  std::string node_name() const;
  // An attribute's value; for an element or the document, all text and CDATA
  // below it concatenated in document order; for any other node, its content.
  std::string text() const;
  // The node's value: nothing for elements, the document and null nodes; the
  // value of an attribute; the content of text, CDATA, comments and
  // processing instructions.
  std::optional<std::string> node_value() const;
  // The attributes of an element (empty for any other node).
  TXMLNamedNodeMap attributes() const;
  // All child nodes in document order (empty for attributes and null nodes).
  TXMLNodeList child_nodes() const;

  // Diagnostics, beyond the DOM operations the reader uses.

  // The parent of an element or other tree node; null for the document, for
  // attributes and for null nodes.
  TXMLNode parent_node() const;
  // The node's offset in the document's UTF-8 text, or -1 when unknown
  // (attributes, null nodes); for an element, the offset of its "<". See
  // xml_text_position.
  std::ptrdiff_t source_offset() const;

  // Same node of the same document.
  friend bool operator==(const TXMLNode& a, const TXMLNode& b) {
    return a._handle == b._handle && a._is_attribute == b._is_attribute;
  }

 private:
  friend class CXMLDOMDocument;
  friend class TXMLNodeList;
  friend class TXMLNamedNodeMap;
  TXMLNode(IXMLDOMDocument* document, void* handle, bool is_attribute)
      : _document(document), _handle(handle), _is_attribute(is_attribute) {}

  TRef<IXMLDOMDocument> _document;
  void* _handle = nullptr;  // the parser's node or attribute record
  bool _is_attribute = false;
};

// The child nodes of a node, by index from 0.
class TXMLNodeList {
 public:
  TXMLNodeList() = default;
  int32_t length() const;
  // The child at `index`, or a null node when `index` is out of range.
  TXMLNode item(int32_t index) const;

 private:
  friend class TXMLNode;
  explicit TXMLNodeList(const TXMLNode& parent) : _parent(parent) {}

  TXMLNode _parent;
  mutable int32_t _length = -1;          // counted on first use
  mutable int32_t _cursor_index = -1;    // index of the last item returned
  mutable void* _cursor = nullptr;       // the last item returned
};

// The attributes of an element, by index from 0, in document order.
class TXMLNamedNodeMap {
 public:
  TXMLNamedNodeMap() = default;
  int32_t length() const;
  // The attribute at `index`, or a null node when `index` is out of range.
  TXMLNode item(int32_t index) const;

 private:
  friend class TXMLNode;
  explicit TXMLNamedNodeMap(const TXMLNode& element) : _element(element) {}

  TXMLNode _element;
  mutable int32_t _length = -1;
  mutable int32_t _cursor_index = -1;
  mutable void* _cursor = nullptr;
};

// A DOM document: empty until `load` succeeds.
struct IXMLDOMDocument : IInterface {
  static constexpr TGUID IID = TGUID::parse("{2933BF95-7B36-11D2-B20E-00C04F983E60}");
  using Parent = IInterface;
  virtual bool get_validate_on_parse() = 0;
  virtual void set_validate_on_parse(bool value) = 0;
  // Parses the whole file, replacing what the document held. Returns whether
  // it succeeded; on failure the document is empty.
  virtual bool load(const std::string& file_name) = 0;
  // The root element, or a null node when the document has none.
  virtual TXMLNode document_element() = 0;

 protected:
  ~IXMLDOMDocument() = default;
};

// A new, empty DOM document.
TRef<IXMLDOMDocument> create_dom_document();

// A place in a text file: line and column from 1 (the column counts
// characters, not bytes).
struct TTextPosition {
  int32_t line = 0;
  int32_t column = 0;
};

// Where the UTF-8 offset `offset` of a loaded document (TXMLNode::source_offset)
// lies in the file `file_name`: the file is read again and decoded as the
// loader decodes it. Nothing when the file cannot be read or the offset lies
// outside it.
std::optional<TTextPosition> xml_text_position(const std::string& file_name, std::ptrdiff_t offset);
