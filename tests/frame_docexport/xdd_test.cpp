// The XDD export: when the command is offered, the document's objects,
// references and counts, the inserted attributes, well-formedness by xmllint
// and a golden file.
#include "tests/frame_docexport/docexport_fixture.h"

#include "app/frame/export/XddExport.h"
#include "platform/xml/xml.h"

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;
using docexport_test::CatalogueTest;

namespace {

class Xdd : public CatalogueTest {
protected:
  void SetUp() override {
    CatalogueTest::SetUp();
    // Modules of the "R" family as the catalogue fills them: class from the
    // seventh character of the ID, channel size from the tenth.
    for (const char* id : {"RBC-001000", "RDI-003168", "RDO-004168"}) {
      auto def = std::make_unique<IODef>();
      def->ID = id;
      def->category = std::string("R") + (id[6] == '3' ? "DI" : id[6] == '4' ? "DO" : "BC");
      def->modelName = id;
      qmx::xdd::FillXddObjectTable(*def);
      modules.Register(std::move(def), std::string(id) + ".xml");
    }
  }
  // A project with the POWERLINK adapter and modules; the project selected.
  CProjectUsr* PowerlinkProject(const std::vector<std::string>& moduleIds, const std::string& name = "Cell 9") {
    CProjectUsr* project = Project("PL", "POWERLINK");
    Station(name, "QMX-4109", moduleIds);
    Select(project);
    return project;
  }
  qmx::xdd::Result Generate(const CProjectUsr* project) {
    return qmx::xdd::GenerateXdd(ws, ws.tree().FindItem(project), qmx::xdd::BuiltInTemplates(), "Tester");
  }
};

TEST_F(Xdd, OfferedForAProjectOfOnePowerlinkAdapterWhateverItsName) {
  CProjectUsr* project = PowerlinkProject({}, "renamed by the user");
  EXPECT_TRUE(qmx::xdd::IsXddExportable(ws, ws.tree().FindItem(project)));
  const CNAUsr* adapter = project->Adapters().front();
  EXPECT_FALSE(qmx::xdd::IsXddExportable(ws, ws.tree().FindItem(adapter)));  // not the project
  EXPECT_FALSE(qmx::xdd::IsXddExportable(ws, kNoTreeItem));
  Station("second", "QMX-4109", {});
  EXPECT_FALSE(qmx::xdd::IsXddExportable(ws, ws.tree().FindItem(project)));  // two adapters

  // An adapter of another product named like the POWERLINK one is not.
  CProjectUsr* other = Project("TCP");
  Station("KR-4480", "QMX-4101", {});
  EXPECT_FALSE(qmx::xdd::IsXddExportable(ws, ws.tree().FindItem(other)));
}

TEST_F(Xdd, ModuleObjectsDataTypesAndParameters) {
  const qmx::xdd::Result result = Generate(PowerlinkProject({"RBC-001000", "RDI-003168", "RDO-004168"}));
  ASSERT_TRUE(result.ok) << result.error;
  const qmx::xml::Document doc = qmx::xml::Document::LoadText(result.text);
  auto all = [&](const std::string& name) { return doc.SelectNodes("//*[local-name()='" + name + "']"); };
  EXPECT_EQ(all("Object").size(), 3u + 29u);
  EXPECT_EQ(all("SubObject").size(), 3u * 25u + 203u);
  const std::vector<qmx::xml::Node> objects = all("Object");
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"2101", "Mappable_Ex_Slot_0"}, {"2102", "RDI-003168_1"}, {"2103", "RDO-004168_2"}, {"1000", "NMT_DeviceType_U32"}};
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(objects[i].GetAttributeText("index"), expected[i].first);
    EXPECT_EQ(objects[i].GetAttributeText("name"), expected[i].second);
  }
  EXPECT_EQ(objects[0].GetAttributeText("objectType"), "9");

  // Data types and parameters of the input and output modules, numbered 0, 1.
  const auto structs = all("struct");
  ASSERT_EQ(structs.size(), 2u);
  EXPECT_EQ(structs[0].GetAttributeText("uniqueID"), "RDI-003168_Struct0");
  EXPECT_EQ(structs[1].GetAttributeText("name"), "RDO-004168_1");
  const auto vars = all("varDeclaration");
  EXPECT_EQ(vars[0].GetAttributeText("name"), "RDI-003168Channel0");
  EXPECT_EQ(vars[0].GetAttributeText("uniqueID"), "RDI-003168_Struct0.Channel");
  EXPECT_EQ(vars[0].GetAttributeText("size"), "8");
  const auto params = all("parameter");
  ASSERT_EQ(params.size(), 2u);
  EXPECT_EQ(params[0].GetAttributeText("uniqueID"), "RDI-003168_0");
  EXPECT_EQ(params[0].GetAttributeText("access"), "read");
  EXPECT_EQ(params[1].GetAttributeText("access"), "write");
  EXPECT_EQ(all("label").at(2).Text(), "This is for 8 channel");
  EXPECT_EQ(all("dataTypeIDRef").at(1).GetAttributeText("uniqueIDRef"), "RDO-004168_Struct1");

  // The data row refers to the module's parameter in place of type and access.
  const auto inRows = objects[1].SelectNodes("*[local-name()='SubObject']");
  ASSERT_EQ(inRows.size(), 25u);
  EXPECT_EQ(inRows[14].GetAttributeText("uniqueIDRef"), "RDI-003168_0");
  EXPECT_FALSE(inRows[14].FindAttribute("dataType"));
  EXPECT_EQ(inRows[13].GetAttributeText("dataType"), "0006");
  const auto outRows = objects[2].SelectNodes("*[local-name()='SubObject']");
  EXPECT_EQ(outRows[13].GetAttributeText("uniqueIDRef"), "RDO-004168_1");
  EXPECT_EQ(outRows[0].GetAttributeText("defaultValue"), "41");
  EXPECT_FALSE(outRows[1].FindAttribute("defaultValue"));
  // Every sub-object of a filled table carries its data type.
  EXPECT_EQ(inRows[4].GetAttributeText("dataType"), "0009");
}

