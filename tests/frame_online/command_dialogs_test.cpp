// The reset, target and serial-setting dialogs: the buttons a target is
// offered, what each button answers, the serial setting text through the
// dialog's lists, and a picture of each dialog.
#include "app/ui/dialogs/CommandDialogState.h"
#include "app/ui/dialogs/SerialCommSetDlg.h"
#include "app/ui/dialogs/TargetDlg.h"
#include "tests/support/test_support.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace qmx::dialogs;

namespace {

void App() {
  static int argc = 1;
  static char name[] = "frame_online_ui_tests";
  static char* argv[] = {name, nullptr};
  if (!qApp) new QApplication(argc, argv);
}

void Picture(QDialog& dialog, const std::string& name) {
  dialog.show();
  QApplication::processEvents();
  const auto path = qmx::test::DistDir().parent_path() / ("frame_online_" + name + ".png");
  EXPECT_TRUE(dialog.grab().save(QString::fromStdString(path.string()))) << path;
}

// Runs the dialog modally, lets `before` choose once it is up, and clicks
// `button`; the dialog's answer.
int ClickInModal(QDialog& dialog, QPushButton* button, std::function<void()> before = {}) {
  QTimer::singleShot(0, button, [button, before] {
    if (before) before();
    QTest::mouseClick(button, Qt::LeftButton);
  });
  return dialog.exec();
}

QPushButton* Button(QDialog& dialog, const QString& caption) {
  for (QPushButton* b : dialog.findChildren<QPushButton*>()) {
    if (b->text() == caption) return b;
  }
  return nullptr;
}

TEST(SerialCommSetting, TextIsTheFourFieldsJoined) {
  const struct {
    const char* in;
    bool taken;
    const char* out;
  } cases[] = {{"9600,8,NOPARITY,1", true, "9600, 8, NOPARITY, 1"},
               {" 19200 , 7 , EVENPARITY , 2 , extra", true, "19200, 7, EVENPARITY, 2"},
               {"9600,8,NOPARITY", false, "115200, 8, NOPARITY, 1"},
               {"", false, "115200, 8, NOPARITY, 1"}};
  for (const auto& c : cases) {
    SerialCommSetting setting;
    EXPECT_EQ(setting.Set(c.in), c.taken) << c.in;
    EXPECT_EQ(setting.Text(), c.out) << c.in;
  }
  EXPECT_EQ(FindChoiceByPrefix(ParityChoices(), "evenparity"), 2);
  EXPECT_EQ(FindChoiceByPrefix(BaudRateChoices(), "300"), -1);
  EXPECT_EQ(FindChoiceByPrefix(StopBitsChoices(), "1.5"), 1);
}

TEST(SerialCommSetDlg, ListsShowTheTextAndOkReadsThemBack) {
  App();
  CSerialCommSetDlg dialog;
  EXPECT_TRUE(dialog.SetCommSetString("9600,8,NOPARITY,1"));
  EXPECT_EQ(dialog.GetCommSetString(), "9600, 8, NOPARITY, 1");
  dialog.show();
  EXPECT_EQ(dialog.baudRateList()->currentText(), "9600");
  EXPECT_EQ(dialog.stopBitsList()->currentText(), "1");
  EXPECT_EQ(dialog.baudRateList()->accessibleName(), "Baud Rate ");
  dialog.hide();
  EXPECT_EQ(ClickInModal(dialog, Button(dialog, "OK"), [&] { dialog.parityList()->setCurrentIndex(2); }), kIdOk);
  EXPECT_EQ(dialog.GetCommSetString(), "9600, 8, EVENPARITY, 1");

  // A baud rate the list does not offer opens without a selection and OK
  // stores it empty; a three-field text keeps the defaults.
  CSerialCommSetDlg other;
  EXPECT_FALSE(other.SetCommSetString("9600,8,NOPARITY"));
  EXPECT_TRUE(other.SetCommSetString("300, 8, NOPARITY, 1"));
  other.show();
  EXPECT_EQ(other.baudRateList()->currentIndex(), -1);
  other.hide();
  EXPECT_EQ(ClickInModal(other, Button(other, "OK")), kIdOk);
  EXPECT_EQ(other.GetCommSetString(), ", 8, NOPARITY, 1");

  CSerialCommSetDlg shown;
  shown.SetCommSetString("9600, 8, NOPARITY, 1");
  Picture(shown, "serial_setting");
}

TEST(TargetDialogs, ButtonsFollowTheTargetAndAnswerTheChoice) {
  App();
  const struct {
    const char* kind;
    int flag;
    bool all;
    bool selected;
  } cases[] = {{"Project", 1, true, false}, {"NA", 1, true, true}, {"IO", 0, false, true}};
  for (const auto& c : cases) {
    const TargetButtons plan = PlanTargetButtons(c.kind, c.flag);
    EXPECT_EQ(plan.all, c.all) << c.kind;
    EXPECT_EQ(plan.selected, c.selected) << c.kind;
  }

  CResetFactoryDlg reset;
  reset.SetTarget("PROJECT", "Line A", 1);
  reset.show();
  EXPECT_EQ(reset.windowTitle(), "Reset to factory default");
  EXPECT_TRUE(reset.allButton()->isVisible());
  EXPECT_FALSE(reset.selectedButton()->isVisible());
  EXPECT_EQ(reset.allButton()->text(), "Reset NA && IOs");
  EXPECT_EQ(reset.allButton()->accessibleName(), "Reset NA & IOs");
  reset.hide();
  EXPECT_EQ(ClickInModal(reset, reset.allButton()), kIdOk);
  EXPECT_EQ(reset.GetResult(), 1);
  EXPECT_EQ(ClickInModal(reset, reset.cancelButton()), kIdCancel);

  CDownloadTargetDlg target;
  target.SetTarget("IO", "Digital In", 0);
  target.SetActionTexts("download parameters", "Download to");
  target.show();
  EXPECT_EQ(target.windowTitle(), "Select a target for download parameters");
  EXPECT_FALSE(target.allButton()->isVisible());
  EXPECT_EQ(target.selectedButton()->text(), "Download to target module");
  target.hide();
  EXPECT_EQ(ClickInModal(target, target.selectedButton()), kIdOk);
  EXPECT_EQ(target.GetResult(), 0);

  CResetFactoryDlg adapterReset;
  adapterReset.SetTarget("NA", "Station 1 (127.0.0.1)", 1);
  Picture(adapterReset, "reset_factory");
  CDownloadTargetDlg copy;
  copy.SetTarget("NA", "Station 1 (127.0.0.1)", 1);
  copy.SetActionTexts("Copy (Online => Project) parameters", "Copy to");
  Picture(copy, "download_target");
}

}  // namespace
