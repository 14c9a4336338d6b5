// The folder chooser of folder cells: a folder tree with an edit line of its
// own; the folder typed or picked is checked and, when missing, created after
// asking. Paths are absolute Linux paths.
#pragma once

#include <QDialog>
#include <QString>

#include <string>

class QDialogButtonBox;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QTreeView;

namespace qmx::grid {

// One path component: not empty, neither first nor last character a tab, a
// blank or '.', none of " * / : < > ? \ |.
bool IsValidFolderName(const std::string& name);

// 0 valid (and, unless checkOnly, created with every missing level), 1 invalid,
// 2 cannot be created or does not exist. A valid path is absolute ("/" or
// "/a/b"), does not end with "/" (except the root), has no "." or ".."
// component, and every component still to be created passes
// IsValidFolderName (the folders that exist on the way are taken as they are).
int ValidatePath(const std::string& path, bool checkOnly);

// Validates the path and offers to create it, with the chooser's messages:
// 0 fine, -1 the user declined creating it, 1 invalid, 2 cannot be created.
int CheckFolder(const std::string& path, QWidget* parent = nullptr);

class FolderBrowser : public QDialog {
  Q_OBJECT

public:
  // A null owner means the application's active window.
  FolderBrowser(const std::string& caption, const std::string& instruction, const std::string& startFolder,
                QWidget* owner = nullptr);
  ~FolderBrowser() override;

  // 1 when a folder was accepted, else -1.
  int DoModal();
  std::string GetFolder() const { return result_; }

  QLineEdit* EditLine() const { return edit_; }
  QTreeView* FolderTree() const { return tree_; }
  QPushButton* OkButton() const;

private:
  void OnTreeSelection();
  // Scrolls the start folder into view while it is still the current one
  // and the user has not taken the tree over.
  void ShowStartFolder();
  bool eventFilter(QObject* watched, QEvent* event) override;
  void OnEditChanged();
  void OnOk();

  QLabel* instruction_ = nullptr;
  QLabel* status_ = nullptr;
  QLineEdit* edit_ = nullptr;
  QTreeView* tree_ = nullptr;
  QFileSystemModel* fsModel_ = nullptr;
  QDialogButtonBox* buttons_ = nullptr;
  std::string result_;
  int accepted_ = 0;
  QString start_;
  bool followStart_ = false;
  QTimer* scrollTimer_ = nullptr;
};

}  // namespace qmx::grid
