#include "import.bxf2.types.h"

#include <gtest/gtest.h>

#include <memory>
#include <typeinfo>

#include "test.support.h"

using namespace test_support;

namespace {

template <class List>
auto* add_item(List* list, const std::string& id) {
  auto item = list->new_item();
  item->set_id(id);
  return list->add(std::move(item));
}

CBXF_part_link* part_link(CBXF* doc, const std::string& reference_id) {
  // Kept by a cabinet so the document frees it.
  CBXF_cabinet* holder =
      doc->lib()->cabinets()->count() ? doc->lib()->cabinets()->at(0) : add_item(doc->lib()->cabinets(), "holder");
  auto link = holder->part_links()->new_item();
  link->set_reference_id(reference_id);
  return holder->part_links()->add(std::move(link));
}

std::string resolve_failure(const std::function<void()>& run) {
  TRaised r = raised_by(run);
  EXPECT_EQ(r.class_name, "EAssertionFailed");
  return r.message;
}

}  // namespace

TEST(types, fresh_document) {
  int64_t before = CBXF_object::live_objects();
  {
    std::unique_ptr<CBXF> doc(new CBXF());
    EXPECT_EQ(doc->bxf(), doc.get());
    EXPECT_EQ(doc->head()->bxf(), doc.get());
    EXPECT_EQ(doc->head()->version(), "");
    EXPECT_EQ(doc->head()->date(), 0.0);
    EXPECT_EQ(doc->head()->angular_unit(), au_degree);
    EXPECT_EQ(doc->head()->units()->meter(), 0.0);
    EXPECT_EQ(doc->head()->units()->name(), "");
    EXPECT_EQ(doc->scene()->nodes()->count(), 0);
    CBXF_library* lib = doc->lib();
    EXPECT_EQ(lib->cabinet_groups()->count() + lib->cabinets()->count() + lib->containers()->count() +
                  lib->parts()->count() + lib->function_units()->count() + lib->articles()->count() +
                  lib->components()->count() + lib->machining_groups()->count() + lib->machinings()->count(),
              0);
    EXPECT_EQ(lib->parts()->bxf(), doc.get());
    EXPECT_EQ(lib->cabinet_groups()->id(), "");
  }
  EXPECT_EQ(CBXF_object::live_objects(), before);
}

TEST(types, new_item_makes_exactly_the_element_class) {
  std::unique_ptr<CBXF> doc(new CBXF());
  std::unique_ptr<CBXF_node> node = doc->scene()->nodes()->new_item();
  const auto& node_object = *node;
  EXPECT_EQ(typeid(node_object), typeid(CBXF_node));
  EXPECT_EQ(node->bxf(), doc.get());
  EXPECT_EQ(doc->scene()->nodes()->count(), 0);  // not put in
  std::unique_ptr<CBXF_machining> machining = doc->lib()->machinings()->new_item();
  const auto& machining_object = *machining;
  EXPECT_EQ(typeid(machining_object), typeid(CBXF_machining));
  std::unique_ptr<CBXF_cabinet_group> group = doc->lib()->cabinet_groups()->new_item();
  const auto& group_object = *group;
  EXPECT_EQ(typeid(group_object), typeid(CBXF_cabinet_group));
}

TEST(types, owned_members_and_freeing) {
  int64_t before = CBXF_object::live_objects();
  {
    std::unique_ptr<CBXF> doc(new CBXF());
    CBXF_library* lib = doc->lib();
    CBXF_part* with_box = add_item(lib->parts(), "P1");
    with_box->set_geometry(std::make_unique<CBXF_box_geometry>(doc.get()));
    with_box->set_geometry(std::make_unique<CBXF_prism_geometry>(doc.get()));  // frees the box
    static_cast<CBXF_prism_geometry*>(with_box->geometry())->base_points()->add(float2(1, 2));
    add_item(lib->parts(), "P2");  // never gets a geometry
    EXPECT_EQ(lib->parts()->at(1)->geometry(), nullptr);
    CBXF_cabinet_group* group = lib->cabinet_groups()->add(lib->cabinet_groups()->new_item());
    CBXF_cabinet_link* link = group->add(group->new_item());
    link->transformations()->add(link->transformations()->new_item());
    CBXF_article* article = add_item(lib->articles(), "A1");
    article->component_numbers()->add("K1");
    CBXF_container* container = add_item(lib->containers(), "C1");
    EXPECT_EQ(container->boundary()->bxf(), doc.get());
  }
  EXPECT_EQ(CBXF_object::live_objects(), before);
}

