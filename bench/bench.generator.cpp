#include "bench.generator.h"

#include <cmath>
#include <filesystem>
#include <numbers>
#include <stdexcept>
#include <vector>

#include <fmt/format.h>
#include <zip.h>

namespace {

constexpr int parts_per_cabinet = 8;
constexpr int cabinets_per_node = 10;

struct TPartKind {
  const char* key;
  const char* role;
};

const TPartKind carcass[] = {{"KSL", "Side left"}, {"KSR", "Side right"}, {"KUB", "Bottom"},
                             {"KOB", "Top"},       {"KRW", "Back panel"}, {"TRAV-vo", "Front rail"}};

void transformation(std::string& out, const char* indent, double x, double y, double z) {
  fmt::format_to(std::back_inserter(out),
                 "{}<transformations><transformation translation=\"{} {} {}\"/></transformations>\n", indent, x, y, z);
}

// ---------------------------------------------------------------------------
// Hardware shared among cabinets
// ---------------------------------------------------------------------------

// Bar handles by hole distance; handle model `a` is article 4711 + a with
// component number "G<a + 1>".
constexpr int handle_models = 8;
constexpr int handle_hole_distance[handle_models] = {96, 128, 160, 192, 224, 256, 320, 448};

int handle_article_number(int model) { return 4711 + model; }

// Every sixth cabinet (the corner positions) hangs its door on wide-angle hinges.
bool wide_angle(int64_t cabinet) { return cabinet % 6 == 5; }

}  // namespace

