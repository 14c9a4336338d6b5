#include "app/ui/views/AddrMapView.h"

#include "app/model/NAUsr.h"
#include "app/model/ProjectWorkspace.h"
#include "app/ui/views/rows/ViewHost.h"
#include "widgets/grid/GridCtrl.h"
#include "widgets/grid/GridImages.h"

#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

CAddrMapView::CAddrMapView(QWidget* parent)
    : CGridFormView(parent, "AddressMap",
                    {{"Slot# / Model", 274, 1}, {"Ch#", 50, 1}, {"Input Word", 90, 1}, {"Input Bit", 70, 1},
                     {"Output Word", 90, 1}, {"Output Bit", 80, 1}, {" ", 1, 1}},
                    false, {qmx::grid::kBitmapFlatIcons, qmx::grid::kGridAlignCenter, 0}) {
  auto* modes = new QGridLayout();
  auto field = [this](const char* name, int id) {
    auto* label = new QLabel(this);
    label->setObjectName(QString("Static%1").arg(id));
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setAccessibleName(name);
    label->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    label->setFocusPolicy(Qt::TabFocus);
    label->setMinimumHeight(label->fontMetrics().height() + 6);
    return label;
  };
  auto* inCaption = new QLabel("Input Mode:", this);
  inCaption->setObjectName("Static1080");
  auto* outCaption = new QLabel("Output Mode:", this);
  outCaption->setObjectName("Static1081");
  inputMode_ = field("Input Mode", 1093);
  outputMode_ = field("Output Mode", 1041);
  inCaption->setBuddy(inputMode_);
  outCaption->setBuddy(outputMode_);
  modes->addWidget(inCaption, 0, 0);
  modes->addWidget(inputMode_, 0, 1);
  modes->addWidget(outCaption, 1, 0);
  modes->addWidget(outputMode_, 1, 1);
  modes->setColumnStretch(1, 1);
  auto* note = new QLabel("* Address value will be changed depending on project value.", this);
  note->setObjectName("Static1079");
  auto* layout = static_cast<QVBoxLayout*>(this->layout());
  layout->insertLayout(0, modes);
  layout->addWidget(note);
  // The mode fields stand above the grid, so Tab reaches them first.
  setTabOrder(inputMode_, outputMode_);
  setTabOrder(outputMode_, grid());
  // The grid views hand the focus on to their grid, so Tab into the view
  // would skip the fields above it; this one hands nothing on.
  setFocusProxy(nullptr);
}

int CAddrMapView::ClearView() {
  CGridFormView::ClearView();
  inputMode_->clear();
  outputMode_->clear();
  return 1;
}

int CAddrMapView::RefreshView(int bForce) {
  static const char* kFunc = "AddrMapView::RefreshView";
  using namespace qmx::views;
  if (!HasMainFrame(kFunc)) return 0;
  ProjectWorkspace* ws = Host().workspace;
  Wrapper* object = SelectedObject("AddrMapView-RefreshView");
  if (!object) return 2;
  CNAUsr* adapter = nullptr;
  if (object->IsType(kTypeNA)) adapter = static_cast<CNAUsr*>(object);
  else if (object->IsType(kTypeIO)) adapter = SelectedAdapter("AddrMapView-RefreshView");
  bool modeChanged = false;
  if (adapter && adapter->imageModeChanged) {
    adapter->imageModeChanged = 0;
    modeChanged = true;
  }
  if (!modeChanged && object == shown_ && !bForce) return 2;
  inputMode_->clear();
  outputMode_->clear();
  if (!BeginRows(object)) return 2;
  int position = -1;
  if (CNAUsr* station = ws->GetSelNAAndIOPos(position, "AddrMapView-RefreshView", 0)) {
    if (AddressMapInfo* info = station->GetAddresMap(position, 0)) {
      AddrMapTable table = BuildAddrMapTable(info);
      station->ClearGettedAddresMap(info);
      inputMode_->setText(QString::fromStdString(table.inputModeText));
      outputMode_->setText(QString::fromStdString(table.outputModeText));
      ShowRows(std::move(table.rows));
    }
  }
  grid()->SetRedraw(true);
  return 1;
}

int CAddrMapView::DoChangeModuleNameIcon(int which) {
  // The rows carry the labels the driver was given with the module list,
  // which the renumbering of a naming-mode change gives it anew: the map is
  // asked for again.
  if (which != -1 || grid()->GetTotalItemCount() == 0) return 2;
  return RefreshView(1);
}
