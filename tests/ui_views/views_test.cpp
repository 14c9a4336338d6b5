// The six tab views on the offscreen platform: the results of their protocol
// operations, online values from the fake driver's images, edits in the
// grids landing in the objects' images, and the label control.
#include "tests/ui_views/views_fixture.h"

#include "app/commands/CommandIds.h"
#include "app/model/IODef.h"
#include "app/model/ValueConversion.h"
#include "app/ui/views/AddrMapView.h"
#include "app/ui/views/CommnetView.h"
#include "app/ui/views/ImageView.h"
#include "app/ui/views/ParametersView.h"
#include "app/ui/views/ProcessImgView.h"
#include "app/ui/views/StartUpView.h"
#include "app/ui/views/ViewFactory.h"
#include "common/Utility.h"
#include "widgets/grid/GridCtrl.h"
#include "widgets/grid/ListEditCtrl.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBrowser>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

using namespace qmx::views;
using qmx::grid::GridCtrl;

void Flush() { QCoreApplication::processEvents(); }

// The texts of a grid's rows: first text, then the value columns.
std::vector<std::string> RowTexts(const GridCtrl& grid, int row) {
  std::vector<std::string> texts;
  const qmx::grid::GridRowItem* item = grid.GetRowItem(grid.GetTreeItem(row));
  if (!item) return texts;
  texts.push_back(item->firstText);
  for (const std::string& t : item->columnTexts) texts.push_back(t);
  return texts;
}

class Views : public StationTest {
protected:
  void SetUp() override {
    StationTest::SetUp();
  }

  // Shows a view at the size of a tab page and makes it the active window.
  template <class View>
  std::unique_ptr<View> Show() {
    auto view = std::make_unique<View>();
    view->resize(900, 520);
    view->show();
    view->activateWindow();
    (void)QTest::qWaitForWindowExposed(view.get());
    Flush();
    return view;
  }

  // Binds the adapter to the fake driver and makes it monitor, with the
  // online images allocated.
  void Monitor(FakeDriverFolder& driver) {
    qmx::Services().paths.SetAppDir(driver.path());
    na->SetCommSettings(na->ipAddress, "", "", "");
    na->moduleListChanged = 1;
    ASSERT_EQ(na->SetModuleList(), 1);
    na->monitoring = 1;
    for (CIOUsr* m : io) m->monitoring = 1;
  }
  void StopMonitoring() {
    na->monitoring = 0;
    for (CIOUsr* m : io) m->monitoring = 0;
  }
};

TEST_F(Views, WithoutMainFrameEveryGridViewAnswersZeroAndLogs) {
  ResetHost();
  CProcessImgView process;
  CParametersView parameters;
  CAddrMapView map;
  CImageView image;
  CCommnetView comment;
  EXPECT_EQ(process.RefreshView(0), 0);
  EXPECT_EQ(process.UpdateOnlineVals(0), 0);
  EXPECT_EQ(parameters.RefreshView(0), 0);
  EXPECT_EQ(parameters.UpdateOnlineVals(0), 0);
  EXPECT_EQ(map.RefreshView(0), 0);
  EXPECT_EQ(image.RefreshView(0), 0);
  EXPECT_EQ(image.UpdateOnlineVals(1), 0);
  EXPECT_EQ(comment.RefreshView(0), 0);
  EXPECT_EQ(comment.UpdateOnlineVals(0), 0);
  EXPECT_EQ(map.UpdateOnlineVals(0), 1);
  EXPECT_TRUE(log.Has("[Error Code: -1015] Cannot get mainframe pointer. May be bug. Func: ProcessImgView::RefreshView.",
                      qmx::kLogError));
  EXPECT_TRUE(log.Has("Func: AddrMapView::RefreshView.", qmx::kLogError));
}

