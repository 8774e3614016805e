// `CStringList`, a list of texts that carries its own comparison, chosen once
// at creation: case-sensitive (ordinal UTF-16 order, exact equality) or
// case-insensitive (only 'a'..'z' folded, no locale).
//
//   TRef<IStringList> numbers = CStringList::create(true);
//   numbers->add("K-12");
//   numbers->index_of("K-12");  // 0
//
// Besides the callback-free `index_of`, `find`, `search` and `remove`, every
// `CList<std::string>` operation stays available, including the forms that
// take an explicit callback. `search` expects the list to be in its own order;
// nothing keeps it so (sort it with a matching callback, or insert at the
// index `search` reports).
#pragma once

#include <string>

#include "sysutils.h"
#include "uList.h"

struct IStringList : ITypedList<std::string> {
  static constexpr TGUID IID = TGUID::parse("{8B8BA39C-260C-4C65-9359-F670A2564831}");
  using Parent = ITypedList<std::string>;
};

class CStringList : public CList<std::string, IStringList> {
 public:
  static CStringList* create(bool case_sensitive) { return construct(new CStringList(case_sensitive)); }

  bool case_sensitive() const { return _case_sensitive; }

  // Negative, zero or positive as `a` orders before, with or after `b` in this list's order.
  int32_t compare(const std::string& a, const std::string& b) const {
    return _case_sensitive ? compare_str(a, b) : compare_text(a, b);
  }
  // True when the two texts count as the same item in this list.
  bool equal(const std::string& a, const std::string& b) const { return _case_sensitive ? a == b : same_text(a, b); }

  using CList::find;
  using CList::index_of;
  using CList::remove;
  using CList::search;

  // The index `find` reports, or -1.
  int32_t index_of(const std::string& item) override {
    int32_t index = -1;
    return find(item, index) ? index : -1;
  }
  // True when an equal item is present; `index` is then the first one's
  // position, and is left alone otherwise.
  bool find(const std::string& item, int32_t& index) override {
    return CList::find(
        item, [this](const std::string& a, const std::string& b) { return equal(a, b); }, index);
  }
  // Binary search in this list's order: `index` is always set, to the first
  // position whose item does not order before `item`; true when an equal
  // item was met.
  bool search(const std::string& item, int32_t& index) override {
    return CList::search(
        item, [this](const std::string& a, const std::string& b) { return compare(a, b); }, index);
  }
  // Removes every equal item; true when at least one was removed.
  bool remove(const std::string& item) override {
    return CList::remove(item, [this](const std::string& a, const std::string& b) { return equal(a, b); });
  }

 protected:
  explicit CStringList(bool case_sensitive) : _case_sensitive(case_sensitive) {}

 private:
  bool _case_sensitive;
};
