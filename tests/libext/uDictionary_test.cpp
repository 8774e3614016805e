#include "uDictionary.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "test.support.h"

namespace {

using Texts = std::vector<std::string>;

// A value record with text and other fields, as the material table stores.
struct TRecord {
  std::string name;
  double size = 0;
  int32_t flags = 0;
};
void clear_text_fields(TRecord& r) { r.name.clear(); }

// A text-key dictionary created the way the material table creates its own.
class CRecordDict : public CDictionary<TRecord> {
 public:
  static CRecordDict* create() { return construct(new CRecordDict()); }

 protected:
  CRecordDict() : CDictionary<TRecord>(true, false) {}
};

class dictionary : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(CSafeInterfacedObject::leak_report(), ""); }

  template <class T>
  static std::vector<T> walk(TRef<IIterator<T>> it) {
    std::vector<T> out;
    while (it->moveNext()) out.push_back(it->get_current());
    return out;
  }
  static TRef<IDictionary<int>> make(bool sorted, bool ignore_case, const Texts& keys) {
    TRef<IDictionary<int>> d = CDictionary<int>::create(sorted, ignore_case);
    int n = 0;
    for (const auto& k : keys) d->add(k, n++);
    return d;
  }
};

// Runs `f` and checks that it fails the list's bounds or sequence check.
void expect_list_assertion(const std::function<void()>& f) {
  try {
    f();
    ADD_FAILURE() << "no assertion failure";
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.message().rfind("Assertion failure (uList, line ", 0), 0u) << e.message();
  }
}

template <class Fn>
void expect_dictionary_error(Fn f, const char* message) {
  EXPECT_THROW_MSG(f(), EDictionary, message);
}

TEST_F(dictionary, answers_its_interfaces) {
  TRef<IDictionary<int>> d = make(true, false, {});
  EXPECT_TRUE(d.query<IDictionary<int>>());
  EXPECT_TRUE((d.query<IDictionary<std::string, int>>()));
  TRef<IDictionary<int32_t, int>> generic =
      CDictionary<int32_t, int>::create([](const int32_t& a, const int32_t& b) { return a - b; }, true);
  EXPECT_TRUE((generic.query<IDictionary<int32_t, int>>()));
}

