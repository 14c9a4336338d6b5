// "Serial Communication Setting": baud rate, data bits, parity and stop bits
// of a serial line, taken and given as one text ("9600, 8, NOPARITY, 1").
#pragma once

#include "app/ui/dialogs/DialogBase.h"
#include "app/ui/dialogs/state/CommandDialogState.h"

#include <string>

class QComboBox;

namespace qmx::dialogs {

class CSerialCommSetDlg : public DialogBase {
  Q_OBJECT
public:
  explicit CSerialCommSetDlg(QWidget* parent = nullptr);

  // True when the text has four fields; else the fields stay as they were.
  bool SetCommSetString(const std::string& text);
  std::string GetCommSetString() const { return setting_.Text(); }

  QComboBox* baudRateList() const { return baud_; }
  QComboBox* stopBitsList() const { return stop_; }

protected:
  // Selects the stored values each time the dialog is shown; a value that is
  // not offered leaves its list without a selection.
  void showEvent(QShowEvent* event) override;

private:
  void OnInitDialog();
  void OnOK();

  SerialCommSetting setting_;
  QComboBox* baud_ = nullptr;
  QComboBox* data_ = nullptr;
  QComboBox* parity_ = nullptr;
  QComboBox* stop_ = nullptr;
};

}  // namespace qmx::dialogs
