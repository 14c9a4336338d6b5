#include "bootp/ui/PlenvarDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QSocketNotifier>
#include <QStyle>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "bootp/ui/AddressDialogs.h"
#include "bootp/ui/QtWaiter.h"
#include "bootp/ui/RequestListModel.h"
#include "bootp/ui/SetupDialogs.h"
#include "common/Utility.h"
#include "platform/toolkit/message_box.h"

namespace qmx::plenvar {
namespace {

constexpr const char* kIpTaken = "Already exist same IP address\r\nPlease set other IP address.";
constexpr const char* kMacTaken = "Already exist same MAC address\r\nPlease select other MAC address.";
constexpr const char* kRowKept = "The device stays in the setup list and is answered the next time it asks.";

struct Column {
  const char* title;
  int width;
};
constexpr Column kRequestColumns[] = {
    {"Type", 40}, {"Time", 60}, {"Ethernet Address(MAC)", 130}, {"IP Address", 110}, {"Transaction ID", 100}};
constexpr Column kSetupColumns[] = {{"Number", 50},      {"Ethernet Address(MAC)", 130}, {"IP Address", 110},
                                    {"Subnet Mask", 110}, {"Gateway Address", 110},      {"Transaction ID", 100}};

QIcon ProgramIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(0, 102, 204));
  p.setPen(Qt::NoPen);
  p.drawEllipse(QRectF(2, 2, 28, 28));
  p.setPen(QPen(Qt::white, 2.5));
  p.drawLine(QPointF(9, 16), QPointF(23, 16));
  p.drawLine(QPointF(16, 9), QPointF(16, 23));
  return QIcon(pixmap);
}

// Both lists: flat, whole rows selected, columns as wide as their titles need.
void SetUpList(QTreeView* view, const Column* columns, size_t count, const char* name) {
  view->setRootIsDecorated(false);
  view->setUniformRowHeights(true);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setAllColumnsShowFocus(true);
  view->setAccessibleName(QString::fromUtf8(name));
  int total = 0;
  for (size_t i = 0; i < count; ++i) {
    view->setColumnWidth(static_cast<int>(i), columns[i].width + 12);
    total += columns[i].width + 12;
  }
  view->setMinimumWidth(total + 24);
}

QTreeWidget* MakeSetupList() {
  auto* view = new QTreeWidget;
  view->setColumnCount(static_cast<int>(std::size(kSetupColumns)));
  QStringList titles;
  for (const Column& c : kSetupColumns) titles << QString::fromUtf8(c.title);
  view->setHeaderLabels(titles);
  for (int i = 0; i < view->columnCount(); ++i) view->headerItem()->setTextAlignment(i, Qt::AlignCenter);
  SetUpList(view, kSetupColumns, std::size(kSetupColumns), "Setup History");
  return view;
}

QPushButton* MakeButton(const char* text) {
  auto* b = new QPushButton(QString::fromUtf8(text));
  b->setAutoDefault(false);
  b->setAccessibleName(b->text());
  return b;
}

}  // namespace

PlenvarDlg::PlenvarDlg(PlenvarOptions options, QWidget* parent)
    : QDialog(parent),
      options_(options),
      server_(options.bootp, options.sources),
      cip_(qmx::cip::Client::Options{options.eipPort, 1000, 1000}),
      probe_(QtEventLoopWaiter()) {
  setWindowTitle(QStringLiteral("Kestun Automation Bootp Server"));
  setWindowIcon(ProgramIcon());
  probe_.SetPort(options_.modbusPort);
  bool failed = false;
  adapters_ = ListAdapters(&failed);
  BuildLayout();
  if (failed) qmx::toolkit::ShowMessageBox(this, "Get Gateway Address Error");
  start_->setEnabled(true);
  stop_->setEnabled(false);
}

PlenvarDlg::~PlenvarDlg() = default;

