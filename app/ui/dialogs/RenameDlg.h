// "Rename": shows the old name and asks for a new one.
#pragma once

#include "app/ui/dialogs/DialogBase.h"

class QLineEdit;

namespace qmx::dialogs {

class CRenameDlg : public DialogBase {
  Q_OBJECT
public:
  explicit CRenameDlg(QWidget* parent = nullptr);

  void SetOldName(const std::string& name);
  // The entered name, trimmed (after OK).
  const std::string& GetNewName() const { return newName_; }

  QLineEdit* nameEdit() const { return edit_; }

private:
  void OnOK();

  QLabel* oldName_ = nullptr;
  QLineEdit* edit_ = nullptr;
  std::string newName_;
};

}  // namespace qmx::dialogs
