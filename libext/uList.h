// `CList<T>`, the system's growable array behind `IList<T>`, and
// `CListIterator<T>`, which walks any indexed sequence from the front.
//
// The comparison that search, removal and sort need is passed on each call as
// a callback (`_equal<T>`, `_compare<T>`); the list holds it only for that
// call. Every broken precondition raises EAssertionFailed naming `uList`,
// before the list changes.
//
//   TRef<IList<std::string>> names = CList<std::string>::create();
//   names->add("KOB");
//   int32_t at;
//   names->find("KOB", [](auto& a, auto& b) { return a == b; }, at);
//
// A list either lives through its interface (it dies with its last
// reference) or is owned as a plain object by one owner that creates it with
// `create` and destroys it with `free()`.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>

#include "uInterfacedObjects.h"

// ---------------------------------------------------------------------------
// Callbacks
// ---------------------------------------------------------------------------

// A non-owning reference to a callable, valid for the call it is passed to.
template <class Fn>
class TFunctionRef;

template <class R, class... Args>
class TFunctionRef<R(Args...)> {
 public:
  // A lambda or other callable object (referred to, not copied), or a plain function.
  template <class F>
  requires(!std::is_same_v<std::remove_cvref_t<F>, TFunctionRef> && std::is_invocable_r_v<R, F&, Args...>)
      TFunctionRef(F&& f) {
    using Fn = std::remove_reference_t<F>;
    if constexpr (std::is_function_v<Fn>) {
      _target.function = reinterpret_cast<void (*)()>(&f);
      _call = [](TTarget t, Args... args) -> R {
        return reinterpret_cast<Fn*>(t.function)(std::forward<Args>(args)...);
      };
    } else {
      _target.object = const_cast<void*>(static_cast<const void*>(std::addressof(f)));
      _call = [](TTarget t, Args... args) -> R { return (*static_cast<Fn*>(t.object))(std::forward<Args>(args)...); };
    }
  }
  R operator()(Args... args) const { return _call(_target, std::forward<Args>(args)...); }

 private:
  union TTarget {
    void* object;
    void (*function)();
  };
  TTarget _target;
  R (*_call)(TTarget, Args...);
};

// True when the two items are to count as the same.
template <class T>
using _equal = TFunctionRef<bool(const T&, const T&)>;
// Negative, zero or positive as the first item orders before, with or after the second.
template <class T>
using _compare = TFunctionRef<int32_t(const T&, const T&)>;

// ---------------------------------------------------------------------------
// Interfaces
// ---------------------------------------------------------------------------

template <class T>
struct IIterator : IInterface {
  static constexpr TGUID IID = TGUID::parse("{54FBC625-5EA8-4F88-8D88-69F4E62867EB}");
  using Parent = IInterface;
  // The iterator itself, so an iterator can stand where a sequence is expected.
  virtual TRef<IIterator<T>> getEnumerator() = 0;
  virtual T get_current() = 0;
  // Advances by one; true when an item is there.
  virtual bool moveNext() = 0;
};

template <class T>
struct IIterable : IInterface {
  static constexpr TGUID IID = TGUID::parse("{C8D5E3A0-2C1B-4F7E-9D35-7A61B0E4F210}");
  using Parent = IInterface;
  virtual TRef<IIterator<T>> getEnumerator() = 0;
  virtual int32_t get_count() = 0;
  virtual T get_item(int32_t i) = 0;
};

