// Speed and memory of the BXF2 reader on generated files of about 1k, 10k and
// 100k parts, in one run:
//   bare_parse   libxml2's streaming reader through the file, with the DOM
//                adaptor's options (what xmllint --stream --noout does)
//   dom_load     the DOM adaptor loading the file into its tree (load_document)
//   full_parse   the whole reader (parse_file): load the file, build the DOM, read the model
//   resolve_links resolving every link and every component's article of a read
//                document, indexes rebuilt from scratch on each pass
// A summary at the end gives MB/s, the ratios dom_load / bare_parse and
// full_parse / bare_parse, the time per resolved link, and the peak heap (DOM
// and model) as a multiple of the file size.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <new>
#include <string>

#include <libxml/xmlmemory.h>
#include <unistd.h>

#include "bench.generator.h"
#include "bench.xml.h"
#include "import.bxf2.parser.h"

// ---------------------------------------------------------------------------
// Heap accounting: every operator new and every libxml2 allocation
// ---------------------------------------------------------------------------

namespace {

size_t g_heap = 0;
size_t g_peak = 0;

void* counted_malloc(size_t size) {
  void* p = std::malloc(size ? size : 1);
  if (p) {
    g_heap += malloc_usable_size(p);
    if (g_heap > g_peak) g_peak = g_heap;
  }
  return p;
}

void counted_free(void* p) {
  if (!p) return;
  g_heap -= malloc_usable_size(p);
  std::free(p);
}

void* counted_realloc(void* p, size_t size) {
  size_t before = p ? malloc_usable_size(p) : 0;
  void* q = std::realloc(p, size ? size : 1);
  if (q) {
    g_heap += malloc_usable_size(q);
    g_heap -= before;
    if (g_heap > g_peak) g_peak = g_heap;
  }
  return q;
}

char* counted_strdup(const char* text) {
  size_t size = std::strlen(text) + 1;
  char* copy = static_cast<char*>(counted_malloc(size));
  if (copy) std::memcpy(copy, text, size);
  return copy;
}

}  // namespace

