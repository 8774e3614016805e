// The whole import of generated archives of about 100 and 1 000 cabinets
// (bench.generator.h: a kitchen document with shared hardware and one COLLADA
// mesh per hardware model), in one run:
//   program     bxf2-import run as a user runs it, writing the project as
//               JSON, as a child process: wall time, CPU time and peak
//               resident memory from wait4(), and the import command's own
//               time as the program's summary line gives it
//   program_without_output  the same without -o
//   extract     the archive unpacked by extract_archive
//   convert     every cadData/*.dae converted by Meshport's convert_file, the
//               code behind the plug-in's ConvertFile (a forked reader each)
//   parse       parse_file on the extracted document
//   build       import_document into a fresh reference host, with the
//               converted meshes in mesh_folder
//   unzip       `unzip -q -o` of the same archive into a fresh folder, as a
//               child process
//   bare_parse  libxml2's streaming reader through the document's bytes, with
//               the DOM adaptor's options
// Wall time is the figure of every benchmark. The summary at the end sets the
// four stages against each other (shares of their sum) and their sum against
// the program, and gives the ratios program / unzip and parse / bare parse.
// Everything is written under one folder in the system's temporary folder,
// removed at the end.
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
#include <fstream>
#include <map>
#include <memory>
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

// Peak resident memory of Meshport's readers, probed once per sample.
struct TReaderPeak {
  double forking_mb = 0;  // resident memory of the process that forks them
  double peak_mb = 0;     // the largest reader's peak, the forked pages included
};

struct TSample {
  std::string archive;
  std::string document_bytes;  // the BXF2 text, for the bare parse
  std::string extracted;       // the archive extracted and its meshes converted
  TGeneratedCounts counts;
  TReaderPeak readers;
};

// Resident memory of this process in megabytes, from /proc.
double resident_mb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  return 0;
}

// Converts every .dae of `folder` into a .meb of the same name in
// `target_folder`; returns the number converted.
int convert_meshes(const std::string& folder, const std::string& target_folder) {
  int converted = 0;
  for (const std::string& mesh : list_files(folder, "*.dae")) {
    const std::string target = include_trailing_delimiter(target_folder) + change_file_ext(extract_file_name(mesh), ".meb");
    converted += convert_file(mesh, target, mesh_scale, mesh_mode);
  }
  return converted;
}

// Converts the meshes of `folder` in a forked process and reads the peak of
// its readers (its children) from getrusage(RUSAGE_CHILDREN). Each reader is
// a fork of the converting process, so its peak includes the pages it shares
// with it; the converting process is a fork of this one, as small as it is
// when the probe runs.
TReaderPeak probe_reader_peak(const std::string& folder) {
  TReaderPeak peak;
  int fds[2];
  if (::pipe(fds) != 0) return peak;
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    TReaderPeak child;
    child.forking_mb = resident_mb();
    const std::string scratch = fresh_folder("probe");
    convert_meshes(folder, scratch);
    delete_folder(scratch);
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    child.peak_mb = double(usage.ru_maxrss) / 1024.0;
    const ssize_t written = ::write(fds[1], &child, sizeof child);
    ::_exit(written == ssize_t(sizeof child) ? 0 : 1);
  }
  ::close(fds[1]);
  if (pid > 0 && ::read(fds[0], &peak, sizeof peak) != ssize_t(sizeof peak)) peak = {};
  ::close(fds[0]);
  if (pid > 0) ::waitpid(pid, nullptr, 0);
  return peak;
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
  s.readers = probe_reader_peak(meshes);
  return samples.emplace(cabinets, std::move(s)).first->second;
}

// ---------------------------------------------------------------------------
// Child processes
// ---------------------------------------------------------------------------

struct TChildRun {
  int status = -1;        // exit code; -1 when it did not exit normally
  double cpu = 0;         // user and system seconds, its reaped children included
  double max_rss_mb = 0;  // the largest peak among it and its reaped children
  std::string err;        // its standard error
};

