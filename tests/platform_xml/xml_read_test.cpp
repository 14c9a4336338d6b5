// Reading documents: encodings, failures, node kinds, attributes, XPath,
// safety of the parser against hostile files.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <libxml/parser.h>

#include "platform/text/charset.h"
#include "platform/xml/xml.h"
#include "tests/support/test_support.h"

namespace qmx::xml {
namespace {

using qmx::test::TempDir;
using qmx::test::WriteFile;

std::string Declared(const char* encoding, const std::string& body) {
  return std::string("<?xml version=\"1.0\" encoding=\"") + encoding + "\"?>\r\n" + body;
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const XmlError& e) {
    return e.what();
  }
  return "<no error>";
}

TEST(XmlLoad, EucKrFileReadsAsUtf8) {
  TempDir dir;
  const std::string utf8 = Declared("euc-kr", "<Ferrowyn Copyright=\"모듈 설정\">한국어 텍스트</Ferrowyn>");
  const std::string bytes = text::Utf8ToEucKr(utf8);
  ASSERT_NE(bytes.find("\xC7\xD1\xB1\xB9\xBE\xEE"), std::string::npos);  // really EUC-KR on disk
  WriteFile(dir / "settings.xml", bytes);

  Document doc = Document::LoadFile(dir / "settings.xml");
  EXPECT_EQ(doc.DeclaredEncoding(), "euc-kr");
  EXPECT_EQ(doc.Root().Text(), "한국어 텍스트");
  EXPECT_EQ(doc.Root().GetAttributeText("Copyright"), "모듈 설정");
}

TEST(XmlLoad, EncodingNamesAreMatchedWithoutRegardToCase) {
  for (const char* name : {"EUC-KR", "Euc-Kr", "ks_c_5601-1987"}) {
    Document doc = Document::LoadText(text::Utf8ToEucKr(Declared(name, "<a>한</a>")));
    EXPECT_EQ(doc.Root().Text(), "한") << name;
    EXPECT_EQ(doc.DeclaredEncoding(), name);
  }
}

TEST(XmlLoad, ExtendedKoreanCodesOfFilesWrittenOnWindowsAreRead) {
  // "똠" exists only in the extended code page (0x8C 0x63).
  Document doc = Document::LoadText(Declared("euc-kr", "<a v=\"\x8C\x63\">\x8C\x63\xB9\xE6</a>"));
  EXPECT_EQ(doc.Root().Text(), "똠방");
  EXPECT_EQ(doc.Root().GetAttributeText("v"), "똠");
}

TEST(XmlLoad, CharactersOutsideEucKrSurviveTheRoundTrip) {
  TempDir dir;
  const std::string text = "Price 5€, 🙂 ok, 똠, café, 한국어";
  const std::string bytes =
      text::Utf8ToEucKr(Declared("euc-kr", "<a t=\"" + EscapeAttribute(text) + "\">" + EscapeAttribute(text) + "</a>"));
  for (const char* ref : {"&#128578;", "&#46624;", "&#233;"}) {
    EXPECT_NE(bytes.find(ref), std::string::npos) << ref;
  }
  WriteFile(dir / "a.xml", bytes);
  for (const Document& doc : {Document::LoadText(bytes), Document::LoadFile(dir / "a.xml")}) {
    EXPECT_EQ(doc.Root().Text(), text);
    EXPECT_EQ(doc.Root().GetAttributeText("t"), text);
  }
}

TEST(XmlLoad, OtherEncodingsAreLeftToTheDeclaration) {
  Document latin1 = Document::LoadText(Declared("ISO-8859-1", "<a>caf\xE9</a>"));
  EXPECT_EQ(latin1.Root().Text(), "café");
  Document utf8 = Document::LoadText("<a>한국어</a>");
  EXPECT_EQ(utf8.Root().Text(), "한국어");
  EXPECT_EQ(utf8.DeclaredEncoding(), "");
  Document bom = Document::LoadText("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>é</a>");
  EXPECT_EQ(bom.Root().Text(), "é");
  EXPECT_EQ(bom.DeclaredEncoding(), "UTF-8");
}

TEST(XmlLoad, BytesThatAreNotEucKrAreAnErrorNamingTheLine) {
  const std::string bad = Declared("euc-kr", "<a>\n<b>ok</b>\n<c>\xFF</c>\n</a>");
  const std::string message = ErrorOf([&] { Document::LoadText(bad); });
  EXPECT_NE(message.find("line 4"), std::string::npos) << message;
  EXPECT_NE(message.find("euc-kr"), std::string::npos) << message;
}

TEST(XmlLoad, MissingOrUnreadableFileIsAnErrorNamingIt) {
  TempDir dir;
  std::string message = ErrorOf([&] { Document::LoadFile(dir / "absent.xml"); });
  EXPECT_NE(message.find((dir / "absent.xml").string()), std::string::npos) << message;
  EXPECT_NE(message.find("No such file"), std::string::npos) << message;

  message = ErrorOf([&] { Document::LoadFile(dir.path()); });
  EXPECT_NE(message.find(dir.path().string()), std::string::npos) << message;
}

struct MalformedCase {
  const char* name;
  std::string xml;
  int line;
  const char* fragment;  // part of the parser's message
};

TEST(XmlLoad, MalformedFilesGiveTheFileLineAndReason) {
  const MalformedCase cases[] = {
      {"mismatch", "<a>\n<b>\n</a>", 3, "mismatch"},
      {"unclosed", "<a>\n<b></b>\n", 3, "end"},
      {"attribute", "<a>\n\n<b x=1/></a>", 3, "AttValue"},
      {"empty", "", 1, "empty"},
      {"two roots", "<a/>\n<b/>", 2, "Extra content"},
      {"bad entity", "<a>&nbsp;</a>", 1, "nbsp"},
      {"euc-kr broken markup", Declared("euc-kr", "<a>\xC7\xD1\n</b>"), 3, "mismatch"},
  };
  TempDir dir;
  testing::internal::CaptureStderr();
  for (const auto& c : cases) {
    const auto path = dir / (std::string(c.name) + ".xml");
    WriteFile(path, c.xml);
    const std::string message = ErrorOf([&] { Document::LoadFile(path); });
    EXPECT_NE(message.find(path.string()), std::string::npos) << c.name << ": " << message;
    EXPECT_NE(message.find("line " + std::to_string(c.line) + ":"), std::string::npos) << c.name << ": " << message;
    EXPECT_NE(message.find(c.fragment), std::string::npos) << c.name << ": " << message;
    EXPECT_NE(message.back(), '\n') << c.name;
    EXPECT_NE(ErrorOf([&] { Document::LoadText(c.xml); }), "<no error>") << c.name;
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(XmlLoad, ParallelLoadsKeepTheirOwnErrors) {
  TempDir dir;
  WriteFile(dir / "good.xml", Declared("euc-kr", text::Utf8ToEucKr("<a><b v=\"한\"/></a>")));
  WriteFile(dir / "bad.xml", "<a>\n\n\n<b>\n</a>");
  testing::internal::CaptureStderr();
  std::vector<std::string> failures[2];
  auto run = [&](int which) {
    for (int i = 0; i < 150; ++i) {
      try {
        if (which == 0) {
          Document doc = Document::LoadFile(dir / "good.xml");
          if (doc.SelectSingleNode("/a/b").GetAttributeText("v") != "한") {
            failures[which].push_back("wrong value");
          }
          doc.SelectNodes("/a[");  // always throws
        } else {
          Document::LoadFile(dir / "bad.xml");
          failures[which].push_back("bad file loaded");
        }
      } catch (const XmlError& e) {
        const std::string m = e.what();
        const bool own = which == 0 ? m.find("/a[") != std::string::npos
                                    : m.find("bad.xml, line 5:") != std::string::npos;
        if (!own) {
          failures[which].push_back(m);
        }
      }
    }
  };
  std::thread a(run, 0), b(run, 1);
  a.join();
  b.join();
  EXPECT_TRUE(failures[0].empty()) << failures[0].front();
  EXPECT_TRUE(failures[1].empty()) << failures[1].front();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// ---------------------------------------------------------------- nodes

const char* const kCatalogue = R"(<?xml version="1.0" encoding="UTF-8"?>
<?catalogue-tool version="2"?>
<IOList Version="1.0">
  <!-- digital modules -->
  <Group Name="Digital" Order="1">
    <Module ID="QM-1234" Desc="8 DI"/>
    <?skip this?>
    <Module ID="QM-2345" Desc="8 DO">with text</Module>
  </Group>
  <Group Name="Analog" Order="2">
    <Module ID="QM-3456"><![CDATA[a < b]]></Module>
  </Group>
  <Empty>   </Empty>
</IOList>
)";

TEST(XmlNode, ChildrenKeepCommentsAndInstructionsInDocumentOrder) {
  Document doc = Document::LoadText(kCatalogue);
  Node root = doc.Root();
  ASSERT_TRUE(root);
  EXPECT_EQ(root.Name(), "IOList");
  EXPECT_EQ(root.Type(), NodeType::Element);

  std::vector<Node> children = root.Children();
  ASSERT_EQ(children.size(), 4u);
  EXPECT_EQ(children[0].Type(), NodeType::Comment);
  EXPECT_EQ(children[0].Text(), " digital modules ");
  EXPECT_EQ(children[1].Name(), "Group");
  EXPECT_EQ(children[3].Name(), "Empty");

  std::vector<Node> group = children[1].Children();
  ASSERT_EQ(group.size(), 3u);
  EXPECT_EQ(group[1].Type(), NodeType::ProcessingInstruction);
  EXPECT_EQ(group[1].Name(), "skip");
  EXPECT_EQ(group[1].Text(), "this");
  EXPECT_EQ(children[1].ChildElements().size(), 2u);
  EXPECT_EQ(root.ChildElements().size(), 3u);

  // Text of a leaf stays, blanks included; CDATA is its own kind.
  EXPECT_EQ(children[3].Text(), "   ");
  Node analog = children[2].ChildElements().at(0);
  ASSERT_EQ(analog.Children().size(), 1u);
  EXPECT_EQ(analog.Children()[0].Type(), NodeType::CData);
  EXPECT_EQ(analog.Text(), "a < b");

  // The instruction before the document element is a child of the document.
  std::vector<Node> top = doc.SelectSingleNode("/").Children();
  ASSERT_EQ(top.size(), 2u);
  EXPECT_EQ(top[0].Type(), NodeType::ProcessingInstruction);
  EXPECT_EQ(top[0].Name(), "catalogue-tool");
  EXPECT_EQ(doc.SelectSingleNode("/").Type(), NodeType::Document);
}

TEST(XmlNode, PreservingWhitespaceKeepsLayoutText) {
  Document doc = Document::LoadText(kCatalogue, Document::Whitespace::Preserve);
  std::vector<Node> children = doc.Root().Children();
  EXPECT_EQ(children.size(), 9u);
  EXPECT_EQ(children[0].Type(), NodeType::Text);
  EXPECT_EQ(children[0].Name(), "#text");
  EXPECT_EQ(doc.Root().ChildElements().size(), 3u);
}

TEST(XmlNode, SpacePreserveKeepsLayoutText) {
  Document doc = Document::LoadText("<a><b xml:space=\"preserve\"> <c/> </b><d> <e/> </d></a>");
  EXPECT_EQ(doc.SelectSingleNode("/a/b").Children().size(), 3u);
  EXPECT_EQ(doc.SelectSingleNode("/a/d").Children().size(), 1u);
}

TEST(XmlNode, AttributesInDocumentOrderAndCaseSensitive) {
  Document doc = Document::LoadText("<Item Value=\"1\" value=\"2\" Desc=\"a &amp; &quot;b&quot;\" Empty=\"\"/>");
  Node item = doc.Root();
  std::vector<Node> attributes = item.Attributes();
  ASSERT_EQ(attributes.size(), 4u);
  EXPECT_EQ(attributes[0].Name(), "Value");
  EXPECT_EQ(attributes[0].Type(), NodeType::Attribute);
  EXPECT_EQ(attributes[2].Text(), "a & \"b\"");
  EXPECT_EQ(item.GetAttributeText("Value"), "1");
  EXPECT_EQ(item.GetAttributeText("value"), "2");
  EXPECT_EQ(item.GetAttributeText("Empty"), "");
  EXPECT_EQ(item.FindAttribute("Empty"), std::optional<std::string>(""));
  EXPECT_EQ(item.FindAttribute("VALUE"), std::nullopt);
  EXPECT_EQ(item.FindAttribute("Missing"), std::nullopt);
}

TEST(XmlNode, MissingAttributeThroughGetAttributeTextThrows) {
  TempDir dir;
  WriteFile(dir / "list.xml", "<List>\n\n<Item Value=\"1\"/></List>");
  Document doc = Document::LoadFile(dir / "list.xml");
  Node item = doc.SelectSingleNode("/List/Item");
  const std::string message = ErrorOf([&] { item.GetAttributeText("Desc"); });
  EXPECT_NE(message.find("\"Desc\""), std::string::npos) << message;
  EXPECT_NE(message.find("<Item>"), std::string::npos) << message;
  EXPECT_NE(message.find("list.xml:3"), std::string::npos) << message;
  EXPECT_THROW(item.GetAttributeText("value"), XmlError);
}

TEST(XmlNode, AMissingNodeIsAFailureExceptForFindAttribute) {
  Document doc = Document::LoadText("<a/>");
  Node missing = doc.SelectSingleNode("/a/none");
  EXPECT_FALSE(missing);
  EXPECT_EQ(missing.FindAttribute("x"), std::nullopt);
  EXPECT_THROW(missing.GetAttributeText("x"), XmlError);
  EXPECT_THROW(missing.Text(), XmlError);
  EXPECT_THROW(missing.Name(), XmlError);
  EXPECT_THROW(missing.Children(), XmlError);
  EXPECT_THROW(missing.SelectNodes("b"), XmlError);
}

TEST(XmlNode, NamespacePrefixesAreKeptInNames) {
  Document doc = Document::LoadText(
      "<r xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><p:b xmlns:p=\"urn:p\" xsi:type=\"T\"/></r>");
  Node b = doc.Root().ChildElements().at(0);
  EXPECT_EQ(b.Name(), "p:b");
  EXPECT_EQ(b.GetAttributeText("xsi:type"), "T");
  EXPECT_EQ(doc.SelectNodes("//@xsi:type").size(), 1u);
}

// ---------------------------------------------------------------- XPath

TEST(XmlXPath, AbsoluteAndRelativeSelection) {
  Document doc = Document::LoadText(kCatalogue);
  std::vector<Node> groups = doc.SelectNodes("/IOList/Group");
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(groups[1].GetAttributeText("Name"), "Analog");

  // Relative to a node, and absolute from a node.
  EXPECT_EQ(groups[0].SelectNodes("Module").size(), 2u);
  EXPECT_EQ(groups[0].SelectSingleNode("Module[2]").GetAttributeText("ID"), "QM-2345");
  EXPECT_EQ(groups[1].SelectNodes("/IOList/Group").size(), 2u);
  EXPECT_EQ(groups[1].SelectNodes("//Module").size(), 3u);
  EXPECT_EQ(groups[1].SelectSingleNode("..").Name(), "IOList");

  Node attribute = doc.SelectSingleNode("/IOList/Group[@Name='Analog']/@Order");
  ASSERT_TRUE(attribute);
  EXPECT_EQ(attribute.Type(), NodeType::Attribute);
  EXPECT_EQ(attribute.Text(), "2");

  EXPECT_FALSE(doc.SelectSingleNode("/IOList/Nothing"));
  EXPECT_TRUE(doc.SelectNodes("/iolist").empty());  // names are case-sensitive
  EXPECT_EQ(doc.SelectNodes("//comment()").size(), 1u);
}

TEST(XmlXPath, BadExpressionsThrow) {
  Document doc = Document::LoadText(kCatalogue);
  for (const char* expr : {"/IOList/Group[", "", "///", "unknown-function()", "$undefined", "/IOList/p:x"}) {
    EXPECT_THROW(doc.SelectNodes(expr), XmlError) << expr;
    EXPECT_THROW(doc.Root().SelectSingleNode(expr), XmlError) << expr;
  }
  // An expression that yields no node set is not a selection.
  const std::string message = ErrorOf([&] { doc.SelectNodes("count(/IOList/Group)"); });
  EXPECT_NE(message.find("count(/IOList/Group)"), std::string::npos) << message;
}

// Paths of child names (and a last attribute) are answered without XPath;
// "(path)" is the same selection through XPath, so both must agree, also
// where namespaces, comments, entity references and layout text lie around.
TEST(XmlXPath, ChildPathsSelectWhatXPathSelects) {
  Document doc = Document::LoadText(
      "<!DOCTYPE r [<!ENTITY e \"<a k='entity'/>\">]>"
      "<r xmlns:x=\"urn:x\"><a k=\"1\"/><x:a k=\"ns\"/><a xmlns=\"urn:d\" k=\"default\"/>&e;<!--a-->"
      "<b><a k=\"2\" x:k=\"3\"/><c x:k=\"6\" k=\"7\"/><a/></b><?pi a?><a k=\"4\">t</a><b><a k=\"5\"/></b></r>");
  auto raw = [](const std::vector<Node>& nodes) {
    std::vector<void*> out;
    for (const Node& n : nodes) out.push_back(n.raw());
    return out;
  };
  const Node b = doc.SelectSingleNode("/r/b");
  ASSERT_TRUE(b);
  struct Case {
    Node from;  // null: the document
    const char* path;
    size_t count;
  };
  for (const Case& c : std::vector<Case>{{{}, "/r", 1},       {{}, "r", 1},           {{}, "/r/a", 2},
                                         {{}, "/r/b/a", 3},   {{}, "r/b/a/@k", 2},    {{}, "/r/a/@k", 2},
                                         {{}, "/r/b/c", 1},   {{}, "/r/x", 0},        {{}, "/r/a/@none", 0},
                                         {{}, "/R", 0},       {{}, "/r/b/a/@x:k", 1}, {b, "a", 2},
                                         {b, "a/@k", 1},      {b, "/r/b", 2},         {b.ChildElements()[0], "@k", 1},
                                         {b, "@k", 0},        {b, "c/a", 0}}) {
    const std::string path = c.path;
    const auto direct = c.from ? c.from.SelectNodes(path) : doc.SelectNodes(path);
    const auto xpath = c.from ? c.from.SelectNodes("(" + path + ")") : doc.SelectNodes("(" + path + ")");
    EXPECT_EQ(direct.size(), c.count) << path;
    EXPECT_EQ(raw(direct), raw(xpath)) << path;
    const Node first = c.from ? c.from.SelectSingleNode(path) : doc.SelectSingleNode(path);
    EXPECT_EQ(first.raw(), direct.empty() ? nullptr : direct.front().raw()) << path;
  }
  // A prefixed attribute is found by its qualified name only.
  const Node c = doc.SelectSingleNode("/r/b/c");
  EXPECT_EQ(c.FindAttribute("k"), "7");
  EXPECT_EQ(c.FindAttribute("x:k"), "6");
  for (const char* other : {"y:k", "x:", ":k", "x:kk", "K"}) EXPECT_FALSE(c.FindAttribute(other)) << other;
  EXPECT_EQ(doc.SelectSingleNode("/r/a/@k").Text(), "1");
  EXPECT_EQ(doc.SelectNodes("/r/a")[1].Text(), "t");
  for (const char* bad : {"/r/", "/r/@", "/r/a/"}) {
    EXPECT_THROW(doc.SelectNodes(bad), XmlError) << bad;
  }
}

// Every expression asked of a document evaluates in the document's one
// context; a failed one leaves it usable, and a new document element brings
// its own prefixes.
TEST(XmlXPath, TheDocumentsContextServesExpressionAfterExpression) {
  Document doc = Document::LoadText("<r xmlns:p=\"urn:p\"><p:x/><p:x/></r>");
  EXPECT_EQ(doc.SelectNodes("//p:x").size(), 2u);
  const std::string message = ErrorOf([&] { doc.SelectNodes("//p:x["); });
  EXPECT_NE(message.find("Invalid XPath expression \"//p:x[\""), std::string::npos) << message;
  EXPECT_EQ(doc.SelectNodes("//p:x[2]").size(), 1u);
  EXPECT_EQ(doc.SelectNodes("//p:x[last()]").size(), 1u);

  Document other = Document::LoadText("<s xmlns:q=\"urn:q\"><q:y/></s>");
  doc.SetRoot(other.Root());
  EXPECT_EQ(doc.SelectNodes("//q:y").size(), 1u);
  EXPECT_THROW(doc.SelectNodes("//p:x"), XmlError);  // that prefix left with the old element

  Document moved = std::move(doc);
  EXPECT_EQ(moved.SelectNodes("//q:y").size(), 1u);
  Document assigned;
  assigned = std::move(moved);
  EXPECT_EQ(assigned.SelectNodes("/s/*").size(), 1u);
}

// ---------------------------------------------------------------- safety

TEST(XmlSafety, ExternalEntitiesAreNotRead) {
  TempDir dir;
  WriteFile(dir / "secret.txt", "SECRET-CONTENT");
  const std::string file_url = "file://" + (dir / "secret.txt").string();
  const std::string xml = "<!DOCTYPE a [<!ENTITY x SYSTEM \"" + file_url + "\">]><a t=\"1\">[&x;]</a>";
  testing::internal::CaptureStderr();
  try {
    Document doc = Document::LoadText(xml);
    EXPECT_EQ(doc.Root().Text().find("SECRET"), std::string::npos);
    EXPECT_EQ(doc.Xml().find("SECRET"), std::string::npos);
  } catch (const XmlError& e) {
    EXPECT_EQ(std::string(e.what()).find("SECRET"), std::string::npos);
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(XmlSafety, ExternalDtdIsNotLoaded) {
  TempDir dir;
  WriteFile(dir / "a.dtd", "<!ATTLIST a x CDATA \"from-dtd\">");
  WriteFile(dir / "a.xml", "<!DOCTYPE a SYSTEM \"a.dtd\"><a/>");
  Document doc = Document::LoadFile(dir / "a.xml");
  EXPECT_EQ(doc.Root().FindAttribute("x"), std::nullopt);
}

TEST(XmlSafety, EntityExpansionBombIsRefused) {
  std::string xml = "<!DOCTYPE a [<!ENTITY e0 \"0123456789\">";
  for (int i = 1; i <= 10; ++i) {
    xml += "<!ENTITY e" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j) {
      xml += "&e" + std::to_string(i - 1) + ";";
    }
    xml += "\">";
  }
  xml += "]>";
  // In text and in an attribute value (attribute values always expand).
  for (const std::string body : {"<a>&e10;</a>", "<a v=\"&e10;\"/>"}) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(
        {
          Document doc = Document::LoadText(xml + body);
          (void)doc.Root().Text();
        },
        XmlError)
        << body;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  }
}

// One wide entity named many times: no nesting for the parser's own guard to
// see, yet every read of the text would copy megabytes.
TEST(XmlSafety, WideEntityExpansionIsRefusedWithItsReason) {
  TempDir dir;
  const std::string declaration = "<!DOCTYPE ErrorList [<!ENTITY w \"" + std::string(50 * 1024, 'w') + "\">]>";
  std::string refs;
  for (int i = 0; i < 2000; ++i) refs += "&w;";
  struct Case {
    const char* name;
    std::string body;
    bool refused;
  };
  const Case cases[] = {
      {"text", "<ErrorList>" + refs + "</ErrorList>", true},
      {"attribute", "<ErrorList><Category GeneratorID=\"" + refs + "\"/></ErrorList>", true},
      // A handful of references stays within the allowance.
      {"few", "<ErrorList><Category GeneratorID=\"&w;&w;\">&w;</Category></ErrorList>", false},
  };
  for (const Case& c : cases) {
    WriteFile(dir / "bomb.xml", declaration + c.body);
    std::string message;
    try {
      Document doc = Document::LoadFile(dir / "bomb.xml");
      EXPECT_EQ(doc.Root().Text().size() + doc.Root().ChildElements().size(), c.refused ? 0u : 50u * 1024 + 1)
          << c.name;
    } catch (const XmlError& e) {
      message = e.what();
    }
    EXPECT_EQ(!message.empty(), c.refused) << c.name << ": " << message;
    if (c.refused) {
      EXPECT_NE(message.find("bomb.xml"), std::string::npos) << message;
      EXPECT_NE(message.find("entity expansion"), std::string::npos) << message;
    }
  }
}

TEST(XmlSafety, OtherUsersOfLibxml2KeepLoadingFiles) {
  // The refusal of external resources holds only inside this layer's calls.
  TempDir dir;
  WriteFile(dir / "plain.xml", "<plain/>");
  (void)Document::LoadText("<warm-up/>");
  xmlDocPtr doc = xmlReadFile((dir / "plain.xml").c_str(), nullptr, XML_PARSE_NOERROR | XML_PARSE_NONET);
  ASSERT_NE(doc, nullptr);
  xmlFreeDoc(doc);
}

TEST(XmlSafety, InternalEntitiesAndCharacterReferencesStillWork) {
  Document doc = Document::LoadText("<!DOCTYPE a [<!ENTITY co \"Kestun\">]><a v=\"&co; &#xD55C;\">&co;&#54620;&lt;</a>");
  EXPECT_EQ(doc.Root().GetAttributeText("v"), "Kestun 한");
  EXPECT_EQ(doc.Root().Text(), "Kestun한<");
}

}  // namespace
}  // namespace qmx::xml
