#include "tests/model_catalogue_na/catalogue_helpers.h"

#include "platform/xml/xml.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace qmx::test {

std::string ToString(const Mutation& m) {
  std::string text = m.xpath;
  if (m.attribute) text += std::string("/@") + m.attribute;
  text += m.attribute && m.value ? std::string(" := \"") + m.value + "\"" : " removed";
  return text;
}

void ApplyMutation(const fs::path& file, const Mutation& m) {
  xml::Document document = xml::Document::LoadFile(file);
  xml::Node node = document.SelectSingleNode(m.xpath);
  ASSERT_TRUE(node) << "nothing at " << m.xpath;
  if (m.attribute) {
    if (m.value) {
      node.SetAttribute(m.attribute, m.value);
    } else {
      ASSERT_TRUE(node.FindAttribute(m.attribute)) << ToString(m);
      node.RemoveAttribute(m.attribute);
    }
    WriteFile(file, document.Xml());
    return;
  }
  // An element goes by an identity transform that copies everything else.
  const std::string stylesheet =
      std::string("<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                  "<xsl:template match=\"@*|node()\"><xsl:copy><xsl:apply-templates select=\"@*|node()\"/>"
                  "</xsl:copy></xsl:template><xsl:template match=\"") +
      m.xpath + "\"/></xsl:stylesheet>";
  const xml::Document result = document.Transform(stylesheet);
  ASSERT_FALSE(result.SelectSingleNode(m.xpath)) << ToString(m);
  WriteFile(file, result.Xml());
}

void CopyTestCatalogue(const fs::path& dir) {
  const fs::path source = SourcePath("tests/model_catalogue_na/data");
  fs::create_directories(dir / "NA");
  fs::copy_file(source / "listNA.xml", dir / "listNA.xml", fs::copy_options::overwrite_existing);
  for (const char* name : {"TestA.xml", "TestB.xml", "TestC.xml"}) {
    fs::copy_file(source / "NA" / name, dir / "NA" / name, fs::copy_options::overwrite_existing);
  }
}

TextIdMap LoadTestTexts() {
  TextIdMap texts;
  ParseTextIdFile(SourcePath("tests/model_catalogue_na/data/listTextIdTest.xml").string(), texts);
  return texts;
}

std::vector<LogRecord> ErrorLines(const std::vector<LogRecord>& records) {
  std::vector<LogRecord> out;
  for (const LogRecord& r : records) {
    if (r.category == kLogError) out.push_back(r);
  }
  return out;
}

bool HasCodeLine(const std::vector<LogRecord>& records, int code, const std::string& part) {
  const std::string prefix = "[Error Code: " + std::to_string(code) + "]";
  for (const LogRecord& r : records) {
    if (r.text.rfind(prefix, 0) == 0 && r.text.find(part) != std::string::npos) return true;
  }
  return false;
}

}  // namespace qmx::test
