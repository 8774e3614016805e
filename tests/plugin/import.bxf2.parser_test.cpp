#include "import.bxf2.parser.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform.locale.h"
#include "test.support.h"

using namespace test_support;

namespace {

std::unique_ptr<CBXF> parse_text(const std::string& xml) {
  TTempFile file(xml);
  return parse_file(file.path());
}

std::string in_library(const std::string& xml) { return "<bxf><library>" + xml + "</library></bxf>"; }
std::string in_nodes(const std::string& xml) { return "<bxf><scene><nodes>" + xml + "</nodes></scene></bxf>"; }
// A part link list holding one link with `transformations`.
std::string in_transformations(const std::string& xml) {
  return in_library(
      "<parts><part id='P'/></parts><cabinets><cabinet id='K'><partLinks><partLink referenceId='P'>"
      "<transformations>" +
      xml + "</transformations></partLink></partLinks></cabinet></cabinets>");
}

struct SeparatorGuard {
  ~SeparatorGuard() { set_decimal_separator(0); }
};

const char* const full_document = R"(<?xml version="1.0" encoding="UTF-8"?>
<bxf xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" version="ignored">
  <head>
    <version>2.0</version><date>2026-12-01</date><author>Studio</author>
    <copyright>(c) us</copyright><unit meter="0.001">mm</unit><angularunit>grad</angularunit>
    <country>DE</country><language>de</language><extra>skipped</extra>
  </head>
  <scene>
    <nodes>
      <node id="N1" uid="U1">
        <description>Run <!-- a note --> one</description>
        <cabinetLinks>
          <cabinetLink id="L1" referenceId="K1" uid="ignored">
            <transformations>
              <transformation translation="100 0 50" center="1 2 3" rotation="0 0 1 90"/>
              <transformation translation="5 6 7"/>
            </transformations>
            <somethingElse/>
          </cabinetLink>
        </cabinetLinks>
        <containerLinks><containerLink id="L2" referenceId="C1"/></containerLinks>
      </node>
    </nodes>
    <lights/>
  </scene>
  <library>
    <cabinetGroups>
      <cabinetGroup id="G"><cabinetLink referenceId="K1"/><cabinetLink referenceId="k1"/></cabinetGroup>
    </cabinetGroups>
    <cabinets>
      <cabinet id="K1" uid="UK1" modelKey="MK1">
        <description>Base cabinet</description>
        <partLinks><partLink id="PL1" referenceId="P1" uid="U"/></partLinks>
        <containerLinks><containerLink referenceId="C1"/></containerLinks>
      </cabinet>
    </cabinets>
    <containers>
      <container id="C1" modelKey="MC1">
        <functionUnitLinks><functionUnitLink referenceId="F1"/></functionUnitLinks>
        <boundary xsi:type="BoxBoundary"><extent>600 560 720</extent></boundary>
      </container>
    </containers>
    <parts>
      <part id="P1" uid="UP1" modelKey="side">
        <geometry xsi:type="box"><extent>19 560 720</extent></geometry>
        <drawingDetail frontOrientation="0 -1 0" floorOrientation="0 0 -1"><anything/></drawingDetail>
        <description>Side</description>
        <edges><!-- skipped --></edges>
      </part>
      <part id="P2">
        <geometry xsi:type="Prism">
          <basePoints><point>0 0</point><point>100 0</point><point>0 50</point></basePoints>
          <zValue>18</zValue>
        </geometry>
      </part>
      <part id="P3"><geometry xsi:type="Box"><extent>1 1 1</extent></geometry><geometry xsi:type="Cylinder"/></part>
      <part id="P4"><geometry/></part>
    </parts>
    <functionUnits>
      <functionUnit id="F1" uid="UF1" modelKey="not read">
        <partLinks><partLink referenceId="P2"/></partLinks>
        <articleLinks><articleLink referenceId="A1" quantity="4"/></articleLinks>
        <componentLinks><componentLink referenceId="CO1"/></componentLinks>
        <description>Hinge set</description>
        <unknownChild/>
      </functionUnit>
    </functionUnits>
    <articles>
      <article id="A1" itemNumber="10" articleNumber="4711" totalQuantity="4">
        <material>Steel</material>
        <componentNumbers><componentNumber>K1</componentNumber><componentNumber>K1</componentNumber></componentNumbers>
        <description>Hinge</description>
      </article>
    </articles>
    <components>
      <component id="CO1" modelKey="hinge" componentNumber="K1">
        <machiningLinks><machiningLink referenceId="M1"/></machiningLinks>
        <other/>
      </component>
    </components>
    <machiningGroups><machiningGroup><!-- anything --><bogus/></machiningGroup>text</machiningGroups>
    <machinings>
      <machining xsi:type="Groove" id="M0"/>
      <machining xsi:type="Cut" id="M1" uid="UM1" orientation="1 0 0" originalSize="600" finalSize="598,5"/>
      <machining id="M2"/>
      <machining xsi:type="Drilling"/><machining xsi:type="Rabbet"/><machining xsi:type="Rounding"/>
    </machinings>
  </library>
</bxf>
)";

}  // namespace

