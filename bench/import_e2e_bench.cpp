// The whole import of generated archives of 100, 1 000 and 10 000 cabinets
// (bench.generator.h: a kitchen document with shared hardware and one COLLADA
// mesh per hardware model), set against its floor, in one run:
//   floor       bxf2-floor as a child process: the archive unpacked with
//               libzip, the BXF2 file stepped through by libxml2's streaming
//               reader, every mesh read by assimp; nothing else
//   program     bxf2-import run as a user runs it, without output, as a
//               child process: wall time, CPU time (children included) and
//               peak resident memory from wait4(), and the import command's
//               own time as the program's summary line gives it
//   output_json, output_glb, output_both
//               the same writing the project as .json, .glb or both
//   process     `bxf2-import --version`: starting and ending the program
//   host        a reference host started with both plug-ins and shut down
//   extract     the archive unpacked by extract_archive
//   convert     every cadData/*.dae converted by Meshport's convert_file, the
//               code behind the plug-in's ConvertFile (one reader process)
//   parse       parse_file on the extracted document
//   build       import_document into a fresh reference host, with the
//               converted meshes in mesh_folder; counts the calls the
//               builder makes on the host
//   teardown    the built host destroyed (its project freed)
//   bare_parse  libxml2's streaming reader through the document's bytes, with
//               the DOM adaptor's options
// The summary at the end gives the program against its floor (wall and CPU
// time, time per cabinet, peak memory), what each output costs, and where
// the program's time goes: process, host, the four stages and teardown, and
// the rest, which none of them accounts for. Everything is written under one
// folder in the system's temporary folder, removed at the end.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "bench.generator.h"
#include "bench.xml.h"
#include "host.application.h"
#include "import.bxf2.import.h"
#include "import.bxf2.parser.h"
#include "import.bxf2.zip.h"
#include "meshport.convert.h"
#include "platform.files.h"

extern char** environ;

namespace {

// What the import command asks Meshport for: millimetres to metres, the node
// tree kept.
constexpr double mesh_scale = 1000.0;
constexpr uint8_t mesh_mode = kMeshportTree;

// ---------------------------------------------------------------------------
// Samples
// ---------------------------------------------------------------------------

// The folder of this run, under the system's temporary folder.
const std::string& run_folder() {
  static const std::string folder =
      include_trailing_delimiter(temp_folder()) + fmt::format("import_e2e_bench_{}", ::getpid());
  return folder;
}

// A fresh, empty folder under the run folder.
std::string fresh_folder(const std::string& what) {
  static int serial = 0;
  std::string folder = fmt::format("{}/{}-{}", run_folder(), what, ++serial);
  if (!force_folders(folder)) throw std::runtime_error(folder + ": cannot create the folder");
  return folder;
}

struct TSample {
  std::string archive;
  std::string document_bytes;  // the BXF2 text, for the bare parse
  std::string extracted;       // the archive extracted and its meshes converted
  TGeneratedCounts counts;
};

// Converts every .dae of `folder` into a .meb of the same name in
// `target_folder` as an import does, Meshport's reader ended afterwards as
// at the end of a run; returns the number converted.
int convert_meshes(const std::string& folder, const std::string& target_folder) {
  int converted = 0;
  for (const std::string& mesh : list_files(folder, "*.dae")) {
    const std::string target =
        include_trailing_delimiter(target_folder) + change_file_ext(extract_file_name(mesh), ".meb");
    converted += convert_file(mesh, target, mesh_scale, mesh_mode);
  }
  end_conversion_reader();
  return converted;
}

// The archive of `cabinets` cabinets, written, extracted and its meshes
// converted once.
const TSample& sample(int64_t cabinets) {
  static std::map<int64_t, TSample> samples;
  auto it = samples.find(cabinets);
  if (it != samples.end()) return it->second;
  TSample s;
  const std::string folder = fresh_folder(fmt::format("sample-{}", cabinets));
  s.archive = folder + "/kitchen.zip";
  s.counts = write_archive(cabinets, s.archive);
  s.extracted = folder + "/extracted";
  extract_archive(s.archive, s.extracted);
  s.document_bytes = read_file_bytes(s.extracted + "/" + archive_document_name);
  const std::string meshes = s.extracted + "/cadData";
  if (convert_meshes(meshes, meshes) != s.counts.mesh_files) throw std::runtime_error("a mesh did not convert");
  return samples.emplace(cabinets, std::move(s)).first->second;
}

// ---------------------------------------------------------------------------
// Child processes
// ---------------------------------------------------------------------------

struct TChildRun {
  int status = -1;        // exit code; -1 when it did not exit normally
  double cpu = 0;         // user and system seconds, its reaped children included
  double max_rss_mb = 0;  // its peak resident memory
  std::string err;        // its standard error
};

// Runs `command` (command[0] is the program's path) with standard input
// from /dev/null and standard output and error into files of `folder`;
// `env` is added to this process's environment. Waits for it with wait4().
// The peak memory comes from /usr/bin/time, which starts the program from a
// small process: a process started from this one, large with its samples,
// would count this one's pages in its peak.
TChildRun run_child(const std::vector<std::string>& command, const std::vector<std::string>& env,
                    const std::string& folder) {
  const std::string peak = folder + "/peak.txt";
  std::vector<std::string> args = {"/usr/bin/time", "-f", "%M", "-o", peak};
  args.insert(args.end(), command.begin(), command.end());
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  const std::string out = folder + "/stdout.txt", err = folder + "/stderr.txt";
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& var : env) envp.push_back(const_cast<char*>(var.c_str()));
  for (char** e = environ; *e; ++e) envp.push_back(*e);  // the first of a name wins
  envp.push_back(nullptr);

