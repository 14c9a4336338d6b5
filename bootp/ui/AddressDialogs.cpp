#include "bootp/ui/AddressDialogs.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <cctype>

#include "bootp/core/bootp_packet.h"
#include "bootp/ui/IpAddressEdit.h"
#include "platform/toolkit/message_box.h"

namespace qmx::plenvar {
namespace {

bool IsHexPart(const std::string& part) {
  if (part.empty() || part.size() > 2) return false;
  for (char c : part) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

QLabel* Buddy(const char* text, QWidget* field) {
  auto* label = new QLabel(QString::fromUtf8(text));
  label->setBuddy(field);
  return label;
}

}  // namespace

QWidget* MakeOkCancel(QDialog* dialog, const char* okText) {
  auto* box = new QDialogButtonBox(dialog);
  auto* ok = box->addButton(QString::fromUtf8(okText), QDialogButtonBox::AcceptRole);
  auto* cancel = box->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
  for (QPushButton* b : {ok, cancel}) {
    b->setAutoDefault(false);
    b->setDefault(false);
    b->setAccessibleName(b->text());
  }
  ok->setObjectName("okButton");
  QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return box;
}

// --- MAC parts --------------------------------------------------------------

MacPartsEdit::MacPartsEdit(QWidget* parent) : QWidget(parent) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  static const QRegularExpression kPart(QStringLiteral("[0-9A-Fa-f]{0,2}"));
  for (size_t i = 0; i < edits_.size(); ++i) {
    auto* e = new QLineEdit(this);
    e->setMaxLength(2);
    e->setFixedWidth(e->fontMetrics().horizontalAdvance("WW") + 16);
    e->setAlignment(Qt::AlignCenter);
    e->setAccessibleName(QStringLiteral("Mac Address part %1").arg(i + 1));
    e->setObjectName(QStringLiteral("macPart%1").arg(i + 1));
    edits_[i] = e;
    if (i > 0) row->addWidget(new QLabel("-", this));
    row->addWidget(e);
    QObject::connect(e, &QLineEdit::textEdited, this, [this, i, e](const QString& text) {
      const QString upper = text.toUpper();
      if (upper != text) {
        const int cursor = e->cursorPosition();
        e->setText(upper);
        e->setCursorPosition(cursor);
      }
      if (upper.size() != 2) return;
      QWidget* next = i + 1 < edits_.size() ? edits_[i + 1] : after_;
      if (next == nullptr) return;
      next->setFocus();
      if (auto* line = qobject_cast<QLineEdit*>(next)) line->selectAll();
    });
  }
  row->addStretch();
}

std::array<std::string, 6> MacPartsEdit::parts() const {
  std::array<std::string, 6> out;
  for (size_t i = 0; i < out.size(); ++i) out[i] = edits_[i]->text().toStdString();
  return out;
}

void MacPartsEdit::SetParts(const std::array<std::string, 6>& parts) {
  for (size_t i = 0; i < parts.size(); ++i) edits_[i]->setText(QString::fromStdString(parts[i]));
}

// --- reset ------------------------------------------------------------------------

ResetDlg::ResetDlg(const std::string& mac, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Reset Device with Network Default"));
  parts_ = new MacPartsEdit(this);
  auto* form = new QHBoxLayout;
  form->addWidget(Buddy("Mac Address", parts_->first()));
  form->addWidget(parts_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  QWidget* buttons = MakeOkCancel(this);
  layout->addWidget(buttons);
  parts_->SetFocusAfter(buttons->findChild<QPushButton*>("okButton"));

  // A row's MAC in whatever form it was typed; the edits show its bytes.
  if (const auto digits = NormalizeResetMac(mac)) {
    std::array<std::string, 6> p;
    for (size_t i = 0; i < p.size(); ++i) p[i] = digits->substr(2 * i, 2);
    parts_->SetParts(p);
  }
  parts_->first()->setFocus();
  parts_->first()->selectAll();
}

void ResetDlg::accept() {
  const std::array<std::string, 6> parts = parts_->parts();
  std::string joined = parts[0];
  for (size_t i = 1; i < parts.size(); ++i) joined += "-" + parts[i];
  // A part of one digit is a MAC the table holds ("A-1B-..."); an empty part
  // would reset whichever device matches the zero it turns into.
  const auto mac = NormalizeResetMac(joined);
  if (!mac) {
    qmx::toolkit::ShowMessageBox(this, "MAC address is false");
    return;
  }
  mac12_ = *mac;
  QDialog::accept();
}

// --- interface list ---------------------------------------------------------------

InterfaceChooser::InterfaceChooser(InterfaceHost& host, QComboBox* list, IpAddressEdit* mask,
                                   IpAddressEdit* gateway, size_t first)
    : host_(host), list_(list), mask_(mask), gateway_(gateway) {
  for (const Adapter& a : host_.adapters()) list_->addItem(QString::fromStdString(a.description));
  const int start = first < host_.adapters().size() ? static_cast<int>(first) : 0;
  list_->setCurrentIndex(start);
  Select(start);
  QObject::connect(list_, &QComboBox::currentIndexChanged, list_, [this](int index) {
    if (index >= 0) Select(index);
  });
}

void InterfaceChooser::Select(int index) {
  index_ = index;
  host_.LoadInterfaceParams(static_cast<size_t>(index));
  mask_->setAddress(host_.interfaceParams().subnetMask);
  gateway_->setAddress(host_.interfaceParams().gateway);
}

namespace {

// The "IP Address Setup" group shared by both address dialogs.
QGroupBox* AddressGroup(QWidget* macField, IpAddressEdit* ip, IpAddressEdit* mask, IpAddressEdit* gateway,
                        QComboBox* list) {
  auto* group = new QGroupBox(QStringLiteral("IP Address Setup"));
  auto* form = new QFormLayout(group);
  QWidget* macBuddy = macField;
  if (auto* parts = dynamic_cast<MacPartsEdit*>(macField)) macBuddy = parts->first();
  form->addRow(Buddy("Mac Address", macBuddy), macField);
  form->addRow(Buddy("IP Address", ip), ip);
  form->addRow(Buddy("Subnet Mask", mask), mask);
  form->addRow(Buddy("Gateway", gateway), gateway);
  form->addRow(Buddy("Interface", list), list);
  ip->setAccessibleName("IP Address");
  mask->setAccessibleName("Subnet Mask");
  gateway->setAccessibleName("Gateway");
  list->setAccessibleName("Interface");
  ip->setObjectName("ipAddress");
  mask->setObjectName("subnetMask");
  gateway->setObjectName("gateway");
  list->setMinimumContentsLength(16);
  return group;
}

}  // namespace

// --- add new device -------------------------------------------------------------------

NewIpSetDlg::NewIpSetDlg(InterfaceHost& host, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Add New Device"));
  parts_ = new MacPartsEdit;
  ipEdit_ = new IpAddressEdit;
  maskEdit_ = new IpAddressEdit;
  gatewayEdit_ = new IpAddressEdit;
  auto* list = new QComboBox;
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(AddressGroup(parts_, ipEdit_, maskEdit_, gatewayEdit_, list));
  layout->addWidget(MakeOkCancel(this));
  parts_->SetFocusAfter(ipEdit_);
  chooser_ = std::make_unique<InterfaceChooser>(host, list, maskEdit_, gatewayEdit_);
  parts_->first()->setFocus();
}

NewIpSetDlg::~NewIpSetDlg() = default;

void NewIpSetDlg::accept() {
  const auto parts = parts_->parts();
  std::string mac;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (!IsHexPart(parts[i])) {
      qmx::toolkit::ShowMessageBox(this, "MAC address is false");
      return;
    }
    mac += (i ? "-" : "") + parts[i];
  }
  const std::string ip = ipEdit_->address();
  if (ip == "0.0.0.0") {
    qmx::toolkit::ShowMessageBox(this, "Set new ip address");
    return;
  }
  ip_ = ip;
  mac_ = mac;
  mask_ = maskEdit_->address();
  gateway_ = gatewayEdit_->address();
  QDialog::accept();
}

// --- setup IP address ----------------------------------------------------------------------

IpSetDlg::IpSetDlg(InterfaceHost& host, const std::string& mac, size_t adapter, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Setup IP Address"));
  auto* macText = new QLabel(QString::fromStdString(mac));
  macText->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
  macText->setAccessibleName("Mac Address");
  macText->setObjectName("macText");
  ipEdit_ = new IpAddressEdit;
  auto* mask = new IpAddressEdit;
  auto* gateway = new IpAddressEdit;
  mask->setEnabled(false);
  gateway->setEnabled(false);
  auto* list = new QComboBox;
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(AddressGroup(macText, ipEdit_, mask, gateway, list));
  layout->addWidget(MakeOkCancel(this));
  chooser_ = std::make_unique<InterfaceChooser>(host, list, mask, gateway, adapter);
  for (const SetupRow& row : host.setupList().rows()) {
    if (row.mac == mac) ipEdit_->setAddress(row.ip);
  }
  ipEdit_->setFocus();
}

IpSetDlg::~IpSetDlg() = default;

void IpSetDlg::accept() {
  const std::string ip = ipEdit_->address();
  if (ip == "0.0.0.0") {
    qmx::toolkit::ShowMessageBox(this, "Please set up new IP address");
    return;
  }
  ip_ = ip;
  adapterIndex_ = chooser_->index();
  QDialog::accept();
}

}  // namespace qmx::plenvar