TEST(parser, full_document) {
  SeparatorGuard guard;
  set_decimal_separator(',');
  auto doc = parse_text(full_document);
  ASSERT_TRUE(doc);
  CBXF_head* head = doc->head();
  EXPECT_EQ(head->version(), "2.0");
  EXPECT_EQ(head->author(), "Studio");
  EXPECT_EQ(head->copyright(), "(c) us");
  EXPECT_EQ(head->country(), "DE");
  EXPECT_EQ(head->language(), "de");
  EXPECT_EQ(head->date(), 0.0);
  EXPECT_EQ(head->units()->meter(), 0.0);
  EXPECT_EQ(head->units()->name(), "");
  EXPECT_EQ(head->angular_unit(), au_degree);

  ASSERT_EQ(doc->scene()->nodes()->count(), 1);
  CBXF_node* node = doc->scene()->nodes()->at(0);
  EXPECT_EQ(node->id(), "N1");
  EXPECT_EQ(node->uid(), "U1");
  EXPECT_EQ(node->description(), "Run  one");
  ASSERT_EQ(node->cabinet_links()->count(), 1);
  CBXF_cabinet_link* link = node->cabinet_links()->at(0);
  EXPECT_EQ(link->id(), "L1");
  EXPECT_EQ(link->reference_id(), "K1");
  ASSERT_EQ(link->transformations()->count(), 2);
  CBXF_transformation* t = link->transformations()->at(0);
  EXPECT_EQ(t->translation().x, 100.0);
  EXPECT_EQ(t->translation().z, 50.0);
  EXPECT_EQ(t->center().y, 2.0);
  EXPECT_EQ(t->rotation().w, 90.0);
  CBXF_transformation* only_translation = link->transformations()->at(1);
  EXPECT_EQ(only_translation->center().x, 0.0);
  EXPECT_EQ(only_translation->rotation().w, 0.0);
  EXPECT_EQ(only_translation->translation().y, 6.0);

  CBXF_library* lib = doc->lib();
  ASSERT_EQ(lib->cabinet_groups()->count(), 1);
  EXPECT_EQ(lib->cabinet_groups()->id(), "");
  EXPECT_EQ(lib->cabinet_groups()->at(0)->count(), 2);

  ASSERT_EQ(lib->cabinets()->count(), 1);
  CBXF_cabinet* cabinet = lib->cabinets()->at(0);
  EXPECT_EQ(link->reference(), cabinet);
  EXPECT_EQ(cabinet->uid(), "UK1");
  EXPECT_EQ(cabinet->model_key(), "MK1");
  EXPECT_EQ(cabinet->description(), "Base cabinet");
  EXPECT_EQ(cabinet->part_links()->count(), 1);
  EXPECT_EQ(cabinet->part_links()->at(0)->uid(), "");
  EXPECT_EQ(cabinet->container_links()->count(), 1);
  CBXF_node* cabinet_as_node = cabinet;
  EXPECT_EQ(cabinet_as_node->description(), "");
  EXPECT_EQ(cabinet_as_node->container_links()->count(), 0);
  EXPECT_EQ(cabinet_as_node->cabinet_links()->count(), 0);

  CBXF_container* container = lib->containers()->at(0);
  EXPECT_EQ(container->model_key(), "MC1");
  EXPECT_EQ(container->boundary()->kind(), "BoxBoundary");
  EXPECT_EQ(container->boundary()->extent().z, 720.0);
  EXPECT_EQ(container->function_unit_links()->at(0)->reference(), lib->function_units()->at(0));

  ASSERT_EQ(lib->parts()->count(), 4);
  CBXF_part* side = lib->parts()->at(0);
  EXPECT_EQ(side->model_key(), "side");
  EXPECT_EQ(side->description(), "Side");
  auto* box = dynamic_cast<CBXF_box_geometry*>(side->geometry());
  ASSERT_TRUE(box);
  EXPECT_EQ(box->extent().x, 19.0);
  EXPECT_EQ(box->bxf(), doc.get());
  EXPECT_EQ(side->drawing_detail()->front_orientation().y, -1.0);
  EXPECT_EQ(side->drawing_detail()->floor_orientation().z, -1.0);
  auto* prism = dynamic_cast<CBXF_prism_geometry*>(lib->parts()->at(1)->geometry());
  ASSERT_TRUE(prism);
  ASSERT_EQ(prism->base_points()->count(), 3);
  EXPECT_EQ(prism->base_points()->at(1).x, 100.0);
  EXPECT_EQ(prism->base_points()->at(2).y, 50.0);
  EXPECT_EQ(prism->z_value(), 18.0);
  EXPECT_EQ(lib->parts()->at(2)->geometry(), nullptr);  // replaced by an unsupported type
  EXPECT_EQ(lib->parts()->at(3)->geometry(), nullptr);  // no type

  CBXF_function_unit* unit = lib->function_units()->at(0);
  EXPECT_EQ(unit->uid(), "UF1");
  EXPECT_EQ(unit->description(), "Hinge set");
  EXPECT_EQ(unit->part_links()->at(0)->reference(), lib->parts()->at(1));
  EXPECT_EQ(unit->article_links()->at(0)->quantity(), 4);

  CBXF_article* article = lib->articles()->at(0);
  EXPECT_EQ(article->item_number(), "10");
  EXPECT_EQ(article->article_number(), "4711");
  EXPECT_EQ(article->total_quantity(), 4);
  EXPECT_EQ(article->material(), "Steel");
  EXPECT_EQ(article->description(), "Hinge");
  EXPECT_EQ(article->component_numbers()->get_count(), 2);

  CBXF_component* component = lib->components()->at(0);
  EXPECT_EQ(component->model_key(), "hinge");
  EXPECT_EQ(component->component_number(), "K1");
  EXPECT_EQ(component->article(), article);
  EXPECT_EQ(unit->component_links()->at(0)->reference(), component);

  EXPECT_EQ(lib->machining_groups()->count(), 0);
  ASSERT_EQ(lib->machinings()->count(), 1);
  auto* cut = dynamic_cast<CBXF_cut_machining*>(lib->machinings()->at(0));
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->id(), "M1");
  EXPECT_EQ(cut->uid(), "UM1");
  EXPECT_EQ(cut->orientation().x, 1.0);
  EXPECT_EQ(cut->original_size(), 600.0);
  EXPECT_EQ(cut->final_size(), 598.5);
  EXPECT_EQ(component->machining_links()->at(0)->reference(), cut);
}

