#include "meshport.convert.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <system_error>
#include <unordered_map>

#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <fmt/format.h>
#include <assimp/Importer.hpp>

#include "platform.files.h"
#include "sysutils.h"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const std::string& source, std::string_view reason) {
  throw EMeshport(fmt::format("Meshport: cannot convert \"{}\": {}", source, reason));
}

// ---------------------------------------------------------------------------
// Arguments
// ---------------------------------------------------------------------------

// Checks what can be checked without reading the source.
void check_arguments(const std::string& source, double scale, uint8_t mode) {
  if (mode != kMeshportFlat && mode != kMeshportSingle && mode != kMeshportTree)
    fail(source, fmt::format("unknown mode {} (0, 1 or 2)", mode));
  if (!std::isfinite(scale) || scale <= 0) fail(source, fmt::format("scale {} is not a positive number", scale));
  std::error_code ec;
  const fs::path path(source);
  if (!fs::exists(path, ec)) fail(source, "file not found");
  if (!fs::is_regular_file(path, ec)) fail(source, "not a file");
  const uintmax_t size = fs::file_size(path, ec);
  if (ec) fail(source, "cannot be opened");
  if (size == 0) fail(source, "empty file");
  if (size > kMeshportMaxSourceSize)
    fail(source, fmt::format("too large ({} bytes, at most {})", size, kMeshportMaxSourceSize));
}

// ---------------------------------------------------------------------------
// Names
// ---------------------------------------------------------------------------

// `name` as a valid mesh file name: invalid UTF-8 bytes become '?', and the
// text is cut at a character boundary to the longest allowed length. Names
// the reader made up for unnamed nodes become empty.
std::string clean_name(std::string_view name) {
  std::string out;
  if (name.starts_with("$ColladaAutoName$")) return out;
  size_t i = 0;
  while (i < name.size()) {
    const auto b = uint8_t(name[i]);
    size_t n = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : 4;
    bool ok = n < 4 && name.size() - i > n;
    uint32_t cp = n == 0 ? b : n == 1 ? b & 0x1F : n == 2 ? b & 0x0F : b & 0x07;
    for (size_t k = 1; ok && k <= n; ++k) {
      const auto c = uint8_t(name[i + k]);
      ok = (c & 0xC0) == 0x80;
      cp = (cp << 6) | (c & 0x3F);
    }
    constexpr uint32_t kMinForLength[4] = {0, 0x80, 0x800, 0x10000};
    ok = ok && cp >= kMinForLength[n] && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
    const size_t length = ok ? n + 1 : 1;
    if (out.size() + length > kMebMaxNameLength) break;
    if (ok)
      out.append(name.substr(i, length));
    else
      out.push_back('?');
    i += length;
  }
  return out;
}

// ---------------------------------------------------------------------------
// Geometry
// ---------------------------------------------------------------------------

// A 4 x 4 matrix in double precision, row-major, for column vectors.
struct TMatrix {
  std::array<double, 16> m;

  static TMatrix from(const aiMatrix4x4& a) {
    return {{a.a1, a.a2, a.a3, a.a4, a.b1, a.b2, a.b3, a.b4, a.c1, a.c2, a.c3, a.c4, a.d1, a.d2, a.d3, a.d4}};
  }
  static TMatrix scaling(double s) { return {{s, 0, 0, 0, 0, s, 0, 0, 0, 0, s, 0, 0, 0, 0, 1}}; }

  // this × b: b acts first.
  TMatrix operator*(const TMatrix& b) const {
    TMatrix r{};
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) {
        double s = 0;
        for (int k = 0; k < 4; ++k) s += m[size_t(i * 4 + k)] * b.m[size_t(k * 4 + j)];
        r.m[size_t(i * 4 + j)] = s;
      }
    return r;
  }
};

// Collects the triangles of one output mesh, in metres, with identical
// positions shared.
class TMeshBuilder {
 public:
  TMeshBuilder(const std::string& source, std::string name) : _source(source) { _node.name = std::move(name); }

