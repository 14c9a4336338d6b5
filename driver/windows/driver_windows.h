// The driver library's own windows: the Address Map window, the "Modbus
// communication" messenger and its "Serial Communication Setting" window.
// Each runs modally on the caller's thread, which must be the thread of the
// caller's QApplication; without one nothing is shown (the export logs why).
#pragma once

#include <QDialog>

#include <map>
#include <string>
#include <vector>

#include "driver/include/tessivar.h"
#include "driver/messenger.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace qmx::grid {
class GridCtrl;
}

namespace tessivar::windows {

// Installs the windows as the driver object's window host; the shared
// library does this when it is loaded.
void InstallDriverWindows();

class AddressMapDlg : public QDialog {
  Q_OBJECT
public:
  AddressMapDlg(const AddressMapInfo* map, const std::string& inputModeText, const std::string& outputModeText,
                QWidget* parent = nullptr);

private:
  qmx::grid::GridCtrl* grid_ = nullptr;
};

class SerialSettingDlg : public QDialog {
  Q_OBJECT
public:
  explicit SerialSettingDlg(QWidget* parent = nullptr);
  // Takes "baud, data, parity, stop" before the window is shown; false (and
  // nothing changed) with fewer than four fields.
  bool SetText(const std::string& text);
  // The four values joined with ", " (after OK).
  std::string GetText() const { return values_.GetText(); }
  int exec() override;

private:
  void OnOk();

  SerialSettingValues values_;
  QComboBox* lists_[4] = {};
};

class MessengerDlg : public QDialog {
  Q_OBJECT
public:
  explicit MessengerDlg(const std::string& libraryFolder, QWidget* parent = nullptr);
  ~MessengerDlg() override;

  // The controls the window's tests drive.
  MessengerFields Fields() const;
  void SetProtocol(int index);
  void SetFunction(int index);
  // Loads a built-in message file as the "..." button does after its box.
  // False when the file cannot be read; `refusal` then names a file refused for its size.
  bool LoadMessageFile(const std::string& path, std::string* refusal = nullptr);
  void ApplyMessage(const std::string& name);

protected:
  void keyPressEvent(QKeyEvent* event) override;

private:
  void OnSerialSettings();
  void OnSend();
  void OnOpenMessages();
  void RefreshReply();
  void FocusField(int field);

  std::string libraryFolder_;
  std::map<std::string, BuiltInMessage> messages_;
  std::vector<uint8_t> reply_;
  bool succeeded_ = false;
  TcpCommSetting tcp_ = MessengerTcpDefaults();
  SerialCommSetting serial_ = MessengerSerialDefaults();

  QComboBox* protocol_ = nullptr;
  QLabel* ipLabel_ = nullptr;
  QLineEdit* ip_ = nullptr;
  QLabel* comLabel_ = nullptr;
  QLineEdit* comPort_ = nullptr;
  QLabel* serialLabel_ = nullptr;
  QLineEdit* serialText_ = nullptr;
  QPushButton* serialButton_ = nullptr;
  QLineEdit* slave_ = nullptr;
  QComboBox* function_ = nullptr;
  QLineEdit* address_ = nullptr;
  QLineEdit* quantity_ = nullptr;
  QLabel* unit_ = nullptr;
  QLineEdit* sendData_ = nullptr;
  QPushButton* send_ = nullptr;
  QPlainTextEdit* replyText_ = nullptr;
  QButtonGroup* formats_ = nullptr;
  QCheckBox* swap_ = nullptr;
  QLineEdit* trim_ = nullptr;
  QListWidget* messageList_ = nullptr;
  QLineEdit* fileName_ = nullptr;
  QLineEdit* status_ = nullptr;
};

}  // namespace tessivar::windows