TEST(parser, documents_and_no_documents) {
  EXPECT_FALSE(parse_text("<bxf><head></bxf>"));  // not well-formed
  EXPECT_FALSE(parse_text(""));
  EXPECT_FALSE(parse_file("/nonexistent/file.bxf2"));

  auto other =
      parse_text("<document><head><version>1</version></head><scene><nodes><node/></nodes></scene></document>");
  ASSERT_TRUE(other);
  EXPECT_EQ(other->head()->version(), "");
  EXPECT_EQ(other->scene()->nodes()->count(), 0);

  auto capitals = parse_text("<BXF><HEAD><Version>3</Version></HEAD></BXF>");
  ASSERT_TRUE(capitals);
  EXPECT_EQ(capitals->head()->version(), "3");

  // CParser can parse more than once, each time a new document.
  TTempFile file("<bxf><head><author>A</author></head></bxf>");
  CParser parser(file.path());
  std::unique_ptr<CBXF> a(parser.parse()), b(parser.parse());
  ASSERT_TRUE(a && b);
  EXPECT_NE(a.get(), b.get());
  EXPECT_EQ(b->head()->author(), "A");
}

TEST(parser, repeated_elements_add_or_overwrite) {
  auto doc = parse_text(
      "<bxf><head><version>1</version><version>2</version></head>"
      "<scene><nodes><node id='a'/></nodes></scene><scene><nodes><NODE id='b'/></nodes><nodes><node "
      "id='c'/></nodes></scene>"
      "<library><parts><part id='p1'/></parts></library><library><parts><part id='p2'/></parts></library></bxf>");
  ASSERT_TRUE(doc);
  EXPECT_EQ(doc->head()->version(), "2");
  ASSERT_EQ(doc->scene()->nodes()->count(), 3);
  EXPECT_EQ(doc->scene()->nodes()->at(1)->id(), "b");
  EXPECT_EQ(doc->scene()->nodes()->at(2)->id(), "c");
  EXPECT_EQ(doc->lib()->parts()->count(), 2);
}

