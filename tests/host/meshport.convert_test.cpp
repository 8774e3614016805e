#include "meshport.convert.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------------------
// COLLADA fixtures
// ---------------------------------------------------------------------------

// A closed box from (0, 0, 0) to (sx, sy, sz): 8 positions, 12 triangles,
// split into two primitive sets when `split`.
std::string box_geometry(const std::string& id, double sx, double sy, double sz, bool split = false) {
  std::string positions;
  for (int i = 0; i < 8; ++i) positions += fmt::format("{} {} {} ", (i & 1) * sx, (i >> 1 & 1) * sy, (i >> 2 & 1) * sz);
  const char* halves[2] = {"0 2 6 0 6 4 1 5 7 1 7 3 0 4 5 0 5 1", "2 3 7 2 7 6 0 1 3 0 3 2 4 6 7 4 7 5"};
  auto triangles = [](const char* material, int count, const std::string& p) {
    return fmt::format(
        R"(<triangles material="{}" count="{}"><input semantic="VERTEX" source="#{{id}}-v" offset="0"/><p>{}</p></triangles>)",
        material, count, p);
  };
  std::string primitives = split ? triangles("front", 6, halves[0]) + triangles("back", 6, halves[1])
                                 : triangles("body", 12, std::string(halves[0]) + " " + halves[1]);
  std::string out = fmt::format(
      R"(<geometry id="{0}" name="{0}"><mesh><source id="{0}-p"><float_array id="{0}-a" count="24">{1}</float_array><technique_common><accessor source="#{0}-a" count="8" stride="3"><param name="X" type="float"/><param name="Y" type="float"/><param name="Z" type="float"/></accessor></technique_common></source><vertices id="{0}-v"><input semantic="POSITION" source="#{0}-p"/></vertices>)",
      id, positions);
  for (size_t at; (at = primitives.find("{id}")) != std::string::npos;) primitives.replace(at, 4, id);
  return out + primitives + "</mesh></geometry>";
}

std::string collada(const std::string& asset, const std::string& geometries, const std::string& nodes) {
  return fmt::format(R"(<?xml version="1.0" encoding="utf-8"?>
<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">
  <asset>{}</asset>
  <library_geometries>{}</library_geometries>
  <library_visual_scenes><visual_scene id="scene" name="scene">{}</visual_scene></library_visual_scenes>
  <scene><instance_visual_scene url="#scene"/></scene>
</COLLADA>
)",
                     asset, geometries, nodes);
}

std::string instance(const std::string& name, const std::string& geometry, const std::string& transform = "",
                     const std::string& children = "") {
  return fmt::format(R"(<node id="{0}-id" name="{0}">{1}<instance_geometry url="#{2}"/>{3}</node>)", name, transform,
                     geometry, children);
}

// `levels` nodes, each inside the one before and moved 1 along x, the
// innermost holding the body.
std::string nested_nodes(int levels) {
  std::string nodes;
  for (int i = 0; i < levels; ++i)
    nodes += fmt::format(R"(<node id="n{0}" name="n{0}"><translate>1 0 0</translate>)", i);
  nodes += R"(<instance_geometry url="#body"/>)";
  for (int i = 0; i < levels; ++i) nodes += "</node>";
  return nodes;
}

// ---------------------------------------------------------------------------
// Checks on the result
// ---------------------------------------------------------------------------

struct TBounds {
  double lo[3] = {INFINITY, INFINITY, INFINITY};
  double hi[3] = {-INFINITY, -INFINITY, -INFINITY};
};

void add_bounds(const TMebNode& node, TBounds& b) {
  for (const TMebVertex& v : node.vertices) {
    const double c[3] = {v.x, v.y, v.z};
    for (int k = 0; k < 3; ++k) b.lo[k] = std::min(b.lo[k], c[k]), b.hi[k] = std::max(b.hi[k], c[k]);
  }
  for (const TMebNode& child : node.children) add_bounds(child, b);
}

TBounds bounds(const TMebNode& node) {
  TBounds b;
  add_bounds(node, b);
  return b;
}