// Runs `args` (args[0] is the program's path) with standard input from
// /dev/null and standard output and error into files of `folder`; `env` is
// added to this process's environment. Waits for it with wait4().
TChildRun run_child(const std::vector<std::string>& args, const std::vector<std::string>& env,
                    const std::string& folder) {
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
    run.err = fmt::format("{}: cannot start", args[0]);
    return run;
  }
  int status = 0;
  rusage usage{};
  while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  run.max_rss_mb = double(usage.ru_maxrss) / 1024.0;
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
  std::vector<std::string> args = {BXF2_IMPORT_PROGRAM, "-q", "--warning", "ok"};
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
  state.counters["reader_MB"] = s.readers.peak_mb;
  state.counters["reader_fork_MB"] = s.readers.forking_mb;
}

void program(benchmark::State& state) { run_program(state, {"x.json"}); }

// The same without writing the project: what writing the JSON file costs is
// the difference.
void program_without_output(benchmark::State& state) { run_program(state, {}); }

void unzip(benchmark::State& state) {
  const TSample& s = sample(state.range(0));
  const std::string folder = fresh_folder("unzip");
  double cpu = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::string target = fresh_folder("unzipped");
    state.ResumeTiming();
    const TChildRun run = run_child({"/usr/bin/unzip", "-q", "-o", s.archive, "-d", target}, {}, folder);
    state.PauseTiming();
    if (run.status != 0) state.SkipWithError(("unzip failed: " + run.err).c_str());
    cpu += run.cpu;
    delete_folder(target);
    state.ResumeTiming();
  }
  delete_folder(folder);
  set_counters(state, s);
  state.counters["cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
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
    if (convert_meshes(s.extracted + "/cadData", target) != s.counts.mesh_files) state.SkipWithError("a mesh did not convert");
  // The readers do the work; this process only waits.
  state.counters["readers_cpu_s"] =
      benchmark::Counter(children_cpu() - cpu_before, benchmark::Counter::kAvgIterations);
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

// A fresh host per iteration, made and dropped outside the timing. The
// builder's log goes to a file that must stay empty: every component finds
// its mesh.
void build(benchmark::State& state) {
  const TSample& s = sample(state.range(0));
  const std::string path = s.extracted + "/" + archive_document_name;
  std::unique_ptr<CBXF> doc(parse_file(path));
  const std::string log = fresh_folder("log") + "/import.log";
  ::setenv("BXF2_IMPORT_LOG", log.c_str(), 1);
  mesh_folder = s.extracted + "/cadData/";
  int64_t objects = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto host = std::make_unique<CHost>();
    state.ResumeTiming();
    import_document(doc.get(), host->application_interface(), path);
    state.PauseTiming();
    objects = int64_t(host->project().objects().size());
    host.reset();
    state.ResumeTiming();
  }
  ::unsetenv("BXF2_IMPORT_LOG");
  if (file_exists(log) && !read_file_bytes(log).empty())
    state.SkipWithError(("the builder left things out: " + read_file_bytes(log)).c_str());
  set_counters(state, s);
  state.counters["objects"] = double(objects);
}

