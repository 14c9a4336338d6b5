#include "tests/widgets_grid/grid_demo.h"

#include "platform/toolkit/window_messages.h"

#include <QApplication>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace qmx::grid::demo {
namespace {

}  // namespace

void RecordingServices::ChangedValueByUser(void* owner, const std::string& gridName, const std::string& key,
                                           void* descriptor, const std::string& value) {
  changes.push_back({owner, gridName, key, descriptor, value});
}

bool RecordingServices::EditSerialSettings(QWidget*, const std::string& current, std::string& result) {
  ++serialCalls;
  lastSerialPreset = current;
  if (!serialAnswer) return false;
  result = serialResult;
  return true;
}

bool RecordingServices::ChooseFolder(QWidget*, const std::string& caption, const std::string& instruction,
                                     const std::string& start, std::string& result) {
  ++folderCalls;
  lastFolderCaption = caption;
  lastFolderInstruction = instruction;
  lastFolderStart = start;
  if (!folderAnswer) return false;
  result = folderResult;
  return true;
}

LogCapture::LogCapture() {
  GridLogHooks hooks;
  hooks.postLog = [this](int category, const std::string& source, const std::string& text) {
    lines.push_back({category, source, text});
  };
  hooks.showResourceLackError = [this](int code, const std::string&, const std::string&, int, int) {
    resourceLackCodes.push_back(code);
  };
  hooks.showError = [this](int code, const std::string&, const std::string&, int, int) { errorCodes.push_back(code); };
  SetGridLogHooks(std::move(hooks));
}

LogCapture::~LogCapture() { SetGridLogHooks({}); }

GridDemoOwner::GridDemoOwner(const GridPolicy& policy, int imageWidthSelector, const std::string& gridName) {
  resize(420, 300);
  // 1. the grid as a child window with the grid's control id
  grid_ = new GridCtrl(this, policy);
  grid_->setProperty("controlId", kGridControlId);
  // 2. the columns
  std::vector<GridColumnDef> columns = {{"Name", 140, 0}, {"Value", 120, 0}, {"Unit", 80, 1}};
  // 3.-5. owner, columns and images, editable
  grid_->SetOwnerInfo(gridName, this);
  grid_->SetFrameServices(&services_);
  grid_->InsertColumns(kGridExGridLines, columns, imageWidthSelector, 0, 161, 150, GridRgb(255, 255, 255),
                       kGridAlignLeft, 1);
  grid_->SetEditable(1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(grid_);
}

GridDemoOwner::~GridDemoOwner() = default;

GridTreeItem* GridDemoOwner::AddRow(const DemoRow& row, GridTreeItem* parent) {
  auto* item = new GridRowItem(row.first);
  for (size_t i = 0; i < row.texts.size(); ++i)
    item->AddColumnText(row.texts[i], i < row.definitions.size() ? row.definitions[i] : std::string());
  item->readOnly = row.readOnly;
  item->SetOwnerObject(OwnerObject(), &ownerTag_, row.first);
  return grid_->InsertRow(item, parent);
}

bool GridDemoOwner::event(QEvent* event) {
  if (event->type() == toolkit::EventTypeOf(toolkit::kGridRowMessage)) {
    auto* message = static_cast<toolkit::WindowMessageEvent*>(event);
    EXPECT_EQ(message->wparam(), 1u);
    notifications_.push_back(reinterpret_cast<GridRowItem*>(message->lparam()));
    return true;
  }
  return QWidget::event(event);
}

}  // namespace qmx::grid::demo
