// Range loops in C++ code over the system's sequences: `each` turns anything
// with `getEnumerator` (an `IIterable<T>`, `IList<T>`, `IIterator<T>`, held by
// pointer or by `TRef`) into a range.
//
//   for (const std::string& key : each(dict->get_keys())) ...
//   for (const TRef<IUnit>& unit : each(units)) ...
//
// The loop asks for one enumerator, then calls `moveNext` and `get_current`
// once per item, so it sees the sequence as that iterator does: live, with no
// snapshot. The range holds the enumerator, and the enumerator holds its
// sequence, so a temporary source stays alive for the loop. A list owned as a
// plain object (never referenced through an interface) must be walked with its
// own `begin()`/`end()` instead: taking an enumerator references it, and
// dropping that reference would destroy it.
#pragma once

#include <optional>
#include <utility>

#include "uList.h"

template <class T>
class TEnumeration {
 public:
  struct sentinel {};

  class iterator {
   public:
    explicit iterator(IIterator<T>* enumerator) : _enumerator(enumerator) { next(); }
    // The current item, valid until the next step.
    const T& operator*() const { return *_current; }
    const T* operator->() const { return &*_current; }
    iterator& operator++() {
      next();
      return *this;
    }
    friend bool operator==(const iterator& it, sentinel) { return !it._current; }

   private:
    void next() {
      if (_enumerator && _enumerator->moveNext())
        _current = _enumerator->get_current();
      else
        _current.reset();
    }
    IIterator<T>* _enumerator;
    std::optional<T> _current;
  };

  explicit TEnumeration(TRef<IIterator<T>> enumerator) : _enumerator(std::move(enumerator)) {}

  // Starts the walk; a range is walked once.
  iterator begin() { return iterator(_enumerator.get()); }
  sentinel end() const { return {}; }

 private:
  TRef<IIterator<T>> _enumerator;
};

// A range over the items `source->getEnumerator()` yields; a null source gives
// an empty range.
template <class S>
auto each(const S& source) {
  using TEnumerator = decltype(source->getEnumerator());  // TRef<IIterator<T>>
  using TItem = std::remove_cvref_t<decltype(std::declval<TEnumerator>()->get_current())>;
  return TEnumeration<TItem>(source ? source->getEnumerator() : TEnumerator());
}
