// The "Comment" tab: a free comment kept in the title of the selected
// project-tree object, edited in place.
#pragma once

#include "app/ui/views/TabChildView.h"

class QPlainTextEdit;

class CCommnetView : public CTabChildView {
  Q_OBJECT
public:
  explicit CCommnetView(QWidget* parent = nullptr);

  int RefreshView(int bForce) override;
  int UpdateOnlineVals(int value) override;
  int ClearView() override;
  int DoChangeModuleNameIcon(int) override { return 2; }

  QPlainTextEdit* editor() const { return edit_; }

private:
  void OnChangeEditComment();
  void ShowComment(const std::string& comment);

  QPlainTextEdit* edit_ = nullptr;
  std::string comment_;
  bool filling_ = false;  // the view itself writes the editor
};
