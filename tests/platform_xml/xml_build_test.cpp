// Building documents, writing them out, moving nodes between documents and
// transforming with stylesheets.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/text/charset.h"
#include "platform/xml/xml.h"
#include "tests/support/test_support.h"

namespace qmx::xml {
namespace {

using qmx::test::ReadFile;
using qmx::test::TempDir;
using qmx::test::WriteFile;

// xmllint's verdict on a file: true when it is well-formed.
bool XmllintAccepts(const std::filesystem::path& file) {
  const std::string command = "xmllint --noout --nonet '" + file.string() + "' 2>/dev/null";
  return std::system(command.c_str()) == 0;
}

TEST(XmlBuild, BuiltDocumentIsWrittenAndReadBack) {
  Document doc;
  EXPECT_FALSE(doc.Root());
  Node root = doc.CreateElement("ObjectList");
  doc.SetRoot(root);
  Node object = root.AppendElement("Object");
  object.SetAttribute("index", "2101");
  object.SetAttribute("name", "Mappable_Ex_Slot_0");
  object.SetAttribute("objectType", "9");
  object.SetAttribute("index", "2102");  // changes the value, keeps the place
  object.SetAttribute("temp", "x");
  object.RemoveAttribute("temp");
  object.RemoveAttribute("never-there");
  Node sub = object.AppendElement("SubObject");
  sub.SetAttribute("name", "a&b <c> \"d\" 'e'");
  Node label = root.AppendElement("label");
  label.SetText("This is for 한국어 & € channel <1>");

  const std::string xml = doc.Xml();
  EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u) << xml;
  EXPECT_NE(xml.find("<Object index=\"2102\" name=\"Mappable_Ex_Slot_0\" objectType=\"9\">"), std::string::npos)
      << xml;

  TempDir dir;
  WriteFile(dir / "built.xml", xml);
  EXPECT_TRUE(XmllintAccepts(dir / "built.xml")) << xml;

