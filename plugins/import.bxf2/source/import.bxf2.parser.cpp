#include "import.bxf2.parser.h"

#include <exception>
#include <memory>
#include <vector>

#include <fmt/format.h>

// ---------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------

namespace {

// Rejects an unexpected element or attribute: an assertion failure whose
// message is its name as written, at the reader's line that rejected it.
// The default arguments take the caller's place, as std::source_location
// would; libstdc++ 12 offers that to g++ but not to clang 14, and both
// compilers have these built-ins.
[[noreturn]] void reject(const TXMLNode& node, const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
  assertion_failed(node.node_name(), file, line);
}

}  // namespace

// Records the node being read for the duration of a scope. A scope left
// normally gives the place back to the enclosing node; one left by an
// exception keeps it, so that the failure's place can be reported.
class CParser::TTrack {
 public:
  TTrack(CParser& parser, const TXMLNode& node, const TXMLNode& attribute = {})
      : _parser(parser),
        _saved_node(std::move(parser._location.node)),
        _saved_attribute(std::move(parser._location.attribute)),
        _exceptions(std::uncaught_exceptions()) {
    _parser._location.node = node;
    _parser._location.attribute = attribute;
  }
  ~TTrack() {
    if (std::uncaught_exceptions() != _exceptions) return;
    _parser._location.node = std::move(_saved_node);
    _parser._location.attribute = std::move(_saved_attribute);
  }
  TTrack(const TTrack&) = delete;
  TTrack& operator=(const TTrack&) = delete;

 private:
  CParser& _parser;
  TXMLNode _saved_node;
  TXMLNode _saved_attribute;
  int _exceptions;
};

// ---------------------------------------------------------------------------
// Parser
// ---------------------------------------------------------------------------

CParser::CParser(const std::string& file_name) : _dom(load_document(file_name, &_load_error)) {}

CParser::~CParser() { _dom.reset(); }

std::unique_ptr<CBXF> CParser::parse() {
  _location = {};
  if (!_dom) {
    _location.load_error = _load_error;
    return nullptr;
  }
  TXMLNode root = _dom->document_element();
  if (root.is_null()) return nullptr;
  _location.root_name = root.node_name();
  _location.root_position = root.source_position();
  auto bxf = std::make_unique<CBXF>();
  TTrack track(*this, root);
  if (element_of(root) == TBXF_element::bxf) {
    _bxf = bxf.get();
    struct TReset {
      CBXF*& bxf;
      ~TReset() { bxf = nullptr; }
    } reset{_bxf};
    read_root(root);
  }
  return bxf;
}

std::unique_ptr<CBXF> parse_file(const std::string& file_name, TBXF_read_location* where) {
  CParser parser(file_name);
  try {
    std::unique_ptr<CBXF> bxf = parser.parse();
    if (where) *where = parser.location();
    return bxf;
  } catch (...) {
    if (where) *where = parser.location();
    throw;
  }
}

// ---------------------------------------------------------------------------
// Lists, items and links
// ---------------------------------------------------------------------------

template <class List, class ReadItem>
void CParser::read_list(const TXMLNode& element, List* list, TBXF_element item_element, ReadItem read_item) {
  ASSERT(list);
  for (const TXMLNode& child : children_of(element)) {
    TTrack track(*this, child);
    if (element_of(child) != item_element) reject(child);
    auto item = list->new_item();
    const TTextPosition position = child.source_position();
    item->set_source(position.line, position.column);
    read_item(child, item.get());
    list->add(std::move(item));
  }
}

template <class Links>
void CParser::read_links(const TXMLNode& element, Links* links, TBXF_element item) {
  read_list(element, links, item, [this](const TXMLNode& child, auto* link) { this->read_link(child, link); });
}

