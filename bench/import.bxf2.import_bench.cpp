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

#include "host.application.h"
#include "import.bxf2.import.h"
#include "import.bxf2.parser.h"
#include "platform.files.h"

namespace {

// ---------------------------------------------------------------------------
// Sample documents
// ---------------------------------------------------------------------------

void add_link(std::string& xml, const char* element, const std::string& id, const std::string& reference,
              const std::string& translation) {
  xml += fmt::format(
      "<{0} id=\"{1}\" referenceId=\"{2}\"><transformations><transformation translation=\"{3}\"/>"
      "</transformations></{0}>\n",
      element, id, reference, translation);
}

void add_part(std::string& xml, const std::string& id, const char* key, const char* description, const char* extent) {
  xml += fmt::format(
      "<part id=\"{}\" modelKey=\"{}\"><description>{}</description>"
      "<geometry xsi:type=\"Box\"><extent>{}</extent></geometry></part>\n",
      id, key, description, extent);
}

// A BXF2 document with `cabinets` base cabinets in one run.
std::string generated_document(int cabinets) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<bxf xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
      "<head><version>2.0</version><unit meter=\"0.001\">mm</unit><angularunit>degree</angularunit></head>\n"
      "<scene><nodes><node id=\"run\"><cabinetLinks>\n";
  for (int i = 0; i < cabinets; ++i) add_link(xml, "cabinetLink", fmt::format("run-{}", i), fmt::format("cab-{}", i), fmt::format("{} 0 100", 600 * i));
  xml += "</cabinetLinks></node></nodes></scene>\n<library>\n<cabinets>\n";
  static const char* const carcass[6][2] = {{"KSL", "0 0 0"},     {"KSR", "581 0 0"},  {"KUB", "19 0 0"},
                                            {"TRAV-vo", "19 0 701"}, {"TRAV-hi", "19 460 701"}, {"KRW", "19 540 19"}};
  for (int i = 0; i < cabinets; ++i) {
    xml += fmt::format("<cabinet id=\"cab-{}\" modelKey=\"US60\"><description>Base cabinet {}</description><partLinks>\n", i, i);
    for (int p = 0; p < 6; ++p) add_link(xml, "partLink", fmt::format("cab-{}-p{}", i, p), carcass[p][0], carcass[p][1]);
    xml += "</partLinks><containerLinks>\n";
    add_link(xml, "containerLink", fmt::format("cab-{}-c", i), "inner", "19 0 19");
    xml += "</containerLinks></cabinet>\n";
  }
  xml += "</cabinets>\n<containers><container id=\"inner\" modelKey=\"INNER-BASE\"><functionUnitLinks>\n";
  add_link(xml, "functionUnitLink", "inner-f", "fu-door", "0 0 0");
  xml +=
      "</functionUnitLinks><boundary xsi:type=\"Box\"><extent>562 540 682</extent></boundary></container>"
      "</containers>\n<parts>\n";
  add_part(xml, "KSL", "KSL", "Side left", "19 560 720");
  add_part(xml, "KSR", "KSR", "Side right", "19 560 720");
  add_part(xml, "KUB", "KUB", "Bottom", "562 560 19");
  add_part(xml, "TRAV-vo", "TRAV-vo", "Front rail", "562 100 19");
  add_part(xml, "TRAV-hi", "TRAV-hi", "Back rail", "562 100 19");
  add_part(xml, "KRW", "KRW", "Back panel", "562 8 682");
  add_part(xml, "door", "H-FRON-Tuer", "Door", "596 -19 716");
  xml += "</parts>\n<functionUnits><functionUnit id=\"fu-door\"><partLinks>\n";
  add_link(xml, "partLink", "fu-door-p", "door", "0 0 0");
  xml += "</partLinks><articleLinks>\n";
  xml += "<articleLink id=\"fu-door-a\" referenceId=\"hinge\" quantity=\"2\"/>\n";
  xml +=
      "</articleLinks></functionUnit></functionUnits>\n"
      "<articles><article id=\"hinge\" itemNumber=\"10\" articleNumber=\"1105\" totalQuantity=\"2\">"
      "<description>Hinge</description><material>Steel</material><componentNumbers/></article></articles>\n"
      "</library>\n</bxf>\n";
  return xml;
}

constexpr int entities_per_cabinet = 13;

// A generated document written to a temporary file, read once per size.
class TSample {
 public:
  explicit TSample(int cabinets) {
    _path = include_trailing_delimiter(temp_folder()) + fmt::format("bxf2_bench_{}_{}.bxf2", ::getpid(), cabinets);
    write_file_bytes(_path, generated_document(cabinets));
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
  if (entities != int64_t(cabinets) * entities_per_cabinet) state.SkipWithError("unexpected number of entities");
  state.counters["entities"] = double(entities);
  // Time per created entity (the root group, dissolved at the end, not counted).
  state.counters["per_entity"] =
      benchmark::Counter(double(entities), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_read)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_build)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
