// Placeholder for the support library's string list until it is in libext
// (used only while libext/uStringList.h is missing).
#pragma once

#include <string>

#include "uList.h"
#include "sysutils.h"

struct IStringList : ITypedList<std::string> {
  static constexpr TGUID IID = TGUID::parse("{8B8BA39C-260C-4C65-9359-F670A2564831}");
  using Parent = ITypedList<std::string>;
};

class CStringList : public CList<std::string, IStringList> {
 public:
  static CStringList* create(bool case_sensitive) { return construct(new CStringList(case_sensitive)); }
  using CList<std::string, IStringList>::index_of;
  using CList<std::string, IStringList>::search;
  using CList<std::string, IStringList>::find;
  using CList<std::string, IStringList>::remove;
  int32_t index_of(const std::string& item) override { return index_of(item, [this](const std::string& a, const std::string& b) { return same(a, b); }); }
  bool search(const std::string& item, int32_t& index) override {
    return search(item, [this](const std::string& a, const std::string& b) {
      return _case_sensitive ? compare_str(a, b) : compare_text(a, b);
    }, index);
  }
  bool find(const std::string& item, int32_t& index) override { return find(item, [this](const std::string& a, const std::string& b) { return same(a, b); }, index); }
  bool remove(const std::string& item) override { return remove(item, [this](const std::string& a, const std::string& b) { return same(a, b); }); }
  bool case_sensitive() const { return _case_sensitive; }

 protected:
  explicit CStringList(bool case_sensitive) : _case_sensitive(case_sensitive) {}

 private:
  bool same(const std::string& a, const std::string& b) const { return _case_sensitive ? a == b : same_text(a, b); }
  bool _case_sensitive;
};