  void add(const aiMesh& mesh, const TMatrix& world) {
    std::vector<uint32_t> slot(mesh.mNumVertices, UINT32_MAX);
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
      const aiFace& face = mesh.mFaces[f];
      if (face.mNumIndices != 3) continue;  // points and lines carry no surface
      for (unsigned k = 0; k < 3; ++k) {
        const unsigned index = face.mIndices[k];
        if (index >= mesh.mNumVertices) fail(_source, fmt::format("vertex index out of range in \"{}\"", _node.name));
        if (slot[index] == UINT32_MAX) slot[index] = vertex(mesh.mVertices[index], world);
        _node.indices.push_back(slot[index]);
      }
    }
  }

  // The mesh node, or nothing when no triangle was added.
  std::optional<TMebNode> take() {
    if (_node.indices.empty()) return std::nullopt;
    return std::move(_node);
  }

 private:
  const std::string& _source;
  TMebNode _node;
  std::unordered_map<uint64_t, std::vector<uint32_t>> _by_hash;

  uint32_t vertex(const aiVector3D& p, const TMatrix& w) {
    const double x = p.x, y = p.y, z = p.z;
    const auto& m = w.m;
    TMebVertex v{float(m[0] * x + m[1] * y + m[2] * z + m[3]), float(m[4] * x + m[5] * y + m[6] * z + m[7]),
                 float(m[8] * x + m[9] * y + m[10] * z + m[11])};
    if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z))
      fail(_source, fmt::format("non-finite coordinate in \"{}\"", _node.name));
    // +0 and -0 are one position.
    v.x += 0.0f, v.y += 0.0f, v.z += 0.0f;
    const uint64_t hash = (uint64_t(std::bit_cast<uint32_t>(v.x)) * 0x9E3779B97F4A7C15ull) ^
                          (uint64_t(std::bit_cast<uint32_t>(v.y)) * 0xC2B2AE3D27D4EB4Full) ^
                          std::bit_cast<uint32_t>(v.z);
    std::vector<uint32_t>& same_hash = _by_hash[hash];
    for (uint32_t i : same_hash) {
      const TMebVertex& o = _node.vertices[i];
      if (o.x == v.x && o.y == v.y && o.z == v.z) return i;
    }
    if (_node.vertices.size() >= UINT32_MAX) fail(_source, fmt::format("too many vertices in \"{}\"", _node.name));
    same_hash.push_back(uint32_t(_node.vertices.size()));
    _node.vertices.push_back(v);
    return same_hash.back();
  }
};

// ---------------------------------------------------------------------------
// Scene walk
// ---------------------------------------------------------------------------

class TSceneConverter {
 public:
  TSceneConverter(const std::string& source, const aiScene& scene, uint8_t mode, const TMatrix& to_metres)
      : _source(source), _scene(scene), _mode(mode), _to_metres(to_metres) {}

  TMebFile run() {
    TMebFile file;
    const aiNode* root = _scene.mRootNode;
    if (!root) return file;
    const TMatrix world = _to_metres * TMatrix::from(root->mTransformation);
    if (_mode == kMeshportSingle) {
      TMeshBuilder all(_source, clean_name(fs::path(_source).stem().string()));
      collect(*root, world, all);
      if (auto mesh = all.take()) file.objects.push_back(std::move(*mesh));
      return file;
    }
    // The root stands for the scene: its meshes and children are the
    // top-level objects.
    if (auto mesh = node_mesh(*root, world)) file.objects.push_back(std::move(*mesh));
    add_nodes(*root, world, file.objects);
    return file;
  }

 private:
  const std::string& _source;
  const aiScene& _scene;
  uint8_t _mode;
  TMatrix _to_metres;

  void check_depth(int depth) {
    if (depth > kMeshportMaxDepth) fail(_source, fmt::format("nodes nested deeper than {} levels", kMeshportMaxDepth));
  }