  Document back = Document::LoadText(xml);
  EXPECT_EQ(back.SelectSingleNode("/ObjectList/Object/SubObject").GetAttributeText("name"), "a&b <c> \"d\" 'e'");
  EXPECT_EQ(back.SelectSingleNode("/ObjectList/label").Text(), "This is for 한국어 & € channel <1>");
  std::vector<Node> attributes = back.SelectSingleNode("/ObjectList/Object").Attributes();
  ASSERT_EQ(attributes.size(), 3u);
  EXPECT_EQ(attributes[0].Name(), "index");
  EXPECT_EQ(attributes[2].Name(), "objectType");
}

TEST(XmlBuild, XmlOfAnEucKrDocumentIsUtf8AndAcceptedByXmllint) {
  Document doc = Document::LoadText(text::Utf8ToEucKr(
      "<?xml version=\"1.0\" encoding=\"euc-kr\"?><a v=\"한국어\"><!--주석--><?pi 값?>텍스트 €</a>"));
  const std::string xml = doc.Xml();
  EXPECT_NE(xml.find("encoding=\"UTF-8\""), std::string::npos) << xml;
  EXPECT_NE(xml.find("<a v=\"한국어\"><!--주석--><?pi 값?>텍스트 €</a>"), std::string::npos) << xml;
  EXPECT_EQ(doc.DeclaredEncoding(), "euc-kr");
  TempDir dir;
  WriteFile(dir / "out.xml", xml);
  EXPECT_TRUE(XmllintAccepts(dir / "out.xml"));
}

TEST(XmlBuild, SetTextReplacesContent) {
  Document doc = Document::LoadText("<a><b/>old<!--c--></a>");
  doc.Root().SetText("new");
  EXPECT_EQ(doc.Root().Children().size(), 1u);
  EXPECT_EQ(doc.Root().Text(), "new");
  doc.Root().SetText("");
  EXPECT_TRUE(doc.Root().Children().empty());

  Document attr = Document::LoadText("<a v=\"1\"/>");
  attr.SelectSingleNode("/a/@v").SetText("x&y");
  EXPECT_EQ(attr.Root().GetAttributeText("v"), "x&y");
}

TEST(XmlBuild, InvalidNamesAndTextsAreRefused) {
  Document doc;
  doc.SetRoot(doc.CreateElement("a"));
  Node root = doc.Root();
  for (const char* name : {"", "1abc", "a b", "<x>", "a:b:c"}) {
    EXPECT_THROW(doc.CreateElement(name), XmlError) << name;
    EXPECT_THROW(root.AppendElement(name), XmlError) << name;
    EXPECT_THROW(root.SetAttribute(name, "v"), XmlError) << name;
  }
  EXPECT_THROW(root.SetAttribute("v", "bell\x07"), XmlError);
  EXPECT_THROW(root.SetAttribute("v", "\xFF"), XmlError);
  EXPECT_THROW(root.SetText("nul\x01"), XmlError);
  EXPECT_NO_THROW(root.SetAttribute("v", "tab\tcr\rlf\n"));
  EXPECT_EQ(Document::LoadText(doc.Xml()).Root().GetAttributeText("v"), "tab\tcr\rlf\n");
}

TEST(XmlBuild, NodesMoveBetweenDocumentsThatDieInAnyOrder) {
  Document main = Document::LoadText("<ISO15745ProfileContainer><ObjectList/></ISO15745ProfileContainer>");
  Node target = main.SelectSingleNode("//ObjectList");
  {
    Document module = Document::LoadText("<ObjectList><Object index=\"2101\"><SubObject subIndex=\"00\"/></Object>"
                                         "<Object index=\"2102\"/></ObjectList>");
    for (Node child : module.Root().Children()) {
      target.AppendChild(child);
    }
    EXPECT_TRUE(module.Root().Children().empty());
  }  // the source document is gone; the moved nodes live on in main
  std::vector<Node> objects = main.SelectNodes("//ObjectList/Object");
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_EQ(objects[0].GetAttributeText("index"), "2101");
  EXPECT_EQ(objects[0].SelectSingleNode("SubObject").GetAttributeText("subIndex"), "00");
  EXPECT_NE(main.Xml().find("<Object index=\"2102\"/>"), std::string::npos);

  // Created in one document, appended in another, the creator dies first.
  Node foreign;
  {
    Document other;
    foreign = other.CreateElement("Object");
    foreign.SetAttribute("index", "2103");
    target.AppendChild(foreign);
  }
  EXPECT_EQ(main.SelectNodes("//Object").size(), 3u);
  EXPECT_EQ(foreign.GetAttributeText("index"), "2103");
}

TEST(XmlBuild, NamespacesSurviveAMove) {
  Document main = Document::LoadText("<r/>");
  {
    Document src = Document::LoadText("<s xmlns:p=\"urn:p\"><p:x p:a=\"1\"/></s>");
    main.Root().AppendChild(src.Root().ChildElements().at(0));
  }
  const std::string xml = main.Xml();
  Document back = Document::LoadText(xml);
  Node x = back.Root().ChildElements().at(0);
  EXPECT_EQ(x.Name(), "p:x") << xml;
  EXPECT_EQ(x.GetAttributeText("p:a"), "1") << xml;
}

TEST(XmlBuild, AppendChildRefusesCyclesAndSecondRoots) {
  Document doc = Document::LoadText("<a><b><c/></b></a>");
  Node b = doc.SelectSingleNode("/a/b");
  Node c = doc.SelectSingleNode("/a/b/c");
  EXPECT_THROW(c.AppendChild(b), XmlError);
  EXPECT_THROW(b.AppendChild(b), XmlError);
  EXPECT_THROW(doc.SelectSingleNode("/").AppendChild(doc.CreateElement("second")), XmlError);
  EXPECT_THROW(doc.SelectSingleNode("/a/@x").AppendChild(c), XmlError);  // null target
  // Moving within the document is fine.
  doc.Root().AppendChild(c);
  EXPECT_EQ(doc.Xml().find("<a><b/><c/></a>") != std::string::npos, true) << doc.Xml();
}

TEST(XmlBuild, SetRootReplacesAndKeepsOldHandlesValid) {
  Document doc = Document::LoadText("<old><x v=\"1\"/></old>");
  Node old_root = doc.Root();
  Node x = doc.SelectSingleNode("/old/x");
  Node fresh = doc.CreateElement("fresh");
  doc.SetRoot(fresh);
  doc.SetRoot(fresh);  // again: nothing changes
  EXPECT_EQ(doc.Root().Name(), "fresh");
  EXPECT_EQ(old_root.Name(), "old");
  EXPECT_EQ(x.GetAttributeText("v"), "1");
  fresh.AppendChild(x);
  EXPECT_NE(doc.Xml().find("<fresh><x v=\"1\"/></fresh>"), std::string::npos) << doc.Xml();

  // An element of another document becomes this one's root.
  Document other = Document::LoadText("<r><moved a=\"b\"/></r>");
  doc.SetRoot(other.SelectSingleNode("/r/moved"));
  EXPECT_EQ(doc.Root().GetAttributeText("a"), "b");
  EXPECT_TRUE(other.Root().Children().empty());
}

TEST(XmlBuild, UnattachedCreatedElementsAreFreedWithTheDocument) {
  Document doc;
  for (int i = 0; i < 10; ++i) {
    Node n = doc.CreateElement("loose");
    n.AppendElement("child").SetText("text");
  }
  EXPECT_FALSE(doc.Root());  // LeakSanitizer checks the rest at exit
}

TEST(XmlBuild, DocumentsMove) {
  Document a = Document::LoadText("<a/>");
  Node loose = a.CreateElement("loose");
  Document b(std::move(a));
  EXPECT_FALSE(a.Root());
  EXPECT_EQ(a.Xml(), "");
  EXPECT_EQ(a.DeclaredEncoding(), "");
  EXPECT_THROW(a.SelectNodes("/a"), XmlError);
  EXPECT_THROW(a.CreateElement("x"), XmlError);
  EXPECT_EQ(b.Root().Name(), "a");
  b.Root().AppendChild(loose);

  Document c = Document::LoadText("<c/>");
  c = std::move(b);
  EXPECT_EQ(c.Root().Name(), "a");
  EXPECT_EQ(c.SelectNodes("/a/loose").size(), 1u);
  c = Document::LoadText("<d/>");
  EXPECT_EQ(c.Root().Name(), "d");
}

TEST(XmlEscape, PredefinedEntities) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"plain 한국어", "plain 한국어"},
      {"a&b", "a&amp;b"},
      {"<tag>", "&lt;tag&gt;"},
      {"say \"hi\"", "say &quot;hi&quot;"},
      {"it's", "it's"},
      {"&amp;", "&amp;amp;"},
      {"tab\tlf\ncr\r\nend", "tab&#9;lf&#10;cr&#13;&#10;end"},
  };
  for (const auto& [in, out] : cases) {
    EXPECT_EQ(EscapeAttribute(in), out);
    // What a line writer puts into an attribute or element text reads back as the value.
    EXPECT_EQ(Document::LoadText("<a v=\"" + EscapeAttribute(in) + "\"/>").Root().GetAttributeText("v"), in);
    EXPECT_EQ(Document::LoadText("<a>" + EscapeAttribute(in) + "</a>", Document::Whitespace::Preserve).Root().Text(),
              in);
  }
}

