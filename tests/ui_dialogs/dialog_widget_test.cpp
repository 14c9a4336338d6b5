// One road per dialog on the offscreen platform: what OK and Cancel leave in
// the project or the options, the keys that must not close a dialog, the
// inquiry file read back by Python's csv module, and a picture of each dialog
// in the build folder. The validation result dialog is walked through the main
// window in validation_command_test.cpp.
#include "tests/support/access_audit.h"
#include "tests/support/test_support.h"
#include "tests/ui_dialogs/dialog_fixture.h"

#include "app/model/AppOptions.h"
#include "app/model/IOCatalogue.h"
#include "app/model/NACatalogue.h"
#include "app/model/ProjectUsr.h"
#include "app/ui/dialogs/AddIoDlg.h"
#include "app/ui/dialogs/AddNaDlg.h"
#include "app/ui/dialogs/CheckValidationDlg.h"
#include "app/ui/dialogs/ConfigDlg.h"
#include "app/ui/dialogs/InquiryDlg.h"
#include "app/ui/dialogs/ProjectNewDlg.h"
#include "app/ui/dialogs/PropertiesDlg.h"
#include "app/ui/dialogs/RenameDlg.h"
#include "app/ui/dialogs/SerialCommSetDlg.h"
#include "platform/os/os.h"
#include "widgets/grid/GridCtrl.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <cstdio>
#include <functional>
#include <memory>
#include <tuple>

using namespace qmx::dialogs;

