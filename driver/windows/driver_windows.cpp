#include "driver/windows/driver_windows.h"

#include <algorithm>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QThread>
#include <QVBoxLayout>

#include "widgets/grid/GridCtrl.h"
#include "widgets/grid/GridImages.h"
#include "widgets/grid/GridPolicy.h"
#include "driver/driver_library.h"
#include "driver/window_host.h"
#include "platform/toolkit/busy_buttons.h"

namespace tessivar::windows {

namespace {

constexpr const char* kMessengerTitle = "Modbus communication";

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

// A window may only be made on the thread of a running QApplication.
bool CanShowWindows(const char* function) {
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  if (!app) {
    RouteLog(DRV_LOG_ERROR,
             std::string("No window can be shown: the calling program has no user interface. Func: ") + function);
    return false;
  }
  if (QThread::currentThread() != app->thread()) {
    RouteLog(
        DRV_LOG_ERROR,
        std::string("No window can be shown from a thread other than the user-interface thread. Func: ") + function);
    return false;
  }
  return true;
}

QPushButton* Button(const char* caption, int id, QWidget* parent) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(QString("Button%1").arg(id));
  b->setAutoDefault(false);
  return b;
}

// A sorted list box orders its entries without regard to case.
class SortedItem : public QListWidgetItem {
public:
  using QListWidgetItem::QListWidgetItem;
  bool operator<(const QListWidgetItem& other) const override {
    return text().compare(other.text(), Qt::CaseInsensitive) < 0;
  }
};

QLabel* Label(const char* text, QWidget* buddy, QWidget* parent) {
  auto* l = new QLabel(text, parent);
  l->setBuddy(buddy);
  buddy->setAccessibleName(QString(text).remove(':').trimmed());
  return l;
}

void ShowAddressMapWindow(const AddressMapInfo* map, const std::string& inputText, const std::string& outputText) {
  if (!CanShowWindows("VUSK_ShowAddresMap")) return;
  AddressMapDlg dialog(map, inputText, outputText);
  dialog.exec();
}

void ShowMessengerWindow(const std::string& libraryFolder) {
  if (!CanShowWindows("VUSK_ShowProtocolComm")) return;
  MessengerDlg dialog(libraryFolder);
  dialog.exec();
}

}  // namespace

void InstallDriverWindows() {
  WindowHost host;
  host.showAddressMap = ShowAddressMapWindow;
  host.showMessenger = ShowMessengerWindow;
  SetWindowHost(host);
}

// ---- Address Map ----------------------------------------------------------

