// The device setup dialogs of "Device Information": "Modbus TCP/IP" and
// "EtherNet/IP". Each shows the device's address, name, firmware and release
// date, lets the user switch its settings (every click is written to the
// device at once; a refused write turns the box back) and reboot it.
#pragma once

#include <QDialog>
#include <string>

#include "bootp/core/eip_setup.h"
#include "bootp/core/modbus_setup.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace qmx::plenvar {

struct DeviceAddress {
  std::string ip;
  std::string interfaceAddress;
  std::string subnetMask;
  std::string gateway;
  std::string mac;
};

// The parts both dialogs share.
class SetupDlgBase : public QDialog {
public:
  // Not while a device request waits in the event loop.
  void reject() override {
    if (!busy_) QDialog::reject();
  }

protected:
  SetupDlgBase(const char* title, const DeviceAddress& device, QWidget* parent);
  QCheckBox* AddCheckBox(const char* text);
  void ShowInformation(const std::string& name, const std::string& firmware, const std::string& date);
  // While a request is out further clicks are ignored.
  bool busy_ = false;
  DeviceAddress device_;
  QLabel* name_;
  QLabel* firmware_;
  QLabel* date_;
  QPushButton* reboot_;
  QPushButton* close_;

private:
  QVBoxLayout* boxes_;
};

class ModbusSetupDlg : public SetupDlgBase {
public:
  ModbusSetupDlg(ModbusSetupClient& client, const DeviceAddress& device, QWidget* parent = nullptr);
  // Reads the device; false when it answered the connection but not the
  // reads ("Cannot read device information" has been shown, do not run the
  // dialog). A device that cannot be reached leaves the default texts.
  bool Initialize();
  void accept() override;

  QCheckBox* bootpBox() const { return bootp_; }
  QCheckBox* arpBox() const { return arp_; }
  void OnSetting(QCheckBox* box, uint16_t reg);
  void OnReboot();

private:
  ModbusSetupClient& client_;
  QCheckBox* bootp_;
  QCheckBox* arp_;
};

class EipSetupDlg : public SetupDlgBase {
public:
  EipSetupDlg(EipRequester& eip, const DeviceAddress& device, QWidget* parent = nullptr);
  bool Initialize();
  void accept() override;

  QCheckBox* bootpBox() const { return bootp_; }
  QCheckBox* runIdleInputBox() const { return input_; }
  QCheckBox* runIdleOutputBox() const { return output_; }
  void OnSetting(QCheckBox* box, EipSetting setting);
  void OnReboot();

private:
  EipRequester& eip_;
  QCheckBox* bootp_;
  QCheckBox* input_;
  QCheckBox* output_;
};

}  // namespace qmx::plenvar
