// The driver's windows through the loaded library, as the main program opens
// them: drvShowAddresMap and drvShowProtocolComm run their windows modally on
// the calling (user-interface) thread; the test drives the open window from
// a timer of that loop and leaves a picture of it in the build folder.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <fstream>
#include <functional>
#include <vector>

#include "driver/include/tessivar.h"
#include "tests/driver/log_capture.h"
#include "tests/support/access_audit.h"
#include "tests/support/test_support.h"
#include "tools/simulator/testing/simulator_process.h"

namespace {

using qmx::test::LogCapture;

struct Api {
  void* library = nullptr;
  PFN_drvSetFuncPtr SetFuncPtr;
  PFN_drvSetLogOption SetLogOption;
  PFN_drvInitialize Initialize;
  PFN_drvUninitialize Uninitialize;
  PFN_drvSetChannelProperty SetChannelProperty;
  PFN_drvSetDeviceProperty SetDeviceProperty;
  PFN_drvSetModuleList SetModuleList;
  PFN_drvGetAddresMap GetAddresMap;
  PFN_drvFreeGetAddresMap FreeGetAddresMap;
  PFN_drvShowAddresMap ShowAddresMap;
  PFN_drvShowProtocolComm ShowProtocolComm;
};

template <class T>
void Bind(void* library, T& slot, const char* name) {
  slot = reinterpret_cast<T>(::dlsym(library, name));
  ASSERT_NE(slot, nullptr) << name;
}

// Waits inside the running modal loop until `ready` answers true.
bool WaitFor(const std::function<bool()>& ready, int ms = 5000) {
  QElapsedTimer t;
  t.start();
  while (!ready()) {
    if (t.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

// Every pictured window is also walked for keyboard and screen-reader access.
void Picture(QWidget* w, const char* file) {
  w->grab().save(QString::fromStdString((qmx::test::DistDir().parent_path() / file).string()));
  EXPECT_EQ(qmx::test::AuditAccess(w), std::vector<std::string>{}) << file;
}

QPushButton* ButtonNamed(QWidget* w, const QString& text) {
  for (QPushButton* b : w->findChildren<QPushButton*>())
    if (b->text() == text && b->isVisible()) return b;
  return nullptr;
}

class DriverWindows : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    d.library = ::dlopen((qmx::test::DistDir() / TESSIVAR_LIBRARY_FILE).c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(d.library, nullptr) << ::dlerror();
#define QMX_BIND(n) Bind(d.library, d.n, "drv" #n)
    QMX_BIND(SetFuncPtr);
    QMX_BIND(SetLogOption);
    QMX_BIND(Initialize);
    QMX_BIND(Uninitialize);
    QMX_BIND(SetChannelProperty);
    QMX_BIND(SetDeviceProperty);
    QMX_BIND(SetModuleList);
    QMX_BIND(GetAddresMap);
    QMX_BIND(FreeGetAddresMap);
    QMX_BIND(ShowAddresMap);
    QMX_BIND(ShowProtocolComm);
#undef QMX_BIND
    d.SetFuncPtr(&LogCapture::Callback);
    d.SetLogOption(1, 1, 1, 1);
  }
  void SetUp() override { LogCapture::Clear(); }
  static Api d;
};
Api DriverWindows::d;

TEST_F(DriverWindows, TheAddressMapWindowShowsTheStationInTheModesPassed) {
  DriverHandle h = d.Initialize();
  ASSERT_NE(h, nullptr);
  ASSERT_EQ(d.SetChannelProperty(h, "T3", "TCP\t127.0.0.1,,,,,,"), 1);
  ASSERT_EQ(d.SetDeviceProperty(h, 9, "DM-T640", "500\t0x4101,1"), 1);
  const ModuleListEntry list[] = {{0x4101, "NA", "Boiler", 0, "", "", 0, 0, ""},
                                  {0x1808, "IO", "Inputs", 2, "", "", 1, 0, "NDI,8,1,0,8,0,3,DI,1"},
                                  {0x2808, "IO", "02: Outputs of the boiler house", 3, "", "", 0, 1,
                                   "NDO,0,0,8,0,8,3,DO,1"}};
  ASSERT_EQ(d.SetModuleList(h, 9, list, 3), 1) << LogCapture::Dump();

  std::string inputText, outputText, title, firstCell, secondModule;
  int titleColumn = 0, longestTitle = 0;
  QTimer::singleShot(0, [&] {
    QWidget* w = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (w = QApplication::activeModalWidget()) != nullptr; }));
    title = w->windowTitle().toStdString();
    QWidget* grid = w->findChild<QWidget*>("Grid4097");
    ASSERT_NE(grid, nullptr);
    titleColumn = grid->findChild<QHeaderView*>()->sectionSize(0);
    longestTitle = grid->fontMetrics().horizontalAdvance("02: Outputs of the boiler house");
    // The grid paints its rows itself; a screen reader reads them as table cells.
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(grid);
    ASSERT_TRUE(table && table->tableInterface() && table->tableInterface()->cellAt(0, 0));
    firstCell = table->tableInterface()->cellAt(0, 0)->text(QAccessible::Name).toStdString();
    for (int row = 0; row < table->tableInterface()->rowCount(); ++row) {
      const std::string cell = table->tableInterface()->cellAt(row, 0)->text(QAccessible::Name).toStdString();
      if (cell.rfind("02:", 0) == 0) secondModule = cell;
    }
    inputText = w->findChild<QLabel*>("Static1093")->text().toStdString();
    outputText = w->findChild<QLabel*>("Static1041")->text().toStdString();
    Picture(w, "driver_address_map.png");
    QPushButton* exit = ButtonNamed(w, "Exit");
    ASSERT_NE(exit, nullptr);
    exit->click();
  });
  int16_t in = 1, out = 1;
  EXPECT_EQ(d.ShowAddresMap(h, 9, 0, &in, &out, 77), 1);
  EXPECT_EQ(title, "Address Map");
  EXPECT_EQ(firstCell, "00: Boiler");
  // The program's labels carry the slot already: it is not shown twice.
  EXPECT_EQ(secondModule, "02: Outputs of the boiler house");
  EXPECT_GT(titleColumn, longestTitle) << "a long module name is not cut";
  EXPECT_EQ(inputText, " #1 Status(1word) +Compressed Input Processing Data");
  EXPECT_EQ(outputText, " #1 Compressed Output Processing Data");
  EXPECT_EQ(in, 1);
  AddressMapInfo* map = d.GetAddresMap(h, 9, 0);
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(map->inputMode, 1) << "the modes shown stay stored";
  EXPECT_EQ(d.FreeGetAddresMap(h, map), 1);

