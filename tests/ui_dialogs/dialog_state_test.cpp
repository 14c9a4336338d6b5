// The other dialogs' decisions without a display: the add-adapter list and
// checks (with the shipped catalogue), what the properties dialog restores,
// the configuration's OK, the new-project checks, the inquiry file and the
// validation result's tree.
#include "tests/support/test_support.h"
#include "tests/ui_dialogs/dialog_fixture.h"

#include "app/model/AppOptions.h"
#include "app/model/NACatalogue.h"
#include "app/model/ProjectUsr.h"
#include "app/ui/dialogs/state/AddNaState.h"
#include "app/ui/dialogs/state/ConfigState.h"
#include "app/ui/dialogs/state/PropertiesState.h"
#include "app/ui/dialogs/state/SmallDialogState.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>

using namespace qmx::dialogs;
namespace fs = std::filesystem;

namespace {

class AddNaStateTest : public DialogTest {
protected:
  void SetUp() override {
    DialogTest::SetUp();
    ASSERT_EQ(ParseNAFiles(NAListPath(qmx::test::DistDir().string()), textIds, catalogue), 1);
  }
  std::vector<std::string> Offered(const std::string& busType) {
    std::vector<std::string> ids;
    for (const NADef* def : AdaptersForBusType(catalogue, busType)) ids.push_back(def->ID);
    return ids;
  }
  TextIdMap textIds;
  NACatalogue catalogue;
  CProjectUsr project;
};

TEST_F(AddNaStateTest, ListsTheAdaptersOfTheBusTypeButNotTheHiddenTemplate) {
  EXPECT_EQ(Offered("TCP"), (std::vector<std::string>{"QMX-4101"}));
  EXPECT_EQ(Offered("rs485"), (std::vector<std::string>{"QMX-4105"}));
  // The template product only enters RS422 into the bus types; the adapter
  // that serves RS422 as its further bus is what the user gets.
  EXPECT_EQ(Offered("RS422"), (std::vector<std::string>{"QMX-4105"}));
  EXPECT_EQ(Offered("CAN"), (std::vector<std::string>{}));
}

TEST_F(AddNaStateTest, SerialEntriesAreChecked) {
  project.commType = "RS485";
  AddNaState state(catalogue, textIds);
  state.SetPrjCommInfo(&project, kCommRs485, "", "", "");
  ASSERT_NE(state.Chosen(), nullptr);  // QMX-4105, node range 1,99
  EXPECT_EQ(state.BusTypeLine(), " Project Bus Type: RS485");
  const AddNaFields fields = state.InitialFields();
  EXPECT_TRUE(fields.comEnabled);
  EXPECT_EQ(fields.comPort, "1");
  EXPECT_EQ(fields.serialSettings, "19200, 8, EVENPARITY, 1");
  EXPECT_EQ(fields.nodeIndex, 1);

  struct {
    const char* com;
    const char* serial;
    const char* node;
    const char* title;
    const char* box;  // "" accepted
  } const cases[] = {
      {"", "9600", "1", "T", "Fill in a COM port."},
      {"0", "9600", "1", "T", "Input a valid COM port (1-65535 integer)."},
      {"65536", "9600", "1", "T", "Input a valid COM port (1-65535 integer)."},
      {"-1", "9600", "1", "T", "Input a valid COM port (1-65535 integer)."},
      {"1.5", "9600", "1", "T", "Input a valid COM port (1-65535 integer)."},
      {"3", "", "1", "T", "Make serial communication setting by 'detail' button."},
      {"3", "9600", " ", "T", "Select a node address."},
      {"3", "9600", "0", "T", "Node address of selected network adapter can have 1 ~ 99."},
      {"3", "9600", "100", "T", "Node address of selected network adapter can have 1 ~ 99."},
      {"3", "9600", "99", " ", "Input a title."},
      {"65535", "9600", "99", "Line", ""},
  };
  for (const auto& c : cases) {
    boxes.clear();
    EXPECT_EQ(state.Complete({"", c.com, c.serial, c.node, c.title}), std::string(c.box).empty()) << c.com;
    EXPECT_EQ(boxes, std::string(c.box).empty() ? std::vector<std::string>{} : std::vector<std::string>{c.box});
  }
  std::string ip, com, serial, node, title;
  EXPECT_EQ(state.GetResult(ip, com, serial, node, title), state.Chosen());
  EXPECT_EQ(ip + "|" + com + "|" + serial + "|" + node + "|" + title, "|65535|9600|99|Line");
}

TEST_F(AddNaStateTest, JoiningASharedLineAndOfflineProjects) {
  project.commType = "RS485";
  AddNaState joining(catalogue, textIds);
  joining.SetPrjCommInfo(&project, kCommRs485, "4", "9600, 8, NOPARITY, 1", "7");
  const AddNaFields fields = joining.InitialFields();
  EXPECT_FALSE(fields.comEnabled);
  EXPECT_FALSE(fields.serialButtonEnabled);
  EXPECT_EQ(fields.comPort + "|" + fields.serialSettings, "4|9600, 8, NOPARITY, 1");
  EXPECT_EQ(fields.nodeIndex, 7);
  int checks = 0;
  joining.SetPropertyCheck([&](CProjectUsr*, int, const std::string&, const std::string&, const std::string& node,
                               const std::string&) {
    ++checks;
    return node == "7" ? qmx::err::kRuleAddressTwice : 1;
  });
  EXPECT_FALSE(joining.Complete({"", "4", "9600, 8, NOPARITY, 1", "7", "A"}));
  EXPECT_TRUE(joining.Complete({"", "4", "9600, 8, NOPARITY, 1", "8", "A"}));
  EXPECT_EQ(checks, 2);

  // An offline project needs a definition and a title; a bus type that no
  // adapter serves leaves none.
  project.commType = "CAN";
  AddNaState offline(catalogue, textIds);
  offline.SetPrjCommInfo(&project, kCommNone, "", "", "");
  boxes.clear();
  EXPECT_FALSE(offline.Complete({"", "", "", "", "Title"}));
  EXPECT_EQ(boxes, (std::vector<std::string>{"[Bug] Cannot find NA definition information."}));
  offline.Choose(catalogue.definitions.front().get());
  EXPECT_TRUE(offline.Complete({"", "", "", "", "Title"}));

  project.commType = "TCP";
  AddNaState tcp(catalogue, textIds);
  tcp.SetPrjCommInfo(&project, kCommTcp, "", "", "");
  boxes.clear();
  for (const char* ip : {"0.0.0.0", "224.1.1.1", "10.0.0", ""}) EXPECT_FALSE(tcp.Complete({ip, "", "", "", "T"}));
  EXPECT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0], "Input a IP Address or Check IP Address format.");
  EXPECT_TRUE(tcp.Complete({"192.168.0.10", "", "", "", "T"}));
  // Taken, checked and handed on as the driver reads addresses.
  std::string checkedIp;
  tcp.SetPropertyCheck([&](CProjectUsr*, int, const std::string& ip, const std::string&, const std::string&,
                           const std::string&) {
    checkedIp = ip;
    return 1;
  });
  EXPECT_TRUE(tcp.Complete({" 127.0.0.010 ", "", "", "", "T"}));
  std::string ip, com, serial, node, title;
  tcp.GetResult(ip, com, serial, node, title);
  EXPECT_EQ(ip + "|" + checkedIp, "127.0.0.10|127.0.0.10");
}