void expect_bounds(const TMebNode& node, std::array<double, 3> lo, std::array<double, 3> hi) {
  SCOPED_TRACE(node.name);
  const TBounds b = bounds(node);
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(b.lo[k], lo[size_t(k)], 1e-6) << "axis " << k;
    EXPECT_NEAR(b.hi[k], hi[size_t(k)], 1e-6) << "axis " << k;
  }
}

void expect_identity_matrices(const TMebNode& node) {
  EXPECT_EQ(node.matrix, TMebNode().matrix) << node.name;
  for (const TMebNode& child : node.children) expect_identity_matrices(child);
}

// "Schrank[Tuer,Griff[Griff,Schraube]]": the tree's names and kinds.
std::string outline(const std::vector<TMebNode>& nodes) {
  std::string out;
  for (const TMebNode& n : nodes) {
    if (!out.empty()) out += ",";
    out += n.name;
    if (n.is_group) out += "[" + outline(n.children) + "]";
  }
  return out;
}

// True when `dir` holds a half-written file of the file writer.
bool has_partial_writes(const fs::path& dir) {
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().extension() == ".part") return true;
  return false;
}

class meshport_convert : public ::testing::Test {
 protected:
  fs::path dir;
  void SetUp() override {
    dir = fs::temp_directory_path() / ("meshport.convert_test." + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string put(const std::string& name, const std::string& text) const {
    std::ofstream(dir / name, std::ios::binary) << text;
    return (dir / name).string();
  }

  // Converts `text` saved as `name` and reads the result back.
  TMebFile convert(const std::string& name, const std::string& text, uint8_t mode = kMeshportTree,
                   double scale = 1000.0) {
    const std::string source = put(name, text);
    const std::string target = fs::path(source).replace_extension(".meb").string();
    std::string message;
    EXPECT_TRUE(convert_file(source, target, scale, mode, &message)) << message;
    return read_meb(target);
  }
};

const std::string kBodyGeometry = box_geometry("body", 600, 720, 560);

}  // namespace

// ---------------------------------------------------------------------------
// Units and up axis
// ---------------------------------------------------------------------------

TEST_F(meshport_convert, units_and_up_axis_give_metres_with_y_up) {
  struct TCase {
    const char* what;
    std::string asset;
    std::string geometry;
    std::array<double, 3> lo, hi;
  } cases[] = {
      {"millimetres, Y up",
       R"(<unit name="millimeter" meter="0.001"/><up_axis>Y_UP</up_axis>)",
       kBodyGeometry,
       {0, 0, 0},
       {0.6, 0.72, 0.56}},
      {"millimetres, no up axis (Y up)",
       R"(<unit name="millimeter" meter="0.001"/>)",
       kBodyGeometry,
       {0, 0, 0},
       {0.6, 0.72, 0.56}},
      // Height along z: Z up turns (x, y, z) into (x, z, -y).
      {"millimetres, Z up",
       R"(<unit name="millimeter" meter="0.001"/><up_axis>Z_UP</up_axis>)",
       box_geometry("body", 600, 560, 720),
       {0, 0, -0.56},
       {0.6, 0.72, 0}},
      {"centimetres, Z up",
       R"(<unit name="centimeter" meter="0.01"/><up_axis>Z_UP</up_axis>)",
       box_geometry("body", 60, 56, 72),
       {0, 0, -0.56},
       {0.6, 0.72, 0}},
      {"no unit (metres)", "", box_geometry("body", 0.6, 0.72, 0.56), {0, 0, 0}, {0.6, 0.72, 0.56}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    const TMebFile file = convert("korpus.dae", collada(c.asset, c.geometry, instance("Korpus", "body")));
    ASSERT_EQ(outline(file.objects), "Korpus");
    const TMebNode& mesh = file.objects[0];
    EXPECT_FALSE(mesh.is_group);
    EXPECT_EQ(mesh.vertices.size(), 8u);  // corners shared by the triangles
    EXPECT_EQ(mesh.indices.size(), 36u);
    expect_identity_matrices(mesh);
    expect_bounds(mesh, c.lo, c.hi);
  }
}

TEST_F(meshport_convert, a_millimetre_file_ignores_the_scale_argument) {
  const std::string text = collada(R"(<unit meter="0.001"/>)", kBodyGeometry, instance("Korpus", "body"));
  expect_bounds(convert("a.dae", text, kMeshportTree, 1.0).objects.at(0), {0, 0, 0}, {0.6, 0.72, 0.56});
  expect_bounds(convert("b.dae", text, kMeshportTree, 25.4).objects.at(0), {0, 0, 0}, {0.6, 0.72, 0.56});
}

TEST_F(meshport_convert, files_without_a_unit_take_the_scale_as_units_per_metre) {
  const std::string obj = "o Platte\nv 0 0 0\nv 1000 0 0\nv 0 500 -250\nf 1 2 3\n";
  TMebFile mm = convert("platte.obj", obj, kMeshportFlat, 1000.0);
  ASSERT_EQ(mm.objects.size(), 1u);
  EXPECT_EQ(mm.objects[0].indices.size(), 3u);
  expect_bounds(mm.objects[0], {0, 0, -0.25}, {1, 0.5, 0});
  expect_bounds(convert("platte.obj", obj, kMeshportFlat, 1.0).objects.at(0), {0, 0, -250}, {1000, 500, 0});
}

TEST_F(meshport_convert, primitive_sets_of_one_node_make_one_mesh) {
  const TMebFile file = convert("split.dae", collada("", box_geometry("two", 1, 1, 1, true), instance("Front", "two")));
  ASSERT_EQ(outline(file.objects), "Front");
  EXPECT_EQ(file.objects[0].vertices.size(), 8u);
  EXPECT_EQ(file.objects[0].indices.size(), 36u);
}

// ---------------------------------------------------------------------------
// Node hierarchy and modes
// ---------------------------------------------------------------------------

namespace {

// A cabinet moved 1 m along x and turned a quarter about y, with a door
// 2 cm in front, a handle scaled by 2 holding a screw; a floor panel 10 cm
// down given as a matrix; an empty node; a node without a name (its mesh
// object takes the geometry's name).
const std::string kHierarchy = collada(
    "", box_geometry("panel", 0.6, 0.7, 0.02) + box_geometry("knob", 0.01, 0.01, 0.01),
    R"(<node id="cab" name="Schrank"><translate>1 0 0</translate><rotate>0 1 0 90</rotate>)" +
        instance("Tuer", "panel", "<translate>0 0 0.02</translate>") +
        instance("Griff", "knob", "<scale>2 2 2</scale>",
                 instance("Schraube", "knob", "<translate>0 0.01 0</translate>")) +
        "</node>" + instance("Boden", "panel", "<matrix>1 0 0 0 0 1 0 -0.1 0 0 1 0 0 0 0 1</matrix>") +
        R"(<node id="empty" name="Leer"/>)" + R"(<node id="Ohne-Namen"><instance_geometry url="#knob"/></node>)");

}  // namespace

TEST_F(meshport_convert, tree_mode_keeps_groups_and_bakes_world_transforms) {
  const TMebFile file = convert("schrank.dae", kHierarchy, kMeshportTree);
  ASSERT_EQ(outline(file.objects), "Schrank[Tuer,Griff[Griff,Schraube]],Boden,knob");
  for (const TMebNode& object : file.objects) expect_identity_matrices(object);
  const TMebNode& cabinet = file.objects[0];
  expect_bounds(cabinet.children[0], {1.02, 0, -0.6}, {1.04, 0.7, 0});
  expect_bounds(cabinet.children[1].children[0], {1, 0, -0.02}, {1.02, 0.02, 0});
  expect_bounds(cabinet.children[1].children[1], {1, 0.02, -0.02}, {1.02, 0.04, 0});
  expect_bounds(file.objects[1], {0, -0.1, 0}, {0.6, 0.6, 0.02});
}

TEST_F(meshport_convert, flat_and_single_modes) {
  const TMebFile flat = convert("schrank.dae", kHierarchy, kMeshportFlat);
  ASSERT_EQ(outline(flat.objects), "Tuer,Griff,Schraube,Boden,knob");
  expect_bounds(flat.objects[2], {1, 0.02, -0.02}, {1.02, 0.04, 0});

  const TMebFile single = convert("schrank.dae", kHierarchy, kMeshportSingle);
  ASSERT_EQ(outline(single.objects), "schrank");
  EXPECT_EQ(single.objects[0].indices.size(), 5u * 36u);
  expect_identity_matrices(single.objects[0]);
  expect_bounds(single.objects[0], {0, -0.1, -0.6}, {1.04, 0.7, 0.02});
}

// Real models nest their nodes deeply (65 levels and more); every mode
// takes them, with the transforms of all levels baked into the vertices.
TEST_F(meshport_convert, deeply_nested_nodes_convert_in_every_mode) {
  const std::string text = collada(R"(<unit meter="0.001"/>)", kBodyGeometry, nested_nodes(200));
  const TMebFile tree = convert("deep.dae", text, kMeshportTree);
  ASSERT_EQ(tree.objects.size(), 1u);
  const TMebNode* node = &tree.objects[0];
  int levels = 1;
  for (; node->is_group; ++levels) {
    ASSERT_EQ(node->children.size(), 1u);
    node = &node->children[0];
  }
  EXPECT_EQ(levels, 200);
  EXPECT_EQ(node->name, "n199");
  expect_bounds(tree.objects[0], {0.2, 0, 0}, {0.8, 0.72, 0.56});
  const TMebFile flat = convert("deep.dae", text, kMeshportFlat);
  EXPECT_EQ(outline(flat.objects), "n199");
  expect_bounds(flat.objects[0], {0.2, 0, 0}, {0.8, 0.72, 0.56});
  const TMebFile single = convert("deep.dae", text, kMeshportSingle);
  EXPECT_EQ(outline(single.objects), "deep");
  expect_bounds(single.objects[0], {0.2, 0, 0}, {0.8, 0.72, 0.56});
}

TEST_F(meshport_convert, a_scene_without_geometry_gives_an_empty_mesh_file) {
  const TMebFile file = convert("leer.dae", collada("", "", R"(<node id="a" name="a"><node id="b" name="b"/></node>)"));
  EXPECT_TRUE(file.objects.empty());
}

TEST_F(meshport_convert, in_process_conversion_gives_the_same_tree) {
  const std::string source = put("schrank.dae", kHierarchy);
  EXPECT_EQ(outline(convert_scene(source, 1000.0, kMeshportTree).objects),
            "Schrank[Tuer,Griff[Griff,Schraube]],Boden,knob");
  EXPECT_THROW(convert_scene(source, 1000.0, 9), EMeshport);
}

TEST_F(meshport_convert, paths_with_spaces_non_ascii_and_long_names) {
  const std::string folder =
      "K\xC3\xBC"
      "che 2 \xE2\x80\x93 Unterschr\xC3\xA4nke";
  fs::create_directories(dir / folder);
  const std::string stem = "4711_K1 " + std::string(180, 'x') + " \xC3\x9F";
  const TMebFile file = convert(folder + "/" + stem + ".dae",
                                collada("", kBodyGeometry, instance("T\xC3\xBCr", "body")), kMeshportTree, 1000.0);
  ASSERT_EQ(outline(file.objects), "T\xC3\xBCr");
}

// ---------------------------------------------------------------------------
// Bad input
// ---------------------------------------------------------------------------

TEST_F(meshport_convert, unreadable_sources_give_a_message_and_no_target) {
  const std::string good = collada(R"(<unit meter="0.001"/>)", kBodyGeometry, instance("Korpus", "body"));
  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string s = good;
    s.replace(s.find(from), from.size(), to);
    return s;
  };
  const std::string deep = nested_nodes(kMeshportMaxDepth + 1);
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary += char((i * 7919 + 13) & 0xFF);

  struct TCase {
    const char* what;
    std::string text;  // the source's content; empty: see `file`
    std::string reason;
    bool prefix_only = false;  // the reason's end comes from the reader
    uint8_t mode = kMeshportTree;
    double scale = 1000.0;
  } cases[] = {
      {"empty", "", "empty file"},
      {"text", "this is not a 3D file\n", "unreadable (", true},
      {"binary", binary, "unreadable (", true},
      {"cut in the middle", good.substr(0, good.size() / 2), "unreadable (", true},
      {"index beyond the positions", replaced("0 2 6 0 6 4", "0 2 6 0 6 99"), "unreadable (", true},
      {"array count beyond its values", replaced(R"(count="24")", R"(count="2400000000")"), "unreadable (", true},
      {"node instancing itself",
       replaced(R"(<instance_geometry url="#body"/>)", R"(<instance_node url="#Korpus-id"/>)"),
       "the reader stopped with ", true},
      {"nodes nested too deep", collada("", kBodyGeometry, deep), "nodes nested deeper than 1000 levels"},
      {"coordinates beyond float",
       replaced("<instance_geometry", "<scale>1e30 1e30 1e30</scale><scale>1e30 1e30 1e30</scale><instance_geometry"),
       "non-finite coordinate in \"Korpus\""},
      {"unknown mode", good, "unknown mode 3 (0, 1 or 2)", false, 3},
      {"zero scale", good, "scale 0 is not a positive number", false, kMeshportTree, 0.0},
      {"negative scale", good, "scale -1000 is not a positive number", false, kMeshportTree, -1000.0},
      {"NaN scale", good, "scale nan is not a positive number", false, kMeshportTree, std::nan("")},
  };
  const std::string target = (dir / "out.meb").string();
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string source = put("in.dae", c.text);
    std::string message;
    testing::internal::CaptureStderr();
    const bool written = convert_file(source, target, c.scale, c.mode, &message);
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(written);
    const std::string expected = "Meshport: cannot convert \"" + source + "\": " + c.reason;
    if (c.prefix_only)
      EXPECT_EQ(message.substr(0, expected.size()), expected);
    else
      EXPECT_EQ(message, expected);
    // The line is the last one printed (a reader that crashed may print before it).
    ASSERT_GE(printed.size(), message.size() + 1);
    EXPECT_EQ(printed.substr(printed.size() - message.size() - 1), message + "\n");
    EXPECT_FALSE(fs::exists(target));
    EXPECT_FALSE(has_partial_writes(dir));
  }
}

TEST_F(meshport_convert, missing_folder_huge_and_unwritable_give_a_message_and_no_target) {
  const std::string good = collada("", kBodyGeometry, instance("Korpus", "body"));
  const std::string source = put("in.dae", good);
  const std::string huge = put("huge.dae", good);
  fs::resize_file(huge, kMeshportMaxSourceSize + 1);
  fs::create_directories(dir / "folder.dae");
  const std::string missing_folder_target = (dir / "no such folder" / "out.meb").string();

  struct TCase {
    std::string source, target, message;
  } cases[] = {
      {(dir / "missing.dae").string(), (dir / "out.meb").string(),
       "Meshport: cannot convert \"" + (dir / "missing.dae").string() + "\": file not found"},
      {(dir / "folder.dae").string(), (dir / "out.meb").string(),
       "Meshport: cannot convert \"" + (dir / "folder.dae").string() + "\": not a file"},
      {huge, (dir / "out.meb").string(),
       "Meshport: cannot convert \"" + huge + "\": too large (268435457 bytes, at most 268435456)"},
      {source, missing_folder_target,
       "Meshport: cannot convert \"" + source + "\": Mesh file \"" + missing_folder_target + "\": cannot be written"},
  };
  for (const TCase& c : cases) {
    std::string message;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(convert_file(c.source, c.target, 1000.0, kMeshportTree, &message));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message + "\n");
    EXPECT_EQ(message, c.message);
    EXPECT_FALSE(fs::exists(c.target));
  }
}

TEST_F(meshport_convert, a_failed_conversion_leaves_an_existing_target_as_it_was) {
  const std::string target = put("out.meb", "previous content");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(convert_file(put("in.dae", "not COLLADA"), target, 1000.0, kMeshportTree));
  testing::internal::GetCapturedStderr();
  std::ifstream in(target);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "previous content");
}