template <class T>
struct IList : IIterable<T> {
  static constexpr TGUID IID = TGUID::parse("{C8D5E3A0-2C1B-4F7E-9D35-7A61B0E4F211}");
  using Parent = IIterable<T>;
  virtual void set_item(int32_t i, const T& value) = 0;
  virtual T get_first() = 0;
  virtual T get_last() = 0;
  virtual void set_first(const T& value) = 0;
  virtual void set_last(const T& value) = 0;
  // Appends; returns the new item's index.
  virtual int32_t add(const T& item) = 0;
  // Puts the item at i (0 <= i <= count); returns i.
  virtual int32_t insert(int32_t i, const T& item) = 0;
  virtual void delete_(int32_t i) = 0;
  // Takes the item at i out and puts it back at j.
  virtual void move(int32_t i, int32_t j) = 0;
  // Exchanges two slots; both indices below the capacity.
  virtual void swap(int32_t i, int32_t j) = 0;
  // The index `find` reports, or -1.
  virtual int32_t index_of(const T& item, _equal<T> equal) = 0;
  // Binary search: `index` is the first position whose item does not order
  // before `item` (always set); true when an equal item was met.
  virtual bool search(const T& item, _compare<T> compare, int32_t& index) = 0;
  // Linear scan for the first equal item; `index` is left alone when there is none.
  virtual bool find(const T& item, _equal<T> equal, int32_t& index) = 0;
  // Removes every equal item; true when at least one was removed.
  virtual bool remove(const T& item, _equal<T> equal) = 0;
  // Count 0, storage released.
  virtual void clear() = 0;
  // Count 0; storage kept, and the old items stay held until their slots are reused.
  virtual void truncate() = 0;
  // Capacity := max(n, count).
  virtual void reserve(int32_t n) = 0;
  // In-place quicksort; not stable.
  virtual void sort(_compare<T> compare) = 0;
};

// A list that carries its own comparison.
template <class T>
struct ITypedList : IList<T> {
  static constexpr TGUID IID = TGUID::parse("{C8D5E3A0-2C1B-4F7E-9D35-7A61B0E4F212}");
  using Parent = IList<T>;
  using IList<T>::index_of;
  using IList<T>::search;
  using IList<T>::find;
  using IList<T>::remove;
  virtual int32_t index_of(const T& item) = 0;
  virtual bool search(const T& item, int32_t& index) = 0;
  virtual bool find(const T& item, int32_t& index) = 0;
  virtual bool remove(const T& item) = 0;
};

// Raises the list's assertion failure unless an iterator has a sequence to
// walk; iterators over other sequences (the dictionary's) share the check.
inline void require_sequence(const void* sequence) { ASSERT(sequence); }

// ---------------------------------------------------------------------------
// CListIterator
// ---------------------------------------------------------------------------

// Walks a live indexed sequence: no snapshot, so changes to the sequence
// during a walk show (a deleted current item makes the walk skip the next).
template <class T>
class CListIterator : public TImplements<CSafeInterfacedObject, IIterator<T>> {
 public:
  static CListIterator* create(IIterable<T>* list) { return CSafeInterfacedObject::construct(new CListIterator(list)); }

  TRef<IIterator<T>> getEnumerator() override { return this; }
  T get_current() override {
    require_sequence(_list.get());
    return _list->get_item(_current);
  }
  bool moveNext() override {
    ++_current;
    return _list && _current < _list->get_count();
  }

 protected:
  explicit CListIterator(IIterable<T>* list) : _list(list) {}

 private:
  int32_t _current = -1;
  TRef<IIterable<T>> _list;
};

// ---------------------------------------------------------------------------
// CList
// ---------------------------------------------------------------------------

// `Intf` is the interface the list is handed out as: IList<T>, or a descendant
// that a derived class implements (the string list's ITypedList).
template <class T, class Intf = IList<T>>
class CList : public TImplements<CSafeInterfacedObject, Intf> {
 public:
  static CList* create() { return CSafeInterfacedObject::construct(new CList()); }

  TRef<IIterator<T>> getEnumerator() override { return CListIterator<T>::create(this); }
  int32_t get_count() override { return _count; }
  int32_t count() const { return _count; }
  int32_t capacity() const { return _capacity; }

  T get_item(int32_t i) override { return at(i); }
  // The live item at i, without a copy.
  const T& at(int32_t i) const {
    ASSERT(i >= 0 && i < _count);
    return _items[i];
  }
  void set_item(int32_t i, const T& value) override {
    ASSERT(i >= 0 && i < _count);
    _items[i] = value;
  }
  T get_first() override {
    ASSERT(_count > 0);
    return _items[0];
  }
  T get_last() override {
    ASSERT(_count > 0);
    return _items[_count - 1];
  }
  void set_first(const T& value) override {
    ASSERT(_count > 0);
    _items[0] = value;
  }
  void set_last(const T& value) override {
    ASSERT(_count > 0);
    _items[_count - 1] = value;
  }

