// The BXF2 reader: turns a BXF2 file into a document model.
//
//   std::unique_ptr<CBXF> doc = parse_file("kitchen.bxf2");  // null: no document
//
// The reader walks the DOM from the root `bxf` through `head`, `scene` and
// `library`. At strict positions an unexpected element is an assertion
// failure whose message is its name; at lenient positions it is skipped
// without looking inside. A comment, processing instruction, CDATA section or
// text where the reader goes through an element's children raises EParse.
// Numbers and vectors that do not convert raise the conversion errors of
// import.bxf2.parser.tools. Whatever fails, the item being read and the
// partly built document are freed before the exception leaves the reader.
//
// The reader descends only into elements of the format, whose depth is
// fixed, so its recursion is bounded whatever the file's nesting.
#pragma once

#include <memory>
#include <string>

#include "import.bxf2.parser.consts.h"
#include "import.bxf2.parser.tools.h"
#include "import.bxf2.types.h"
#include "platform.xmldom.h"

// Where reading was when it failed: the node being read (an element, or the
// comment or text that was not expected) and, when the failure came from one
// of its attributes, that attribute. When the file did not load at all, the
// parser's reason instead.
struct TBXF_read_location {
  TXMLNode node;
  TXMLNode attribute;
  TXMLParseError load_error;
  // The root element's name as written and its place ("" and 0 when the
  // document has none): a root of another name than `bxf` reads as an empty
  // document, which a user is told about.
  std::string root_name;
  TTextPosition root_position;
};

// Reads one loaded BXF2 file; single owner, lives for one `parse_file`.
class CParser {
 public:
  // Loads the file; a file that does not load is not an error here (`parse`
  // then gives null).
  explicit CParser(const std::string& file_name);
  ~CParser();
  CParser(const CParser&) = delete;
  CParser& operator=(const CParser&) = delete;

  // A new document, or null when the file did not load or has no root
  // element. A root of another name than `bxf` gives an empty document.
  // Raises the reading errors described above, after freeing the partial
  // document. May be called again; each call builds a new document.
  std::unique_ptr<CBXF> parse();

  // Where the last failed `parse` stopped (diagnostics only; null nodes when
  // nothing failed or the failure was outside any node), or why the file did
  // not load; and the root element it found.
  const TBXF_read_location& location() const { return _location; }

 private:
  class TTrack;

  void read_root(const TXMLNode& root);
  void read_head(const TXMLNode& element, CBXF_head* head);
  void read_scene(const TXMLNode& element, CBXF_scene* scene);
  void read_node(const TXMLNode& element, CBXF_node* node);
  void read_transformation(const TXMLNode& element, CBXF_transformation* transformation);
  void read_library(const TXMLNode& element, CBXF_library* lib);
  void read_cabinet(const TXMLNode& element, CBXF_cabinet* cabinet);
  void read_container(const TXMLNode& element, CBXF_container* container);
  void read_boundary(const TXMLNode& element, CBXF_boundary* boundary);
  void read_part(const TXMLNode& element, CBXF_part* part);
  std::unique_ptr<CBXF_geometry> read_geometry(const TXMLNode& element);
  void read_box(const TXMLNode& element, CBXF_box_geometry* box);
  void read_prism(const TXMLNode& element, CBXF_prism_geometry* prism);
  void read_drawing_detail(const TXMLNode& element, CBXF_drawing_detail* detail);
  void read_function_unit(const TXMLNode& element, CBXF_function_unit* unit);
  void read_article(const TXMLNode& element, CBXF_article* article);
  void read_component(const TXMLNode& element, CBXF_component* component);
  void read_machinings(const TXMLNode& element, CBXF_machinings* machinings);

  // `id` and `uid` of a referenced object, `id` and `referenceId` of a link,
  // from one attribute of kind `kind`: true when it was one of them. Items
  // with attributes of their own read these in the same pass, so that every
  // element's attributes are walked once.
  bool read_id(const TXMLNode& attribute, TBXF_attribute kind, CBXF_referenced_object* object);
  bool read_link_id(const TXMLNode& attribute, TBXF_attribute kind, CBXF_base_link* link);
  // `id` and `uid` of an item without attributes of its own.
  void read_ids(const TXMLNode& element, CBXF_referenced_object* object);

  // Reads each child of `element`, which must be an `item` element, as a new
  // item of `list` filled by `read_item(child, item)`.
  template <class List, class ReadItem>
  void read_list(const TXMLNode& element, List* list, TBXF_element item, ReadItem read_item);
  // A list element of links and its link elements.
  template <class Links>
  void read_links(const TXMLNode& element, Links* links, TBXF_element item);
  template <class Link>
  void read_link(const TXMLNode& element, Link* link);

  TXMLParseError _load_error;  // before _dom, which fills it
  TRef<IXMLDOMDocument> _dom;
  CBXF* _bxf = nullptr;  // the document being filled, while the root's children are read
  TBXF_read_location _location;
};

// Reads the BXF2 file `file_name`: a new document, or null when the file
// does not load or has no root element. Reading errors pass through (see
// above). When `where` is given it receives the root element's name and
// place, and when reading fails the place where reading stopped; when the
// file does not load, the parser's reason.
std::unique_ptr<CBXF> parse_file(const std::string& file_name, TBXF_read_location* where = nullptr);

// The path of a node from the root, such as "bxf/library/parts/part[3]/geometry":
// element names as written, with the position among the siblings of the same
// name (from 1) where there are several; "comment()", "text()" and
// "processing-instruction()" for other nodes; "/@name" added for an attribute.
std::string node_path(const TXMLNode& node, const TXMLNode& attribute = {});

// Where a failed read stopped, for a user: "FILE:LINE:COLUMN: in PATH" (the
// line and column left out when not known) and, when reading met a node
// other than an element where it takes elements only, what it met there
// ("...: a comment where an element was expected"). "" when the failure
// had no place in the document.
std::string read_failure_place(const std::string& file_name, const TBXF_read_location& where);