AddressMapDlg::AddressMapDlg(const AddressMapInfo* map, const std::string& inputModeText,
                             const std::string& outputModeText, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle("Address Map");
  grid_ = new qmx::grid::GridCtrl(this, qmx::grid::DriverGridPolicy());
  grid_->setObjectName(QString("Grid%1").arg(qmx::grid::kGridControlId));
  grid_->setFocusPolicy(Qt::StrongFocus);
  grid_->SetOwnerInfo("AddrMapDlg", this);
  grid_->InsertColumns(qmx::grid::kGridExGridLines,
                       {{"Slot# / Model", 140, 1},
                        {"Ch#", 40, 1},
                        {"Input Word", 80, 1},
                        {"Input Bit", 60, 1},
                        {"Output Word", 80, 1},
                        {"Output Bit", 70, 1}},
                       0, 0, qmx::grid::kBitmapTreeIcons, qmx::grid::kBitmapFlatIcons,
                       qmx::grid::GridRgb(255, 255, 255), qmx::grid::kGridAlignCenter, 1);
  grid_->SetEditable(0);
  grid_->deletionEnabled = 0;

  qmx::grid::GridTreeItem* top = nullptr;
  // A title wider than the first column widens it (and the window below),
  // so that no station or module name is cut.
  int titleWidth = grid_->GetColumnWidth(0);
  for (const AddressMapLine& line : AddressMapLines(map)) {
    auto* row = new qmx::grid::GridRowItem(line.cells[0], line.iconIndex, 0);
    for (size_t c = 1; c < line.cells.size(); ++c) row->AddColumnText(line.cells[c]);
    qmx::grid::GridTreeItem* item = line.child && top ? grid_->InsertRow(row, top) : grid_->InsertRow(row);
    if (!line.child || !top) top = item;
    if (item) {
      const int textLeft = (item->level + 1) * grid_->GetIconWidth() + 2;
      titleWidth = std::max(titleWidth, textLeft + grid_->fontMetrics().horizontalAdvance(Q(line.cells[0])) + 8);
    }
  }
  const int widened = titleWidth - grid_->GetColumnWidth(0);
  grid_->SetColumnWidth(0, titleWidth);
  grid_->ExpandAll();

  // The caption over the grid is two statics side by side.
  auto* caption = new QHBoxLayout;
  auto* captionAddress = new QLabel("Address", this);
  captionAddress->setBuddy(grid_);
  caption->addWidget(captionAddress);
  caption->addWidget(new QLabel("Map (Hex)", this));
  caption->addStretch();
  grid_->setAccessibleName("Address Map (Hex)");
  auto* inputText = new QLabel(Q(inputModeText), this);
  inputText->setObjectName("Static1093");
  auto* outputText = new QLabel(Q(outputModeText), this);
  outputText->setObjectName("Static1041");
  for (QLabel* l : {inputText, outputText}) {
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    l->setFocusPolicy(Qt::TabFocus);
  }
  auto* exit = Button("Exit", 3, this);
  connect(exit, &QPushButton::clicked, this, &QDialog::reject);
  // Never shown: an "OK" that would accept, the default pair and the
  // technical-data button, which has no handler.
  auto* accept = Button("OK", 4, this);
  connect(accept, &QPushButton::clicked, this, &QDialog::accept);
  for (QPushButton* hidden : {accept, Button("OK", 1, this), Button("Cancel", 2, this),
                              Button("Show Technical Data", 1030, this)})
    hidden->hide();

  auto* layout = new QGridLayout(this);
  layout->addLayout(caption, 0, 0, 1, 2);
  layout->addWidget(grid_, 1, 0, 1, 2);
  layout->addWidget(Label("Input Mode", inputText, this), 2, 0);
  layout->addWidget(inputText, 2, 1);
  layout->addWidget(Label("Output Mode", outputText, this), 3, 0);
  layout->addWidget(outputText, 3, 1);
  layout->addWidget(new QLabel("* Address value will be changed depending on project value.", this), 4, 0, 1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(exit);
  layout->addLayout(buttons, 5, 0, 1, 2);
  layout->setRowStretch(1, 1);
  layout->setColumnStretch(1, 1);
  resize(560 + widened, 460);
}

// ---- Serial Communication Setting -----------------------------------------

SerialSettingDlg::SerialSettingDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Serial Communication Setting");
  const char* labels[4] = {"Baud Rate :", "Data Bits :", "Parity :", "Stop Bits :"};
  const int ids[4] = {1101, 1102, 1104, 1105};
  const std::vector<std::string>* entries[4] = {&kBaudRates, &kDataBits, &kParities, &kStopBits};
  auto* frame = new QGroupBox(this);
  auto* grid = new QGridLayout(frame);
  for (int i = 0; i < 4; ++i) {
    lists_[i] = new QComboBox(frame);
    lists_[i]->setObjectName(QString("Combo%1").arg(ids[i]));
    for (const std::string& e : *entries[i]) lists_[i]->addItem(Q(e));
    grid->addWidget(Label(labels[i], lists_[i], frame), i, 0);
    grid->addWidget(lists_[i], i, 1);
  }
  auto* ok = Button("OK", 4, this);
  ok->setDefault(true);
  auto* cancel = Button("Cancel", 2, this);
  Button("OK", 1, this)->hide();
  connect(ok, &QPushButton::clicked, this, [this] { OnOk(); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frame);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
}

bool SerialSettingDlg::SetText(const std::string& text) { return values_.SetText(text); }

int SerialSettingDlg::exec() {
  const std::string* values[4] = {&values_.baud, &values_.dataBits, &values_.parity, &values_.stopBits};
  const std::vector<std::string>* entries[4] = {&kBaudRates, &kDataBits, &kParities, &kStopBits};
  for (int i = 0; i < 4; ++i) lists_[i]->setCurrentIndex(FirstEntryBeginningWith(*entries[i], *values[i]));
  return QDialog::exec();
}

void SerialSettingDlg::OnOk() {
  std::string* values[4] = {&values_.baud, &values_.dataBits, &values_.parity, &values_.stopBits};
  for (int i = 0; i < 4; ++i) *values[i] = S(lists_[i]->currentText());
  accept();
}

// ---- Modbus communication -------------------------------------------------

MessengerDlg::MessengerDlg(const std::string& libraryFolder, QWidget* parent)
    : QDialog(parent), libraryFolder_(libraryFolder) {
  setWindowTitle(kMessengerTitle);

  // Communication Setup
  auto* setup = new QGroupBox("Communication Setup", this);
  protocol_ = new QComboBox(setup);
  protocol_->addItems({"Modbus RTU", "Modbus TCP"});
  ip_ = new QLineEdit(setup);
  ip_->setObjectName("Edit1064");
  comPort_ = new QLineEdit("1", setup);
  comPort_->setObjectName("Edit1074");
  serialText_ = new QLineEdit("9600, 8, NOPARITY, 1", setup);
  serialText_->setReadOnly(true);
  serialButton_ = Button("...", 1089, setup);
  serialButton_->setAccessibleName("Serial settings");
  auto* setupGrid = new QGridLayout(setup);
  setupGrid->addWidget(Label("Protocol", protocol_, setup), 0, 0);
  setupGrid->addWidget(protocol_, 0, 1, 1, 2);
  ipLabel_ = Label("IP Address", ip_, setup);
  setupGrid->addWidget(ipLabel_, 1, 0);
  setupGrid->addWidget(ip_, 1, 1, 1, 2);
  comLabel_ = Label("COM Port", comPort_, setup);
  setupGrid->addWidget(comLabel_, 2, 0);
  setupGrid->addWidget(comPort_, 2, 1, 1, 2);
  serialLabel_ = Label("Serial settings", serialText_, setup);
  setupGrid->addWidget(serialLabel_, 3, 0);
  setupGrid->addWidget(serialText_, 3, 1);
  setupGrid->addWidget(serialButton_, 3, 2);

  // Request
  auto* request = new QGroupBox("Request", this);
  slave_ = new QLineEdit("1", request);
  function_ = new QComboBox(request);
  for (const MessengerFunction& f : kMessengerFunctions) function_->addItem(f.text);
  address_ = new QLineEdit("0000", request);
  quantity_ = new QLineEdit("1", request);
  unit_ = new QLabel("Word", request);
  unit_->setMinimumWidth(unit_->fontMetrics().horizontalAdvance("Word") + 8);
  sendData_ = new QLineEdit(request);
  connect(sendData_, &QLineEdit::textEdited, this, [this](const QString& t) {
    const int at = sendData_->cursorPosition();
    sendData_->setText(t.toUpper());
    sendData_->setCursorPosition(at);
  });
  send_ = Button("Send", 5, request);
  auto* requestGrid = new QGridLayout(request);
  requestGrid->addWidget(Label("Slave ID (Dec)", slave_, request), 0, 0);
  requestGrid->addWidget(slave_, 0, 1, 1, 2);
  requestGrid->addWidget(Label("Function (Dec)", function_, request), 1, 0);
  requestGrid->addWidget(function_, 1, 1, 1, 2);
  requestGrid->addWidget(Label("Address (Hex)", address_, request), 2, 0);
  requestGrid->addWidget(address_, 2, 1, 1, 2);
  requestGrid->addWidget(Label("Quantity (Dec)", quantity_, request), 3, 0);
  requestGrid->addWidget(quantity_, 3, 1);
  requestGrid->addWidget(unit_, 3, 2);
  requestGrid->addWidget(Label("Send Data (Hex, 0 on the right)", sendData_, request), 4, 0);
  requestGrid->addWidget(sendData_, 4, 1, 1, 2);
  requestGrid->addWidget(send_, 5, 2);

  // Response
  auto* response = new QGroupBox("Response (0 on the right)", this);
  replyText_ = new QPlainTextEdit(response);
  replyText_->setReadOnly(true);
  replyText_->setAccessibleName("Response");
  replyText_->setTabChangesFocus(true);
  formats_ = new QButtonGroup(this);
  auto* formatRow = new QHBoxLayout;
  for (int i = 0; i < 7; ++i) {
    auto* radio = new QRadioButton(kReplyFormatNames[i], response);
    radio->setObjectName(QString("Radio%1").arg(4008 + i));
    formats_->addButton(radio, i);
    formatRow->addWidget(radio);
  }
  formats_->button(kWordHex)->setChecked(true);
  swap_ = new QCheckBox("Swap word", response);
  swap_->setChecked(true);
  trim_ = new QLineEdit(response);
  trim_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), trim_));
  trim_->setMaximumWidth(60);
  auto* responseLayout = new QVBoxLayout(response);
  responseLayout->addWidget(replyText_, 1);
  responseLayout->addLayout(formatRow);
  auto* trimRow = new QHBoxLayout;
  trimRow->addWidget(swap_);
  trimRow->addSpacing(16);
  trimRow->addWidget(Label("Trim Length", trim_, response));
  trimRow->addWidget(trim_);
  trimRow->addWidget(new QLabel("byte", response));
  trimRow->addStretch();
  responseLayout->addLayout(trimRow);

  // Built-In Messages
  auto* builtIn = new QGroupBox("Built-In Messages", this);
  messageList_ = new QListWidget(builtIn);
  messageList_->setSortingEnabled(true);
  messageList_->setAccessibleName("Built-In Messages");
  fileName_ = new QLineEdit(builtIn);
  fileName_->setReadOnly(true);
  auto* fileButton = Button("...", 1091, builtIn);
  fileButton->setAccessibleName("Open built-in message file");
  auto* builtInLayout = new QGridLayout(builtIn);
  builtInLayout->addWidget(messageList_, 0, 0, 1, 3);
  builtInLayout->addWidget(Label("File", fileName_, builtIn), 1, 0);
  builtInLayout->addWidget(fileName_, 1, 1);
  builtInLayout->addWidget(fileButton, 1, 2);

  // Log
  auto* log = new QGroupBox("Log", this);
  status_ = new QLineEdit(log);
  status_->setReadOnly(true);
  status_->setAccessibleName("Log");
  (new QVBoxLayout(log))->addWidget(status_);

  auto* exit = Button("Exit", 3, this);
  // The default pair exists but is never shown; Enter closes nothing.
  Button("OK", 1, this)->hide();
  Button("Cancel", 2, this)->hide();
  auto* layout = new QGridLayout(this);
  layout->addWidget(setup, 0, 0);
  layout->addWidget(request, 1, 0);
  // The log is one line: it takes its own height under the response, which
  // grows beside the built-in messages instead.
  layout->addWidget(response, 0, 1, 3, 1);
  layout->addWidget(builtIn, 2, 0, 2, 1);
  layout->addWidget(log, 3, 1);
  layout->setRowStretch(2, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(exit);
  layout->addLayout(buttons, 4, 0, 1, 2);
  layout->setColumnStretch(1, 1);

  connect(protocol_, &QComboBox::currentIndexChanged, this, [this](int i) { SetProtocol(i); });
  connect(function_, &QComboBox::currentIndexChanged, this, [this](int i) { SetFunction(i); });
  connect(serialButton_, &QPushButton::clicked, this, [this] { OnSerialSettings(); });
  connect(send_, &QPushButton::clicked, this, [this] { OnSend(); });
  connect(fileButton, &QPushButton::clicked, this, [this] { OnOpenMessages(); });
  connect(formats_, &QButtonGroup::idClicked, this, [this] { RefreshReply(); });
  connect(swap_, &QCheckBox::toggled, this, [this] { RefreshReply(); });
  connect(trim_, &QLineEdit::textChanged, this, [this] { RefreshReply(); });
  connect(messageList_, &QListWidget::currentTextChanged, this, [this](const QString& t) { ApplyMessage(S(t)); });
  connect(exit, &QPushButton::clicked, this, &QDialog::reject);

  // Tab reads the left column down to the built-in messages before the
  // response and the log on the right.
  std::vector<QWidget*> order{send_, messageList_, fileName_, fileButton, replyText_};
  for (QAbstractButton* radio : formats_->buttons()) order.push_back(radio);
  order.insert(order.end(), {swap_, trim_, status_, exit});
  for (size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);

  SetProtocol(kProtocolRtu);
  function_->setCurrentIndex(2);
  SetFunction(2);
  resize(900, 560);
}

