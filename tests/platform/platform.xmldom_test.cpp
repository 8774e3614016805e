#include "platform.xmldom.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

// Writes `bytes` to a fresh temporary file, removed with the object.
class TempFile {
 public:
  explicit TempFile(const std::string& bytes) {
    static int counter = 0;
    _path = (std::filesystem::temp_directory_path() /
             ("xmldom_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + ".xml"))
                .string();
    std::ofstream(_path, std::ios::binary) << bytes;
  }
  ~TempFile() { std::remove(_path.c_str()); }
  const std::string& path() const { return _path; }

 private:
  std::string _path;
};

TRef<IXMLDOMDocument> load_text(const std::string& bytes) {
  TempFile file(bytes);
  TRef<IXMLDOMDocument> dom = create_dom_document();
  dom->set_validate_on_parse(true);
  return dom->load(file.path()) ? dom : nullptr;
}

std::string utf16(const std::u16string& text, bool big_endian, bool bom) {
  std::string bytes;
  auto put = [&](char16_t c) {
    if (big_endian) {
      bytes += char(c >> 8);
      bytes += char(c & 0xFF);
    } else {
      bytes += char(c & 0xFF);
      bytes += char(c >> 8);
    }
  };
  if (bom) put(0xFEFF);
  for (char16_t c : text) put(c);
  return bytes;
}

}  // namespace

TEST(xmldom, load_failures_give_no_document) {
  const char* cases[] = {
      "",                                // empty file
      "<a>",                             // unclosed element
      "<a></b>",                         // mismatched end tag
      "<a/><b/>",                        // two root elements
      "text<a/>",                        // text beside the root
      "<a x='1' x>",                     // broken attribute
      "<!-- only a comment -->",         // no root element
  };
  for (const char* xml : cases) {
    SCOPED_TRACE(xml);
    EXPECT_FALSE(load_text(xml));
  }
  TRef<IXMLDOMDocument> dom = create_dom_document();
  EXPECT_FALSE(dom->load("/nonexistent/folder/file.xml"));
  EXPECT_TRUE(dom->document_element().is_null());
  EXPECT_FALSE(dom->load(std::filesystem::temp_directory_path().string()));
}

TEST(xmldom, validate_on_parse_is_recorded) {
  TRef<IXMLDOMDocument> dom = create_dom_document();
  EXPECT_FALSE(dom->get_validate_on_parse());
  dom->set_validate_on_parse(true);
  EXPECT_TRUE(dom->get_validate_on_parse());
}

TEST(xmldom, node_types_names_and_values) {
  auto dom = load_text(
      "<?xml version='1.0'?>\n<root xmlns:xsi='urn:x' xsi:type='Box'>\n  <!--note-->\n  <?pi data?>\n"
      "  <![CDATA[raw <text>]]>\n  <child>a&amp;b</child>\n  tail\n</root>");
  ASSERT_TRUE(dom);
  TXMLNode root = dom->document_element();
  EXPECT_EQ(root.node_type(), NODE_ELEMENT);
  EXPECT_EQ(root.node_name(), "root");
  EXPECT_FALSE(root.node_value().has_value());

  TXMLNamedNodeMap attributes = root.attributes();
  ASSERT_EQ(attributes.length(), 2);
  EXPECT_EQ(attributes.item(0).node_type(), NODE_ATTRIBUTE);
  EXPECT_EQ(attributes.item(0).node_name(), "xmlns:xsi");
  EXPECT_EQ(attributes.item(1).node_name(), "xsi:type");
  EXPECT_EQ(attributes.item(1).text(), "Box");
  EXPECT_EQ(attributes.item(1).node_value(), "Box");
  EXPECT_TRUE(attributes.item(2).is_null());

  struct Expected {
    int32_t type;
    const char* name;
    const char* value;
  } expected[] = {
      {NODE_COMMENT, "#comment", "note"},
      {NODE_PROCESSING_INSTRUCTION, "pi", "data"},
      {NODE_CDATA_SECTION, "#cdata-section", "raw <text>"},
      {NODE_ELEMENT, "child", nullptr},
      {NODE_TEXT, "#text", "\n  tail\n"},
  };
  TXMLNodeList children = root.child_nodes();
  ASSERT_EQ(children.length(), 5);  // the white space between elements is gone
  for (int32_t i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    TXMLNode child = children.item(i);
    EXPECT_EQ(child.node_type(), expected[i].type);
    EXPECT_EQ(child.node_name(), expected[i].name);
    if (expected[i].value)
      EXPECT_EQ(child.node_value(), expected[i].value);
    else
      EXPECT_FALSE(child.node_value().has_value());
    EXPECT_EQ(child.parent_node(), root);
  }
  EXPECT_EQ(children.item(3).text(), "a&b");
  // An element's text: every text and CDATA below it, comments left out.
  EXPECT_EQ(root.text(), "raw <text>a&b\n  tail\n");
  EXPECT_TRUE(children.item(5).is_null());
  EXPECT_TRUE(children.item(-1).is_null());
}

TEST(xmldom, text_concatenates_nested_text) {
  auto dom = load_text("<a>1<b>2<c>3</c><!--x-->4</b><d/>5</a>");
  ASSERT_TRUE(dom);
  EXPECT_EQ(dom->document_element().text(), "12345");
  EXPECT_EQ(dom->document_element().child_nodes().item(1).text(), "234");
  EXPECT_EQ(dom->document_element().child_nodes().item(2).text(), "");
}

TEST(xmldom, lists_by_index_in_any_order) {
  auto dom = load_text("<a><b0/><b1/><b2/><b3/><b4/></a>");
  ASSERT_TRUE(dom);
  TXMLNodeList list = dom->document_element().child_nodes();
  for (int32_t i : {0, 1, 4, 2, 3, 0, 4, 1})
    EXPECT_EQ(list.item(i).node_name(), "b" + std::to_string(i));
  EXPECT_EQ(list.length(), 5);
  EXPECT_EQ(list.item(0).attributes().length(), 0);
  EXPECT_EQ(list.item(0).child_nodes().length(), 0);
}

TEST(xmldom, nodes_keep_the_document_alive) {
  TXMLNode child;
  {
    auto dom = load_text("<a><b>kept</b></a>");
    ASSERT_TRUE(dom);
    child = dom->document_element().child_nodes().item(0);
  }
  EXPECT_EQ(child.text(), "kept");
  EXPECT_EQ(child.parent_node().node_name(), "a");
}

TEST(xmldom, encodings) {
  const std::u16string xml = u"<r a='\u00e9'>\u20ac 1,5</r>";
  const std::u16string declared = u"<?xml version='1.0' encoding='UTF-16'?><r a='\u00e9'>\u20ac 1,5</r>";
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"utf-8", "<r a='\xC3\xA9'>\xE2\x82\xAC 1,5</r>"},
      {"utf-8 with bom", "\xEF\xBB\xBF<r a='\xC3\xA9'>\xE2\x82\xAC 1,5</r>"},
      {"utf-8 declared", "<?xml version='1.0' encoding='UTF-8'?><r a='\xC3\xA9'>\xE2\x82\xAC 1,5</r>"},
      {"utf-16le bom", utf16(xml, false, true)},
      {"utf-16be bom", utf16(xml, true, true)},
      {"utf-16le", utf16(xml, false, false)},
      {"utf-16be", utf16(xml, true, false)},
      {"utf-16le declared", utf16(declared, false, true)},
      {"utf-16be declared", utf16(declared, true, false)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto dom = load_text(c.bytes);
    ASSERT_TRUE(dom);
    TXMLNode root = dom->document_element();
    EXPECT_EQ(root.text(), "\xE2\x82\xAC 1,5");
    EXPECT_EQ(root.attributes().item(0).text(), "\xC3\xA9");
  }
  auto latin1 = load_text("<?xml version='1.0' encoding='ISO-8859-1'?><r>\xE9</r>");
  ASSERT_TRUE(latin1);
  EXPECT_EQ(latin1->document_element().text(), "\xC3\xA9");
}