template <class Link>
void CParser::read_link(const TXMLNode& element, Link* link) {
  // One pass: `id` and `referenceId` never fail, so reading them beside the
  // link's own attribute changes nothing but the work.
  for (const TXMLNode& attribute : attributes_of(element)) {
    const TBXF_attribute kind = attribute_of(attribute);
    if (read_link_id(attribute, kind, link)) continue;
    if constexpr (std::is_same_v<Link, CBXF_article_link>) {
      if (kind != TBXF_attribute::quantity) continue;
      TTrack track(*this, element, attribute);
      link->set_quantity(read_integer(attribute));
    }
  }
  // Lenient: children other than `transformations` are skipped.
  for (const TXMLNode& child : children_of(element)) {
    TTrack track(*this, child);
    if (element_of(child) == TBXF_element::transformations)
      read_list(
          child, link->transformations(), TBXF_element::transformation,
          [this](const TXMLNode& t, CBXF_transformation* transformation) { read_transformation(t, transformation); });
  }
}

bool CParser::read_id(const TXMLNode& attribute, TBXF_attribute kind, CBXF_referenced_object* object) {
  switch (kind) {
    case TBXF_attribute::id: object->set_id(node_text(attribute)); return true;
    case TBXF_attribute::uid: object->set_uid(node_text(attribute)); return true;
    default: return false;
  }
}

bool CParser::read_link_id(const TXMLNode& attribute, TBXF_attribute kind, CBXF_base_link* link) {
  switch (kind) {
    case TBXF_attribute::id: link->set_id(node_text(attribute)); return true;
    case TBXF_attribute::referenceId: link->set_reference_id(node_text(attribute)); return true;
    default: return false;
  }
}

void CParser::read_ids(const TXMLNode& element, CBXF_referenced_object* object) {
  for (const TXMLNode& attribute : attributes_of(element)) {
    read_id(attribute, attribute_of(attribute), object);
  }
}

// Strict for attributes; no children read.
void CParser::read_transformation(const TXMLNode& element, CBXF_transformation* transformation) {
  for (const TXMLNode& attribute : attributes_of(element)) {
    TTrack track(*this, element, attribute);
    switch (attribute_of(attribute)) {
      case TBXF_attribute::center: transformation->set_center(read_float3(attribute)); break;
      case TBXF_attribute::rotation: transformation->set_rotation(read_float4(attribute)); break;
      case TBXF_attribute::translation: transformation->set_translation(read_float3(attribute)); break;
      default: reject(attribute);
    }
  }
}

// ---------------------------------------------------------------------------
// Root, head and scene
// ---------------------------------------------------------------------------

// Strict: `head`, `scene` and `library`, each as often as they come.
void CParser::read_root(const TXMLNode& root) {
  for (const TXMLNode& child : children_of(root)) {
    TTrack track(*this, child);
    switch (element_of(child)) {
      case TBXF_element::head: read_head(child, _bxf->head()); break;
      case TBXF_element::scene: read_scene(child, _bxf->scene()); break;
      case TBXF_element::library: read_library(child, _bxf->lib()); break;
      default: reject(child);
    }
  }
}

// Lenient: five text values; `date`, `unit`, `angularunit` and anything else
// are passed over.
void CParser::read_head(const TXMLNode& element, CBXF_head* head) {
  for (const TXMLNode& child : children_of(element)) {
    TTrack track(*this, child);
    switch (element_of(child)) {
      case TBXF_element::version: head->set_version(node_text(child)); break;
      case TBXF_element::author: head->set_author(node_text(child)); break;
      case TBXF_element::copyright: head->set_copyright(node_text(child)); break;
      case TBXF_element::country: head->set_country(node_text(child)); break;
      case TBXF_element::language: head->set_language(node_text(child)); break;
      default: break;
    }
  }
}

// Lenient: `nodes` lists add to the same scene nodes.
void CParser::read_scene(const TXMLNode& element, CBXF_scene* scene) {
  for (const TXMLNode& child : children_of(element)) {
    TTrack track(*this, child);
    if (element_of(child) == TBXF_element::nodes)
      read_list(child, scene->nodes(), TBXF_element::node,
                [this](const TXMLNode& n, CBXF_node* node) { read_node(n, node); });
  }
}