TEST_F(DialogTest, PropertiesRowsOkAndCancel) {
  EXPECT_EQ(NodeAddressDefinition(""), "1,0,127");  // not "1," which refuses every address
  EXPECT_EQ(NodeAddressDefinition(" 1,99 "), "1,1,99");

  CProjectUsr project;
  project.commType = "RS485";
  project.commTypeCode = kCommRs485;
  adapterDef.commTypeMap["RS485"] = CommDriverEntry{"RS485", "Tessivar", "dll", ""};
  adapterDef.maxExpansion = {"T_MaxExpansion", "Max. Expansion", "", "32", "", 1};
  adapterDef.inputMaxSize = {"T_InputMaxSize", "Input Max. Size", "", "128", "Byte", 1};
  adapterDef.outputMaxSize = {"T_OutputMaxSize", "Output Max. Size", "", "128", "Byte", 0};
  for (SpecItem* hidden : {&adapterDef.dimension, &adapterDef.powerDissipation, &adapterDef.maxPowerForIOs})
    hidden->visible = 0;
  adapter.comPort = "1";
  adapter.serialSettings = "9600, 8, NOPARITY, 1";
  adapter.nodeAddress = "3";

  int checkResult = qmx::err::kRuleComPort;
  int applied = 0;
  const TextIdMap textIds;
  PropertiesState state(textIds, errors);
  state.SetFrame({[&](CNAUsr&) { return &project; }, [&](CNAUsr&, int) { return checkResult; },
                  [&](CNAUsr&) { return ++applied > 0; }});
  state.SetTarget(&adapter, "NA");
  std::vector<std::string> rows;
  for (const PropertyRow& r : state.Rows()) rows.push_back(r.name + "=" + r.value + "|" + r.definition);
  EXPECT_EQ(rows, (std::vector<std::string>{"Com Port=1|1,1,65535", "Serial Comm. Set=9600, 8, NOPARITY, 1|",
                                            "Node Address=3|1,0,127", "Model Name=QMX-T|",
                                            "Input Max. Size (Byte)=128|", "Max. Expansion=32|"}));

  // An edit reaches the adapter at once; No to "apply to all" keeps the
  // dialog open, Cancel puts the values back.
  adapter.ChagnedValueByUsr("Properties", "Com Port", nullptr, nullptr, "2");
  answers = {7};
  EXPECT_EQ(state.OnOK(), 0);
  EXPECT_EQ(boxes.back(), "Do you want to apply new parameters of serial communication to all network adapter?");
  EXPECT_EQ(adapter.comPort, "2");
  state.OnCancel();
  EXPECT_EQ(adapter.comPort, "1");
  EXPECT_EQ(adapter.channelChanged, 0);
  EXPECT_EQ(state.OnOK(), 1);  // Yes
  EXPECT_EQ(applied, 1);
  checkResult = qmx::err::kRuleAddressTwice;
  boxes.clear();
  EXPECT_EQ(state.OnOK(), 0);
  EXPECT_EQ(boxes, (std::vector<std::string>{"Rule -107."}));

  // A project of no communication shows its three fixed rows only.
  project.commTypeCode = kCommNone;
  project.filePath = "/p/a.KPX";
  state.SetTarget(&project, "PROJECT");
  EXPECT_EQ(state.Rows().size(), 3u);
  EXPECT_EQ(state.OnOK(), 1);
  project.commTypeCode = kCommTcp;
  project.monitoring = 1;
  state.SetTarget(&project, "PROJECT");
  ASSERT_EQ(state.Rows().size(), 5u);
  EXPECT_FALSE(state.Rows()[3].settable);  // the interval, while monitoring
  EXPECT_TRUE(state.Rows()[4].settable);
  project.ChagnedValueByUsr("Properties", "View Update Time", nullptr, nullptr, "900");
  state.OnCancel();
  EXPECT_EQ(project.viewUpdateTime, 500);
  EXPECT_EQ(project.viewUpdateTimeChanged, 0);
}