  int32_t add(const T& item) override { return insert(_count, item); }
  int32_t insert(int32_t i, const T& item) override {
    ASSERT(i >= 0 && i <= _count);
    T value(item);  // `item` may live in this list's storage, which moves below
    if (_count == _capacity) grow();
    T* items = _items.get();
    if (i < _count) std::move_backward(items + i, items + _count, items + _count + 1);
    items[i] = std::move(value);
    ++_count;
    return i;
  }
  void delete_(int32_t i) override {
    ASSERT(i >= 0 && i < _count);
    T* items = _items.get();
    items[i] = T();
    std::move(items + i + 1, items + _count, items + i);
    items[_count - 1] = T();
    --_count;
  }
  void move(int32_t i, int32_t j) override {
    ASSERT(i >= 0 && i < _count);
    ASSERT(j >= 0 && j < _count);
    if (i == j) return;
    T* items = _items.get();
    T item = std::move(items[i]);
    if (j < i)
      std::move_backward(items + j, items + i, items + i + 1);
    else
      std::move(items + i + 1, items + j + 1, items + i);
    items[j] = std::move(item);
  }
  void swap(int32_t i, int32_t j) override {
    ASSERT(i >= 0 && i < _capacity);
    ASSERT(j >= 0 && j < _capacity);
    std::swap(_items[i], _items[j]);
  }

  // The callback-free forms a typed list interface declares stay visible.
  using Intf::find;
  using Intf::index_of;
  using Intf::remove;
  using Intf::search;

  int32_t index_of(const T& item, _equal<T> equal) override {
    int32_t index = -1;
    return find(item, equal, index) ? index : -1;
  }
  bool find(const T& item, _equal<T> equal, int32_t& index) override {
    for (int32_t k = 0; k < _count; ++k) {
      if (equal(item, _items[k])) {
        index = k;
        return true;
      }
    }
    return false;
  }
  bool search(const T& item, _compare<T> compare, int32_t& index) override {
    int32_t lo = 0, hi = _count - 1;
    bool found = false;
    while (lo <= hi) {
      int32_t mid = int32_t(uint32_t(lo + hi) >> 1);
      int32_t c = compare(_items[mid], item);
      if (c < 0) {
        lo = mid + 1;
      } else {
        hi = mid - 1;
        if (c == 0) found = true;
      }
    }
    index = lo;
    return found;
  }
  bool remove(const T& item, _equal<T> equal) override {
    const T sought(item);  // `item` may be one of the items removed
    int32_t removed = 0;
    for (int32_t k = 0; k < _count;) {
      if (equal(sought, _items[k])) {
        delete_(k);
        ++removed;
      } else {
        ++k;
      }
    }
    return removed > 0;
  }

  void clear() override {
    _count = 0;
    _capacity = 0;
    _items.reset();
  }
  void truncate() override { _count = 0; }
  void reserve(int32_t n) override {
    int32_t capacity = n > _count ? n : _count;
    if (capacity != _capacity) resize_storage(capacity);
  }
  void sort(_compare<T> compare) override {
    if (_count > 1) quick_sort(0, _count - 1, compare);
  }

  // The live items, for range loops inside C++ code.
  const T* begin() const { return _items.get(); }
  const T* end() const { return _items.get() + _count; }

 protected:
  CList() = default;
  ~CList() override { clear(); }

 private:
  void grow() {
    int32_t delta = _capacity > 64 ? _capacity / 4 : _capacity > 8 ? 16 : 4;
    resize_storage(_capacity + delta);
  }
  void resize_storage(int32_t capacity) {
    std::unique_ptr<T[]> items(capacity > 0 ? new T[capacity]() : nullptr);
    int32_t keep = capacity < _capacity ? capacity : _capacity;
    std::move(_items.get(), _items.get() + keep, items.get());
    _items = std::move(items);
    _capacity = capacity;
  }
  void quick_sort(int32_t L, int32_t R, _compare<T> compare) {
    int32_t I;
    do {
      I = L;
      int32_t J = R;
      T P = _items[int32_t(uint32_t(L + R) >> 1)];
      do {
        while (compare(_items[I], P) < 0) ++I;
        while (compare(_items[J], P) > 0) --J;
        if (I <= J) {
          if (I != J) swap(I, J);
          ++I;
          --J;
        }
      } while (I <= J);
      if (L < J) quick_sort(L, J, compare);
      L = I;
    } while (I < R);
  }

  std::unique_ptr<T[]> _items;
  int32_t _capacity = 0;
  int32_t _count = 0;
};