std::string generate_bxf2(int64_t parts, TGeneratedCounts* counts, const TGeneratorOptions& options) {
  const bool hardware = options.shared_hardware;
  const int64_t cabinets = parts / parts_per_cabinet > 0 ? parts / parts_per_cabinet : 1;
  const int64_t nodes = (cabinets + cabinets_per_node - 1) / cabinets_per_node;
  TGeneratedCounts c;
  std::string out;
  out.reserve(size_t(cabinets) * 6000);
  auto w = std::back_inserter(out);

  out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out += "<bxf xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n";
  out +=
      "  <head>\n    <version>2.0</version>\n    <author>Benchmark generator</author>\n"
      "    <copyright>Generated</copyright>\n    <unit meter=\"0.001\">mm</unit>\n"
      "    <country>DE</country>\n    <language>de</language>\n  </head>\n";

  out += "  <scene>\n    <nodes>\n";
  for (int64_t n = 0; n < nodes; ++n) {
    fmt::format_to(w,
                   "      <node id=\"run-{}\" uid=\"N{:06}\">\n        <description>Run {}</description>\n"
                   "        <cabinetLinks>\n",
                   n, n, n);
    for (int64_t k = n * cabinets_per_node; k < cabinets && k < (n + 1) * cabinets_per_node; ++k) {
      fmt::format_to(w, "          <cabinetLink id=\"run-{}-c{}\" referenceId=\"cab-{}\">\n", n, k, k);
      transformation(out, "            ", double(k % cabinets_per_node) * 600, 0, 100);
      out += "          </cabinetLink>\n";
      ++c.links;
    }
    out += "        </cabinetLinks>\n      </node>\n";
  }
  out += "    </nodes>\n  </scene>\n  <library>\n";

  out += "    <cabinets>\n";
  for (int64_t k = 0; k < cabinets; ++k) {
    fmt::format_to(w,
                   "      <cabinet id=\"cab-{}\" uid=\"C{:06}\" modelKey=\"US60\">\n"
                   "        <description>Base cabinet 600 number {}</description>\n        <partLinks>\n",
                   k, k, k);
    double x[] = {0, 581, 19, 19, 19, 19}, y[] = {0, 0, 0, 0, 540, 0}, z[] = {0, 0, 0, 701, 19, 682};
    for (int p = 0; p < 6; ++p) {
      fmt::format_to(w, "          <partLink id=\"cab-{}-p{}\" referenceId=\"part-{}-{}\">\n", k, p, k, p);
      transformation(out, "            ", x[p], y[p], z[p]);
      out += "          </partLink>\n";
      ++c.links;
    }
    fmt::format_to(w,
                   "        </partLinks>\n        <containerLinks>\n"
                   "          <containerLink id=\"cab-{}-inner\" referenceId=\"inner-{}\">\n",
                   k, k);
    transformation(out, "            ", 19, 0, 19);
    out += "          </containerLink>\n        </containerLinks>\n      </cabinet>\n";
    ++c.links;
  }
  out += "    </cabinets>\n    <containers>\n";
  for (int64_t k = 0; k < cabinets; ++k) {
    fmt::format_to(w,
                   "      <container id=\"inner-{}\" uid=\"I{:06}\" modelKey=\"INNEN\">\n"
                   "        <functionUnitLinks>\n"
                   "          <functionUnitLink id=\"inner-{}-door\" referenceId=\"door-{}\">\n",
                   k, k, k, k);
    transformation(out, "            ", -17, -21, -17);
    fmt::format_to(w,
                   "          </functionUnitLink>\n"
                   "          <functionUnitLink id=\"inner-{}-shelf\" referenceId=\"shelf-{}\">\n",
                   k, k);
    transformation(out, "            ", 0, 0, 322.5);
    out +=
        "          </functionUnitLink>\n        </functionUnitLinks>\n"
        "        <boundary xsi:type=\"Box\"><extent>562 540 682</extent></boundary>\n      </container>\n";
    c.links += 2;
  }
  out += "    </containers>\n    <parts>\n";
  for (int64_t k = 0; k < cabinets; ++k) {
    double extents[][3] = {{19, 560, 720}, {19, 560, 720}, {562, 560, 19},
                           {562, 560, 19}, {562, 8, 682},  {562, 100, 19}};
    for (int p = 0; p < 6; ++p) {
      fmt::format_to(w,
                     "      <part id=\"part-{}-{}\" uid=\"P{:06}{}\" modelKey=\"{}\">\n"
                     "        <geometry xsi:type=\"Box\"><extent>{} {} {}</extent></geometry>\n"
                     "        <drawingDetail frontOrientation=\"0 -1 0\" floorOrientation=\"0 0 -1\"/>\n"
                     "        <description>{}</description>\n      </part>\n",
                     k, p, k, p, carcass[p].key, extents[p][0], extents[p][1], extents[p][2], carcass[p].role);
    }
    fmt::format_to(w,
                   "      <part id=\"front-{}\" uid=\"P{:06}F\" modelKey=\"H-FRONT\">\n"
                   "        <geometry xsi:type=\"Box\"><extent>596 19 716</extent></geometry>\n"
                   "        <description>Door</description>\n      </part>\n"
                   "      <part id=\"shelf-{}\" uid=\"P{:06}S\" modelKey=\"F-BOD\">\n"
                   "        <geometry xsi:type=\"Box\"><extent>560 500 19</extent></geometry>\n"
                   "        <description>Adjustable shelf</description>\n      </part>\n",
                   k, k, k, k);
    c.parts += parts_per_cabinet;
  }
  out += "    </parts>\n    <functionUnits>\n";
  for (int64_t k = 0; k < cabinets; ++k) {
    fmt::format_to(w,
                   "      <functionUnit id=\"door-{}\" uid=\"F{:06}D\">\n        <description>Door</description>\n"
                   "        <partLinks>\n          <partLink id=\"door-{}-front\" referenceId=\"front-{}\">\n",
                   k, k, k, k);
    transformation(out, "            ", 0, 0, 0);
    fmt::format_to(w,
                   "          </partLink>\n        </partLinks>\n        <articleLinks>\n"
                   "          <articleLink id=\"door-{}-hinges\" referenceId=\"{}\" quantity=\"2\"/>\n"
                   "          <articleLink id=\"door-{}-handle\" referenceId=\"art-handle-{}\" quantity=\"1\"/>\n"
                   "        </articleLinks>\n        <componentLinks>\n",
                   k, hardware && wide_angle(k) ? "art-hinge-wide" : "art-hinge", k,
                   hardware ? k % handle_models : k % 50);
    for (int h = 0; h < 2; ++h) {
      fmt::format_to(w, "          <componentLink id=\"door-{}-hinge-{}\" referenceId=\"hinge-{}\">\n", k, h, k);
      out += "            <transformations><transformation translation=\"20 19 ";
      out += h ? "100" : "600";
      out += "\" center=\"0 0 0\" rotation=\"0 0 1 90\"/></transformations>\n          </componentLink>\n";
    }
    fmt::format_to(w, "          <componentLink id=\"door-{}-handle\" referenceId=\"handle-{}\">\n", k, k);
    out +=
        "            <transformations><transformation translation=\"540 -30 600\" center=\"0 0 0\" "
        "rotation=\"1 0 0 90\"/></transformations>\n          </componentLink>\n        </componentLinks>\n"
        "      </functionUnit>\n";
    fmt::format_to(w,
                   "      <functionUnit id=\"shelf-{}\" uid=\"F{:06}S\">\n        <description>Shelf</description>\n"
                   "        <partLinks>\n          <partLink id=\"shelf-{}-board\" referenceId=\"shelf-{}\">\n",
                   k, k, k, k);
    transformation(out, "            ", 1, 20, 0);
    out += "          </partLink>\n        </partLinks>\n";
    if (hardware) {
      // Four supports under the shelf, 37 mm in from the front and back edges.
      fmt::format_to(w,
                     "        <articleLinks>\n"
                     "          <articleLink id=\"shelf-{}-supports\" referenceId=\"art-support\" quantity=\"4\"/>\n"
                     "        </articleLinks>\n        <componentLinks>\n",
                     k);
      const double support_x[] = {0, 562, 0, 562}, support_y[] = {57, 57, 483, 483};
      for (int s = 0; s < 4; ++s) {
        fmt::format_to(w, "          <componentLink id=\"shelf-{}-support-{}\" referenceId=\"support-{}\">\n", k, s, k);
        transformation(out, "            ", support_x[s], support_y[s], 0);
        out += "          </componentLink>\n";
      }
      out += "        </componentLinks>\n";
      c.links += 1 + 4;
      c.component_links += 4;
    }
    out += "      </functionUnit>\n";
    c.links += 1 + 2 + 3 + 1;
    c.component_links += 3;
  }
  // A hinge article and fifty handle articles; each handle component number
  // is listed by one of them.
  out +=
      "    </functionUnits>\n    <articles>\n"
      "      <article id=\"art-hinge\" uid=\"A-H\" itemNumber=\"1\" articleNumber=\"1105\" totalQuantity=\"2\">\n"
      "        <material>Steel</material>\n"
      "        <componentNumbers><componentNumber>K2</componentNumber></componentNumbers>\n"
      "        <description>Concealed hinge</description>\n      </article>\n";
  if (hardware) {
    out +=
        "      <article id=\"art-hinge-wide\" uid=\"A-HW\" itemNumber=\"60\" articleNumber=\"1107\" "
        "totalQuantity=\"2\">\n        <material>Steel</material>\n"
        "        <componentNumbers><componentNumber>K3</componentNumber></componentNumbers>\n"
        "        <description>Wide-angle hinge 155 degrees</description>\n      </article>\n"
        "      <article id=\"art-support\" uid=\"A-S\" itemNumber=\"61\" articleNumber=\"3310\" "
        "totalQuantity=\"4\">\n        <material>Nickel-plated</material>\n"
        "        <componentNumbers><componentNumber>S1</componentNumber></componentNumbers>\n"
        "        <description>Shelf support 5 mm</description>\n      </article>\n";
    for (int a = 0; a < handle_models; ++a)
      fmt::format_to(w,
                     "      <article id=\"art-handle-{}\" uid=\"A-{}\" itemNumber=\"{}\" articleNumber=\"{}\" "
                     "totalQuantity=\"1\">\n        <material>Stainless steel</material>\n"
                     "        <componentNumbers><componentNumber>G{}</componentNumber></componentNumbers>\n"
                     "        <description>Bar handle {} mm</description>\n      </article>\n",
                     a, a, a + 2, handle_article_number(a), a + 1, handle_hole_distance[a]);
  }
  for (int a = 0; a < (hardware ? 0 : 50); ++a) {
    fmt::format_to(w,
                   "      <article id=\"art-handle-{}\" uid=\"A-{}\" itemNumber=\"{}\" articleNumber=\"47{:02}\" "
                   "totalQuantity=\"1\">\n        <material>Aluminium</material>\n        <componentNumbers>",
                   a, a, a + 2, a);
    for (int64_t k = a; k < cabinets; k += 50) fmt::format_to(w, "<componentNumber>K1-{}</componentNumber>", k);
    out += "</componentNumbers>\n        <description>Bar handle</description>\n      </article>\n";
  }
  out += "    </articles>\n    <components>\n";
  for (int64_t k = 0; k < cabinets; ++k) {
    const std::string handle_number = hardware ? fmt::format("G{}", k % handle_models + 1) : fmt::format("K1-{}", k);
    fmt::format_to(w, "      <component id=\"hinge-{}\" uid=\"M{:06}H\" modelKey=\"hinge\" componentNumber=\"{}\"/>\n",
                   k, k, hardware && wide_angle(k) ? "K3" : "K2");
    c.components += 2;
    if (!hardware) {
      // A handle rail cut to length.
      fmt::format_to(
          w,
          "      <component id=\"handle-{}\" uid=\"M{:06}G\" modelKey=\"handle\" componentNumber=\"{}\">\n"
          "        <machiningLinks><machiningLink id=\"handle-{}-cut\" referenceId=\"cut-{}\"/></machiningLinks>\n"
          "      </component>\n",
          k, k, handle_number, k, k);
      c.links += 1;
    } else {
      // A bar handle of fixed size, and the shelf supports.
      fmt::format_to(w,
                     "      <component id=\"handle-{}\" uid=\"M{:06}G\" modelKey=\"handle\" componentNumber=\"{}\"/>\n",
                     k, k, handle_number);
      fmt::format_to(
          w, "      <component id=\"support-{}\" uid=\"M{:06}S\" modelKey=\"support\" componentNumber=\"S1\"/>\n", k,
          k);
      ++c.components;
    }
  }
  out += "    </components>\n    <machiningGroups/>\n    <machinings>\n";
  for (int64_t k = 0; k < cabinets; ++k)
    fmt::format_to(w,
                   "      <machining xsi:type=\"Cut\" id=\"cut-{}\" uid=\"X{:06}\" orientation=\"1 0 0\" "
                   "originalSize=\"200\" finalSize=\"{}\"/>\n"
                   "      <machining xsi:type=\"Drilling\" id=\"drill-{}\"/>\n",
                   k, k, 160 + k % 40, k);
  out += "    </machinings>\n  </library>\n</bxf>\n";
  c.bytes = int64_t(out.size());
  c.cabinets = cabinets;
  if (counts) *counts = c;
  return out;
}

