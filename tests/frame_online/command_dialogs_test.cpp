// The reset, target and serial-setting dialogs: the buttons a target is
// offered, the serial setting text through the dialog's lists, and a picture
// of each dialog in the build folder.
#include "app/ui/dialogs/SerialCommSetDlg.h"
#include "app/ui/dialogs/TargetDlg.h"
#include "tests/support/access_audit.h"
#include "tests/support/test_support.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace qmx::dialogs;

namespace {

void Picture(QDialog& dialog, const std::string& name) {
  dialog.show();
  QApplication::processEvents();
  const auto path = qmx::test::DistDir().parent_path() / ("frame_online_" + name + ".png");
  EXPECT_TRUE(dialog.grab().save(QString::fromStdString(path.string()))) << path;
  EXPECT_EQ(qmx::test::AuditAccess(&dialog), std::vector<std::string>{}) << name;
  dialog.hide();
}

// Runs the dialog modally and clicks `button` once it is up; the answer.
int ClickInModal(QDialog& dialog, QPushButton* button) {
  QTimer::singleShot(0, button, [button] { QTest::mouseClick(button, Qt::LeftButton); });
  return dialog.exec();
}

TEST(CommandDialogs, SerialSettingTargetButtonsAndPictures) {

  CSerialCommSetDlg serial;
  EXPECT_TRUE(serial.SetCommSetString("9600,8,NOPARITY,1"));
  EXPECT_EQ(serial.GetCommSetString(), "9600, 8, NOPARITY, 1");
  Picture(serial, "serial_setting");
  EXPECT_EQ(serial.stopBitsList()->currentText(), "1");
  EXPECT_EQ(serial.stopBitsList()->accessibleName(), "Stop Bits");
  // Three fields are refused; a baud rate the list does not offer opens
  // without a selection, and OK stores it empty.
  EXPECT_FALSE(serial.SetCommSetString("19200,8,NOPARITY"));
  EXPECT_TRUE(serial.SetCommSetString("300, 7, evenparity, 2"));
  QPushButton* ok = nullptr;
  for (QPushButton* b : serial.findChildren<QPushButton*>()) ok = b->text() == "OK" ? b : ok;
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ClickInModal(serial, ok), kIdOk);
  EXPECT_EQ(serial.GetCommSetString(), ", 7, EVENPARITY, 2");

  // A project is reset only with all it holds.
  CResetFactoryDlg reset;
  reset.SetTarget("Project", "Line A", 1);
  reset.show();
  EXPECT_TRUE(reset.allButton()->isVisible());
  EXPECT_FALSE(reset.selectedButton()->isVisible());
  EXPECT_EQ(reset.allButton()->accessibleName(), "Reset NA & IOs");
  reset.hide();
  EXPECT_EQ(ClickInModal(reset, reset.allButton()), kIdOk);
  EXPECT_EQ(reset.GetResult(), 1);

  // A module is its own only target.
  CDownloadTargetDlg target;
  target.SetTarget("IO", "Digital In", 0);
  target.SetActionTexts("download parameters", "Download to");
  target.show();
  EXPECT_EQ(target.windowTitle(), "Select a target for download parameters");
  EXPECT_FALSE(target.allButton()->isVisible());
  EXPECT_EQ(target.selectedButton()->text(), "Download to target module");
  target.hide();
  EXPECT_EQ(ClickInModal(target, target.cancelButton()), kIdCancel);

  CResetFactoryDlg adapterReset;
  adapterReset.SetTarget("NA", "Station 1 (127.0.0.1)", 1);
  Picture(adapterReset, "reset_factory");
  CDownloadTargetDlg copy;
  copy.SetTarget("NA", "Station 1 (127.0.0.1)", 1);
  copy.SetActionTexts("Copy (Online => Project) parameters", "Copy to");
  Picture(copy, "download_target");
}

}  // namespace