TEST_F(Views, ProcessImageRebuildsOnlyForANewSelectionAndEditsGoToTheOutputImage) {
  BuildStation({"QMX-1808", "QMX-2808", "QMX-4402"});
  auto view = Show<CProcessImgView>();
  GridCtrl& grid = *view->grid();
  // Only the address map centres its columns.
  EXPECT_EQ(grid.GetColumnAlignment(2), qmx::grid::kGridAlignLeft);
  Select(project);
  EXPECT_EQ(view->RefreshView(0), 2);
  EXPECT_EQ(grid.GetTotalItemCount(), 0);

  Select(io[1]);
  EXPECT_EQ(view->RefreshView(0), 1);
  EXPECT_EQ(grid.GetTotalItemCount(), 9);
  EXPECT_EQ(view->RefreshView(0), 2);
  EXPECT_EQ(view->RefreshView(1), 1);
  EXPECT_EQ(RowTexts(grid, 1), (std::vector<std::string>{"DO 1-8 #00", "DO", "0", "", ""}));

  // The row notification shows the row's hint.
  grid.SetSelectedRow(1);
  Flush();
  EXPECT_EQ(view->hintText()->text().toStdString(), grid.GetRowItem(grid.GetTreeItem(1))->GetHintText(kPiProject));
  EXPECT_FALSE(view->hintText()->text().isEmpty());

  // Typing a value into the Project Value cell of bit 2.
  grid.SetSelectedRow(3);
  grid.SetFocusedColumn(kPiProject + 1);
  QTest::keyClick(&grid, Qt::Key_Return);
  Flush();
  auto* editor = grid.viewport()->findChild<qmx::grid::ListEditCtrl*>();
  ASSERT_NE(editor, nullptr);
  QTest::keyClicks(QApplication::focusWidget(), "1");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  Flush();
  EXPECT_EQ(io[1]->outputImage()[0], 0x04);
  EXPECT_EQ(project->modified, 1);

  // Commands, value mode and naming.
  EXPECT_EQ(view->CanHandleCommand(qmx::commands::kIdOnlineDownload, 1), 1);
  EXPECT_EQ(view->CanHandleCommand(qmx::commands::kIdOnlineUpload, 0), 0);
  EXPECT_EQ(view->CanHandleCommand(qmx::commands::kIdOnlineResetPara, 1), 0);
  Select(io[2]);
  io[2]->outputImage()[0] = 0x80;
  io[2]->outputImage()[1] = 0x3E;
  view->RefreshView(0);
  EXPECT_EQ(RowTexts(grid, 1)[2], "12.00");
  qmx::views::Host().valueMode = [] { return 2; };
  view->ChangeValMode(0);
  EXPECT_EQ(RowTexts(grid, 1)[2], "0x3E80");
  EXPECT_EQ(grid.GetRowItem(grid.GetTreeItem(1))->GetDefinition(kPiProject), "4,4,");
  ws.namingMode = 1;
  EXPECT_EQ(view->DoChangeModuleNameIcon(-1), 1);
  EXPECT_EQ(RowTexts(grid, 0)[0], io[2]->GetLabel(1));
  // With the adapter shown, every module's row follows the naming mode.
  ws.namingMode = 0;
  Select(na);
  view->RefreshView(0);
  ws.namingMode = 2;
  EXPECT_EQ(view->DoChangeModuleNameIcon(-1), 1);
  std::vector<std::string> labels, wanted;
  for (int row = 0; row < grid.GetItemCount(); ++row) {
    if (view->rows()[static_cast<size_t>(row)].kind == RowKind::kModuleSummary) labels.push_back(RowTexts(grid, row)[0]);
  }
  for (CIOUsr* module : io) wanted.push_back(module->GetLabel(2));
  EXPECT_EQ(labels, wanted);
  EXPECT_EQ(RowTexts(grid, 0)[0], na->GetLabel(2));
  ws.namingMode = 1;

  view->ClearView();
  EXPECT_EQ(grid.GetTotalItemCount(), 0);
  EXPECT_EQ(view->shownObject(), nullptr);
  EXPECT_EQ(view->RefreshView(0), 1);
}