// ---------------------------------------------------------------------------
// Hardware meshes
// ---------------------------------------------------------------------------

namespace {

// One node's triangle mesh: positions and normals indexed separately, each
// triangle corner a (position, normal) pair. Millimetres, +y up.
class TMeshPiece {
 public:
  explicit TMeshPiece(std::string name) : _name(std::move(name)) {}

  // An axis-aligned box between two corners, flat faces.
  void add_box(double x0, double y0, double z0, double x1, double y1, double z1) {
    const int p = vertex_count();
    for (int i = 0; i < 8; ++i) add_position(i & 1 ? x1 : x0, i & 2 ? y1 : y0, i & 4 ? z1 : z0);
    // Each face: its normal and its corners counter-clockwise seen from outside.
    struct TFace {
      double n[3];
      int c[4];
    };
    static const TFace faces[] = {{{-1, 0, 0}, {0, 4, 6, 2}}, {{1, 0, 0}, {1, 3, 7, 5}},  {{0, -1, 0}, {0, 1, 5, 4}},
                                  {{0, 1, 0}, {2, 6, 7, 3}},  {{0, 0, -1}, {0, 2, 3, 1}}, {{0, 0, 1}, {4, 5, 7, 6}}};
    for (const TFace& f : faces) {
      const int n = add_normal(f.n[0], f.n[1], f.n[2]);
      add_triangle(p + f.c[0], p + f.c[1], p + f.c[2], n, n, n);
      add_triangle(p + f.c[0], p + f.c[2], p + f.c[3], n, n, n);
    }
  }