  const aiMesh& mesh_of(const aiNode& node, unsigned i) {
    const unsigned index = node.mMeshes[i];
    if (index >= _scene.mNumMeshes || !_scene.mMeshes[index]) fail(_source, "mesh index out of range");
    return *_scene.mMeshes[index];
  }

  // The node's own meshes as one mesh object.
  std::optional<TMebNode> node_mesh(const aiNode& node, const TMatrix& world) {
    std::string name = clean_name(node.mName.C_Str());
    for (unsigned i = 0; name.empty() && i < node.mNumMeshes; ++i) name = clean_name(mesh_of(node, i).mName.C_Str());
    TMeshBuilder builder(_source, name.empty() ? "mesh" : name);
    for (unsigned i = 0; i < node.mNumMeshes; ++i) builder.add(mesh_of(node, i), world);
    return builder.take();
  }

  // Adds what the descendants of `root` hold to `out`, depth first: in the
  // tree mode a node whose children hold triangles becomes a group (its own
  // meshes first), any other node its mesh object; in the flat mode every
  // node its mesh object. Real models nest deeply, so the walk keeps its
  // path in a list instead of recursing.
  void add_nodes(const aiNode& root, const TMatrix& root_world, std::vector<TMebNode>& out) {
    struct TVisit {
      const aiNode* node;
      TMatrix world;
      std::optional<TMebNode> mesh;    // tree mode: the node's own meshes
      std::vector<TMebNode> children;  // tree mode: what its children made
      unsigned next = 0;               // the next child to visit
    };
    std::vector<TVisit> path;  // `root`, then each node down to the one visited
    path.push_back({&root, root_world, std::nullopt, {}, 0});
    for (;;) {
      TVisit& visit = path.back();
      if (visit.next < visit.node->mNumChildren) {
        const aiNode& child = *visit.node->mChildren[visit.next++];
        check_depth(int(path.size()));
        const TMatrix world = visit.world * TMatrix::from(child.mTransformation);
        std::optional<TMebNode> mesh = node_mesh(child, world);
        if (_mode == kMeshportFlat && mesh) {
          out.push_back(std::move(*mesh));
          mesh.reset();
        }
        path.push_back({&child, world, std::move(mesh), {}, 0});
        continue;
      }
      if (path.size() == 1) return;
      TVisit done = std::move(path.back());
      path.pop_back();
      std::vector<TMebNode>& parent_out = path.size() == 1 ? out : path.back().children;
      if (done.children.empty()) {
        if (done.mesh) parent_out.push_back(std::move(*done.mesh));
        continue;
      }
      TMebNode group;
      group.name = clean_name(done.node->mName.C_Str());
      group.is_group = true;
      if (done.mesh) group.children.push_back(std::move(*done.mesh));
      for (TMebNode& child : done.children) group.children.push_back(std::move(child));
      parent_out.push_back(std::move(group));
    }
  }

  // Adds the meshes of `root` and its descendants to `builder`, depth first
  // (without recursion, as above).
  void collect(const aiNode& root, const TMatrix& root_world, TMeshBuilder& builder) {
    struct TVisit {
      const aiNode* node;
      TMatrix world;
      int depth;
    };
    std::vector<TVisit> pending{{&root, root_world, 0}};
    while (!pending.empty()) {
      const TVisit visit = std::move(pending.back());
      pending.pop_back();
      check_depth(visit.depth);
      const aiNode& node = *visit.node;
      for (unsigned i = 0; i < node.mNumMeshes; ++i) builder.add(mesh_of(node, i), visit.world);
      for (unsigned i = node.mNumChildren; i-- > 0;) {
        const aiNode& child = *node.mChildren[i];
        pending.push_back({&child, visit.world * TMatrix::from(child.mTransformation), visit.depth + 1});
      }
    }
  }
};

// True for the formats whose files state their length unit (assimp's COLLADA
// reader applies `<unit>` itself) or have a fixed one (glTF: metres).
bool states_its_unit(const aiScene& scene) {
  aiString format;
  if (!scene.mMetaData || !scene.mMetaData->Get("SourceAsset_Format", format)) return false;
  const std::string_view name = format.C_Str();
  return name.find("Collada") != std::string_view::npos || name.find("glTF") != std::string_view::npos;
}

