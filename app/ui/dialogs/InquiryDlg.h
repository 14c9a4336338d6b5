// "Inquiry": the parts of a project or adapter with their quantities, which
// the user may correct and save as a CSV file.
#pragma once

#include "app/ui/dialogs/DialogBase.h"
#include "app/ui/dialogs/state/SmallDialogState.h"

#include <functional>
#include <vector>

namespace qmx::grid {
class GridCtrl;
}

namespace qmx::dialogs {

class InquiryDlg : public DialogBase {
  Q_OBJECT
public:
  // The save-file question: (parent, start folder, default file name) -> the
  // chosen path, empty when cancelled. Tests replace it.
  using SaveFileQuestion =
      std::function<std::string(QWidget* parent, const std::string& folder, const std::string& defaultName)>;
  static SaveFileQuestion s_saveFileQuestion;

  explicit InquiryDlg(QWidget* parent = nullptr);
  ~InquiryDlg() override;

  // The label shown as title line, the scope ("PROJECT" or "NA") and the
  // parts (read only; they stay the caller's).
  void SetScope(const std::string& name, const std::string& scope, const std::vector<InquiryItem>& items);

  // The rows as the grid shows them now (edited quantities included).
  std::vector<InquiryRow> CurrentRows() const;
  // "Save to file": asks for the path, writes, opens the file. 1 saved.
  int OnSaveToFile();

  qmx::grid::GridCtrl* grid() const { return grid_; }

protected:
  bool event(QEvent* event) override;

private:
  void OnShowTechnicalData();

  qmx::grid::GridCtrl* grid_ = nullptr;
  QLabel* scope_ = nullptr;
  QLabel* hint_ = nullptr;
  std::string name_;
  std::string scopeText_ = "PROJECT";
};

}  // namespace qmx::dialogs
