// The frame's selection services and structure operations on a project tree
// built in code: fall-backs and refusals with their codes, log lines and
// boxes, position look-ups at the edges, numbering and labels after changes.
#include "tests/frame_selection/workspace_fixture.h"

namespace {

class Selection : public WorkspaceTest {
protected:
  void SetUp() override {
    WorkspaceTest::SetUp();
    auto na = std::make_unique<NADef>();
    na->ID = "NA_OFF";
    na->modelName = "QMX-NA";
    na->iconIdx = 1;
    na->byteOrderMode = 2;
    na->commTypeMap["Offline"] = CommDriverEntry{"Offline", "", "", ""};
    adapters.definitions.push_back(std::move(na));
    for (const char* id : {"IO_A", "IO_B", "IO_C"}) {
      auto io = std::make_unique<IODef>();
      io->ID = id;
      io->modelName = std::string("Model-") + id;
      io->description = std::string("Desc ") + id;
      io->iconIdx = 4;
      io->canCommunication = std::string(id) != "IO_B";
      modules.Register(std::move(io), std::string(id) + ".xml");
    }
  }

  // A project "P" with one adapter "N1" and modules A, B, C (numbered).
  CNAUsr* Station() {
    project = ws.CreateProject("P", "/tmp/prj");
    project->commType = "Offline";
    CNAUsr* na = ws.CreateNA("N1", "na_off", naItem, nullptr);
    for (const char* id : {"IO_A", "IO_B", "IO_C"}) {
      TreeItem item = kNoTreeItem;
      ioItems.push_back(item);
      ioObjects.push_back(ws.CreateIO(std::string("M") + id, id, ioItems.back(), nullptr, naItem));
    }
    ws.ReNumberingIOsDispath("PROJECT", project->treeItem);
    log.Clear();
    return na;
  }

  std::vector<std::string> Labels(TreeItem parent) {
    std::vector<std::string> labels;
    for (TreeItem child : ws.tree().Children(parent)) labels.push_back(ws.tree().GetItemText(child));
    return labels;
  }