// ---------------------------------------------------------------------------
// Child process
// ---------------------------------------------------------------------------

void write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text.remove_prefix(size_t(n));
  }
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

// What the child sends through the pipe when its work is done; on a failure
// it sends the message instead. The outcome does not rest on the exit
// status, which a host that ignores SIGCHLD never sees.
constexpr std::string_view kChildDone = "\x01done";

// Sets up a freshly forked reader: it ends with the host, and on Ctrl-C and
// SIGTERM as a program does (the host's own handlers, inherited with the
// fork, are not its), and a hostile source must not take the machine's
// memory (4 GiB).
void become_reader(pid_t host) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != host) _exit(1);
  for (int sig : {SIGINT, SIGTERM, SIGALRM, SIGPIPE}) signal(sig, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  if (!kAddressSanitizer) {
    const rlimit limit{rlim_t(4) << 30, rlim_t(4) << 30};
    setrlimit(RLIMIT_AS, &limit);
  }
}

// Runs `work` within the time limit; kChildDone, or the reason it failed.
std::string run_work(const std::string& source, const std::function<void()>& work) {
  alarm(kMeshportTimeLimit);
  std::string report;
  try {
    work();
    report = kChildDone;
  } catch (const Exception& e) {
    report = e.message();
  } catch (const std::bad_alloc&) {
    report = fmt::format("Meshport: cannot convert \"{}\": out of memory", source);
  } catch (const std::exception& e) {
    report = fmt::format("Meshport: cannot convert \"{}\": {}", source, e.what());
  } catch (...) {
    report = fmt::format("Meshport: cannot convert \"{}\": unexpected error", source);
  }
  alarm(0);
  return report;
}

// The child's side: run `work`, report through `fd`.
[[noreturn]] void run_child(int fd, pid_t host, const std::string& source, const std::function<void()>& work) {
  become_reader(host);
  const std::string report = run_work(source, work);
  write_all(fd, report);
  ::close(fd);
  _exit(report == kChildDone ? 0 : 1);
}

// Blocks SIGINT and SIGTERM in the calling thread while it lives, and tells
// whether one of them has come meanwhile. When it goes, the signals that
// came are delivered to the host as usual.
class TStopSignals {
 public:
  TStopSignals() {
    sigemptyset(&_stops);
    sigaddset(&_stops, SIGINT);
    sigaddset(&_stops, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &_stops, &_saved);
    _fd = ::signalfd(-1, &_stops, SFD_CLOEXEC | SFD_NONBLOCK);
  }
  ~TStopSignals() {
    if (_fd >= 0) ::close(_fd);
    pthread_sigmask(SIG_SETMASK, &_saved, nullptr);
  }
  TStopSignals(const TStopSignals&) = delete;
  TStopSignals& operator=(const TStopSignals&) = delete;

  // Readable while a stop signal is pending (-1 when the system gave none).
  int fd() const { return _fd; }
  // The pending stop signal, 0 when none is.
  int pending() const {
    sigset_t pending;
    if (sigpending(&pending) != 0) return 0;
    for (int sig : {SIGINT, SIGTERM})
      if (sigismember(&pending, sig) == 1) return sig;
    return 0;
  }

 private:
  sigset_t _stops;
  sigset_t _saved;
  int _fd = -1;
};

// Why a conversion stopped when the host got `signal`.
std::string stopped_reason(const std::string& source, int signal) {
  return fmt::format("Meshport: cannot convert \"{}\": stopped (the host got signal {})", source, signal);
}

