// The three small dialogs of the main dialog's commands: "Reset Device with
// Network Default" (a MAC to reset), "Add New Device" (a new setup row) and
// "Setup IP Address" (the address for a device that sent a request).
#pragma once

#include <QDialog>
#include <array>
#include <memory>
#include <string>

#include "bootp/ui/InterfaceHost.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qmx::plenvar {

class IpAddressEdit;

// Six two-digit MAC part edits; a full part moves the focus on, the last
// one to `after`.
class MacPartsEdit : public QWidget {
public:
  explicit MacPartsEdit(QWidget* parent = nullptr);
  void SetFocusAfter(QWidget* after) { after_ = after; }
  std::array<std::string, 6> parts() const;
  void SetParts(const std::array<std::string, 6>& parts);
  QLineEdit* first() const { return edits_[0]; }

private:
  std::array<QLineEdit*, 6> edits_{};
  QWidget* after_ = nullptr;
};

class ResetDlg : public QDialog {
public:
  // `mac`: the selected row's MAC (may be empty), in any form the table holds.
  ResetDlg(const std::string& mac, QWidget* parent = nullptr);
  // Twelve upper-case hexadecimal digits.
  const std::string& mac12() const { return mac12_; }
  void accept() override;

private:
  MacPartsEdit* parts_;
  std::string mac12_;
};

// Fills the "Interface" list and keeps the host's parameters loaded for the
// chosen entry, `first` to begin with (entry 0 when the list has no such
// entry); shows the interface's mask and gateway.
class InterfaceChooser {
public:
  InterfaceChooser(InterfaceHost& host, QComboBox* list, IpAddressEdit* mask, IpAddressEdit* gateway,
                   size_t first = 0);
  int index() const { return index_; }

private:
  void Select(int index);
  InterfaceHost& host_;
  QComboBox* list_;
  IpAddressEdit* mask_;
  IpAddressEdit* gateway_;
  int index_ = 0;
};

class NewIpSetDlg : public QDialog {
public:
  NewIpSetDlg(InterfaceHost& host, QWidget* parent = nullptr);
  ~NewIpSetDlg() override;
  void accept() override;
  const std::string& ip() const { return ip_; }
  const std::string& mac() const { return mac_; }
  const std::string& subnetMask() const { return mask_; }
  const std::string& gateway() const { return gateway_; }

private:
  MacPartsEdit* parts_;
  IpAddressEdit* ipEdit_;
  IpAddressEdit* maskEdit_;
  IpAddressEdit* gatewayEdit_;
  std::unique_ptr<InterfaceChooser> chooser_;
  std::string ip_, mac_, mask_, gateway_;
};

class IpSetDlg : public QDialog {
public:
  // Opens on `adapter`: the interface the request came in by.
  IpSetDlg(InterfaceHost& host, const std::string& mac, size_t adapter = 0, QWidget* parent = nullptr);
  ~IpSetDlg() override;
  void accept() override;
  const std::string& ip() const { return ip_; }

private:
  IpAddressEdit* ipEdit_;
  std::unique_ptr<InterfaceChooser> chooser_;
  std::string ip_;
  int adapterIndex_ = 0;
};

// Builds the "Ok" / "Cancel" row; Enter presses nothing by itself.
QWidget* MakeOkCancel(QDialog* dialog, const char* okText = "Ok");

}  // namespace qmx::plenvar