void PlenvarDlg::BuildLayout() {
  requestModel_ = new RequestListModel(this);
  requestView_ = new QTreeView;
  requestView_->setModel(requestModel_);
  SetUpList(requestView_, kRequestColumns, std::size(kRequestColumns), "Request History");
  requestView_->setSelectionMode(QAbstractItemView::SingleSelection);
  listTimer_ = new QTimer(this);
  listTimer_->setSingleShot(true);
  listTimer_->setInterval(kListBatchMs);
  connect(listTimer_, &QTimer::timeout, this, [this] { ShowQueuedRequests(); });
  setupView_ = MakeSetupList();
  setupView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  setupView_->setContextMenuPolicy(Qt::CustomContextMenu);
  // Double click, or Enter on the row from the keyboard.
  connect(requestView_, &QTreeView::activated, this, [this](const QModelIndex& index) {
    if (index.isValid()) OnRequestActivated(index.row());
  });
  connect(setupView_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) { ShowContextMenu(at); });

  auto* clearRequests = MakeButton("Clear History");
  clearRequests->setAccessibleDescription("Empties the request history");
  auto* clearSetup = MakeButton("Clear History");
  clearSetup->setAccessibleDescription("Empties the setup history");
  makerOnly_ = new QCheckBox(QStringLiteral("Show Kestun device only"));
  makerOnly_->setAccessibleName(makerOnly_->text());
  connect(makerOnly_, &QCheckBox::toggled, this, [this](bool on) { server_.switches().makerDevicesOnly = on; });
  connect(clearRequests, &QPushButton::clicked, this, [this] { requestModel_->Clear(); });
  connect(clearSetup, &QPushButton::clicked, this, [this] {
    server_.setup().Clear();
    RefreshSetupView();
  });

  auto* requestGroup = new QGroupBox(QStringLiteral("Request History"));
  auto* requestLayout = new QVBoxLayout(requestGroup);
  requestLayout->addWidget(requestView_);
  auto* requestButtons = new QHBoxLayout;
  requestButtons->addWidget(makerOnly_);
  requestButtons->addStretch();
  requestButtons->addWidget(clearRequests);
  requestLayout->addLayout(requestButtons);

  auto* setupGroup = new QGroupBox(QStringLiteral("Setup History"));
  auto* setupLayout = new QVBoxLayout(setupGroup);
  setupLayout->addWidget(setupView_);
  auto* setupButtons = new QHBoxLayout;
  setupButtons->addStretch();
  setupButtons->addWidget(clearSetup);
  setupLayout->addLayout(setupButtons);

  auto* reset = MakeButton("Reset with Network Default");
  auto* add = MakeButton("Add New Device");
  start_ = MakeButton("Start Bootp");
  stop_ = MakeButton("Stop Bootp");
  auto* about = MakeButton("About Plenvar...");
  connect(reset, &QPushButton::clicked, this, [this] { OnResetButton(); });
  connect(add, &QPushButton::clicked, this, [this] { OnAddNewDevice(); });
  connect(start_, &QPushButton::clicked, this, [this] { OnStart(); });
  connect(stop_, &QPushButton::clicked, this, [this] { OnStop(); });
  connect(about, &QPushButton::clicked, this, [this] { OnAbout(); });
  auto* commands = new QHBoxLayout;
  commands->addWidget(about);
  commands->addStretch();
  for (QPushButton* b : {reset, add, start_, stop_}) commands->addWidget(b);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(requestGroup, 1);
  layout->addWidget(setupGroup, 1);
  layout->addLayout(commands);
  resize(760, 620);
}

int PlenvarDlg::OpenServerSocket() {
  delete notifier_;
  notifier_ = nullptr;
  const int rc = server_.Open();
  if (rc != 0) return rc;
  notifier_ = new QSocketNotifier(static_cast<qintptr>(server_.fd()), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { OnReceiveBootp(); });
  return 0;
}