namespace {

QPushButton* Button(QWidget* dialog, const QString& caption) {
  for (QPushButton* b : dialog->findChildren<QPushButton*>()) {
    if (b->text() == caption) return b;
  }
  ADD_FAILURE() << "no button " << caption.toStdString();
  return nullptr;
}

void Click(QWidget* dialog, const QString& caption) {
  if (QPushButton* b = Button(dialog, caption)) QTest::mouseClick(b, Qt::LeftButton);
}

// Shows the dialog and writes its picture into the build folder.
void Picture(DialogBase& dialog, const std::string& name) {
  dialog.show();
  QApplication::processEvents();
  const auto path = qmx::test::DistDir().parent_path() / ("ui_dialogs_" + name + ".png");
  EXPECT_TRUE(dialog.SavePicture(path.string())) << path;
  EXPECT_EQ(qmx::test::AuditAccess(&dialog), std::vector<std::string>{}) << name;
}

// Enter outside a button closes nothing where no button is named for it.
void ReturnKeepsOpen(DialogBase& dialog, QWidget* focus) {
  dialog.show();
  if (focus) focus->setFocus();
  QTest::keyClick(focus ? focus : &dialog, Qt::Key_Return);
  EXPECT_TRUE(dialog.isVisible());
}

class DialogRoad : public DialogTest {
protected:
  void SetUp() override {
    DialogTest::SetUp();
    qmx::Paths().SetAppDir(qmx::test::DistDir().string());
  }
};

TEST_F(DialogRoad, AddModulesCancelLeavesTheAdapterOkHandsOverTheLineUp) {
  IOCatalogue catalogue;
  const IODef* di = Def(100, "1");
  const IODef* other = Def(100, "2");
  for (const IODef* def : {di, other}) {
    const_cast<IODef*>(def)->iconIdx = 3;
    const_cast<IODef*>(def)->infoText = "Digital input module, 8 channels, 24 V DC";
  }
  catalogue.groups.push_back({"NDI", "Digital Input", "", {di, other}});
  catalogue.groups.push_back({"XDO", "Other series", "", {other}});
  Present(di, "Inputs A");
  Present(di, "Inputs B");

  auto run = [&](bool ok, std::vector<CIOUsr*>& output) {
    AddIoDlg dialog(catalogue, errors);
    dialog.SetNAInfo("01: Station", &adapter);
    dialog.SetExpansionInfo(32, 2, 0);
    dialog.SetCurIOList(PresentList());
    dialog.SetNewIOList(&output);
    dialog.SetNamingMode(0);
    QTreeWidget* left = dialog.catalogueTree();
    EXPECT_EQ(left->topLevelItemCount(), 1);  // only the series' groups
    left->setCurrentItem(left->topLevelItem(0)->child(1));
    EXPECT_EQ(dialog.userTitleEdit()->text().toStdString(), other->description);
    Click(&dialog, ">>");  // group 2 after group 1 without cut-off: refused
    EXPECT_EQ(boxes.back(), "Rule -111. ");
    left->setCurrentItem(left->topLevelItem(0)->child(0));
    dialog.userTitleEdit()->setText("Inputs C");
    Click(&dialog, ">>");
    QTreeWidget* right = dialog.lineUpTree();
    right->setCurrentItem(right->topLevelItem(0)->child(0));
    Click(&dialog, "<<");
    QTreeWidgetItem* root = right->topLevelItem(0);
    std::vector<std::string> labels;
    for (int i = 0; i < root->childCount(); ++i) labels.push_back(root->child(i)->text(0).toStdString());
    EXPECT_EQ(labels, (std::vector<std::string>{"01: Inputs B", "02: Inputs C"}));
    // The module added in this run shows its picture marked "new".
    EXPECT_NE(root->child(1)->icon(0).pixmap(16).toImage(), root->child(0)->icon(0).pixmap(16).toImage());
    ReturnKeepsOpen(dialog, right);
    if (!ok) Picture(dialog, "add_modules");
    Click(&dialog, ok ? "OK" : "Cancel");
    EXPECT_FALSE(dialog.isVisible());
    return dialog.result();
  };

  std::vector<CIOUsr*> output;
  EXPECT_EQ(run(false, output), kIdCancel);
  EXPECT_TRUE(output.empty());
  EXPECT_EQ(modules[0]->removeMark + modules[1]->removeMark, 0);

  EXPECT_EQ(run(true, output), kIdOk);
  ASSERT_EQ(output.size(), 2u);
  EXPECT_EQ(output[0], modules[1].get());
  EXPECT_EQ(output[1]->GetName(), "Inputs C");
  EXPECT_EQ(modules[0]->removeMark, 1);
  delete output[1];
}

TEST_F(DialogRoad, AddAdapterOnAnRs422Project) {
  TextIdMap textIds;
  ASSERT_EQ(ParseTextIdFile(TextIdListPath(qmx::test::DistDir().string(), "Eng"), textIds), 1);
  NACatalogue catalogue;
  ASSERT_EQ(ParseNAFiles(NAListPath(qmx::test::DistDir().string()), textIds, catalogue), 1);
  CProjectUsr project;
  project.commType = "RS422";
  for (bool ok : {false, true}) {
    CAddNaDlg dialog(catalogue, textIds);
    dialog.SetPrjCommInfo(&project, kCommRs422, "", "", "");
    ASSERT_EQ(dialog.adapterList()->count(), 1);
    EXPECT_EQ(dialog.adapterList()->item(0)->text(), "QMX-4105");
    EXPECT_FALSE(dialog.ipEdit()->isEnabled());
    EXPECT_TRUE(dialog.comEdit()->isEnabled());
    EXPECT_EQ(dialog.nodeCombo()->currentText(), "1");
    EXPECT_EQ(dialog.serialField()->text(), "19200, 8, EVENPARITY, 1");
    ReturnKeepsOpen(dialog, dialog.titleEdit());
    if (!ok) {
      Picture(dialog, "add_adapter");
      Click(&dialog, "Cancel");
      EXPECT_EQ(dialog.result(), kIdCancel);
      continue;
    }
    dialog.comEdit()->setText("0");
    Click(&dialog, "OK");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(boxes.back(), "Input a valid COM port (1-65535 integer).");
    dialog.comEdit()->setText("2");
    dialog.nodeCombo()->setCurrentIndex(12);
    Click(&dialog, "OK");
    EXPECT_EQ(dialog.result(), kIdOk);
    std::string ip, com, serial, node, title;
    ASSERT_NE(dialog.GetResult(ip, com, serial, node, title), nullptr);
    EXPECT_EQ(ip + "|" + com + "|" + serial + "|" + node + "|" + title, "|2|19200, 8, EVENPARITY, 1|12|QMX-4105");
  }
}

TEST_F(DialogRoad, PropertiesCancelRestoresTheEditedValues) {
  CProjectUsr project;
  project.commType = "RS485";
  project.commTypeCode = kCommRs485;
  adapterDef.commTypeMap["RS485"] = CommDriverEntry{"RS485", "Tessivar", "dll", ""};
  adapterDef.infoText = "Modbus RTU network adapter";
  adapterDef.helpLink = "QMX-T";
  adapterDef.maxPowerForIOs = {"T_MaxPowerForIOs", "Max. Power for IOs", "", "1000", "mA", 1};
  adapterDef.dimension = {"T_Dimension", "Dimension", "", "70", "mm", 1};
  adapterDef.dimensionWidth = "45";
  adapterDef.dimensionHeight = "100";
  adapterDef.powerDissipation = {"T_PowerDissipation", "System Current Consumption", "", "140", "mA", 1};
  adapter.comPort = "1";
  adapter.serialSettings = "9600, 8, NOPARITY, 1";
  adapter.nodeAddress = "3";
  const TextIdMap textIds;
  PropertiesState::Frame frame{[&](CNAUsr&) { return &project; }, [](CNAUsr&, int) { return 1; }, {}};

  CPropertiesDlg dialog(textIds, errors, frame);
  dialog.SetTarget(&adapter, "NA");
  qmx::grid::GridCtrl* grid = dialog.grid();
  qmx::grid::GridTreeItem* com = grid->FindItem("Com Port");
  ASSERT_NE(com, nullptr);
  grid->UpdateListViewItem(com, {grid->GetRowIndex(com), 1, "0", -1});  // refused by the row's definition
  EXPECT_EQ(adapter.comPort, "1");
  grid->UpdateListViewItem(com, {grid->GetRowIndex(com), 1, "5", -1});
  qmx::grid::GridTreeItem* node = grid->FindItem("Node Address");
  grid->UpdateListViewItem(node, {grid->GetRowIndex(node), 1, "0", -1});  // no range: 0 to 127
  EXPECT_EQ(adapter.comPort + "|" + adapter.nodeAddress, "5|0");
  // The COM port range of Add Network Adapter.
  grid->UpdateListViewItem(com, {grid->GetRowIndex(com), 1, "65536", -1});
  EXPECT_EQ(adapter.comPort, "5");
  grid->UpdateListViewItem(com, {grid->GetRowIndex(com), 1, "65535", -1});
  EXPECT_EQ(adapter.comPort, "65535");
  grid->UpdateListViewItem(com, {grid->GetRowIndex(com), 1, "5", -1});
  ReturnKeepsOpen(dialog, grid);
  Picture(dialog, "properties");
  // Every name whole in "Item" (the painter's label keeps 2 pixels on each
  // side of its text), and no unused width beside the two columns.
  const QFontMetrics metrics(grid->font());
  for (int row = 0; row < grid->GetItemCount(); ++row) {
    const std::string name = grid->GetRowItem(grid->GetTreeItem(row))->firstText;
    EXPECT_GE(grid->GetLabelRect(row).width(), metrics.horizontalAdvance(QString::fromStdString(name)) + 4) << name;
  }
  EXPECT_NE(grid->FindItem("System Current Consumption (mA)"), nullptr);
  EXPECT_EQ(grid->GetColumnWidth(0) + grid->GetColumnWidth(1), grid->viewport()->width());
  dialog.resize(dialog.width() + 80, dialog.height());
  QApplication::processEvents();
  EXPECT_EQ(grid->GetColumnWidth(0) + grid->GetColumnWidth(1), grid->viewport()->width());
  Click(&dialog, "Cancel");
  EXPECT_EQ(dialog.result(), kIdCancel);
  EXPECT_EQ(adapter.comPort + "|" + adapter.nodeAddress, "1|3");

  CPropertiesDlg again(textIds, errors, frame);
  again.SetTarget(&adapter, "NA");
  again.show();
  Click(&again, "OK");
  EXPECT_EQ(again.result(), kIdOk);

  // The next object's shorter names: "Item" narrows again.
  const int adapterItemWidth = again.grid()->GetColumnWidth(0);
  CPropertiesDlg moduleDialog(textIds, errors, frame);
  moduleDialog.SetTarget(&adapter, "NA");
  moduleDialog.SetTarget(Present(Def(10), "M"), "IO");
  EXPECT_LT(moduleDialog.grid()->GetColumnWidth(0), adapterItemWidth);
  moduleDialog.show();
  EXPECT_FALSE(moduleDialog.okButton()->isVisible());
  EXPECT_FALSE(moduleDialog.helpButton()->isVisible());
}

TEST_F(DialogRoad, ConfigurationCancelAndRefusedOkChangeNothing) {
  AppOptions options;
  const AppOptions before = options;
  int saves = 0;
  {
    ConfigDlg dialog(options, [&] { return ++saves; }, "/projects");
    EXPECT_EQ(dialog.grid()->GetTotalItemCount(), 17);
    ASSERT_TRUE(dialog.SetEntry("View Mode", "Product View"));
    ASSERT_TRUE(dialog.SetEntry("Max Log Display", "0"));
    ReturnKeepsOpen(dialog, dialog.grid());
    Picture(dialog, "configuration");
    Click(&dialog, "OK");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(boxes.back(), "Input a integer value in max. log display (1-65535).");
    EXPECT_EQ(options.ViewMode, before.ViewMode);
    Click(&dialog, "Cancel");
    EXPECT_EQ(dialog.result(), kIdCancel);
  }
  EXPECT_EQ(options.ViewMode, before.ViewMode);
  EXPECT_EQ(options.MaxWndDisplay, before.MaxWndDisplay);
  EXPECT_EQ(saves, 0);

  ConfigDlg dialog(options, [&] { return ++saves; }, "/projects");
  // The grid takes narrower ranges than OK checks: (row, typed, kept).
  for (const auto& [name, typed, kept] :
       {std::tuple{"Max Log Display", "50", "1000"}, {"Max File Size (MB)", "11", "5"}}) {
    std::string shown;
    qmx::grid::GridTreeItem* item = dialog.grid()->GetCellTextByName(shown, name, 0);
    dialog.grid()->UpdateListViewItem(item, {-1, 1, typed, -1});
    EXPECT_EQ(dialog.grid()->GetCellText(item, 0), kept) << name << " " << typed;
  }
  ASSERT_TRUE(dialog.SetEntry("Log File Enable/Developer Info", before.FileEnable[3] ? "False" : "True"));
  dialog.show();
  Click(&dialog, "OK");
  EXPECT_EQ(dialog.result(), kIdOk);
  EXPECT_EQ(saves, 1);
  EXPECT_NE(options.FileEnable[3], before.FileEnable[3]);
  EXPECT_EQ(options.WndEnable[3], before.WndEnable[3]);
}

TEST_F(DialogRoad, InquiryEditsSaveAsCsvThatPythonReads) {
  qmx::test::TempDir dir("inquiry");
  std::vector<qmx::os::LaunchRequest> launched;
  qmx::os::SetLauncher([&](const qmx::os::LaunchRequest& r) {
    launched.push_back(r);
    return 1;
  });
  std::string askedName;
  InquiryDlg::s_saveFileQuestion = [&](QWidget*, const std::string&, const std::string& name) {
    askedName = name;
    return (dir / "parts.csv").string();
  };
  InquiryDlg dialog;
  dialog.SetScope("Line 1", "PROJECT",
                  {{"QMX-1808", "12-345", 2, "QMX-1808"}, {"Pt100, 2-wire", "say \"hi\"", 1, ""},
                   {"QMX-4105", "41-05", 1, "QMX-4105"}});
  qmx::grid::GridCtrl* grid = dialog.grid();
  qmx::grid::GridTreeItem* second = grid->GetTreeItem(1);
  grid->UpdateListViewItem(second, {1, 2, "0", -1});
  grid->UpdateListViewItem(second, {1, 2, "-1", -1});  // refused by the grid
  ReturnKeepsOpen(dialog, grid);
  Picture(dialog, "inquiry");
  Click(&dialog, "Save to file");
  EXPECT_EQ(askedName, "Line 1_Prj_Inquiry");
  ASSERT_EQ(launched.size(), 1u);
  EXPECT_EQ(launched[0].file, "notepad.exe");
  EXPECT_EQ(launched[0].args, (std::vector<std::string>{(dir / "parts.csv").string()}));

  const std::string command = "/usr/bin/python3 -c \"import csv,json,sys; print(json.dumps(list(csv.reader(open("
                              "sys.argv[1], newline=''), skipinitialspace=True))))\" " +
                              (dir / "parts.csv").string();
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char buffer[1024] = {};
  const size_t n = fread(buffer, 1, sizeof buffer - 1, pipe);
  pclose(pipe);
  EXPECT_EQ(std::string(buffer, n),
            "[[\"No\", \"Quantity\", \"Model Name\", \"Part No.\"], [], [\"1\", \"2\", \"QMX-1808\", \"12-345\"], "
            "[\"2\", \"0\", \"Pt100, 2-wire\", \"say \\\"hi\\\"\"], [\"3\", \"1\", \"QMX-4105\", \"41-05\"]]\n");

  grid->SetSelectedRow(1);
  Click(&dialog, "Show Technical Data");  // no help page for that part
  EXPECT_EQ(boxes.back(), "Undefined help link path.\nError Code: -1036. Model:Pt100, 2-wire.");
  // The hidden Delete takes the selected row out.
  Button(&dialog, "Delete")->click();
  EXPECT_EQ(dialog.CurrentRows().size(), 2u);
  Click(&dialog, "Exit");
  EXPECT_EQ(dialog.result(), kIdCancel);
}

TEST_F(DialogRoad, NewProjectOverwriteIsOnlyRecorded) {
  qmx::test::TempDir dir("newprj");
  qmx::test::WriteFile(dir / "Line.KPX", "old");
  const TextIdMap textIds;
  CProjectNewDlg dialog({"TCP", "RS485"}, textIds, [](const std::string&, const std::string&) { return false; },
                        dir.path().string());
  EXPECT_EQ(dialog.busTypeCombo()->count(), 2);
  EXPECT_EQ(dialog.busTypeCombo()->currentIndex(), -1);
  dialog.nameEdit()->setText("Line");
  // Return in a field is OK.
  dialog.show();
  dialog.nameEdit()->setFocus();
  QTest::keyClick(dialog.nameEdit(), Qt::Key_Return);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(boxes.back(), "Please, select a bus type.");
  dialog.busTypeCombo()->setCurrentIndex(1);
  Picture(dialog, "new_project");
  answers = {qmx::kBoxIdYes};
  dialog.busTypeCombo()->setFocus();
  QTest::keyClick(dialog.busTypeCombo(), Qt::Key_Return);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), kIdOk);
  EXPECT_EQ(boxes.back(), "Project name already exists. Do you want to overwrite it?");
  EXPECT_TRUE(dialog.ReplaceExistingFile());
  EXPECT_EQ(dialog.GetBusType(), 2);
  EXPECT_EQ(qmx::test::ReadFile(dir / "Line.KPX"), "old");
}

