#include "uList.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

using Ints = std::vector<int>;

// A counted item: its reference count tells how many list slots hold it.
struct IToken : IInterface {
  static constexpr TGUID IID = TGUID::parse("{6F1C2D3E-4A5B-4C6D-8E7F-9A0B1C2D3E4F}");
  using Parent = IInterface;
  virtual int value() = 0;
};

class CToken : public TImplements<CSafeInterfacedObject, IToken> {
 public:
  static inline int destroyed = 0;
  static CToken* create(int value) { return construct(new CToken(value)); }
  int value() override { return _value; }

 protected:
  explicit CToken(int value) : _value(value) {}
  ~CToken() override { ++destroyed; }

 private:
  int _value;
};

using Token = TRef<IToken>;

class list : public ::testing::Test {
 protected:
  void SetUp() override { CToken::destroyed = 0; }
  void TearDown() override { EXPECT_EQ(CSafeInterfacedObject::leak_report(), ""); }

  static TRef<IList<int>> make(const Ints& items) {
    TRef<IList<int>> l = CList<int>::create();
    for (int v : items) l->add(v);
    return l;
  }
  static Ints items_of(IIterable<int>* l) {
    Ints out;
    for (int32_t i = 0; i < l->get_count(); ++i) out.push_back(l->get_item(i));
    return out;
  }
};

int32_t by_value(const int& a, const int& b) { return a < b ? -1 : a > b ? 1 : 0; }
bool same(const int& a, const int& b) { return a == b; }

// Runs `f` and checks that it fails a precondition of the list module.
void expect_list_assertion(const std::function<void()>& f) {
  try {
    f();
    ADD_FAILURE() << "no assertion failure";
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.message().rfind("Assertion failure (uList, line ", 0), 0u) << e.message();
  }
}

// ---------------------------------------------------------------------------
// Interfaces and ownership
// ---------------------------------------------------------------------------

TEST_F(list, answers_its_interfaces) {
  TRef<IList<int>> l = make({});
  EXPECT_EQ(IIterator<int>::IID, TGUID::parse("{54FBC625-5EA8-4F88-8D88-69F4E62867EB}"));
  EXPECT_TRUE(l.query<IIterable<int>>());
  EXPECT_TRUE(l.query<IList<int>>());
  EXPECT_FALSE(l.query<ITypedList<int>>());
  EXPECT_TRUE(l->getEnumerator().query<IIterator<int>>());
}

TEST_F(list, plain_owner_frees_it) {
  CList<std::string>* l = CList<std::string>::create();
  l->add("a");
  std::string joined;
  for (const auto& s : *l) joined += s;
  EXPECT_EQ(joined, "a");
  l->free();
}

// ---------------------------------------------------------------------------
// Growth and storage
// ---------------------------------------------------------------------------

TEST_F(list, capacity_grows_by_four_sixteen_then_a_quarter) {
  CList<int>* l = CList<int>::create();
  TRef<IList<int>> hold(l);
  Ints capacities;
  for (int i = 0; i < 228; ++i) {
    l->add(i);
    if (capacities.empty() || capacities.back() != l->capacity()) capacities.push_back(l->capacity());
  }
  EXPECT_EQ(capacities, (Ints{4, 8, 12, 28, 44, 60, 76, 95, 118, 147, 183, 228}));
  EXPECT_EQ(l->count(), 228);
  for (int i = 0; i < 228; ++i) ASSERT_EQ(l->at(i), i);
}

TEST_F(list, reserve_never_goes_below_count) {
  struct Case {
    int32_t n;
    int32_t capacity;
  } cases[] = {{1, 5}, {0, 5}, {5, 5}, {20, 20}, {-3, 5}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.n);
    CList<int>* l = CList<int>::create();
    TRef<IList<int>> hold(l);
    for (int v : {1, 2, 3, 4, 5}) l->add(v);
    ASSERT_EQ(l->capacity(), 8);
    l->reserve(c.n);
    EXPECT_EQ(l->capacity(), c.capacity);
    EXPECT_EQ(items_of(l), (Ints{1, 2, 3, 4, 5}));
  }
  CList<int>* empty = CList<int>::create();
  TRef<IList<int>> hold(empty);
  empty->reserve(10);
  EXPECT_EQ(empty->capacity(), 10);
  empty->reserve(0);
  EXPECT_EQ(empty->capacity(), 0);
}