void PlenvarDlg::LoadInterfaceParams(size_t index) {
  RefreshAdapters(&adapters_);
  iface_ = qmx::plenvar::LoadInterfaceParams(index, adapters_, options_.sources);
  interfaceName_ = index < adapters_.size() ? adapters_[index].description : std::string();
}

const RequestList& PlenvarDlg::requestList() const { return requestModel_->list(); }

void PlenvarDlg::OnStart() {
  server_.switches().started = true;
  start_->setEnabled(false);
  stop_->setEnabled(true);
  stop_->setFocus();
}

void PlenvarDlg::OnStop() {
  server_.switches().started = false;
  stop_->setEnabled(false);
  start_->setEnabled(true);
  start_->setFocus();
}

bool PlenvarDlg::Sent(int rc, const std::string& what) {
  if (rc == 0) return true;
  ShowSendFailure(StrFormat("The %s could not be sent: %s.", what.c_str(), SocketErrorText(rc).c_str()));
  return false;
}

void PlenvarDlg::ShowSendFailure(const std::string& text) {
  // One box at a time: requests keep arriving while it is open.
  if (reportingSendFailure_) return;
  reportingSendFailure_ = true;
  qmx::toolkit::ShowMessageBox(this, text);
  reportingSendFailure_ = false;
}

bool PlenvarDlg::MarkReply(const std::string& mac, int error) {
  if (error == 0) return unsent_.erase(mac) > 0;
  std::string& reason = unsent_[mac];
  const std::string now = SocketErrorText(error);
  if (reason == now) return false;
  reason = now;
  return true;
}

void PlenvarDlg::ReportUnsentReply(const std::string& mac, int error) {
  ShowSendFailure(StrFormat("The BOOTP reply to %s could not be sent: %s.\n%s", mac.c_str(),
                            SocketErrorText(error).c_str(), kRowKept));
}

void PlenvarDlg::OnReceiveBootp() {
  std::vector<RequestRow> listed;
  const BootpServer::Served served = server_.ServeWaiting(kDatagramsPerWake, iface_, &listed);
  if (!listed.empty()) {
    requestModel_->Queue(std::move(listed));
    if (!listTimer_->isActive()) listTimer_->start();
  }
  bool marked = false;
  for (const SentReply& reply : served.replies) marked = MarkReply(reply.mac, reply.error) || marked;
  if (marked) RefreshSetupView();
  if (const SentReply* failed = served.FirstFailure()) ReportUnsentReply(failed->mac, failed->error);
}

void PlenvarDlg::ShowQueuedRequests() {
  if (requestModel_->Flush()) requestView_->scrollToBottom();
}

void PlenvarDlg::RefreshSetupView() {
  const SetupList& setup = server_.setup();
  std::erase_if(unsent_, [&](const auto& note) { return !setup.FindMac(note.first); });
  setupView_->clear();
  int number = 1;
  for (const SetupRow& r : setup.rows()) {
    auto* item = new QTreeWidgetItem(QStringList{QString::number(number++), QString::fromStdString(r.mac),
                                                 QString::fromStdString(r.ip), QString::fromStdString(r.subnetMask),
                                                 QString::fromStdString(r.gateway),
                                                 QString::fromStdString(r.transactionId)});
    const auto unsent = unsent_.find(r.mac);
    const QString note = unsent == unsent_.end()
                             ? QString()
                             : QString::fromStdString(StrFormat("Reply not sent: %s. %s", unsent->second.c_str(),
                                                                kRowKept));
    for (int c = 0; c < item->columnCount(); ++c) {
      item->setTextAlignment(c, Qt::AlignCenter);
      item->setToolTip(c, note);
      item->setData(c, Qt::AccessibleDescriptionRole, note);
    }
    if (!note.isEmpty()) item->setIcon(0, style()->standardIcon(QStyle::SP_MessageBoxWarning));
    setupView_->addTopLevelItem(item);
  }
}

