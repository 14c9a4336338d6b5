// The dialogs as a user drives them (offscreen): the main dialog answering a
// request on loopback and reporting a reply it cannot send, the address and
// reset dialogs' checks, and the two setup dialogs against the simulator.
// Each dialog is also written as a picture into the build folder
// (plenvar_*.png) for a look before landing.
#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include "bootp/ui/AddressDialogs.h"
#include "bootp/ui/PlenvarApp.h"
#include "bootp/ui/IpAddressEdit.h"
#include "bootp/ui/PlenvarDlg.h"
#include "bootp/ui/RequestListModel.h"
#include "bootp/ui/SetupDialogs.h"
#include "platform/net/socket.h"
#include "platform/os/os.h"
#include "platform/toolkit/message_box.h"
#include "tests/bootp/add_device_script.h"
#include "tests/support/access_audit.h"
#include "tools/simulator/eip_responder.h"
#include "tools/simulator/testing/simulator_process.h"

using namespace qmx::plenvar;
using qmx::plenvar::test::WhenAddDeviceOpens;

namespace {

class DialogTest : public ::testing::Test {
protected:
  void SetUp() override {
    qmx::toolkit::SetMessageBoxScript([this](const qmx::toolkit::MessageBoxRequest& r) {
      boxes_.push_back(r.text);
      return static_cast<int>(qmx::toolkit::kIdOk);
    });
  }
  void TearDown() override { qmx::toolkit::SetMessageBoxScript({}); }
  std::vector<std::string> boxes_;
};

void Picture(QWidget& w, const char* name) {
  w.show();
  QApplication::processEvents();
  w.grab().save(QString("plenvar_%1.png").arg(name));
  EXPECT_EQ(qmx::test::AuditAccess(&w), std::vector<std::string>{}) << name;
}

// Stands in for the main dialog where the address dialogs need one.
class FakeHost : public InterfaceHost {
public:
  const std::vector<Adapter>& adapters() const override { return adapters_; }
  void LoadInterfaceParams(size_t index) override {
    loaded.push_back(index);
    params.subnetMask = index == 0 ? "255.255.255.0" : "255.255.0.0";
    params.gateway = index == 0 ? "192.168.0.1" : "10.0.0.1";
  }
  const InterfaceParams& interfaceParams() const override { return params; }
  const SetupList& setupList() const override { return setup; }
  std::vector<Adapter> adapters_{{"eth0", "192.168.0.2", "255.255.255.0"}, {"eth1", "10.0.0.2", "255.255.0.0"}};
  InterfaceParams params;
  SetupList setup;
  std::vector<size_t> loaded;
};

int RequestRows(const PlenvarDlg& dialog) { return dialog.requestView()->model()->rowCount(); }
QString RequestText(const PlenvarDlg& dialog, int row, int column) {
  return dialog.requestView()->model()->index(row, column).data().toString();
}

// The columns of a setup row joined by "|".
std::string SetupRowText(const QTreeWidgetItem& item) {
  QStringList columns;
  for (int c = 0; c < item.columnCount(); ++c) columns << item.text(c);
  return columns.join('|').toStdString();
}

QLineEdit* Part(QWidget& dialog, int n) { return dialog.findChild<QLineEdit*>(QString("macPart%1").arg(n)); }
IpAddressEdit* Address(QWidget& dialog, const char* name) { return dialog.findChild<IpAddressEdit*>(name); }

}  // namespace

