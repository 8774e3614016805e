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
//   } else {
//     report(xml_error_text(dom->parse_error()));   // "cabinet.bxf2:3:7: ..."
//   }
//
// How files are read (a conforming XML 1.0 parser, libxml2, underneath):
// - The encoding is the one the byte-order mark or the XML declaration names
//   (UTF-8 without either): UTF-8, UTF-16 in either byte order, the ISO-8859
//   family, the Windows code pages and whatever else the system's converters
//   know. A file with bytes that are invalid in its encoding, or naming an
//   encoding that cannot be decoded, does not load. The tree's text is UTF-8.
// - Any well-formedness error means no document: a file loads only whole.
//   Namespace errors (an undeclared prefix) are not well-formedness errors
//   and do not stop a load: names are the qualified names as written
//   ("xsi:type" is one name), namespaces are not resolved, and namespace
//   declarations are ordinary attributes, listed before the element's other
//   attributes. Attributes that a DTD gives a default are listed after the
//   ones written.
// - Internal general entities are expanded. A document with a document type
//   declaration is validated against its DTD when validate-on-parse is set
//   (invalid: no document); one without loads unvalidated.
// - Nothing outside the file is read: a document whose type declaration
//   names an external DTD, or that refers to an external entity, does not
//   load (no network, no other files).
// - Comments, processing instructions and CDATA sections stay in the tree as
//   nodes of their own; text made only of white space between elements is
//   dropped; other text is kept exactly (adjacent text and entity text make
//   one node). Comments and processing instructions inside the DTD are not
//   part of the tree.
// - File names are found as platform.files finds them (letter case ignored
//   when there is no exact match).
//
// Limits, beyond which a document does not load:
// - elements nest at most `xml_max_depth` deep;
// - the text, attribute values, comments and processing instructions of the
//   tree add up to at most `xml_expansion_factor` times the file's size plus
//   `xml_expansion_allowance` bytes (only entity expansion can make a tree
//   larger than its file, so this bounds entity bombs whatever their shape;
//   nested expansion loops are caught by the parser itself);
// - an attribute value, comment, CDATA section or processing instruction
//   holds at most 10,000,000 bytes, and a name at most 50,000 (the parser's
//   own limits; text between tags has none).
//
// Nodes (`TXMLNode`) are small value handles into the tree. Each handle keeps
// the loaded tree alive through a counted reference (the document object
// may go first), so a node stays valid as long as someone holds it. Child
// lists remember where the last `item` was, so that walking them by index
// from 0 upwards costs constant time per step; attributes are found by index
// directly.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "system.h"

struct IXMLDOMDocument;
class TXMLNodeList;
class TXMLNamedNodeMap;

// The tree of a loaded document, as far as node handles need to know it: a
// count of the handles and documents that hold it. Counting is inline, so
// that copying a handle costs no call; the rest of the tree is the
// adaptor's own.
struct TXMLTree {
  std::atomic<int32_t> holds{0};

 protected:
  TXMLTree() = default;
  ~TXMLTree() = default;
};
// Frees a tree whose last hold went.
void free_xml_tree(TXMLTree* tree) noexcept;

// A counted hold on a tree, or none.
class TXMLTreeHold {
 public:
  TXMLTreeHold() = default;
  explicit TXMLTreeHold(TXMLTree* tree) : _tree(tree) { hold(); }
  TXMLTreeHold(const TXMLTreeHold& o) : _tree(o._tree) { hold(); }
  TXMLTreeHold(TXMLTreeHold&& o) noexcept : _tree(std::exchange(o._tree, nullptr)) {}
  TXMLTreeHold& operator=(TXMLTreeHold o) noexcept {
    std::swap(_tree, o._tree);
    return *this;
  }
  ~TXMLTreeHold() { release(); }

  TXMLTree* get() const { return _tree; }

 private:
  void hold() const {
    if (_tree) _tree->holds.fetch_add(1, std::memory_order_relaxed);
  }
  void release() {
    TXMLTree* tree = std::exchange(_tree, nullptr);
    if (tree && tree->holds.fetch_sub(1, std::memory_order_acq_rel) == 1) free_xml_tree(tree);
  }

  TXMLTree* _tree = nullptr;
};

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

