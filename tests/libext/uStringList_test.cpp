#include "uStringList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Texts = std::vector<std::string>;

class string_list : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(CSafeInterfacedObject::leak_report(), ""); }

  static TRef<IStringList> make(bool case_sensitive, const Texts& items) {
    TRef<IStringList> list = CStringList::create(case_sensitive);
    for (const auto& s : items) list->add(s);
    return list;
  }
  static Texts items_of(IStringList* list) {
    Texts out;
    for (int32_t i = 0; i < list->get_count(); ++i) out.push_back(list->get_item(i));
    return out;
  }
};

TEST_F(string_list, answers_its_interfaces) {
  TRef<IStringList> list = make(true, {});
  EXPECT_EQ(IStringList::IID, TGUID::parse("{8B8BA39C-260C-4C65-9359-F670A2564831}"));
  EXPECT_TRUE(list.query<IStringList>());
  EXPECT_TRUE(list.query<ITypedList<std::string>>());
  EXPECT_TRUE(list.query<IList<std::string>>());
  EXPECT_TRUE(list.query<IIterable<std::string>>());
}

TEST_F(string_list, find_and_index_of) {
  struct Case {
    bool case_sensitive;
    Texts items;
    std::string sought;
    int32_t index;  // -1: absent
  } cases[] = {
      {false, {"x", "Abc", "abc"}, "aBC", 1},  // first of the equal ones
      {true, {"x", "Abc", "abc"}, "abc", 2},
      {true, {"x", "Abc"}, "aBC", -1},
      {false, {"x", "Abc"}, "y", -1},
      {false, {}, "", -1},
      {false, {"", "a"}, "", 0},              // two empty texts are equal
      {false, {"\xC3\xA4"}, "\xC3\x84", -1},  // no folding outside 'a'..'z'
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sought);
    TRef<IStringList> list = make(c.case_sensitive, c.items);
    EXPECT_EQ(list->index_of(c.sought), c.index);
    int32_t index = 99;
    EXPECT_EQ(list->find(c.sought, index), c.index >= 0);
    EXPECT_EQ(index, c.index >= 0 ? c.index : 99);  // left alone when absent
  }
}

TEST_F(string_list, remove_takes_every_equal_item) {
  struct Case {
    bool case_sensitive;
    Texts items;
    std::string item;
    bool removed;
    Texts rest;
  } cases[] = {
      {false, {"x", "X", "y"}, "x", true, {"y"}},
      {true, {"x", "X", "y"}, "x", true, {"X", "y"}},
      {false, {"x", "X", "y"}, "z", false, {"x", "X", "y"}},
      {false, {}, "z", false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.item);
    TRef<IStringList> list = make(c.case_sensitive, c.items);
    EXPECT_EQ(list->remove(c.item), c.removed);
    EXPECT_EQ(items_of(list.get()), c.rest);
  }
}

TEST_F(string_list, orders_of_the_two_kinds) {
  struct Case {
    bool case_sensitive;
    std::string a, b;  // a orders before b
  } cases[] = {
      {false, "Za", "_a"},  // '_' after every letter when case is ignored
      {true, "Za", "_a"},
      {true, "_a", "a"},
      {true, "B", "a"},
      {false, "a", "B"},
      {true, "ab", "abc"},  // a prefix comes first
      // U+1F600 (surrogates 0xD83D 0xDE00) orders before U+FF21 in UTF-16,
      // though its UTF-8 bytes order after
      {true, "\xF0\x9F\x98\x80", "\xEF\xBC\xA1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.a + " < " + c.b);
    CStringList* list = CStringList::create(c.case_sensitive);
    EXPECT_LT(list->compare(c.a, c.b), 0);
    EXPECT_GT(list->compare(c.b, c.a), 0);
    list->free();
  }
}

TEST_F(string_list, search_in_own_order) {
  struct Case {
    bool case_sensitive;
    Texts items;  // in the list's order
    std::string sought;
    bool found;
    int32_t index;
  } cases[] = {
      {false, {}, "a", false, 0},
      {false, {"a", "B", "c"}, "b", true, 1},
      {false, {"a", "B", "b", "c"}, "B", true, 1},  // first of the equal ones
      {false, {"a", "Za", "_a"}, "_A", true, 2},
      {false, {"a", "c"}, "b", false, 1},
      {false, {"a", "c"}, "z", false, 2},
      {true, {"B", "Za", "_a", "a"}, "_a", true, 2},
      {true, {"B", "a", "b"}, "A", false, 0},
      {true, {"B", "a", "b"}, "c", false, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sought);
    TRef<IStringList> list = make(c.case_sensitive, c.items);
    int32_t index = -7;
    EXPECT_EQ(list->search(c.sought, index), c.found);
    EXPECT_EQ(index, c.index);
  }
}

TEST_F(string_list, search_after_sort_finds_every_item) {
  for (bool case_sensitive : {true, false}) {
    SCOPED_TRACE(case_sensitive);
    CStringList* list = CStringList::create(case_sensitive);
    TRef<IStringList> hold(list);
    const Texts items = {"pear", "Apple", "_x", "fig", "Zebra", "apple2", "kiwi", "Banana", "a"};
    for (const auto& s : items) list->add(s);
    list->sort([&](const std::string& a, const std::string& b) { return list->compare(a, b); });
    for (int32_t i = 1; i < list->count(); ++i) EXPECT_LT(list->compare(list->at(i - 1), list->at(i)), 0);
    for (const auto& s : items) {
      int32_t index = -1;
      EXPECT_TRUE(list->search(s, index)) << s;
      EXPECT_EQ(list->at(index), s);
    }
  }
}

TEST_F(string_list, callback_forms_stay_available) {
  TRef<IStringList> list = make(false, {"a", "bb", "ccc"});
  auto same_length = [](const std::string& a, const std::string& b) { return a.size() == b.size(); };
  EXPECT_EQ(list->index_of("xx", same_length), 1);
  int32_t index = -1;
  EXPECT_TRUE(list->find("yyy", same_length, index));
  EXPECT_EQ(index, 2);
  EXPECT_TRUE(list->remove("z", same_length));
  EXPECT_EQ(items_of(list.get()), (Texts{"bb", "ccc"}));
  list->sort([](const std::string& a, const std::string& b) { return int32_t(b.size()) - int32_t(a.size()); });
  EXPECT_EQ(items_of(list.get()), (Texts{"ccc", "bb"}));
}

TEST_F(string_list, range_loop_and_iterator) {
  TRef<IStringList> list = make(true, {"a", "b"});
  Texts seen;
  for (TRef<IIterator<std::string>> it = list->getEnumerator(); it->moveNext();) seen.push_back(it->get_current());
  EXPECT_EQ(seen, (Texts{"a", "b"}));
}

}  // namespace