TEST_F(DialogTest, MainDialogAnswersOnLoopbackAndReportsFailedSends) {
  qmx::net::Socket client;
  ASSERT_EQ(client.Create(SOCK_DGRAM), 0);
  ASSERT_EQ(client.Bind(0x0100007F, 0), 0);
  uint32_t address = 0;
  uint16_t clientPort = 0;
  client.LocalEndpoint(&address, &clientPort);

  PlenvarOptions options;
  options.bootp = {0x0100007F, 0, 0x0100007F, clientPort};  // loopback, a port of its own
  PlenvarDlg dialog(options);
  ASSERT_EQ(dialog.OpenServerSocket(), 0);
  dialog.PutSetupRow({"02-4D-9A-00-00-01", "192.168.0.50", "255.255.255.0", "192.168.0.1", "1"});
  dialog.OnStart();
  EXPECT_TRUE(dialog.started());

  auto send = [&](uint8_t macLast) {
    std::vector<uint8_t> d(300, 0);
    d[0] = 1;
    d[1] = 1;
    d[4] = 0x2A;
    const uint8_t mac[6] = {0x02, 0x4D, 0x9A, 0, 0, macLast};
    std::copy(mac, mac + 6, d.begin() + 28);
    client.SendTo(d.data(), d.size(), 0x0100007F, dialog.serverPort());
  };
  send(1);
  send(9);
  QTRY_COMPARE_WITH_TIMEOUT(RequestRows(dialog), 2, 3000);
  EXPECT_EQ(RequestText(dialog, 0, 3), "192.168.0.50");
  EXPECT_EQ(RequestText(dialog, 1, 2), "02-4D-9A-00-00-09");
  EXPECT_EQ(RequestText(dialog, 1, 4), "42");
  uint8_t reply[400];
  ASSERT_EQ(client.WaitReadable(1000), 1);
  EXPECT_EQ(client.RecvFrom(reply, sizeof reply, nullptr, nullptr), 300);
  EXPECT_EQ(reply[19], 50);
  Picture(dialog, "main");
  Picture(*dialog.MakeAboutDialog(), "about");

  // One row per MAC: the newer address replaces the older, and says so.
  dialog.PutSetupRow({"02-4D-9A-00-00-01", "192.168.0.51", "255.255.255.0", "192.168.0.1", "2"});
  ASSERT_EQ(dialog.setupView()->topLevelItemCount(), 1);
  EXPECT_EQ(dialog.setupView()->topLevelItem(0)->text(2), "192.168.0.51");
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_NE(boxes_[0].find("192.168.0.51"), std::string::npos);

  dialog.OnStop();
  send(1);
  QTest::qWait(200);
  EXPECT_EQ(RequestRows(dialog), 2) << "a request while stopped changes nothing";

  // A reply that cannot leave the machine is reported.
  PlenvarOptions broken = options;
  broken.bootp.clientPort = 0;
  PlenvarDlg failing(broken);
  ASSERT_EQ(failing.OpenServerSocket(), 0);
  failing.PutSetupRow({"02-4D-9A-00-00-01", "192.168.0.50", "255.255.255.0", "192.168.0.1", "1"});
  failing.OnStart();
  boxes_.clear();
  client.SendTo(std::vector<uint8_t>(300, 0).data(), 0, 0x0100007F, failing.serverPort());  // an empty datagram
  std::vector<uint8_t> d(300, 0);
  d[0] = d[1] = 1;
  const uint8_t mac[6] = {0x02, 0x4D, 0x9A, 0, 0, 1};
  std::copy(mac, mac + 6, d.begin() + 28);
  client.SendTo(d.data(), d.size(), 0x0100007F, failing.serverPort());
  QTRY_COMPARE_WITH_TIMEOUT(RequestRows(failing), 1, 3000);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].rfind("The BOOTP reply to 02-4D-9A-00-00-01 could not be sent", 0), 0u) << boxes_[0];
  // The row that could not be answered says so until a reply leaves.
  EXPECT_EQ(failing.setupView()->topLevelItem(0)->toolTip(1).toStdString().rfind("Reply not sent: ", 0), 0u);
  EXPECT_TRUE(dialog.setupView()->topLevelItem(0)->toolTip(1).isEmpty()) << "answered rows carry no note";
}