TEST_F(Xdd, AnAdapterWithoutModulesGivesTheTemplatesAlone) {
  const qmx::xdd::Result result = Generate(PowerlinkProject({}));
  ASSERT_TRUE(result.ok) << result.error;
  const qmx::xml::Document doc = qmx::xml::Document::LoadText(result.text);
  EXPECT_EQ(doc.SelectNodes("//*[local-name()='Object']").size(), 29u);
  EXPECT_EQ(doc.SelectNodes("//*[local-name()='dataTypeList']/*").size(), 0u);
  EXPECT_EQ(doc.SelectNodes("//*[local-name()='parameterList']/*").size(), 0u);
}

TEST_F(Xdd, TheTenthModuleTakesIndex2110AndAModuleWithoutATableIsLeftOutWithItsLine) {
  std::vector<std::string> ids(10, "RBC-001000");
  ids.push_back("QMX-1808");    // slot 11: no table of its own
  ids.push_back("RDI-003168");  // slot 12 keeps the index of its slot
  const qmx::xdd::Result result = Generate(PowerlinkProject(ids));
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.leftOut, 1);
  const qmx::xml::Document doc = qmx::xml::Document::LoadText(result.text);
  const auto objects = doc.SelectNodes("//*[local-name()='Object']");
  ASSERT_EQ(objects.size(), 11u + 29u);
  EXPECT_EQ(objects.at(9).GetAttributeText("index"), "2110");
  EXPECT_EQ(objects.at(10).GetAttributeText("index"), "2112");
  EXPECT_EQ(objects.at(10).GetAttributeText("name"), "RDI-003168_11");
  // The input module is the first with a parameter; no module of another
  // family leaves a data type, a parameter or an empty sub-object behind.
  EXPECT_EQ(doc.SelectNodes("//*[local-name()='parameter']").size(), 1u);
  EXPECT_EQ(objects.at(10).SelectNodes("*[local-name()='SubObject']").at(14).GetAttributeText("uniqueIDRef"),
            "RDI-003168_0");
  EXPECT_EQ(doc.SelectNodes("//*[local-name()='SubObject'][@objectType='' or @subIndex='']").size(), 0u);
  EXPECT_EQ(doc.SelectNodes("//*[local-name()='Object'][@objectType='0']").size(), 0u);
  const std::vector<std::string> lines = ErrorLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0],
            "[Warning] Module has no XDD object table and is left out of the XDD file. Slot: 11. "
            "Module: QMX-1808 #11. Model: QMX-1808. Func: GenerateXdd.");
}

TEST_F(Xdd, TheSavedFileIsWellFormedAndMatchesTheGoldenFile) {
  const qmx::xdd::Result result = Generate(PowerlinkProject({"RBC-001000", "RDI-003168", "RDO-004168"}));
  ASSERT_TRUE(result.ok) << result.error;
  // The inserted attributes, names and dates as the device profile writes them.
  for (const char* part : {"<ISO15745ProfileContainer\n\txmlns= \"http://www.ethernet-powerlink.org\"\n\t"
                           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n\t"
                           "xsi:schemaLocation=\"http://www.ethernet-powerlink.org Powerlink_Main.xsd\">",
                           "\n\tfileCreator=\"Tester\"\n\tfileCreationDate=\"2013-01-29\"\n\t"
                           "fileModificationdate=\"2013-01-29\"\n\tfileModifiedBy=\"Tester\"",
                           "xsi:type=\"ProfileBody_CommunicationNetwork_Powerlink\"",
                           "\n\tfileModificationDate=\"2013-01-22\"\n\tfileVersion=\"1.0\">"})
    EXPECT_NE(result.text.find(part), std::string::npos) << part;

  qmx::test::TempDir tmp("xdd");
  const fs::path file = tmp / "000003B7_KR4480.xdd";
  std::string error;
  ASSERT_TRUE(qmx::xdd::WriteXddFile(file, result.text, error)) << error;
  const std::string command = "xmllint --noout '" + file.string() + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  ExpectGolden(file, "three_modules.xdd", tmp.path().string());

  EXPECT_FALSE(qmx::xdd::WriteXddFile(tmp / "missing" / "x.xdd", result.text, error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