// ---------------------------------------------------------------- transform

// Copies elements with their attributes, processing instructions and
// comments, indented, into EUC-KR.
const char* const kIndentStylesheet = R"xsl(<?xml version="1.0" encoding="UTF-8"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" encoding="euc-kr" indent="yes"/>
  <xsl:template match="*">
    <xsl:copy>
      <xsl:apply-templates select="@*"/>
      <xsl:if test="* | text()"><xsl:apply-templates/></xsl:if>
    </xsl:copy>
  </xsl:template>
  <xsl:template match="@* | processing-instruction() | comment()">
    <xsl:copy/>
  </xsl:template>
</xsl:stylesheet>
)xsl";

TEST(XmlTransform, IndentingStylesheetLaysOutTheDocument) {
  Document module;
  Node list = module.CreateElement("ObjectList");
  module.SetRoot(list);
  Node object = list.AppendElement("Object");
  object.SetAttribute("index", "2101");
  object.SetAttribute("name", "모듈_0 €");
  for (const char* sub : {"00", "01"}) {
    object.AppendElement("SubObject").SetAttribute("subIndex", sub);
  }
  list.AppendChild(module.CreateElement("Tail")).SetText("끝");

  Document indented = module.Transform(kIndentStylesheet);
  EXPECT_EQ(indented.DeclaredEncoding(), "euc-kr");
  Node root = indented.Root();
  ASSERT_TRUE(root);
  EXPECT_EQ(root.Name(), "ObjectList");
  Node out_object = indented.SelectSingleNode("/ObjectList/Object");
  ASSERT_TRUE(out_object);
  EXPECT_EQ(out_object.GetAttributeText("name"), "모듈_0 €");
  EXPECT_EQ(out_object.SelectNodes("SubObject").size(), 2u);
  EXPECT_EQ(indented.SelectSingleNode("/ObjectList/Tail").Text(), "끝");

  // The layout is part of the tree: blank text nodes between the elements.
  std::vector<Node> children = out_object.Children();
  ASSERT_EQ(children.size(), 5u);
  EXPECT_EQ(children[0].Type(), NodeType::Text);
  EXPECT_NE(children[0].Text().find('\n'), std::string::npos);
  const std::string xml = indented.Xml();
  EXPECT_NE(xml.find("\n  <Object index=\"2101\""), std::string::npos) << xml;
  EXPECT_NE(xml.find("\n    <SubObject subIndex=\"00\"/>"), std::string::npos) << xml;

  // And it moves with the nodes into another document.
  Document main = Document::LoadText("<c><ObjectList/></c>");
  for (Node child : indented.Root().Children()) {
    main.SelectSingleNode("//ObjectList").AppendChild(child);
  }
  TempDir dir;
  WriteFile(dir / "main.xml", main.Xml());
  EXPECT_TRUE(XmllintAccepts(dir / "main.xml"));
  EXPECT_NE(main.Xml().find("\n    <SubObject subIndex=\"01\"/>"), std::string::npos) << main.Xml();
}

