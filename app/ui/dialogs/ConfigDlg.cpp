#include "app/ui/dialogs/ConfigDlg.h"

#include "platform/toolkit/window_messages.h"
#include "widgets/grid/GridCtrl.h"
#include "widgets/grid/GridImages.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QPainter>
#include <QLabel>
#include <QPushButton>

#include <map>

namespace qmx::dialogs {

namespace {

// The rows that take effect after a restart carry image 3 of the options
// strip; it is drawn yellow, as the label beside the grid explains.
void MarkRestartImage() {
  static bool marked = false;
  if (marked) return;
  marked = true;
  QImage strip = grid::GridBitmap(grid::kBitmapConfigIcons).convertToFormat(QImage::Format_ARGB32);
  if (strip.isNull()) return;
  constexpr int kRestartImage = 3;
  QPainter p(&strip);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.fillRect(kRestartImage * 16, 0, 16, strip.height(), Qt::transparent);
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QColor(160, 130, 0));
  p.setBrush(QColor(255, 255, 0));
  p.drawEllipse(QRectF(kRestartImage * 16 + 3, strip.height() / 2.0 - 5, 10, 10));
  p.end();
  grid::RegisterGridBitmap(grid::kBitmapConfigIcons, strip);
}

}  // namespace

ConfigDlg::ConfigDlg(AppOptions& options, std::function<int()> save, const std::string& projectsFolder,
                     QWidget* parent)
    : DialogBase(parent, "Configuration"), state_(options, std::move(save)) {
  MarkRestartImage();
  grid_ = new grid::GridCtrl(this);
  grid_->setProperty("controlId", grid::kGridControlId);
  grid_->SetOwnerInfo("Config", this);
  grid_->InsertColumns(grid::kGridExGridLines, {{"Property Name", 225, 1}, {"Setting Value", 320, 0}}, 0, 0, 172, 163,
                       grid::GridRgb(255, 255, 255), grid::kGridAlignLeft, 1);
  grid_->SetEditable(0);
  grid_->deletionEnabled = 0;
  grid_->setAccessibleName("Options");

  auto* restart = new QLabel(this);
  restart->setFixedSize(16, 16);
  restart->setAutoFillBackground(true);
  restart->setStyleSheet("background-color: rgb(255,255,0); border: 1px solid gray;");
  restart->setProperty("controlId", 1106);
  hint_ = MakeField("Allowed value");
  QPushButton* ok = MakeButton("OK", kOkButtonId);
  QPushButton* cancel = MakeButton("Cancel", kCancelButtonId);

  auto* layout = new QGridLayout(this);
  layout->addWidget(grid_, 0, 0, 1, 3);
  layout->addWidget(new QLabel("Allowed value:", this), 1, 0);
  layout->addWidget(hint_, 1, 1, 1, 2);
  layout->addWidget(restart, 2, 0, Qt::AlignRight);
  layout->addWidget(new QLabel("Yellow icon properties reflect after restart.", this), 2, 1, 1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons, 3, 0, 1, 3);
  layout->setRowStretch(0, 1);
  layout->setColumnStretch(2, 1);
  resize(600, 440);

  rows_ = state_.Rows(projectsFolder);
  std::map<std::string, grid::GridTreeItem*> parents;
  grid_->SetRedraw(false);
  for (const ConfigRow& row : rows_) {
    auto* item = new grid::GridRowItem(row.name, row.icon);
    if (row.hasValue) {
      item->AddColumnText(row.value, row.definition);
      if (row.cellKind) item->cellKinds[0] = row.cellKind;
      if (!row.choices.empty()) item->SetChoiceList(0, row.choices);
    } else {
      item->AddColumnText("");
      item->readOnly = 1;
    }
    const auto parent = parents.find(row.parent);
    parents[row.name] = grid_->InsertRow(item, parent == parents.end() ? nullptr : parent->second);
  }
  grid_->ExpandAll();
  grid_->SetRedraw(true);
  if (grid_->GetItemCount() > 0) grid_->SetSelectedRow(0);

  connect(ok, &QPushButton::clicked, this, [this] { OnOK(); });
  connect(cancel, &QPushButton::clicked, this, [this] { OnCancel(); });
}

ConfigDlg::~ConfigDlg() = default;

ConfigState::Entries ConfigDlg::Entries() const {
  ConfigState::Entries entries;
  for (const ConfigRow& row : rows_) {
    if (!row.hasValue) continue;
    grid::GridTreeItem* parent = nullptr;
    if (!row.parent.empty()) {
      std::string ignored;
      parent = grid_->GetCellTextByName(ignored, row.parent, 0);
    }
    std::string value;
    if (grid_->GetCellTextByName(value, row.name, 0, parent)) {
      entries[ConfigState::EntryKey(row)] = value;
    }
  }
  return entries;
}

bool ConfigDlg::SetEntry(const std::string& key, const std::string& value) {
  const size_t slash = key.find('/');
  grid::GridTreeItem* parent = nullptr;
  std::string ignored;
  if (slash != std::string::npos) parent = grid_->GetCellTextByName(ignored, key.substr(0, slash), 0);
  const std::string name = slash == std::string::npos ? key : key.substr(slash + 1);
  grid::GridTreeItem* item = grid_->GetCellTextByName(ignored, name, 0, parent);
  return item && grid_->SetCellText(item, 0, value);
}

void ConfigDlg::OnOK() {
  if (state_.Complete(Entries())) done(kIdOk);
}

bool ConfigDlg::event(QEvent* event) {
  if (event->type() == toolkit::EventTypeOf(toolkit::kGridRowMessage)) {
    auto* message = static_cast<toolkit::WindowMessageEvent*>(event);
    const auto* row = reinterpret_cast<const grid::GridRowItem*>(message->lparam());
    if (message->wparam() == 1 && row) hint_->setText(QString::fromStdString(row->GetHintText(0)));
    return true;
  }
  return DialogBase::event(event);
}

}  // namespace qmx::dialogs