  // A closed cylinder of `segments` sides along `axis` (0 x, 1 y, 2 z) from
  // `from` to `to`, its axis through (c1, c2) in the two other coordinates.
  void add_cylinder(int axis, double c1, double c2, double radius, double from, double to, int segments) {
    auto point = [&](double along, double u, double v, double* xyz) {
      xyz[axis] = along;
      xyz[(axis + 1) % 3] = u;
      xyz[(axis + 2) % 3] = v;
    };
    const int p = vertex_count();
    const int n = normal_count();
    double xyz[3];
    for (int end = 0; end < 2; ++end)
      for (int i = 0; i < segments; ++i) {
        const double a = 2 * std::numbers::pi * i / segments;
        point(end ? to : from, c1 + radius * std::cos(a), c2 + radius * std::sin(a), xyz);
        add_position(xyz[0], xyz[1], xyz[2]);
      }
    for (int i = 0; i < segments; ++i) {
      const double a = 2 * std::numbers::pi * i / segments;
      point(0, std::cos(a), std::sin(a), xyz);
      add_normal(xyz[0], xyz[1], xyz[2]);
    }
    point(from, c1, c2, xyz);
    const int centre0 = add_position(xyz[0], xyz[1], xyz[2]);
    point(to, c1, c2, xyz);
    const int centre1 = add_position(xyz[0], xyz[1], xyz[2]);
    point(-1, 0, 0, xyz);
    const int cap0 = add_normal(xyz[0], xyz[1], xyz[2]);
    point(1, 0, 0, xyz);
    const int cap1 = add_normal(xyz[0], xyz[1], xyz[2]);
    for (int i = 0; i < segments; ++i) {
      const int j = (i + 1) % segments;
      add_triangle(p + i, p + j, p + segments + j, n + i, n + j, n + j);
      add_triangle(p + i, p + segments + j, p + segments + i, n + i, n + j, n + i);
      add_triangle(centre0, p + j, p + i, cap0, cap0, cap0);
      add_triangle(centre1, p + segments + i, p + segments + j, cap1, cap1, cap1);
    }
  }