TEST_F(DialogTest, ConfigurationAppliesOnlyOnAValidOk) {
  AppOptions options;
  int saves = 0;
  ConfigState state(options, [&] { return ++saves; });
  const std::vector<ConfigRow> rows = state.Rows("/prj");
  ConfigState::Entries entries;
  for (const ConfigRow& row : rows) {
    if (row.hasValue) entries[ConfigState::EntryKey(row)] = row.value;
  }
  EXPECT_EQ(entries.size(), 14u);
  EXPECT_EQ(entries["Project Default Folder"], "/prj");

  ASSERT_TRUE(state.Complete(entries));  // no change: not saved
  EXPECT_EQ(saves, 0);

  struct {
    const char* key;
    const char* value;
    const char* box;
  } const refusals[] = {
      {"Project Default Folder", " ", "Choose a Project Default folder."},
      {"Max Log Display", "0", "Input a integer value in max. log display (1-65535)."},
      {"Max Log Display", "65536", "Input a integer value in max. log display (1-65535)."},
      {"Max File Size (MB)", "101", "Input a integer value in max. file size (MB) (1-100)."},
      {"Erase Old Log File (Days)", "x", "Input a integer value in Erase Old Log File (1-100)."},
  };
  const AppOptions before = options;
  for (const auto& r : refusals) {
    ConfigState::Entries edited = entries;
    edited["View Mode"] = "Product View";  // applied only when all is well
    edited[r.key] = r.value;
    boxes.clear();
    EXPECT_FALSE(state.Complete(edited));
    EXPECT_EQ(boxes, (std::vector<std::string>{r.box}));
    EXPECT_EQ(options.ViewMode, before.ViewMode);
    EXPECT_EQ(options.MaxWndDisplay, before.MaxWndDisplay);
  }
  EXPECT_EQ(saves, 0);

  ConfigState::Entries edited = entries;
  edited["Log File Enable/Developer Info"] = options.FileEnable[3] ? "False" : "True";
  edited["Max Log Display"] = "50";  // below the grid's range, within OK's
  ASSERT_TRUE(state.Complete(edited));
  EXPECT_EQ(saves, 1);
  EXPECT_EQ(options.FileEnable[3], before.FileEnable[3] ? 0 : 1);
  EXPECT_EQ(options.WndEnable[3], before.WndEnable[3]);
  EXPECT_EQ(options.MaxWndDisplay, 50);
  EXPECT_EQ(options.PrjUsrFolder, before.PrjUsrFolder);  // the folder shown was not changed
}

