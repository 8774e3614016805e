// The BXF2 document model: one BXF2 file in memory (head, scene of nodes,
// library of definitions), its collections, and the resolution of links by id.
//
// Model objects are plain objects with one owner: `CBXF` owns its head, scene
// and library; every collection owns its items; every object owns the
// members it creates in its constructor. Freeing the document frees the whole
// tree. Each object knows its document (`bxf`, not owned) and counts its
// changes there, so no object outlives its document. Where ownership moves,
// it moves in a std::unique_ptr.
//
//   auto doc = std::make_unique<CBXF>();
//   std::unique_ptr<CBXF_part> part = doc->lib()->parts()->new_item();  // not yet in the collection
//   part->set_id("P1");
//   doc->lib()->parts()->add(std::move(part));         // now owned by `parts`
//   ...
//   CBXF_part* target = link->reference();             // first part whose id matches
//
// Links hold the id of their target and find it on every read of `reference`
// (ids match ignoring the case of ASCII letters; the first match in
// collection order wins; none is an assertion failure whose message is the
// id). A component finds its article by its component number the same way,
// case-sensitively. Each searched collection keeps an index that answers
// exactly as a scan in order would; it is rebuilt when anything in the model
// changed since it was built, so resolving every link of a file costs time
// in proportion to the file. Each document counts its own changes, so a
// change to one document leaves the indexes of every other one as they are.
#pragma once

#include <bit>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "math.vector.h"
#include "system.h"
#include "sysutils.h"
#include "uList.h"
#include "uStringList.h"

class CBXF;

// ---------------------------------------------------------------------------
// Change tracking
// ---------------------------------------------------------------------------

// Counts one change of `document` that can alter a resolution (CBXF::touch);
// for the lists below, which come before the document's class.
void touch_document(CBXF* document);

// A list that counts every change it makes as a change of its document.
template <class Base, class T>
class TRevisedList : public Base {
 public:
  void set_item(int32_t i, const T& value) override { touch_document(_document), Base::set_item(i, value); }
  void set_first(const T& value) override { touch_document(_document), Base::set_first(value); }
  void set_last(const T& value) override { touch_document(_document), Base::set_last(value); }
  int32_t add(const T& item) override { return touch_document(_document), Base::add(item); }
  int32_t insert(int32_t i, const T& item) override { return touch_document(_document), Base::insert(i, item); }
  void delete_(int32_t i) override { touch_document(_document), Base::delete_(i); }
  void move(int32_t i, int32_t j) override { touch_document(_document), Base::move(i, j); }
  void swap(int32_t i, int32_t j) override { touch_document(_document), Base::swap(i, j); }
  bool remove(const T& item, _equal<T> equal) override { return touch_document(_document), Base::remove(item, equal); }
  void clear() override { touch_document(_document), Base::clear(); }
  void truncate() override { touch_document(_document), Base::truncate(); }
  void sort(_compare<T> compare) override { touch_document(_document), Base::sort(compare); }
  using Base::remove;

 protected:
  template <class... Args>
  explicit TRevisedList(CBXF* document, Args&&... args) : Base(std::forward<Args>(args)...), _document(document) {}

 private:
  CBXF* _document;  // not owned; outlives the list
};

// The item list of a model collection.
template <class T>
class CBXF_item_list : public TRevisedList<CList<T*>, T*> {
 public:
  static CBXF_item_list* create(CBXF* document) {
    return CSafeInterfacedObject::construct(new CBXF_item_list(document));
  }

 protected:
  explicit CBXF_item_list(CBXF* document) : TRevisedList<CList<T*>, T*>(document) {}
};

// The component numbers of an article: a case-sensitive string list.
class CBXF_string_list : public TRevisedList<CStringList, std::string> {
 public:
  static CBXF_string_list* create(CBXF* document, bool case_sensitive) {
    return CSafeInterfacedObject::construct(new CBXF_string_list(document, case_sensitive));
  }

 protected:
  CBXF_string_list(CBXF* document, bool case_sensitive) : TRevisedList(document, case_sensitive) {}
};

