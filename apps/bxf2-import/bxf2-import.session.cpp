#include "bxf2-import.session.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "bxf.config.h"
#include "bxf2-import.console.h"
#include "bxf2-import.inputs.h"
#include "bxf2-import.report.h"
#include "bxf2-import.summary.h"
#include "bxf2-import.tempfolder.h"
#include "hapi.plugins.h"
#include "host.application.h"
#include "host.export.h"
#include "platform.files.h"
#include "sysutils.h"
#include "uInterfacedObjects.h"

namespace {

// ---------------------------------------------------------------------------
// Finding the plug-ins
// ---------------------------------------------------------------------------

std::string first_holding(const std::vector<std::string>& folders, const char* file) {
  for (const std::string& folder : folders)
    if (!folder.empty() && file_exists(include_trailing_delimiter(folder) + file)) return folder;
  return {};
}

std::vector<std::string> program_folders(const std::string& program_path, const char* build_folder) {
  const std::string own = extract_file_dir(program_path);
  return {own, own + "/" + bxf_installed_plugin_dir, own + "/../../" + build_folder};
}

// ---------------------------------------------------------------------------
// Standard error, caught
// ---------------------------------------------------------------------------

// Sends what is written to file descriptor 2 into a temporary file until
// `release`, which restores it and returns the text. Module unload reports
// (leak reports) are written there.
class TCaughtStderr {
 public:
  TCaughtStderr() {
    _path = temp_folder() + "bxf2-import-" + guid_to_hex(new_guid()) + ".err";
    std::fflush(stderr);
    if (std::FILE* file = std::fopen(_path.c_str(), "w")) {
      _saved = ::dup(2);
      ::dup2(::fileno(file), 2);
      std::fclose(file);
    }
  }
  ~TCaughtStderr() { release(); }
  std::string release() {
    if (_saved < 0) return {};
    std::fflush(stderr);
    ::dup2(_saved, 2);
    ::close(_saved);
    _saved = -1;
    std::string text;
    try {
      text = read_file_bytes(_path);
    } catch (...) {  // also out of memory: `release` runs in the destructor
    }
    std::remove(_path.c_str());
    return text;
  }

 private:
  std::string _path;
  int _saved = -1;
};

// The plug-in's log: BXF2_IMPORT_LOG, pointed at a temporary file for the
// run unless the user set it.
class TPluginLog {
 public:
  TPluginLog() {
    if (const char* set = std::getenv("BXF2_IMPORT_LOG"); set && *set) return;
    _path = temp_folder() + "bxf2-import-" + guid_to_hex(new_guid()) + ".log";
    ::setenv("BXF2_IMPORT_LOG", _path.c_str(), 1);
  }
  ~TPluginLog() {
    if (_path.empty()) return;
    std::remove(_path.c_str());
    ::unsetenv("BXF2_IMPORT_LOG");
  }
  // What the plug-in logged ("" when the user's own log file is in use).
  std::string text() const {
    if (_path.empty() || !file_exists(_path)) return {};
    try {
      return read_file_bytes(_path);
    } catch (const Exception&) {
      return {};
    }
  }

 private:
  std::string _path;
};

bool is_leak_report(const std::string& text) { return text.find("are not destroyed") != std::string::npos; }

// ---------------------------------------------------------------------------
// Running out of memory
// ---------------------------------------------------------------------------

// Memory kept aside while the program runs: when an allocation fails for
// the first time it is given back, so that the failure can unwind, the
// plug-in can log it and the program can report it, where each needs a
// little memory. The allocation that failed still fails (std::bad_alloc),
// and the program knows that memory ran out, wherever that was.
class TMemoryReserve {
 public:
  TMemoryReserve() {
    _reserve = std::malloc(kSize);
    _previous = std::set_new_handler(on_failure);
  }
  ~TMemoryReserve() {
    std::set_new_handler(_previous);
    std::free(_reserve);
    _reserve = nullptr;
  }
  TMemoryReserve(const TMemoryReserve&) = delete;
  TMemoryReserve& operator=(const TMemoryReserve&) = delete;

  static bool ran_out() { return _ran_out; }

 private:
  static constexpr size_t kSize = size_t(16) << 20;

  static void on_failure() {
    _ran_out = true;
    std::free(_reserve);
    _reserve = nullptr;
    throw std::bad_alloc();
  }

