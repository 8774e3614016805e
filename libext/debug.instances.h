// The process-wide list of live tracked objects, and the leak report built
// from it when the module that holds the list unloads.
//
// The list is intrusive: every tracked object embeds its `TInstanceNode`, so
// linking and unlinking allocate nothing. The head is the most recently
// linked object; `_next` points toward older ones.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "system.h"

template <class T>
struct TInstanceNode {
  TInstanceNode* _next = nullptr;  // toward older objects
  TInstanceNode* _prev = nullptr;  // toward newer objects
  T* _instance = nullptr;
};

template <class T>
class TInstanceList {
 public:
  using PInstanceNode = TInstanceNode<T>*;

  PInstanceNode head() const { return _head; }

  void link(TInstanceNode<T>& node, T* instance) {
    node._next = _head;
    node._prev = nullptr;
    node._instance = instance;
    if (_head) _head->_prev = &node;
    _head = &node;
  }

  // Takes the node out; its own pointers are left as they are.
  void unlink(TInstanceNode<T>& node) {
    if (node._next) node._next->_prev = node._prev;
    if (node._prev)
      node._prev->_next = node._next;
    else
      _head = node._next;
  }

  // The leak report for the objects still linked, newest first, or an empty
  // text when there are none.
  std::string report_text(std::string_view class_name, const std::function<std::string(T*)>& describe) const {
    std::string lines;
    for (PInstanceNode n = _head; n; n = n->_next)
      lines += fmt::format("\r\nclass: {}  {}", class_name_of(n->_instance), describe(n->_instance));
    if (lines.empty()) return lines;
    return fmt::format("\r\n\r\nThe following instances of {} are not destroyed:\r\n{}", class_name, lines);
  }

  // Raises the leak report as an `Exception` when objects are still linked.
  void report(std::string_view class_name, const std::function<std::string(T*)>& describe) const {
    if (std::string text = report_text(class_name, describe); !text.empty()) throw Exception(text);
  }

 private:
  static std::string class_name_of(T* instance) { return instance->class_name(); }

  PInstanceNode _head = nullptr;
};

// The C++ class name of a polymorphic object, without namespaces' mangling.
std::string demangled_class_name(const std::type_info& type);