// A host that ignores SIGCHLD never sees the reader's exit status; the
// outcome must not depend on it.
TEST_F(meshport_convert, outcome_does_not_rest_on_the_exit_status) {
  struct sigaction ignore = {}, previous = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGCHLD, &ignore, &previous);
  const std::string good = put("good.dae", collada("", kBodyGeometry, instance("Korpus", "body")));
  const std::string bad = put("bad.dae", "<COLLADA>");
  const std::string target = (dir / "out.meb").string();
  std::string message;
  testing::internal::CaptureStderr();
  const bool bad_written = convert_file(bad, target, 1000.0, kMeshportTree, &message);
  testing::internal::GetCapturedStderr();
  const bool good_written = convert_file(good, target, 1000.0, kMeshportTree);
  sigaction(SIGCHLD, &previous, nullptr);
  EXPECT_FALSE(bad_written);
  EXPECT_EQ(message.substr(0, message.find(": unreadable (")), "Meshport: cannot convert \"" + bad + "\"");
  EXPECT_TRUE(good_written);
  EXPECT_EQ(read_meb(target).objects.size(), 1u);
}

// One reader process converts the files of a run. One that has gone (as
// after a crash) is replaced for the next file, and ending it leaves no
// process behind.
TEST_F(meshport_convert, one_reader_serves_the_run_and_is_replaced_when_it_has_gone) {
  const std::string good = put("good.dae", collada("", kBodyGeometry, instance("Korpus", "body")));
  const std::string bad = put("bad.dae", "<COLLADA>");
  const std::string target = (dir / "out.meb").string();
  ASSERT_TRUE(convert_file(good, target, 1000.0, kMeshportTree));
  const long first = conversion_reader_pid();
  ASSERT_GT(first, 0);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(convert_file(bad, target, 1000.0, kMeshportTree));  // a file it refuses does not end it
  testing::internal::GetCapturedStderr();
  ASSERT_TRUE(convert_file(good, target, 1000.0, kMeshportTree));
  EXPECT_EQ(conversion_reader_pid(), first);

  kill(pid_t(first), SIGKILL);
  siginfo_t ended{};
  waitid(P_PID, id_t(first), &ended, WEXITED | WNOWAIT);  // gone, not yet reaped
  ASSERT_TRUE(convert_file(good, target, 1000.0, kMeshportTree));
  const long second = conversion_reader_pid();
  EXPECT_GT(second, 0);
  EXPECT_NE(second, first);
  EXPECT_EQ(read_meb(target).objects.size(), 1u);

  end_conversion_reader();
  EXPECT_EQ(conversion_reader_pid(), -1);
  EXPECT_EQ(kill(pid_t(second), 0), -1);  // ended and reaped
  EXPECT_EQ(kill(pid_t(first), 0), -1);
}