// Sets or clears CAP_NET_BIND_SERVICE in this thread's effective set (the
// permitted set keeps it, so it can be raised again).
bool SetBindCapability(bool on) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2] = {};
  if (::syscall(SYS_capget, &header, data) != 0) return false;
  const unsigned bit = 1u << CAP_NET_BIND_SERVICE;
  data[0].effective = on ? data[0].effective | bit : data[0].effective & ~bit;
  return ::syscall(SYS_capset, &header, data) == 0;
}

// Without the right to bind the server port the program says once why, with
// the grant that names its real path, and ends.
TEST_F(DialogTest, StartWithoutTheRightToBindShowsOneBox) {
  if (::geteuid() != 0 || !SetBindCapability(false)) GTEST_SKIP() << "cannot drop the capability here";
  PlenvarOptions options;
  options.bootp.bindAddress = 0x0100007F;
  options.bootp.serverPort = kBootpServerPort;
  PlenvarDlg dialog(options);
  const bool opened = OpenServerSocketOrTell(dialog);
  SetBindCapability(true);
  if (opened) GTEST_SKIP() << "this machine lets anyone bind port 67";
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].rfind("Unable to create Bootp server socket\n", 0), 0u) << boxes_[0];
  EXPECT_NE(boxes_[0].find("UDP port 67 can only be bound by root"), std::string::npos) << boxes_[0];
  const std::string path = qmx::os::ExecutablePath().string();
  ASSERT_FALSE(path.empty());
  EXPECT_NE(boxes_[0].find("setcap cap_net_bind_service=+ep " + path + "\n"), std::string::npos) << boxes_[0];
}

// Requests are listed in batches: one insertion per batch, the list starting
// over past its bound, and the view scrolled once to the newest row.
TEST_F(DialogTest, RequestsAreListedInBatches) {
  RequestListModel model;
  QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
  QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
  auto rows = [](size_t count, const char* mac) {
    std::vector<RequestRow> out(count);
    for (RequestRow& r : out) r.mac = mac;
    return out;
  };
  model.Queue(rows(1000, "02-4D-9A-00-00-01"));
  model.Queue(rows(1, "02-4D-9A-00-00-02"));
  EXPECT_EQ(model.rowCount(), 0) << "nothing is shown before the batch";
  EXPECT_TRUE(model.Flush());
  EXPECT_FALSE(model.Flush());
  EXPECT_EQ(model.rowCount(), 1001);
  EXPECT_EQ(inserted.count(), 1);
  EXPECT_EQ(model.index(1000, 2).data().toString(), "02-4D-9A-00-00-02");
  model.Queue(rows(RequestList::kMaxRows + 1 - 1001, "02-4D-9A-00-00-03"));
  model.Flush();
  EXPECT_EQ(model.rowCount(), static_cast<int>(RequestList::kMaxRows + 1));
  EXPECT_EQ(reset.count(), 0);
  model.Queue(rows(3, "02-4D-9A-00-00-04"));
  model.Flush();
  EXPECT_EQ(model.rowCount(), 3) << "the full list starts over with the batch";
  EXPECT_EQ(reset.count(), 1);

  // Through the dialog: a burst of requests, the newest row in view.
  qmx::net::Socket client;
  ASSERT_EQ(client.Create(SOCK_DGRAM), 0);
  ASSERT_EQ(client.Bind(0x0100007F, 0), 0);
  uint16_t clientPort = 0;
  client.LocalEndpoint(nullptr, &clientPort);
  PlenvarOptions options;
  options.bootp = {0x0100007F, 0, 0x0100007F, clientPort};
  PlenvarDlg dialog(options);
  ASSERT_EQ(dialog.OpenServerSocket(), 0);
  std::vector<SetupRow> table;
  for (int i = 0; i < 40; ++i) {
    char mac[24];
    std::snprintf(mac, sizeof mac, "02-4D-9A-00-01-%02X", i);
    table.push_back({mac, "192.168.1." + std::to_string(10 + i), "255.255.255.0", "192.168.1.1", "4046586826"});
  }
  dialog.PutSetupRows(table);
  dialog.OnStart();
  dialog.show();
  constexpr int kBurst = 400;
  for (int i = 0; i < kBurst; ++i) {
    std::vector<uint8_t> d(300, 0);
    d[0] = d[1] = 1;
    d[4] = static_cast<uint8_t>(i);
    const uint8_t mac[6] = {0x02, 0x4D, static_cast<uint8_t>(i % 3 == 0 ? 0x11 : 0x9A), 0, 1,
                            static_cast<uint8_t>(i % 64)};
    std::copy(mac, mac + 6, d.begin() + 28);
    client.SendTo(d.data(), d.size(), 0x0100007F, dialog.serverPort());
    if (i % 20 == 19) QTest::qWait(20);
  }
  QTRY_COMPARE_WITH_TIMEOUT(RequestRows(dialog), kBurst, 5000);
  ASSERT_EQ(RequestRows(dialog), kBurst);
  QApplication::processEvents();
  const QRect newest = dialog.requestView()->visualRect(dialog.requestView()->model()->index(kBurst - 1, 2));
  EXPECT_TRUE(dialog.requestView()->viewport()->rect().contains(newest)) << "the newest request is in view";
  Picture(dialog, "main_many");
}