void PlenvarDlg::PutSetupRows(const std::vector<SetupRow>& rows) {
  for (const SetupRow& row : rows) server_.setup().Put(row);
  RefreshSetupView();
}

void PlenvarDlg::PutSetupRow(const SetupRow& row) {
  if (auto replaced = server_.setup().Put(row); replaced && replaced->ip != row.ip) {
    qmx::toolkit::ShowMessageBox(
        this, StrFormat("The device %s was set up with %s; it is now set up with %s.", row.mac.c_str(),
                        replaced->ip.c_str(), row.ip.c_str()));
  }
  RefreshSetupView();
}

int PlenvarDlg::SelectedSetupRow() const {
  int first = -1;
  for (QTreeWidgetItem* item : setupView_->selectedItems()) {
    const int index = setupView_->indexOfTopLevelItem(item);
    if (first < 0 || index < first) first = index;
  }
  return first;
}

void PlenvarDlg::OnRequestActivated(int index) {
  const RequestList& list = requestModel_->list();
  if (busy_ || index < 0 || static_cast<size_t>(index) >= list.size()) return;
  const RequestRow request = list.rows()[static_cast<size_t>(index)];
  // The dialog opens on the interface the request came in by, so the mask
  // and gateway it shows and the reply carries are that network's.
  const std::string arrival = InterfaceName(request.interfaceIndex);
  size_t adapter = 0;
  for (size_t i = 0; i < adapters_.size(); ++i) {
    if (adapters_[i].description == arrival) adapter = i;
  }
  IpSetDlg dialog(*this, request.mac, adapter, this);
  if (dialog.exec() != QDialog::Accepted) return;
  const SetupRow row{request.mac, dialog.ip(), iface_.subnetMask, iface_.gateway, request.transactionId};
  const ManualAnswer answer = ClassifyManualAnswer(server_.setup(), row.mac, row.ip);
  if (answer == ManualAnswer::AddressTaken) {
    qmx::toolkit::ShowMessageBox(this, kIpTaken);
    return;
  }
  const BootpPacket reply = BuildBootpReplyInterfaceForm(row.ip, row.mac, row.transactionId, iface_);
  const int rc = server_.SendReply(reply, request.interfaceIndex, interfaceName_);
  // The address chosen is kept whether the reply left or not: the device
  // asks again and is answered from its row.
  const bool marked = MarkReply(row.mac, rc);
  if (answer == ManualAnswer::AddRow) {
    PutSetupRow(row);
  } else if (marked) {
    RefreshSetupView();
  }
  if (rc != 0) ReportUnsentReply(row.mac, rc);
}

void PlenvarDlg::OnAddNewDevice() {
  if (busy_) return;
  NewIpSetDlg dialog(*this, this);
  if (dialog.exec() != QDialog::Accepted) return;
  switch (ClassifyNewDevice(server_.setup(), dialog.mac(), dialog.ip())) {
    case NewDeviceCheck::IpListed: qmx::toolkit::ShowMessageBox(this, kIpTaken); return;
    case NewDeviceCheck::MacListed: qmx::toolkit::ShowMessageBox(this, kMacTaken); return;
    case NewDeviceCheck::BothListed: return;
    case NewDeviceCheck::Add: break;
  }
  const SetupRow row{dialog.mac(), dialog.ip(), dialog.subnetMask(), dialog.gateway(), kManualTransactionId};
  const ReplyFields fields{row.ip, row.mac, row.subnetMask, row.gateway, row.transactionId};
  const int rc = server_.SendUnprompted(BuildBootpReply(fields, iface_), interfaceName_);
  // What was typed stays, sent or not: the device's own request is answered
  // from the row.
  MarkReply(row.mac, rc);
  PutSetupRow(row);
  if (rc != 0) ReportUnsentReply(row.mac, rc);
}

void PlenvarDlg::OnDeleteDevice() {
  const int row = SelectedSetupRow();
  if (row < 0) return;
  server_.setup().Remove(static_cast<size_t>(row));
  RefreshSetupView();
}