TEST_F(DialogTest, NewProjectAsksAndDeletesNothing) {
  qmx::test::TempDir dir("newprj");
  qmx::test::WriteFile(dir / "Line.KPX", "old");
  ProjectNewState state([](const std::string&, const std::string& name) { return name == "Open"; });
  const std::string folder = dir.path().string();
  struct {
    const char* name;
    const char* folder;
    int bus;
    const char* box;
  } const refusals[] = {
      {"  ", "f", 0, "Please, input a project name."},
      {"A", "f", -1, "Please, select a bus type."},
      {"A", " ", 0, "Please, select a project directory."},
      {"a/b", "f", 0, "Project name cannot have / : \" * ? \\ < > |"},
      {"a|b", "f", 0, "Project name cannot have / : \" * ? \\ < > |"},
      {"Open", "f", 0, "The project name exists in opened project. Please input another name."},
  };
  for (const auto& r : refusals) {
    boxes.clear();
    EXPECT_FALSE(state.Complete(r.name, r.folder, r.bus)) << r.name;
    EXPECT_EQ(boxes, (std::vector<std::string>{r.box}));
  }
  EXPECT_EQ(state.BusType(), -1);

  answers = {7};
  EXPECT_FALSE(state.Complete("line", folder, 1));  // the file exists (any case); No
  EXPECT_EQ(boxes.back(), "Project name already exists. Do you want to overwrite it?");
  EXPECT_TRUE(state.Complete(" Line ", folder, 1));  // Yes
  EXPECT_TRUE(state.ReplaceExistingFile());
  EXPECT_EQ(qmx::test::ReadFile(dir / "Line.KPX"), "old");
  EXPECT_EQ(state.Name() + "|" + std::to_string(state.BusType()), "Line|2");
  EXPECT_TRUE(state.Complete("Fresh", folder, 0));
  EXPECT_FALSE(state.ReplaceExistingFile());
}

TEST(InquiryCsv, BlankAfterTheDataCommasAndQuotedFields) {
  EXPECT_EQ(InquiryDefaultFileName("P1", "project"), "P1_Prj_Inquiry");
  EXPECT_EQ(InquiryDefaultFileName("N1", "NA"), "N1_NA_Inquiry");
  EXPECT_EQ(InquiryCsvText({{"2", "QMX-1808", "12-345"}, {"0", "Pt100, 2-wire", "say \"hi\""}, {"1", " x", ""}}),
            "No,Quantity,Model Name,Part No.\r\n"
            "\r\n"
            "1, 2, QMX-1808, 12-345\r\n"
            "2, 0, \"Pt100, 2-wire\", \"say \"\"hi\"\"\"\r\n"
            "3, 1, \" x\", \r\n");
}