  TChildRun run;
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    run.err = fmt::format("{}: cannot start", command[0]);
    return run;
  }
  int status = 0;
  rusage usage{};
  while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  run.max_rss_mb = file_exists(peak) ? std::atof(read_file_bytes(peak).c_str()) / 1024.0 : 0.0;
  if (run.status != 0) run.err = read_file_bytes(err);
  return run;
}

// CPU seconds of this process's reaped children so far.
double children_cpu() {
  rusage usage{};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void set_counters(benchmark::State& state, const TSample& s) { state.counters["cabinets"] = double(s.counts.cabinets); }

// ---------------------------------------------------------------------------
// Benchmarks
// ---------------------------------------------------------------------------

// The program with `outputs` (-o FILE each); its summary on standard output
// must count every cabinet and part.
void run_program(benchmark::State& state, const std::vector<std::string>& outputs) {
  const TSample& s = sample(state.range(0));
  const std::string folder = fresh_folder("program");
  const std::string tmp = folder + "/tmp";
  force_folders(tmp);
  std::vector<std::string> args = {BXF2_IMPORT_PROGRAM, "--warning", "ok"};
  for (const std::string& output : outputs) args.insert(args.end(), {"-o", folder + "/" + output});
  args.push_back(s.archive);
  double cpu = 0, max_rss = 0, command = 0;
  for (auto _ : state) {
    const TChildRun run = run_child(args, {"TMPDIR=" + tmp}, folder);
    if (run.status != 0) {
      state.SkipWithError(("bxf2-import failed: " + run.err).c_str());
      break;
    }
    cpu += run.cpu;
    max_rss = std::max(max_rss, run.max_rss_mb);
    // The summary ends with the import command's own time: "... in 1.23 s".
    const std::string summary = read_file_bytes(folder + "/stdout.txt");
    const size_t in = summary.rfind(" in ");
    if (summary.rfind(fmt::format("{} cabinets, {} parts, ", s.counts.cabinets, s.counts.parts), 0) != 0 ||
        in == std::string::npos) {
      state.SkipWithError(("unexpected summary: " + summary).c_str());
      break;
    }
    command += std::atof(summary.c_str() + in + 4);
  }
  for (const std::string& output : outputs)
    if (!file_exists(folder + "/" + output)) state.SkipWithError(("bxf2-import did not write " + output).c_str());
  delete_folder(folder);
  set_counters(state, s);
  state.counters["cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
  state.counters["command_s"] = benchmark::Counter(command, benchmark::Counter::kAvgIterations);
  state.counters["max_rss_MB"] = max_rss;
}

void program(benchmark::State& state) { run_program(state, {}); }
void output_json(benchmark::State& state) { run_program(state, {"x.json"}); }
void output_glb(benchmark::State& state) { run_program(state, {"x.glb"}); }
void output_both(benchmark::State& state) { run_program(state, {"x.json", "x.glb"}); }

// The floor, a process as the program is.
void floor(benchmark::State& state) {
  const TSample& s = sample(state.range(0));
  const std::string folder = fresh_folder("floor");
  double cpu = 0, max_rss = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::string target = fresh_folder("unpacked");
    state.ResumeTiming();
    const TChildRun run = run_child({BXF2_FLOOR_PROGRAM, s.archive, target}, {}, folder);
    state.PauseTiming();
    if (run.status != 0) state.SkipWithError(("bxf2-floor failed: " + run.err).c_str());
    cpu += run.cpu;
    max_rss = std::max(max_rss, run.max_rss_mb);
    delete_folder(target);
    state.ResumeTiming();
  }
  delete_folder(folder);
  set_counters(state, s);
  state.counters["cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
  state.counters["max_rss_MB"] = max_rss;
}

// Starting and ending the program, importing nothing.
void process(benchmark::State& state) {
  const std::string folder = fresh_folder("process");
  double cpu = 0;
  for (auto _ : state) {
    const TChildRun run = run_child({BXF2_IMPORT_PROGRAM, "--version"}, {}, folder);
    if (run.status != 0) state.SkipWithError(("bxf2-import --version failed: " + run.err).c_str());
    cpu += run.cpu;
  }
  delete_folder(folder);
  state.counters["cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
}

// A host started with the import plug-in and Meshport, then shut down, as
// the program starts and ends one.
void host(benchmark::State& state) {
  for (auto _ : state) {
    CHost host;
    host.load_plugin(MESHPORT_MODULE);
    host.load_plugin(IMPORT_MODULE);
    host.shutdown();
  }
}

void extract(benchmark::State& state) {
  const TSample& s = sample(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    const std::string target = fresh_folder("extracted");
    state.ResumeTiming();
    extract_archive(s.archive, target);
    state.PauseTiming();
    delete_folder(target);
    state.ResumeTiming();
  }
  set_counters(state, s);
}

void convert(benchmark::State& state) {
  const TSample& s = sample(state.range(0));
  const std::string target = fresh_folder("converted");
  const double cpu_before = children_cpu();
  for (auto _ : state)
    if (convert_meshes(s.extracted + "/cadData", target) != s.counts.mesh_files)
      state.SkipWithError("a mesh did not convert");
  // The reader does the work; this process only waits.
  state.counters["readers_cpu_s"] = benchmark::Counter(children_cpu() - cpu_before, benchmark::Counter::kAvgIterations);
  state.counters["meshes"] = double(s.counts.mesh_files);
  delete_folder(target);
  set_counters(state, s);
}

void parse(benchmark::State& state) {
  const TSample& s = sample(state.range(0));
  for (auto _ : state) {
    std::unique_ptr<CBXF> doc(parse_file(s.extracted + "/" + archive_document_name));
    if (!doc || doc->lib()->parts()->count() != s.counts.parts) state.SkipWithError("read failed");
  }
  set_counters(state, s);
}

void bare_parse(benchmark::State& state) {
  const TSample& s = sample(state.range(0));
  for (auto _ : state) {
    if (bare_parse_bytes(s.document_bytes) < 0) state.SkipWithError("parse failed");
  }
  set_counters(state, s);
}

// Builds the document into a fresh host per iteration, made outside the
// timing; with `teardown`, times dropping the built host instead of the
// build. The builder's log goes to a file that must stay empty: every
// component finds its mesh.
void build_or_teardown(benchmark::State& state, bool teardown) {
  const TSample& s = sample(state.range(0));
  const std::string path = s.extracted + "/" + archive_document_name;
  std::unique_ptr<CBXF> doc(parse_file(path));
  const std::string log = fresh_folder("log") + "/import.log";
  ::setenv("BXF2_IMPORT_LOG", log.c_str(), 1);
  mesh_folder = s.extracted + "/cadData/";
  int64_t objects = 0, calls = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto host = std::make_unique<CHost>();
    const int64_t calls_before = THostFaults::calls();
    if (!teardown) state.ResumeTiming();
    import_document(doc.get(), host->application_interface(), path);
    if (!teardown) state.PauseTiming();
    calls = THostFaults::calls() - calls_before;
    objects = int64_t(host->project().objects().size());
    if (teardown) state.ResumeTiming();
    host.reset();
    if (!teardown) state.ResumeTiming();
  }
  ::unsetenv("BXF2_IMPORT_LOG");
  if (file_exists(log) && !read_file_bytes(log).empty())
    state.SkipWithError(("the builder left things out: " + read_file_bytes(log)).c_str());
  set_counters(state, s);
  state.counters["objects"] = double(objects);
  state.counters["host_calls"] = double(calls);
}

void build(benchmark::State& state) { build_or_teardown(state, false); }
void teardown(benchmark::State& state) { build_or_teardown(state, true); }

// The three sizes.
void sizes(benchmark::internal::Benchmark* b) {
  b->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(floor)->Apply(sizes)->Iterations(5);
BENCHMARK(program)->Apply(sizes)->Iterations(5);
BENCHMARK(output_json)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(output_glb)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(output_both)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(process)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(host)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(extract)->Apply(sizes)->Iterations(5);
BENCHMARK(convert)->Apply(sizes)->Iterations(5);
BENCHMARK(parse)->Apply(sizes)->Iterations(5);
BENCHMARK(bare_parse)->Apply(sizes)->Iterations(5);
BENCHMARK(build)->Apply(sizes)->Iterations(5);
BENCHMARK(teardown)->Apply(sizes)->Iterations(5);

// ---------------------------------------------------------------------------
// Summary
// ---------------------------------------------------------------------------

// Console output plus the summary tables at the end.
class TSummaryReporter : public benchmark::ConsoleReporter {
 public:
  TSummaryReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      const std::string& name = run.run_name.function_name;
      const int64_t size = run.run_name.args.empty() ? 0 : std::stoll(run.run_name.args);
      auto counter = [&](const char* key) {
        auto it = run.counters.find(key);
        return it == run.counters.end() ? 0.0 : double(it->second);
      };
      TFigure& f = _figures[{name, size}];
      f.wall = run.real_accumulated_time / double(run.iterations);
      f.cpu = run.cpu_accumulated_time / double(run.iterations);
      if (run.counters.count("cpu_s")) f.cpu = counter("cpu_s");  // a child process: its own CPU time
      if (name == "convert") f.cpu += counter("readers_cpu_s");
      f.command = counter("command_s");
      f.peak_mb = counter("max_rss_MB");
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::set<int64_t> sizes;
    for (const auto& [key, figure] : _figures)
      if (key.second > 0) sizes.insert(key.second);

    std::printf("\nThe program (no output) against its floor; ms of wall time (CPU time, children included):\n");
    std::printf("%9s %8s %8s %17s %17s %11s %10s %16s %14s %14s\n", "cabinets", "bxf2 KB", "zip KB", "floor", "program",
                "wall ratio", "cpu ratio", "cpu us/cabinet", "floor peak MB", "prog. peak MB");
    for (int64_t n : sizes) {
      const TFigure f = get("floor", n), p = get("program", n);
      if (!f.wall || !p.wall) continue;
      const TSample& s = sample(n);
      std::printf("%9lld %8.0f %8.0f %17s %17s %11.2f %10.2f %16.1f %14.0f %14.0f\n", (long long)n,
                  double(s.counts.bytes) / 1024, double(s.counts.archive_bytes) / 1024, cell(f).c_str(),
                  cell(p).c_str(), p.wall / f.wall, ratio(p.cpu, f.cpu), 1e6 * p.cpu / double(n), f.peak_mb, p.peak_mb);
    }

    std::printf("\nWhat each output costs; ms of wall time (CPU time), ratios to the program without output:\n");
    std::printf("%9s %8s %17s %11s %10s %9s %11s\n", "cabinets", "output", "program", "wall ratio", "cpu ratio",
                "peak MB", "peak ratio");
    for (int64_t n : sizes)
      for (const char* output : {"output_json", "output_glb", "output_both"}) {
        const TFigure o = get(output, n), p = get("program", n);
        if (!o.wall || !p.wall) continue;
        std::printf("%9lld %8s %17s %11.2f %10.2f %9.0f %11.2f\n", (long long)n, output + 7, cell(o).c_str(),
                    o.wall / p.wall, ratio(o.cpu, p.cpu), o.peak_mb, ratio(o.peak_mb, p.peak_mb));
      }

    std::printf("\nWhere the program's time goes (no output); ms of wall time (CPU time):\n");
    static const char* const parts[] = {"process", "host", "extract", "convert", "parse", "build", "teardown"};
    std::printf("%9s", "cabinets");
    for (const char* part : parts) std::printf(" %15s", part);
    std::printf(" %15s %15s %15s %9s\n", "sum", "program", "rest", "command");
    for (int64_t n : sizes) {
      const TFigure p = get("program", n);
      if (!p.wall) continue;
      TFigure sum;
      std::printf("%9lld", (long long)n);
      for (const char* part : parts) {
        const TFigure f = get(part, std::string(part) == "process" || std::string(part) == "host" ? 0 : n);
        sum.wall += f.wall;
        sum.cpu += f.cpu;
        std::printf(" %15s", cell(f).c_str());
      }
      TFigure rest{p.wall - sum.wall, p.cpu - sum.cpu};
      std::printf(" %15s %15s %15s %9.1f\n", cell(sum).c_str(), cell(p).c_str(), cell(rest).c_str(), p.command * 1e3);
    }
    std::printf("\nparse / bare parse (wall):");
    for (int64_t n : sizes)
      std::printf("  %lld: %.2f", (long long)n, ratio(get("parse", n).wall, get("bare_parse", n).wall));
    std::printf(
        "\n\nprocess: bxf2-import --version; host: a host started with both plug-ins and shut down; teardown: the\n"
        "built host destroyed; rest: the program less the parts before it; command: the import command's own\n"
        "time (the summary line). Peak: the process's peak resident memory, from /usr/bin/time.\n");
  }

 private:
  struct TFigure {
    double wall = 0, cpu = 0, command = 0, peak_mb = 0;
  };
  TFigure get(const std::string& name, int64_t size) const {
    auto it = _figures.find({name, size});
    return it == _figures.end() ? TFigure() : it->second;
  }
  static double ratio(double a, double b) { return b > 0 ? a / b : 0.0; }
  static std::string cell(const TFigure& f) { return fmt::format("{:.1f} ({:.1f})", f.wall * 1e3, f.cpu * 1e3); }

  std::map<std::pair<std::string, int64_t>, TFigure> _figures;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  int status = 0;
  try {
    TSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "import_e2e_bench: %s\n", e.what());
    status = 1;
  }
  benchmark::Shutdown();
  delete_folder(run_folder());
  return status;
}