// A conforming parser refuses an attribute written twice, but "xsi:type"
// can be written in 128 letter cases, all of which the reader takes for the
// type. Each element's attributes are read in one pass, and a geometry's
// children once per type, whatever the number of types.
TEST(parser, repeated_types_are_read_once) {
  std::vector<std::string> spellings;
  const std::string name = "xsi:type";
  for (int bits = 0; bits < 128; ++bits) {
    std::string spelled = name;
    int letter = 0;
    for (char& c : spelled)
      if (c != ':' && (bits >> letter++ & 1)) c = char(c - 'a' + 'A');
    spellings.push_back(spelled);
  }
  auto types = [&](const std::vector<std::string>& values) {
    std::string attributes;
    for (size_t i = 0; i < values.size(); ++i) attributes += " " + spellings[i] + "='" + values[i] + "'";
    return attributes;
  };
  auto geometry = [&](const std::vector<std::string>& values, const std::string& children) {
    return in_library("<parts><part><geometry" + types(values) + ">" + children + "</geometry></part></parts>");
  };

  // The last type decides; every type's children are read once.
  std::vector<std::string> all_box(128, "Box");
  auto doc = parse_text(geometry(all_box, "<extent>1 2 3</extent>"));
  ASSERT_TRUE(doc);
  auto* box = dynamic_cast<CBXF_box_geometry*>(doc->lib()->parts()->at(0)->geometry());
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->extent().z, 3.0);
  doc = parse_text(geometry({"Box", "Prism", "BOX"}, ""));
  ASSERT_TRUE(doc);
  EXPECT_NE(dynamic_cast<CBXF_box_geometry*>(doc->lib()->parts()->at(0)->geometry()), nullptr);
  doc = parse_text(geometry({"Box", "Cylinder"}, "<extent>1 2 3</extent>"));
  ASSERT_TRUE(doc);
  EXPECT_EQ(doc->lib()->parts()->at(0)->geometry(), nullptr);
  // A Prism type reads the same children as a prism, whatever follows.
  TRaised r = raised_by([&] { parse_text(geometry({"Box", "Prism", "Box"}, "<extent>1 2 3</extent>")); });
  EXPECT_EQ(r.class_name, "EAssertionFailed");
  EXPECT_EQ(r.message.substr(0, 7), "extent ");

  // A machining is a cut when any of its types is Cut; its values are then
  // read wherever they stand, and only then.
  std::vector<std::string> mixed(128, "Groove");
  mixed[77] = "Cut";
  doc = parse_text(in_library("<machinings><machining orientation='0 1 0'" + types(mixed) +
                              " id='M' finalSize='5'/><machining orientation='bad'" + types({"Groove", "Drilling"}) +
                              "/></machinings>"));
  ASSERT_TRUE(doc);
  ASSERT_EQ(doc->lib()->machinings()->count(), 1);
  auto* cut = dynamic_cast<CBXF_cut_machining*>(doc->lib()->machinings()->at(0));
  ASSERT_NE(cut, nullptr);
  EXPECT_EQ(cut->id(), "M");
  EXPECT_EQ(cut->orientation().y, 1.0);
  EXPECT_EQ(cut->final_size(), 5.0);
  r = raised_by([&] {
    parse_text(in_library("<machinings><machining orientation='bad'" + types({"Groove", "Cut"}) + "/></machinings>"));
  });
  EXPECT_EQ(r.class_name, "EAssertionFailed");
}