// Strict.
void CParser::read_node(const TXMLNode& element, CBXF_node* node) {
  read_ids(element, node);
  for (const TXMLNode& child : children_of(element)) {
    TTrack track(*this, child);
    switch (element_of(child)) {
      case TBXF_element::cabinetLinks: read_links(child, node->cabinet_links(), TBXF_element::cabinetLink); break;
      case TBXF_element::containerLinks: read_links(child, node->container_links(), TBXF_element::containerLink); break;
      case TBXF_element::description: node->set_description(child.text()); break;
      default: reject(child);
    }
  }
}

// ---------------------------------------------------------------------------
// Library
// ---------------------------------------------------------------------------

// Strict; `machiningGroups` is passed over with everything inside it.
void CParser::read_library(const TXMLNode& element, CBXF_library* lib) {
  for (const TXMLNode& child : children_of(element)) {
    TTrack track(*this, child);
    switch (element_of(child)) {
      case TBXF_element::cabinetGroups:
        read_list(
            child, lib->cabinet_groups(), TBXF_element::cabinetGroup,
            [this](const TXMLNode& g, CBXF_cabinet_group* group) { read_links(g, group, TBXF_element::cabinetLink); });
        break;
      case TBXF_element::cabinets:
        read_list(child, lib->cabinets(), TBXF_element::cabinet,
                  [this](const TXMLNode& c, CBXF_cabinet* cabinet) { read_cabinet(c, cabinet); });
        break;
      case TBXF_element::containers:
        read_list(child, lib->containers(), TBXF_element::container,
                  [this](const TXMLNode& c, CBXF_container* container) { read_container(c, container); });
        break;
      case TBXF_element::parts:
        read_list(child, lib->parts(), TBXF_element::part,
                  [this](const TXMLNode& p, CBXF_part* part) { read_part(p, part); });
        break;
      case TBXF_element::functionUnits:
        read_list(child, lib->function_units(), TBXF_element::functionUnit,
                  [this](const TXMLNode& f, CBXF_function_unit* unit) { read_function_unit(f, unit); });
        break;
      case TBXF_element::articles:
        read_list(child, lib->articles(), TBXF_element::article,
                  [this](const TXMLNode& a, CBXF_article* article) { read_article(a, article); });
        break;
      case TBXF_element::components:
        read_list(child, lib->components(), TBXF_element::component,
                  [this](const TXMLNode& c, CBXF_component* component) { read_component(c, component); });
        break;
      case TBXF_element::machiningGroups: break;
      case TBXF_element::machinings: read_machinings(child, lib->machinings()); break;
      default: reject(child);
    }
  }
}

// Strict. The cabinet's own description and container links are filled,
// not those it inherits as a node.
void CParser::read_cabinet(const TXMLNode& element, CBXF_cabinet* cabinet) {
  for (const TXMLNode& attribute : attributes_of(element)) {
    const TBXF_attribute kind = attribute_of(attribute);
    if (!read_id(attribute, kind, cabinet) && kind == TBXF_attribute::modelKey)
      cabinet->set_model_key(node_text(attribute));
  }
  for (const TXMLNode& child : children_of(element)) {
    TTrack track(*this, child);
    switch (element_of(child)) {
      case TBXF_element::containerLinks:
        read_links(child, cabinet->container_links(), TBXF_element::containerLink);
        break;
      case TBXF_element::partLinks: read_links(child, cabinet->part_links(), TBXF_element::partLink); break;
      case TBXF_element::description: cabinet->set_description(child.text()); break;
      default: reject(child);
    }
  }
}

