// The main dialog "Kestun Automation Bootp Server": the request list (every
// request seen), the setup list (the MAC-to-IP rows replies are made from),
// the start/stop switch and the commands. The lists and the request
// handling live in bootp/core; this class shows them and runs the commands.
#pragma once

#include <QDialog>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bootp/core/bootp_lists.h"
#include "bootp/core/bootp_server.h"
#include "bootp/core/eip_setup.h"
#include "bootp/core/interface_params.h"
#include "bootp/core/modbus_setup.h"
#include "bootp/ui/InterfaceHost.h"

class QCheckBox;
class QPushButton;
class QSocketNotifier;
class QTimer;
class QTreeView;
class QTreeWidget;

namespace qmx::plenvar {

class RequestListModel;

// How long listed requests wait to be shown together: short enough to look
// immediate, long enough that a burst costs the list one layout.
constexpr int kListBatchMs = 50;

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
  uint16_t serverPort() const { return server_.LocalPort(); }
  uint16_t configuredServerPort() const { return options_.bootp.serverPort; }

  // InterfaceHost
  const std::vector<Adapter>& adapters() const override { return adapters_; }
  void LoadInterfaceParams(size_t index) override;
  const InterfaceParams& interfaceParams() const override { return iface_; }
  const SetupList& setupList() const override { return server_.setup(); }

  // Commands (public for tests and the context menu).
  void OnStart();
  void OnStop();
  // Answers every request waiting on the server socket (up to
  // kDatagramsPerWake), then queues their rows for the list's next batch:
  // however many unlisted devices call, listing never delays an answer.
  void OnReceiveBootp();
  // Double click or Enter on a row of the request list.
  void OnRequestActivated(int row);
  void OnAddNewDevice();
  void OnDeleteDevice();
  void OnResetFromMenu();
  void OnResetButton();
  void OnDeviceInformation();
  void OnAbout();
  std::unique_ptr<QDialog> MakeAboutDialog();

  bool started() const { return server_.switches().started; }
  const RequestList& requestList() const;
  QTreeView* requestView() const { return requestView_; }
  QTreeWidget* setupView() const { return setupView_; }
  // Adds a setup row as the user's commands do (tests, demonstrations).
  void PutSetupRow(const SetupRow& row);
  // Adds a whole table at once (one refresh of the setup list).
  void PutSetupRows(const std::vector<SetupRow>& rows);

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
  void ShowQueuedRequests();
  int SelectedSetupRow() const;
  // True for a send that succeeded; otherwise tells the user (one box at a
  // time) and returns false.
  bool Sent(int rc, const std::string& what);
  void ShowSendFailure(const std::string& text);
  // Notes whether the last reply to a device left (error 0) or why not; true
  // when the note changed. A setup row carries the note until a reply leaves.
  bool MarkReply(const std::string& mac, int error);
  // A reply that did not leave: its setup row stays as typed.
  void ReportUnsentReply(const std::string& mac, int error);

  PlenvarOptions options_;
  BootpServer server_;
  std::vector<Adapter> adapters_;
  InterfaceParams iface_;
  // The interface the address dialogs chose last: packets that answer no
  // request leave through it (through every interface while it is empty).
  std::string interfaceName_;
  QSocketNotifier* notifier_ = nullptr;
  RequestListModel* requestModel_ = nullptr;
  QTimer* listTimer_ = nullptr;
  qmx::cip::Client cip_;
  ModbusSetupClient probe_;
  bool busy_ = false;
  bool reportingSendFailure_ = false;
  // MAC -> why the last reply to that device could not be sent; only MACs
  // of the setup list.
  std::map<std::string, std::string> unsent_;

  QTreeView* requestView_ = nullptr;
  QTreeWidget* setupView_ = nullptr;
  QCheckBox* makerOnly_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* stop_ = nullptr;
};

}  // namespace qmx::plenvar