TEST_F(Views, ValueColumnsFitEachObjectAnew) {
  BuildStation({"QMX-1808", "QMX-4404"});
  auto view = Show<CProcessImgView>();
  GridCtrl& grid = *view->grid();
  const int column = kPiProject + 1;
  const int base = grid.GetColumnWidth(column);
  // The adapter's summary row of the analog module holds its whole output
  // image as hexadecimal text, wider than the column is made.
  Select(na);
  ASSERT_EQ(view->RefreshView(0), 1);
  const int wide = grid.GetColumnWidth(column);
  EXPECT_GT(wide, base);
  Select(io[0]);
  ASSERT_EQ(view->RefreshView(0), 1);
  EXPECT_EQ(grid.GetColumnWidth(column), base);
}

TEST_F(Views, ProcessImageOnlineValuesWhileMonitoring) {
  FakeDriverFolder driver;
  BuildStation({"QMX-1808", "QMX-2808"});
  Monitor(driver);
  na->OnlineImage(kOnlineInput)[io[0]->onlineOffsets[kOnlineInput]] = 0x03;
  na->OnlineImage(kOnlineOutput)[io[1]->onlineOffsets[kOnlineOutput]] = 0x80;
  auto view = Show<CProcessImgView>();
  Select(io[0]);
  EXPECT_EQ(view->UpdateOnlineVals(0), 1);
  EXPECT_TRUE(view->onlineValuesShown());
  EXPECT_EQ(RowTexts(*view->grid(), 1)[3], "1");
  EXPECT_EQ(RowTexts(*view->grid(), 3)[3], "0");
  // The selection changed: the flag goes with it.
  view->ChangeValMode(1);
  EXPECT_FALSE(view->onlineValuesShown());
  Select(na);
  EXPECT_EQ(view->RefreshView(0), 1);
  EXPECT_EQ(view->UpdateOnlineVals(0), 1);
  EXPECT_EQ(RowTexts(*view->grid(), 1)[3], "0x03");
  EXPECT_EQ(RowTexts(*view->grid(), 2)[3], "0x80");
  // A project row or folder has nothing to refresh.
  Select(project);
  EXPECT_EQ(view->UpdateOnlineVals(0), 2);
  StopMonitoring();
}

TEST_F(Views, ParametersEditedInPlaceLandInTheImageAndAreReadOnlyWhileMonitoring) {
  BuildStation({"QMX-3404"});
  auto view = Show<CParametersView>();
  GridCtrl& grid = *view->grid();
  Select(io[0]);
  EXPECT_EQ(view->RefreshView(0), 1);
  EXPECT_EQ(view->RefreshView(0), 2);
  ASSERT_EQ(grid.GetTotalItemCount(), 4);
  EXPECT_EQ(RowTexts(grid, 3), (std::vector<std::string>{"Wire Break Limit", "3600", ""}));

  // A value picked from the list lands in the PARA image as its entry.
  grid.UpdateListViewItem(grid.GetTreeItem(2), {2, kParaProject + 1, "60 Hz rejection", 2});
  EXPECT_EQ(io[0]->paraImage()[1], 2);
  EXPECT_EQ(project->modified, 1);
  EXPECT_EQ(view->RefreshView(1), 1);
  EXPECT_EQ(RowTexts(grid, 2)[1], "60 Hz rejection");

  // A typed value is checked against the parameter's definition ("type,min,max").
  auto* limit = const_cast<ParaItem*>(io[0]->GetIODef()->paraItems[2].get());
  const std::string kept = limit->allowedValues;
  limit->allowedValues = "1,0,4000";
  EXPECT_EQ(view->RefreshView(1), 1);
  grid.UpdateListViewItem(grid.GetTreeItem(3), {3, kParaProject + 1, "2000", -1});
  EXPECT_EQ(io[0]->paraImage()[2] | (io[0]->paraImage()[3] << 8), 2000);
  grid.UpdateListViewItem(grid.GetTreeItem(3), {3, kParaProject + 1, "5000", -1});
  EXPECT_EQ(io[0]->paraImage()[2] | (io[0]->paraImage()[3] << 8), 2000);
  limit->allowedValues = kept;

  grid.SetSelectedRow(3);
  Flush();
  EXPECT_EQ(view->hintText()->text().toStdString(), grid.GetRowItem(grid.GetTreeItem(3))->GetHintText(kParaProject));

  io[0]->monitoring = 1;
  EXPECT_EQ(view->RefreshView(1), 1);
  for (int row = 1; row < 4; ++row) EXPECT_EQ(grid.GetRowItem(grid.GetTreeItem(row))->readOnly, 1);
  int kind = 0;
  EXPECT_FALSE(grid.GetRowItem(grid.GetTreeItem(2))->GetCellKind(kParaProject, &kind));
  io[0]->monitoring = 0;
  EXPECT_EQ(view->RefreshView(1), 1);
  EXPECT_TRUE(grid.GetRowItem(grid.GetTreeItem(2))->GetCellKind(kParaProject, &kind));

  EXPECT_EQ(view->CanHandleCommand(qmx::commands::kIdOnlineResetPara, 1), 1);
  EXPECT_EQ(view->CanHandleCommand(qmx::commands::kIdEditFactoryDefault, 1), 1);
  EXPECT_EQ(view->CanHandleCommand(qmx::commands::kIdStartMonitoring, 1), 0);
  // A module without parameters: its own row only, nothing online.
  BuildStation({"QMX-7016"});
  Select(io.back());
  EXPECT_EQ(view->RefreshView(0), 1);
  EXPECT_EQ(grid.GetTotalItemCount(), 1);
  EXPECT_EQ(view->UpdateOnlineVals(0), 2);
}

