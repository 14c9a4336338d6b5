// "New Project": the name, bus type and folder of a new project.
#pragma once

#include "app/model/TextIdList.h"
#include "app/ui/dialogs/DialogBase.h"
#include "app/ui/dialogs/state/SmallDialogState.h"

#include <vector>

class QComboBox;
class QLineEdit;

namespace qmx::dialogs {

class CProjectNewDlg : public DialogBase {
  Q_OBJECT
public:
  // `busTypes`: the frame's bus-type list; `isOpen`: the frame's
  // IsOpenedProject; `projectsFolder`: the folder first offered.
  CProjectNewDlg(const std::vector<std::string>& busTypes, const TextIdMap& textIds,
                 ProjectNewState::OpenCheck isOpen, const std::string& projectsFolder, QWidget* parent = nullptr);

  const std::string& GetName() const { return state_.Name(); }
  const std::string& GetFolder() const { return state_.Folder(); }
  // 1-based position of the chosen bus type; -1 until OK.
  int GetBusType() const { return state_.BusType(); }
  // The user agreed to replace an existing project file of that name: the
  // file gives way when the new project is saved, not before.
  bool ReplaceExistingFile() const { return state_.ReplaceExistingFile(); }

  QLineEdit* nameEdit() const { return name_; }
  QLineEdit* folderEdit() const { return folder_; }
  QComboBox* busTypeCombo() const { return busType_; }

private:
  void OnComplete();
  void OnBrowse();

  ProjectNewState state_;
  QLineEdit* name_ = nullptr;
  QLineEdit* folder_ = nullptr;
  QComboBox* busType_ = nullptr;
};

}  // namespace qmx::dialogs