  static inline void* _reserve = nullptr;
  static inline bool _ran_out = false;
  std::new_handler _previous = nullptr;
};

// ---------------------------------------------------------------------------
// A second Ctrl-C
// ---------------------------------------------------------------------------

// The run's temporary folder, for the end of a run that is stopped again
// while the stop is under way: its helper deletes it, then the program ends
// with the status of the interrupt, writing nothing.
std::atomic<CRunFolder*> g_run_folder{nullptr};

void end_at_once() noexcept {
  constexpr char text[] = "\nbxf2-import: interrupted, nothing written\n";
  if (CRunFolder* folder = g_run_folder.load()) folder->delete_now();
  [[maybe_unused]] const ssize_t written = ::write(2, text, sizeof text - 1);
  _exit(interrupted_status());
}

void stop_the_host() noexcept { THostStop::request(); }

// ---------------------------------------------------------------------------
// The desktop's debug output
// ---------------------------------------------------------------------------

// What the modules send to the desktop's debug output (platform.debug) while
// the command runs: what the plug-in itself only sees as a failure, such as
// the XML parser's reason for a file that did not load. Shown beside the
// plug-in's reason when the import fails.
std::vector<std::string> g_debug_output;

}  // namespace

extern "C" __attribute__((visibility("default"))) void bxf_desktop_debug_output(const char* text) {
  try {
    g_debug_output.emplace_back(text ? text : "");
  } catch (...) {
  }
}

namespace {

// ---------------------------------------------------------------------------
// The run
// ---------------------------------------------------------------------------

class TImportRun {
 public:
  TImportRun(const TImportOptions& options, const std::string& program_path, std::ostream& out, std::ostream& err)
      : _options(options), _program_path(program_path), _out(out), _err(err) {}

  int run() {
    const bool interactive = _options.interactive;
    if (interactive && !has_terminal()) {
      _err << "bxf2-import: --interactive: there is no terminal to ask on\n";
      return exit_usage;
    }
    for (const TOutput& output : _options.outputs)
      if (output.path == standard_output_name && output.format == TOutputFormat::glb && ::isatty(1)) {
        _err << "bxf2-import: --output -: standard output is a terminal; glTF binary goes to a file or a pipe\n";
        return exit_usage;
      }
    const std::string plugin_dir =
        _options.plugin_dir.empty() ? default_plugin_dir(_program_path) : _options.plugin_dir;
    const std::string plugin = include_trailing_delimiter(plugin_dir) + import_plugin_file;
    if (plugin_dir.empty() || !file_exists(plugin)) {
      _err << (plugin_dir.empty()
                   ? fmt::format("bxf2-import: {} not found beside the program; use --plugin-dir\n", import_plugin_file)
                   : fmt::format("bxf2-import: {} not found\n", printable_text(plugin)));
      return exit_failure;
    }
    std::string meshport;
    if (!_options.without_meshport) {
      meshport = find_meshport(_program_path, plugin_dir);
      if (meshport.empty()) {
        _err << fmt::format("bxf2-import: {} not found; use --without-meshport to start the host without it\n",
                            meshport_plugin_file);
        return exit_failure;
      }
      meshport = include_trailing_delimiter(meshport) + meshport_plugin_file;
    }

    // Before anything runs: what the chosen files say of themselves.
    CChosenFiles files(_options.files);
    for (const std::string& line : files.warnings()) _err << line << '\n';

    // A write over the file-size limit fails like any other write.
    ::signal(SIGXFSZ, SIG_IGN);
    TMemoryReserve reserve;
    int status = exit_failure;
    try {
      status = with_run_folder(plugin, meshport, interactive, files);
    } catch (const std::bad_alloc&) {
      _err << "bxf2-import: out of memory\n";
      status = exit_failure;
    }
    // This program's own objects are reported when it ends (the support
    // library's module-wide settings live until then).
    return stop_requested() ? interrupted_status() : status;
  }

