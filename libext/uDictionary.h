// `CDictionary<K,V>`, a map from keys to values kept as a list of key/value
// entries, and its text-key form `CDictionary<V>`.
//
// A dictionary is either ordered (entries in ascending key order, binary-search
// lookup) or unordered (entries in the order their keys were first added,
// linear lookup). No two entries have keys that compare equal. Entries are
// stored by value: a value is copied in and copied out. Misuse raises
// EDictionary ("key not in dict", "key already in dict") and leaves the
// dictionary unchanged; bad positions raise the list's assertion failure.
//
//   TRef<IDictionary<int>> sizes = CDictionary<int>::create(true, false);
//   sizes->add("Door", 600);
//   sizes->get_value("Door");  // 600
//
// Iterators over keys or values hold the entry list, not the dictionary: they
// outlive it, and see later changes to the entries as a list iterator does.
//
// The key order is kept for the dictionary's life, so `create` takes an owning
// callable rather than a call-scoped `_compare<K>`.
//
// C++ cannot overload a class template on its number of parameters, so
// `IDictionary` and `CDictionary` are variadic primaries with forms for
// <K, V> and for <V> (text keys).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>

#include "sysutils.h"
#include "uList.h"

BXF_DECLARE_EXCEPTION(EDictionary, Exception);  // a key missing, or present where it must not be

// The key order of a dictionary: negative, zero or positive as the first key
// orders before, with or after the second; zero means the same key.
template <class K>
using TKeyCompare = std::function<int32_t(const K&, const K&)>;

template <class K, class V>
struct TDictionaryEntry {
  K entryKey{};
  V entryValue{};
  void init(const K& key, const V& value) {
    entryKey = key;
    entryValue = value;
  }
};

// Empties the text fields of a value that `try_get_value` did not find.
// Records with text fields declare an overload of `clear_text_fields` beside
// them; other fields keep what they held.
inline void clear_text_fields(std::string& text) { text.clear(); }

template <class V>
void empty_text_fields(V& value) {
  if constexpr (requires { clear_text_fields(value); }) clear_text_fields(value);
}

// ---------------------------------------------------------------------------
// Interfaces
// ---------------------------------------------------------------------------

template <class... A>
struct IDictionary;

template <class K, class V>
struct IDictionary<K, V> : IInterface {
  static constexpr TGUID IID = TGUID::parse("{3E6A1D52-8F0B-4C7A-B1E4-5D2C9A70F613}");
  using Parent = IInterface;
  // New iterators over the entries as they are now, in entry order.
  virtual TRef<IIterator<K>> get_keys() = 0;
  virtual TRef<IIterator<V>> get_values() = 0;
  virtual int32_t get_count() = 0;
  // The key of entry i (key order when sorted, insertion order otherwise);
  // requires 0 <= i < count.
  virtual K get_key(int32_t i) = 0;
  // True when the key is present; `index` is always set, to the entry's
  // position, or to where the key would be inserted.
  virtual bool find_key(const K& key, int32_t& index) = 0;
  virtual bool contains_key(const K& key) = 0;
  // True and a copy of the value when the key is present; otherwise false and
  // the text fields of `value` emptied.
  virtual bool try_get_value(const K& key, V& value) = 0;
  // A copy of the value; raises EDictionary "key not in dict" when absent.
  virtual V get_value(const K& key) = 0;
  // Replaces the entry (the stored key takes this spelling) or inserts a new one.
  virtual void set_value(const K& key, const V& value) = 0;
  // Inserts and returns the new entry's position; raises EDictionary
  // "key already in dict" when the key is present.
  virtual int32_t add(const K& key, const V& value) = 0;
  // Raises EDictionary "key not in dict" when the key is absent.
  virtual void remove(const K& key) = 0;
  // Removes every entry and releases the storage.
  virtual void clear() = 0;
};

// A dictionary with text keys.
template <class V>
struct IDictionary<V> : IDictionary<std::string, V> {
  static constexpr TGUID IID = TGUID::parse("{3E6A1D52-8F0B-4C7A-B1E4-5D2C9A70F614}");
  using Parent = IDictionary<std::string, V>;
};

// ---------------------------------------------------------------------------
// Iterators
// ---------------------------------------------------------------------------

// Position over a dictionary's entry list; the subclasses read keys or values.
template <class K, class V>
class CDictionaryIterator : public CSafeInterfacedObject {
 public:
  using TEntryList = IList<TDictionaryEntry<K, V>>;

 protected:
  explicit CDictionaryIterator(TEntryList* list) : _list(list) {}

  bool next() {
    ++_current;
    return _list && _current < _list->get_count();
  }
  // The current entry; fails the list's checks without a list or off the end.
  TDictionaryEntry<K, V> entry() {
    require_sequence(_list.get());
    return _list->get_item(_current);
  }

 private:
  int32_t _current = -1;
  TRef<TEntryList> _list;
};

template <class K, class V>
class CDictionaryKeysIterator : public TImplements<CDictionaryIterator<K, V>, IIterator<K>> {
  using Base = TImplements<CDictionaryIterator<K, V>, IIterator<K>>;

 public:
  static CDictionaryKeysIterator* create(typename Base::TEntryList* list) {
    return CSafeInterfacedObject::construct(new CDictionaryKeysIterator(list));
  }
  TRef<IIterator<K>> getEnumerator() override { return this; }
  K get_current() override { return this->entry().entryKey; }
  bool moveNext() override { return this->next(); }