TEST(types, cabinet_fields_hide_the_node_fields) {
  std::unique_ptr<CBXF> doc(new CBXF());
  CBXF_cabinet* cabinet = add_item(doc->lib()->cabinets(), "K");
  cabinet->set_description("own");
  cabinet->container_links()->add(cabinet->container_links()->new_item());
  CBXF_node* as_node = cabinet;
  EXPECT_EQ(as_node->description(), "");
  EXPECT_EQ(as_node->container_links()->count(), 0);
  EXPECT_EQ(as_node->cabinet_links()->count(), 0);
  EXPECT_NE(static_cast<void*>(as_node->container_links()), static_cast<void*>(cabinet->container_links()));
  EXPECT_EQ(cabinet->container_links()->count(), 1);
}

TEST(types, article_component_numbers_are_case_sensitive) {
  std::unique_ptr<CBXF> doc(new CBXF());
  std::unique_ptr<CBXF_article> article = doc->lib()->articles()->new_item();
  EXPECT_EQ(article->component_numbers()->get_count(), 0);
  article->component_numbers()->add("k1");
  EXPECT_EQ(article->component_numbers()->index_of("K1"), -1);
  EXPECT_EQ(article->component_numbers()->index_of("k1"), 0);
}

TEST(types, reference_resolution_rules) {
  std::unique_ptr<CBXF> doc(new CBXF());
  CBXF_parts* parts = doc->lib()->parts();
  CBXF_part* abc = add_item(parts, "abc");
  CBXF_part* dup1 = add_item(parts, "dup");
  add_item(parts, "DUP");
  CBXF_part* e_acute = add_item(parts, "\xC3\xA9t\xC3\xA9");  // été
  CBXF_part* under = add_item(parts, "a_b");
  // Ids longer than an index slot holds are compared with the item's own id.
  CBXF_part* long1 = add_item(parts, "long-id-of-a-part-0001");
  add_item(parts, "LONG-ID-OF-A-PART-0001");
  CBXF_part* long2 = add_item(parts, "long-id-of-a-part-0002");
  CBXF_part* fifteen = add_item(parts, "fifteen-chars-x");
  CBXF_part* sixteen = add_item(parts, "sixteen-chars-xy");

  struct Case {
    const char* reference_id;
    CBXF_part* expected;  // null: fails with the id as message
  } cases[] = {
      {"abc", abc},
      {"ABC", abc},
      {"aBc", abc},
      {"dup", dup1},
      {"Dup", dup1},
      {"\xC3\xA9t\xC3\xA9", e_acute},
      {"\xC3\x89T\xC3\x89", nullptr},  // ÉTÉ
      {"A_B", under},
      {"a-b", nullptr},
      {"", nullptr},
      {"abc ", nullptr},
      {"Long-Id-Of-A-Part-0001", long1},
      {"long-id-of-a-part-0002", long2},
      {"long-id-of-a-part-0003", nullptr},
      {"long-id-of-a-part-000", nullptr},
      {"FIFTEEN-CHARS-X", fifteen},
      {"Sixteen-Chars-XY", sixteen},
      {"fifteen-chars-", nullptr},
      {"sixteen-chars-xyz", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reference_id);
    CBXF_part_link* link = part_link(doc.get(), c.reference_id);
    if (c.expected) {
      EXPECT_EQ(link->reference(), c.expected);
    } else {
      EXPECT_TRUE(resolve_failure([&] {
                    link->reference();
                  }).starts_with(assertion_prefix(c.reference_id, "import.bxf2.types")));
    }
  }
  // An empty reference finds the first object with an empty id.
  CBXF_part* unnamed = add_item(parts, "");
  add_item(parts, "");
  EXPECT_EQ(part_link(doc.get(), "")->reference(), unnamed);
}

TEST(types, every_link_searches_its_collection) {
  std::unique_ptr<CBXF> doc(new CBXF());
  CBXF_library* lib = doc->lib();
  auto* cabinet = add_item(lib->cabinets(), "X");
  auto* container = add_item(lib->containers(), "X");
  auto* part = add_item(lib->parts(), "X");
  auto* unit = add_item(lib->function_units(), "X");
  auto* article = add_item(lib->articles(), "X");
  auto* component = add_item(lib->components(), "X");
  auto* machining =
      static_cast<CBXF_cut_machining*>(lib->machinings()->add(std::make_unique<CBXF_cut_machining>(doc.get())));
  machining->set_id("X");
  add_item(doc->scene()->nodes(), "N");

  auto link = [&](auto* list) {
    auto l = list->new_item();
    l->set_reference_id("x");
    return list->add(std::move(l));
  };
  CBXF_node* node = doc->scene()->nodes()->at(0);
  EXPECT_EQ(link(node->cabinet_links())->reference(), cabinet);
  EXPECT_EQ(link(node->container_links())->reference(), container);
  EXPECT_EQ(link(cabinet->part_links())->reference(), part);
  EXPECT_EQ(link(container->function_unit_links())->reference(), unit);
  EXPECT_EQ(link(unit->article_links())->reference(), article);
  EXPECT_EQ(link(unit->component_links())->reference(), component);
  EXPECT_EQ(link(component->machining_links())->reference(), machining);
  // A machining link's cut: the cut, or nothing for another machining or none.
  EXPECT_EQ(link(component->machining_links())->cut(), machining);
  add_item(lib->machinings(), "Y");  // a machining that is no cut
  auto* to_other = link(component->machining_links());
  to_other->set_reference_id("y");
  EXPECT_EQ(to_other->cut(), nullptr);
  to_other->set_reference_id("drilling");
  EXPECT_EQ(to_other->cut(), nullptr);
  // Nodes are not link targets.
  auto* to_node = link(node->cabinet_links());
  to_node->set_reference_id("N");
  EXPECT_TRUE(resolve_failure([&] { to_node->reference(); }).starts_with(assertion_prefix("N", "import.bxf2.types")));
}

