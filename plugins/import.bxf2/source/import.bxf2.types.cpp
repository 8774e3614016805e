#include "import.bxf2.types.h"

#include "sysutils.h"

// ---------------------------------------------------------------------------
// Change tracking
// ---------------------------------------------------------------------------

namespace {
int64_t g_live_objects = 0;
}  // namespace

void touch_document(CBXF* document) { document->touch(); }

// ---------------------------------------------------------------------------
// Base classes
// ---------------------------------------------------------------------------

CBXF_object::CBXF_object(CBXF* bxf) : _bxf(bxf) { ++g_live_objects; }
CBXF_object::~CBXF_object() { --g_live_objects; }
int64_t CBXF_object::live_objects() { return g_live_objects; }

void CBXF_referenced_object::set_id(std::string value) {
  bxf()->touch();
  _id = std::move(value);
}

// Ids match as same_text compares them (two empty ids match, an empty and a
// non-empty one do not); the hash folds the same way.
uint64_t TBXF_id_index::fold_hash(std::string_view s) {
  uint64_t h = 14695981039346656037ull;  // FNV-1a
  for (char c : s) h = (h ^ uint8_t(ascii_upper(c))) * 1099511628211ull;
  return h ^ (h >> 29);
}

TBXF_id_index::TSlot TBXF_id_index::make_slot(std::string_view id, int32_t index, void* item) {
  TSlot slot;
  slot.item = item;
  slot.tag = uint32_t(fold_hash(id) >> 32) | 1;
  slot.index = index;
  if (id.size() <= kInlineId) {
    slot.length = uint8_t(id.size());
    for (size_t i = 0; i < id.size(); ++i) slot.folded[i] = ascii_upper(id[i]);
  }
  return slot;
}

bool TBXF_id_index::matches(const TSlot& slot, std::string_view id) {
  if (id.size() != slot.length) return false;
  for (size_t i = 0; i < id.size(); ++i)
    if (ascii_upper(id[i]) != slot.folded[i]) return false;
  return true;
}

// ---------------------------------------------------------------------------
// Links
// ---------------------------------------------------------------------------

CBXF_transformed_link::CBXF_transformed_link(CBXF* bxf)
    : CBXF_base_link(bxf), _transformations(new CBXF_transformations(bxf)) {}
CBXF_transformed_link::~CBXF_transformed_link() = default;

CBXF_cabinet* CBXF_cabinet_link::reference() const { return find_reference(bxf()->lib()->cabinets()); }
CBXF_container* CBXF_container_link::reference() const { return find_reference(bxf()->lib()->containers()); }
CBXF_function_unit* CBXF_function_unit_link::reference() const {
  return find_reference(bxf()->lib()->function_units());
}
CBXF_article* CBXF_article_link::reference() const { return find_reference(bxf()->lib()->articles()); }
CBXF_part* CBXF_part_link::reference() const { return find_reference(bxf()->lib()->parts()); }
CBXF_component* CBXF_component_link::reference() const { return find_reference(bxf()->lib()->components()); }
CBXF_machining* CBXF_machining_link::reference() const { return find_reference(bxf()->lib()->machinings()); }
CBXF_cut_machining* CBXF_machining_link::cut() const {
  return dynamic_cast<CBXF_cut_machining*>(bxf()->lib()->machinings()->find_id(reference_id()));
}

// ---------------------------------------------------------------------------
// Library objects
// ---------------------------------------------------------------------------

CBXF_node::CBXF_node(CBXF* bxf)
    : CBXF_referenced_object(bxf),
      _cabinet_links(new CBXF_cabinet_links(bxf)),
      _container_links(new CBXF_container_links(bxf)) {}
CBXF_node::~CBXF_node() = default;

CBXF_cabinet::CBXF_cabinet(CBXF* bxf)
    : CBXF_node(bxf), _part_links(new CBXF_part_links(bxf)), _cabinet_container_links(new CBXF_container_links(bxf)) {}