namespace {

volatile sig_atomic_t g_stop_signals = 0;
void count_stop_signal(int) { g_stop_signals = g_stop_signals + 1; }

}  // namespace

// Ctrl-C or SIGTERM to the host while the reader runs: the reader is ended at
// once (this one would never end by itself), whatever it half-wrote goes,
// and the host's own handler gets the signal afterwards, once.
TEST_F(meshport_convert, a_stop_signal_to_the_host_ends_the_reader_at_once) {
  for (const int sig : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(sig);
    struct sigaction counting = {}, previous = {};
    counting.sa_handler = count_stop_signal;
    sigaction(sig, &counting, &previous);
    g_stop_signals = 0;
    const std::string source = put("in.dae", "any");
    const std::string target = (dir / "out.meb").string();
    const std::string pid_file = (dir / "reader.pid").string();
    std::string message;
    testing::internal::CaptureStderr();
    const bool written = run_reader(
        source, target,
        [&] {
          std::ofstream(pid_file) << getpid();
          std::ofstream(dir / fmt::format(".out.meb.{}-0A1B2C3D.part", getpid())) << "half";
          kill(getppid(), sig);
          for (;;) pause();
        },
        &message);
    const std::string printed = testing::internal::GetCapturedStderr();
    const int stop_signals = g_stop_signals;
    sigaction(sig, &previous, nullptr);

    EXPECT_FALSE(written);
    const std::string expected =
        fmt::format("Meshport: cannot convert \"{}\": stopped (the host got signal {})", source, sig);
    EXPECT_EQ(message, expected);
    EXPECT_EQ(printed, expected + "\n");
    EXPECT_EQ(stop_signals, 1);
    pid_t reader = 0;
    std::ifstream(pid_file) >> reader;
    ASSERT_GT(reader, 0);
    EXPECT_EQ(kill(reader, 0), -1);  // ended and reaped
    EXPECT_FALSE(has_partial_writes(dir));
    EXPECT_FALSE(fs::exists(target));
  }
}