TEST_F(list, truncate_keeps_capacity_and_old_items_until_reused) {
  CList<Token>* l = CList<Token>::create();
  TRef<IList<Token>> hold(l);
  std::vector<Token> tokens;
  for (int i = 0; i < 3; ++i) {
    tokens.emplace_back(CToken::create(i));
    l->add(tokens.back());
  }
  for (auto& t : tokens) EXPECT_EQ(static_cast<CToken*>(t.get())->references(), 2);
  l->truncate();
  EXPECT_EQ(l->count(), 0);
  EXPECT_EQ(l->capacity(), 4);
  for (auto& t : tokens) EXPECT_EQ(static_cast<CToken*>(t.get())->references(), 2);  // slots still hold them

  Token fresh(CToken::create(9));
  EXPECT_EQ(l->add(fresh), 0);
  EXPECT_EQ(l->capacity(), 4);                                        // no growth
  EXPECT_EQ(static_cast<CToken*>(tokens[0].get())->references(), 1);  // its slot was reused
  EXPECT_EQ(static_cast<CToken*>(tokens[1].get())->references(), 2);

  l->clear();
  EXPECT_EQ(l->capacity(), 0);
  for (auto& t : tokens) EXPECT_EQ(static_cast<CToken*>(t.get())->references(), 1);
  EXPECT_EQ(static_cast<CToken*>(fresh.get())->references(), 1);
}

