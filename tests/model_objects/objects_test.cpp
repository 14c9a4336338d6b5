// The adapter's and the project's offline behaviour: labels, descriptions,
// property edits and their change flags, value lists and image modes.
#include "fixture.h"

#include "app/model/IOUsr.h"

namespace {

class Objects : public ObjectTest {};

struct Offline {
  explicit Offline(const std::string& type) : def(MakeDefinition("NoSuchDriver")) {
    project.SetName("P1");
    project.SetCommType(type);
    na.SetName("Station 1");
    na.SetNADef(def.get());
    project.AddAdapter(&na);
  }
  std::unique_ptr<NADef> def;
  CProjectUsr project;
  CNAUsr na;
};

TEST_F(Objects, LabelsFollowTheCommunicationTypeAndViewMode) {
  {
    Offline s("TCP");
    s.na.ipAddress = "10.0.0.7";
    EXPECT_EQ(s.na.GetTreeUniqueName(0), "Station 1 (10.0.0.7)");
    EXPECT_EQ(s.na.GetTreeUniqueName(1), "QMX-ETH (10.0.0.7)");
    EXPECT_EQ(s.na.GetLabel(2), "QMX-ETH (10.0.0.7)");
    EXPECT_EQ(s.na.GetCommAddress(), "10.0.0.7");
  }
  {
    Offline s("RS485");
    s.na.comPort = "COM3";
    s.na.nodeAddress = "5";
    EXPECT_EQ(s.na.GetTreeUniqueName(0), "Station 1 (Port:COM3. Node:5)");
    EXPECT_EQ(s.na.GetCommAddress(), "5");
  }
  {
    Offline s("Offline");
    s.na.posNo = 2;
    EXPECT_EQ(s.na.GetTreeUniqueName(0), "Station 1 (Pos: 2)");
    EXPECT_EQ(s.na.GetCommAddress(), "");
  }
  CNAUsr bare;
  EXPECT_EQ(bare.GetTreeUniqueName(0), "Unknown-Bug");
  EXPECT_TRUE(log.Has("[Bug] NaDef pointer is NULL. Func: GetTreeUniqueName"));
  EXPECT_EQ(bare.GetProductCode(), 0);
  EXPECT_EQ(bare.GetValueText("L", "0"), "INVALID");
}

TEST_F(Objects, AdapterWithoutProjectReportsTheTreeHandle) {
  auto def = MakeDefinition();
  CNAUsr na;
  na.SetNADef(def.get());
  EXPECT_EQ(na.GetTreeUniqueName(0), "");
  EXPECT_EQ(na.LoadCommunicateDriver(), 0);
  ASSERT_FALSE(Boxes().empty());
  EXPECT_EQ(Boxes().back(), "[Bug] Invalid NA's project tree handle.");
}

// The adapter reads no project: what it shows follows the line its project
// hands it, and a project that lets it go (removed, or gone) leaves it on
// none; an adapter that goes leaves its project's list.
TEST_F(Objects, AdapterFollowsTheLineItsProjectHandsIt) {
  auto def = MakeDefinition("NoSuchDriver");
  auto project = std::make_unique<CProjectUsr>();
  project->SetCommType("TCP");
  CNAUsr na;
  na.SetName("Station 1");
  na.SetNADef(def.get());
  na.ipAddress = "10.0.0.7";
  na.comPort = "COM3";
  na.nodeAddress = "5";
  na.posNo = 2;
  project->AddAdapter(&na);
  struct Case {
    const char* type;
    const char* label;
    const char* address;
    int online;
  };
  for (const Case& c : {Case{"TCP", "Station 1 (10.0.0.7)", "10.0.0.7", 1},
                        Case{"RS232C", "Station 1 (Port:COM3. Node:5)", "COM3", 1},
                        Case{"Offline", "Station 1 (Pos: 2)", "", 0}}) {
    project->SetCommType(c.type);
    EXPECT_EQ(na.GetTreeUniqueName(0), c.label) << c.type;
    EXPECT_EQ(na.GetCommAddress(), c.address) << c.type;
    EXPECT_EQ(na.IsSupportOnline(), c.online) << c.type;
  }

  project->RemoveChild(&na, 0);
  EXPECT_FALSE(na.OnProject());
  EXPECT_EQ(na.GetTreeUniqueName(0), "");
  ASSERT_FALSE(Boxes().empty());
  EXPECT_EQ(Boxes().back(), "[Bug] Invalid NA's project tree handle.");
  project->AddAdapter(&na);
  EXPECT_EQ(na.GetTreeUniqueName(0), "Station 1 (Pos: 2)");
  project.reset();
  EXPECT_FALSE(na.OnProject());
  EXPECT_EQ(na.UnloadCommunicateDriver(), 2);

  CProjectUsr other;
  auto gone = std::make_unique<CNAUsr>();
  other.AddAdapter(gone.get());
  other.AddAdapter(&na);
  gone.reset();
  EXPECT_EQ(other.Adapters(), (std::vector<CNAUsr*>{&na}));
  other.RemoveChild(&na, 0);
}

TEST_F(Objects, CommunicationDescriptions) {
  CNAUsr na;
  EXPECT_EQ(na.GetCommDescForDocu(), "");
  na.ipAddress = "192.168.1.5";
  EXPECT_EQ(na.GetCommDescForDocu(), "IP Address: 192.168.1.5");
  na.ipAddress.clear();
  na.comPort = "COM1";
  na.serialSettings = "9600, 8, NOPARITY, 1";
  na.nodeAddress = "3";
  EXPECT_EQ(na.GetCommDescForDocu(), "COM Port: COM1. 9600, 8, NOPARITY, 1. Node Address: 3");
  EXPECT_EQ(na.GetCommDescShort(), "Port: COM1. 9600, 8, NOPARITY, 1. Node: 3");
}

TEST_F(Objects, PropertyEditsSetTheirChangeFlags) {
  Offline s("TCP");
  s.na.SetCommSettings("  10.0.0.9 ", " COM1", "9600, 8, NOPARITY, 1 ", " 4 ");
  EXPECT_EQ(s.na.ipAddress, "10.0.0.9");
  EXPECT_EQ(s.na.nodeAddress, "4");
  s.na.channelChanged = s.na.deviceChanged = 0;
  s.na.ChagnedValueByUsr("properties", "ip address", nullptr, nullptr, " 10.0.0.1 ");
  EXPECT_EQ(s.na.ipAddress, " 10.0.0.1 ");
  EXPECT_EQ(s.na.channelChanged, 1);
  EXPECT_EQ(s.na.deviceChanged, 0);
  s.na.channelChanged = 0;
  s.na.ChagnedValueByUsr("Properties", "Node Address", nullptr, nullptr, "9");
  EXPECT_EQ(s.na.channelChanged, 1);
  EXPECT_EQ(s.na.deviceChanged, 1);
  s.na.ChagnedValueByUsr("Properties", "Colour", nullptr, nullptr, "red");
  EXPECT_TRUE(log.Has("[Bug] Undefined property lable. Key: Colour. Func: NAUsr::ChagnedValueByUsr",
                      qmx::kLogDeveloper));
  EXPECT_FALSE(log.Has("Undefined property lable", qmx::kLogError));
}

TEST_F(Objects, ImageModeParametersMarkTheModeChanged) {
  Offline s("TCP");
  ParaItem mode;
  mode.category = "MON_INIT";
  mode.key = "InputMode";
  mode.dataType = kDataTypeUnsigned8;
  mode.length = 1;
  s.na.ChagnedValueByUsr("Parameters", "", &mode, nullptr, "3");
  EXPECT_EQ(s.na.imageModeChanged, 1);
  EXPECT_EQ(s.na.monInitImage().at(0), 3);
}

TEST_F(Objects, ImageModesComeFromTheMonInitBlockOrDefaults) {
  Offline s("TCP");
  std::string text;
  EXPECT_EQ(s.na.GetInputImgMode(text), 2);
  EXPECT_EQ(text, "2");
  EXPECT_EQ(s.na.GetOutputImgMode(text), 1);
  EXPECT_EQ(text, "1");
  auto item = std::make_unique<ParaItem>();
  item->category = "MON_INIT";
  item->key = "InputMode";
  item->dataType = kDataTypeUnsigned8;
  item->length = 1;
  item->byteOffset = 1;
  item->valueItemTarget = "Modes";
  s.def->blockItems[kMonInit].push_back(std::move(item));
  s.def->valueLists["Modes"] = {ValueRecord{"", "0", "Compact", "", ""}, ValueRecord{"", "4", "Word", "", ""}};
  s.na.monInitImage()[1] = 4;
  EXPECT_EQ(s.na.GetInputImgMode(text), 4);
  EXPECT_EQ(text, "Word");
  s.na.monInitImage()[1] = 7;
  EXPECT_EQ(s.na.GetInputImgMode(text), 7);
  EXPECT_EQ(text, "7");
  EXPECT_TRUE(log.Has("[Bug] NA Parameter value does not exist in value list. Target: Modes, Value: 7."));
}

TEST_F(Objects, ValueTextsByIndex) {
  Offline s("TCP");
  s.def->valueLists["L"] = {ValueRecord{"", "10", "a", "", ""}, ValueRecord{"", "20", "b", "", ""}};
  EXPECT_EQ(s.na.GetValueText("L", "1"), "20");
  EXPECT_EQ(s.na.GetValueText("L", "2"), "INVALID");
  EXPECT_EQ(s.na.GetValueText("L", "-1"), "INVALID");
  EXPECT_EQ(s.na.GetValueText("", "0"), "INVALID");
  EXPECT_EQ(s.na.GetValueText("M", "0"), "INVALID");
}

TEST_F(Objects, DefinitionGivesTheImagesAndTexts) {
  auto def = MakeDefinition();
  def->defaultParaImage = {1, 2, 3, 4};
  CNAUsr na;
  na.SetNADef(def.get());
  EXPECT_EQ(na.paraImage(), (std::vector<uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(na.OutputLength(), 2);
  EXPECT_EQ(na.MonInitLength(), 4);
  EXPECT_EQ(na.GetProductCode(), 0x4101);
  EXPECT_EQ(CNAUsr::GetCommTypeStr(1), "NONE_DRIVER");
  EXPECT_EQ(CNAUsr::GetCommTypeStr(4), "RS485");
  na.AddDiagHistory("  lost  ");
  EXPECT_EQ(na.DiagHistory(), (std::vector<std::string>{"lost"}));
}

TEST_F(Objects, ProjectPropertiesAndNoSharedDriverForPointToPoint) {
  CProjectUsr project;
  project.SetName("Plant");
  EXPECT_EQ(project.AssignCommTypeLoadMultiDropDriver(), 2);
  project.SetCommType("TCP");
  EXPECT_EQ(project.commTypeCode, 0);
  EXPECT_FALSE(project.HasSharedDriver());
  EXPECT_EQ(project.StartComm(), 0);
  ASSERT_FALSE(Boxes().empty());
  EXPECT_EQ(Boxes().back(), "The network adapter does not support online communication. Plant.");
  EXPECT_EQ(project.SetChannelProperty("x"), 0);
  project.ChagnedValueByUsr("Properties", "View Update Time", nullptr, nullptr, "1000");
  EXPECT_EQ(project.viewUpdateTime, 1000);
  EXPECT_EQ(project.viewUpdateTimeChanged, 1);
  EXPECT_EQ(project.commIntervalChanged, 0);
  project.ChagnedValueByUsr("Properties", "Colour", nullptr, nullptr, "1");
  EXPECT_TRUE(log.Has("[Bug] Undefined property lable. Key: Colour. Func: ProjectUsr::ChagnedValueByUsr",
                      qmx::kLogDeveloper));
  EXPECT_FALSE(log.Has("Undefined property lable", qmx::kLogError));
  EXPECT_EQ(project.GetInfoText(), "Project");
  EXPECT_EQ(project.GetDescription(), "Plant");
}

TEST_F(Objects, ModuleParameterThatCannotBeReadIsExplainedByTheReader) {
  CIOUsr module;  // no definition, no PARA image
  EXPECT_EQ(module.GetParaValForUsr("PARA", ParaItem(), ""), "");
  EXPECT_TRUE(log.Has("Source pointer is NULL. PARA. Caller: :. Func: GetUsrValFromPrjMemory."));
}

}  // namespace
