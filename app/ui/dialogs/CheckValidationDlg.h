// "Validation Result": the findings of a project or adapter validation as a
// three-level tree (location, module or project heading, failed rule).
#pragma once

#include "app/model/ConfigValidation.h"
#include "app/ui/dialogs/DialogBase.h"

namespace qmx::grid {
class GridCtrl;
}

namespace qmx::dialogs {

class CheckValidationDlg : public DialogBase {
  Q_OBJECT
public:
  explicit CheckValidationDlg(QWidget* parent = nullptr);
  ~CheckValidationDlg() override;

  // Kind "Project" or "NA", the target's label and tree item, the heading
  // and the rows (taken over; freed when OK closes the dialog).
  void SetValidationResult(const std::string& kind, const std::string& target, TreeItem item,
                           const std::string& result, ValidationList& rows);

  qmx::grid::GridCtrl* grid() const { return grid_; }
  QLabel* measureField() const { return measure_; }

protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void OnOK();
  void FitMeasureColumn();

  qmx::grid::GridCtrl* grid_ = nullptr;
  QLabel* kind_ = nullptr;
  QLabel* target_ = nullptr;
  QLabel* result_ = nullptr;
  QLabel* measure_ = nullptr;
  ValidationList rows_;
};

}  // namespace qmx::dialogs
