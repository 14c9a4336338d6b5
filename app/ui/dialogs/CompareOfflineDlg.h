// "Compare with Offline": confirms the target adapter, lets the user choose
// the scope and runs the comparison, or shows the rows a transfer or the
// start of monitoring found.
#pragma once

#include "app/model/ProjectTree.h"
#include "app/ui/dialogs/DialogBase.h"
#include "app/ui/dialogs/state/CompareOfflineState.h"

#include <functional>

class CNAUsr;
class QCheckBox;

namespace qmx::grid {
class GridCtrl;
}

namespace qmx::dialogs {

class CompareOfflineDlg : public DialogBase {
  Q_OBJECT
public:
  // Runs the comparison (rows, configuration flag, parameters flag): 1 equal,
  // 2 different, 0 failed.
  using CompareFunction = std::function<int(CompareResultList& rows, int configuration, int parameters)>;

  explicit CompareOfflineDlg(QWidget* parent = nullptr);
  ~CompareOfflineDlg() override;

  void SetCompareTarget(const std::string& kind, const std::string& label, CNAUsr* adapter, TreeItem item);
  // Rows shown as the dialog opens; they are taken and the list emptied.
  void SetPresetResults(CompareResultList& rows);
  // The comparison runs under the progress window the caller's function
  // shows ("Comparing ...").
  void SetCompareFunction(CompareFunction compare) { compare_ = std::move(compare); }

  // "Start comparing": the comparison's result (also when refused: -1).
  int OnBtnDoCompare();

  qmx::grid::GridCtrl* grid() const { return grid_; }
  QCheckBox* parametersCheck() const { return parameters_; }
  QPushButton* compareButton() const { return compareButton_; }

protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void ShowRows(CompareResultList& rows);

  qmx::grid::GridCtrl* grid_ = nullptr;
  QLabel* kindText_ = nullptr;
  QLabel* labelText_ = nullptr;
  QCheckBox* configuration_ = nullptr;
  QCheckBox* parameters_ = nullptr;
  QPushButton* compareButton_ = nullptr;
  std::string kind_;
  std::string label_;
  CNAUsr* adapter_ = nullptr;
  TreeItem item_ = kNoTreeItem;
  CompareResultList preset_;
  bool presetShown_ = false;
  CompareFunction compare_;
};

}  // namespace qmx::dialogs