TEST(parser, lenient_positions_skip_without_looking_inside) {
  const char* cases[] = {
      "<bxf><head><date>x</date><unit><!--c--></unit><foo><?pi?>t</foo></head></bxf>",
      "<bxf><scene><lights><!--c-->text</lights></scene></bxf>",
      "<bxf><library><parts><part><edges><!--c--><x/></edges></part></parts></library></bxf>",
      "<bxf><library><functionUnits><functionUnit><x><!--c--></x></functionUnit></functionUnits></library></bxf>",
      "<bxf><library><components><component><x><!--c--></x></component></components></library></bxf>",
      "<bxf><library><machiningGroups><x><!--c--></x>text</machiningGroups></library></bxf>",
      "<bxf><library><parts><part><drawingDetail><x>text<!--c--></x></drawingDetail></part></parts></library></bxf>",
      "<bxf><library><machinings><machining xsi:type='Cut'><x><!--c--></x></machining></machinings></library></bxf>",
      "<bxf><library><machinings><machining xsi:type='Groove' orientation='bad'/></machinings></library></bxf>",
      "<bxf><scene><nodes><node><description>a<!--c-->b<x/></description></node></nodes></scene></bxf>",
      "<bxf><library><parts><part><geometry><bogus/></geometry></part></parts></library></bxf>",
  };
  for (const char* xml : cases) {
    SCOPED_TRACE(xml);
    TRaised r = raised_by([&] { parse_text(xml); });
    EXPECT_EQ(r.class_name, "") << r.message;
  }
}