MessengerDlg::~MessengerDlg() = default;

void MessengerDlg::keyPressEvent(QKeyEvent* event) {
  // Enter sends nothing and closes nothing; Escape closes the window.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

MessengerFields MessengerDlg::Fields() const {
  MessengerFields f;
  f.protocol = protocol_->currentIndex();
  f.comPort = S(comPort_->text());
  f.ipAddress = S(ip_->text());
  f.serialSettings = S(serialText_->text());
  f.slaveId = S(slave_->text());
  f.functionIndex = function_->currentIndex();
  f.address = S(address_->text());
  f.quantity = S(quantity_->text());
  f.sendData = S(sendData_->text());
  return f;
}

void MessengerDlg::SetProtocol(int index) {
  if (protocol_->currentIndex() != index) protocol_->setCurrentIndex(index);
  const bool rtu = index == kProtocolRtu;
  for (QWidget* w : std::initializer_list<QWidget*>{comLabel_, comPort_, serialLabel_, serialText_, serialButton_})
    w->setVisible(rtu);
  ipLabel_->setVisible(!rtu);
  ip_->setVisible(!rtu);
}

void MessengerDlg::SetFunction(int index) {
  if (function_->currentIndex() != index) function_->setCurrentIndex(index);
  const bool on = QuantityEnabled(index);
  quantity_->setEnabled(on);
  if (!on) quantity_->clear();
  const MessengerFunction* f = index >= 0 && index < kMessengerFunctionCount ? &kMessengerFunctions[index] : nullptr;
  unit_->setText(f ? f->unit : "");
}

void MessengerDlg::OnSerialSettings() {
  SerialSettingDlg dialog(this);
  dialog.SetText(S(serialText_->text()));
  if (dialog.exec() == QDialog::Accepted) serialText_->setText(Q(dialog.GetText()));
}

void MessengerDlg::FocusField(int field) {
  QLineEdit* edit = nullptr;
  switch (field) {
    case kFieldComPort: edit = comPort_; break;
    case kFieldIp: edit = ip_; break;
    case kFieldSlave: edit = slave_; break;
    case kFieldAddress: edit = address_; break;
    case kFieldQuantity: edit = quantity_; break;
    case kFieldSendData: edit = sendData_; break;
    default: return;
  }
  edit->setFocus();
  if (field == kFieldSendData) edit->selectAll();
}

void MessengerDlg::OnSend() {
  MessengerRequest request;
  const MessengerCheck check = BuildMessengerRequest(Fields(), request, tcp_, serial_);
  if (!check.ok()) {
    QMessageBox::warning(this, kMessengerTitle, Q(check.message));
    FocusField(check.field);
    return;
  }
  MessengerOutcome out;
  {
    const qmx::toolkit::BusyButtons busy{send_};
    QApplication::setOverrideCursor(Qt::WaitCursor);
    out = RunMessengerExchange(protocol_->currentIndex(), tcp_, serial_, request);
    QApplication::restoreOverrideCursor();
  }
  status_->setText(Q(out.status));
  // A connection that did not open leaves the last reply as it was.
  if (!out.opened) return;
  succeeded_ = out.result == 1;
  reply_ = out.reply;
  if (succeeded_)
    RefreshReply();
  else
    replyText_->clear();
}

void MessengerDlg::RefreshReply() {
  if (!succeeded_ || reply_.empty()) return;
  replyText_->setPlainText(Q(FormatReply(reply_.data(), static_cast<int>(reply_.size()), formats_->checkedId(),
                                         swap_->isChecked(), S(trim_->text()))));
}


void MessengerDlg::OnOpenMessages() {
  QFileDialog box(this, QString(), Q(BuiltInMessageFolder(libraryFolder_)), "Built-In Message Files (*.csv)");
  box.setFileMode(QFileDialog::ExistingFile);
  box.setDefaultSuffix("csv");
  if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty()) return;
  std::string refusal;
  if (!LoadMessageFile(S(box.selectedFiles().front()), &refusal))
    QMessageBox::warning(this, kMessengerTitle,
                         "Cannot open the file. Check if the file exists or using." +
                             (refusal.empty() ? QString() : "\n" + Q(refusal) + "."));
}

