#include "import.bxf2.parser.tools.h"

#include <gtest/gtest.h>

#include "platform.locale.h"
#include "test.support.h"

using namespace test_support;

namespace {

// The root element of an inline document.
TXMLNode root_of(const std::string& xml) {
  TTempFile file(xml);
  TRef<IXMLDOMDocument> dom = load_document(file.path());
  EXPECT_TRUE(dom) << xml;
  return dom ? dom->document_element() : TXMLNode();
}

// The value of attribute `v` on <e v='...'/>.
TXMLNode value_node(const std::string& text) { return root_of("<e v='" + text + "'/>").attributes().item(0); }

// Restores the environment's decimal separator.
struct SeparatorGuard {
  ~SeparatorGuard() { set_decimal_separator(0); }
};

}  // namespace

TEST(parser_tools, load_document) {
  TTempFile good("<bxf/>");
  EXPECT_TRUE(load_document(good.path()));
  TTempFile bad("<bxf>");
  EXPECT_FALSE(load_document(bad.path()));
  EXPECT_FALSE(load_document("/nonexistent/x.bxf2"));
}

TEST(parser_tools, element_classification) {
  struct Case {
    const char* name;
    TBXF_element element;
  } cases[] = {
      {"bxf", TBXF_element::bxf},
      {"NODE", TBXF_element::node},
      {"cabinetlinks", TBXF_element::cabinetLinks},
      {"description", TBXF_element::description},
      {"angularunit", TBXF_element::angularunit},
      {"unknown", TBXF_element::unknown},
      {"somethingElse", TBXF_element::unknown},
      {"xsi:geometry", TBXF_element::unknown},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(element_of(root_of(std::string("<") + c.name + "/>")), c.element);
  }
  for (size_t i = 0; i < size_t(TBXF_element::unknown); ++i)
    EXPECT_EQ(element_named(BXF_element_names[i]), TBXF_element(i)) << BXF_element_names[i];
}

TEST(parser_tools, element_of_non_elements_raises_eparse) {
  TXMLNode root = root_of("<a><!--c--><?pi x?><![CDATA[d]]>text</a>");
  TXMLNodeList children = root.child_nodes();
  ASSERT_EQ(children.length(), 4);
  for (int32_t i = 0; i < 4; ++i) {
    TRaised r = raised_by([&] { element_of(children.item(i)); });
    EXPECT_EQ(r.class_name, "EParse");
    EXPECT_EQ(r.message, "");
  }
  TRaised r = raised_by([] { element_of(TXMLNode()); });
  EXPECT_EQ(r.class_name, "EAssertionFailed");
  EXPECT_TRUE(r.message.starts_with(assertion_prefix("Assertion failure", "import.bxf2.parser.tools"))) << r.message;
}

TEST(parser_tools, attribute_classification) {
  // Namespace declarations come first.
  TXMLNode e = root_of("<e ID='1' Uid='2' xsi:type='Box' XSI:TYPE='x' xmlns:xsi='u' quantity='3' other='4'/>");
  TBXF_attribute expected[] = {TBXF_attribute::unknown,  TBXF_attribute::id,       TBXF_attribute::uid,
                               TBXF_attribute::xsi_type, TBXF_attribute::xsi_type, TBXF_attribute::quantity,
                               TBXF_attribute::unknown};
  TXMLNamedNodeMap attributes = e.attributes();
  ASSERT_EQ(attributes.length(), 7);
  for (int32_t i = 0; i < 7; ++i) EXPECT_EQ(attribute_of(attributes.item(i)), expected[i]) << i;
  // Elements are not attributes, whatever their name.
  EXPECT_EQ(attribute_of(root_of("<id/>")), TBXF_attribute::unknown);
  for (size_t i = 0; i < size_t(TBXF_attribute::unknown); ++i)
    EXPECT_EQ(attribute_named(BXF_attribute_names[i]), TBXF_attribute(i)) << BXF_attribute_names[i];
}

TEST(parser_tools, type_tables) {
  EXPECT_EQ(geometry_type_of("box"), TBXF_geometry_type::Box);
  EXPECT_EQ(geometry_type_of("PRISM"), TBXF_geometry_type::Prism);
  EXPECT_EQ(geometry_type_of("Cylinder"), TBXF_geometry_type::unknown);
  EXPECT_EQ(geometry_type_of(""), TBXF_geometry_type::unknown);
  EXPECT_EQ(machining_type_of("cut"), TBXF_machining_type::Cut);
  EXPECT_EQ(machining_type_of("Groove"), TBXF_machining_type::Groove);
  EXPECT_EQ(machining_type_of("Rounding"), TBXF_machining_type::Rounding);
  EXPECT_EQ(machining_type_of("Milling"), TBXF_machining_type::unknown);
}

