#include "platform.xmldom.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform.files.h"
#include "test.support.h"

using namespace test_support;

namespace {

TRef<IXMLDOMDocument> load_text(const std::string& bytes, bool validate = true) {
  TTempFile file(bytes, ".xml");
  TRef<IXMLDOMDocument> dom = create_dom_document();
  dom->set_validate_on_parse(validate);
  return dom->load(file.path()) ? dom : nullptr;
}

// The reason a text does not load ("" when it loads).
std::string failure_of(const std::string& bytes, bool validate = true) {
  TTempFile file(bytes, ".xml");
  TRef<IXMLDOMDocument> dom = create_dom_document();
  dom->set_validate_on_parse(validate);
  if (dom->load(file.path())) return "";
  EXPECT_TRUE(dom->document_element().is_null());
  std::string reason = dom->parse_error().reason;
  EXPECT_FALSE(reason.empty());
  EXPECT_EQ(dom->parse_error().url, file.path());
  return reason.empty() ? "(no reason)" : reason;
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

std::string repeated(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

}  // namespace

// ---------------------------------------------------------------------------
// What loads
// ---------------------------------------------------------------------------

TEST(xmldom, load_outcomes) {
  // A file the external entities below would read, if anything were read.
  TTempFile outside("<b>outside</b>", ".ent");
  const std::string full_dtd =
      "<!DOCTYPE r [<!ELEMENT r (a*)><!ELEMENT a (#PCDATA)><!ATTLIST a id ID #IMPLIED ref IDREF #IMPLIED>";
  // 10 levels of 10 references: 10^10 copies of "lol" if it were expanded.
  std::string laughs = "<!DOCTYPE r [<!ENTITY l0 'lol'>";
  for (int i = 1; i < 10; ++i)
    laughs += "<!ENTITY l" + std::to_string(i) + " '" + repeated("&l" + std::to_string(i - 1) + ";", 10) + "'>";
  laughs += "]><r>&l9;</r>";
  // One entity of 100 KB referenced 20,000 times: 2 GB of text from a 200 KB
  // file, without nesting.
  const std::string blowup =
      "<!DOCTYPE r [<!ENTITY a '" + std::string(100000, 'x') + "'>]><r>" + repeated("&a;", 20000) + "</r>";

  struct Case {
    const char* what;
    std::string xml;
    const char* reason;  // part of the parser's reason; nullptr: it loads
  } cases[] = {
      // Encodings
      {"utf-8 without declaration", "<r>\xC3\xA9</r>", nullptr},
      {"windows-1252 declared", "<?xml version='1.0' encoding='windows-1252'?><r>\x80</r>", nullptr},
      {"invalid utf-8",
       "<r>K\xFC"
       "che</r>",
       "not proper UTF-8"},
      {"invalid utf-8 with declaration",
       "<?xml version='1.0' encoding='UTF-8'?><r>K\xFC"
       "che</r>",
       "not proper UTF-8"},
      {"byte undefined in windows-1252", "<?xml version='1.0' encoding='windows-1252'?><r>\x81</r>", "conversion"},
      {"encoding nobody knows", "<?xml version='1.0' encoding='x-bogus-42'?><r/>", "Unsupported encoding x-bogus-42"},
      {"utf-16 without byte-order mark or declaration", utf16(u"<r/>", false, false), ""},
      {"labelled utf-16, written in utf-8", "<?xml version='1.0' encoding='UTF-16'?><r/>",
       "labelled UTF-16 but has UTF-8 content"},
      // Well-formedness
      {"empty file", "", "Document is empty"},
      {"unclosed element", "<a>", ""},
      {"mismatched end tag", "<a></b>", "Opening and ending tag mismatch: a line 1 and b"},
      {"two root elements", "<a/><b/>", "Extra content at the end of the document"},
      {"text beside the root", "text<a/>", "Start tag expected"},
      {"broken attribute", "<a x='1' x>", ""},
      {"only a comment", "<!-- only a comment -->", "Start tag expected"},
      {"duplicate attribute", "<r a='1' a='2'/>", "Attribute a redefined"},
      {"undefined entity", "<r>&wc;</r>", "Entity 'wc' not defined"},
      {"bare ampersand", "<r>a & b</r>", "xmlParseEntityRef: no name"},
      {"'<' in an attribute value", "<r a='<'/>", "Unescaped '<' not allowed in attributes values"},
      {"control character", "<r>\x01</r>", "PCDATA invalid Char value 1"},
      {"character reference to NUL", "<r>a&#0;b</r>", "invalid xmlChar value 0"},
      {"XML declaration after the root", "<r/><?xml version='1.0'?>", "XML declaration allowed only at the start"},
      {"XML declaration after white space", " <?xml version='1.0'?><r/>", "XML declaration allowed only at the start"},
      {"undeclared namespace prefix (not a well-formedness error)", "<r xsi:type='Box'/>", nullptr},
      // Internal entities and DTDs
      {"internal entity in a valid document",
       "<!DOCTYPE r [<!ELEMENT r (#PCDATA)><!ENTITY wc 'Wall cabinet'>]><r>&wc;</r>", nullptr},
      {"DTD that declares entities only: its root is not declared",
       "<!DOCTYPE r [<!ENTITY wc 'Wall cabinet'>]><r>&wc;</r>", "No declaration for element r"},
      {"valid", full_dtd + "]><r><a id='x'>1</a><a ref='x'/></r>", nullptr},
      {"undeclared element", full_dtd + "]><r><b/></r>", "No declaration for element b"},
      {"content against the model", full_dtd + "]><r>text</r>", "does not follow the DTD"},
      {"undeclared attribute", full_dtd + "]><r><a x='1'/></r>", "No declaration for attribute x of element a"},
      {"duplicate ID", full_dtd + "]><r><a id='x'/><a id='x'/></r>", "ID x already defined"},
      {"IDREF without its ID", full_dtd + "]><r><a ref='nope'/></r>", "references an unknown ID \"nope\""},
      {"required attribute missing", "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r id CDATA #REQUIRED>]><r/>",
       "does not carry attribute id"},
      {"root of another name than the DTD's", "<!DOCTYPE q [<!ELEMENT r EMPTY>]><r/>",
       "root and DTD name do not match"},
      // Nothing outside the file
      {"external entity", "<!DOCTYPE r [<!ENTITY e SYSTEM '" + outside.path() + "'>]><r>&e;</r>",
       "the entity \"e\" is the external file"},
      {"external entity on the network", "<!DOCTYPE r [<!ENTITY e SYSTEM 'http://example.invalid/e'>]><r>&e;</r>",
       "nothing outside the document is read"},
      {"external parameter entity", "<!DOCTYPE r [<!ENTITY % p SYSTEM '" + outside.path() + "'> %p;]><r/>",
       "the parameter entity \"p\" is the external file"},
      {"external DTD", "<!DOCTYPE r SYSTEM '" + outside.path() + "'><r/>", "names the external DTD"},
      {"external DTD with an internal subset", "<!DOCTYPE r PUBLIC '-//x//y' 'r.dtd' [<!ELEMENT r EMPTY>]><r/>",
       "names the external DTD \"r.dtd\""},
      {"external entity declared, never used",
       "<!DOCTYPE r [<!ELEMENT r EMPTY><!ENTITY e SYSTEM '" + outside.path() + "'>]><r/>", nullptr},
      // Bounds
      {"nested entity expansion (a billion laughs)", laughs, "entity reference loop"},
      {"one large entity referenced many times", blowup, "expands to more than"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string reason = failure_of(c.xml);
    if (!c.reason) {
      EXPECT_EQ(reason, "");
    } else {
      EXPECT_NE(reason, "");
      EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    }
  }
}

TEST(xmldom, files_that_cannot_be_read) {
  TRef<IXMLDOMDocument> dom = create_dom_document();
  EXPECT_FALSE(dom->load("/nonexistent/folder/file.xml"));
  EXPECT_TRUE(dom->document_element().is_null());
  EXPECT_EQ(xml_error_text(dom->parse_error()),
            "/nonexistent/folder/file.xml: cannot open the file: No such file or directory");
  const std::string folder = std::filesystem::temp_directory_path().string();
  EXPECT_FALSE(dom->load(folder));
  EXPECT_EQ(dom->parse_error().reason, "not a file");

  // A successful load forgets the last failure.
  TTempFile good("<r/>", ".xml");
  EXPECT_TRUE(dom->load(good.path()));
  EXPECT_EQ(dom->parse_error().reason, "");
}

TEST(xmldom, parse_errors_are_placed) {
  struct Case {
    std::string xml;
    std::string text;  // after "<file>"
  } cases[] = {
      {"<bxf>\n  <head>\n  </bxf>", ":3:9: Opening and ending tag mismatch: head line 2 and bxf"},
      {"<bxf>\n  <a x='1' x='2'/>\n</bxf>", ":2:17: Attribute x redefined"},
      {"<?xml version='1.0'?>\n<r>\xC3\xA9\xC3\xA9 &wc;</r>", ":2:11: Entity 'wc' not defined"},
      // Validity errors are placed where the validation found them.
      {"<!DOCTYPE r [<!ELEMENT r (a)><!ELEMENT a EMPTY>]>\n<r>\n<b/>\n</r>",
       ":3:5: not valid against its DTD: No declaration for element b"},
      // The checks at the end name their line in the message.
      {"<!DOCTYPE r [<!ELEMENT r (a)*><!ELEMENT a EMPTY><!ATTLIST a ref IDREF #IMPLIED>]>\n<r>\n<a ref='x'/>\n</r>",
       ": not valid against its DTD: attribute ref line 3 references an unknown ID \"x\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.xml);
    TTempFile file(c.xml, ".xml");
    TRef<IXMLDOMDocument> dom = create_dom_document();
    dom->set_validate_on_parse(true);
    ASSERT_FALSE(dom->load(file.path()));
    EXPECT_EQ(xml_error_text(dom->parse_error()), file.path() + c.text);
  }
}

TEST(xmldom, validate_on_parse) {
  TRef<IXMLDOMDocument> dom = create_dom_document();
  EXPECT_FALSE(dom->get_validate_on_parse());
  dom->set_validate_on_parse(true);
  EXPECT_TRUE(dom->get_validate_on_parse());

  // Without the request a DTD still declares entities, and checks nothing.
  const std::string entities_only = "<!DOCTYPE r [<!ENTITY wc 'Wall cabinet'>]><r>&wc;<undeclared/></r>";
  EXPECT_EQ(failure_of(entities_only, false), "");
  EXPECT_NE(failure_of(entities_only, true), "");
  auto unvalidated = load_text(entities_only, false);
  ASSERT_TRUE(unvalidated);
  EXPECT_EQ(unvalidated->document_element().text(), "Wall cabinet");
}

TEST(xmldom, nesting_up_to_the_limit) {
  auto nested = [](int depth) { return repeated("<n>", depth) + "x" + repeated("</n>", depth); };
  auto dom = load_text(nested(xml_max_depth));
  ASSERT_TRUE(dom);
  EXPECT_EQ(dom->document_element().text(), "x");
  TXMLNode deepest = dom->document_element();
  for (int i = 1; i < xml_max_depth; ++i) deepest = deepest.child_nodes().item(0);
  EXPECT_EQ(deepest.child_nodes().item(0).node_type(), NODE_TEXT);
  EXPECT_EQ(failure_of(nested(xml_max_depth + 1)),
            "elements nest more than " + std::to_string(xml_max_depth) + " deep");
}

// ---------------------------------------------------------------------------
// The tree
// ---------------------------------------------------------------------------

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
  EXPECT_EQ(attributes.item(0).text(), "urn:x");
  EXPECT_EQ(attributes.item(1).node_name(), "xsi:type");
  EXPECT_EQ(attributes.item(1).text(), "Box");
  EXPECT_EQ(attributes.item(1).node_value(), "Box");
  EXPECT_TRUE(attributes.item(2).is_null());
  EXPECT_TRUE(attributes.item(-1).is_null());

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
  EXPECT_EQ(root.parent_node().node_type(), NODE_DOCUMENT);
  EXPECT_EQ(root.parent_node().node_name(), "#document");
  EXPECT_TRUE(root.parent_node().parent_node().is_null());
}

TEST(xmldom, text_concatenates_nested_text) {
  auto dom = load_text("<a>1<b>2<c>3</c><!--x-->4</b><d/>5</a>");
  ASSERT_TRUE(dom);
  EXPECT_EQ(dom->document_element().text(), "12345");
  EXPECT_EQ(dom->document_element().child_nodes().item(1).text(), "234");
  EXPECT_EQ(dom->document_element().child_nodes().item(2).text(), "");
}

TEST(xmldom, entities_become_part_of_the_text) {
  auto dom = load_text(
      "<!DOCTYPE bxf [<!ELEMENT bxf (name)+><!ELEMENT name (#PCDATA|b)*><!ELEMENT b EMPTY>"
      "<!ATTLIST name kind CDATA 'cabinet' id CDATA #IMPLIED>"
      "<!ENTITY wc 'Wall cabinet'><!ENTITY two '&wc; &amp; <b/>'>]>"
      "<bxf><name id='&wc;'>A &wc; 60</name><name>&two;.</name></bxf>");
  ASSERT_TRUE(dom);
  TXMLNodeList names = dom->document_element().child_nodes();
  ASSERT_EQ(names.length(), 2);
  // Text and entity text make one node.
  ASSERT_EQ(names.item(0).child_nodes().length(), 1);
  EXPECT_EQ(names.item(0).text(), "A Wall cabinet 60");
  // Attributes as written, then the DTD's defaults.
  TXMLNamedNodeMap attributes = names.item(0).attributes();
  ASSERT_EQ(attributes.length(), 2);
  EXPECT_EQ(attributes.item(0).node_name(), "id");
  EXPECT_EQ(attributes.item(0).text(), "Wall cabinet");
  EXPECT_EQ(attributes.item(1).node_name(), "kind");
  EXPECT_EQ(attributes.item(1).text(), "cabinet");
  // An entity's markup becomes nodes.
  TXMLNodeList second = names.item(1).child_nodes();
  ASSERT_EQ(second.length(), 3);
  EXPECT_EQ(second.item(0).text(), "Wall cabinet & ");
  EXPECT_EQ(second.item(1).node_name(), "b");
  EXPECT_EQ(second.item(2).text(), ".");
}

// Texts of sizes around the sizes of the tree's blocks, as the first thing
// of a document (when the blocks are smallest) and after other texts.
TEST(xmldom, large_texts_comments_and_values) {
  for (size_t size : {size_t(20000), size_t(40000), size_t(70000), size_t(300000), size_t(1500000)}) {
    SCOPED_TRACE(size);
    std::vector<size_t> sizes = {size, 10, size + 1, 20000, size + 2};
    std::string xml = "<r>";
    for (size_t n : sizes)
      xml += "<e a='" + std::string(n, 'a') + "'>" + std::string(n, 't') + "<!--" + std::string(n, 'c') + "--></e>";
    xml += "</r>";
    for (const std::string& text :
         {"<r><!--" + std::string(size, 'c') + "--></r>", "<r a='" + std::string(size, 'a') + "'/>",
          "<r>" + std::string(size, 't') + "</r>"}) {
      auto first = load_text(text);
      ASSERT_TRUE(first);
      EXPECT_EQ(first->document_element().attributes().length() + first->document_element().child_nodes().length(), 1);
    }
    auto dom = load_text(xml);
    ASSERT_TRUE(dom);
    TXMLNodeList elements = dom->document_element().child_nodes();
    ASSERT_EQ(elements.length(), int32_t(sizes.size()));
    for (int32_t i = 0; i < elements.length(); ++i) {
      TXMLNode e = elements.item(i);
      EXPECT_EQ(e.attributes().item(0).text(), std::string(sizes[i], 'a'));
      EXPECT_EQ(e.text(), std::string(sizes[i], 't'));
      EXPECT_EQ(e.child_nodes().item(1).node_value(), std::string(sizes[i], 'c'));
    }
  }
}

TEST(xmldom, lists_by_index_in_any_order) {
  auto dom = load_text("<a><b0/><b1/><b2/><b3/><b4/></a>");
  ASSERT_TRUE(dom);
  TXMLNodeList list = dom->document_element().child_nodes();
  for (int32_t i : {0, 1, 4, 2, 3, 0, 4, 1}) EXPECT_EQ(list.item(i).node_name(), "b" + std::to_string(i));
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
      {"utf-16le declared", utf16(declared, false, true)},
      {"utf-16be declared without bom", utf16(declared, true, false)},
      {"windows-1252", "<?xml version='1.0' encoding='windows-1252'?><r a='\xE9'>\x80 1,5</r>"},
      {"iso-8859-15", "<?xml version='1.0' encoding='ISO-8859-15'?><r a='\xE9'>\xA4 1,5</r>"},
      {"character references", "<r a='&#233;'>&#x20AC; 1,5</r>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto dom = load_text(c.bytes);
    ASSERT_TRUE(dom);
    TXMLNode root = dom->document_element();
    EXPECT_EQ(root.text(), "\xE2\x82\xAC 1,5");
    EXPECT_EQ(root.attributes().item(0).text(), "\xC3\xA9");
  }
  auto latin1 = load_text(
      "<?xml version='1.0' encoding='ISO-8859-1'?><r>K\xFC"
      "chenschrank</r>");
  ASSERT_TRUE(latin1);
  EXPECT_EQ(latin1->document_element().text(),
            "K\xC3\xBC"
            "chenschrank");
}

TEST(xmldom, source_positions) {
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"utf-8", "<a>\n  <b/>\n  <c>\xC3\xA9</c><d/></a>"},
      {"utf-16", utf16(u"<a>\n  <b/>\n  <c>\u00e9</c><d/></a>", false, true)},
      {"crlf", "<a>\r\n  <b/>\r\n  <c>\xC3\xA9</c><d/></a>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto dom = load_text(c.bytes);
    ASSERT_TRUE(dom);
    TXMLNodeList children = dom->document_element().child_nodes();
    EXPECT_EQ(dom->document_element().source_position(), (TTextPosition{1, 1}));
    EXPECT_EQ(children.item(0).source_position(), (TTextPosition{2, 3}));  // at its '<'
    EXPECT_EQ(children.item(1).source_position(), (TTextPosition{3, 3}));
    EXPECT_EQ(children.item(1).child_nodes().item(0).source_position(), (TTextPosition{3, 6}));
    EXPECT_EQ(children.item(2).source_position(), (TTextPosition{3, 11}));
  }

  // Comments, processing instructions and CDATA are placed at their markup,
  // text at its first character, also after a prolog, on long lines and
  // in tags that span lines.
  auto dom = load_text(
      "\xEF\xBB\xBF<?xml version='1.0'?>\n<!-- before -->\n<!DOCTYPE a [\n<!ENTITY e 'x'>\n]>\n  <a\n  k='1'>\n"
      "<!--c--><?p x?><![CDATA[d]]>t<b\n/>&e;<c/>" +
          std::string(5000, ' ') + "<d\nx='\xC3\xA9'/></a>",
      false);
  ASSERT_TRUE(dom);
  TXMLNode root = dom->document_element();
  EXPECT_EQ(root.parent_node().child_nodes().item(0).source_position(), (TTextPosition{2, 1}));  // comment
  EXPECT_EQ(root.source_position(), (TTextPosition{6, 3}));
  TXMLNodeList children = root.child_nodes();
  ASSERT_EQ(children.length(), 8);
  TTextPosition expected[] = {{8, 1}, {8, 9}, {8, 16}, {8, 29}, {8, 30}, {9, 3}, {9, 6}, {9, 5010}};
  for (int32_t i = 0; i < 8; ++i) EXPECT_EQ(children.item(i).source_position(), expected[i]) << i;
  EXPECT_EQ(root.attributes().item(0).source_position(), TTextPosition{});
}

// ---------------------------------------------------------------------------
// Files found ignoring letter case
// ---------------------------------------------------------------------------

TEST(xmldom, file_names_are_found_ignoring_case) {
  TTempFolder temp;
  const std::string folder = temp.path() + "Folder";
  ASSERT_TRUE(force_folders(folder + "/Sub"));
  write_file_bytes(folder + "/Sub/Kitchen.BXF2", "<r>found</r>");
  TRef<IXMLDOMDocument> dom = create_dom_document();
  EXPECT_TRUE(dom->load(folder + "/sub/kitchen.bxf2"));
  EXPECT_EQ(dom->document_element().text(), "found");
  EXPECT_FALSE(dom->load(folder + "/sub/kitchen.bxf"));
}

// A look at a document's start finds the first element of a section at the
// root's front, and stops there: bytes cut short after it, or a document
// whose rest is not XML at all, give the same answer.
TEST(xmldom_peek, finds_the_element_at_the_front_and_reads_no_further) {
  const std::string head =
      "<?xml version='1.0'?>\n<BXF><Head><version>2</version><unit meter='0.01' x='y'>cm</unit>"
      "<unit>mm</unit></Head>";
  std::string nodes;
  for (int i = 0; i < 1000; ++i) nodes += "<node/>";
  struct TCase {
    const char* what;
    std::string bytes;
    std::optional<std::string> text;  // of the element found
  };
  const TCase cases[] = {
      {"a whole document", head + "<scene/></BXF>", "cm"},
      // The bytes read are the start of a larger file: the parser takes them
      // a piece at a time, so what comes well after the element is not seen.
      {"cut short after the element", head + "<scene>" + nodes.substr(0, nodes.size() - 3), "cm"},
      {"not well-formed after the element", head + nodes + "<<<", "cm"},
      {"another root", "<project><head><unit>cm</unit></head></project>", std::nullopt},
      {"the section not first", "<bxf><scene/><head><unit>cm</unit></head></bxf>", std::nullopt},
      {"no such element in the section", "<bxf><head><version>2</version></head><scene/></bxf>", std::nullopt},
      {"an empty section", "<bxf><head/></bxf>", std::nullopt},
      {"deeper than the section's children", "<bxf><head><x><unit>cm</unit></x></head></bxf>", std::nullopt},
      {"cut short before", head.substr(0, 40), std::nullopt},
      {"an entity is not expanded", "<!DOCTYPE bxf [<!ENTITY u 'cm'>]><bxf><head><unit>&u;</unit></head></bxf>", ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    const auto found = peek_element(c.bytes, "bxf", "head", "unit");
    ASSERT_EQ(found.has_value(), c.text.has_value());
    if (!found) continue;
    EXPECT_EQ(found->text, *c.text);
  }
  const auto unit = peek_element(head, "bxf", "head", "unit");
  ASSERT_TRUE(unit);
  EXPECT_EQ(unit->attributes, (std::vector<std::pair<std::string, std::string>>{{"meter", "0.01"}, {"x", "y"}}));
}