// One wake-up answers every request waiting, and listing comes after: a
// flood of unlisted devices cannot hold a listed one's reply back.
TEST_F(DialogTest, OneWakeUpAnswersEveryWaitingRequestBeforeListing) {
  qmx::net::Socket client;
  ASSERT_EQ(client.Create(SOCK_DGRAM), 0);
  ASSERT_EQ(client.Bind(0x0100007F, 0), 0);
  uint16_t clientPort = 0;
  client.LocalEndpoint(nullptr, &clientPort);
  PlenvarOptions options;
  options.bootp = {0x0100007F, 0, 0x0100007F, clientPort};
  PlenvarDlg dialog(options);
  ASSERT_EQ(dialog.OpenServerSocket(), 0);
  dialog.PutSetupRow({"02-4D-9A-00-00-01", "192.168.0.50", "255.255.255.0", "192.168.0.1", "1"});
  dialog.OnStart();
  constexpr int kFlood = 99;
  for (int i = 0; i <= kFlood; ++i) {
    std::vector<uint8_t> d(300, 0);
    d[0] = d[1] = 1;
    d[4] = static_cast<uint8_t>(i);
    const uint8_t mac[6] = {0x02, 0x11, 0x22, 0, 0, static_cast<uint8_t>(i)};  // unlisted, the last one listed
    std::copy(mac, mac + 6, d.begin() + 28);
    if (i == kFlood) d[29] = 0x4D, d[30] = 0x9A, d[33] = 1;
    ASSERT_EQ(client.SendTo(d.data(), d.size(), 0x0100007F, dialog.serverPort()), 300);
  }
  QApplication::processEvents();  // one pass of the event loop
  uint8_t reply[400];
  ASSERT_EQ(client.WaitReadable(0), 1) << "the listed device behind the flood is answered at once";
  EXPECT_EQ(client.RecvFrom(reply, sizeof reply, nullptr, nullptr), 300);
  EXPECT_EQ(reply[4], kFlood);
  EXPECT_EQ(RequestRows(dialog), 0) << "listing waits for the batch";
  QTRY_COMPARE_WITH_TIMEOUT(RequestRows(dialog), kFlood + 1, 3000);
  EXPECT_EQ(RequestRows(dialog), kFlood + 1);
}