// A desktop without a text viewer: the box names the program that was tried
// (not the Windows name) and the saved file, so it can be opened by hand.
TEST_F(DialogTest, AViewerThatCannotRunIsNamedWithTheFile) {
  qmx::test::TempDir empty("no-viewer");
  const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  ::setenv("PATH", empty.path().c_str(), 1);
  const int result = OpenInTextViewer("/data/parts list.csv", empty.path().string());
  ::setenv("PATH", oldPath.c_str(), 1);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(boxes, (std::vector<std::string>{
                       "Cannot run xdg-open. Error Code: -1009. API Code: -2.\nFile: /data/parts list.csv."}));
}

// A viewer that ran and opened nothing is told as one that cannot run, with
// the file. An xdg-open that finds no program for CSV files ends with 3
// ("no method"); it starts, and its end reaches the user from the thread
// that waited for it.
TEST_F(DialogTest, AViewerThatEndsWithoutOpeningTheFileIsToldWithTheFile) {
  EXPECT_EQ(ReportViewerEnd("xdg-open", 0, "/data/parts.csv"), 0);
  EXPECT_EQ(ReportViewerEnd("gedit", 1, "/data/parts.csv"), 1);
  qmx::test::TempDir bin("no-csv-program");
  qmx::test::WriteFile(bin / "xdg-open", "#!/bin/sh\nexit 3\n");
  fs::permissions(bin / "xdg-open", fs::perms::owner_all);
  std::mutex mutex;
  std::condition_variable shown;
  qmx::Services().messageBox = [&](const std::string& text, unsigned) {
    std::lock_guard lock(mutex);
    boxes.push_back(text);
    shown.notify_all();
    return 1;  // OK
  };
  const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  ::setenv("PATH", bin.path().c_str(), 1);
  EXPECT_EQ(OpenInTextViewer("/data/parts list.csv", bin.path().string()), 1);
  ::setenv("PATH", oldPath.c_str(), 1);
  std::unique_lock lock(mutex);
  ASSERT_TRUE(shown.wait_for(lock, std::chrono::seconds(30), [&] { return boxes.size() == 2; }));
  EXPECT_EQ(boxes, (std::vector<std::string>{
                       "gedit did not open the file. Error Code: -1009. gedit exit code: 1.\nFile: /data/parts.csv.",
                       "No program opens CSV files. Error Code: -1009. xdg-open exit code: 3.\nFile: /data/parts "
                       "list.csv."}));
  EXPECT_TRUE(log.Has("[Error Code: -1009] No program opens CSV files. xdg-open exit code: 3. File: /data/parts "
                      "list.csv.",
                      qmx::kLogError));
}

TEST_F(DialogTest, ValidationRowsFormThreeLevels) {
  ValidationList items;
  auto add = [&](const char* kind, const char* text, int code) {
    items.push_back(std::make_unique<ValidationItem>(kind, 1, text, 0, code, code ? "fix it" : ""));
  };
  add("Error", "stray", -101);
  add("PROJECT", "Project: P", 0);
  add("Error", "N1", -107);
  add("Loc", "N1", 0);
  add("IO", "01: A", 0);
  add("Error", "Power", -101);
  add("Error", "Group", -105);
  add("Loc", "N2", 0);
  add("Error", "Size", -103);
  std::vector<std::string> plan;
  for (const ValidationRowPlan& row : PlanValidationRows(items))
    plan.push_back(std::to_string(row.parent) + " " + row.text + " " + row.errorNumber);
  EXPECT_EQ(plan, (std::vector<std::string>{"-1 stray -101", "-1 Project: P ", "1 N1 -107", "-1 N1 ", "3 01: A ",
                                            "4 Power -101", "4 Group -105", "-1 N2 ", "7 Size -103"}));
  EXPECT_EQ(ValidationKindText("project"), "Project");
  EXPECT_EQ(ValidationKindText("NA"), "Network Adapter");
  EXPECT_EQ(ValidationKindText("IO"), "Undefined");
}

}  // namespace
