#include "widgets/grid/FolderBrowser.h"

#include "platform/toolkit/message_box.h"
#include "widgets/grid/GridTypes.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <filesystem>
#include <system_error>
#include <vector>

namespace qmx::grid {

namespace fs = std::filesystem;

bool IsValidFolderName(const std::string& name) {
  if (name.empty()) return false;
  auto edgeBad = [](char c) { return c == '\t' || c == ' ' || c == '.'; };
  if (edgeBad(name.front()) || edgeBad(name.back())) return false;
  return name.find_first_of("\"*/:<>?\\|") == std::string::npos;
}

int ValidatePath(const std::string& path, bool checkOnly) {
  if (path.empty() || path.front() != '/') return 1;
  if (path == "/") return 0;
  if (path.back() == '/') return 1;
  std::vector<std::string> components;
  for (size_t start = 1; start <= path.size();) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    components.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  // The name rule is for folders the user makes: the part of the path that
  // exists already is taken as it is (a hidden folder such as ~/.local on
  // the way is fine), every folder still to be created must pass it.
  fs::path existing("/");
  bool creating = false;
  for (const std::string& c : components) {
    if (c == "." || c == "..") return 1;
    std::error_code ec;
    if (!creating && !c.empty() && fs::is_directory(existing / c, ec)) {
      existing /= c;
      continue;
    }
    creating = true;
    if (!IsValidFolderName(c)) return 1;
  }
  if (checkOnly) return 0;
  fs::path current("/");
  for (const std::string& c : components) {
    current /= c;
    std::error_code ec;
    if (!fs::is_directory(current, ec)) fs::create_directory(current, ec);
    if (!fs::is_directory(current, ec)) return 2;
  }
  return 0;
}

namespace {

int ReportValidation(int code, const std::string& path, QWidget* parent) {
  using namespace qmx::toolkit;
  if (code == 1) {
    ShowMessageBox(parent, "The folder:\n\n" + path + "\n\nis invalid. Please reenter.", {}, kMbOk | kMbIconWarning);
    return 1;
  }
  if (code == 2) {
    ShowMessageBox(parent, "The folder:\n\n" + path + "\n\ncan not be created. Please double check.", {},
                   kMbOk | kMbIconWarning);
    return 2;
  }
  return 0;
}

}  // namespace

int CheckFolder(const std::string& path, QWidget* parent) {
  using namespace qmx::toolkit;
  if (int code = ValidatePath(path, true)) return ReportValidation(code, path, parent);
  std::error_code ec;
  if (fs::is_directory(path, ec)) return 0;
  const int answer =
      ShowMessageBox(parent, "The folder:\n\n" + path + "\n\ndoes not exist. Do you want the folder to be created?", {},
                     kMbYesNo | kMbIconQuestion);
  if (answer != kIdYes) return -1;
  return ReportValidation(ValidatePath(path, false), path, parent);
}

FolderBrowser::FolderBrowser(const std::string& caption, const std::string& instruction,
                             const std::string& startFolder, QWidget* owner)
    : QDialog(owner ? owner : QApplication::activeWindow()) {
  setObjectName(QStringLiteral("FolderBrowser"));
  setWindowTitle(QString::fromStdString(caption));
  setModal(true);

  // The label has a buddy: '&' is doubled so the instruction (a grid row's
  // text) shows as it reads instead of becoming a mnemonic.
  instruction_ = new QLabel(QString::fromStdString(instruction).replace('&', QStringLiteral("&&")), this);
  instruction_->setWordWrap(true);
  edit_ = new QLineEdit(this);
  edit_->setObjectName(QStringLiteral("folderEditLine"));
  edit_->setProperty("controlId", kFolderEditLineId);
  // The instruction line names the edit line for accessibility tools.
  instruction_->setBuddy(edit_);
  edit_->setAccessibleName(QString::fromStdString(instruction.empty() ? caption : instruction));
  tree_ = new QTreeView(this);
  tree_->setObjectName(QStringLiteral("folderTree"));
  tree_->setAccessibleName(QStringLiteral("Folders"));
  tree_->setProperty("controlId", kFolderTreeId);
  status_ = new QLabel(this);
  status_->setProperty("controlId", kFolderStatusTextId);
  status_->hide();
  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

  fsModel_ = new QFileSystemModel(this);
  fsModel_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
  fsModel_->setRootPath(QStringLiteral("/"));
  tree_->setModel(fsModel_);
  for (int c = 1; c < fsModel_->columnCount(); ++c) tree_->hideColumn(c);
  tree_->header()->hide();

  // The edit line sits directly above the folder tree.
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(instruction_);
  layout->addWidget(status_);
  layout->addWidget(edit_);
  layout->addWidget(tree_, 1);
  layout->addWidget(buttons_);
  resize(360, 420);

  connect(buttons_, &QDialogButtonBox::accepted, this, [this] { OnOk(); });
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(edit_, &QLineEdit::textChanged, this, [this] { OnEditChanged(); });
  connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { OnTreeSelection(); });

  const QString start = startFolder.empty() ? QDir::currentPath() : QString::fromStdString(startFolder);
  start_ = QDir::cleanPath(start);
  const QModelIndex index = fsModel_->index(start_);
  if (index.isValid()) {
    tree_->setCurrentIndex(index);
    tree_->scrollTo(index);
    // The model reads folders in the background and every folder that
    // arrives above the start folder shifts it down: it is brought back into
    // view after each arrival until the user takes the tree over.
    followStart_ = true;
    scrollTimer_ = new QTimer(this);
    scrollTimer_->setSingleShot(true);
    scrollTimer_->setInterval(0);
    connect(scrollTimer_, &QTimer::timeout, this, [this] { ShowStartFolder(); });
    auto follow = [this] {
      if (followStart_) scrollTimer_->start();
    };
    connect(fsModel_, &QAbstractItemModel::rowsInserted, this, follow);
    connect(fsModel_, &QAbstractItemModel::layoutChanged, this, follow);
    tree_->installEventFilter(this);
    tree_->viewport()->installEventFilter(this);
  }
  edit_->setText(start);
  OnEditChanged();
}

void FolderBrowser::ShowStartFolder() {
  const QModelIndex index = fsModel_->index(start_);
  if (!followStart_ || !index.isValid() || tree_->currentIndex() != index) return;
  tree_->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

bool FolderBrowser::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
    case QEvent::KeyPress:
      followStart_ = false;  // the user moves in the tree now
      break;
    default:
      break;
  }
  return QDialog::eventFilter(watched, event);
}

FolderBrowser::~FolderBrowser() = default;

QPushButton* FolderBrowser::OkButton() const { return buttons_->button(QDialogButtonBox::Ok); }

void FolderBrowser::OnTreeSelection() {
  QString path = fsModel_->filePath(tree_->currentIndex());
  if (path.isEmpty() || !path.startsWith('/')) path.clear();
  OkButton()->setEnabled(!path.isEmpty());
  status_->setText(path);
  edit_->setText(path);
}

void FolderBrowser::OnEditChanged() {
  result_ = edit_->text().toStdString();
  OkButton()->setEnabled(!result_.empty());
}

void FolderBrowser::OnOk() {
  result_ = edit_->text().toStdString();
  if (CheckFolder(result_, this) != 0) {
    edit_->setFocus();
    return;
  }
  accepted_ = 1;
  accept();
}

int FolderBrowser::DoModal() {
  accepted_ = 0;
  exec();
  return accepted_ ? 1 : -1;
}

}  // namespace qmx::grid