 private:
  // Runs the host with everything temporary below the run's own folder: the
  // plug-in makes its temporary folder in the folder TMPDIR names.
  int with_run_folder(const std::string& plugin, const std::string& meshport, bool interactive, CChosenFiles& files) {
    std::unique_ptr<CRunFolder> folder;
    try {
      folder = CRunFolder::create();
    } catch (const EFileError&) {
      // The plug-in finds the temporary folder unusable too, and the
      // failure report says why.
    }
    const char* old_tmpdir = std::getenv("TMPDIR");
    const std::optional<std::string> saved = old_tmpdir ? std::optional<std::string>(old_tmpdir) : std::nullopt;
    if (folder) ::setenv("TMPDIR", folder->path().c_str(), 1);
    g_run_folder = folder.get();
    files.set_temp_prefix(temp_folder());

    lend_presenter(_options.warning, _options.files, interactive, _options.quiet, _err);
    int status = exit_failure;
    try {
      TPluginLog log;
      status = with_host(plugin, meshport, log, files);
    } catch (...) {
      withdraw_presenter();
      g_run_folder = nullptr;
      throw;
    }
    withdraw_presenter();
    g_run_folder = nullptr;
    if (saved)
      ::setenv("TMPDIR", saved->c_str(), 1);
    else
      ::unsetenv("TMPDIR");
    return status;
  }

  int with_host(const std::string& plugin, const std::string& meshport, const TPluginLog& log, CChosenFiles& files) {
    int status = exit_failure;
    std::optional<CHost> host;
    host.emplace();
    // The plug-in's messages are printed with the program's name.
    host->application().set_print_messages(false);
    host->project().set_max_objects(_options.max_objects);
    const auto& center = _options.placement_center;
    host->project().set_placement_center(float3{center[0], center[1], center[2]});
    try {
      if (!meshport.empty()) host->load_plugin(meshport);
      host->load_plugin(plugin);
      status = import(*host, log, files);
    } catch (const Exception& e) {
      _err << "bxf2-import: " << printable_text(e.message()) << '\n';
    } catch (const std::bad_alloc&) {
      _err << "bxf2-import: out of memory\n";
    }

    // done, release, unload; the modules' leak reports come on standard error.
    TCaughtStderr caught;
    std::vector<std::string> failures = host->shutdown();
    host.reset();
    const std::string unload_text = caught.release();
    _err << unload_text;
    for (const std::string& failure : failures) {
      _err << "bxf2-import: shutting down: " << failure << '\n';
      status = exit_failure;
    }
    if (is_leak_report(unload_text)) {
      _err << "bxf2-import: a plug-in left objects alive at unload\n";
      status = exit_failure;
    }
    return status;
  }

