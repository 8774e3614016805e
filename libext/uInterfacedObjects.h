// `CSafeInterfacedObject`, the base of every reference-counted support
// object, and `TImplements`, which gives a class the `IInterface` methods of
// the interfaces it implements.
//
// The count is pinned at 1 while constructors run and while destructors run,
// so references taken and dropped inside them never destroy the object early
// or twice. Every live object is linked into one process-wide instance list;
// objects still alive when the module unloads are reported.
//
//   class CCounter : public TImplements<CSafeInterfacedObject, ICounter> {
//    public:
//     static CCounter* create() { return construct(new CCounter()); }
//    protected:
//     CCounter() = default;
//   };
//   TRef<ICounter> c = CCounter::create();  // count 0 until this first reference
//
// Objects are created only through their class's `create`, which finishes the
// construction. An object nobody references may be destroyed with `free()`;
// a referenced one dies with its last `Release`.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "debug.instances.h"
#include "system.h"

// Root of the support library's classes.
class CSafeBaseObject {
 public:
  virtual ~CSafeBaseObject() = default;
  // The class name, as the leak report prints it.
  virtual std::string class_name() const;
};

class CSafeInterfacedObject : public CSafeBaseObject {
 public:
  CSafeInterfacedObject(const CSafeInterfacedObject&) = delete;
  CSafeInterfacedObject& operator=(const CSafeInterfacedObject&) = delete;

  // Destroys the object. Raises EInvalidPointer ("Invalid pointer
  // operation") and changes nothing while the object is still referenced.
  void free();

  int32_t references() const { return _references.load(); }

  // Called when the count reaches zero, with the count pinned at 1. A hook
  // that keeps a reference keeps the object alive; one that raises leaves it
  // alive and the exception reaches the releasing caller.
  virtual void on_last_release() {}

  // The instance list of all live objects, newest first.
  static TInstanceList<CSafeInterfacedObject>& instances();
  // The leak report for the objects alive now ("" when there are none); the
  // module's unload step raises this text.
  static std::string leak_report();

 protected:
  CSafeInterfacedObject() : _references(1) {}
  ~CSafeInterfacedObject() override = default;

  // Finishes the construction of a new object: drops the pinned count back
  // to 0 and links the object into the instance list.
  template <class T>
  static T* construct(T* object) {
    static_cast<CSafeInterfacedObject*>(object)->after_construction();
    return object;
  }

  int32_t add_ref() { return ++_references; }
  int32_t release();

 private:
  void after_construction();
  void before_destruction();

  std::atomic<int32_t> _references;
  TInstanceNode<CSafeInterfacedObject> _instance_node;  // links this object into instances()
};

// What happens to a non-empty leak report when the module unloads: the text is
// handed to this function (by default written to standard error), because an
// exception cannot leave the unload step.
using TLeakReportHandler = void (*)(const std::string& report);
void set_leak_report_handler(TLeakReportHandler handler);

// ---------------------------------------------------------------------------
// TImplements
// ---------------------------------------------------------------------------

// The `IInterface` methods for a class `Base` (a CSafeInterfacedObject, or a
// class already made with TImplements) that also implements `Intfs`. Every
// interface names its identifier `IID` and its parent interface `Parent`;
// QueryInterface answers each listed interface and all of its ancestors.
template <class Base, class... Intfs>
class TImplements : public Base, public Intfs... {
 public:
  HRESULT QueryInterface(const TGUID& iid, void** obj) override {
    if (!obj) return E_POINTER;
    *obj = nullptr;
    if ((try_interface<Intfs>(iid, obj) || ...)) {
      this->add_ref();
      return S_OK;
    }
    if constexpr (requires(Base & b) { b.Base::QueryInterface(iid, obj); }) return Base::QueryInterface(iid, obj);
    return E_NOINTERFACE;
  }
  int32_t AddRef() override { return this->add_ref(); }
  int32_t Release() override { return this->release(); }

 protected:
  using Base::Base;

 private:
  template <class I>
  static bool answers(const TGUID& iid) {
    if (I::IID == iid) return true;
    if constexpr (requires { typename I::Parent; })
      return answers<typename I::Parent>(iid);
    else
      return false;
  }
  template <class I>
  bool try_interface(const TGUID& iid, void** obj) {
    if (!answers<I>(iid)) return false;
    *obj = static_cast<I*>(this);
    return true;
  }
};