TEST(xmldom, text_positions) {
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"utf-8", "<a>\n  <b/>\n  <c>\xC3\xA9</c><d/></a>"},
      {"utf-16", utf16(u"<a>\n  <b/>\n  <c>\u00e9</c><d/></a>", false, true)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFile file(c.bytes);
    TRef<IXMLDOMDocument> dom = create_dom_document();
    ASSERT_TRUE(dom->load(file.path()));
    TXMLNodeList children = dom->document_element().child_nodes();
    auto b = xml_text_position(file.path(), children.item(0).source_offset());
    auto d = xml_text_position(file.path(), children.item(2).source_offset());
    ASSERT_TRUE(b && d);
    EXPECT_EQ(b->line, 2);
    EXPECT_EQ(b->column, 3);  // at its '<'
    EXPECT_EQ(d->line, 3);
    EXPECT_EQ(d->column, 11);
  }
  EXPECT_FALSE(xml_text_position("/nonexistent/file.xml", 0));
}

TEST(xmldom, deep_nesting_loads_and_reads_text) {
  std::string xml;
  const int depth = 100000;
  for (int i = 0; i < depth; ++i) xml += "<n>";
  xml += "x";
  for (int i = 0; i < depth; ++i) xml += "</n>";
  auto dom = load_text(xml);
  ASSERT_TRUE(dom);
  EXPECT_EQ(dom->document_element().text(), "x");
}
