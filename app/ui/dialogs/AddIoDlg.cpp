#include "app/ui/dialogs/AddIoDlg.h"

#include "app/model/IOCatalogue.h"
#include "app/model/Logging.h"
#include "app/model/NAUsr.h"
#include "app/model/Services.h"
#include "app/ui/dialogs/RenameDlg.h"
#include "common/Utility.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <iterator>

namespace qmx::dialogs {

namespace {

constexpr const char* kHelpFile = "QMX410Tools.chm";
constexpr int kImageSize = 16;
constexpr int kImageCount = 32;
// The strip holds each picture a second time, marked "new", this far on.
constexpr int kAddedImageOffset = 18;
constexpr int kRoleDefinition = Qt::UserRole + 1;

// The catalogue pictures of the groups, as the project window shows them.
std::vector<QIcon> LoadPictures() {
  std::vector<QIcon> images(kImageCount);
  const QImage strip(QString::fromStdString(qmx::Paths().imageDir + "/ToolBoxList.bmp"));
  for (int x = 0, i = 0; !strip.isNull() && x + kImageSize <= strip.width() && i < kImageCount;
       x += kImageSize, ++i) {
    QPixmap picture = QPixmap::fromImage(strip.copy(x, 0, kImageSize, kImageSize));
    picture.setMask(picture.createMaskFromColor(QColor(0, 255, 255), Qt::MaskInColor));
    images[static_cast<size_t>(i)] = QIcon(picture);
  }
  return images;
}

bool AskRename(QWidget* parent, const std::string& oldName, std::string& newName) {
  CRenameDlg dialog(parent);
  dialog.SetOldName(oldName);
  if (dialog.DoModal() != kIdOk) return false;
  newName = dialog.GetNewName();
  return true;
}

}  // namespace

AddIoDlg::RenameQuestion AddIoDlg::s_renameQuestion = AskRename;

AddIoDlg::AddIoDlg(const IOCatalogue& catalogue, const ErrorMap& errors, QWidget* parent)
    : DialogBase(parent, "Add IO Modules"), catalogue_(catalogue), state_(errors), images_(LoadPictures()) {
  left_ = new QTreeWidget(this);
  left_->setProperty("controlId", 1042);
  left_->setHeaderHidden(true);
  left_->setAccessibleName("IO modules");
  right_ = new QTreeWidget(this);
  right_->setProperty("controlId", 1046);
  right_->setHeaderHidden(true);
  right_->setAccessibleName("Network adapter and its modules");
  right_->setExpandsOnDoubleClick(false);  // a double click there does nothing
  userTitle_ = new QLineEdit(this);
  userTitle_->setProperty("controlId", 1073);
  description_ = MakeField("Module information");
  description_->setProperty("controlId", 1039);
  description_->setMinimumHeight(48);
  description_->setAlignment(Qt::AlignTop | Qt::AlignLeft);

  QPushButton* add = MakeButton(">>", 1043);
  add->setAccessibleName("Add module");
  QPushButton* remove = MakeButton("<<", 1044);
  remove->setAccessibleName("Remove module");
  QPushButton* up = MakeButton("Up", 1047);
  QPushButton* down = MakeButton("Down", 1045);
  QPushButton* rename = MakeButton("Rename", 1049);
  QPushButton* help = MakeButton("Show Technical Data", 1030);
  QPushButton* ok = MakeButton("OK", kOkButtonId);
  QPushButton* cancel = MakeButton("Cancel", kCancelButtonId);

  auto* middle = new QVBoxLayout;
  middle->addStretch();
  middle->addWidget(add);
  middle->addWidget(remove);
  middle->addSpacing(12);
  middle->addWidget(up);
  middle->addWidget(down);
  middle->addWidget(rename);
  middle->addStretch();

  auto* layout = new QGridLayout(this);
  layout->addWidget(MakeLabel("IO &Modules:", left_), 0, 0);
  layout->addWidget(MakeLabel("&Network Adapter:", right_), 0, 2);
  layout->addWidget(left_, 1, 0);
  layout->addLayout(middle, 1, 1);
  layout->addWidget(right_, 1, 2);
  layout->addWidget(description_, 2, 0, 1, 3);
  auto* titleRow = new QHBoxLayout;
  titleRow->addWidget(MakeLabel("&User Title:", userTitle_));
  titleRow->addWidget(userTitle_, 1);
  layout->addLayout(titleRow, 3, 0, 1, 3);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(help);
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons, 4, 0, 1, 3);
  layout->setRowStretch(1, 1);
  layout->setColumnStretch(0, 1);
  layout->setColumnStretch(2, 1);
  resize(640, 480);

  // Keyboard order follows the work: pick, add or remove, arrange, confirm.
  QWidget* order[] = {left_, add, remove, up, down, rename, right_, userTitle_, help, ok, cancel};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  connect(add, &QPushButton::clicked, this, [this] { OnBtnAdd(); });
  connect(remove, &QPushButton::clicked, this, [this] { OnBtnRemove(); });
  connect(up, &QPushButton::clicked, this, [this] { OnBtnUp(); });
  connect(down, &QPushButton::clicked, this, [this] { OnBtnDown(); });
  connect(rename, &QPushButton::clicked, this, [this] { OnBtnRename(); });
  connect(help, &QPushButton::clicked, this, [this] {
    const IODef* def = SelectedDefinition();
    if (!def) {
      qmx::ShowBox("Select IO module to display technical data.", 0);
      return;
    }
    qmx::ShowHelp(StrFormat("%s/%s::/%s", qmx::Paths().appDir.c_str(), kHelpFile, def->helpLink.c_str()));
  });
  connect(ok, &QPushButton::clicked, this, [this] { OnComplete(); });
  connect(cancel, &QPushButton::clicked, this, [this] { OnCancel(); });
  connect(left_, &QTreeWidget::currentItemChanged, this, [this] { OnCatalogueSelection(); });
  connect(left_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    if (item && item->parent()) OnBtnAdd();
  });
  connect(right_, &QTreeWidget::currentItemChanged, this, [this] { OnLineUpSelection(); });
}