// A place in a text file: line and column from 1 (the column counts
// characters, not bytes); 0 where the place is not known.
struct TTextPosition {
  int32_t line = 0;
  int32_t column = 0;
  friend bool operator==(const TTextPosition&, const TTextPosition&) = default;
};

// Elements nest at most this deep.
inline constexpr int32_t xml_max_depth = 1'000'000;
// The text of a tree is at most this many times its file's size...
inline constexpr uint64_t xml_expansion_factor = 4;
// ... plus this many bytes.
inline constexpr uint64_t xml_expansion_allowance = uint64_t(1) << 20;

// A node of a loaded document, or null. Copying is cheap (a counted reference
// to the tree and a pointer into it).
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
  // The same name without a copy, valid as long as the node's tree is held
  // (for comparing names).
  std::string_view node_name_view() const;
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
  // Where the node starts in its file: the "<" of a tag, the "<!--" of a
  // comment, the "<?" of a processing instruction, the "<![CDATA[" of a CDATA
  // section, the first character of text. A node that an entity reference
  // brought in is placed at the reference. Unknown (0, 0) for the document,
  // attributes and null nodes.
  TTextPosition source_position() const;

  // Same node of the same document.
  friend bool operator==(const TXMLNode& a, const TXMLNode& b) {
    return a._handle == b._handle && a._is_attribute == b._is_attribute;
  }

 private:
  friend class CXMLDOMDocument;
  friend class TXMLNodeList;
  friend class TXMLNamedNodeMap;
  TXMLNode(const TXMLTreeHold& tree, const void* handle, bool is_attribute)
      : _tree(tree), _handle(handle), _is_attribute(is_attribute) {}

  TXMLTreeHold _tree;
  const void* _handle = nullptr;  // the tree's node or attribute record
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
  mutable int32_t _cursor_index = -1;     // index of the last item returned
  mutable const void* _cursor = nullptr;  // the last item returned
};

// The attributes of an element, by index from 0 (see the order above).
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
};

// Why a load failed, as the parser says it.
struct TXMLParseError {
  // The parser's reason, on one line; "" after a load that succeeded.
  std::string reason;
  // The file as `load` was given it.
  std::string url;
  // Where in the file: line and column from 1 (characters, not bytes); 0 when
  // the reason has no place in the file (a file that cannot be opened) or
  // the parser does not say it (the column of a validity error).
  int32_t line = 0;
  int32_t column = 0;
};

// "<url>:<line>:<column>: <reason>", leaving out the parts that are 0.
std::string xml_error_text(const TXMLParseError& error);

// An element found by `peek_element`: its attributes as written, in order,
// and its text (of everything below it).
struct TXMLPeekedElement {
  std::vector<std::pair<std::string, std::string>> attributes;
  std::string text;
};

// Looks at the start of an XML document cheaply, without a tree: reads
// `bytes` (the document, or only its start) as far as the first element
// `child` inside the first element `section` of the root `root` (names
// matched with ASCII letters in any case), and gives that element. Nothing
// when the root has another name, when `section` is not the first element
// under the root (so that a look costs what the section costs), when the
// section ends without `child`, or when the bytes end or stop being
// well-formed before. Entities are not expanded and nothing outside the
// bytes is read.
std::optional<TXMLPeekedElement> peek_element(std::string_view bytes, std::string_view root, std::string_view section,
                                              std::string_view child);

// A DOM document: empty until `load` succeeds.
struct IXMLDOMDocument : IInterface {
  static constexpr TGUID IID = TGUID::parse("{2933BF95-7B36-11D2-B20E-00C04F983E60}");
  using Parent = IInterface;
  virtual bool get_validate_on_parse() = 0;
  virtual void set_validate_on_parse(bool value) = 0;
  // Parses the whole file, replacing what the document held. Returns whether
  // it succeeded; on failure the document is empty, `parse_error` says why,
  // and the same text goes to the desktop's debug output (platform.debug).
  virtual bool load(const std::string& file_name) = 0;
  // The root element, or a null node when the document has none.
  virtual TXMLNode document_element() = 0;
  // Why the last `load` failed; an empty reason when it succeeded or when
  // nothing was loaded yet.
  virtual TXMLParseError parse_error() = 0;

 protected:
  ~IXMLDOMDocument() = default;
};

// A new, empty DOM document.
TRef<IXMLDOMDocument> create_dom_document();