TEST(parser, failures) {
  const std::string parser = "import.bxf2.parser";
  const std::string tools = "import.bxf2.parser.tools";
  struct Case {
    std::string xml;
    const char* class_name;
    std::string message;  // the message, or the prefix of an assertion failure's text
    bool is_prefix;
  } cases[] = {
      // Unexpected elements at strict positions: the name as written.
      {"<bxf><Foo/></bxf>", "EAssertionFailed", assertion_prefix("Foo", parser), true},
      {in_nodes("<thing/>"), "EAssertionFailed", assertion_prefix("thing", parser), true},
      {in_nodes("<node><partLinks/></node>"), "EAssertionFailed", assertion_prefix("partLinks", parser), true},
      {in_nodes("<node><cabinetLinks><containerLink/></cabinetLinks></node>"), "EAssertionFailed",
       assertion_prefix("containerLink", parser), true},
      {in_transformations("<Translation/>"), "EAssertionFailed", assertion_prefix("Translation", parser), true},
      {in_library("<nodes/>"), "EAssertionFailed", assertion_prefix("nodes", parser), true},
      {in_library("<cabinetGroups><group/></cabinetGroups>"), "EAssertionFailed", assertion_prefix("group", parser),
       true},
      {in_library("<cabinetGroups><cabinetGroup><cabinetLinks/></cabinetGroup></cabinetGroups>"), "EAssertionFailed",
       assertion_prefix("cabinetLinks", parser), true},
      {in_library("<cabinets><cabinet><geometry/></cabinet></cabinets>"), "EAssertionFailed",
       assertion_prefix("geometry", parser), true},
      {in_library("<containers><container><description/></container></containers>"), "EAssertionFailed",
       assertion_prefix("description", parser), true},
      {in_library("<containers><container><boundary><size/></boundary></container></containers>"), "EAssertionFailed",
       assertion_prefix("size", parser), true},
      {in_library("<parts><part><geometry xsi:type='Box'><size/></geometry></part></parts>"), "EAssertionFailed",
       assertion_prefix("size", parser), true},
      {in_library("<parts><part><geometry xsi:type='Prism'><extent/></geometry></part></parts>"), "EAssertionFailed",
       assertion_prefix("extent", parser), true},
      {in_library(
           "<parts><part><geometry xsi:type='Prism'><basePoints><corner/></basePoints></geometry></part></parts>"),
       "EAssertionFailed", assertion_prefix("corner", parser), true},
      {in_library("<articles><article><price/></article></articles>"), "EAssertionFailed",
       assertion_prefix("price", parser), true},
      {in_library("<articles><article><componentNumbers><number/></componentNumbers></article></articles>"),
       "EAssertionFailed", assertion_prefix("number", parser), true},
      {in_library("<machinings><cut/></machinings>"), "EAssertionFailed", assertion_prefix("cut", parser), true},
      // Unexpected attributes where attributes are strict: the attribute's name.
      {in_transformations("<transformation xmlns:x='u' translation='1 2 3'/>"), "EAssertionFailed",
       assertion_prefix("xmlns:x", parser), true},
      {in_library("<containers><container><boundary id='b'/></container></containers>"), "EAssertionFailed",
       assertion_prefix("id", parser), true},
      {in_library("<parts><part><geometry id='g' xsi:type='Box'/></part></parts>"), "EAssertionFailed",
       assertion_prefix("id", parser), true},
      {in_library("<parts><part><drawingDetail frontOrientation='0 1 0' up='0 0 1'/></part></parts>"),
       "EAssertionFailed", assertion_prefix("up", parser), true},
      // Nodes that are not elements where children are enumerated.
      {in_nodes("<node/><!-- between --><node/>"), "EParse", "", false},
      {"<bxf>text</bxf>", "EParse", "", false},
      {in_library("<?pi data?>"), "EParse", "", false},
      {in_transformations("<![CDATA[x]]>"), "EParse", "", false},
      {in_library("<parts><part><geometry xsi:type='Box'><!--c--></geometry></part></parts>"), "EParse", "", false},
      {"<bxf><head><!--c--></head></bxf>", "EParse", "", false},
      // Numbers, integers and vectors.
      {in_transformations("<transformation center='1 x 3'/>"), "EConvertError",
       "'x' is not a valid floating point value", false},
      {in_transformations("<transformation rotation='0 0 1'/>"), "EAssertionFailed",
       assertion_prefix("Assertion failure", tools), true},
      {in_transformations("<transformation translation='1  2 3'/>"), "EAssertionFailed",
       assertion_prefix("Assertion failure", tools), true},
      {in_library("<functionUnits><functionUnit><articleLinks><articleLink quantity='2.5'/></articleLinks>"
                  "</functionUnit></functionUnits>"),
       "EConvertError", "'2.5' is not a valid integer value", false},
      {in_library("<articles><article totalQuantity='many'/></articles>"), "EConvertError",
       "'many' is not a valid integer value", false},
      {in_library("<parts><part><geometry xsi:type='Prism'><zValue>1,000.5</zValue></geometry></part></parts>"),
       "EConvertError", "'1.000.5' is not a valid floating point value", false},
      {in_library("<parts><part><geometry xsi:type='Prism'><basePoints><point>1 2 3</point></basePoints>"
                  "</geometry></part></parts>"),
       "EAssertionFailed", assertion_prefix("Assertion failure", tools), true},
      {in_library("<containers><container><boundary><extent>1 2</extent></boundary></container></containers>"),
       "EAssertionFailed", assertion_prefix("Assertion failure", tools), true},
      {in_library("<machinings><machining xsi:type='Cut' finalSize='abc'/></machinings>"), "EConvertError",
       "'abc' is not a valid floating point value", false},
      {in_library("<parts><part><drawingDetail floorOrientation='0;0;1'/></part></parts>"), "EAssertionFailed",
       assertion_prefix("Assertion failure", tools), true},
  };
  SeparatorGuard guard;
  set_decimal_separator('.');
  int64_t before = CBXF_object::live_objects();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.xml);
    TRaised r = raised_by([&] { parse_text(c.xml); });
    EXPECT_EQ(r.class_name, c.class_name);
    if (c.is_prefix)
      EXPECT_TRUE(r.message.starts_with(c.message)) << r.message;
    else
      EXPECT_EQ(r.message, c.message);
    EXPECT_EQ(CBXF_object::live_objects(), before);  // partial items and the document are freed
  }
}