// Why a reader ended without a report: from its wait status `status` when
// `reaped`, else (a host that ignores SIGCHLD reaps nothing) in general.
std::string ended_reason(const std::string& source, bool reaped, int status) {
  if (!reaped) return fmt::format("Meshport: cannot convert \"{}\": the reader stopped", source);
  if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM)
    return fmt::format("Meshport: cannot convert \"{}\": the reader took longer than {} seconds", source,
                       kMeshportTimeLimit);
  if (WIFSIGNALED(status))
    return fmt::format("Meshport: cannot convert \"{}\": the reader stopped with signal {}", source, WTERMSIG(status));
  return fmt::format("Meshport: cannot convert \"{}\": the reader stopped with exit code {}", source,
                     WEXITSTATUS(status));
}

// Waits for the child `pid`; true when it was reaped, with its status.
bool reap(pid_t pid, int& status) {
  pid_t waited;
  while ((waited = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
  }
  return waited == pid;
}

// Says why a conversion failed (standard error, `message`) and removes what
// the reader `pid` may have left half-written beside `target`; false.
bool report_failure(const std::string& target, pid_t pid, const std::string& error, std::string* message) {
  // A reader ended while writing leaves its unfinished file behind.
  if (pid > 0) remove_partial_writes(target, long(pid));
  const std::string line = printable_text(error) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  if (message) *message = error;
  return false;
}

// Reads what the reader `pid` sends on `fd` into `buffer` until
// `report(buffer, ended)` gives its report, or until the reader closes its
// end (`ended`). A stop signal to the host meanwhile ends the reader at once
// (SIGKILL) and is kept in `stopped_by`; what the reader sent before it
// still counts.
template <class Report>
std::optional<std::string> await_report(int fd, pid_t pid, const TStopSignals& stops, int& stopped_by,
                                        Report&& report) {
  std::string buffer;
  char chunk[4096];
  for (;;) {
    pollfd wait[2] = {{fd, POLLIN, 0}, {stops.fd(), POLLIN, 0}};
    const nfds_t count = stopped_by != 0 || stops.fd() < 0 ? 1 : 2;
    if (::poll(wait, count, -1) < 0) {
      if (errno == EINTR) continue;
      return report(buffer, true);
    }
    if (count == 2 && (wait[1].revents & POLLIN) && (stopped_by = stops.pending()) != 0) {
      ::kill(pid, SIGKILL);  // its end closes with it
      continue;
    }
    if (!(wait[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return report(buffer, true);
    buffer.append(chunk, size_t(n));
    if (std::optional<std::string> whole = report(buffer, false)) return whole;
  }
}

// ---------------------------------------------------------------------------
// The reader of a run
// ---------------------------------------------------------------------------

// One conversion asked of the run's reader.
struct TConversion {
  std::string source;
  std::string target;
  double scale = 0;
  uint8_t mode = 0;
};

void convert_in_reader(const TConversion& c) {
  const TMebFile file = convert_scene(c.source, c.scale, c.mode);
  try {
    // A conversion is a file the run makes for itself: replaced whole, not
    // flushed to the disk.
    write_meb(c.target, file, TFileDurability::scratch);
  } catch (const EMebFormat& e) {
    fail(c.source, e.message());
  }
}

// Requests and reports between the host and its reader are frames: the
// length (4 bytes, the host's order), then the bytes.
bool send_frame(int fd, std::string_view bytes) {
  const auto length = uint32_t(bytes.size());
  std::string frame(reinterpret_cast<const char*>(&length), sizeof length);
  frame.append(bytes);
  std::string_view rest = frame;
  while (!rest.empty()) {
    // A reader that went away must not stop the host with SIGPIPE.
    const ssize_t n = ::send(fd, rest.data(), rest.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    rest.remove_prefix(size_t(n));
  }
  return true;
}

// The bytes of a whole frame at the start of `buffer` (taking them out of
// it), or nothing while it is not whole.
std::optional<std::string> take_frame(std::string& buffer) {
  uint32_t length = 0;
  if (buffer.size() < sizeof length) return std::nullopt;
  std::memcpy(&length, buffer.data(), sizeof length);
  if (buffer.size() - sizeof length < length) return std::nullopt;
  std::string frame = buffer.substr(sizeof length, length);
  buffer.erase(0, sizeof length + length);
  return frame;
}

std::string encode(const TConversion& c) {
  std::string bytes(reinterpret_cast<const char*>(&c.scale), sizeof c.scale);
  bytes += char(c.mode);
  const auto length = uint32_t(c.source.size());
  bytes.append(reinterpret_cast<const char*>(&length), sizeof length);
  bytes += c.source;
  bytes += c.target;
  return bytes;
}

TConversion decode(std::string_view bytes) {
  TConversion c;
  uint32_t length = 0;
  if (bytes.size() < sizeof c.scale + 1 + sizeof length) _exit(1);
  std::memcpy(&c.scale, bytes.data(), sizeof c.scale);
  c.mode = uint8_t(bytes[sizeof c.scale]);
  std::memcpy(&length, bytes.data() + sizeof c.scale + 1, sizeof length);
  bytes.remove_prefix(sizeof c.scale + 1 + sizeof length);
  if (bytes.size() < length) _exit(1);
  c.source = bytes.substr(0, length);
  c.target = bytes.substr(length);
  return c;
}

// The reader's side: converts what the host asks, one file at a time, each
// within the time limit, until the host closes its end.
[[noreturn]] void serve_conversions(int fd, pid_t host) {
  become_reader(host);
  std::string buffer;
  char chunk[4096];
  for (;;) {
    std::optional<std::string> request = take_frame(buffer);
    if (!request) {
      const ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) _exit(0);
      buffer.append(chunk, size_t(n));
      continue;
    }
    const TConversion c = decode(*request);
    if (!send_frame(fd, run_work(c.source, [&] { convert_in_reader(c); }))) _exit(1);
  }
}

// Starts a reader process connected through `fds` (a pipe or a socket
// pair made by the caller): the child keeps `fds[1]` and runs `child(fd,
// host)`, which never returns; the host keeps `fds[0]`. Returns the child's
// process id; raises EMeshport naming `source` when no process can start.
template <class TChild>
pid_t start_reader(int fds[2], const std::string& source, TChild child) {
  std::fflush(nullptr);
  const pid_t host = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    fail(source, "cannot start the reader");
  }
  if (pid == 0) {
    ::close(fds[0]);
    child(fds[1], host);
  }
  ::close(fds[1]);
  return pid;
}

// The host's side: one reader process converts every file of a run, so
// that assimp's start and the fork are paid once, not per file. A file that
// makes it crash, hang past the time limit or run out of memory still costs
// only that file: the reader ends, the file fails as it would have in a
// reader of its own, and the next file gets a new reader. A stop signal to
// the host ends the reader at once, as it does a one-file reader.
class TRunReader {
 public:
  ~TRunReader() { end(); }

  // Converts in the reader, starting one when none runs; reports as
  // run_reader does.
  bool convert(const TConversion& c, std::string* message) {
    std::string error;
    pid_t used = -1;
    TStopSignals stops;
    try {
      // A forked copy of the host does not talk to the host's reader.
      if (_pid > 0 && _host != ::getpid()) drop();
      for (int attempt = 0;; ++attempt) {
        if (_pid < 0) start(c.source);
        if (send_frame(_fd, encode(c))) break;
        // The reader ended while it waited (someone killed it): a new one.
        end();
        if (attempt > 0) fail(c.source, "cannot start the reader");
      }
      used = _pid;
      int stopped_by = 0;
      const std::optional<std::string> report =
          await_report(_fd, _pid, stops, stopped_by, [](std::string& buffer, bool) { return take_frame(buffer); });
      int status = 0;
      bool reaped = false;
      if (!report || stopped_by != 0) {
        // The reader ended, or was ended for the stop.
        reaped = reap(_pid, status);
        drop();
      }
      // A Ctrl-C on the terminal reaches the reader too, which may end first.
      if (stopped_by == 0) stopped_by = stops.pending();
      if (report && *report == kChildDone) return true;
      if (stopped_by != 0)
        error = stopped_reason(c.source, stopped_by);
      else if (report)
        error = *report;
      else
        error = ended_reason(c.source, reaped, status);
    } catch (const Exception& e) {
      error = e.message();
    }
    return report_failure(c.target, used, error, message);
  }

  // Ends the reader, if one runs: it leaves when its end of the connection closes.
  void end() {
    const pid_t pid = _pid;
    const bool ours = _host == ::getpid();
    drop();
    int status = 0;
    if (pid > 0 && ours) reap(pid, status);
  }

  pid_t pid() const { return _host == ::getpid() ? _pid : -1; }

 private:
  void start(const std::string& source) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) fail(source, "cannot start the reader");
    _pid = start_reader(fds, source, serve_conversions);
    _fd = fds[0];
    _host = ::getpid();
  }

  // Closes the connection to the reader without waiting for it.
  void drop() {
    if (_fd >= 0) ::close(_fd);
    _pid = -1;
    _fd = -1;
  }

  pid_t _pid = -1;
  int _fd = -1;
  pid_t _host = 0;
};

TRunReader& run_reader_process() {
  static TRunReader reader;
  return reader;
}

}  // namespace