  CProjectUsr* project = nullptr;
  TreeItem naItem = kNoTreeItem;
  std::vector<TreeItem> ioItems;
  std::vector<CIOUsr*> ioObjects;
};

TEST_F(Selection, EmptyWorkspaceAnswersNothingAndStaysSilent) {
  Wrapper* object = reinterpret_cast<Wrapper*>(1);
  std::string text = "x";
  EXPECT_EQ(ws.GetSelUsrObj(object, text, "Cmd", 1), kNoTreeItem);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(text, "");
  // No project open: no line and no box for the missing selection.
  EXPECT_TRUE(ErrorLines().empty());
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(Selection, NothingSelectedFallsBackToTheFirstProjectButFindsNoSelectedProject) {
  CNAUsr* na = Station();
  ws.tree().SelectItem(kNoTreeItem);

  Wrapper* object = nullptr;
  std::string text;
  EXPECT_EQ(ws.GetSelUsrObj(object, text, "Cmd", 1), project->treeItem);
  EXPECT_EQ(object, project);
  EXPECT_EQ(text, "P");

  CNAUsr* adapter = na;
  EXPECT_EQ(ws.GetSelNAUsr(adapter, text, "Cmd", 1), kNoTreeItem);
  EXPECT_EQ(adapter, nullptr);

  TreeItem item = 7;
  EXPECT_EQ(ws.GetSelectedProject(&item, "Cmd", 1), nullptr);
  EXPECT_EQ(item, kNoTreeItem);
  EXPECT_EQ(ErrorLines(), (std::vector<std::string>{
                              "[Error Code: -1008] Cannot find a selected Network Adapter. Func: Cmd",
                              "[Error Code: -1000] Cannot find a selected project. Func: Cmd"}));
  ASSERT_EQ(Boxes().size(), 2u);
  EXPECT_EQ(Boxes()[0].text, "Cannot find a selected Network Adapter. Error Code: -1008");
  EXPECT_EQ(Boxes()[1].text, "Cannot find a selected project. Error Code: -1000.");
  EXPECT_EQ(Boxes()[1].flags, qmx::kBoxIconStop);

  // Without a label nothing is logged, without show nothing is shown.
  log.Clear();
  Boxes().clear();
  EXPECT_EQ(ws.GetSelectedProject(nullptr, "", 0), nullptr);
  EXPECT_TRUE(ErrorLines().empty());
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(Selection, AdapterIsFoundFromItsModulesButNotFromItsProject) {
  CNAUsr* na = Station();
  CNAUsr* adapter = nullptr;
  std::string text;
  ws.tree().SelectItem(ioItems[2]);
  EXPECT_EQ(ws.GetSelNAUsr(adapter, text, "Cmd", 0), naItem);
  EXPECT_EQ(adapter, na);
  EXPECT_EQ(text, "N1 (Pos: 1)");

  int position = 0;
  EXPECT_EQ(ws.GetSelNAAndIOPos(position, "Cmd", 0), na);
  EXPECT_EQ(position, 3);
  ws.tree().SelectItem(naItem);
  EXPECT_EQ(ws.GetSelNAAndIOPos(position, "Cmd", 0), na);
  EXPECT_EQ(position, -1);

  ws.tree().SelectItem(project->treeItem);
  EXPECT_EQ(ws.GetSelNAUsr(adapter, text, "Cmd", 0), kNoTreeItem);
  EXPECT_EQ(ws.GetSelNAAndIOPos(position, "Cmd", 1), nullptr);
  EXPECT_EQ(ErrorLines(), (std::vector<std::string>{
                              "[Error Code: -1008] Cannot find a selected Network Adapter. Func: Cmd",
                              "[Error Code: -1007] Undefined Wrapper type. Type: PROJECT. Func: Cmd"}));
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "Undefined Wrapper type. Error Code: -1007.");

  // The project of an adapter is its parent's object.
  EXPECT_EQ(ws.GetPrjUsrOfNA(naItem), project);
  EXPECT_EQ(ws.ProjectOf(*na), project);
  EXPECT_EQ(ws.AdapterOf(*ioObjects[1]), na);
}

TEST_F(Selection, ModulesByPositionAtTheEdges) {
  Station();
  EXPECT_EQ(ws.GetIOUsrObjByPos(naItem, 1), ioObjects[0]);
  EXPECT_EQ(ws.GetIOUsrObjByPos(naItem, 3), ioObjects[2]);
  EXPECT_EQ(ws.GetIOUsrObjByPos(naItem, 4), nullptr);
  EXPECT_TRUE(log.Records().empty());
  EXPECT_EQ(ws.GetIOUsrObjByPos(naItem, 0), nullptr);
  EXPECT_EQ(ErrorLines(),
            std::vector<std::string>{"[Bug] Cannot find IO Usr Obj by index. iSlotNo:0. Func: GetIOUsrObjByPos."});

  std::vector<CIOUsr*> all, communicating;
  ws.CollectIOUsrs(project->treeItem, all, 1);
  ws.CollectIOUsrs(project->treeItem, communicating, 0);
  EXPECT_EQ(all, ioObjects);
  EXPECT_EQ(communicating, (std::vector<CIOUsr*>{ioObjects[0], ioObjects[2]}));
}

TEST_F(Selection, NewModulesAreLabelledByNamingModeAndNumberedOnlyByRenumbering) {
  Station();
  ws.namingMode = 1;
  ws.tree().SelectItem(ioItems[0]);
  TreeItem item = kNoTreeItem;
  CIOUsr* added = ws.CreateIO("Extra", "IO_C", item, nullptr, naItem);
  ASSERT_NE(added, nullptr);
  // Placed after the selected module, selected, its adapter's byte order.
  EXPECT_EQ(ws.tree().GetSelectedItem(), item);
  EXPECT_EQ(added->GetByteOrderMode(), 2);
  EXPECT_EQ(ws.tree().GetItemImage(item), 4);
  EXPECT_EQ(Labels(naItem), (std::vector<std::string>{"01: MIO_A", "Model-IO_C", "02: MIO_B", "03: MIO_C"}));

  ws.ReNumberingIOsDispath("NA", item);
  EXPECT_EQ(Labels(naItem),
            (std::vector<std::string>{"01: Model-IO_A", "02: Model-IO_C", "03: Model-IO_B", "04: Model-IO_C"}));
  ws.namingMode = 2;
  int counter = 10;
  ws.RenumberSubtree(naItem, counter);
  EXPECT_EQ(counter, 14);
  EXPECT_EQ(ws.tree().GetItemText(item), "12: Desc IO_C");
  EXPECT_EQ(ws.tree().GetItemText(naItem), "QMX-NA (Pos: 1)");
}

TEST_F(Selection, RemovingAModuleRenumbersTheRestAndMarksTheProject) {
  CNAUsr* na = Station();
  na->moduleListChanged = 0;
  ws.tree().SelectItem(ioItems[1]);

  BoxAnswers() = {7};  // No
  EXPECT_EQ(ws.RemoveUsrObj(ioItems[1], ioObjects[1], "02: MIO_B", 1), 2);
  EXPECT_EQ(Boxes().back().text, "Do you really want to delete 02: MIO_B?");
  EXPECT_EQ(ws.tree().Children(naItem).size(), 3u);

  EXPECT_EQ(ws.RemoveUsrObj(ioItems[1], ioObjects[1], "02: MIO_B", 1), 1);
  EXPECT_EQ(project->modified, 1);
  EXPECT_EQ(ws.tree().GetSelectedItem(), kNoTreeItem);
  ws.ReNumberingIOsDispath("NA", naItem);
  EXPECT_EQ(Labels(naItem), (std::vector<std::string>{"01: MIO_A", "02: MIO_C"}));
  EXPECT_EQ(ioObjects[2]->posNo, 2);
  EXPECT_EQ(na->moduleListChanged, 1);
  EXPECT_EQ(ws.GetIOUsrObjByPos(naItem, 2), ioObjects[2]);

  // The Add Module dialog's rebuild frees the modules it marked as removed.
  ioObjects[0]->removeMark = ioObjects[2]->removeMark = 1;
  ws.DeleteModuleItems(naItem);
  EXPECT_TRUE(ws.ModulesOf(*na).empty());
}

TEST_F(Selection, RemovingAdaptersRenumbersTheAdaptersAndTheLastProjectClearsTheViews) {
  Station();
  TreeItem second = kNoTreeItem, third = kNoTreeItem;
  ws.tree().SelectItem(project->treeItem);
  CNAUsr* n2 = ws.CreateNA("N2", "NA_OFF", second, nullptr);
  CNAUsr* n3 = ws.CreateNA("N3", "NA_OFF", third, nullptr);
  ws.ReCalNAPosNo(project->treeItem, 1);
  EXPECT_EQ(ws.tree().GetItemText(third), "N3 (Pos: 3)");

  EXPECT_EQ(ws.RemoveUsrObj(second, n2, "N2", 0), 1);
  EXPECT_EQ(project->Adapters().size(), 2u);
  ws.ReCalNAPosNo(kNoTreeItem, 1);  // the selection's project
  EXPECT_EQ(n3->posNo, 2);
  EXPECT_EQ(ws.tree().GetItemText(third), "N3 (Pos: 2)");

  EXPECT_EQ(ws.RemoveAllNAs(project), 1);
  EXPECT_TRUE(project->Adapters().empty());
  EXPECT_TRUE(ws.tree().Children(project->treeItem).empty());

  int cleared = 0;
  ws.clearAllViews = [&cleared] { ++cleared; };
  ws.tree().SelectItem(project->treeItem);
  EXPECT_EQ(ws.RemoveUsrObj(project->treeItem, project, "P", 0), 1);
  EXPECT_TRUE(ws.Projects().empty());
  EXPECT_TRUE(ws.tree().Empty());
  EXPECT_EQ(cleared, 1);

  ws.ReCalNAPosNo(kNoTreeItem, 0);
  EXPECT_EQ(ErrorLines().back(), "[Bug] Cannot find ProjectUsr. Func: ReCalNAPosNo.");
  EXPECT_EQ(ws.RemoveUsrObj(kNoTreeItem, nullptr, "x", 0), -1000);
}

TEST_F(Selection, MissingDefinitionsAreRefusedAndNothingIsLeftBehind) {
  Station();
  ws.tree().SelectItem(project->treeItem);
  TreeItem item = 5;
  // A new adapter without definition is freed (the sanitizer run checks).
  EXPECT_EQ(ws.CreateNA("N9", "NA_NONE", item, nullptr), nullptr);
  EXPECT_EQ(item, kNoTreeItem);
  EXPECT_EQ(ErrorLines().back(),
            "[Error Code: -1010] Cannot find NA definition object. NA ID: NA_NONE. Func: MainFrame:CreateNA.");
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "Cannot find NA definition object. NA ID: NA_NONE. Error Code: -1010.");

  // A given adapter stays the caller's, and no box is shown for it.
  CNAUsr given;
  EXPECT_EQ(ws.CreateNA("N9", "NA_NONE", item, &given), nullptr);
  EXPECT_EQ(Boxes().size(), 1u);

  EXPECT_EQ(ws.CreateIO("X", "IO_NONE", item, nullptr, naItem), nullptr);
  EXPECT_EQ(ErrorLines().back(),
            "[Error Code: -1011] Cannot find IO definition object. IO ID: IO_NONE. Func: CreateIO.");
  EXPECT_EQ(project->Adapters().size(), 1u);
  EXPECT_EQ(ws.tree().Children(naItem).size(), 3u);

  // Without a parent item the module is still made, with a bug line.
  CIOUsr* orphan = ws.CreateIO("X", "IO_A", item, nullptr, kNoTreeItem);
  ASSERT_NE(orphan, nullptr);
  EXPECT_EQ(log.Records().back().source, "QMX-410Tools");
  EXPECT_EQ(ErrorLines().back(), "[Bug] htRoot is NULL. Func: CreateIO.");
  delete orphan;  // inserted as a root item of its own: it has no project to go with
  ws.tree().DeleteItem(item);
}

TEST_F(Selection, ProjectsGetTheirPathTimerAndABoldSelectedItem) {
  CProjectUsr* first = ws.CreateProject("Plant1", "D:\\Work");
  EXPECT_EQ(first->filePath, "D:\\Work/Plant1.KPX");
  EXPECT_EQ(first->timerId, 50);
  EXPECT_TRUE(ws.tree().IsBold(first->treeItem));
  EXPECT_EQ(ws.tree().GetSelectedItem(), first->treeItem);
  CProjectUsr* second = ws.CreateProject("Plant2", "/srv");
  EXPECT_EQ(second->timerId, 51);
  EXPECT_TRUE(ws.IsOpenedProject("d:\\work/plant1.kpx", "PLANT3"));
  EXPECT_FALSE(ws.IsOpenedProject("/other", "Plant3"));

  // The counter wraps to 50 after 499, so the timers stay within 50 to 549.
  ws.projectCounter = 499;
  EXPECT_EQ(ws.CreateProject("P3", "/srv")->timerId, 549);
  EXPECT_EQ(ws.projectCounter, 50);

  ws.SetProjectModified(1, nullptr);
  EXPECT_EQ(ws.Projects().back()->modified, 1);
  EXPECT_EQ(first->modified, 0);
  EXPECT_FALSE(ws.IsSelPrjMonitoring());
  ws.Projects().back()->monitoring = 1;
  EXPECT_TRUE(ws.IsSelPrjMonitoring());
}

TEST_F(Selection, SerialParametersGoToEveryAdapterOfTheProject) {
  CNAUsr* na = Station();
  TreeItem second = kNoTreeItem;
  ws.tree().SelectItem(project->treeItem);
  CNAUsr* other = ws.CreateNA("N2", "NA_OFF", second, nullptr);
  na->comPort = "COM3";
  na->serialSettings = "19200, 8, EVENPARITY, 1";
  EXPECT_TRUE(ws.ChangeCommParasOfAllNA(na));
  EXPECT_EQ(other->comPort, "COM3");
  EXPECT_EQ(other->serialSettings, "19200, 8, EVENPARITY, 1");
  EXPECT_EQ(other->channelChanged, 1);

  EXPECT_FALSE(ws.ChangeCommParasOfAllNA(nullptr));
  EXPECT_EQ(Boxes().back().text, "[Bug] dwNAPointer is NULL.");
  CNAUsr loose;
  EXPECT_FALSE(ws.ChangeCommParasOfAllNA(&loose));
  EXPECT_EQ(Boxes().back().text, "[Bug] Invalid NA's project tree handle.");
}

}  // namespace