// Strict.
void CParser::read_container(const TXMLNode& element, CBXF_container* container) {
  for (const TXMLNode& attribute : attributes_of(element)) {
    const TBXF_attribute kind = attribute_of(attribute);
    if (!read_id(attribute, kind, container) && kind == TBXF_attribute::modelKey)
      container->set_model_key(node_text(attribute));
  }
  for (const TXMLNode& child : children_of(element)) {
    TTrack track(*this, child);
    switch (element_of(child)) {
      case TBXF_element::functionUnitLinks:
        read_links(child, container->function_unit_links(), TBXF_element::functionUnitLink);
        break;
      case TBXF_element::boundary: read_boundary(child, container->boundary()); break;
      default: reject(child);
    }
  }
}

// Strict, attributes too.
void CParser::read_boundary(const TXMLNode& element, CBXF_boundary* boundary) {
  for (const TXMLNode& attribute : attributes_of(element)) {
    TTrack track(*this, element, attribute);
    if (attribute_of(attribute) != TBXF_attribute::xsi_type) reject(attribute);
    boundary->set_kind(node_text(attribute));
  }
  for (const TXMLNode& child : children_of(element)) {
    TTrack track(*this, child);
    if (element_of(child) != TBXF_element::extent) reject(child);
    boundary->set_extent(read_float3(child));
  }
}

// Lenient.
void CParser::read_part(const TXMLNode& element, CBXF_part* part) {
  for (const TXMLNode& attribute : attributes_of(element)) {
    const TBXF_attribute kind = attribute_of(attribute);
    if (!read_id(attribute, kind, part) && kind == TBXF_attribute::modelKey) part->set_model_key(node_text(attribute));
  }
  for (const TXMLNode& child : children_of(element)) {
    TTrack track(*this, child);
    switch (element_of(child)) {
      case TBXF_element::geometry: part->set_geometry(read_geometry(child)); break;
      case TBXF_element::drawingDetail: read_drawing_detail(child, part->drawing_detail()); break;
      case TBXF_element::description: part->set_description(child.text()); break;
      default: break;
    }
  }
}

// A new box or prism by `xsi:type`, or null for an unsupported type or none;
// the last `xsi:type` decides. Strict for attributes. The children are read
// once per type: reading them again for a repeated type would give the same
// geometry, or would have failed the first time.
std::unique_ptr<CBXF_geometry> CParser::read_geometry(const TXMLNode& element) {
  std::unique_ptr<CBXF_box_geometry> box;
  std::unique_ptr<CBXF_prism_geometry> prism;
  TBXF_geometry_type type = TBXF_geometry_type::unknown;
  for (const TXMLNode& attribute : attributes_of(element)) {
    TTrack track(*this, element, attribute);
    if (attribute_of(attribute) != TBXF_attribute::xsi_type) reject(attribute);
    type = geometry_type_of(node_text(attribute));
    if (type == TBXF_geometry_type::Box && !box) {
      box = std::make_unique<CBXF_box_geometry>(_bxf);
      read_box(element, box.get());
    } else if (type == TBXF_geometry_type::Prism && !prism) {
      prism = std::make_unique<CBXF_prism_geometry>(_bxf);
      read_prism(element, prism.get());
    }
  }
  switch (type) {
    case TBXF_geometry_type::Box: return box;
    case TBXF_geometry_type::Prism: return prism;
    default: return nullptr;
  }
}

// Strict.
void CParser::read_box(const TXMLNode& element, CBXF_box_geometry* box) {
  for (const TXMLNode& child : children_of(element)) {
    TTrack track(*this, child);
    if (element_of(child) != TBXF_element::extent) reject(child);
    box->set_extent(read_float3(child));
  }
}

// Strict, and so is `basePoints`.
void CParser::read_prism(const TXMLNode& element, CBXF_prism_geometry* prism) {
  for (const TXMLNode& child : children_of(element)) {
    TTrack track(*this, child);
    switch (element_of(child)) {
      case TBXF_element::basePoints:
        for (const TXMLNode& point : children_of(child)) {
          TTrack track_point(*this, point);
          if (element_of(point) != TBXF_element::point) reject(point);
          prism->base_points()->add(read_float2(point));
        }
        break;
      case TBXF_element::zValue: prism->set_z_value(read_double(child)); break;
      default: reject(child);
    }
  }
}

