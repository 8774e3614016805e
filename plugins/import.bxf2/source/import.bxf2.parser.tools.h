// The BXF2 reader's access to the XML DOM: loading a file, enumerating a
// node's attributes and children, classifying nodes by name, and converting
// attribute and element texts into numbers and vectors.
//
//   for (const TXMLNode& child : children_of(element)) {
//     switch (element_of(child)) { ... }   // EParse for a comment or text
//   }
//
// Numbers accept "." and "," as decimal mark under any decimal separator of
// the user. Vectors are numbers separated by single spaces.
#pragma once

#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

#include "import.bxf2.parser.consts.h"
#include "math.vector.h"
#include "platform.xmldom.h"
#include "system.h"
#include "uInterfacedObjects.h"

// A reading error: a node that is not an element where elements are expected.
BXF_DECLARE_EXCEPTION(EParse, Exception);

// ---------------------------------------------------------------------------
// Loading
// ---------------------------------------------------------------------------

// A new DOM with validate-on-parse requested and `file_name` loaded into it;
// null when the file is missing or unreadable, not well-formed, or invalid
// against the DTD it declares. The reader keeps no reason; diagnostics may
// ask for the parser's in `error`.
TRef<IXMLDOMDocument> load_document(const std::string& file_name, TXMLParseError* error = nullptr);

// ---------------------------------------------------------------------------
// Enumeration
// ---------------------------------------------------------------------------

// Walks a list of DOM nodes: call `moveNext` and, while it answers true, read
// `current`.
struct IDOMEnumerator : IInterface {
  static constexpr TGUID IID = TGUID::parse("{59FC204E-34CF-4361-AA3E-9212BBF2D61C}");
  using Parent = IInterface;
  // The enumerator itself, so that it can stand where a sequence is expected.
  virtual TRef<IDOMEnumerator> getEnumerator() = 0;
  // The node at the current position; an assertion failure past the end.
  virtual TXMLNode current() = 0;
  // Advances by one; true when there is a node at the new position, false
  // (position unchanged) at the end.
  virtual bool moveNext() = 0;

 protected:
  ~IDOMEnumerator() = default;
};

// Base of the DOM enumerators: the node whose list is walked and the position.
class CDOMEnumerator : public TImplements<CSafeInterfacedObject, IDOMEnumerator> {
 public:
  TRef<IDOMEnumerator> getEnumerator() override { return this; }
  TXMLNode current() override;
  bool moveNext() override;

 protected:
  // `node` must not be null (assertion failure).
  explicit CDOMEnumerator(const TXMLNode& node);

  // The length of the walked list and its item `index`.
  virtual int32_t length() = 0;
  virtual TXMLNode item(int32_t index) = 0;

  TXMLNode _node;
  int32_t _current = -1;
};

// The attribute nodes of an element, in the DOM's attribute order.
class CAttributeEnumerator : public CDOMEnumerator {
 public:
  static CAttributeEnumerator* create(const TXMLNode& node) { return construct(new CAttributeEnumerator(node)); }

 protected:
  explicit CAttributeEnumerator(const TXMLNode& node) : CDOMEnumerator(node) {}
  // The DOM is read-only, so the map fetched once is the map of every call.
  int32_t length() override;
  TXMLNode item(int32_t index) override;

 private:
  TXMLNamedNodeMap _list;
  bool _fetched = false;
};

// All child nodes of a node, in document order.
class CChildEnumerator : public CDOMEnumerator {
 public:
  static CChildEnumerator* create(const TXMLNode& node) { return construct(new CChildEnumerator(node)); }

 protected:
  explicit CChildEnumerator(const TXMLNode& node) : CDOMEnumerator(node) {}
  // The DOM is read-only, so the list fetched once is the list of every call.
  int32_t length() override;
  TXMLNode item(int32_t index) override;

 private:
  TXMLNodeList _list;
  bool _fetched = false;
};

// New enumerators over the attributes or the children of `node` (not null).
TRef<IDOMEnumerator> attributes_of(const TXMLNode& node);
TRef<IDOMEnumerator> children_of(const TXMLNode& node);

// Walks an enumerator in a range-based for: each step calls `moveNext` and,
// while it answers true, `current` once.
//
//   for (const TXMLNode& attribute : attributes_of(element)) ...
class TDOMIterator {
 public:
  using value_type = TXMLNode;
  using difference_type = std::ptrdiff_t;

  explicit TDOMIterator(IDOMEnumerator* enumerator) : _enumerator(enumerator) { ++*this; }
  const TXMLNode& operator*() const { return _node; }
  TDOMIterator& operator++() {
    _more = _enumerator->moveNext();
    if (_more) _node = _enumerator->current();
    return *this;
  }
  bool operator==(std::default_sentinel_t) const { return !_more; }

 private:
  IDOMEnumerator* _enumerator;  // kept alive by the loop's range
  TXMLNode _node;
  bool _more = false;
};

inline TDOMIterator begin(const TRef<IDOMEnumerator>& enumerator) { return TDOMIterator(enumerator.get()); }
inline std::default_sentinel_t end(const TRef<IDOMEnumerator>&) { return {}; }

// ---------------------------------------------------------------------------
// Node reading
// ---------------------------------------------------------------------------

// The node's text; when that is empty, its value as text (empty when it has
// none). `node` must not be null.
std::string node_text(const TXMLNode& node);

// The element table value of the node's name, or `unknown`. Raises EParse
// (empty message) when the node is not an element. `node` must not be null.
TBXF_element element_of(const TXMLNode& node);

// The attribute table value of an attribute node's name, or `unknown`; any
// other kind of node is `unknown`. `node` must not be null.
TBXF_attribute attribute_of(const TXMLNode& node);

// ---------------------------------------------------------------------------
// Values
// ---------------------------------------------------------------------------

// `text` as a number, with every "." and "," taken as the decimal mark.
// Raises EConvertError "'<text>' is not a valid floating point value" (the
// text with the marks replaced by the user's separator).
double to_double(std::string_view text);

// The node's text as a 32-bit signed integer; EConvertError "'<text>' is not
// a valid integer value" otherwise.
int32_t read_integer(const TXMLNode& node);
// The node's text as a number (see to_double).
double read_double(const TXMLNode& node);
// The node's text as 2, 3 or 4 numbers separated by single spaces (x y z w).
// A leading, trailing or doubled space makes an empty part; a count of parts
// other than 2, 3 or 4 is an assertion failure.
float2 read_float2(const TXMLNode& node);
float3 read_float3(const TXMLNode& node);
float4 read_float4(const TXMLNode& node);