BENCHMARK(program)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(10.0);
BENCHMARK(program_without_output)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);
BENCHMARK(unzip)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(extract)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(convert)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(parse)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(bare_parse)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(build)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

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
      Row& row = _rows[std::stoll(run.run_name.args)];
      const double wall = run.real_accumulated_time / double(run.iterations);
      const double cpu = run.cpu_accumulated_time / double(run.iterations);
      auto counter = [&](const char* key) {
        auto it = run.counters.find(key);
        return it == run.counters.end() ? 0.0 : double(it->second);
      };
      const std::string& name = run.run_name.function_name;
      row.wall[name] = wall;
      row.cpu[name] = cpu;
      if (name == "program" || name == "program_without_output") {
        row.cpu[name] = counter("cpu_s");
        row.wall[name + " command"] = counter("command_s");
      }
      if (name == "program") {
        row.max_rss = counter("max_rss_MB");
        row.reader = counter("reader_MB");
        row.reader_fork = counter("reader_fork_MB");
      } else if (name == "unzip") {
        row.cpu[name] = counter("cpu_s");
      } else if (name == "convert") {
        row.cpu[name] = cpu + counter("readers_cpu_s");
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    static const char* const stages[] = {"extract", "convert", "parse", "build"};
    std::printf("\nWall time in ms (CPU time in ms, the children's included):\n");
    std::printf("%9s %8s %8s %6s %17s %17s %9s %17s %15s %15s %15s %15s %15s %15s\n", "cabinets", "bxf2 KB", "zip KB",
                "meshes", "program", "without output", "command", "stages", "extract", "convert", "parse", "build",
                "unzip", "bare parse");
    for (const auto& [cabinets, r] : _rows) {
      const Row& row = r;  // lambdas below cannot capture a structured binding
      const TSample& s = sample(cabinets);
      auto cell = [&](const std::string& name) {
        return fmt::format("{:.1f} ({:.1f})", row.get(row.wall, name) * 1e3, row.get(row.cpu, name) * 1e3);
      };
      double sum = 0, sum_cpu = 0;
      for (const char* stage : stages) {
        sum += row.get(row.wall, stage);
        sum_cpu += row.get(row.cpu, stage);
      }
      std::printf("%9lld %8.0f %8.0f %6lld %17s %17s %9.1f %17s %15s %15s %15s %15s %15s %15s\n", (long long)cabinets,
                  double(s.counts.bytes) / 1024.0, double(s.counts.archive_bytes) / 1024.0,
                  (long long)s.counts.mesh_files, cell("program").c_str(), cell("program_without_output").c_str(),
                  row.get(row.wall, "program command") * 1e3,
                  fmt::format("{:.1f} ({:.1f})", sum * 1e3, sum_cpu * 1e3).c_str(), cell("extract").c_str(),
                  cell("convert").c_str(), cell("parse").c_str(), cell("build").c_str(), cell("unzip").c_str(),
                  cell("bare_parse").c_str());
    }
    std::printf("\nShares of the stages' wall time, and ratios of wall times:\n");
    std::printf("%9s %8s %8s %8s %8s %14s %15s %15s %16s %16s\n", "cabinets", "extract", "convert", "parse", "build",
                "stages/prog", "program/unzip", "extract/unzip", "parse/bare", "peak RSS MB");
    for (const auto& [cabinets, r] : _rows) {
      const Row& row = r;  // lambdas below cannot capture a structured binding
      double sum = 0;
      for (const char* stage : stages) sum += row.get(row.wall, stage);
      auto share = [&](const char* stage) { return sum > 0 ? 100.0 * row.get(row.wall, stage) / sum : 0.0; };
      auto ratio = [&](const char* a, const char* b) {
        const double d = row.get(row.wall, b);
        return d > 0 ? row.get(row.wall, a) / d : 0.0;
      };
      const double program = row.get(row.wall, "program");
      std::printf("%9lld %7.1f%% %7.1f%% %7.1f%% %7.1f%% %14.2f %15.1f %15.2f %16.2f %16s\n", (long long)cabinets,
                  share("extract"), share("convert"), share("parse"), share("build"), program > 0 ? sum / program : 0.0,
                  ratio("program", "unzip"), ratio("extract", "unzip"), ratio("parse", "bare_parse"),
                  fmt::format("{:.0f} / {:.0f}+{:.0f}", row.max_rss, row.reader_fork, row.reader - row.reader_fork)
                      .c_str());
    }
    std::printf(
        "\ncommand: the import command's own time inside the program (its summary line), in the run with output.\n"
        "peak RSS: the program's ru_maxrss from wait4() (the largest of the program and its reaped\n"
        "Meshport readers) / a reader's peak, probed apart: the forking process + what the reader adds.\n");
  }

 private:
  struct Row {
    std::map<std::string, double> wall, cpu;
    double max_rss = 0, reader = 0, reader_fork = 0;
    static double get(const std::map<std::string, double>& values, const std::string& name) {
      auto it = values.find(name);
      return it == values.end() ? 0.0 : it->second;
    }
  };
  std::map<int64_t, Row> _rows;
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
