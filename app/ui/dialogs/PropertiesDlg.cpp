#include "app/ui/dialogs/PropertiesDlg.h"

#include "app/model/Services.h"
#include "app/model/Wrapper.h"
#include "common/Utility.h"
#include "platform/toolkit/window_messages.h"
#include "widgets/grid/GridCtrl.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace qmx::dialogs {

namespace {
constexpr const char* kGridName = "Properties";
constexpr const char* kHelpFile = "QMX410Tools.chm";
}  // namespace

// Accepted edits go straight to the object's change handler; the serial
// settings cell uses the program's serial settings dialog.
class CPropertiesDlg::EditServices : public grid::GridFrameServices {
public:
  void ChangedValueByUser(void* owner, const std::string& gridName, const std::string& key, void*,
                          const std::string& value) override {
    if (owner) static_cast<Wrapper*>(owner)->ChagnedValueByUsr(gridName, key, nullptr, nullptr, value);
  }
  bool EditSerialSettings(QWidget* parent, const std::string& current, std::string& result) override {
    return grid::DefaultGridFrameServices().EditSerialSettings(parent, current, result);
  }
  bool ChooseFolder(QWidget* parent, const std::string& caption, const std::string& instruction,
                    const std::string& start, std::string& result) override {
    return grid::DefaultGridFrameServices().ChooseFolder(parent, caption, instruction, start, result);
  }
};

CPropertiesDlg::CPropertiesDlg(const TextIdMap& textIds, const ErrorMap& errors, PropertiesState::Frame frame,
                               QWidget* parent)
    : DialogBase(parent, "Properties"), state_(textIds, errors), services_(std::make_unique<EditServices>()) {
  state_.SetFrame(std::move(frame));
  grid_ = new grid::GridCtrl(this);
  grid_->setProperty("controlId", grid::kGridControlId);
  grid_->SetOwnerInfo(kGridName, this);
  grid_->SetFrameServices(services_.get());
  grid_->InsertColumns(grid::kGridExGridLines, {{"Item", 160, 1}, {"Setting Value", 274, 0}}, 1, 0, 163, 163,
                       grid::GridRgb(0, 255, 255), grid::kGridAlignLeft, 1);
  grid_->SetEditable(0);
  grid_->deletionEnabled = 0;
  grid_->setAccessibleName("Properties");
  grid_->viewport()->installEventFilter(this);

  name_ = MakeField("Name");
  description_ = MakeField("Description");
  description_->setMinimumHeight(40);
  description_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  hint_ = MakeField("Allowed value");
  selected_ = MakeField("Selected setting value");
  help_ = MakeButton("Show Technical Data", 1030);
  ok_ = MakeButton("OK", kOkButtonId);
  QPushButton* cancel = MakeButton("Cancel", kCancelButtonId);

  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel("Name", this), 0, 0);
  layout->addWidget(name_, 0, 1);
  layout->addWidget(new QLabel("Description", this), 1, 0, Qt::AlignTop);
  layout->addWidget(description_, 1, 1);
  layout->addWidget(grid_, 2, 0, 1, 2);
  auto* detail = new QLabel("Detail", this);
  detail->setStyleSheet("font-weight: bold;");
  layout->addWidget(detail, 3, 0);
  layout->addWidget(new QLabel("Allowed value", this), 4, 0);
  layout->addWidget(hint_, 4, 1);
  auto* selectedCaption = new QVBoxLayout;
  selectedCaption->setSpacing(0);
  selectedCaption->addWidget(new QLabel("Selected", this));
  selectedCaption->addWidget(new QLabel("Sectting Val", this));
  layout->addLayout(selectedCaption, 5, 0);
  layout->addWidget(selected_, 5, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(help_);
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel);
  layout->addLayout(buttons, 6, 0, 1, 2);
  layout->setRowStretch(2, 1);
  layout->setColumnStretch(1, 1);
  resize(520, 480);

  connect(help_, &QPushButton::clicked, this, [this] {
    Wrapper* target = state_.Target();
    if (!target) return;
    qmx::ShowHelp(
        StrFormat("%s/%s::/%s", qmx::Paths().appDir.c_str(), kHelpFile, target->GetHelpLink().c_str()));
  });
  connect(ok_, &QPushButton::clicked, this, [this] { OnOK(); });
  connect(cancel, &QPushButton::clicked, this, [this] { OnCancel(); });
}

CPropertiesDlg::~CPropertiesDlg() = default;

void CPropertiesDlg::SetTarget(Wrapper* object, const std::string& kindText) {
  state_.SetTarget(object, kindText);
  name_->setText(QString::fromStdString(StrFormat(" %s", kindText.c_str())));
  description_->setText(
      QString::fromStdString(StrFormat(" %s", object ? object->GetInfoText().c_str() : "")));
  help_->setVisible(object && !object->GetHelpLink().empty());
  ok_->setVisible(state_.HasOk());

  grid_->SetRedraw(false);
  grid_->DeleteAllItems();
  for (const PropertyRow& row : state_.Rows()) {
    auto* item = new grid::GridRowItem(row.name, 0);
    item->AddColumnText(row.value, row.settable ? row.definition : std::string());
    if (row.settable) {
      item->SetOwnerObject(object, nullptr, row.name);
      if (row.serialCell) {
        item->cellKinds[0] = grid::kCellKindSerialSettings;
        item->SetSettingKey("SERIAL_COMM_SETTING");
      }
    } else {
      item->readOnly = 1;
    }
    grid_->InsertRow(item);
  }
  grid_->SetRedraw(true);
  FitColumns();
  if (grid_->GetItemCount() > 0) grid_->SetSelectedRow(0);
}

void CPropertiesDlg::FitColumns() {
  // "Item" as wide as its longest name; "Setting Value" takes the rest of
  // the grid, or more when a value needs it.
  const int item = grid_->ColumnTextWidth(0);
  grid_->SetColumnWidth(0, item);
  grid_->SetColumnWidth(1, std::max(grid_->ColumnTextWidth(1), grid_->viewport()->width() - item));
}

bool CPropertiesDlg::eventFilter(QObject* watched, QEvent* event) {
  // A hidden viewport can change its width without a resize event of its
  // own: the widths are fitted again when it is shown.
  if (watched == grid_->viewport() && (event->type() == QEvent::Resize || event->type() == QEvent::Show)) {
    FitColumns();
  }
  return DialogBase::eventFilter(watched, event);
}

void CPropertiesDlg::OnOK() {
  switch (state_.OnOK()) {
    case 1: done(kIdOk); break;
    case 2: done(kIdCancel); break;
    default: break;
  }
}

void CPropertiesDlg::OnCancel() {
  state_.OnCancel();
  done(kIdCancel);
}

bool CPropertiesDlg::event(QEvent* event) {
  if (event->type() == toolkit::EventTypeOf(toolkit::kGridRowMessage)) {
    auto* message = static_cast<toolkit::WindowMessageEvent*>(event);
    const auto* row = reinterpret_cast<const grid::GridRowItem*>(message->lparam());
    if (message->wparam() == 1 && row) {
      hint_->setText(QString::fromStdString(row->GetHintText(0)));
      selected_->setText(QString::fromStdString(StrFormat(" %s", row->GetColumnText(0).c_str())));
    }
    return true;
  }
  return DialogBase::event(event);
}

}  // namespace qmx::dialogs