TEST_F(DialogTest, AddNewDeviceRepliesBeforeListing) {
  qmx::net::Socket client;
  ASSERT_EQ(client.Create(SOCK_DGRAM), 0);
  ASSERT_EQ(client.Bind(0x0100007F, 0), 0);
  uint16_t clientPort = 0;
  client.LocalEndpoint(nullptr, &clientPort);
  PlenvarOptions options;
  options.bootp = {0x0100007F, 0, 0x0100007F, clientPort};
  PlenvarDlg dialog(options);
  ASSERT_EQ(dialog.OpenServerSocket(), 0);

  WhenAddDeviceOpens("192.168.0.60");
  dialog.OnAddNewDevice();
  ASSERT_EQ(dialog.setupView()->topLevelItemCount(), 1);
  EXPECT_EQ(dialog.setupView()->topLevelItem(0)->text(5), "4046586826");
  uint8_t reply[400];
  ASSERT_EQ(client.WaitReadable(1000), 1);
  ASSERT_EQ(client.RecvFrom(reply, sizeof reply, nullptr, nullptr), 300);
  EXPECT_EQ(std::vector<uint8_t>(reply + 4, reply + 8), (std::vector<uint8_t>{0xCA, 0x03, 0x32, 0xF1}));

  WhenAddDeviceOpens("192.168.0.61");  // the same MAC again
  dialog.OnAddNewDevice();
  EXPECT_EQ(boxes_, (std::vector<std::string>{"Already exist same MAC address\r\nPlease select other MAC address."}));

  // A reply that cannot be sent keeps the row as typed, and says why, in
  // the box and on the row.
  options.bootp.clientPort = 0;
  PlenvarDlg failing(options);
  ASSERT_EQ(failing.OpenServerSocket(), 0);
  WhenAddDeviceOpens("192.168.0.60");
  failing.OnAddNewDevice();
  ASSERT_EQ(failing.setupView()->topLevelItemCount(), 1);
  QTreeWidgetItem* kept = failing.setupView()->topLevelItem(0);
  EXPECT_EQ(SetupRowText(*kept), "1|0A-1B-2C-3D-4E-5F|192.168.0.60|255.255.0.0|192.168.0.254|4046586826");
  ASSERT_EQ(boxes_.size(), 2u);
  const std::string reason = SocketErrorText(qmx::net::kWsaEinval);  // no port to send to
  EXPECT_EQ(boxes_[1], "The BOOTP reply to 0A-1B-2C-3D-4E-5F could not be sent: " + reason +
                           ".\nThe device stays in the setup list and is answered the next time it asks.");
  EXPECT_EQ(kept->toolTip(2).toStdString().rfind("Reply not sent: " + reason + ".", 0), 0u)
      << kept->toolTip(2).toStdString();
  EXPECT_FALSE(kept->icon(0).isNull());
  Picture(failing, "unsent_reply");
}

TEST_F(DialogTest, ResetDialogTakesOnlyAMac) {
  ResetDlg filled("0A-1B-2C-3D-4E-5F");
  EXPECT_EQ(Part(filled, 1)->text(), "0A");
  EXPECT_EQ(Part(filled, 6)->text(), "5F");
  Picture(filled, "reset");
  filled.accept();
  EXPECT_EQ(filled.result(), QDialog::Accepted);
  EXPECT_EQ(filled.mac12(), "0A1B2C3D4E5F");

  ResetDlg empty("0A1B2C");  // another length: the edits stay empty
  EXPECT_EQ(Part(empty, 1)->text(), "");
  empty.accept();
  EXPECT_NE(empty.result(), QDialog::Accepted);
  EXPECT_EQ(boxes_, (std::vector<std::string>{"MAC address is false"}));

  // Typing moves on part by part, in upper case.
  empty.show();
  empty.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&empty));
  Part(empty, 1)->setFocus();
  QTest::keyClicks(Part(empty, 1), "ab");
  EXPECT_EQ(Part(empty, 1)->text(), "AB");
  EXPECT_TRUE(Part(empty, 2)->hasFocus());
}