TEST(types, resolution_follows_changes) {
  std::unique_ptr<CBXF> doc(new CBXF());
  CBXF_parts* parts = doc->lib()->parts();
  CBXF_part* second = add_item(parts, "B");
  CBXF_part_link* link = part_link(doc.get(), "a");
  EXPECT_FALSE(resolve_failure([&] { link->reference(); }).empty());
  CBXF_part* first = add_item(parts, "A");
  EXPECT_EQ(link->reference(), first);
  // An earlier object renamed to the id wins from then on.
  second->set_id("a");
  EXPECT_EQ(link->reference(), second);
  // An object inserted in front wins too; a deleted one is no longer found.
  CBXF_part* front = parts->insert(0, parts->new_item());
  front->set_id("A");
  EXPECT_EQ(link->reference(), front);
  EXPECT_EQ(parts->take(0).get(), front);
  EXPECT_EQ(link->reference(), second);
}

TEST(types, component_article) {
  std::unique_ptr<CBXF> doc(new CBXF());
  CBXF_library* lib = doc->lib();
  CBXF_article* a1 = add_item(lib->articles(), "A1");
  a1->component_numbers()->add("K2");
  a1->component_numbers()->add("k1");
  CBXF_article* a2 = add_item(lib->articles(), "A2");
  a2->component_numbers()->add("K1");
  a2->component_numbers()->add("K2");
  CBXF_component* component = add_item(lib->components(), "C");

  struct Case {
    const char* number;
    CBXF_article* expected;
  } cases[] = {{"K2", a1}, {"K1", a2}, {"k1", a1}, {"k2", nullptr}, {"", nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.number);
    component->set_component_number(c.number);
    if (c.expected)
      EXPECT_EQ(component->article(), c.expected);
    else
      EXPECT_TRUE(
          resolve_failure([&] { component->article(); }).starts_with(assertion_prefix(c.number, "import.bxf2.types")));
  }
  // A number added later to an earlier article is found there.
  a1->component_numbers()->add("K1");
  component->set_component_number("K1");
  EXPECT_EQ(component->article(), a1);
}

TEST(types, new_item_then_failure_leaves_collection_unchanged) {
  std::unique_ptr<CBXF> doc(new CBXF());
  int64_t before = CBXF_object::live_objects();
  TRaised r = raised_by([&] {
    std::unique_ptr<CBXF_part> part = doc->lib()->parts()->new_item();
    throw Exception("filling failed");
  });
  EXPECT_EQ(r.message, "filling failed");
  EXPECT_EQ(doc->lib()->parts()->count(), 0);
  EXPECT_EQ(CBXF_object::live_objects(), before);
}

// Each document counts its own changes: a change in one leaves the other's
// count, and so the indexes built on it, as they are.
TEST(types, each_document_counts_its_own_changes) {
  auto changed = std::make_unique<CBXF>();
  auto other = std::make_unique<CBXF>();
  struct Change {
    const char* what;
    std::function<void()> make;
  };
  CBXF_article* article = add_item(changed->lib()->articles(), "A");
  const Change changes[] = {
      {"an item added", [&] { add_item(changed->lib()->parts(), "P"); }},
      {"an id set", [&] { article->set_id("B"); }},
      {"a component number added", [&] { article->component_numbers()->add("K1"); }},
      {"an item taken out", [&] { changed->lib()->parts()->take(0); }},
  };
  for (const Change& change : changes) {
    const uint64_t before = changed->revision(), other_before = other->revision();
    change.make();
    EXPECT_GT(changed->revision(), before) << change.what;
    EXPECT_EQ(other->revision(), other_before) << change.what;
  }
}

TEST(types, an_item_of_another_document_is_refused) {
  auto doc = std::make_unique<CBXF>();
  auto other = std::make_unique<CBXF>();
  const int64_t before = CBXF_object::live_objects();
  TRaised r = raised_by([&] { doc->lib()->parts()->add(other->lib()->parts()->new_item()); });
  EXPECT_EQ(r.class_name, "EAssertionFailed");
  EXPECT_EQ(doc->lib()->parts()->count(), 0);
  EXPECT_EQ(CBXF_object::live_objects(), before);  // the refused item is freed
}