TEST_F(DialogRoad, RenameRefusesBlanksAndTrims) {
  CRenameDlg dialog;
  dialog.SetOldName("Pump");
  EXPECT_EQ(dialog.nameEdit()->selectedText(), "Pump");
  Picture(dialog, "rename");
  // Return in the name field is OK.
  dialog.nameEdit()->setFocus();
  dialog.nameEdit()->setText("   ");
  QTest::keyClick(dialog.nameEdit(), Qt::Key_Return);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(boxes.back(), "Please, input a new name.");
  dialog.nameEdit()->setText("  Pump 2 ");
  QTest::keyClick(dialog.nameEdit(), Qt::Key_Return);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), kIdOk);
  EXPECT_EQ(dialog.GetNewName(), "Pump 2");
}

// Escape is the Cancel (or Exit) button of every dialog that has one, with
// what that button does; a dialog without one stays open.
TEST_F(DialogRoad, EscapeIsTheCancelButton) {
  IOCatalogue catalogue;
  const TextIdMap textIds;
  CProjectUsr project;
  adapter.comPort = "1";
  PropertiesState::Frame frame{[&](CNAUsr&) { return &project; }, [](CNAUsr&, int) { return 1; }, {}};
  std::vector<CIOUsr*> output;

  struct Case {
    const char* what;
    std::function<std::unique_ptr<DialogBase>()> make;
    QString focus;  // accessible name of the field that has the focus; empty: the dialog
    bool closes;
  };
  const std::vector<Case> cases = {
      {"Add IO Modules",
       [&]() -> std::unique_ptr<DialogBase> {
         auto d = std::make_unique<AddIoDlg>(catalogue, errors);
         d->SetNAInfo("01: Station", &adapter);
         d->SetCurIOList({});
         d->SetNewIOList(&output);
         return d;
       },
       "", true},
      {"Properties",
       [&]() -> std::unique_ptr<DialogBase> {
         auto d = std::make_unique<CPropertiesDlg>(textIds, errors, frame);
         d->SetTarget(&adapter, "NA");
         adapter.comPort = "9";  // an edit the dialog's Cancel takes back
         return d;
       },
       "Properties", true},
      {"Inquiry (Exit)", [] { return std::make_unique<InquiryDlg>(); }, "", true},
      {"Serial Communication Setting", [] { return std::make_unique<CSerialCommSetDlg>(); }, "Baud Rate", true},
      {"Validation Result (no Cancel)", [] { return std::make_unique<CheckValidationDlg>(); }, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::unique_ptr<DialogBase> dialog = c.make();
    dialog->show();
    QWidget* focus = dialog.get();
    if (!c.focus.isEmpty()) {
      for (QWidget* w : dialog->findChildren<QWidget*>()) {
        if (w->accessibleName() == c.focus) focus = w;
      }
      ASSERT_NE(focus, dialog.get()) << c.focus.toStdString();
      focus->setFocus();
    }
    QTest::keyClick(focus, Qt::Key_Escape);
    EXPECT_EQ(dialog->isVisible(), !c.closes);
    if (c.closes) {
      EXPECT_EQ(dialog->result(), kIdCancel);
    }
  }
  EXPECT_EQ(adapter.comPort, "1");
}

}  // namespace