TEST_F(Views, ParametersOnlineColumnFromTheDevice) {
  FakeDriverFolder driver;
  BuildStation({"QMX-3404"});
  Monitor(driver);
  uint8_t* para = na->OnlineImage(kOnlinePara) + io[0]->onlineOffsets[kOnlinePara];
  para[0] = 0x05;
  para[1] = 0;
  auto view = Show<CParametersView>();
  Select(io[0]);
  EXPECT_EQ(view->UpdateOnlineVals(0), 1);
  EXPECT_EQ(RowTexts(*view->grid(), 1)[2], "5");
  EXPECT_EQ(RowTexts(*view->grid(), 2)[2], "None");
  para[1] = 9;  // no entry of the value list: the read text stays
  EXPECT_EQ(view->UpdateOnlineVals(0), 1);
  EXPECT_EQ(RowTexts(*view->grid(), 2)[2], "9");
  driver.SetResult("drvRead", 0);
  para[0] = 0x07;
  EXPECT_EQ(view->UpdateOnlineVals(0), 0);
  EXPECT_EQ(RowTexts(*view->grid(), 1)[2], "5");
  StopMonitoring();
}

TEST_F(Views, AddressMapFromTheDriverRebuildsOnModeChangeAndIsEmptyWithoutRecord) {
  qmx::Services().paths.SetAppDir(qmx::test::DistDir().string());
  BuildStation({"QMX-1808", "QMX-2808", "QMX-3404"});
  na->SetCommSettings(na->ipAddress, "", "", "1");
  ASSERT_TRUE(na->HasDriver());
  na->moduleListChanged = 1;
  auto view = Show<CAddrMapView>();
  GridCtrl& grid = *view->grid();
  // The address figures stand centred in their columns.
  EXPECT_EQ(grid.GetColumnAlignment(2), qmx::grid::kGridAlignCenter);
  EXPECT_EQ(view->RefreshView(0), 1);
  EXPECT_GT(grid.GetTotalItemCount(), 4);
  EXPECT_FALSE(view->inputMode()->text().isEmpty());
  {  // Tab from the control before the view runs through the mode fields to the grid.
    QWidget host;
    auto* before = new QLineEdit(&host);
    auto* inHost = new CAddrMapView(&host);
    host.show();
    QApplication::setActiveWindow(&host);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
    before->setFocus();
    for (QWidget* next : std::vector<QWidget*>{inHost->inputMode(), inHost->outputMode(), inHost->grid()}) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      EXPECT_EQ(QApplication::focusWidget(), next);
    }
  }
  EXPECT_EQ(RowTexts(grid, 0)[0], na->GetLabel(0));
  // The naming-mode command renumbers, which hands the driver the new
  // labels; every row of the map follows.
  auto moduleRow = [&](CIOUsr* module) {
    for (int row = 0; row < grid.GetItemCount(); ++row)
      if (RowTexts(grid, row)[0].rfind(StrFormat("%02d: ", module->GetPosNo()), 0) == 0) return RowTexts(grid, row)[0];
    return std::string();
  };
  EXPECT_EQ(moduleRow(io[1]), io[1]->GetLabel(0));
  ws.namingMode = 1;
  ws.ReNumberingIOsDispath("PROJECT", project->treeItem);
  EXPECT_EQ(view->DoChangeModuleNameIcon(-1), 1);
  EXPECT_EQ(RowTexts(grid, 0)[0], na->GetLabel(1));
  EXPECT_EQ(moduleRow(io[1]), io[1]->GetLabel(1));
  ws.namingMode = 0;
  ws.ReNumberingIOsDispath("PROJECT", project->treeItem);
  EXPECT_EQ(view->RefreshView(0), 2);
  na->imageModeChanged = 1;
  EXPECT_EQ(view->RefreshView(0), 1);
  EXPECT_EQ(na->imageModeChanged, 0);

  Select(io[0]);
  EXPECT_EQ(view->RefreshView(0), 1);
  ASSERT_GT(grid.GetTotalItemCount(), 1);
  EXPECT_EQ(grid.GetRowItem(grid.GetTreeItem(0))->columnTexts.at(0), "0");

  Select(project);
  EXPECT_EQ(view->RefreshView(0), 2);
  EXPECT_EQ(grid.GetTotalItemCount(), 0);
  EXPECT_TRUE(view->inputMode()->text().isEmpty());
  EXPECT_TRUE(view->outputMode()->text().isEmpty());

  // Without a driver there is no record: an empty table, nothing shown.
  BuildStation({"QMX-1808"});
  boxes.clear();
  EXPECT_EQ(view->RefreshView(0), 1);
  EXPECT_EQ(grid.GetTotalItemCount(), 0);
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(view->CanHandleCommand(qmx::commands::kIdOnlineDownload, 1), 0);
}