// The getter `name()` and setter `set_name()` of the field `_name`, which
// the class declares itself, privately. Member functions only: the access
// in force where it is used stays as it was.
#define BXF_ACCESSORS(Type, name)              \
  const Type& name() const { return _##name; } \
  void set_##name(Type value) { _##name = std::move(value); }

// ---------------------------------------------------------------------------
// Base classes
// ---------------------------------------------------------------------------

// Root of the model: every object belongs to one document.
class CBXF_object {
 public:
  explicit CBXF_object(CBXF* bxf);
  virtual ~CBXF_object();
  CBXF_object(const CBXF_object&) = delete;
  CBXF_object& operator=(const CBXF_object&) = delete;

  CBXF* bxf() const { return _bxf; }

  // Where the reader found the object in its file: the line and column of
  // its element (from 1), 0 for an object that was not read from a file.
  // For messages that point a user at the file (a link that finds nothing).
  int32_t source_line() const { return _source_line; }
  int32_t source_column() const { return _source_column; }
  void set_source(int32_t line, int32_t column) {
    _source_line = line;
    _source_column = column;
  }

  // The number of model objects alive in the process (to check that failures
  // free what they made).
  static int64_t live_objects();

 private:
  CBXF* _bxf;
  int32_t _source_line = 0;
  int32_t _source_column = 0;
};

// An object that links point at by `id`.
class CBXF_referenced_object : public CBXF_object {
 public:
  using CBXF_object::CBXF_object;
  const std::string& id() const { return _id; }
  void set_id(std::string value);

  BXF_ACCESSORS(std::string, uid)

 private:
  std::string _id;
  std::string _uid;
};

// An owning collection of model objects, in insertion order. The list holds
// its items by plain pointer and frees them with itself; items come in and
// go out in std::unique_ptr.
template <class T>
class CBXF_list : public CBXF_object {
 public:
  explicit CBXF_list(CBXF* bxf) : CBXF_object(bxf), _list(CBXF_item_list<T>::create(bxf)), _items(_list) {}
  ~CBXF_list() override {
    for (T* item : *_list) delete item;
    _items->clear();
    _items.reset();
  }

  TRef<IIterator<T*>> getEnumerator() const { return _items->getEnumerator(); }
  // A new, empty object of exactly the element class, in this collection's
  // document but not in the collection: the caller fills and adds it; when
  // filling fails, the pointer frees it.
  std::unique_ptr<T> new_item() const { return std::make_unique<T>(bxf()); }
  // Puts `item` (an object of this collection's document; an assertion
  // failure otherwise) at the end or at position `i`; the collection owns it
  // from then on. Returns it. When there is no memory to hold it, `item` is
  // freed and the collection stays as it was.
  T* add(std::unique_ptr<T> item) { return insert(count(), std::move(item)); }
  T* insert(int32_t i, std::unique_ptr<T> item) {
    ASSERT(item && item->bxf() == bxf());
    _items->insert(i, item.get());
    return item.release();
  }
  // Takes the item at `i` out of the collection and hands it to the caller.
  std::unique_ptr<T> take(int32_t i) {
    std::unique_ptr<T> item(_list->at(i));
    _items->delete_(i);
    return item;
  }

  int32_t count() const { return _list->count(); }
  T* at(int32_t i) const { return _list->at(i); }
  T* const* begin() const { return _list->begin(); }
  T* const* end() const { return _list->end(); }

 private:
  CBXF_item_list<T>* _list;  // the object behind _items
  TRef<IList<T*>> _items;
};

// The first position of each id in a collection, ids compared as links
// compare them (ASCII letters without case): an open-addressing table of
// small slots, probed linearly. A slot holds the id's hash, its position
// and, for ids of up to kInlineId bytes (most ids), the id folded to capitals,
// so that a lookup reads one slot and touches no item. Longer ids are
// checked against the item's own id. Any change of an id or of a list
// changes the document's revision, and the table is rebuilt before it is
// used again.
class TBXF_id_index {
 public:
  // The first of the `count` items `items(i)` whose id matches `id`, or
  // null. Rebuilt when `revision`, the document's, is not the one it was
  // built at.
  template <class ItemOf>
  auto find(const std::string& id, int32_t count, ItemOf items, uint64_t revision) -> decltype(items(0)) {
    const auto id_of = [&](int32_t k) -> const std::string& { return items(k)->id(); };
    if (!_built || _revision != revision) {
      _slots.assign(std::bit_ceil(size_t(count) * 2 + 2), TSlot{});
      for (int32_t i = 0; i < count; ++i) {
        const std::string& key = id_of(i);
        TSlot* slot = probe(key, id_of);
        if (slot->tag == 0) *slot = make_slot(key, i, items(i));  // the first of equal ids is kept
      }
      _revision = revision;
      _built = true;
    }
    const TSlot* slot = probe(id, id_of);
    return slot->tag == 0 ? nullptr : static_cast<decltype(items(0))>(slot->item);
  }

 private:
  static constexpr size_t kInlineId = 15;
  // 32 bytes: two to a cache line.
  struct TSlot {
    void* item = nullptr;
    uint32_t tag = 0;  // from the hash, never 0 in a used slot
    int32_t index = -1;
    uint8_t length = 0xFF;  // of the folded id, 0xFF when it is longer than kInlineId
    char folded[kInlineId] = {};
  };
  static uint64_t fold_hash(std::string_view s);
  static TSlot make_slot(std::string_view id, int32_t index, void* item);
  static bool matches(const TSlot& slot, std::string_view id);

  // The slot holding `id`, or the empty slot where it would go.
  template <class IdOf>
  TSlot* probe(std::string_view id, IdOf ids) {
    const uint64_t hash = fold_hash(id);
    const uint32_t tag = uint32_t(hash >> 32) | 1;
    const size_t mask = _slots.size() - 1;
    for (size_t i = size_t(hash) & mask;; i = (i + 1) & mask) {
      TSlot& slot = _slots[i];
      if (slot.tag == 0) return &slot;
      if (slot.tag != tag) continue;
      if (slot.length != 0xFF ? matches(slot, id) : same_text(ids(slot.index), id)) return &slot;
    }
  }

  std::vector<TSlot> _slots;
  uint64_t _revision = 0;
  bool _built = false;
};

// A collection that links search by id.
template <class T>
class CBXF_referenced_object_list : public CBXF_list<T> {
 public:
  using CBXF_list<T>::CBXF_list;

  // The first item whose id matches `id` as links compare ids, or null.
  T* find_id(const std::string& id) const;

 private:
  mutable TBXF_id_index _index;
};

// A collection of links.
template <class T>
class CBXF_links : public CBXF_list<T> {
 public:
  using CBXF_list<T>::CBXF_list;
};

// ---------------------------------------------------------------------------
// Placement values and links
// ---------------------------------------------------------------------------

// One placement step: rotate by `rotation` (axis x y z, angle w in degrees)
// about `center`, then add `translation`.
class CBXF_transformation : public CBXF_object {
 public:
  using CBXF_object::CBXF_object;
  BXF_ACCESSORS(float3, translation)
  BXF_ACCESSORS(float3, center)
  BXF_ACCESSORS(float4, rotation)

 private:
  float3 _translation;
  float3 _center;
  float4 _rotation;
};

class CBXF_transformations : public CBXF_list<CBXF_transformation> {
 public:
  using CBXF_list::CBXF_list;
};

// Base of every link: its own id and the id of its target. (The generic link
// below carries the name CBXF_link.)
class CBXF_base_link : public CBXF_object {
 public:
  using CBXF_object::CBXF_object;
  BXF_ACCESSORS(std::string, id)
  BXF_ACCESSORS(std::string, reference_id)

 private:
  std::string _id;
  std::string _reference_id;
};

// A link with the placement of its target relative to the link's holder.
class CBXF_transformed_link : public CBXF_base_link {
 public:
  explicit CBXF_transformed_link(CBXF* bxf);
  ~CBXF_transformed_link() override;
  CBXF_transformations* transformations() const { return _transformations.get(); }

 private:
  std::unique_ptr<CBXF_transformations> _transformations;
};

// A link to an object of class T in the document's library.
template <class T>
class CBXF_link : public CBXF_transformed_link {
 public:
  using CBXF_transformed_link::CBXF_transformed_link;
  // The target: the first object of the target collection whose id matches
  // `reference_id`; an assertion failure whose message is the reference id
  // when there is none. Searched again on every read.
  virtual T* reference() const = 0;

 protected:
  // The first object of `list` whose id matches `reference_id` (assertion
  // failure for a missing list, or for no match with the id as message).
  T* find_reference(const CBXF_referenced_object_list<T>* list) const;
};

// ---------------------------------------------------------------------------
// Library objects
// ---------------------------------------------------------------------------

class CBXF_cabinet;
class CBXF_container;
class CBXF_part;
class CBXF_function_unit;
class CBXF_article;
class CBXF_component;
class CBXF_machining;

class CBXF_cabinet_link : public CBXF_link<CBXF_cabinet> {
 public:
  using CBXF_link::CBXF_link;
  CBXF_cabinet* reference() const override;
};

class CBXF_container_link : public CBXF_link<CBXF_container> {
 public:
  using CBXF_link::CBXF_link;
  CBXF_container* reference() const override;
};

class CBXF_function_unit_link : public CBXF_link<CBXF_function_unit> {
 public:
  using CBXF_link::CBXF_link;
  CBXF_function_unit* reference() const override;
};

class CBXF_article_link : public CBXF_link<CBXF_article> {
 public:
  using CBXF_link::CBXF_link;
  CBXF_article* reference() const override;
  BXF_ACCESSORS(int32_t, quantity)

 private:
  int32_t _quantity = 0;
};

class CBXF_part_link : public CBXF_link<CBXF_part> {
 public:
  using CBXF_link::CBXF_link;
  CBXF_part* reference() const override;
  BXF_ACCESSORS(std::string, uid)

 private:
  std::string _uid;
};

class CBXF_component_link : public CBXF_link<CBXF_component> {
 public:
  using CBXF_link::CBXF_link;
  CBXF_component* reference() const override;
};

class CBXF_cut_machining;

class CBXF_machining_link : public CBXF_link<CBXF_machining> {
 public:
  using CBXF_link::CBXF_link;
  CBXF_machining* reference() const override;
  // The cut this link points at, or null when the first machining whose id
  // matches is no cut or when none matches (the reader keeps only cuts, so
  // a link to a drilling finds nothing). Never raises.
  CBXF_cut_machining* cut() const;
};

#define BXF_LINK_LIST(Name, Link)        \
  class Name : public CBXF_links<Link> { \
   public:                               \
    using CBXF_links::CBXF_links;        \
  }

BXF_LINK_LIST(CBXF_part_links, CBXF_part_link);
BXF_LINK_LIST(CBXF_cabinet_links, CBXF_cabinet_link);
BXF_LINK_LIST(CBXF_container_links, CBXF_container_link);
BXF_LINK_LIST(CBXF_function_unit_links, CBXF_function_unit_link);
BXF_LINK_LIST(CBXF_article_links, CBXF_article_link);
BXF_LINK_LIST(CBXF_component_links, CBXF_component_link);
BXF_LINK_LIST(CBXF_machining_links, CBXF_machining_link);
#undef BXF_LINK_LIST

// A placed node of the scene: cabinets and containers.
class CBXF_node : public CBXF_referenced_object {
 public:
  explicit CBXF_node(CBXF* bxf);
  ~CBXF_node() override;
  BXF_ACCESSORS(std::string, description)
  CBXF_cabinet_links* cabinet_links() const { return _cabinet_links.get(); }
  CBXF_container_links* container_links() const { return _container_links.get(); }

 private:
  std::unique_ptr<CBXF_cabinet_links> _cabinet_links;
  std::unique_ptr<CBXF_container_links> _container_links;
  std::string _description;
};

// A cabinet definition. Its own `description` and `container_links` hide the
// node's fields of the same names, which stay empty in a cabinet.
class CBXF_cabinet : public CBXF_node {
 public:
  explicit CBXF_cabinet(CBXF* bxf);
  ~CBXF_cabinet() override;
  BXF_ACCESSORS(std::string, model_key)
  BXF_ACCESSORS(std::string, description)
  CBXF_part_links* part_links() const { return _part_links.get(); }
  CBXF_container_links* container_links() const { return _cabinet_container_links.get(); }

 private:
  std::unique_ptr<CBXF_part_links> _part_links;
  std::unique_ptr<CBXF_container_links> _cabinet_container_links;
  std::string _model_key;
  std::string _description;
};

// A container's bounding shape: its type name as written and its size.
class CBXF_boundary : public CBXF_object {
 public:
  using CBXF_object::CBXF_object;
  BXF_ACCESSORS(std::string, kind)
  BXF_ACCESSORS(float3, extent)

 private:
  std::string _kind;
  float3 _extent;
};

class CBXF_container : public CBXF_node {
 public:
  explicit CBXF_container(CBXF* bxf);
  ~CBXF_container() override;
  BXF_ACCESSORS(std::string, model_key)
  CBXF_function_unit_links* function_unit_links() const { return _function_unit_links.get(); }
  CBXF_boundary* boundary() const { return _boundary.get(); }

 private:
  std::unique_ptr<CBXF_function_unit_links> _function_unit_links;
  std::unique_ptr<CBXF_boundary> _boundary;
  std::string _model_key;
};

// Base of part shapes.
class CBXF_geometry : public CBXF_object {
 public:
  using CBXF_object::CBXF_object;
};

class CBXF_box_geometry : public CBXF_geometry {
 public:
  using CBXF_geometry::CBXF_geometry;
  BXF_ACCESSORS(float3, extent)

 private:
  float3 _extent;
};

// A prism: the corners of its base polygon in file order, and its z value.
class CBXF_prism_geometry : public CBXF_geometry {
 public:
  explicit CBXF_prism_geometry(CBXF* bxf);
  ~CBXF_prism_geometry() override;
  CList<float2>* base_points() const { return _base_points.get(); }
  BXF_ACCESSORS(double, z_value)

 private:
  TRef<CList<float2>> _base_points;
  double _z_value = 0;
};

class CBXF_drawing_detail : public CBXF_object {
 public:
  using CBXF_object::CBXF_object;
  BXF_ACCESSORS(float3, front_orientation)
  BXF_ACCESSORS(float3, floor_orientation)

 private:
  float3 _front_orientation;
  float3 _floor_orientation;
};

class CBXF_part : public CBXF_referenced_object {
 public:
  explicit CBXF_part(CBXF* bxf);
  ~CBXF_part() override;
  BXF_ACCESSORS(std::string, model_key)
  BXF_ACCESSORS(std::string, description)
  // The part's shape, or null when the file's type is not supported. The part
  // owns it: setting another frees the previous one.
  CBXF_geometry* geometry() const { return _geometry.get(); }
  void set_geometry(std::unique_ptr<CBXF_geometry> geometry) { _geometry = std::move(geometry); }
  CBXF_drawing_detail* drawing_detail() const { return _drawing_detail.get(); }
  // Replaces (and frees) the drawing detail; nothing in the system uses it.
  void set_drawing_detail(std::unique_ptr<CBXF_drawing_detail> detail) { _drawing_detail = std::move(detail); }

 private:
  std::unique_ptr<CBXF_geometry> _geometry;
  std::unique_ptr<CBXF_drawing_detail> _drawing_detail;
  std::string _model_key;
  std::string _description;
};

class CBXF_function_unit : public CBXF_referenced_object {
 public:
  explicit CBXF_function_unit(CBXF* bxf);
  ~CBXF_function_unit() override;
  BXF_ACCESSORS(std::string, description)
  CBXF_article_links* article_links() const { return _article_links.get(); }
  CBXF_part_links* part_links() const { return _part_links.get(); }
  CBXF_component_links* component_links() const { return _component_links.get(); }

 private:
  std::unique_ptr<CBXF_article_links> _article_links;
  std::unique_ptr<CBXF_part_links> _part_links;
  std::unique_ptr<CBXF_component_links> _component_links;
  std::string _description;
};

class CBXF_article : public CBXF_referenced_object {
 public:
  explicit CBXF_article(CBXF* bxf);
  ~CBXF_article() override;
  BXF_ACCESSORS(std::string, item_number)
  BXF_ACCESSORS(std::string, article_number)
  BXF_ACCESSORS(int32_t, total_quantity)
  BXF_ACCESSORS(std::string, description)
  BXF_ACCESSORS(std::string, material)
  // Case-sensitive, in file order, duplicates kept.
  IStringList* component_numbers() const { return _component_numbers.get(); }

 private:
  TRef<IStringList> _component_numbers;
  std::string _item_number;
  std::string _article_number;
  int32_t _total_quantity = 0;
  std::string _description;
  std::string _material;
};

class CBXF_component : public CBXF_referenced_object {
 public:
  explicit CBXF_component(CBXF* bxf);
  ~CBXF_component() override;
  BXF_ACCESSORS(std::string, component_number)
  BXF_ACCESSORS(std::string, model_key)
  CBXF_machining_links* machining_links() const { return _machining_links.get(); }
  // The first article of the library that lists this component's number
  // (exactly, case-sensitively); an assertion failure whose message is the
  // number when none does. Searched again on every read.
  CBXF_article* article() const;

 private:
  std::unique_ptr<CBXF_machining_links> _machining_links;
  std::string _component_number;
  std::string _model_key;
};

class CBXF_machining_group : public CBXF_referenced_object {
 public:
  using CBXF_referenced_object::CBXF_referenced_object;
};

class CBXF_machining : public CBXF_referenced_object {
 public:
  using CBXF_referenced_object::CBXF_referenced_object;
};

class CBXF_cut_machining : public CBXF_machining {
 public:
  using CBXF_machining::CBXF_machining;
  BXF_ACCESSORS(float3, orientation)
  BXF_ACCESSORS(double, original_size)
  BXF_ACCESSORS(double, final_size)

 private:
  float3 _orientation;
  double _original_size = 0;
  double _final_size = 0;
};

// ---------------------------------------------------------------------------
// Collections of the library and the scene
// ---------------------------------------------------------------------------

#define BXF_OBJECT_LIST(Name, Item)                                 \
  class Name : public CBXF_referenced_object_list<Item> {           \
   public:                                                          \
    using CBXF_referenced_object_list::CBXF_referenced_object_list; \
  }

BXF_OBJECT_LIST(CBXF_nodes, CBXF_node);
BXF_OBJECT_LIST(CBXF_cabinets, CBXF_cabinet);
BXF_OBJECT_LIST(CBXF_containers, CBXF_container);
BXF_OBJECT_LIST(CBXF_parts, CBXF_part);
BXF_OBJECT_LIST(CBXF_function_units, CBXF_function_unit);
BXF_OBJECT_LIST(CBXF_components, CBXF_component);
BXF_OBJECT_LIST(CBXF_machining_groups, CBXF_machining_group);
BXF_OBJECT_LIST(CBXF_machinings, CBXF_machining);
#undef BXF_OBJECT_LIST

class CBXF_articles : public CBXF_referenced_object_list<CBXF_article> {
 public:
  using CBXF_referenced_object_list::CBXF_referenced_object_list;
  // The first article that lists `component_number`, or null.
  CBXF_article* find_component_number(const std::string& component_number) const;

 private:
  mutable std::unordered_map<std::string, int32_t> _first_listing;
  mutable uint64_t _revision = 0;  // the document's, when the index was built
  mutable bool _built = false;
};

// A cabinet group is a list of cabinet links without an id of its own.
class CBXF_cabinet_group : public CBXF_cabinet_links {
 public:
  using CBXF_cabinet_links::CBXF_cabinet_links;
};

class CBXF_cabinet_groups : public CBXF_list<CBXF_cabinet_group> {
 public:
  using CBXF_list::CBXF_list;
  BXF_ACCESSORS(std::string, id)

 private:
  std::string _id;
};

// ---------------------------------------------------------------------------
// Document and sections
// ---------------------------------------------------------------------------

enum TBXF_angular_units : uint8_t { au_degree, au_grad };

// The file's length unit: a factor named `meter` and the unit's name.
class CBXF_units : public CBXF_object {
 public:
  using CBXF_object::CBXF_object;
  BXF_ACCESSORS(double, meter)
  BXF_ACCESSORS(std::string, name)

 private:
  double _meter = 0;
  std::string _name;
};

class CBXF_head : public CBXF_object {
 public:
  explicit CBXF_head(CBXF* bxf);
  ~CBXF_head() override;
  BXF_ACCESSORS(std::string, version)
  BXF_ACCESSORS(double, date)  // days since 30 December 1899; not read from files
  BXF_ACCESSORS(std::string, author)
  BXF_ACCESSORS(std::string, copyright)
  CBXF_units* units() const { return _units.get(); }
  BXF_ACCESSORS(TBXF_angular_units, angular_unit)
  BXF_ACCESSORS(std::string, country)
  BXF_ACCESSORS(std::string, language)

 private:
  std::string _version;
  double _date = 0;
  std::string _author;
  std::string _copyright;
  std::unique_ptr<CBXF_units> _units;
  TBXF_angular_units _angular_unit = au_degree;
  std::string _country;
  std::string _language;
};

class CBXF_scene : public CBXF_object {
 public:
  explicit CBXF_scene(CBXF* bxf);
  ~CBXF_scene() override;
  CBXF_nodes* nodes() const { return _nodes.get(); }

 private:
  std::unique_ptr<CBXF_nodes> _nodes;
};

class CBXF_library : public CBXF_object {
 public:
  explicit CBXF_library(CBXF* bxf);
  ~CBXF_library() override;
  CBXF_cabinet_groups* cabinet_groups() const { return _cabinet_groups.get(); }
  CBXF_cabinets* cabinets() const { return _cabinets.get(); }
  CBXF_containers* containers() const { return _containers.get(); }
  CBXF_parts* parts() const { return _parts.get(); }
  CBXF_function_units* function_units() const { return _function_units.get(); }
  CBXF_articles* articles() const { return _articles.get(); }
  CBXF_components* components() const { return _components.get(); }
  CBXF_machining_groups* machining_groups() const { return _machining_groups.get(); }
  CBXF_machinings* machinings() const { return _machinings.get(); }

 private:
  // Created in this order, freed in the reverse order.
  std::unique_ptr<CBXF_cabinet_groups> _cabinet_groups;
  std::unique_ptr<CBXF_cabinets> _cabinets;
  std::unique_ptr<CBXF_containers> _containers;
  std::unique_ptr<CBXF_parts> _parts;
  std::unique_ptr<CBXF_function_units> _function_units;
  std::unique_ptr<CBXF_articles> _articles;
  std::unique_ptr<CBXF_components> _components;
  std::unique_ptr<CBXF_machining_groups> _machining_groups;
  std::unique_ptr<CBXF_machinings> _machinings;
};

// One BXF2 document; its `bxf` is itself.
class CBXF : public CBXF_object {
 public:
  CBXF();
  ~CBXF() override;
  CBXF_head* head() const { return _head.get(); }
  CBXF_scene* scene() const { return _scene.get(); }
  CBXF_library* lib() const { return _lib.get(); }

  // A number that grows with every change of this document that can alter a
  // resolution: any change to one of its model lists or an article's
  // component numbers, any new id. Indexes compare it with the value they
  // were built at.
  uint64_t revision() const { return _revision; }
  void touch() { ++_revision; }

 private:
  uint64_t _revision = 1;  // before the members, whose destruction still counts
  // Created in this order, freed in the reverse order.
  std::unique_ptr<CBXF_head> _head;
  std::unique_ptr<CBXF_scene> _scene;
  std::unique_ptr<CBXF_library> _lib;
};

// ---------------------------------------------------------------------------
// Resolution
// ---------------------------------------------------------------------------

template <class T>
T* CBXF_referenced_object_list<T>::find_id(const std::string& id) const {
  return _index.find(
      id, this->count(), [this](int32_t k) -> T* { return this->at(k); }, this->bxf()->revision());
}

template <class T>
T* CBXF_link<T>::find_reference(const CBXF_referenced_object_list<T>* list) const {
  ASSERT(list);
  T* found = list->find_id(reference_id());
  ASSERT_MSG(found, reference_id());
  return found;
}
