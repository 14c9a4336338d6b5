#include "app/ui/dialogs/ProjectNewDlg.h"

#include "common/Utility.h"
#include "widgets/grid/FolderBrowser.h"
#include "widgets/grid/GridHooks.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <filesystem>
#include <system_error>

namespace qmx::dialogs {

CProjectNewDlg::CProjectNewDlg(const std::vector<std::string>& busTypes, const TextIdMap& textIds,
                               ProjectNewState::OpenCheck isOpen, const std::string& projectsFolder,
                               QWidget* parent)
    : DialogBase(parent, "New Project"), state_(std::move(isOpen)) {
  name_ = new QLineEdit(this);
  name_->setProperty("controlId", 1048);
  busType_ = new QComboBox(this);
  busType_->setProperty("controlId", 1096);
  int data = 1;
  for (const std::string& text : ProjectNewState::BusTypeTexts(busTypes, textIds)) {
    busType_->addItem(QString::fromStdString(text), data++);
  }
  busType_->setCurrentIndex(-1);
  folder_ = new QLineEdit(QString::fromStdString(projectsFolder), this);
  folder_->setProperty("controlId", 1047);
  QPushButton* browse = MakeButton("...", 0);
  browse->setAccessibleName("Browse for the project folder");
  QPushButton* ok = MakeButton("OK", kOkButtonId);
  QPushButton* cancel = MakeButton("Cancel", kCancelButtonId);

  auto* grid = new QGridLayout(this);
  grid->addWidget(MakeLabel("Project &Name:", name_), 0, 0);
  grid->addWidget(name_, 0, 1, 1, 2);
  grid->addWidget(MakeLabel("&Bus Type:", busType_), 1, 0);
  grid->addWidget(busType_, 1, 1, 1, 2);
  grid->addWidget(MakeLabel("Project &Folder:", folder_), 2, 0);
  grid->addWidget(folder_, 2, 1);
  grid->addWidget(browse, 2, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  grid->addLayout(buttons, 3, 0, 1, 3);
  grid->setColumnMinimumWidth(1, 320);

  connect(browse, &QPushButton::clicked, this, [this] { OnBrowse(); });
  SetReturnButton(ok);
  connect(ok, &QPushButton::clicked, this, [this] { OnComplete(); });
  connect(cancel, &QPushButton::clicked, this, [this] { OnCancel(); });
  name_->setFocus();
}

void CProjectNewDlg::OnBrowse() {
  std::string chosen;
  if (grid::DefaultGridFrameServices().ChooseFolder(this, "Project Folder", "Select a project directory.",
                                                    folder_->text().toStdString(), chosen)) {
    folder_->setText(QString::fromStdString(chosen));
  }
}

void CProjectNewDlg::OnComplete() {
  if (!state_.Complete(name_->text().toStdString(), folder_->text().toStdString(), busType_->currentIndex())) return;
  // The project is saved into its folder later: a folder that does not exist
  // is made now, once the user agrees, as the folder chooser makes it.
  const std::string folder = TrimStr(state_.Folder());
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec) && grid::CheckFolder(folder, this) != 0) return;
  done(kIdOk);
}

}  // namespace qmx::dialogs