TEST_F(Views, ImageViewPicturesTextsPropertiesAndTheOffPictures) {
  BuildStation({"QMX-1808", "QMX-3404", "QMX-7124"});
  auto view = Show<CImageView>();
  EXPECT_EQ(view->RefreshView(0), 1);
  ASSERT_EQ(view->buttons().size(), 4u);
  EXPECT_EQ(view->buttons()[0]->geometry(), QRect(20, 126, 64, 200));
  EXPECT_EQ(view->buttons()[1]->geometry(), QRect(84, 126, 32, 200));
  EXPECT_EQ(view->captions()[2]->Text(), "2");
  EXPECT_EQ(view->buttons()[3]->GetModule(), io[2]);
  EXPECT_EQ(view->Label(1084)->Text(), "Total Current");
  EXPECT_EQ(view->Label(1088)->Text(), na->GetLabel(0));
  EXPECT_EQ(view->Label(1088)->textColour(), QColor(0, 0, 255));
  EXPECT_EQ(view->RefreshView(0), 2);

  // Each picture opens the Properties dialog of its object.
  std::vector<std::pair<Wrapper*, std::string>> opened;
  Host().openProperties = [&opened](Wrapper* object, const std::string& title) {
    opened.emplace_back(object, title);
    return 1;
  };
  view->OnModuleCommand(5002);
  view->OnModuleCommand(5004);  // one past the last button: nothing
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].first, io[1]);
  EXPECT_EQ(opened[0].second, io[1]->GetLabel(0));
  // A changed address refreshes every view, this one too, from inside the click.
  na->channelChanged = 1;
  int refreshed = 0;
  Host().refreshViews = [&](int force, const std::string& name) {
    refreshed += force == 1 && name.empty();
    view->RefreshView(force);
  };
  QTest::mouseClick(view->buttons()[0], Qt::LeftButton);
  Flush();
  EXPECT_EQ(refreshed, 1);
  EXPECT_EQ(view->buttons().size(), 4u);
  EXPECT_EQ(project->modified, 1);

  // Delete is the view's while a picture has the focus.
  view->buttons()[1]->setFocus();
  Flush();
  EXPECT_EQ(view->CanHandleCommand(qmx::commands::kIdEditDelete, 1), 1);
  EXPECT_EQ(view->CanHandleCommand(qmx::commands::kIdEditDelete, 0), 0);
  // The picture area is a Tab stop of its own; its focus shows as a frame.
  view->findChild<QWidget*>("ImageScroll")->setFocus();
  Flush();
  EXPECT_LT(view->grab().toImage().pixelColor(0, 0).lightness(), 128);

  // A monitored adapter whose communication failed: "-OFF" pictures, red title.
  na->monitoring = 1;
  Host().commState = [](const CNAUsr&) { return 2; };
  EXPECT_EQ(view->UpdateOnlineVals(0), 1);
  EXPECT_EQ(view->Label(1088)->textColour(), QColor(0, 0, 255));
  EXPECT_EQ(view->UpdateOnlineVals(1), 1);
  EXPECT_EQ(view->Label(1088)->textColour(), QColor(255, 0, 0));
  na->monitoring = 0;

  Select(io[1]);
  EXPECT_EQ(view->RefreshView(0), 1);
  EXPECT_EQ(view->buttons().size(), 1u);
  EXPECT_EQ(view->Label(1081)->Text(), "4 AI, 4 ... 20 mA, 15 bit");
  ws.namingMode = 1;
  EXPECT_EQ(view->DoChangeModuleNameIcon(-1), 1);
  EXPECT_EQ(view->Label(1088)->Text(), io[1]->GetLabel(1));
  Select(project);
  EXPECT_EQ(view->RefreshView(0), 2);
  EXPECT_TRUE(view->buttons().empty());
  EXPECT_EQ(view->Label(1092)->Text(), "");
}

