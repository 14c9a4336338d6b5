// "Properties" of a project, adapter or module: the settable communication
// values are edited in place and reach the object at once; OK checks an
// adapter against its project, Cancel puts the communication values back.
#pragma once

#include "app/ui/dialogs/DialogBase.h"
#include "app/ui/dialogs/state/PropertiesState.h"

#include <memory>

namespace qmx::grid {
class GridCtrl;
}

namespace qmx::dialogs {

class CPropertiesDlg : public DialogBase {
  Q_OBJECT
public:
  CPropertiesDlg(const TextIdMap& textIds, const ErrorMap& errors, PropertiesState::Frame frame,
                 QWidget* parent = nullptr);
  ~CPropertiesDlg() override;

  // The object and its kind text; builds the rows.
  void SetTarget(Wrapper* object, const std::string& kindText);

  qmx::grid::GridCtrl* grid() const { return grid_; }
  QPushButton* okButton() const { return ok_; }
  QPushButton* helpButton() const { return help_; }
  void OnOK();
  void OnCancel() override;

protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  class EditServices;

  // Sizes the two columns to their texts and the grid.
  void FitColumns();

  PropertiesState state_;
  std::unique_ptr<EditServices> services_;
  qmx::grid::GridCtrl* grid_ = nullptr;
  QLabel* name_ = nullptr;
  QLabel* description_ = nullptr;
  QLabel* hint_ = nullptr;
  QLabel* selected_ = nullptr;
  QPushButton* help_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace qmx::dialogs
