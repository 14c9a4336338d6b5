// "Reset to factory default" and "Select a target for ...": the choice
// between the selected object alone and the adapter (or project) with all
// its modules, for reset, download, reset of parameters and copy to project.
#pragma once

#include "app/ui/dialogs/DialogBase.h"

#include <string>

class QPushButton;

namespace qmx::dialogs {

class CResetFactoryDlg : public DialogBase {
  Q_OBJECT
public:
  explicit CResetFactoryDlg(QWidget* parent = nullptr);

  // The target's kind ("PROJECT", "NA", "IO"), its label, and 1 when the
  // target may be taken with all its modules.
  void SetTarget(const std::string& kind, const std::string& label, int mayIncludeModules);
  // 1: with all modules; 0: the target only (read after kIdOk).
  int GetResult() const { return choice_; }

  QPushButton* allButton() const { return all_; }
  QPushButton* selectedButton() const { return selected_; }
  QPushButton* cancelButton() const { return cancel_; }

protected:
  CResetFactoryDlg(QWidget* parent, const std::string& title, const std::string& allText,
                   const std::string& selectedText);
  // Fills the texts and shows the buttons the target allows; each time the
  // dialog is shown.
  virtual void OnInitDialog();
  void showEvent(QShowEvent* event) override;
  void SetButtonText(QPushButton* button, const std::string& text);
  void OnBtnAll();
  void OnBtnSelected();

  std::string kind_;
  std::string label_;
  int mayIncludeModules_ = 0;
  int choice_ = 0;
  QLabel* kindText_ = nullptr;
  QLabel* labelText_ = nullptr;
  QPushButton* all_ = nullptr;
  QPushButton* selected_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

class CDownloadTargetDlg : public CResetFactoryDlg {
  Q_OBJECT
public:
  explicit CDownloadTargetDlg(QWidget* parent = nullptr);

  // E.g. ("download parameters", "Download to"), ("reset parameters", "Reset").
  void SetActionTexts(const std::string& action, const std::string& verb);

protected:
  void OnInitDialog() override;

private:
  std::string action_;
  std::string verb_;
};

}  // namespace qmx::dialogs