TEST_F(Views, ImageViewFindsPicturesWithoutCaseAndFallsBackToTheDefault) {
  qmx::test::TempDir dir("qmx-views-images");
  std::filesystem::create_directories(dir / "Image");
  const auto source = qmx::test::SourcePath("resources/QMX410Tools/Image");
  std::filesystem::copy_file(source / "QMX-4101.bmp", dir / "Image" / "qmx-4101.BMP");
  std::filesystem::copy_file(source / "KA-xxxx-x.bmp", dir / "Image" / "KA-xxxx-x.bmp");
  qmx::Services().paths.SetAppDir(dir.path().string());
  BuildStation({"QMX-1808"});
  auto view = Show<CImageView>();
  EXPECT_EQ(view->RefreshView(0), 1);
  ASSERT_EQ(view->buttons().size(), 2u);
  EXPECT_EQ(view->buttons()[0]->iconSize(), QSize(64, 200));
  EXPECT_EQ(view->buttons()[1]->iconSize(), QSize(32, 200));
  EXPECT_TRUE(log.Has("[Error Code: -1016] Cannot load module's graph image. " + (dir / "Image").string() +
                      "/QMX-1808.bmp"));
}

TEST_F(Views, CommentShowsLineFeedPairsAsLinesAndAnEditMarksTheProjectModified) {
  BuildStation({"QMX-1808"});
  auto view = Show<CCommnetView>();
  na->title = "first\n\nsecond";
  EXPECT_EQ(view->RefreshView(0), 1);
  EXPECT_EQ(view->editor()->toPlainText().toStdString(), "first\nsecond");
  EXPECT_EQ(view->editor()->document()->blockCount(), 2);
  EXPECT_EQ(project->modified, 0);
  view->editor()->moveCursor(QTextCursor::End);
  QTest::keyClicks(view->editor(), " line");
  EXPECT_EQ(na->title, "first\r\nsecond line");
  EXPECT_EQ(project->modified, 1);
  EXPECT_EQ(view->UpdateOnlineVals(0), 1);
  EXPECT_EQ(view->CanHandleCommand(qmx::commands::kIdOnlineDownload, 1), 0);
  view->ClearView();
  EXPECT_TRUE(view->editor()->toPlainText().isEmpty());
  EXPECT_EQ(na->title, "first\r\nsecond line");
  EXPECT_EQ(view->RefreshView(0), 1);
  EXPECT_EQ(view->editor()->toPlainText().toStdString(), "first\nsecond line");
  // Nothing selected (no project open): typing changes no object.
  ProjectWorkspace empty;
  Host().workspace = &empty;
  project->modified = 0;
  QTest::keyClicks(view->editor(), "x");
  EXPECT_EQ(na->title, "first\r\nsecond line");
  EXPECT_EQ(project->modified, 0);
  EXPECT_EQ(view->RefreshView(0), 0);
}