void* operator new(size_t size) {
  if (void* p = counted_malloc(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { counted_free(p); }
void operator delete[](void* p) noexcept { counted_free(p); }
void operator delete(void* p, size_t) noexcept { counted_free(p); }
void operator delete[](void* p, size_t) noexcept { counted_free(p); }

// ---------------------------------------------------------------------------
// Sample files
// ---------------------------------------------------------------------------

namespace {

struct TSample {
  std::string path;
  std::string bytes;
  TGeneratedCounts counts;
};

const TSample& sample(int64_t parts) {
  static std::map<int64_t, TSample> samples;
  auto it = samples.find(parts);
  if (it != samples.end()) return it->second;
  TSample s;
  s.bytes = generate_bxf2(parts, &s.counts);
  s.path = (std::filesystem::temp_directory_path() /
            ("reader_bench_" + std::to_string(::getpid()) + "_" + std::to_string(parts) + ".bxf2"))
               .string();
  std::ofstream(s.path, std::ios::binary) << s.bytes;
  return samples.emplace(parts, std::move(s)).first->second;
}

template <class Links>
int64_t resolve(const Links* links) {
  int64_t n = 0;
  for (const auto* link : *links) n += link->reference() != nullptr;
  return n;
}

// Visits the same links as resolve_all and reads their reference ids, but
// resolves nothing: the cost of walking the model itself.
struct TWalkOnly {
  template <class Links>
  static int64_t links(const Links* links) {
    int64_t n = 0;
    for (const auto* link : *links) n += !link->reference_id().empty();
    return n;
  }
  static int64_t article(const CBXF_component* c) { return !c->component_number().empty(); }
};

struct TResolve {
  template <class Links>
  static int64_t links(const Links* links) {
    return resolve(links);
  }
  static int64_t article(const CBXF_component* c) { return c->article() != nullptr; }
};

template <class Visit>
int64_t visit_all(const CBXF& doc) {
  int64_t n = 0;
  for (const CBXF_node* node : *doc.scene()->nodes())
    n += Visit::links(node->cabinet_links()) + Visit::links(node->container_links());
  const CBXF_library* lib = doc.lib();
  for (const CBXF_cabinet_group* g : *lib->cabinet_groups()) n += Visit::links(g);
  for (const CBXF_cabinet* c : *lib->cabinets())
    n += Visit::links(c->part_links()) + Visit::links(c->container_links());
  for (const CBXF_container* c : *lib->containers()) n += Visit::links(c->function_unit_links());
  for (const CBXF_function_unit* f : *lib->function_units())
    n += Visit::links(f->part_links()) + Visit::links(f->article_links()) + Visit::links(f->component_links());
  for (const CBXF_component* c : *lib->components()) n += Visit::links(c->machining_links()) + Visit::article(c);
  return n;
}

int64_t resolve_all(const CBXF& doc) { return visit_all<TResolve>(doc); }

void bare_parse(benchmark::State& state) {
  const TSample& s = sample(state.range(0));
  size_t peak = 0;
  for (auto _ : state) {
    size_t before = g_heap;
    g_peak = g_heap;
    if (bare_parse_file(s.path) < 0) state.SkipWithError("parse failed");
    peak = g_peak - before;
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(s.bytes.size()));
  state.counters["peak_x_file"] = double(peak) / double(s.bytes.size());
}

void dom_load(benchmark::State& state) {
  const TSample& s = sample(state.range(0));
  size_t peak = 0;
  for (auto _ : state) {
    size_t before = g_heap;
    g_peak = g_heap;
    TRef<IXMLDOMDocument> dom = load_document(s.path);
    if (!dom) state.SkipWithError("load failed");
    peak = g_peak - before;
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(s.bytes.size()));
  state.counters["peak_x_file"] = double(peak) / double(s.bytes.size());
}

void full_parse(benchmark::State& state) {
  const TSample& s = sample(state.range(0));
  size_t peak = 0;
  for (auto _ : state) {
    size_t before = g_heap;
    g_peak = g_heap;
    std::unique_ptr<CBXF> doc(::parse_file(s.path));
    if (!doc || doc->lib()->parts()->count() != s.counts.parts) state.SkipWithError("read failed");
    peak = g_peak - before;
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(s.bytes.size()));
  state.counters["peak_x_file"] = double(peak) / double(s.bytes.size());
}

void resolve_links(benchmark::State& state) {
  const TSample& s = sample(state.range(0));
  std::unique_ptr<CBXF> doc(::parse_file(s.path));
  int64_t resolved = 0;
  for (auto _ : state) {
    doc->touch();  // every pass builds the indexes again
    resolved = resolve_all(*doc);
  }
  if (resolved != s.counts.links + s.counts.components) state.SkipWithError("not every link resolved");
  state.counters["per_link"] =
      benchmark::Counter(double(resolved), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The same with the indexes kept from pass to pass, as during an import,
// where the document does not change while links are resolved.
void resolve_links_warm(benchmark::State& state) {
  const TSample& s = sample(state.range(0));
  std::unique_ptr<CBXF> doc(::parse_file(s.path));
  int64_t resolved = resolve_all(*doc);
  for (auto _ : state) resolved = resolve_all(*doc);
  if (resolved != s.counts.links + s.counts.components) state.SkipWithError("not every link resolved");
  state.counters["per_link"] =
      benchmark::Counter(double(resolved), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The walk over the same links without resolving them: what resolve_links
// costs beyond this is the resolution itself.
void walk_links(benchmark::State& state) {
  const TSample& s = sample(state.range(0));
  std::unique_ptr<CBXF> doc(::parse_file(s.path));
  int64_t visited = 0;
  for (auto _ : state) benchmark::DoNotOptimize(visited = visit_all<TWalkOnly>(*doc));
  state.counters["per_link"] =
      benchmark::Counter(double(visited), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(bare_parse)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(dom_load)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(full_parse)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(resolve_links)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(resolve_links_warm)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(walk_links)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Console output plus the summary table at the end.
class TSummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration) continue;
      std::string name = run.run_name.function_name;
      int64_t parts = std::stoll(run.run_name.args);
      Row& row = _rows[parts];
      // CPU time: the machines that run this are shared, and wall time
      // measures the neighbours as much as the reader.
      double seconds = run.cpu_accumulated_time / double(run.iterations);
      auto counter = [&](const char* key) {
        auto it = run.counters.find(key);
        return it == run.counters.end() ? 0.0 : double(it->second);
      };
      if (name == "bare_parse") {
        row.bare = seconds;
        row.bare_peak = counter("peak_x_file");
      } else if (name == "dom_load") {
        row.dom = seconds;
        row.dom_peak = counter("peak_x_file");
      } else if (name == "full_parse") {
        row.full = seconds;
        row.full_peak = counter("peak_x_file");
      } else if (name == "resolve_links") {
        row.resolve = seconds;
      } else if (name == "resolve_links_warm") {
        row.warm = seconds;
      } else if (name == "walk_links") {
        row.walk = seconds;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%8s %6s %7s %10s %10s %10s %9s %9s %8s %8s %10s %10s %10s %10s\n", "parts", "MB", "links",
                "bare MB/s", "DOM MB/s", "full MB/s", "DOM/bare", "full/bare", "ns/link", "warm", "walk only",
                "bare peak", "DOM peak", "full peak");
    for (const auto& [parts, row] : _rows) {
      const TSample& s = sample(parts);
      double mb = double(s.bytes.size()) / 1e6;
      int64_t links = s.counts.links + s.counts.components;
      std::printf("%8lld %6.1f %7lld %10.0f %10.0f %10.0f %9.2f %9.2f %8.1f %8.1f %10.1f %9.2fx %9.2fx %9.2fx\n",
                  (long long)parts, mb, (long long)links, mb / row.bare, mb / row.dom, mb / row.full,
                  row.dom / row.bare, row.full / row.bare, row.resolve / double(links) * 1e9,
                  row.warm / double(links) * 1e9, row.walk / double(links) * 1e9, row.bare_peak, row.dom_peak,
                  row.full_peak);
    }
  }

 private:
  struct Row {
    double bare = 0, dom = 0, full = 0, resolve = 0, warm = 0, walk = 0, bare_peak = 0, dom_peak = 0, full_peak = 0;
  };
  std::map<int64_t, Row> _rows;
};

}  // namespace

int main(int argc, char** argv) {
  // Before the parser's first allocation.
  xmlMemSetup(counted_free, counted_malloc, counted_realloc, counted_strdup);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TSummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  for (int64_t parts : {1000, 10000, 100000}) std::remove(sample(parts).path.c_str());
  return 0;
}