  int triangles() const { return int(_corners.size() / 6); }

  // The <geometry> element of the piece.
  std::string geometry() const {
    std::string out;
    auto w = std::back_inserter(out);
    fmt::format_to(w, "    <geometry id=\"{0}-mesh\" name=\"{0}\">\n      <mesh>\n", _name);
    source(out, "positions", _positions);
    source(out, "normals", _normals);
    fmt::format_to(
        w,
        "        <vertices id=\"{0}-vertices\"><input semantic=\"POSITION\" source=\"#{0}-positions\"/></vertices>\n"
        "        <triangles count=\"{1}\">\n"
        "          <input semantic=\"VERTEX\" source=\"#{0}-vertices\" offset=\"0\"/>\n"
        "          <input semantic=\"NORMAL\" source=\"#{0}-normals\" offset=\"1\"/>\n          <p>",
        _name, triangles());
    for (size_t i = 0; i < _corners.size(); ++i) fmt::format_to(w, "{}{}", i ? " " : "", _corners[i]);
    out += "</p>\n        </triangles>\n      </mesh>\n    </geometry>\n";
    return out;
  }

  // The <node> element that places the piece.
  std::string node(const char* indent) const {
    return fmt::format("{0}<node id=\"{1}\" name=\"{1}\"><instance_geometry url=\"#{1}-mesh\"/></node>\n", indent,
                       _name);
  }

