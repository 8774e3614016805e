// Feeds arbitrary bytes, written to a file, to the BXF2 reader: every input
// must give a document, null, or one of the reader's exceptions, and leave no
// model object and no reference-counted object alive once the document is
// freed. A document that reads has every link and component article
// resolved, as the import would.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include <unistd.h>

#include "import.bxf2.parser.h"

namespace {

const std::string& input_path() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/reader_fuzz_" + std::to_string(::getpid()) + ".bxf2";
  }();
  return path;
}

template <class Links>
void resolve(const Links* links) {
  for (const auto* link : *links) {
    try {
      link->reference();
    } catch (const EAssertionFailed&) {
    }
  }
}

void resolve_all(const CBXF& doc) {
  for (const CBXF_node* n : *doc.scene()->nodes()) {
    resolve(n->cabinet_links());
    resolve(n->container_links());
  }
  const CBXF_library* lib = doc.lib();
  for (const CBXF_cabinet_group* g : *lib->cabinet_groups()) resolve(g);
  for (const CBXF_cabinet* c : *lib->cabinets()) {
    resolve(c->part_links());
    resolve(c->container_links());
  }
  for (const CBXF_container* c : *lib->containers()) resolve(c->function_unit_links());
  for (const CBXF_function_unit* f : *lib->function_units()) {
    resolve(f->part_links());
    resolve(f->article_links());
    resolve(f->component_links());
  }
  for (const CBXF_component* c : *lib->components()) {
    resolve(c->machining_links());
    try {
      c->article();
    } catch (const EAssertionFailed&) {
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* f = std::fopen(input_path().c_str(), "wb");
  if (!f) __builtin_trap();
  if (size && std::fwrite(data, 1, size, f) != size) __builtin_trap();
  std::fclose(f);

  try {
    std::unique_ptr<CBXF> doc(parse_file(input_path()));
    if (doc) resolve_all(*doc);
  } catch (const Exception&) {
    // A reading error: the reader has freed what it built.
  }
  if (CBXF_object::live_objects() != 0) __builtin_trap();
  if (CSafeInterfacedObject::instances().head() != nullptr) __builtin_trap();
  return 0;
}
