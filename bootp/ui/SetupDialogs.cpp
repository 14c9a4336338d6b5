#include "bootp/ui/SetupDialogs.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/toolkit/message_box.h"

namespace qmx::plenvar {
namespace {

constexpr const char* kCannotRead = "Cannot read device information";

QLabel* Value(const std::string& text, QFormLayout* form, const char* label) {
  auto* value = new QLabel(QString::fromStdString(text));
  value->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
  value->setAccessibleName(QString::fromUtf8(label));
  auto* caption = new QLabel(QString::fromUtf8(label));
  caption->setBuddy(value);
  form->addRow(caption, value);
  return value;
}

// Sets a box without running its click handler.
void SetQuietly(QCheckBox* box, bool checked) {
  const bool blocked = box->blockSignals(true);
  box->setChecked(checked);
  box->blockSignals(blocked);
}

}  // namespace

SetupDlgBase::SetupDlgBase(const char* title, const DeviceAddress& device, QWidget* parent)
    : QDialog(parent), device_(device) {
  setWindowTitle(QString::fromUtf8(title));
  auto* address = new QGroupBox(QStringLiteral("Network Address"));
  auto* addressForm = new QFormLayout(address);
  Value(device.mac.empty() ? "00-00-00-00-00-00" : device.mac, addressForm, "MAC Address");
  Value(device.ip.empty() ? "255.255.255.255" : device.ip, addressForm, "IP Address");
  Value(device.subnetMask.empty() ? "255.255.255.255" : device.subnetMask, addressForm, "Subnet Mask");
  Value(device.gateway.empty() ? "255.255.255.255" : device.gateway, addressForm, "Gateway Address");

  auto* info = new QGroupBox(QStringLiteral("Network Adapter Information"));
  auto* infoLayout = new QVBoxLayout(info);
  auto* infoForm = new QFormLayout;
  name_ = Value("Network Adatper Name", infoForm, "Device Name");
  firmware_ = Value("00.000", infoForm, "Firmware Revision");
  date_ = Value("(00/00/0000)", infoForm, "Firmware Release Date");
  infoLayout->addLayout(infoForm);
  boxes_ = new QVBoxLayout;
  infoLayout->addLayout(boxes_);

  reboot_ = new QPushButton(QStringLiteral("Reboot Device"));
  close_ = new QPushButton(QStringLiteral("Close"));
  for (QPushButton* b : {reboot_, close_}) {
    b->setAutoDefault(false);
    b->setAccessibleName(b->text());
  }
  connect(close_, &QPushButton::clicked, this, &QDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(reboot_);
  buttons->addStretch();
  buttons->addWidget(close_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(address);
  layout->addWidget(info);
  layout->addLayout(buttons);
}

QCheckBox* SetupDlgBase::AddCheckBox(const char* text) {
  auto* box = new QCheckBox(QString::fromUtf8(text));
  box->setAccessibleName(box->text());
  boxes_->addWidget(box);
  // The boxes are made after the buttons below them; Tab still reaches them
  // first, in the order they are shown.
  QWidget::setTabOrder(box, reboot_);
  QWidget::setTabOrder(reboot_, close_);
  return box;
}

void SetupDlgBase::ShowInformation(const std::string& name, const std::string& firmware, const std::string& date) {
  name_->setText(QString::fromStdString(name));
  firmware_->setText(QString::fromStdString(firmware));
  date_->setText(QString::fromStdString(date));
}

// --- Modbus TCP -----------------------------------------------------------------

ModbusSetupDlg::ModbusSetupDlg(ModbusSetupClient& client, const DeviceAddress& device, QWidget* parent)
    : SetupDlgBase("Modbus TCP/IP", device, parent), client_(client) {
  bootp_ = AddCheckBox("Enable Bootp");
  arp_ = AddCheckBox("Enable ARP");
  connect(bootp_, &QCheckBox::clicked, this, [this] { OnSetting(bootp_, setupreg::kBootp); });
  connect(arp_, &QCheckBox::clicked, this, [this] { OnSetting(arp_, setupreg::kArp); });
  connect(reboot_, &QPushButton::clicked, this, [this] { OnReboot(); });
}

bool ModbusSetupDlg::Initialize() {
  busy_ = true;
  bool ok = true;
  if (client_.ConnectDevice(device_.ip)) {
    ModbusDeviceInfo info;
    if (ReadModbusDeviceInfo(client_, &info)) {
      ShowInformation(info.name, info.firmware, info.releaseDate);
      SetQuietly(bootp_, info.bootp != 0);
      SetQuietly(arp_, info.arp != 0);
    } else {
      ok = false;
    }
    client_.Disconnect();
  }
  busy_ = false;
  if (!ok) qmx::toolkit::ShowMessageBox(this, kCannotRead);
  return ok;
}

void ModbusSetupDlg::OnSetting(QCheckBox* box, uint16_t reg) {
  if (busy_) return;
  busy_ = true;
  const bool on = box->isChecked();
  if (WriteModbusSetting(client_, device_.ip, reg, on) == SettingWrite::Refused) SetQuietly(box, !on);
  busy_ = false;
}

void ModbusSetupDlg::OnReboot() {
  if (busy_) return;
  busy_ = true;
  const bool done = RebootModbusDevice(client_, device_.ip);
  busy_ = false;
  if (done) reject();
}

void ModbusSetupDlg::accept() {
  if (busy_) return;
  OnSetting(bootp_, setupreg::kBootp);
  OnSetting(arp_, setupreg::kArp);
  QDialog::accept();
}

// --- EtherNet/IP -------------------------------------------------------------------

EipSetupDlg::EipSetupDlg(EipRequester& eip, const DeviceAddress& device, QWidget* parent)
    : SetupDlgBase("EtherNet/IP", device, parent), eip_(eip) {
  bootp_ = AddCheckBox("Enable Bootp");
  input_ = AddCheckBox("Enable Run/Idle Header, Input");
  output_ = AddCheckBox("Enable Run/Idle Header, output");
  connect(bootp_, &QCheckBox::clicked, this, [this] { OnSetting(bootp_, EipSetting::Bootp); });
  connect(input_, &QCheckBox::clicked, this, [this] { OnSetting(input_, EipSetting::RunIdleInput); });
  connect(output_, &QCheckBox::clicked, this, [this] { OnSetting(output_, EipSetting::RunIdleOutput); });
  connect(reboot_, &QPushButton::clicked, this, [this] { OnReboot(); });
}

bool EipSetupDlg::Initialize() {
  EipDeviceInfo info;
  if (!ReadEipDeviceInfo(eip_, device_.ip, &info)) {
    qmx::toolkit::ShowMessageBox(this, kCannotRead);
    return false;
  }
  ShowInformation(info.productName, info.revision, info.releaseDate);
  SetQuietly(bootp_, info.bootp);
  SetQuietly(input_, info.runIdleInput);
  SetQuietly(output_, info.runIdleOutput);
  return true;
}

void EipSetupDlg::OnSetting(QCheckBox* box, EipSetting setting) {
  const bool on = box->isChecked();
  if (!WriteEipSetting(eip_, device_.ip, setting, on)) SetQuietly(box, !on);
}

void EipSetupDlg::OnReboot() {
  if (RebootEipDevice(eip_, device_.ip)) reject();
}

void EipSetupDlg::accept() {
  OnSetting(bootp_, EipSetting::Bootp);
  OnSetting(input_, EipSetting::RunIdleInput);
  OnSetting(output_, EipSetting::RunIdleOutput);
  QDialog::accept();
}

}  // namespace qmx::plenvar