// Strict for attributes; children not read.
void CParser::read_drawing_detail(const TXMLNode& element, CBXF_drawing_detail* detail) {
  for (const TXMLNode& attribute : attributes_of(element)) {
    TTrack track(*this, element, attribute);
    switch (attribute_of(attribute)) {
      case TBXF_attribute::frontOrientation: detail->set_front_orientation(read_float3(attribute)); break;
      case TBXF_attribute::floorOrientation: detail->set_floor_orientation(read_float3(attribute)); break;
      default: reject(attribute);
    }
  }
}

// Lenient.
void CParser::read_function_unit(const TXMLNode& element, CBXF_function_unit* unit) {
  read_ids(element, unit);
  for (const TXMLNode& child : children_of(element)) {
    TTrack track(*this, child);
    switch (element_of(child)) {
      case TBXF_element::partLinks: read_links(child, unit->part_links(), TBXF_element::partLink); break;
      case TBXF_element::articleLinks: read_links(child, unit->article_links(), TBXF_element::articleLink); break;
      case TBXF_element::componentLinks: read_links(child, unit->component_links(), TBXF_element::componentLink); break;
      case TBXF_element::description: unit->set_description(child.text()); break;
      default: break;
    }
  }
}

// Strict, and so is `componentNumbers`.
void CParser::read_article(const TXMLNode& element, CBXF_article* article) {
  for (const TXMLNode& attribute : attributes_of(element)) {
    TTrack track(*this, element, attribute);
    const TBXF_attribute kind = attribute_of(attribute);
    if (read_id(attribute, kind, article)) continue;
    switch (kind) {
      case TBXF_attribute::itemNumber: article->set_item_number(node_text(attribute)); break;
      case TBXF_attribute::articleNumber: article->set_article_number(node_text(attribute)); break;
      case TBXF_attribute::totalQuantity: article->set_total_quantity(read_integer(attribute)); break;
      default: break;
    }
  }
  for (const TXMLNode& child : children_of(element)) {
    TTrack track(*this, child);
    switch (element_of(child)) {
      case TBXF_element::material: article->set_material(child.text()); break;
      case TBXF_element::componentNumbers:
        for (const TXMLNode& number : children_of(child)) {
          TTrack track_number(*this, number);
          if (element_of(number) != TBXF_element::componentNumber) reject(number);
          article->component_numbers()->add(number.text());
        }
        break;
      case TBXF_element::description: article->set_description(child.text()); break;
      default: reject(child);
    }
  }
}

// Lenient.
void CParser::read_component(const TXMLNode& element, CBXF_component* component) {
  for (const TXMLNode& attribute : attributes_of(element)) {
    const TBXF_attribute kind = attribute_of(attribute);
    if (read_id(attribute, kind, component)) continue;
    switch (kind) {
      case TBXF_attribute::modelKey: component->set_model_key(node_text(attribute)); break;
      case TBXF_attribute::componentNumber: component->set_component_number(node_text(attribute)); break;
      default: break;
    }
  }
  for (const TXMLNode& child : children_of(element)) {
    TTrack track(*this, child);
    if (element_of(child) == TBXF_element::machiningLinks)
      read_links(child, component->machining_links(), TBXF_element::machiningLink);
  }
}

