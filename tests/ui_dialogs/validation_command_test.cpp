// The Check Validation commands of the main window on a copy of the staged
// program folder: a valid station is reported in a box and the log, a station
// over its power budget opens the "Validation Result" dialog with the error
// list's texts (its picture goes into the build folder).
#include "app/frame/FerrowynApp.h"
#include "app/frame/MainFrame.h"
#include "app/model/Logging.h"
#include "app/model/NAUsr.h"
#include "app/model/ProjectUsr.h"
#include "app/model/Services.h"
#include "app/ui/dialogs/CheckValidationDlg.h"
#include "platform/os/os.h"
#include "platform/toolkit/message_box.h"
#include "tests/support/access_audit.h"
#include "tests/support/program_services.h"
#include "tests/support/test_support.h"
#include "widgets/grid/GridCtrl.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(CheckValidation, CommandsShowTheVerdict) {
  qmx::test::TempDir dir("qmx-validation");
  const std::filesystem::path programDir = qmx::test::UseProgramCopy(dir.path());
  std::vector<std::string> boxes;
  qmx::toolkit::SetMessageBoxScript([&](const qmx::toolkit::MessageBoxRequest& r) {
    boxes.push_back(r.text);
    return qmx::toolkit::kIdOk;
  });
  {
    CFerrowynApp app;
    ASSERT_TRUE(app.InitInstance({(programDir / "QMX410Tools").string()}));
    CMainFrame* frame = app.mainFrame();
    CProjectUsr* project = frame->CreateProject("Plant", programDir.string() + "/Projects");
    project->commType = "TCP";
    project->commTypeCode = 0;
    TreeItem naItem = kNoTreeItem;
    CNAUsr* station = frame->CreateNA("Line A", "QMX-4101", naItem, nullptr);
    ASSERT_NE(station, nullptr);
    station->ipAddress = "192.168.0.10";
    TreeItem item = kNoTreeItem;
    for (int i = 0; i < 4; ++i) ASSERT_NE(frame->CreateIO("DI", "QMX-1808", item, nullptr, naItem), nullptr);
    frame->ReNumberingIOsDispath("PROJECT", project->treeItem);

    // Valid: a box and a line, no dialog.
    frame->workspace().tree().SelectItem(naItem);
    boxes.clear();
    frame->OnEditChkValidNa();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("network adapter configuration is VALID.  "), std::string::npos) << boxes[0];

    // 17 analog modules of 90 mA each are more than the adapter's 1500 mA.
    for (int i = 0; i < 17; ++i) ASSERT_NE(frame->CreateIO("AI", "QMX-3408", item, nullptr, naItem), nullptr);
    frame->ReNumberingIOsDispath("PROJECT", project->treeItem);
    frame->workspace().tree().SelectItem(project->treeItem);
    int shown = 0;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<qmx::dialogs::CheckValidationDlg*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      ++shown;
      qmx::grid::GridCtrl* grid = dialog->grid();
      std::string category, code;
      ASSERT_TRUE(grid->GetRowText(0, -1, category));
      EXPECT_EQ(category.rfind("Line A", 0), 0u) << category;
      bool power = false;
      for (int row = 0; row < grid->GetItemCount(); ++row) {
        grid->GetRowText(row, 0, code);
        power = power || code == "-101";
        if (code == "-101") grid->SetSelectedRow(row);
      }
      EXPECT_TRUE(power);
      EXPECT_EQ(dialog->measureField()->text().toStdString(),
                " The modules consume more system power than the network adapter and the power modules before them "
                "supply.");
      QApplication::processEvents();
      EXPECT_TRUE(dialog->SavePicture((qmx::test::DistDir().parent_path() / "ui_dialogs_check_project.png").string()));
      EXPECT_EQ(qmx::test::AuditAccess(dialog), std::vector<std::string>{});
      for (QPushButton* b : dialog->findChildren<QPushButton*>()) {
        if (b->text() == "OK") QTest::mouseClick(b, Qt::LeftButton);
      }
    });
    boxes.clear();
    frame->OnEditChkValidPrj();
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(boxes.empty());
  }
  qmx::toolkit::SetMessageBoxScript({});
  qmx::os::OverrideProgramFolder({});
  qmx::ResetServices();
}

}  // namespace