TEST_F(dictionary, key_order_of_each_mode) {
  struct Case {
    const char* name;
    bool sorted, ignore_case;
    Texts added;
    Texts keys;
  } cases[] = {
      {"sorted, case-sensitive", true, false, {"b", "a", "B"}, {"B", "a", "b"}},
      {"sorted, ignoring case", true, true, {"b", "_a", "a", "Za", "C"}, {"a", "b", "C", "Za", "_a"}},
      {"unsorted keeps first-added order", false, false, {"z", "a", "M", "b"}, {"z", "a", "M", "b"}},
      {"unsorted, ignoring case", false, true, {"z", "A", "m"}, {"z", "A", "m"}},
      {"empty", true, false, {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TRef<IDictionary<int>> d = make(c.sorted, c.ignore_case, c.added);
    EXPECT_EQ(d->get_count(), int32_t(c.keys.size()));
    EXPECT_EQ(walk(d->get_keys()), c.keys);
    for (size_t i = 0; i < c.keys.size(); ++i) EXPECT_EQ(d->get_key(int32_t(i)), c.keys[i]);
    // Values follow their keys.
    std::vector<int> values;
    for (const auto& k : c.keys) values.push_back(d->get_value(k));
    EXPECT_EQ(walk(d->get_values()), values);
  }
}

TEST_F(dictionary, find_key_reports_position_or_insertion_point) {
  struct Case {
    bool sorted, ignore_case;
    Texts added;
    std::string key;
    bool found;
    int32_t index;
  } cases[] = {
      {true, false, {}, "a", false, 0},
      {true, false, {"b", "d", "f"}, "d", true, 1},
      {true, false, {"b", "d", "f"}, "a", false, 0},
      {true, false, {"b", "d", "f"}, "e", false, 2},
      {true, false, {"b", "d", "f"}, "g", false, 3},
      {true, false, {"b", "d", "f"}, "D", false, 0},
      {true, true, {"b", "d", "f"}, "D", true, 1},
      {false, false, {"f", "b", "d"}, "d", true, 2},
      {false, false, {"f", "b", "d"}, "a", false, 3},  // absent: appended
      {false, true, {"f", "b", "d"}, "B", true, 1},
      {false, false, {}, "a", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    TRef<IDictionary<int>> d = make(c.sorted, c.ignore_case, c.added);
    int32_t index = -5;
    EXPECT_EQ(d->find_key(c.key, index), c.found);
    EXPECT_EQ(index, c.index);
    EXPECT_EQ(d->contains_key(c.key), c.found);
  }
}

TEST_F(dictionary, lookup_passes_the_entry_key_first) {
  for (bool sorted : {true, false}) {
    SCOPED_TRACE(sorted);
    std::vector<std::pair<int32_t, int32_t>> calls;
    TRef<IDictionary<int32_t, int>> d = CDictionary<int32_t, int>::create(
        [&](const int32_t& a, const int32_t& b) {
          calls.emplace_back(a, b);
          return a - b;
        },
        sorted);
    for (int32_t k : {10, 20, 30, 40, 50, 60, 70}) d->add(k, k);
    calls.clear();
    EXPECT_FALSE(d->contains_key(35));
    ASSERT_FALSE(calls.empty());
    for (auto [entry, sought] : calls) {
      EXPECT_EQ(sought, 35);
      EXPECT_NE(entry, 35);
    }
    // Ordered lookup takes about log2(count) + 1 comparisons; unordered walks all.
    EXPECT_EQ(calls.size(), sorted ? 3u : 7u);
  }
}

TEST_F(dictionary, set_value_replaces_entry_and_key_spelling) {
  TRef<IDictionary<int>> d = make(true, true, {});
  d->set_value("Door", 1);
  d->set_value("door", 2);
  EXPECT_EQ(d->get_count(), 1);
  EXPECT_EQ(d->get_key(0), "door");
  EXPECT_EQ(d->get_value("DOOR"), 2);

  // An unordered dictionary keeps a replaced key where it was first added.
  TRef<IDictionary<int>> u = make(false, false, {"x", "y", "z"});
  u->set_value("x", 9);
  u->set_value("w", 8);
  EXPECT_EQ(walk(u->get_keys()), (Texts{"x", "y", "z", "w"}));
  EXPECT_EQ(u->get_value("x"), 9);
}

TEST_F(dictionary, add_returns_position) {
  struct Case {
    bool sorted;
    std::string key;
    int32_t index;
  } cases[] = {{true, "a", 0}, {true, "c", 1}, {true, "z", 2}, {false, "a", 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    TRef<IDictionary<int>> d = make(c.sorted, false, {"b", "d"});
    EXPECT_EQ(d->add(c.key, 7), c.index);
    EXPECT_EQ(d->get_key(c.index), c.key);
  }
}

TEST_F(dictionary, misuse_raises_and_changes_nothing) {
  for (bool sorted : {true, false}) {
    SCOPED_TRACE(sorted);
    TRef<IDictionary<int>> d = make(sorted, true, {"b", "a"});
    const std::vector<int> values = walk(d->get_values());
    expect_dictionary_error([&] { d->add("A", 5); }, "key already in dict");
    expect_dictionary_error([&] { d->get_value("c"); }, "key not in dict");
    expect_dictionary_error([&] { d->remove("c"); }, "key not in dict");
    EXPECT_EQ(walk(d->get_keys()), sorted ? (Texts{"a", "b"}) : (Texts{"b", "a"}));
    EXPECT_EQ(walk(d->get_values()), values);
  }
}

TEST_F(dictionary, positions_out_of_range_fail_the_list_check) {
  TRef<IDictionary<int>> d = make(true, false, {"a"});
  for (int32_t i : {-1, 1}) expect_list_assertion([&] { d->get_key(i); });
  TRef<IIterator<std::string>> keys = d->get_keys();
  expect_list_assertion([&] { keys->get_current(); });  // before the first step
  EXPECT_TRUE(keys->moveNext());
  EXPECT_FALSE(keys->moveNext());
  expect_list_assertion([&] { keys->get_current(); });  // past the end
  TRef<IIterator<int>> values = d->get_values();
  expect_list_assertion([&] { values->get_current(); });
}

TEST_F(dictionary, iterator_without_a_list_fails_the_list_check) {
  TRef<IIterator<std::string>> keys = CDictionaryKeysIterator<std::string, int>::create(nullptr);
  EXPECT_FALSE(keys->moveNext());
  expect_list_assertion([&] { keys->get_current(); });
  TRef<IIterator<int>> values = CDictionaryValuesIterator<std::string, int>::create(nullptr);
  EXPECT_FALSE(values->moveNext());
  expect_list_assertion([&] { values->get_current(); });
}

TEST_F(dictionary, remove_and_clear) {
  TRef<IDictionary<int>> d = make(true, false, {"a", "b", "c"});
  d->remove("b");
  EXPECT_EQ(walk(d->get_keys()), (Texts{"a", "c"}));
  EXPECT_FALSE(d->contains_key("b"));
  d->clear();
  EXPECT_EQ(d->get_count(), 0);
  EXPECT_FALSE(d->get_keys()->moveNext());
  d->add("z", 1);
  EXPECT_EQ(d->get_value("z"), 1);
}

TEST_F(dictionary, try_get_value) {
  TRef<IDictionary<std::string>> texts = CDictionary<std::string>::create(false, false);
  texts->add("k", "value");
  std::string text = "old";
  EXPECT_TRUE(texts->try_get_value("k", text));
  EXPECT_EQ(text, "value");
  text = "old";
  EXPECT_FALSE(texts->try_get_value("K", text));
  EXPECT_EQ(text, "");

  TRef<IDictionary<TRecord>> records = CRecordDict::create();
  records->add("oak", TRecord{"Oak", 18, 3});
  TRecord r{"held", 2.5, 7};
  EXPECT_FALSE(records->try_get_value("OAK", r));  // case-sensitive
  EXPECT_EQ(r.name, "");
  EXPECT_EQ(r.size, 2.5);
  EXPECT_EQ(r.flags, 7);
  EXPECT_TRUE(records->try_get_value("oak", r));
  EXPECT_EQ(r.name, "Oak");
  EXPECT_EQ(r.size, 18);
  EXPECT_EQ(r.flags, 3);

  TRef<IDictionary<int32_t, int>> ints =
      CDictionary<int32_t, int>::create([](const int32_t& a, const int32_t& b) { return a - b; }, false);
  int n = 4;
  EXPECT_FALSE(ints->try_get_value(1, n));
  EXPECT_EQ(n, 4);  // no text fields to empty
}

TEST_F(dictionary, values_are_copied_in_and_out) {
  TRef<IDictionary<TRecord>> d = CRecordDict::create();
  TRecord r{"Oak", 18, 1};
  d->add("oak", r);
  r.name = "changed";
  EXPECT_EQ(d->get_value("oak").name, "Oak");
  TRecord out = d->get_value("oak");
  out.name = "changed";
  EXPECT_EQ(d->get_value("oak").name, "Oak");
  TRef<IIterator<TRecord>> values = d->get_values();
  ASSERT_TRUE(values->moveNext());
  EXPECT_EQ(values->get_current().name, "Oak");
}

TEST_F(dictionary, derived_text_dictionary_is_sorted_and_case_sensitive) {
  CRecordDict* d = CRecordDict::create();
  TRef<IDictionary<TRecord>> hold(d);
  EXPECT_TRUE(d->sorted());
  for (const char* k : {"b", "a", "B"}) d->add(k, TRecord{k});
  EXPECT_EQ(walk(d->keys()), (Texts{"B", "a", "b"}));
  EXPECT_EQ(d->count(), 3);
}

TEST_F(dictionary, iterators_hold_the_entries_not_the_dictionary) {
  TRef<IIterator<std::string>> keys;
  TRef<IIterator<int>> values;
  {
    TRef<IDictionary<int>> d = make(false, false, {"a", "b", "c"});
    keys = d->get_keys();
    values = d->get_values();
    ASSERT_TRUE(keys->moveNext());
    d->remove("a");  // no snapshot: the walk skips what moved into place
    d->add("d", 3);
  }
  EXPECT_EQ(walk(keys), (Texts{"c", "d"}));
  EXPECT_EQ(walk(values), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(keys->getEnumerator(), keys);
}

}  // namespace
