#include "bench.generator.h"

#include <fmt/format.h>

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
                 "{}<transformations><transformation translation=\"{} {} {}\"/></transformations>\n", indent, x, y,
                 z);
}

}  // namespace

std::string generate_bxf2(int64_t parts, TGeneratedCounts* counts) {
  const int64_t cabinets = parts / parts_per_cabinet > 0 ? parts / parts_per_cabinet : 1;
  const int64_t nodes = (cabinets + cabinets_per_node - 1) / cabinets_per_node;
  TGeneratedCounts c;
  std::string out;
  out.reserve(size_t(cabinets) * 6000);
  auto w = std::back_inserter(out);

  out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out += "<bxf xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n";
  out += "  <head>\n    <version>2.0</version>\n    <author>Benchmark generator</author>\n"
         "    <copyright>Generated</copyright>\n    <unit meter=\"0.001\">mm</unit>\n"
         "    <country>DE</country>\n    <language>de</language>\n  </head>\n";

  out += "  <scene>\n    <nodes>\n";
  for (int64_t n = 0; n < nodes; ++n) {
    fmt::format_to(w, "      <node id=\"run-{}\" uid=\"N{:06}\">\n        <description>Run {}</description>\n"
                      "        <cabinetLinks>\n", n, n, n);
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
    fmt::format_to(w, "      <cabinet id=\"cab-{}\" uid=\"C{:06}\" modelKey=\"US60\">\n"
                      "        <description>Base cabinet 600 number {}</description>\n        <partLinks>\n", k, k, k);
    double x[] = {0, 581, 19, 19, 19, 19}, y[] = {0, 0, 0, 0, 540, 0}, z[] = {0, 0, 0, 701, 19, 682};
    for (int p = 0; p < 6; ++p) {
      fmt::format_to(w, "          <partLink id=\"cab-{}-p{}\" referenceId=\"part-{}-{}\">\n", k, p, k, p);
      transformation(out, "            ", x[p], y[p], z[p]);
      out += "          </partLink>\n";
      ++c.links;
    }
    fmt::format_to(w, "        </partLinks>\n        <containerLinks>\n"
                      "          <containerLink id=\"cab-{}-inner\" referenceId=\"inner-{}\">\n", k, k);
    transformation(out, "            ", 19, 0, 19);
    out += "          </containerLink>\n        </containerLinks>\n      </cabinet>\n";
    ++c.links;
  }
  out += "    </cabinets>\n    <containers>\n";
  for (int64_t k = 0; k < cabinets; ++k) {
    fmt::format_to(w, "      <container id=\"inner-{}\" uid=\"I{:06}\" modelKey=\"INNEN\">\n"
                      "        <functionUnitLinks>\n"
                      "          <functionUnitLink id=\"inner-{}-door\" referenceId=\"door-{}\">\n", k, k, k, k);
    transformation(out, "            ", -17, -21, -17);
    fmt::format_to(w, "          </functionUnitLink>\n"
                      "          <functionUnitLink id=\"inner-{}-shelf\" referenceId=\"shelf-{}\">\n", k, k);
    transformation(out, "            ", 0, 0, 322.5);
    out += "          </functionUnitLink>\n        </functionUnitLinks>\n"
           "        <boundary xsi:type=\"Box\"><extent>562 540 682</extent></boundary>\n      </container>\n";
    c.links += 2;
  }
  out += "    </containers>\n    <parts>\n";
  for (int64_t k = 0; k < cabinets; ++k) {
    double extents[][3] = {{19, 560, 720}, {19, 560, 720}, {562, 560, 19}, {562, 560, 19},
                           {562, 8, 682},  {562, 100, 19}};
    for (int p = 0; p < 6; ++p) {
      fmt::format_to(w, "      <part id=\"part-{}-{}\" uid=\"P{:06}{}\" modelKey=\"{}\">\n"
                        "        <geometry xsi:type=\"Box\"><extent>{} {} {}</extent></geometry>\n"
                        "        <drawingDetail frontOrientation=\"0 -1 0\" floorOrientation=\"0 0 -1\"/>\n"
                        "        <description>{}</description>\n      </part>\n",
                     k, p, k, p, carcass[p].key, extents[p][0], extents[p][1], extents[p][2], carcass[p].role);
    }
    fmt::format_to(w, "      <part id=\"front-{}\" uid=\"P{:06}F\" modelKey=\"H-FRONT\">\n"
                      "        <geometry xsi:type=\"Box\"><extent>596 19 716</extent></geometry>\n"
                      "        <description>Door</description>\n      </part>\n"
                      "      <part id=\"shelf-{}\" uid=\"P{:06}S\" modelKey=\"F-BOD\">\n"
                      "        <geometry xsi:type=\"Box\"><extent>560 500 19</extent></geometry>\n"
                      "        <description>Adjustable shelf</description>\n      </part>\n", k, k, k, k);
    c.parts += parts_per_cabinet;
  }
  out += "    </parts>\n    <functionUnits>\n";
  for (int64_t k = 0; k < cabinets; ++k) {
    fmt::format_to(w, "      <functionUnit id=\"door-{}\" uid=\"F{:06}D\">\n        <description>Door</description>\n"
                      "        <partLinks>\n          <partLink id=\"door-{}-front\" referenceId=\"front-{}\">\n",
                   k, k, k, k);
    transformation(out, "            ", 0, 0, 0);
    fmt::format_to(w, "          </partLink>\n        </partLinks>\n        <articleLinks>\n"
                      "          <articleLink id=\"door-{}-hinges\" referenceId=\"art-hinge\" quantity=\"2\"/>\n"
                      "          <articleLink id=\"door-{}-handle\" referenceId=\"art-handle-{}\" quantity=\"1\"/>\n"
                      "        </articleLinks>\n        <componentLinks>\n", k, k, k % 50);
    for (int h = 0; h < 2; ++h) {
      fmt::format_to(w, "          <componentLink id=\"door-{}-hinge-{}\" referenceId=\"hinge-{}\">\n", k, h, k);
      out += "            <transformations><transformation translation=\"20 19 ";
      out += h ? "100" : "600";
      out += "\" center=\"0 0 0\" rotation=\"0 0 1 90\"/></transformations>\n          </componentLink>\n";
    }
    fmt::format_to(w, "          <componentLink id=\"door-{}-handle\" referenceId=\"handle-{}\">\n", k, k);
    out += "            <transformations><transformation translation=\"540 -30 600\" center=\"0 0 0\" "
           "rotation=\"1 0 0 90\"/></transformations>\n          </componentLink>\n        </componentLinks>\n"
           "      </functionUnit>\n";
    fmt::format_to(w, "      <functionUnit id=\"shelf-{}\" uid=\"F{:06}S\">\n        <description>Shelf</description>\n"
                      "        <partLinks>\n          <partLink id=\"shelf-{}-board\" referenceId=\"shelf-{}\">\n",
                   k, k, k, k);
    transformation(out, "            ", 1, 20, 0);
    out += "          </partLink>\n        </partLinks>\n      </functionUnit>\n";
    c.links += 1 + 2 + 3 + 1;
  }
  // A hinge article and fifty handle articles; each handle component number
  // is listed by one of them.
  out += "    </functionUnits>\n    <articles>\n"
         "      <article id=\"art-hinge\" uid=\"A-H\" itemNumber=\"1\" articleNumber=\"1105\" totalQuantity=\"2\">\n"
         "        <material>Steel</material>\n"
         "        <componentNumbers><componentNumber>K2</componentNumber></componentNumbers>\n"
         "        <description>Concealed hinge</description>\n      </article>\n";
  for (int a = 0; a < 50; ++a) {
    fmt::format_to(w, "      <article id=\"art-handle-{}\" uid=\"A-{}\" itemNumber=\"{}\" articleNumber=\"47{:02}\" "
                      "totalQuantity=\"1\">\n        <material>Aluminium</material>\n        <componentNumbers>",
                   a, a, a + 2, a);
    for (int64_t k = a; k < cabinets; k += 50) fmt::format_to(w, "<componentNumber>K1-{}</componentNumber>", k);
    out += "</componentNumbers>\n        <description>Bar handle</description>\n      </article>\n";
  }
  out += "    </articles>\n    <components>\n";
  for (int64_t k = 0; k < cabinets; ++k) {
    fmt::format_to(w, "      <component id=\"hinge-{}\" uid=\"M{:06}H\" modelKey=\"hinge\" componentNumber=\"K2\"/>\n"
                      "      <component id=\"handle-{}\" uid=\"M{:06}G\" modelKey=\"handle\" componentNumber=\"K1-{}\">\n"
                      "        <machiningLinks><machiningLink id=\"handle-{}-cut\" referenceId=\"cut-{}\"/></machiningLinks>\n"
                      "      </component>\n", k, k, k, k, k, k, k);
    c.components += 2;
    c.links += 1;
  }
  out += "    </components>\n    <machiningGroups/>\n    <machinings>\n";
  for (int64_t k = 0; k < cabinets; ++k)
    fmt::format_to(w, "      <machining xsi:type=\"Cut\" id=\"cut-{}\" uid=\"X{:06}\" orientation=\"1 0 0\" "
                      "originalSize=\"200\" finalSize=\"{}\"/>\n"
                      "      <machining xsi:type=\"Drilling\" id=\"drill-{}\"/>\n", k, k, 160 + k % 40, k);
  out += "    </machinings>\n  </library>\n</bxf>\n";
  c.bytes = int64_t(out.size());
  if (counts) *counts = c;
  return out;
}