TEST_F(Views, StartPageShowsTheShippedPageAndItsLinksRunCommands) {
  qmx::Services().paths.SetAppDir(qmx::test::DistDir().string());
  auto view = Show<CStartUpView>();
  view->ShowStartPage("http://www.example.invalid/start");
  EXPECT_TRUE(view->page()->source().toLocalFile().endsWith("StartUpOffline/htm/main.htm"));
  EXPECT_TRUE(view->page()->toPlainText().contains("New Project"));
  EXPECT_TRUE(view->page()->toHtml().contains("command:57600"));
  std::vector<int> commands;
  Host().runCommand = [&commands](int id) { commands.push_back(id); };
  emit view->page()->anchorClicked(QUrl("command:57600"));
  emit view->page()->anchorClicked(QUrl("command:32790"));
  EXPECT_EQ(commands, (std::vector<int>{qmx::commands::kIdFileNew, qmx::commands::kIdOnlineScan}));
  EXPECT_EQ(CStartUpView::CommandOfLink(QUrl("command:x")), 0);
  EXPECT_EQ(view->CanHandleCommand(qmx::commands::kIdFileNew, 1), 0);
}

TEST_F(Views, TheFactoryMakesTheSixViewsInTabOrder) {
  QWidget parent;
  const char* classes[] = {"CStartUpView", "CImageView", "CProcessImgView", "CParametersView", "CAddrMapView",
                           "CCommnetView"};
  for (int i = 0; i < 6; ++i) {
    std::unique_ptr<CTabChildView> view(CreateTabView(i, &parent));
    ASSERT_NE(view, nullptr);
    EXPECT_STREQ(view->metaObject()->className(), classes[i]);
  }
  EXPECT_EQ(CreateTabView(6, &parent), nullptr);
}

TEST(LabelControl, StylesAddUpAlignmentIsReplacedAndAmpersandsStay) {
  LabelCtrl label;
  EXPECT_EQ(label.alignment(), Qt::AlignLeft);
  label.SetFont("Tahoma", 16, Qt::black, LabelCtrl::kBold | LabelCtrl::kCentred);
  label.SetFont("Tahoma", 16, Qt::black, LabelCtrl::kItalic | LabelCtrl::kRight);
  EXPECT_TRUE(label.bold());
  EXPECT_TRUE(label.italic());
  EXPECT_EQ(label.alignment(), Qt::AlignRight);
  EXPECT_EQ(label.PaintFont().weight(), QFont::Black);
  EXPECT_EQ(label.PaintFont().pixelSize(), 16);
  label.SetFont("Tahoma", 16, Qt::black, 0);
  EXPECT_EQ(label.alignment(), Qt::AlignLeft);
  label.resize(120, 200);
  label.SetText("Tom & Jerry wrap at word boundaries here");
  EXPECT_EQ(label.accessibleName().toStdString(), "Tom & Jerry wrap at word boundaries here");
  EXPECT_EQ(QAccessible::queryAccessibleInterface(&label)->role(), QAccessible::StaticText);
  EXPECT_GT(label.HeightForWidth(120), QFontMetrics(label.PaintFont()).height());
}

}  // namespace