// A rejection names the line of the reader that rejected, so that rejections
// in different places of the reader tell apart.
TEST(parser, rejections_name_the_line_that_rejected) {
  const std::string cases[] = {
      "<bxf><Foo/></bxf>",                                 // the root's children
      in_library("<nodes/>"),                              // the library's children
      in_nodes("<thing/>"),                                // a list's items
      in_transformations("<transformation up='1 2 3'/>"),  // a transformation's attributes
      in_library("<parts><part><geometry xsi:type='Box'><size/></geometry></part></parts>"),  // a box's children
  };
  std::set<std::string> lines;
  for (const std::string& xml : cases) {
    TRaised r = raised_by([&] { parse_text(xml); });
    ASSERT_EQ(r.class_name, "EAssertionFailed") << xml;
    const size_t at = r.message.find("(import.bxf2.parser, line ");
    ASSERT_NE(at, std::string::npos) << r.message;
    lines.insert(r.message.substr(at));
  }
  EXPECT_EQ(lines.size(), std::size(cases));
}

TEST(parser, failure_halfway_frees_everything) {
  const std::string xml = in_library(
      "<parts><part id='ok'><geometry xsi:type='Box'><extent>1 2 3</extent></geometry></part></parts>"
      "<cabinets><cabinet id='K'><partLinks>"
      "<partLink referenceId='ok'><transformations><transformation center='1 2 3'/></transformations></partLink>"
      "<partLink referenceId='ok'><transformations><transformation center='1 2 3'/>"
      "<transformation center='bad'/></transformations></partLink>"
      "</partLinks></cabinet></cabinets>");
  int64_t before = CBXF_object::live_objects();
  TTempFile file(xml);
  TBXF_read_location where;
  TRaised r = raised_by([&] { parse_file(file.path(), &where); });
  EXPECT_EQ(r.class_name, "EAssertionFailed");
  EXPECT_EQ(CBXF_object::live_objects(), before);
  EXPECT_EQ(node_path(where.node, where.attribute),
            "bxf/library/cabinets/cabinet/partLinks/partLink[2]/transformations/transformation[2]/@center");
}

TEST(parser, failure_locations) {
  struct Case {
    std::string xml;
    const char* path;
  } cases[] = {
      {in_library("<parts><part/><part/><part><geometry xsi:type='Box'><extent>1</extent></geometry></part></parts>"),
       "bxf/library/parts/part[3]/geometry/extent"},
      {in_nodes("<node/><!--c--><node/>"), "bxf/scene/nodes/comment()"},
      {"<bxf><head/><Foo/></bxf>", "bxf/Foo"},
      {in_library("<containers><container><boundary id='x'/></container></containers>"),
       "bxf/library/containers/container/boundary/@id"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.xml);
    TTempFile file(c.xml);
    TBXF_read_location where;
    EXPECT_THROW(parse_file(file.path(), &where), Exception);
    EXPECT_EQ(node_path(where.node, where.attribute), c.path);
  }
  // Nothing failed: no place.
  TTempFile good(in_nodes("<node/>"));
  TBXF_read_location where;
  parse_file(good.path(), &where);
  EXPECT_TRUE(where.node.is_null());
}

TEST(parser, deep_and_wide_files_do_not_exhaust_the_stack) {
  std::string deep;
  for (int i = 0; i < 200000; ++i) deep += "<x>";
  for (int i = 0; i < 200000; ++i) deep += "</x>";
  auto lenient = parse_text("<bxf><head>" + deep + "</head><scene>" + deep + "</scene></bxf>");
  EXPECT_TRUE(lenient);
  // Deep text is collected without recursion too.
  auto described = parse_text(in_nodes("<node><description>" + deep + "</description></node>"));
  ASSERT_TRUE(described);
  std::string wide = "<parts>";
  for (int i = 0; i < 20000; ++i) wide += "<part id='p" + std::to_string(i) + "'/>";
  wide += "</parts>";
  auto many = parse_text(in_library(wide));
  ASSERT_TRUE(many);
  EXPECT_EQ(many->lib()->parts()->count(), 20000);
}

TEST(parser, reads_the_example_files) {
  std::unique_ptr<CBXF> kitchen = parse_file(std::string(BXF_EXAMPLES_DIR) + "/kitchen/kitchen.bxf2");
  ASSERT_TRUE(kitchen);
  EXPECT_GT(kitchen->lib()->parts()->count(), 0);
}