AddIoDlg::~AddIoDlg() = default;

void AddIoDlg::SetNAInfo(const std::string& displayName, CNAUsr* adapter) { state_.SetNAInfo(displayName, adapter); }

void AddIoDlg::SetNamingMode(int mode) {
  // The naming mode is the last of the set-up calls: the trees are built now.
  state_.SetNamingMode(mode);
  Build();
}

void AddIoDlg::Build() {
  built_ = true;
  state_.Init();
  FillCatalogue();
  ShowLineUp();
}

void AddIoDlg::showEvent(QShowEvent* event) {
  // A caller that left out the naming mode still gets its line-up.
  if (!built_) Build();
  DialogBase::showEvent(event);
}

void AddIoDlg::FillCatalogue() {
  left_->clear();
  const CNAUsr* adapter = state_.Adapter();
  const NADef* def = adapter ? adapter->GetNADef() : nullptr;
  for (const IOGroup* group : OfferedGroups(catalogue_, def ? def->category : std::string())) {
    const int image = group->Modules.empty() ? 0 : group->Modules.front()->iconIdx;
    const QIcon icon = image >= 0 && image < kImageCount ? images_[static_cast<size_t>(image)] : QIcon();
    auto* top = new QTreeWidgetItem(left_, {QString::fromStdString(group->Title.empty() ? group->Category
                                                                                          : group->Title)});
    top->setIcon(0, icon);
    for (const IODef* module : group->Modules) {
      auto* item = new QTreeWidgetItem(top, {QString::fromStdString(module->description)});
      item->setIcon(0, icon);
      item->setData(0, kRoleDefinition, QVariant::fromValue(reinterpret_cast<quintptr>(module)));
    }
  }
  left_->expandAll();
}

void AddIoDlg::ShowLineUp() {
  filling_ = true;
  right_->clear();
  const CNAUsr* adapter = state_.Adapter();
  const NADef* def = adapter ? adapter->GetNADef() : nullptr;
  const bool ownPicture = def && def->category == kSeriesGroupRules[0].seriesCode;
  const int rootImage = ownPicture ? def->iconIdx : kOtherSeriesRootImage;
  root_ = new QTreeWidgetItem(right_, {QString::fromStdString(state_.AdapterName())});
  if (rootImage >= 0 && rootImage < kImageCount) root_->setIcon(0, images_[static_cast<size_t>(rootImage)]);
  const auto& entries = state_.Entries();
  for (size_t i = 0; i < entries.size(); ++i) {
    auto* item = new QTreeWidgetItem(root_, {QString::fromStdString(state_.Label(i))});
    int image = entries[i].definition ? entries[i].definition->iconIdx : -1;
    // A module added in this run shows its picture with the "new" mark.
    if (image >= 0 && entries[i].created) image += kAddedImageOffset;
    if (image >= 0 && image < kImageCount) item->setIcon(0, images_[static_cast<size_t>(image)]);
  }
  root_->setExpanded(true);
  const int selected = state_.Selected();
  right_->setCurrentItem(selected >= 0 ? root_->child(selected) : root_);
  filling_ = false;
}

const IODef* AddIoDlg::SelectedDefinition() const {
  QTreeWidgetItem* item = left_->currentItem();
  if (!item || !item->parent()) return nullptr;
  return reinterpret_cast<const IODef*>(item->data(0, kRoleDefinition).value<quintptr>());
}

void AddIoDlg::OnCatalogueSelection() {
  QTreeWidgetItem* item = left_->currentItem();
  if (!item) return;
  if (const IODef* def = SelectedDefinition()) {
    description_->setText(QString::fromStdString(StrFormat(" %s", def->infoText.c_str())));
    userTitle_->setText(QString::fromStdString(def->description));
  } else {
    description_->setText(QString(" ") + item->text(0));
    userTitle_->clear();
  }
}

void AddIoDlg::OnLineUpSelection() {
  if (filling_) return;
  QTreeWidgetItem* item = right_->currentItem();
  state_.Select(item && item->parent() ? root_->indexOfChild(item) : -1);
}

void AddIoDlg::OnBtnAdd() {
  if (state_.Add(SelectedDefinition(), userTitle_->text().toStdString())) ShowLineUp();
}

void AddIoDlg::OnBtnRemove() {
  if (state_.Remove()) ShowLineUp();
}

void AddIoDlg::OnBtnUp() {
  if (state_.MoveUp()) ShowLineUp();
}

void AddIoDlg::OnBtnDown() {
  if (state_.MoveDown()) ShowLineUp();
}

void AddIoDlg::OnBtnRename() {
  const int selected = state_.Selected();
  if (selected < 0) return;
  std::string newName;
  if (!s_renameQuestion ||
      !s_renameQuestion(this, state_.Entries()[static_cast<size_t>(selected)].text, newName)) {
    return;
  }
  if (state_.Rename(newName)) ShowLineUp();
}

void AddIoDlg::OnComplete() { done(state_.Complete() == 1 ? kIdOk : kIdCancel); }

}  // namespace qmx::dialogs
