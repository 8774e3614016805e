#include "uInterfacedObjects.h"

#include <cstdio>
#include <typeinfo>

#include <fmt/format.h>

namespace {

// The head of the instance list is a plain pointer, so it stays valid while
// static objects of the module are destroyed.
TInstanceList<CSafeInterfacedObject> g_instances;

void write_to_stderr(const std::string& report) { std::fprintf(stderr, "%s\n", report.c_str()); }
TLeakReportHandler g_leak_report_handler = write_to_stderr;

std::string describe(CSafeInterfacedObject* object) { return fmt::format("references: {}", object->references()); }

// Raises the leak report in the module's unload step. Constructed before any
// other static object of the module, so it is destroyed after all of them.
struct TUnloadReport {
  ~TUnloadReport() {
    try {
      g_instances.report("CSafeInterfacedObject", describe);
    } catch (const Exception& e) {
      g_leak_report_handler(e.message());
    }
  }
};
__attribute__((init_priority(101))) TUnloadReport g_unload_report;

}  // namespace

std::string CSafeBaseObject::class_name() const { return demangled_class_name(typeid(*this)); }

TInstanceList<CSafeInterfacedObject>& CSafeInterfacedObject::instances() { return g_instances; }

std::string CSafeInterfacedObject::leak_report() { return g_instances.report_text("CSafeInterfacedObject", describe); }

void set_leak_report_handler(TLeakReportHandler handler) {
  g_leak_report_handler = handler ? handler : write_to_stderr;
}

void CSafeInterfacedObject::after_construction() {
  --_references;
  g_instances.link(_instance_node, this);
}

void CSafeInterfacedObject::before_destruction() {
  if (_references.load() != 0) throw EInvalidPointer("Invalid pointer operation");
  g_instances.unlink(_instance_node);
  ++_references;  // references taken inside destructors never reach zero again
}

void CSafeInterfacedObject::free() {
  before_destruction();
  delete this;
}

int32_t CSafeInterfacedObject::release() {
  int32_t result = --_references;
  if (result != 0) return result;
  ++_references;
  try {
    on_last_release();
  } catch (...) {
    --_references;
    throw;
  }
  result = --_references;
  if (result == 0) {
    ASSERT(_references.load() == 0);
    before_destruction();
    delete this;
  }
  return result;
}