  int import(CHost& host, const TPluginLog& log, CChosenFiles& files) {
    TRef<IImportPlugin> command;
    for (const TRef<CPluginEntry>& entry : host.plugins().entries())
      if (extract_file_name(entry->path()) == import_plugin_file && entry->instance())
        command = TRef<IUnknown>(entry->instance()).query<IImportPlugin>();
    if (!command) {
      _err << fmt::format("bxf2-import: {} offers no import command\n", import_plugin_file);
      return exit_failure;
    }

    CProgressView view(_err, progress_style(_options.quiet, ::isatty(2) != 0), terminal_width(2));
    host.main_window().set_proceed_handler([&](const TProgressState& state) {
      view.set_max(state.max);
      view.set_position(state.position);
      view.set_text(state.text);
      return !stop_requested();
    });

    // Ctrl-C or SIGTERM: the host refuses every further call and answers
    // the next question with "stop"; a second one ends the run at once.
    install_stop_handler();
    set_stop_actions(stop_the_host, g_run_folder.load() ? end_at_once : nullptr);
    if (stop_requested()) stop_the_host();
    g_debug_output.clear();
    const auto start = std::chrono::steady_clock::now();
    const HRESULT result = command->execute(0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    set_stop_actions(nullptr, nullptr);
    THostStop::clear();
    view.finish();
    host.main_window().set_proceed_handler(nullptr);
    command = nullptr;
    // Files chosen on the terminal are named as typed, like FILEs.
    files.add(presenter_typed_files());
    for (const THostMessage& message : host.application().messages())
      _err << "bxf2-import: " << printable_text(message.text) << '\n';

    if (stop_requested()) {
      _err << "bxf2-import: interrupted, nothing written\n";
      return interrupted_status();
    }
    const std::string logged = log.text();
    if (failed(result)) {
      TImportFailure failure;
      failure.result = result;
      if (!host.main_window().texts().empty()) failure.last_step = host.main_window().texts().back();
      // What the builder left out of the files before comes first.
      const auto [left_out, reason] = split_failure_log(logged);
      for (const std::string& line : skipped_lines(left_out, g_debug_output, files)) _err << line << '\n';
      failure.logged = reason;
      failure.out_of_memory = TMemoryReserve::ran_out();
      failure.objects = host.project().object_count();
      failure.max_objects = host.project().max_objects();
      failure.debug_output = g_debug_output;
      failure.files = &files;
      if (failed_command_check(logged)) failure.temp_folder_problem = folder_problem(temp_folder());
      for (const std::string& line : failure_lines(failure)) _err << line << '\n';
      return exit_failure;
    }
    // The user answered the warning or the file dialog so that nothing runs.
    if (const std::optional<std::string> cancel = presenter_cancel()) {
      _err << "bxf2-import: cancelled: " << *cancel << "; nothing imported, nothing written\n";
      return exit_failure;
    }
    // What the import left out, also when quiet: a user's own log keeps it.
    for (const std::string& line : skipped_lines(logged, g_debug_output, files)) _err << line << '\n';

    const TProjectCounts counts = count_objects(host.project());
    const TExportOptions export_options = {
        .json_layout = _options.compact ? TJsonLayout::compact : TJsonLayout::readable,
        .picture = picture_options(counts),
    };
    int status = exit_success;
    bool to_standard_output = false;
    for (const TOutput& output : _options.outputs) {
      // A stop while the outputs are written lets the one being written
      // finish (it replaces its file whole) and writes no further one.
      if (stop_requested()) break;
      // Standard output gets the file once it is whole.
      const bool standard_output = output.path == standard_output_name;
      to_standard_output = to_standard_output || standard_output;
      const std::string path = standard_output ? standard_output_file(output) : output.path;
      try {
        write_project(host.project(), path, export_options);
        if (standard_output) copy_to_standard_output(path);
      } catch (const Exception& e) {
        _err << "bxf2-import: " << printable_text(e.message()) << '\n';
        status = exit_failure;
      } catch (const std::bad_alloc&) {
        _err << "bxf2-import: " << printable_text(output.path) << ": out of memory\n";
        status = exit_failure;
      }
      if (standard_output) std::remove(path.c_str());
    }
    if (stop_requested()) {
      _err << "bxf2-import: interrupted while writing the outputs\n";
      return interrupted_status();
    }
    if (!_options.quiet) {
      // Standard output may carry the project itself.
      if (to_standard_output)
        _err << "bxf2-import: " << summary_text(counts, seconds) << '\n';
      else
        _out << summary_text(counts, seconds) << '\n';
    }
    return status;
  }

  // Where the project for standard output is written first: in the run's
  // temporary folder.
  static std::string standard_output_file(const TOutput& output) {
    return temp_folder() + "bxf2-import-stdout-" + guid_to_hex(new_guid()) +
           (output.format == TOutputFormat::glb ? ".glb" : ".json");
  }

  void copy_to_standard_output(const std::string& path) {
    const std::string bytes = read_file_bytes(path);
    _out.write(bytes.data(), std::streamsize(bytes.size()));
    _out.flush();
    if (!_out) throw EFileError("standard output: the project cannot be written");
  }

  // What a picture of the project says: the names of the imported files and
  // what the project holds.
  TPictureOptions picture_options(const TProjectCounts& counts) const {
    TPictureOptions picture;
    for (const std::string& file : _options.files)
      picture.title += (picture.title.empty() ? "" : ", ") + extract_file_name(file);
    picture.subtitle = counts_text(counts);
    return picture;
  }

  const TImportOptions& _options;
  std::string _program_path;
  std::ostream& _out;
  std::ostream& _err;
};

}  // namespace

bool has_terminal() {
  const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

std::string default_plugin_dir(const std::string& program_path) {
  return first_holding(program_folders(program_path, "plugins/import.bxf2"), import_plugin_file);
}

std::string find_meshport(const std::string& program_path, const std::string& plugin_dir) {
  std::vector<std::string> folders{plugin_dir};
  for (std::string& folder : program_folders(program_path, "host/meshport")) folders.push_back(std::move(folder));
  return first_holding(folders, meshport_plugin_file);
}

int run_import(const TImportOptions& options, const std::string& program_path, std::ostream& out, std::ostream& err) {
  return TImportRun(options, program_path, out, err).run();
}