 private:
  int vertex_count() const { return int(_positions.size() / 3); }
  int normal_count() const { return int(_normals.size() / 3); }
  int add_position(double x, double y, double z) {
    _positions.insert(_positions.end(), {x, y, z});
    return vertex_count() - 1;
  }
  int add_normal(double x, double y, double z) {
    _normals.insert(_normals.end(), {x, y, z});
    return normal_count() - 1;
  }
  void add_triangle(int p0, int p1, int p2, int n0, int n1, int n2) {
    _corners.insert(_corners.end(), {p0, n0, p1, n1, p2, n2});
  }
  void source(std::string& out, const char* what, const std::vector<double>& values) const {
    auto w = std::back_inserter(out);
    fmt::format_to(w, "        <source id=\"{0}-{1}\">\n          <float_array id=\"{0}-{1}-array\" count=\"{2}\">",
                   _name, what, values.size());
    for (size_t i = 0; i < values.size(); ++i) {
      // Six decimals at most, no negative zero.
      const double v = std::round(values[i] * 1e6) / 1e6;
      fmt::format_to(w, "{}{}", i ? " " : "", v == 0 ? 0.0 : v);
    }
    fmt::format_to(w,
                   "</float_array>\n          <technique_common>\n"
                   "            <accessor source=\"#{0}-{1}-array\" count=\"{2}\" stride=\"3\">\n"
                   "              <param name=\"X\" type=\"float\"/><param name=\"Y\" type=\"float\"/>"
                   "<param name=\"Z\" type=\"float\"/>\n"
                   "            </accessor>\n          </technique_common>\n        </source>\n",
                   _name, what, values.size() / 3);
  }

  std::string _name;
  std::vector<double> _positions, _normals;
  std::vector<int> _corners;
};

// A COLLADA file with one model node `model` grouping `pieces`.
TMeshFile collada_file(const std::string& stem, const std::string& model, const std::vector<TMeshPiece>& pieces) {
  TMeshFile file;
  file.name = stem + ".dae";
  std::string& out = file.text;
  out =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" version=\"1.4.1\">\n"
      "  <asset>\n    <contributor><author>Hardware catalogue</author>"
      "<authoring_tool>Benchmark generator</authoring_tool></contributor>\n"
      "    <created>2026-12-01T09:30:00</created>\n    <modified>2026-12-01T09:30:00</modified>\n"
      "    <unit name=\"millimeter\" meter=\"0.001\"/>\n    <up_axis>Y_UP</up_axis>\n  </asset>\n"
      "  <library_geometries>\n";
  for (const TMeshPiece& piece : pieces) {
    out += piece.geometry();
    file.triangles += piece.triangles();
  }
  fmt::format_to(std::back_inserter(out),
                 "  </library_geometries>\n  <library_visual_scenes>\n    <visual_scene id=\"Scene\" name=\"Scene\">\n"
                 "      <node id=\"{0}\" name=\"{0}\">\n",
                 model);
  for (const TMeshPiece& piece : pieces) out += piece.node("        ");
  out +=
      "      </node>\n    </visual_scene>\n  </library_visual_scenes>\n"
      "  <scene><instance_visual_scene url=\"#Scene\"/></scene>\n</COLLADA>\n";
  return file;
}

// A concealed hinge: the 35 mm cup, the arm and the mounting plate; the
// wide-angle hinge has a longer arm and a second link.
TMeshFile hinge_mesh(const std::string& stem, bool wide) {
  std::vector<TMeshPiece> pieces;
  pieces.emplace_back("cup").add_cylinder(1, 0, 0, 17.5, -11.5, 0, 32);
  pieces.emplace_back("arm").add_box(-8, 0, -4, 8, 12, wide ? 58 : 48);
  pieces.emplace_back("plate").add_box(-10, 12, wide ? 44 : 34, 10, 16, wide ? 70 : 60);
  if (wide) pieces.emplace_back("link").add_box(-6, 2, 10, 6, 10, 30);
  return collada_file(stem, wide ? "hinge-155" : "hinge-110", pieces);
}

// A bar handle: two legs at the hole distance and the bar, 12 mm thick.
TMeshFile handle_mesh(const std::string& stem, int hole_distance) {
  std::vector<TMeshPiece> pieces;
  pieces.emplace_back("bar").add_cylinder(0, 0, 30, 6, -20, hole_distance + 20, 24);
  pieces.emplace_back("leg-1").add_cylinder(2, 0, 0, 5, 0, 30, 16);
  pieces.emplace_back("leg-2").add_cylinder(2, hole_distance, 0, 5, 0, 30, 16);
  return collada_file(stem, fmt::format("handle-{}", hole_distance), pieces);
}

// A shelf support: the 5 mm pin and the plate the shelf rests on.
TMeshFile support_mesh(const std::string& stem) {
  std::vector<TMeshPiece> pieces;
  pieces.emplace_back("pin").add_cylinder(2, 0, 0, 2.5, -10, 0, 12);
  pieces.emplace_back("plate").add_box(-5, 0, 0, 5, 2, 12);
  return collada_file(stem, "support", pieces);
}

}  // namespace