TEST(XmlTransform, CommentsAndInstructionsAreCopied) {
  Document doc = Document::LoadText("<a><!--note--><?tool run?><b/></a>");
  Document out = doc.Transform(kIndentStylesheet);
  std::vector<Node> children = out.Root().Children();
  int comments = 0, instructions = 0;
  for (const Node& n : children) {
    comments += n.Type() == NodeType::Comment;
    instructions += n.Type() == NodeType::ProcessingInstruction;
  }
  EXPECT_EQ(comments, 1);
  EXPECT_EQ(instructions, 1);
}

TEST(XmlTransform, TextOutputAndEmptyResults) {
  Document doc = Document::LoadText("<a><b>x</b><b>y</b></a>");
  Document text = doc.Transform(R"(<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
      <xsl:output method="text"/>
      <xsl:template match="/"><xsl:for-each select="//b"><xsl:value-of select="."/></xsl:for-each></xsl:template>
    </xsl:stylesheet>)");
  EXPECT_EQ(text.SelectSingleNode("/").Text(), "xy");
  Document empty = doc.Transform(R"(<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
      <xsl:template match="/"/>
    </xsl:stylesheet>)");
  EXPECT_FALSE(empty.Root());
}

TEST(XmlTransform, FailuresAreErrorsAndNothingIsPrinted) {
  TempDir dir;
  WriteFile(dir / "secret.xml", "<secret>SECRET</secret>");
  // A stylesheet that would make the transform succeed if it were included.
  WriteFile(dir / "included.xsl",
            "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
            "<xsl:template match=\"/\"><r>SECRET</r></xsl:template></xsl:stylesheet>");
  Document doc = Document::LoadText("<a/>");
  const std::string bad[] = {
      "not xml at all",
      "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"><xsl:bogus/>"
      "</xsl:stylesheet>",
      "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"><xsl:template match=\"/\">"
      "<xsl:message terminate=\"yes\">stop</xsl:message></xsl:template></xsl:stylesheet>",
      "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"><xsl:template match=\"/\">"
      "<r><xsl:value-of select=\"document('" + (dir / "secret.xml").string() + "')\"/></r></xsl:template>"
      "</xsl:stylesheet>",
      "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"><xsl:include href=\"" +
          (dir / "included.xsl").string() + "\"/></xsl:stylesheet>",
  };
  testing::internal::CaptureStderr();
  for (const std::string& stylesheet : bad) {
    try {
      Document out = doc.Transform(stylesheet);
      EXPECT_EQ(out.Xml().find("SECRET"), std::string::npos) << stylesheet;
      ADD_FAILURE() << "accepted: " << stylesheet;
    } catch (const XmlError& e) {
      const std::string message = e.what();
      EXPECT_FALSE(message.empty()) << stylesheet;
      EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace qmx::xml