  // An unknown device: a log line, no window, still 1.
  EXPECT_EQ(d.ShowAddresMap(h, 10, 0, &in, &out, 0), 1);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_FALSE(LogCapture::Matching("ShowAddresMap").empty()) << LogCapture::Dump();
  EXPECT_EQ(d.Uninitialize(h), 1);
}

TEST_F(DriverWindows, TheMessengerSendsOnALineAndLoadsAShippedMessageFile) {
  const qmx::test::TempDir temp("messenger-window");
  ::setenv("QMX_COM_DIR", temp.path().c_str(), 1);
  qmx::sim::PtyPair line(temp.path());
  ASSERT_TRUE(line.Start()) << line.error();
  qmx::sim::SimulatorProcess sim({"--model", "QMX-4101", "--modules", "QMX-1808", "--freeze", "--rtu",
                                  line.peer().string(), "--serial", "9600,8,N,1", "--nodes", "1"});
  ASSERT_TRUE(sim.Start()) << sim.error();

  DriverHandle h = d.Initialize();
  ASSERT_NE(h, nullptr);
  std::string title, swapped, plain, status, loadedAddress, serialTitle, serialText;
  std::string ownFirst;
  std::vector<std::string> addressReplies;
  int messages = 0;
  QTimer::singleShot(0, [&] {
    QWidget* w = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (w = QApplication::activeModalWidget()) != nullptr; }));
    title = w->windowTitle().toStdString();
    w->findChild<QLineEdit*>("Edit1074")->setText("7");
    auto* function = w->findChildren<QComboBox*>().at(1);
    function->setCurrentIndex(3);  // 04, Read Input Registers
    const QList<QLineEdit*> fields = w->findChildren<QLineEdit*>();
    QLineEdit* address = nullptr;
    for (QLineEdit* f : fields)
      if (f->accessibleName() == "Address (Hex)") address = f;
    ASSERT_NE(address, nullptr);
    address->setText("1002");
    ButtonNamed(w, "Send")->setFocus();
    ButtonNamed(w, "Send")->click();
    EXPECT_EQ(w->focusWidget(), ButtonNamed(w, "Send"));
    auto* reply = w->findChild<QPlainTextEdit*>();
    swapped = reply->toPlainText().toStdString();
    w->findChild<QCheckBox*>()->setChecked(false);
    plain = reply->toPlainText().toStdString();
    for (QLineEdit* f : fields)
      if (f->accessibleName() == "Log") status = f->text().toStdString();

    // The serial settings window opens on the field's text and gives it back.
    QTimer::singleShot(0, [&] {
      QDialog* box = nullptr;
      ASSERT_TRUE(WaitFor([&] { return (box = qobject_cast<QDialog*>(QApplication::activeModalWidget())) != w; }));
      serialTitle = box->windowTitle().toStdString();
      Picture(box, "driver_serial_settings.png");
      ButtonNamed(box, "OK")->click();
    });
    for (QPushButton* b : w->findChildren<QPushButton*>())
      if (b->accessibleName() == "Serial settings") b->click();
    for (QLineEdit* f : fields)
      if (f->accessibleName() == "Serial settings") serialText = f->text().toStdString();

    // The built-in messages: the "..." of the group opens the file box in
    // the program folder's Tools/BuiltInMsg.
    QString chosen = "Diagnostics.csv";
    const auto choose = [&] {
      QFileDialog* box = nullptr;
      ASSERT_TRUE(WaitFor([&] { return (box = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())); }));
      box->selectFile(chosen);
      QMetaObject::invokeMethod(box, "accept");
    };
    QTimer::singleShot(0, choose);
    QPushButton* open = nullptr;
    for (QPushButton* b : w->findChildren<QPushButton*>())
      if (b->accessibleName() == "Open built-in message file") open = b;
    ASSERT_NE(open, nullptr);
    open->click();
    messages = w->findChild<QListWidget*>()->count();
    loadedAddress = address->text().toStdString();
    // The adapter serves its addresses as little-endian registers; the
    // shipped presets show them in reading order.
    chosen = "EthernetAdapter.csv";
    QTimer::singleShot(0, choose);
    open->click();
    auto* presets = w->findChild<QListWidget*>();
    for (const char* name : {"IP address", "MAC address"}) {
      presets->setCurrentItem(presets->findItems(name, Qt::MatchExactly).value(0));
      ButtonNamed(w, "Send")->click();
      addressReplies.push_back(reply->toPlainText().toStdString());
    }
    // A list of our own sorts without regard to case.
    chosen = QString::fromStdString((temp.path() / "Own.csv").string());
    std::ofstream(chosen.toStdString()) << "Single coil,4,0020,1,FF00\nzeta,3,0010,2\nalpha write,5,0030,1,1234\n";
    QTimer::singleShot(0, choose);
    open->click();
    ownFirst = w->findChild<QListWidget*>()->currentItem()->text().toStdString();
    Picture(w, "driver_messenger.png");
    ButtonNamed(w, "Exit")->click();
  });
  EXPECT_EQ(d.ShowProtocolComm(h, 1), 1);
  EXPECT_EQ(title, "Modbus communication");
  EXPECT_EQ(status, " Success.") << LogCapture::Dump();
  EXPECT_EQ(swapped, " 0141 ");
  EXPECT_EQ(plain, " 4101 ");
  EXPECT_EQ(serialTitle, "Serial Communication Setting");
  EXPECT_EQ(serialText, "9600, 8, NOPARITY, 1");
  EXPECT_EQ(messages, 9);
  EXPECT_EQ(loadedAddress, "000C") << "the first message in sorted order is applied";
  EXPECT_EQ(ownFirst, "alpha write");
  EXPECT_EQ(addressReplies, (std::vector<std::string>{" 192 168 0 10", " 00 1A 4C 00 00 01 "}));
  EXPECT_EQ(d.Uninitialize(h), 1);
}

}  // namespace
