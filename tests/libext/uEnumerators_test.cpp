#include "uEnumerators.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "uDictionary.h"
#include "uStringList.h"

namespace {

using Texts = std::vector<std::string>;

class enumerators : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(CSafeInterfacedObject::leak_report(), ""); }
};

TEST_F(enumerators, each_walks_every_kind_of_source) {
  TRef<IStringList> list = CStringList::create(true);
  for (const char* s : {"a", "b", "c"}) list->add(s);
  TRef<IDictionary<int>> dict = CDictionary<int>::create(true, false);
  dict->add("y", 2);
  dict->add("x", 1);

  Texts seen;
  for (const std::string& s : each(list)) seen.push_back(s);  // TRef<IStringList>
  EXPECT_EQ(seen, (Texts{"a", "b", "c"}));

  seen.clear();
  IIterable<std::string>* iterable = list.get();
  for (const auto& s : each(iterable)) seen.push_back(s);  // raw IIterable
  EXPECT_EQ(seen, (Texts{"a", "b", "c"}));

  seen.clear();
  for (const auto& s : each(dict->get_keys())) seen.push_back(s);  // a temporary iterator
  EXPECT_EQ(seen, (Texts{"x", "y"}));

  std::vector<int> values;
  for (int v : each(dict->get_values())) values.push_back(v);
  EXPECT_EQ(values, (std::vector<int>{1, 2}));
}

TEST_F(enumerators, empty_and_null_sources_give_no_items) {
  TRef<IList<int>> empty = CList<int>::create();
  TRef<IList<int>> none;
  int n = 0;
  for (int v : each(empty)) n += v + 1;
  for (int v : each(none)) n += v + 1;
  EXPECT_EQ(n, 0);
}

TEST_F(enumerators, loop_sees_the_live_list_and_releases_on_break) {
  TRef<IList<int>> list = CList<int>::create();
  for (int v : {1, 2, 3}) list->add(v);
  std::vector<int> seen;
  for (int v : each(list)) {
    seen.push_back(v);
    if (v == 1) list->add(4);
    if (v == 3) break;
  }
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
  // The enumerator is gone after the loop: only this reference keeps the list.
  EXPECT_EQ(static_cast<CList<int>*>(list.get())->references(), 1);
}

TEST_F(enumerators, temporary_source_lives_through_the_loop) {
  Texts seen;
  auto make = [] {
    TRef<IStringList> l = CStringList::create(false);
    l->add("only");
    return l;
  };
  for (const auto& s : each(make())) seen.push_back(s);
  EXPECT_EQ(seen, (Texts{"only"}));
}

}  // namespace
