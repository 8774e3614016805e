// Building generated documents of about 100, 1 000 and 10 000 cabinets into
// the reference host, and reading the same documents, so that the time per
// created entity and the ratio of build time to read time can be compared
// across sizes (see README.md).
//
// Each generated cabinet has its own library entry with six carcass parts
// (shared part definitions) and a container whose function unit adds a door,
// a components group and an articles group with two articles: 13 host
// entities per cabinet, plus the root group. A generated cabinet run stands
// in one scene node, each cabinet moved 600 mm along x from the last.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include <fmt/format.h>
#include <unistd.h>

#include "bench.generator.h"
#include "host.application.h"
#include "import.bxf2.import.h"
#include "import.bxf2.parser.h"
#include "platform.files.h"

namespace {

// ---------------------------------------------------------------------------
// Sample documents
// ---------------------------------------------------------------------------

// A generated document written to a temporary file, read once per size.
class TSample {
 public:
  explicit TSample(int cabinets) {
    _path = include_trailing_delimiter(temp_folder()) + fmt::format("bxf2_bench_{}_{}.bxf2", ::getpid(), cabinets);
    write_file_bytes(_path, generate_cabinet_run(cabinets));
  }
  ~TSample() { std::remove(_path.c_str()); }
  const std::string& path() const { return _path; }

 private:
  std::string _path;
};

// ---------------------------------------------------------------------------
// Benchmarks
// ---------------------------------------------------------------------------

void BM_read(benchmark::State& state) {
  TSample sample(int(state.range(0)));
  for (auto _ : state) {
    std::unique_ptr<CBXF> doc(parse_file(sample.path()));
    benchmark::DoNotOptimize(doc.get());
  }
  state.counters["cabinets"] = double(state.range(0));
}

// The build alone: a fresh host per iteration, made and dropped outside the timing.
void BM_build(benchmark::State& state) {
  const int cabinets = int(state.range(0));
  TSample sample(cabinets);
  std::unique_ptr<CBXF> doc(parse_file(sample.path()));
  int64_t entities = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto host = std::make_unique<CHost>();
    state.ResumeTiming();
    import_document(doc.get(), host->application_interface(), sample.path());
    state.PauseTiming();
    entities = int64_t(host->project().objects().size());
    host.reset();
    state.ResumeTiming();
  }
  if (entities != int64_t(cabinets) * cabinet_run_entities_per_cabinet)
    state.SkipWithError("unexpected number of entities");
  state.counters["entities"] = double(entities);
  // Time per created entity (the root group, dissolved at the end, not counted).
  state.counters["per_entity"] =
      benchmark::Counter(double(entities), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_read)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_build)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