// Strict: `machining` elements. Only cuts make a machining; other types, and
// machinings without a type, leave no trace.
void CParser::read_machinings(const TXMLNode& element, CBXF_machinings* machinings) {
  ASSERT(machinings);
  for (const TXMLNode& child : children_of(element)) {
    TTrack track(*this, child);
    if (element_of(child) != TBXF_element::machining) reject(child);
    // One pass over the attributes. The values are converted only once it is
    // known that the machining is a cut, in the order written, as the cut's
    // own attributes whatever the position of its type.
    std::unique_ptr<CBXF_cut_machining> cut;
    std::vector<std::pair<TXMLNode, TBXF_attribute>> values;
    for (const TXMLNode& attribute : attributes_of(child)) {
      const TBXF_attribute kind = attribute_of(attribute);
      switch (kind) {
        case TBXF_attribute::xsi_type:
          if (!cut && machining_type_of(node_text(attribute)) == TBXF_machining_type::Cut)
            cut = std::make_unique<CBXF_cut_machining>(_bxf);
          break;
        case TBXF_attribute::id:
        case TBXF_attribute::uid:
        case TBXF_attribute::orientation:
        case TBXF_attribute::originalSize:
        case TBXF_attribute::finalSize: values.emplace_back(attribute, kind); break;
        default: break;
      }
    }
    if (cut) {
      for (const auto& [attribute, kind] : values) {
        if (read_id(attribute, kind, cut.get())) continue;
        TTrack track_attribute(*this, child, attribute);
        switch (kind) {
          case TBXF_attribute::orientation: cut->set_orientation(read_float3(attribute)); break;
          case TBXF_attribute::originalSize: cut->set_original_size(read_double(attribute)); break;
          case TBXF_attribute::finalSize: cut->set_final_size(read_double(attribute)); break;
          default: break;
        }
      }
    }
    if (cut) machinings->add(std::move(cut));
  }
}

// ---------------------------------------------------------------------------
// Places
// ---------------------------------------------------------------------------

std::string node_path(const TXMLNode& node, const TXMLNode& attribute) {
  std::vector<std::string> steps;
  for (TXMLNode n = node; !n.is_null() && n.node_type() != NODE_DOCUMENT; n = n.parent_node()) {
    std::string step;
    switch (n.node_type()) {
      case NODE_ELEMENT: step = n.node_name(); break;
      case NODE_COMMENT: step = "comment()"; break;
      case NODE_PROCESSING_INSTRUCTION: step = "processing-instruction()"; break;
      default: step = "text()"; break;
    }
    TXMLNode parent = n.parent_node();
    if (!parent.is_null()) {
      // The position among the parent's children of the same step name.
      TXMLNodeList siblings = parent.child_nodes();
      int32_t same = 0, position = 0;
      for (int32_t i = 0; i < siblings.length(); ++i) {
        TXMLNode s = siblings.item(i);
        bool alike = s.node_type() == n.node_type() && (n.node_type() != NODE_ELEMENT || s.node_name() == step);
        if (alike) ++same;
        if (s == n) position = same;
      }
      if (same > 1) step += "[" + std::to_string(position) + "]";
    }
    steps.push_back(std::move(step));
  }
  std::string path;
  for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
    if (!path.empty()) path += '/';
    path += *it;
  }
  if (!attribute.is_null()) path += "/@" + attribute.node_name();
  return path;
}

namespace {

// What a node other than an element is, for a user.
std::string node_kind_text(const TXMLNode& node) {
  switch (node.node_type()) {
    case NODE_COMMENT: return "a comment";
    case NODE_PROCESSING_INSTRUCTION: return "a processing instruction";
    case NODE_CDATA_SECTION: return "a CDATA section";
    default: break;
  }
  // The start of the text, on one line, so that it can be found.
  std::string text = node.node_value().value_or("");
  for (char& c : text)
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  const size_t start = text.find_first_not_of(' ');
  text = start == std::string::npos ? std::string() : text.substr(start);
  if (text.size() > 20) {
    size_t cut = 20;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // whole characters
    text = text.substr(0, cut) + "...";
  }
  return fmt::format("text \"{}\"", text);
}

}  // namespace

std::string read_failure_place(const std::string& file_name, const TBXF_read_location& where) {
  if (where.node.is_null()) return {};
  std::string place = file_name;
  if (const TTextPosition position = where.node.source_position(); position.line > 0)
    place += fmt::format(":{}:{}", position.line, position.column);
  place += ": in " + node_path(where.node, where.attribute);
  if (where.attribute.is_null() && where.node.node_type() != NODE_ELEMENT)
    place += ": " + node_kind_text(where.node) + " where an element was expected";
  return place;
}