bool run_reader(const std::string& source, const std::string& target, const std::function<void()>& work,
                std::string* message) {
  std::string error;
  pid_t pid = -1;
  // Until the report is out: a stop signal that came meanwhile reaches the
  // host's handler after it.
  TStopSignals stops;
  try {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) fail(source, "cannot start the reader");
    pid = start_reader(fds, source, [&](int fd, pid_t host) { run_child(fd, host, source, work); });
    // The child's report is all it sends before it closes the pipe.
    int stopped_by = 0;
    const std::optional<std::string> report =
        await_report(fds[0], pid, stops, stopped_by, [](std::string& buffer, bool ended) -> std::optional<std::string> {
          if (buffer.size() > 65536) buffer.resize(65536);  // enough of any message
          if (!ended || buffer.empty()) return std::nullopt;
          return buffer;
        });
    ::close(fds[0]);
    int status = 0;
    pid_t waited;
    while ((waited = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
    }
    // A Ctrl-C on the terminal reaches the child too, which may end first.
    if (stopped_by == 0) stopped_by = stops.pending();
    if (report == kChildDone) return true;
    if (stopped_by != 0)
      error = stopped_reason(source, stopped_by);
    else if (report)
      error = *report;
    else
      error = ended_reason(source, waited == pid, status);
  } catch (const Exception& e) {
    error = e.message();
  }
  return report_failure(target, pid, error, message);
}

