// The "Automatic Scan" dialog and the "Send special command" dialog: thin Qt
// layers over app/frame/AutoScan.*.
#pragma once

#include <QDialog>

#include <functional>
#include <memory>
#include <string>

#include "app/frame/scan/AutoScan.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QLabel;
class QSpinBox;

namespace qmx::grid {
class GridCtrl;
}

class AutoScanDlg : public QDialog {
  Q_OBJECT
public:
  AutoScanDlg(const NACatalogue& adapters, const IOCatalogue& modules, const std::string& folder,
              QWidget* parent = nullptr);
  ~AutoScanDlg() override;

  void SetCommInfo(const std::string& busType, const std::string& driverFile, int code);
  void SetScanInfo(const std::string& portRange, const std::string& nodeRange, const std::string& serialSettings);
  std::string GetPortRange() const { return qmx::scan::PortRangeText(ranges_); }
  std::string GetNodeRange() const { return qmx::scan::NodeRangeText(ranges_); }
  std::string GetSerialSettings() const { return ranges_.serialSettings; }
  const ScanResultList* GetResultList() const { return session_.Result(); }
  int IsOverwrite() const { return overwrite_; }
  int IsCopyParameters() const { return copyParameters_; }
  int IsCopyOutputs() const { return copyOutputs_; }
  void FreeScanResult() { session_.Free(); }

  int exec() override;
  // The scan runs through this (the progress dialog in the program; tests
  // may run it in place).
  std::function<int(const std::string& text, int ms, const std::function<int()>& op)> runWithProgress;

  // Message boxes go through this (tests record them).
  std::function<void(const std::string& text)> showBox;

  void OnBtnDoScan();
  void OnOK();
  void OnExit();

private:
  void OnInitDialog();
  void OnBtnSerialSettings();
  bool TakeFields();
  void Box(const std::string& text);

  qmx::scan::AutoScanSession session_;
  std::string folder_;
  std::string busType_;
  std::string driverFile_;
  int code_ = 5;
  int overwrite_ = 1;
  int copyParameters_ = 0;
  int copyOutputs_ = 0;
  qmx::scan::ScanRanges ranges_;

  qmx::grid::GridCtrl* grid_ = nullptr;
  QRadioButton* tcp_ = nullptr;
  QRadioButton* serial_ = nullptr;
  QSpinBox* portFrom_ = nullptr;
  QSpinBox* portTo_ = nullptr;
  QLabel* portTilde_ = nullptr;
  QSpinBox* nodeFrom_ = nullptr;
  QSpinBox* nodeTo_ = nullptr;
  QLineEdit* serialText_ = nullptr;
  QPushButton* serialButton_ = nullptr;
  QPushButton* scan_ = nullptr;
  QRadioButton* overwriteRadio_ = nullptr;
  QRadioButton* addRadio_ = nullptr;
  QCheckBox* copyParaCheck_ = nullptr;
  QCheckBox* copyOutCheck_ = nullptr;
};

class CSpecialCmdDlg : public QDialog {
  Q_OBJECT
public:
  explicit CSpecialCmdDlg(QWidget* parent = nullptr);
  void SetTarget(const std::string& label, const std::string& type);
  int exec() override;

  // The two commands (1 sent), run under the progress dialog by the frame.
  std::function<int()> doRestart;
  std::function<int()> doResetErrCounter;
  std::function<int(const std::string& text, int ms, const std::function<int()>& op)> runWithProgress;
  // Boxes: the question answers true for Yes.
  std::function<bool(const std::string& text)> ask;
  std::function<void(const std::string& text)> showBox;

  void OnBtnRestart();
  void OnBtnResetErrCounter();

private:
  int Run(const std::string& text, const std::function<int()>& op);
  std::string label_;
  std::string type_;
  QLabel* labelText_ = nullptr;
  QLabel* typeText_ = nullptr;
  QPushButton* restart_ = nullptr;
  QPushButton* reset_ = nullptr;
};