 protected:
  explicit CDictionaryKeysIterator(typename Base::TEntryList* list) : Base(list) {}
};

template <class K, class V>
class CDictionaryValuesIterator : public TImplements<CDictionaryIterator<K, V>, IIterator<V>> {
  using Base = TImplements<CDictionaryIterator<K, V>, IIterator<V>>;

 public:
  static CDictionaryValuesIterator* create(typename Base::TEntryList* list) {
    return CSafeInterfacedObject::construct(new CDictionaryValuesIterator(list));
  }
  TRef<IIterator<V>> getEnumerator() override { return this; }
  V get_current() override { return this->entry().entryValue; }
  bool moveNext() override { return this->next(); }

 protected:
  explicit CDictionaryValuesIterator(typename Base::TEntryList* list) : Base(list) {}
};

// ---------------------------------------------------------------------------
// CDictionary
// ---------------------------------------------------------------------------

template <class... A>
class CDictionary;

// A dictionary with text keys also answers IDictionary<V>.
template <class K, class V>
using TDictionaryInterface = std::conditional_t<std::is_same_v<K, std::string>, IDictionary<V>, IDictionary<K, V>>;

template <class K, class V>
class CDictionary<K, V> : public TImplements<CSafeInterfacedObject, TDictionaryInterface<K, V>> {
 public:
  using TEntry = TDictionaryEntry<K, V>;

  // An empty dictionary ordered by `compare`; `sorted` chooses key order
  // (binary search) or insertion order (linear walk).
  static CDictionary* create(TKeyCompare<K> compare, bool sorted) {
    return CSafeInterfacedObject::construct(new CDictionary(std::move(compare), sorted));
  }

  bool sorted() const { return _sorted; }
  int32_t count() { return _entrys->get_count(); }
  TRef<IIterator<K>> keys() { return get_keys(); }
  TRef<IIterator<V>> values() { return get_values(); }

  TRef<IIterator<K>> get_keys() override { return CDictionaryKeysIterator<K, V>::create(_entrys.get()); }
  TRef<IIterator<V>> get_values() override { return CDictionaryValuesIterator<K, V>::create(_entrys.get()); }
  int32_t get_count() override { return _entrys->get_count(); }
  K get_key(int32_t i) override { return _entrys->get_item(i).entryKey; }

  bool find_key(const K& key, int32_t& index) override {
    bool found = false;
    if (_sorted) {
      int32_t lo = 0, hi = _entrys->get_count() - 1;
      while (lo <= hi) {
        int32_t mid = int32_t(uint32_t(lo + hi) >> 1);
        int32_t c = _compare(_entrys->get_item(mid).entryKey, key);
        if (c < 0) {
          lo = mid + 1;
        } else {
          hi = mid - 1;
          if (c == 0) found = true;
        }
      }
      index = lo;
    } else {
      index = 0;
      for (TRef<IIterator<TEntry>> it = _entrys->getEnumerator(); it->moveNext(); ++index) {
        if (_compare(it->get_current().entryKey, key) == 0) {
          found = true;
          break;
        }
      }
    }
    return found;
  }
  bool contains_key(const K& key) override {
    int32_t index;
    return find_key(key, index);
  }
  bool try_get_value(const K& key, V& value) override {
    int32_t index;
    if (find_key(key, index)) {
      value = _entrys->get_item(index).entryValue;
      return true;
    }
    empty_text_fields(value);
    return false;
  }
  V get_value(const K& key) override {
    int32_t index;
    if (!find_key(key, index)) throw EDictionary("key not in dict");
    return _entrys->get_item(index).entryValue;
  }
  void set_value(const K& key, const V& value) override {
    int32_t index;
    TEntry entry;
    entry.init(key, value);
    if (find_key(key, index))
      _entrys->set_item(index, entry);
    else
      _entrys->insert(index, entry);
  }
  int32_t add(const K& key, const V& value) override {
    int32_t index;
    if (find_key(key, index)) throw EDictionary("key already in dict");
    TEntry entry;
    entry.init(key, value);
    return _entrys->insert(index, entry);
  }
  void remove(const K& key) override {
    int32_t index;
    if (!find_key(key, index)) throw EDictionary("key not in dict");
    _entrys->delete_(index);
  }
  void clear() override { _entrys->clear(); }

 protected:
  CDictionary(TKeyCompare<K> compare, bool sorted)
      : _entrys(CList<TEntry>::create()), _compare(std::move(compare)), _sorted(sorted) {}

 private:
  TRef<IList<TEntry>> _entrys;
  TKeyCompare<K> _compare;
  bool _sorted;
};

// A dictionary with text keys; the caller chooses only ordering and case handling.
template <class V>
class CDictionary<V> : public CDictionary<std::string, V> {
 public:
  // An empty dictionary; `sorted` chooses key order or insertion order, and
  // `ignore_case` the case-insensitive text order over the case-sensitive one.
  static CDictionary* create(bool sorted, bool ignore_case) {
    return CSafeInterfacedObject::construct(new CDictionary(sorted, ignore_case));
  }

 protected:
  CDictionary(bool sorted, bool ignore_case)
      : CDictionary<std::string, V>(ignore_case ? key_compare_text : key_compare_str, sorted) {}

 private:
  static int32_t key_compare_str(const std::string& a, const std::string& b) { return compare_str(a, b); }
  static int32_t key_compare_text(const std::string& a, const std::string& b) { return compare_text(a, b); }
};
