// The main dialog "Kestun Automation Bootp Server": the request list (every
// request seen), the setup list (the MAC-to-IP rows replies are made from),
// the start/stop switch and the commands. The lists and the request
// handling live in bootp/core; this class shows them and runs the commands.
#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "bootp/core/bootp_lists.h"
#include "bootp/core/bootp_socket.h"
#include "bootp/core/eip_setup.h"
#include "bootp/core/interface_params.h"
#include "bootp/core/modbus_setup.h"
#include "bootp/ui/InterfaceHost.h"

class QCheckBox;
class QPushButton;
class QSocketNotifier;
class QTreeWidget;
class QTreeWidgetItem;

namespace qmx::plenvar {

struct PlenvarOptions {
  BootpEndpoints bootp;
  NetworkSources sources;
  uint16_t modbusPort = kModbusTcpPort;
  uint16_t eipPort = qmx::cip::kEncapsulationPort;
  int eipPauseMs = 300;
};

class PlenvarDlg : public QDialog, public InterfaceHost {
public:
  explicit PlenvarDlg(PlenvarOptions options = {}, QWidget* parent = nullptr);
  ~PlenvarDlg() override;

  // Opens the server socket; 0 or the socket error (the caller tells the
  // user and ends the program).
  int OpenServerSocket();
  uint16_t serverPort() const { return socket_.LocalPort(); }
  uint16_t configuredServerPort() const { return options_.bootp.serverPort; }

  // InterfaceHost
  const std::vector<Adapter>& adapters() const override { return adapters_; }
  void LoadInterfaceParams(size_t index) override;
  const InterfaceParams& interfaceParams() const override { return iface_; }
  const SetupList& setupList() const override { return setup_; }

  // Commands (public for tests and the context menu).
  void OnStart();
  void OnStop();
  void OnReceiveBootp();
  void OnRequestDoubleClick(QTreeWidgetItem* item);
  void OnAddNewDevice();
  void OnDeleteDevice();
  void OnResetFromMenu();
  void OnResetButton();
  void OnDeviceInformation();
  void OnAbout();
  std::unique_ptr<QDialog> MakeAboutDialog();

  bool started() const { return switches_.started; }
  const RequestList& requestList() const { return requests_; }
  QTreeWidget* requestView() const { return requestView_; }
  QTreeWidget* setupView() const { return setupView_; }
  QCheckBox* makerOnlyBox() const { return makerOnly_; }
  void SetInterfaceParams(const InterfaceParams& p) { iface_ = p; }
  // Adds a setup row as the user's commands do (tests, demonstrations).
  void PutSetupRow(const SetupRow& row);

protected:
  void accept() override {}  // Enter does not close the dialog
  // Not while a device request waits in the event loop.
  void reject() override {
    if (!busy_) QDialog::reject();
  }

private:
  void BuildLayout();
  void ShowContextMenu(const QPoint& at);
  void RefreshSetupView();
  void AddRequestRow(const RequestRow& row);
  int SelectedSetupRow() const;
  // Sends a packet; on failure tells the user and returns false.
  bool SendPacket(const BootpPacket& packet, const std::string& what);

  PlenvarOptions options_;
  RequestSwitches switches_;
  SetupList setup_;
  RequestList requests_;
  std::vector<Adapter> adapters_;
  InterfaceParams iface_;
  // The interface the address dialogs chose last; replies leave through it.
  std::string interfaceName_;
  BootpSocket socket_;
  QSocketNotifier* notifier_ = nullptr;
  qmx::cip::Client cip_;
  ModbusSetupClient probe_;
  bool busy_ = false;
  bool reportingSendFailure_ = false;

  QTreeWidget* requestView_ = nullptr;
  QTreeWidget* setupView_ = nullptr;
  QCheckBox* makerOnly_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* stop_ = nullptr;
};

}  // namespace qmx::plenvar
