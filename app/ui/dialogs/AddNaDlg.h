// "Add Network Adapter": picks an adapter definition that serves the
// project's bus type, its title and its communication entries.
#pragma once

#include "app/ui/dialogs/DialogBase.h"
#include "app/ui/dialogs/state/AddNaState.h"

class QComboBox;
class QLineEdit;
class QListWidget;

namespace qmx::dialogs {

class CAddNaDlg : public DialogBase {
  Q_OBJECT
public:
  CAddNaDlg(const NACatalogue& catalogue, const TextIdMap& textIds, QWidget* parent = nullptr);

  void SetPrjCommInfo(CProjectUsr* project, int typeCode, const std::string& comPort,
                      const std::string& serialSettings, const std::string& nodeAddress);
  // The frame's IsValidNaPropInPrj (messages on).
  void SetPropertyCheck(AddNaState::PropertyCheck check) { state_.SetPropertyCheck(std::move(check)); }
  const NADef* GetResult(std::string& ip, std::string& comPort, std::string& serialSettings,
                         std::string& nodeAddress, std::string& title) const {
    return state_.GetResult(ip, comPort, serialSettings, nodeAddress, title);
  }

  QListWidget* adapterList() const { return list_; }
  QLineEdit* titleEdit() const { return title_; }
  QLineEdit* ipEdit() const { return ip_; }
  QLineEdit* comEdit() const { return com_; }
  QComboBox* nodeCombo() const { return node_; }
  QLabel* serialField() const { return serial_; }
  QPushButton* serialButton() const { return serialButton_; }
  void OnComplete();

private:
  void ShowSelection(int row);
  void OnSerialSettings();

  AddNaState state_;
  QListWidget* list_ = nullptr;
  QLineEdit* title_ = nullptr;
  QLineEdit* ip_ = nullptr;
  QLabel* serial_ = nullptr;
  QPushButton* serialButton_ = nullptr;
  QComboBox* node_ = nullptr;
  QLineEdit* com_ = nullptr;
  QLabel* description_ = nullptr;
  QLabel* busType_ = nullptr;
};

}  // namespace qmx::dialogs