std::vector<TMeshFile> generate_hardware_meshes() {
  std::vector<TMeshFile> meshes;
  meshes.push_back(hinge_mesh("1105_K2", false));
  meshes.push_back(hinge_mesh("1107_K3", true));
  for (int a = 0; a < handle_models; ++a)
    meshes.push_back(handle_mesh(fmt::format("{}_G{}", handle_article_number(a), a + 1), handle_hole_distance[a]));
  meshes.push_back(support_mesh("3310_S1"));
  return meshes;
}

// ---------------------------------------------------------------------------
// Archives
// ---------------------------------------------------------------------------

TGeneratedCounts write_archive(int64_t cabinets, const std::string& path) {
  TGeneratedCounts counts;
  TGeneratorOptions options;
  options.shared_hardware = true;
  const std::string document = generate_bxf2(cabinets * parts_per_cabinet, &counts, options);
  const std::vector<TMeshFile> meshes = generate_hardware_meshes();

  int code = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  if (!archive) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const std::string message = fmt::format("{}: cannot write the archive ({})", path, zip_error_strerror(&error));
    zip_error_fini(&error);
    throw std::runtime_error(message);
  }
  // The buffers stay alive until zip_close, which compresses them.
  auto add = [&](const std::string& name, const std::string& bytes) {
    zip_source_t* source = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
    const zip_int64_t index = source ? zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8) : -1;
    if (index < 0 || zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_DEFLATE, 0) < 0) {
      if (source && index < 0) zip_source_free(source);
      const std::string message = fmt::format("{}: cannot add {} ({})", path, name, zip_strerror(archive));
      zip_discard(archive);
      throw std::runtime_error(message);
    }
  };
  add(archive_document_name, document);
  for (const TMeshFile& mesh : meshes) add("cadData/" + mesh.name, mesh.text);
  if (zip_close(archive) < 0) {
    const std::string message = fmt::format("{}: cannot write the archive ({})", path, zip_strerror(archive));
    zip_discard(archive);
    throw std::runtime_error(message);
  }
  counts.mesh_files = int64_t(meshes.size());
  counts.archive_bytes = int64_t(std::filesystem::file_size(path));
  return counts;
}

// ---------------------------------------------------------------------------
// Cabinet runs sharing their definitions
// ---------------------------------------------------------------------------

namespace {

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

}  // namespace

std::string generate_cabinet_run(int cabinets) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<bxf xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
      "<head><version>2.0</version><unit meter=\"0.001\">mm</unit><angularunit>degree</angularunit></head>\n"
      "<scene><nodes><node id=\"run\"><cabinetLinks>\n";
  for (int i = 0; i < cabinets; ++i)
    add_link(xml, "cabinetLink", fmt::format("run-{}", i), fmt::format("cab-{}", i), fmt::format("{} 0 100", 600 * i));
  xml += "</cabinetLinks></node></nodes></scene>\n<library>\n<cabinets>\n";
  static const char* const carcass[6][2] = {{"KSL", "0 0 0"},        {"KSR", "581 0 0"},        {"KUB", "19 0 0"},
                                            {"TRAV-vo", "19 0 701"}, {"TRAV-hi", "19 460 701"}, {"KRW", "19 540 19"}};
  for (int i = 0; i < cabinets; ++i) {
    xml += fmt::format(
        "<cabinet id=\"cab-{}\" modelKey=\"US60\"><description>Base cabinet {}</description><partLinks>\n", i, i);
    for (int p = 0; p < 6; ++p)
      add_link(xml, "partLink", fmt::format("cab-{}-p{}", i, p), carcass[p][0], carcass[p][1]);
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
