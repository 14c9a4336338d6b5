// "Add IO Modules": the catalogue's modules that fit an adapter on the left,
// the adapter's line-up on the right; ">>", "<<", "Up", "Down" and "Rename"
// change the line-up after the field-power check, OK hands it over.
#pragma once

#include "app/ui/dialogs/DialogBase.h"
#include "app/ui/dialogs/state/AddIoState.h"

#include <functional>
#include <vector>

class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace qmx::dialogs {

class AddIoDlg : public DialogBase {
  Q_OBJECT
public:
  AddIoDlg(const IOCatalogue& catalogue, const ErrorMap& errors, QWidget* parent = nullptr);
  ~AddIoDlg() override;

  // Set-up before DoModal, in this order.
  void SetNAInfo(const std::string& displayName, CNAUsr* adapter);
  void SetExpansionInfo(int maxExpansion, int presentCommunicating, int presentOther) {
    state_.SetExpansionInfo(maxExpansion, presentCommunicating, presentOther);
  }
  void SetCurIOList(const std::vector<CIOUsr*>& modules) { state_.SetCurIOList(modules); }
  void SetNewIOList(std::vector<CIOUsr*>* output) { state_.SetNewIOList(output); }
  void SetNamingMode(int mode);

  // The rename question (the Rename dialog by default): old name -> true and
  // the new name. Tests replace it.
  using RenameQuestion = std::function<bool(QWidget* parent, const std::string& oldName, std::string& newName)>;
  static RenameQuestion s_renameQuestion;

  QTreeWidget* catalogueTree() const { return left_; }
  QTreeWidget* lineUpTree() const { return right_; }
  QLineEdit* userTitleEdit() const { return userTitle_; }

  void OnBtnAdd();
  void OnBtnRemove();
  void OnBtnUp();
  void OnBtnDown();
  void OnBtnRename();
  void OnComplete();

protected:
  void showEvent(QShowEvent* event) override;

private:
  void Build();
  void FillCatalogue();
  void ShowLineUp();
  void OnCatalogueSelection();
  void OnLineUpSelection();
  const IODef* SelectedDefinition() const;

  const IOCatalogue& catalogue_;
  AddIoState state_;
  std::vector<QIcon> images_;
  QTreeWidget* left_ = nullptr;
  QTreeWidget* right_ = nullptr;
  QTreeWidgetItem* root_ = nullptr;
  QLineEdit* userTitle_ = nullptr;
  QLabel* description_ = nullptr;
  bool filling_ = false;
  bool built_ = false;
};

}  // namespace qmx::dialogs