CBXF_cabinet::~CBXF_cabinet() = default;

CBXF_container::CBXF_container(CBXF* bxf)
    : CBXF_node(bxf), _function_unit_links(new CBXF_function_unit_links(bxf)), _boundary(new CBXF_boundary(bxf)) {}
CBXF_container::~CBXF_container() = default;

CBXF_prism_geometry::CBXF_prism_geometry(CBXF* bxf) : CBXF_geometry(bxf), _base_points(CList<float2>::create()) {}
CBXF_prism_geometry::~CBXF_prism_geometry() = default;

CBXF_part::CBXF_part(CBXF* bxf) : CBXF_referenced_object(bxf), _drawing_detail(new CBXF_drawing_detail(bxf)) {}
CBXF_part::~CBXF_part() = default;

CBXF_function_unit::CBXF_function_unit(CBXF* bxf)
    : CBXF_referenced_object(bxf),
      _article_links(new CBXF_article_links(bxf)),
      _part_links(new CBXF_part_links(bxf)),
      _component_links(new CBXF_component_links(bxf)) {}
CBXF_function_unit::~CBXF_function_unit() = default;

CBXF_article::CBXF_article(CBXF* bxf)
    : CBXF_referenced_object(bxf), _component_numbers(CBXF_string_list::create(bxf, true)) {}
CBXF_article::~CBXF_article() = default;

CBXF_component::CBXF_component(CBXF* bxf)
    : CBXF_referenced_object(bxf), _machining_links(new CBXF_machining_links(bxf)) {}
CBXF_component::~CBXF_component() = default;

CBXF_article* CBXF_component::article() const {
  CBXF_article* found = bxf()->lib()->articles()->find_component_number(component_number());
  ASSERT_MSG(found, component_number());
  return found;
}

// The index maps each listed number to the first article that lists it,
// which is what a walk over the articles and their numbers in order finds.
CBXF_article* CBXF_articles::find_component_number(const std::string& component_number) const {
  if (!_built || _revision != bxf()->revision()) {
    _first_listing.clear();
    for (int32_t i = 0; i < count(); ++i) {
      IStringList* numbers = at(i)->component_numbers();
      for (int32_t k = 0, n = numbers->get_count(); k < n; ++k) _first_listing.emplace(numbers->get_item(k), i);
    }
    _revision = bxf()->revision();
    _built = true;
  }
  auto it = _first_listing.find(component_number);
  return it == _first_listing.end() ? nullptr : at(it->second);
}

// ---------------------------------------------------------------------------
// Document and sections
// ---------------------------------------------------------------------------

CBXF_head::CBXF_head(CBXF* bxf) : CBXF_object(bxf), _units(new CBXF_units(bxf)) {}
CBXF_head::~CBXF_head() = default;

CBXF_scene::CBXF_scene(CBXF* bxf) : CBXF_object(bxf), _nodes(new CBXF_nodes(bxf)) {}
CBXF_scene::~CBXF_scene() = default;

CBXF_library::CBXF_library(CBXF* bxf)
    : CBXF_object(bxf),
      _cabinet_groups(new CBXF_cabinet_groups(bxf)),
      _cabinets(new CBXF_cabinets(bxf)),
      _containers(new CBXF_containers(bxf)),
      _parts(new CBXF_parts(bxf)),
      _function_units(new CBXF_function_units(bxf)),
      _articles(new CBXF_articles(bxf)),
      _components(new CBXF_components(bxf)),
      _machining_groups(new CBXF_machining_groups(bxf)),
      _machinings(new CBXF_machinings(bxf)) {}
CBXF_library::~CBXF_library() = default;

CBXF::CBXF()
    : CBXF_object(this), _head(new CBXF_head(this)), _scene(new CBXF_scene(this)), _lib(new CBXF_library(this)) {}
CBXF::~CBXF() = default;
