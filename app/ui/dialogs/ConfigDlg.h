// "Configuration": the program options as a property grid. OK checks every
// entry first and applies nothing while one is refused; Cancel leaves the
// options as they were.
#pragma once

#include "app/ui/dialogs/DialogBase.h"
#include "app/ui/dialogs/state/ConfigState.h"

namespace qmx::grid {
class GridCtrl;
}

namespace qmx::dialogs {

class ConfigDlg : public DialogBase {
  Q_OBJECT
public:
  // `save` writes the settings file (the frame's SaveConfig).
  ConfigDlg(AppOptions& options, std::function<int()> save, const std::string& projectsFolder,
            QWidget* parent = nullptr);
  ~ConfigDlg() override;

  qmx::grid::GridCtrl* grid() const { return grid_; }
  // The value text of a row ("parent/name" for the log switches).
  bool SetEntry(const std::string& key, const std::string& value);
  void OnOK();

protected:
  bool event(QEvent* event) override;

private:
  ConfigState::Entries Entries() const;

  ConfigState state_;
  std::vector<ConfigRow> rows_;
  qmx::grid::GridCtrl* grid_ = nullptr;
  QLabel* hint_ = nullptr;
};

}  // namespace qmx::dialogs