void PlenvarDlg::OnResetFromMenu() {
  const int row = SelectedSetupRow();
  if (row < 0) return;
  // The device the row's replies reach, however its MAC was typed.
  const std::string mac12 = Mac12(server_.setup().at(static_cast<size_t>(row)).mac);
  if (!Sent(server_.SendUnprompted(BuildResetPacket(mac12), interfaceName_), "reset packet")) return;
  server_.setup().Remove(static_cast<size_t>(row));
  RefreshSetupView();
}

void PlenvarDlg::OnResetButton() {
  const int row = SelectedSetupRow();
  ResetDlg dialog(row >= 0 ? server_.setup().at(static_cast<size_t>(row)).mac : std::string(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  if (!Sent(server_.SendUnprompted(BuildResetPacket(dialog.mac12()), interfaceName_), "reset packet")) return;
  server_.setup().RemoveMac12(dialog.mac12());
  RefreshSetupView();
}

void PlenvarDlg::OnDeviceInformation() {
  const int index = SelectedSetupRow();
  if (index < 0 || busy_) return;
  const SetupRow row = server_.setup().at(static_cast<size_t>(index));
  const DeviceAddress device{row.ip, iface_.address, row.subnetMask, row.gateway, row.mac};
  busy_ = true;
  EipRequester eip(cip_, iface_.address, options_.eipPauseMs);
  if (ProbeEip(eip, row.ip)) {
    EipSetupDlg dialog(eip, device, this);
    if (dialog.Initialize()) dialog.exec();
  } else if (ProbeModbus(probe_, row.ip)) {
    ModbusSetupClient client(QtEventLoopWaiter());
    client.SetPort(options_.modbusPort);
    ModbusSetupDlg dialog(client, device, this);
    if (dialog.Initialize()) dialog.exec();
  } else {
    qmx::toolkit::ShowMessageBox(this, "Cannot connect to device.");
  }
  busy_ = false;
}

void PlenvarDlg::ShowContextMenu(const QPoint& at) {
  QMenu menu(this);
  QAction* add = menu.addAction(QStringLiteral("Add New Device"));
  QAction* remove = menu.addAction(QStringLiteral("Delete Device"));
  QAction* info = menu.addAction(QStringLiteral("Device Information"));
  QAction* reset = menu.addAction(QStringLiteral("Reset with Network Default"));
  const bool hasRow = SelectedSetupRow() >= 0;
  for (QAction* a : {remove, info, reset}) a->setEnabled(hasRow);
  QAction* chosen = menu.exec(setupView_->viewport()->mapToGlobal(at));
  if (chosen == add) OnAddNewDevice();
  if (chosen == remove) OnDeleteDevice();
  if (chosen == info) OnDeviceInformation();
  if (chosen == reset) OnResetFromMenu();
}

void PlenvarDlg::OnAbout() { MakeAboutDialog()->exec(); }

std::unique_ptr<QDialog> PlenvarDlg::MakeAboutDialog() {
  auto dialog = std::make_unique<QDialog>(this);
  QDialog& about = *dialog;
  about.setWindowTitle(QStringLiteral("About Plenvar"));
  auto* icon = new QLabel;
  icon->setPixmap(windowIcon().pixmap(32, 32));
  auto* text = new QLabel(QStringLiteral("Plenvar Version 1.601"));
  auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok);
  ok->button(QDialogButtonBox::Ok)->setAccessibleName("OK");
  connect(ok, &QDialogButtonBox::accepted, &about, &QDialog::accept);
  auto* row = new QHBoxLayout;
  row->addWidget(icon);
  row->addWidget(text, 1);
  auto* layout = new QVBoxLayout(&about);
  layout->addLayout(row);
  layout->addWidget(ok);
  return dialog;
}

}  // namespace qmx::plenvar