TEST_F(list, every_way_out_releases_the_item) {
  struct Case {
    const char* name;
    std::function<void(IList<Token>*)> act;
    Ints released;  // values of the tokens no slot holds afterwards
  } cases[] = {
      {"delete", [](IList<Token>* l) { l->delete_(1); }, {1}},
      {"set_item", [](IList<Token>* l) { l->set_item(2, Token(CToken::create(7))); }, {2}},
      {"set_first", [](IList<Token>* l) { l->set_first(Token(CToken::create(7))); }, {0}},
      {"set_last", [](IList<Token>* l) { l->set_last(Token(CToken::create(7))); }, {2}},
      {"remove",
       [](IList<Token>* l) { l->remove(l->get_item(0), [](const Token& a, const Token& b) { return a == b; }); },
       {0}},
      {"clear", [](IList<Token>* l) { l->clear(); }, {0, 1, 2}},
      {"reserve after truncate",
       [](IList<Token>* l) {
         l->truncate();
         l->reserve(0);
       },
       {0, 1, 2}},
      {"move keeps all", [](IList<Token>* l) { l->move(0, 2); }, {}},
      {"insert keeps all", [](IList<Token>* l) { l->insert(1, Token(CToken::create(7))); }, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Token> tokens;
    TRef<IList<Token>> l = CList<Token>::create();
    for (int i = 0; i < 3; ++i) {
      tokens.emplace_back(CToken::create(i));
      l->add(tokens.back());
    }
    c.act(l.get());
    for (int i = 0; i < 3; ++i) {
      bool released = std::find(c.released.begin(), c.released.end(), i) != c.released.end();
      EXPECT_EQ(static_cast<CToken*>(tokens[i].get())->references(), released ? 1 : 2) << i;
    }
  }
  // Destroying a list releases what it holds.
  Token t(CToken::create(1));
  {
    TRef<IList<Token>> l = CList<Token>::create();
    l->add(t);
    l->add(t);
    EXPECT_EQ(static_cast<CToken*>(t.get())->references(), 3);
  }
  EXPECT_EQ(static_cast<CToken*>(t.get())->references(), 1);
}

// ---------------------------------------------------------------------------
// Positional editing
// ---------------------------------------------------------------------------

TEST_F(list, positional_edits) {
  struct Case {
    const char* name;
    Ints items;
    std::function<int32_t(IList<int>*)> act;  // returns what the operation returned, or 0
    int32_t result;
    Ints after;
  } cases[] = {
      {"add returns old count", {1, 2}, [](IList<int>* l) { return l->add(3); }, 2, {1, 2, 3}},
      {"insert at count appends", {1, 2}, [](IList<int>* l) { return l->insert(2, 3); }, 2, {1, 2, 3}},
      {"insert at 0 prepends", {1, 2}, [](IList<int>* l) { return l->insert(0, 0); }, 0, {0, 1, 2}},
      {"insert in the middle", {1, 3}, [](IList<int>* l) { return l->insert(1, 2); }, 1, {1, 2, 3}},
      {"insert into empty", {}, [](IList<int>* l) { return l->insert(0, 5); }, 0, {5}},
      {"delete first",
       {1, 2, 3},
       [](IList<int>* l) {
         l->delete_(0);
         return 0;
       },
       0,
       {2, 3}},
      {"delete last",
       {1, 2, 3},
       [](IList<int>* l) {
         l->delete_(2);
         return 0;
       },
       0,
       {1, 2}},
      {"move forward",
       {1, 2, 3},
       [](IList<int>* l) {
         l->move(0, 2);
         return 0;
       },
       0,
       {2, 3, 1}},
      {"move back",
       {1, 2, 3},
       [](IList<int>* l) {
         l->move(2, 0);
         return 0;
       },
       0,
       {3, 1, 2}},
      {"move in place",
       {1, 2, 3},
       [](IList<int>* l) {
         l->move(1, 1);
         return 0;
       },
       0,
       {1, 2, 3}},
      {"move inside",
       {1, 2, 3, 4},
       [](IList<int>* l) {
         l->move(1, 2);
         return 0;
       },
       0,
       {1, 3, 2, 4}},
      {"swap",
       {1, 2, 3},
       [](IList<int>* l) {
         l->swap(0, 2);
         return 0;
       },
       0,
       {3, 2, 1}},
      {"set_item",
       {1, 2},
       [](IList<int>* l) {
         l->set_item(1, 9);
         return l->get_item(1);
       },
       9,
       {1, 9}},
      {"first",
       {1, 2},
       [](IList<int>* l) {
         l->set_first(8);
         return l->get_first();
       },
       8,
       {8, 2}},
      {"last",
       {1, 2},
       [](IList<int>* l) {
         l->set_last(8);
         return l->get_last();
       },
       8,
       {1, 8}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TRef<IList<int>> l = make(c.items);
    EXPECT_EQ(c.act(l.get()), c.result);
    EXPECT_EQ(items_of(l.get()), c.after);
  }
}

TEST_F(list, strings_move_as_whole_items) {
  TRef<IList<std::string>> l = CList<std::string>::create();
  for (const char* s : {"a", "b", "c"}) l->add(std::string(40, *s));  // beyond the short-string buffer
  l->move(0, 2);
  l->insert(1, "x");
  l->delete_(0);
  EXPECT_EQ(l->get_item(0), "x");
  EXPECT_EQ(l->get_item(1), std::string(40, 'c'));
  EXPECT_EQ(l->get_item(2), std::string(40, 'a'));
}

TEST_F(list, adding_an_item_of_the_same_list) {
  CList<std::string>* l = CList<std::string>::create();
  TRef<IList<std::string>> hold(l);
  for (const char* s : {"a", "b", "c", "d"}) l->add(s);
  l->add(l->at(0));  // grows the storage the argument lives in
  l->insert(0, l->at(2));
  EXPECT_TRUE(l->remove(l->at(1), [](const std::string& a, const std::string& b) { return a == b; }));
  EXPECT_EQ(l->count(), 4);
  EXPECT_EQ(l->at(0), "c");
  EXPECT_EQ(l->at(1), "b");
  EXPECT_EQ(l->at(2), "c");
  EXPECT_EQ(l->at(3), "d");
}

// ---------------------------------------------------------------------------
// Preconditions
// ---------------------------------------------------------------------------

TEST_F(list, broken_preconditions_fail_before_any_change) {
  struct Case {
    const char* name;
    Ints items;
    std::function<void(CList<int>*)> act;
  } cases[] = {
      {"get_item below 0", {1}, [](CList<int>* l) { l->get_item(-1); }},
      {"get_item at count", {1}, [](CList<int>* l) { l->get_item(1); }},
      {"at at count", {1}, [](CList<int>* l) { l->at(1); }},
      {"set_item at count", {1}, [](CList<int>* l) { l->set_item(1, 0); }},
      {"set_item below 0", {1}, [](CList<int>* l) { l->set_item(-1, 0); }},
      {"get_first of empty", {}, [](CList<int>* l) { l->get_first(); }},
      {"get_last of empty", {}, [](CList<int>* l) { l->get_last(); }},
      {"set_first of empty", {}, [](CList<int>* l) { l->set_first(0); }},
      {"set_last of empty", {}, [](CList<int>* l) { l->set_last(0); }},
      {"insert past count", {1, 2}, [](CList<int>* l) { l->insert(3, 0); }},
      {"insert below 0", {1, 2}, [](CList<int>* l) { l->insert(-1, 0); }},
      {"delete at count", {1, 2}, [](CList<int>* l) { l->delete_(2); }},
      {"delete below 0", {1, 2}, [](CList<int>* l) { l->delete_(-1); }},
      {"delete from empty", {}, [](CList<int>* l) { l->delete_(0); }},
      {"move from count", {1, 2}, [](CList<int>* l) { l->move(2, 0); }},
      {"move to count", {1, 2}, [](CList<int>* l) { l->move(0, 2); }},
      {"move below 0", {1, 2}, [](CList<int>* l) { l->move(-1, 0); }},
      {"swap at capacity", {1, 2}, [](CList<int>* l) { l->swap(0, 4); }},
      {"swap below 0", {1, 2}, [](CList<int>* l) { l->swap(-1, 0); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CList<int>* l = CList<int>::create();
    TRef<IList<int>> hold(l);
    for (int v : c.items) l->add(v);
    const int32_t capacity = l->capacity();
    expect_list_assertion([&] { c.act(l); });
    EXPECT_EQ(items_of(l), c.items);
    EXPECT_EQ(l->capacity(), capacity);
  }
}

TEST_F(list, swap_reaches_past_count_within_capacity) {
  CList<int>* l = CList<int>::create();
  TRef<IList<int>> hold(l);
  l->add(1);
  l->add(2);
  l->swap(1, 3);  // slot 3 is empty storage
  EXPECT_EQ(items_of(l), (Ints{1, 0}));
}

// ---------------------------------------------------------------------------
// Search, find, removal
// ---------------------------------------------------------------------------

TEST_F(list, search_reports_first_equal_or_insertion_point) {
  struct Case {
    Ints items;
    int sought;
    bool found;
    int32_t index;
  } cases[] = {
      {{}, 1, false, 0},
      {{1, 2, 2, 2, 3}, 2, true, 1},
      {{1, 2, 2, 2, 3}, 9, false, 5},
      {{1, 2, 2, 2, 3}, 0, false, 0},
      {{1, 3, 5, 7}, 4, false, 2},
      {{1, 3, 5, 7}, 7, true, 3},
      {{2, 2, 2, 2, 2, 2, 2, 2}, 2, true, 0},
      {{5}, 5, true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "sought " << c.sought << " in " << c.items.size() << " items");
    CList<int>* l = CList<int>::create();
    TRef<IList<int>> hold(l);
    for (int v : c.items) l->add(v);
    int calls = 0;
    int32_t index = -9;
    bool found = l->search(
        c.sought,
        [&](const int& item, const int& sought) {
          ++calls;
          EXPECT_GE(&item, l->begin());  // the list item comes first
          EXPECT_LT(&item, l->end());
          EXPECT_EQ(sought, c.sought);
          return by_value(item, sought);
        },
        index);
    EXPECT_EQ(found, c.found);
    EXPECT_EQ(index, c.index);
    int bound = 1;
    for (size_t n = c.items.size(); n > 1; n >>= 1) ++bound;
    EXPECT_LE(calls, bound);
  }
}

TEST_F(list, find_and_index_of) {
  struct Case {
    Ints items;
    int sought;
    int32_t index;  // -1: absent
  } cases[] = {
      {{4, 7, 7}, 7, 1},
      {{4, 7, 7}, 4, 0},
      {{4, 7, 7}, 5, -1},
      {{}, 5, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sought);
    TRef<IList<int>> l = make(c.items);
    int32_t index = 42;
    bool found = l->find(
        c.sought,
        [&](const int& sought, const int& item) {
          EXPECT_EQ(sought, c.sought);  // the sought item comes first
          return sought == item;
        },
        index);
    EXPECT_EQ(found, c.index >= 0);
    EXPECT_EQ(index, c.index >= 0 ? c.index : 42);  // left alone when absent
    EXPECT_EQ(l->index_of(c.sought, same), c.index);
  }
}

TEST_F(list, remove_takes_every_equal_item) {
  struct Case {
    Ints items;
    int item;
    bool removed;
    Ints after;
  } cases[] = {
      {{1, 2, 1, 3}, 1, true, {2, 3}},        {{1, 1, 1}, 1, true, {}},
      {{1, 2, 1, 3}, 9, false, {1, 2, 1, 3}}, {{}, 1, false, {}},
      {{2, 1, 1, 3, 1}, 1, true, {2, 3}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.item);
    TRef<IList<int>> l = make(c.items);
    int calls = 0;
    EXPECT_EQ(l->remove(c.item, [&](const int& a, const int& b) { return ++calls, a == b; }), c.removed);
    EXPECT_EQ(items_of(l.get()), c.after);
    EXPECT_EQ(calls, int(c.items.size()));  // each live item examined once
  }
}

// ---------------------------------------------------------------------------
// Sort
// ---------------------------------------------------------------------------

TEST_F(list, sort_orders_items) {
  struct Case {
    Ints items;
  } cases[] = {
      {{3, 1, 2}}, {{5, 4, 3, 2, 1}}, {{1, 2, 3, 4}}, {{2, 2, 1, 1, 2}}, {{9, -3, 7, 0, 7, 12, -8, 4, 4, 1, 30, 2}},
  };
  for (const auto& c : cases) {
    CList<int>* l = CList<int>::create();
    TRef<IList<int>> hold(l);
    for (int v : c.items) l->add(v);
    l->sort([&](const int& item, const int& pivot) {
      EXPECT_GE(&item, l->begin());  // a list item first, the pivot copy second
      EXPECT_LT(&item, l->end());
      return by_value(item, pivot);
    });
    Ints expected = c.items;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(items_of(l), expected);
  }
}

TEST_F(list, sort_of_fewer_than_two_items_calls_nothing) {
  for (const Ints& items : {Ints{}, Ints{1}}) {
    TRef<IList<int>> l = make(items);
    int calls = 0;
    l->sort([&](const int&, const int&) { return ++calls, 0; });
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(items_of(l.get()), items);
  }
}

// ---------------------------------------------------------------------------
// Iteration
// ---------------------------------------------------------------------------

TEST_F(list, iterator_reads_the_live_list) {
  struct Case {
    const char* name;
    Ints items;
    std::function<void(IList<int>*, int seen)> during;  // after reading each item
    Ints walked;
  } cases[] = {
      {"plain walk", {1, 2, 3}, nullptr, {1, 2, 3}},
      {"empty", {}, nullptr, {}},
      {"deleting the current skips the next",
       {1, 2, 3, 4},
       [](IList<int>* l, int seen) {
         if (seen == 2) l->delete_(1);
       },
       {1, 2, 4}},
      {"inserting before meets the current again",
       {1, 2, 3},
       [](IList<int>* l, int seen) {
         if (seen == 2 && l->get_count() == 3) l->insert(0, 0);
       },
       {1, 2, 2, 3}},
      {"shrinking ends the walk",
       {1, 2, 3, 4},
       [](IList<int>* l, int seen) {
         if (seen == 2) l->truncate();
       },
       {1, 2}},
      {"appending extends the walk",
       {1, 2},
       [](IList<int>* l, int seen) {
         if (seen == 2) l->add(3);
       },
       {1, 2, 3}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TRef<IList<int>> l = make(c.items);
    TRef<IIterator<int>> it = l->getEnumerator();
    Ints walked;
    while (it->moveNext()) {
      walked.push_back(it->get_current());
      if (c.during) c.during(l.get(), walked.back());
    }
    EXPECT_EQ(walked, c.walked);
    EXPECT_FALSE(it->moveNext());
  }
}

TEST_F(list, iterator_current_needs_a_position_and_a_list) {
  TRef<IList<int>> l = make({1});
  TRef<IIterator<int>> it = l->getEnumerator();
  EXPECT_EQ(it->getEnumerator(), it);
  expect_list_assertion([&] { it->get_current(); });  // before the first step
  ASSERT_TRUE(it->moveNext());
  EXPECT_EQ(it->get_current(), 1);
  EXPECT_FALSE(it->moveNext());
  expect_list_assertion([&] { it->get_current(); });  // after the end

  TRef<IList<int>> empty = make({});
  TRef<IIterator<int>> none = empty->getEnumerator();
  EXPECT_FALSE(none->moveNext());
  expect_list_assertion([&] { none->get_current(); });

  TRef<IIterator<int>> orphan = CListIterator<int>::create(nullptr);
  EXPECT_FALSE(orphan->moveNext());
  expect_list_assertion([&] { orphan->get_current(); });
}

TEST_F(list, iterator_keeps_the_list_alive) {
  TRef<IIterator<Token>> it;
  {
    TRef<IList<Token>> l = CList<Token>::create();
    l->add(Token(CToken::create(5)));
    it = l->getEnumerator();
  }
  EXPECT_EQ(CToken::destroyed, 0);
  ASSERT_TRUE(it->moveNext());
  EXPECT_EQ(it->get_current()->value(), 5);
  it.reset();
  EXPECT_EQ(CToken::destroyed, 1);
}

}  // namespace