// A row typed with one-digit parts is reset like any other, from the menu
// and from the button's dialog, which shows and accepts such parts.
TEST_F(DialogTest, ResetTakesEveryMacTheTableHolds) {
  qmx::net::Socket client;
  ASSERT_EQ(client.Create(SOCK_DGRAM), 0);
  ASSERT_EQ(client.Bind(0x0100007F, 0), 0);
  uint16_t clientPort = 0;
  client.LocalEndpoint(nullptr, &clientPort);
  PlenvarOptions options;
  options.bootp = {0x0100007F, 0, 0x0100007F, clientPort};
  PlenvarDlg dialog(options);
  ASSERT_EQ(dialog.OpenServerSocket(), 0);
  dialog.PutSetupRow({"A-1B-2C-3D-4E-5F", "192.168.0.70", "255.255.255.0", "192.168.0.1", "1"});
  dialog.PutSetupRow({"B-2C-3D-4E-5F-6", "192.168.0.71", "255.255.255.0", "192.168.0.1", "2"});
  auto resetSent = [&] {
    uint8_t packet[400];
    if (client.WaitReadable(1000) != 1 || client.RecvFrom(packet, sizeof packet, nullptr, nullptr) != 300) return std::string();
    char text[16];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X%02X%02X", packet[28], packet[29], packet[30], packet[31],
                  packet[32], packet[33]);
    return packet[242] == 9 ? std::string(text) : std::string("not a reset");
  };

  dialog.setupView()->setCurrentItem(dialog.setupView()->topLevelItem(0));
  dialog.OnResetFromMenu();
  EXPECT_EQ(resetSent(), "0A1B2C3D4E5F");
  ASSERT_EQ(dialog.setupView()->topLevelItemCount(), 1);

  dialog.setupView()->setCurrentItem(dialog.setupView()->topLevelItem(0));
  QTimer::singleShot(0, [] {
    auto* reset = dynamic_cast<ResetDlg*>(QApplication::activeModalWidget());
    ASSERT_NE(reset, nullptr);
    EXPECT_EQ(Part(*reset, 1)->text(), "0B");
    Part(*reset, 6)->setText("6");  // as typed: one digit
    reset->accept();
  });
  dialog.OnResetButton();
  EXPECT_EQ(resetSent(), "0B2C3D4E5F06");
  EXPECT_EQ(dialog.setupView()->topLevelItemCount(), 0);
  EXPECT_EQ(boxes_, std::vector<std::string>{});
}

TEST_F(DialogTest, AddressDialogsCheckWhatIsTyped) {
  FakeHost host;
  NewIpSetDlg add(host);
  Picture(add, "add_device");
  auto* ip = Address(add, "ipAddress");
  auto* mask = Address(add, "subnetMask");
  EXPECT_EQ(mask->address(), "255.255.255.0");
  auto* list = add.findChild<QComboBox*>();
  list->setCurrentIndex(1);
  EXPECT_EQ(mask->address(), "255.255.0.0");
  EXPECT_EQ(host.loaded, (std::vector<size_t>{0, 1}));

  const char* parts[6] = {"A", "1B", "2C", "3D", "4E", "G5"};
  for (int i = 0; i < 6; ++i) Part(add, i + 1)->setText(parts[i]);
  ip->setText("192.168.0.60");
  add.accept();
  Part(add, 6)->setText("5F");
  ip->setText("");
  add.accept();
  EXPECT_EQ(boxes_, (std::vector<std::string>{"MAC address is false", "Set new ip address"}));
  ip->setText("192.168.0.60");
  add.accept();
  EXPECT_EQ(add.result(), QDialog::Accepted);
  EXPECT_EQ(add.mac(), "A-1B-2C-3D-4E-5F");
  EXPECT_EQ(add.ip(), "192.168.0.60");
  EXPECT_EQ(add.gateway(), "10.0.0.1");

  host.setup.Put({"0A-1B-2C-3D-4E-5F", "192.168.0.77", "", "", ""});
  IpSetDlg set(host, "0A-1B-2C-3D-4E-5F");
  Picture(set, "setup_ip");
  EXPECT_EQ(Address(set, "ipAddress")->address(), "192.168.0.77");
  EXPECT_FALSE(Address(set, "subnetMask")->isEnabled());
  Address(set, "ipAddress")->setText("");
  set.accept();
  EXPECT_EQ(boxes_.back(), "Please set up new IP address");
}