TEST(parser_tools, enumerators) {
  TXMLNode e = root_of("<e a='1' b='2'><x/><y/><z/></e>");
  std::string seen;
  for (TRef<IDOMEnumerator> it = attributes_of(e); it->moveNext();) seen += it->current().node_name();
  for (TRef<IDOMEnumerator> it = children_of(e); it->moveNext();) seen += it->current().node_name();
  EXPECT_EQ(seen, "abxyz");

  TRef<IDOMEnumerator> it = children_of(e);
  EXPECT_EQ(it->getEnumerator(), it);
  while (it->moveNext()) {
  }
  EXPECT_FALSE(it->moveNext());  // stays at the end
  EXPECT_EQ(it->current().node_name(), "z");

  TXMLNode empty = root_of("<e/>");
  EXPECT_FALSE(attributes_of(empty)->moveNext());
  EXPECT_FALSE(children_of(empty)->moveNext());
  EXPECT_EQ(raised_by([] { children_of(TXMLNode()); }).class_name, "EAssertionFailed");
}

TEST(parser_tools, node_text) {
  TXMLNode e = root_of("<e a='v' empty=''><t>x<!--c-->y</t><n/><!--note--></e>");
  EXPECT_EQ(node_text(e.attributes().item(0)), "v");
  EXPECT_EQ(node_text(e.attributes().item(1)), "");
  EXPECT_EQ(node_text(e.child_nodes().item(0)), "xy");
  EXPECT_EQ(node_text(e.child_nodes().item(1)), "");
  EXPECT_EQ(node_text(e.child_nodes().item(2)), "note");  // no text: its value
  EXPECT_EQ(raised_by([] { node_text(TXMLNode()); }).class_name, "EAssertionFailed");
}

TEST(parser_tools, numbers_under_any_separator) {
  SeparatorGuard guard;
  for (char separator : {'.', ','}) {
    set_decimal_separator(separator);
    SCOPED_TRACE(separator);
    EXPECT_EQ(to_double("598,5"), 598.5);
    EXPECT_EQ(to_double("598.5"), 598.5);
    EXPECT_EQ(to_double("-1e3"), -1000.0);
    EXPECT_EQ(to_double(" 7 "), 7.0);
    std::string s(1, separator);
    struct Bad {
      const char* text;
      std::string shown;  // the text with both marks replaced
    } bad[] = {{"1.000,5", "1" + s + "000" + s + "5"}, {"abc", "abc"}, {"", ""}, {"1 2", "1 2"}, {"1;2", "1;2"}};
    for (const auto& b : bad) {
      TRaised r = raised_by([&] { to_double(b.text); });
      EXPECT_EQ(r.class_name, "EConvertError");
      EXPECT_EQ(r.message, "'" + b.shown + "' is not a valid floating point value");
    }
  }
}

TEST(parser_tools, integers) {
  EXPECT_EQ(read_integer(value_node("42")), 42);
  EXPECT_EQ(read_integer(value_node("-2147483648")), INT32_MIN);
  for (const char* bad : {"2147483648", "1.5", "x", ""}) {
    TRaised r = raised_by([&] { read_integer(value_node(bad)); });
    EXPECT_EQ(r.class_name, "EConvertError");
    EXPECT_EQ(r.message, std::string("'") + bad + "' is not a valid integer value");
  }
  EXPECT_EQ(read_double(value_node("1,25")), 1.25);
}

TEST(parser_tools, vectors) {
  SeparatorGuard guard;
  set_decimal_separator(',');
  float3 v = read_float3(value_node("1.5 -2,25 3e1"));
  EXPECT_EQ(v.x, 1.5);
  EXPECT_EQ(v.y, -2.25);
  EXPECT_EQ(v.z, 30.0);
  float2 p = read_float2(value_node("10 20"));
  EXPECT_EQ(p.x, 10.0);
  EXPECT_EQ(p.y, 20.0);
  float4 q = read_float4(value_node("0 0 1 90"));
  EXPECT_EQ(q.z, 1.0);
  EXPECT_EQ(q.w, 90.0);
  // Element text counts as well as attribute text.
  EXPECT_EQ(read_float3(root_of("<extent>600 560 720</extent>")).y, 560.0);

  struct Case {
    int n;
    const char* text;
  } wrong_counts[] = {
      {3, "1  2 3"},  {3, " 1 2 3"}, {3, "1 2 3 "}, {3, "1;2;3"}, {3, "1 2"},
      {3, "1 2 3 4"}, {2, "1 2 3"},  {2, "1"},      {4, "1 2 3"}, {4, ""},
  };
  for (const auto& c : wrong_counts) {
    SCOPED_TRACE(c.text);
    TRaised r = raised_by([&] {
      TXMLNode node = value_node(c.text);
      if (c.n == 2) read_float2(node);
      if (c.n == 3) read_float3(node);
      if (c.n == 4) read_float4(node);
    });
    EXPECT_EQ(r.class_name, "EAssertionFailed");
    EXPECT_TRUE(r.message.starts_with(assertion_prefix("Assertion failure", "import.bxf2.parser.tools"))) << r.message;
  }
  TRaised r = raised_by([] { read_float3(value_node("1 x 3")); });
  EXPECT_EQ(r.class_name, "EConvertError");
  EXPECT_EQ(r.message, "'x' is not a valid floating point value");
}
