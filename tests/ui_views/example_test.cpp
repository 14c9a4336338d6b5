// The shipped example projects in the six views, as the program shows them
// after File Open: each view pictured into the build folder
// (example_<project>_<view>.png) to be looked at, with the checks that keep
// the pictures meaningful (rows, pictures and address map present).
#include "tests/support/access_audit.h"
#include "tests/ui_views/views_fixture.h"

#include "app/frame/ProgramServices.h"
#include "app/frame/ProjectFile.h"
#include "app/ui/views/AddrMapView.h"
#include "app/ui/views/CommnetView.h"
#include "app/ui/views/ImageView.h"
#include "app/ui/views/ParametersView.h"
#include "app/ui/views/ProcessImgView.h"
#include "app/ui/views/StartUpView.h"
#include "widgets/grid/GridCtrl.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using namespace qmx::views;

class Examples : public StationTest {
protected:
  void SetUp() override {
    StationTest::SetUp();
    qmx::Services().paths.SetAppDir(qmx::test::DistDir().string());
    qmx::Services().multiDropDriverFile = [this](const std::string& commType, int& code) {
      return qmx::MultiDropDriverFile(adapters, commType, code);
    };
  }
  void TearDown() override {
    while (!ws.Projects().empty()) files.CloseProject(ws.Projects().front().get(), kNoTreeItem, 1, 0);
    StationTest::TearDown();
  }

  template <class View>
  void Picture(const std::string& name, const std::function<void(View&)>& check) {
    View view;
    view.resize(900, 520);
    view.show();
    (void)QTest::qWaitForWindowExposed(&view);
    EXPECT_EQ(view.RefreshView(1), 1) << name;
    check(view);
    QCoreApplication::processEvents();
    const std::string path = std::string(QMX_TEST_OUTPUT_DIR) + "/example_" + name + ".png";
    EXPECT_TRUE(view.grab().save(QString::fromStdString(path))) << path;
    EXPECT_EQ(qmx::test::AuditAccess(&view), std::vector<std::string>{}) << name;
  }

  ProjectFiles files{ws, modules};
};

TEST_F(Examples, EachViewOfTheShippedStations) {
  for (const char* file : {"ModbusTCP_Station", "RS485_Line"}) {
    SCOPED_TRACE(file);
    const auto path = qmx::test::DistDir() / "Projects" / (std::string(file) + ".KPX");
    ASSERT_EQ(files.OpenProject(path.string()), 1);
    CProjectUsr* opened = ws.Projects().back().get();
    CNAUsr* station = opened->Adapters().at(0);
    const std::vector<CIOUsr*> placed = ws.ModulesOf(*station);
    ASSERT_FALSE(placed.empty());
    // The driver learns the station's modules when the list is handed over.
    station->moduleListChanged = 1;
    const std::string stem = std::string(file) + "_";

    ws.tree().SelectItem(station->treeItem);
    Picture<CImageView>(stem + "image", [&](CImageView& v) { EXPECT_EQ(v.buttons().size(), placed.size() + 1); });
    Picture<CProcessImgView>(stem + "process", [&](CProcessImgView& v) {
      EXPECT_EQ(v.grid()->GetTotalItemCount(), static_cast<int>(placed.size()) + 1);
    });
    Picture<CParametersView>(stem + "parameters", [](CParametersView& v) { EXPECT_GT(v.grid()->GetTotalItemCount(), 5); });
    Picture<CAddrMapView>(stem + "addrmap", [&](CAddrMapView& v) {
      EXPECT_GT(v.grid()->GetTotalItemCount(), static_cast<int>(placed.size()));
      EXPECT_FALSE(v.inputMode()->text().isEmpty());
    });
    ws.tree().SelectItem(opened->treeItem);
    Picture<CCommnetView>(stem + "comment", [](CCommnetView& v) { EXPECT_FALSE(v.editor()->toPlainText().isEmpty()); });
    ws.tree().SelectItem(placed.back()->treeItem);
    Picture<CProcessImgView>(stem + "process_module", [](CProcessImgView& v) { EXPECT_GT(v.grid()->GetTotalItemCount(), 1); });
  }
  CStartUpView start;
  start.resize(900, 520);
  start.show();
  start.ShowStartPage("");
  QCoreApplication::processEvents();
  EXPECT_TRUE(start.grab().save(QString(QMX_TEST_OUTPUT_DIR) + "/example_startup.png"));
  EXPECT_EQ(qmx::test::AuditAccess(&start), std::vector<std::string>{});
}

}  // namespace