TEST_F(DialogTest, SetupDialogsAgainstTheSimulator) {
  qmx::sim::SimulatorProcess sim({"--model", "QMX-4101", "--tcp", "127.0.0.1:0"});
  ASSERT_TRUE(sim.Start()) << sim.error();
  ModbusSetupClient client;
  client.SetPort(static_cast<uint16_t>(sim.port()));
  client.SetTimeouts({200, 400});
  const DeviceAddress device{"127.0.0.1", "127.0.0.1", "255.0.0.0", "127.0.0.254", "02-4D-9A-00-00-01"};
  {
    ModbusSetupDlg dialog(client, device);
    ASSERT_TRUE(dialog.Initialize());
    EXPECT_FALSE(dialog.bootpBox()->isChecked());
    EXPECT_TRUE(dialog.arpBox()->isChecked());
    Picture(dialog, "modbus_setup");
    ASSERT_TRUE(sim.Ok("fault exception=4,fc=16,once"));
    dialog.arpBox()->click();  // unchecked, refused: checked again
    EXPECT_TRUE(dialog.arpBox()->isChecked());
    dialog.accept();  // writes both boxes once more
    EXPECT_EQ(sim.Command("object 0x1046"), "OK 0001");
  }
  {
    // Reachable, but without the name registers: the dialog does not open.
    qmx::sim::SimulatorProcess other({"--model", "QMX4519", "--tcp", "127.0.0.1:0"});
    ASSERT_TRUE(other.Start()) << other.error();
    ModbusSetupClient otherClient;
    otherClient.SetPort(static_cast<uint16_t>(other.port()));
    otherClient.SetTimeouts({200, 400});
    ModbusSetupDlg dialog(otherClient, device);
    EXPECT_FALSE(dialog.Initialize());
    EXPECT_EQ(boxes_, (std::vector<std::string>{"Cannot read device information"}));
  }
  {
    // Not reachable at all: the dialog opens with its default texts, silently.
    ModbusSetupClient nowhere;
    nowhere.SetPort(1);
    ModbusSetupDlg dialog(nowhere, device);
    EXPECT_TRUE(dialog.Initialize());
    EXPECT_EQ(boxes_.size(), 1u);
  }

  qmx::sim::EipDevice eipDevice;
  qmx::sim::EipServer server(eipDevice);
  std::string error;
  ASSERT_TRUE(server.Start("127.0.0.1", 0, &error)) << error;
  qmx::cip::Client cip({static_cast<uint16_t>(server.port()), 1000, 500});
  EipRequester eip(cip, "127.0.0.1", 0);
  EipSetupDlg dialog(eip, device);
  ASSERT_TRUE(dialog.Initialize());
  EXPECT_TRUE(dialog.bootpBox()->isChecked());
  EXPECT_TRUE(dialog.runIdleInputBox()->isChecked());
  EXPECT_FALSE(dialog.runIdleOutputBox()->isChecked());
  Picture(dialog, "eip_setup");
  qmx::sim::EipFault refuse{qmx::sim::EipFaultKind::Status, 0x0F, 1};
  eipDevice.AddFault(refuse);
  dialog.bootpBox()->click();  // unchecking refused: checked again
  EXPECT_TRUE(dialog.bootpBox()->isChecked());
  EXPECT_EQ(eipDevice.identity().bootp, 0x11);
  dialog.runIdleOutputBox()->click();
  EXPECT_EQ(eipDevice.identity().runIdleOutput, 1);
}