bool MessengerDlg::LoadMessageFile(const std::string& path, std::string* refusal) {
  std::map<std::string, BuiltInMessage> loaded;
  if (!LoadBuiltInMessages(path, loaded, refusal)) return false;
  messages_ = std::move(loaded);
  messageList_->blockSignals(true);
  messageList_->clear();
  for (const auto& [name, message] : messages_) messageList_->addItem(new SortedItem(Q(name)));
  messageList_->blockSignals(false);
  fileName_->setText(" " + QFileInfo(Q(path)).fileName());
  if (messageList_->count() > 0) {
    messageList_->setCurrentRow(0);
    ApplyMessage(S(messageList_->item(0)->text()));
  }
  return true;
}

void MessengerDlg::ApplyMessage(const std::string& name) {
  auto it = messages_.find(name);
  if (it == messages_.end()) return;
  const BuiltInMessage& m = it->second;
  SetFunction(m.functionIndex);
  address_->setText(Q(m.address));
  quantity_->setText(Q(m.quantity));
  sendData_->setText(Q(m.sendData).toUpper());
  const QString format = Q(m.format);
  bool number = false;
  const int f = format.toInt(&number);
  if (number && f >= 0 && f <= 6)
    formats_->button(f)->setChecked(true);
  else if (format.isEmpty())
    formats_->button(kWordHex)->setChecked(true);
  swap_->setChecked(m.swap != "0");
  const int trim = Q(m.trimLength).toInt(&number);
  trim_->setText(number && trim > 0 ? Q(m.trimLength) : QString());
  RefreshReply();
}

}  // namespace tessivar::windows
