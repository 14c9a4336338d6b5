#include "app/ui/views/TabChildView.h"

#include "app/model/Logging.h"
#include "app/model/NAUsr.h"
#include "app/model/ProjectWorkspace.h"
#include "app/ui/views/rows/ViewHost.h"
#include "platform/toolkit/window_messages.h"
#include "widgets/grid/GridCtrl.h"
#include "widgets/grid/GridImages.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QVBoxLayout>

namespace qmx::views {

namespace {

// Hands an accepted edit of a view's grid to the row's object: parameter
// rows carry their ParaItem, process-image rows their IOItem (or none for a
// module's whole output image).
class ViewGridServices : public grid::GridFrameServices {
public:
  void ChangedValueByUser(void* ownerObject, const std::string& gridName, const std::string& itemKey,
                          void* descriptor, const std::string& value) override {
    auto* object = static_cast<Wrapper*>(ownerObject);
    if (!object) return;
    if (gridName == "Parameters") {
      object->ChagnedValueByUsr(gridName, itemKey, static_cast<const ParaItem*>(descriptor), nullptr, value);
    } else {
      object->ChagnedValueByUsr(gridName, itemKey, nullptr, static_cast<const IOItem*>(descriptor), value);
    }
  }
};

ViewGridServices& GridServices() {
  static ViewGridServices services;
  return services;
}

}  // namespace

Wrapper* SelectedObject(const std::string& context) {
  ProjectWorkspace* ws = Host().workspace;
  if (!ws) return nullptr;
  Wrapper* object = nullptr;
  std::string text;
  return ws->GetSelUsrObj(object, text, context, 0) == kNoTreeItem ? nullptr : object;
}

CNAUsr* SelectedAdapter(const std::string& context) {
  ProjectWorkspace* ws = Host().workspace;
  if (!ws) return nullptr;
  CNAUsr* adapter = nullptr;
  std::string text;
  return ws->GetSelNAUsr(adapter, text, context, 0) == kNoTreeItem ? nullptr : adapter;
}

void ReportNoMainFrame(const char* func) {
  qmx::ReportError(qmx::err::kNoMainFrame, "Cannot get mainframe pointer. May be bug.", func);
}

bool HasMainFrame(const char* func) {
  if (Host().workspace) return true;
  ReportNoMainFrame(func);
  return false;
}

bool AnyWindowHasFocus() { return QApplication::focusWidget() != nullptr; }

bool ConnectionLost(const CNAUsr& adapter) {
  const auto& commState = Host().commState;
  return adapter.monitoring == 1 && commState && commState(adapter) == 2;
}

// ---- the grid form ------------------------------------------------------------------

const CGridFormView::Look CGridFormView::kTreeLook{grid::kBitmapSubItems, grid::kGridAlignLeft, 1};

CGridFormView::CGridFormView(QWidget* parent, const std::string& gridName,
                             const std::vector<Column>& columns, bool hintLine, const Look& look)
    : CTabChildView(parent) {
  grid_ = new grid::GridCtrl(this);
  grid_->setObjectName(QString("Grid%1").arg(grid::kGridControlId));
  grid_->setAccessibleName(QString::fromStdString(gridName));
  grid_->setFocusPolicy(Qt::StrongFocus);
  std::vector<grid::GridColumnDef> defs;
  for (const Column& column : columns)
    defs.push_back({column.title, column.width, static_cast<std::uint16_t>(column.readOnly)});
  grid_->SetOwnerInfo(gridName, this);
  grid_->SetFrameServices(&GridServices());
  grid_->InsertColumns(grid::kGridExGridLines, defs, 0, 0, grid::kBitmapTreeIcons, look.subItemBitmap,
                       grid::GridRgb(255, 255, 255), look.alignment, look.treeLines);
  grid_->SetEditable(0);
  grid_->deletionEnabled = 0;
  for (const Column& column : columns) baseWidths_.push_back(column.width);
  grid_->viewport()->installEventFilter(this);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(grid_, 1);
  if (hintLine) {
    auto* line = new QHBoxLayout();
    hintCaption_ = new QLabel("Allowed value", this);
    hintCaption_->setObjectName("Static1079");
    hint_ = new QLabel(this);
    hint_->setObjectName("Static1040");
    hint_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    hint_->setAccessibleName("Allowed value");
    hint_->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    // Reached with Tab after the grid, so a screen reader reads the hint too.
    hint_->setFocusPolicy(Qt::TabFocus);
    hint_->setMinimumHeight(hint_->fontMetrics().height() + 6);
    hintCaption_->setBuddy(hint_);
    line->addWidget(hintCaption_);
    line->addWidget(hint_, 1);
    layout->addLayout(line);
  }
  setFocusProxy(grid_);
}

CGridFormView::~CGridFormView() = default;

void CGridFormView::DeleteRows() {
  grid_->DeleteAllItems();
  handles_.clear();
  rows_.clear();
  if (hint_) hint_->clear();
}

bool CGridFormView::BeginRows(Wrapper* object) {
  grid_->SetRedraw(false);
  DeleteRows();
  shown_ = object;
  if (object->IsModule()) return true;
  grid_->SetRedraw(true);
  return false;
}

int CGridFormView::RelabelRows(int which, const std::string& context) {
  if (grid_->GetTotalItemCount() == 0 || rows_.empty()) return 2;
  Wrapper* object = SelectedObject(context);
  if (!object || which != -1) return 2;
  const int mode = HostNamingMode();
  for (size_t i = 0; i < rows_.size(); ++i) {
    ViewRow& row = rows_[i];
    Wrapper* labelled = i == 0 && row.kind == RowKind::kObject ? object
                        : row.kind == RowKind::kModuleSummary   ? row.object
                                                                : nullptr;
    if (!labelled) continue;
    row.text = labelled->GetLabel(mode);
    grid_->SetRowText(handles_[i], row.text);
  }
  return 1;
}

int CGridFormView::ClearView() {
  grid_->SetRedraw(false);
  DeleteRows();
  grid_->SetRedraw(true);
  shown_ = nullptr;
  return 1;
}

grid::GridTreeItem* CGridFormView::RowHandle(int index) const {
  return index >= 0 && static_cast<size_t>(index) < handles_.size() ? handles_[static_cast<size_t>(index)] : nullptr;
}

void CGridFormView::ShowRows(std::vector<ViewRow> rows) {
  rows_ = std::move(rows);
  handles_.assign(rows_.size(), nullptr);
  for (size_t i = 0; i < rows_.size(); ++i) {
    const ViewRow& row = rows_[i];
    auto* item = new grid::GridRowItem(row.text, row.icon);
    item->readOnly = row.readOnly;
    for (size_t c = 0; c < row.columns.size(); ++c) {
      item->AddColumnText(row.columns[c], c < row.definitions.size() ? row.definitions[c] : std::string());
    }
    if (row.dropDownColumn >= 0) {
      item->cellKinds[row.dropDownColumn] = grid::kCellKindDropDown;
      item->SetChoiceList(row.dropDownColumn, row.choices);
    }
    if (row.object && !row.readOnly) {
      void* descriptor = row.para ? static_cast<void*>(const_cast<ParaItem*>(row.para))
                                  : static_cast<void*>(const_cast<IOItem*>(row.item));
      item->SetOwnerObject(row.object, descriptor, row.key);
    }
    grid::GridTreeItem* parent = row.parent >= 0 && static_cast<size_t>(row.parent) < i ? handles_[row.parent] : nullptr;
    handles_[i] = grid_->InsertRow(item, parent);
  }
  grid_->ExpandAll();
  FitColumns(true);
}

void CGridFormView::ApplyChanges(const std::vector<CellChange>& changes) {
  for (const CellChange& change : changes) {
    grid::GridTreeItem* item = RowHandle(change.row);
    if (!item) continue;
    grid_->SetCellText(item, change.column, rows_[static_cast<size_t>(change.row)].columns[static_cast<size_t>(change.column)]);
  }
  if (!changes.empty()) FitColumns(false);
}

void CGridFormView::FitColumns(bool newRows) {
  const QFontMetrics metrics(grid_->font());
  const int count = grid_->GetColumnCount();
  for (int c = 1; c + 1 < count && static_cast<size_t>(c) < baseWidths_.size(); ++c) {
    int wanted = baseWidths_[static_cast<size_t>(c)];
    for (const ViewRow& row : rows_) {
      if (static_cast<size_t>(c - 1) < row.columns.size()) {
        wanted = std::max(wanted, metrics.horizontalAdvance(QString::fromStdString(row.columns[c - 1])) + 16);
      }
    }
    // New rows take the widths they need (a column that grew for the last
    // object shrinks back); a refresh only widens, so values do not make
    // the columns jump.
    if (newRows ? grid_->GetColumnWidth(c) != wanted : grid_->GetColumnWidth(c) < wanted) {
      grid_->SetColumnWidth(c, wanted);
    }
  }
  WidenLastColumn();
}

bool CGridFormView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == grid_->viewport() && event->type() == QEvent::Resize) WidenLastColumn();
  return CTabChildView::eventFilter(watched, event);
}

bool CGridFormView::event(QEvent* event) {
  if (event->type() == toolkit::EventTypeOf(toolkit::kGridRowMessage)) {
    auto* message = static_cast<toolkit::WindowMessageEvent*>(event);
    if (message->wparam() == 1 && message->lparam() && hint_) {
      const auto* row = reinterpret_cast<const grid::GridRowItem*>(message->lparam());
      hint_->setText(QString::fromStdString(row->GetHintText(hintColumn_)));
    }
    event->accept();
    return true;
  }
  return CTabChildView::event(event);
}

void CGridFormView::resizeEvent(QResizeEvent* event) {
  CTabChildView::resizeEvent(event);
  WidenLastColumn();
}

void CGridFormView::WidenLastColumn() {
  const int count = grid_->GetColumnCount();
  if (count <= 0) return;
  int sum = 0;
  for (int c = 0; c < count - 1; ++c) sum += grid_->GetColumnWidth(c);
  const int width = grid_->viewport()->width();
  grid_->SetColumnWidth(count - 1, sum < width ? width - sum : 1);
}

}  // namespace qmx::views