// ---------------------------------------------------------------------------
// Entry points
// ---------------------------------------------------------------------------

TMebFile convert_scene(const std::string& source, double scale, uint8_t mode) {
  check_arguments(source, scale, mode);
  Assimp::Importer importer;
  // Nodes are named by their COLLADA names rather than their ids.
  importer.SetPropertyBool(AI_CONFIG_IMPORT_COLLADA_USE_COLLADA_NAMES, true);
  const aiScene* scene =
      importer.ReadFile(source, aiProcess_Triangulate | aiProcess_ValidateDataStructure | aiProcess_SortByPType);
  if (!scene) fail(source, fmt::format("unreadable ({})", importer.GetErrorString()));
  // A scene without meshes comes with a stand-in mesh made up by the reader.
  if (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) return {};
  const TMatrix to_metres = states_its_unit(*scene) ? TMatrix::scaling(1) : TMatrix::scaling(1 / scale);
  return TSceneConverter(source, *scene, mode, to_metres).run();
}

bool convert_file(const std::string& source, const std::string& target, double scale, uint8_t mode,
                  std::string* message) {
  try {
    check_arguments(source, scale, mode);
  } catch (const EMeshport& e) {
    const std::string line = printable_text(e.message()) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    if (message) *message = e.message();
    return false;
  }
  return run_reader_process().convert({source, target, scale, mode}, message);
}

void end_conversion_reader() { run_reader_process().end(); }

long conversion_reader_pid() { return long(run_reader_process().pid()); }
