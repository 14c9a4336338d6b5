#include "app/frame/FerrowynView.h"

#include "app/model/Logging.h"
#include "app/ui/views/StartUpView.h"
#include "app/ui/views/ViewFactory.h"
#include "common/Utility.h"

#include <QVBoxLayout>

namespace {

constexpr int kTabCtrlId = 129;

struct TabEntry {
  const char* text;
  int controlId;
  const char* failureName;
  int failureCode;
  const char* viewName;
};

constexpr TabEntry kTabs[kViewCount] = {
    {"Starting...", 1088, "startup-view", qmx::err::kCreateStartUpView, ""},
    {"Image", 1090, "image-view", qmx::err::kCreateImageTab, "ImageView"},
    {"Process Image", 1091, "ProcessImg-view", qmx::err::kCreateProcessImageTab, "ProcessImgView"},
    {"Parameter", 1092, "Parameter-view", qmx::err::kCreateParameterTab, "ParametersView"},
    {"Address Map", 1093, "AddrMapView-view", qmx::err::kCreateAddressMapTab, "AddrMapView"},
    {"Comment", 1094, "Commnet-view", qmx::err::kCreateCommentTab, "CommnetView"},
};

}  // namespace

// ---- the tab host -----------------------------------------------------------

CFerrowynView::ViewFactory CFerrowynView::s_viewFactory = &CFerrowynView::DefaultViewFactory;

CTabChildView* CFerrowynView::DefaultViewFactory(int viewType, QWidget* parent) {
  return qmx::views::CreateTabView(viewType, parent);
}

const char* CFerrowynView::ViewName(int viewType) {
  return viewType >= 0 && viewType < kViewCount ? kTabs[viewType].viewName : "";
}

CFerrowynView::CFerrowynView(QWidget* parent, bool dataViewsLater)
    : QWidget(parent), dataViewsLater_(dataViewsLater) {
  setObjectName("CFerrowynView");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  CreateTabCtrl();
}

int CFerrowynView::CreateTabCtrl() {
  selecting_ = true;
  setUpdatesEnabled(false);
  int remembered = kViewStartUp;
  if (tabs_) {
    remembered = tabs_->currentIndex();
    delete tabs_;  // takes the child views with it
    tabs_ = nullptr;
    views_.fill(nullptr);
  }
  tabs_ = new qmx::toolkit::FlatTabCtrl(this);
  tabs_->setObjectName(QString("TabCtrl%1").arg(kTabCtrlId));
  tabs_->setAccessibleName("Views");
  // The flat tabs sit below the views, as in the log window.
  tabs_->setTabPosition(QTabWidget::South);
  tabs_->setDocumentMode(true);
  CreateAllView();
  for (int i = 0; i < kViewCount; ++i) {
    // A child that could not be created leaves its tab with a bare window.
    QWidget* page = views_[i] ? static_cast<QWidget*>(views_[i]) : new QWidget(tabs_);
    const QString text = i == kViewStartUp ? QString::fromStdString(startTitle_) : QString(kTabs[i].text);
    tabs_->addTab(page, text);
  }
  tabs_->setCurrentIndex(remembered);
  connect(tabs_, &QTabWidget::currentChanged, this, &CFerrowynView::OnTabSelected);
  layout()->addWidget(tabs_);
  setUpdatesEnabled(true);
  selecting_ = false;
  return 0;
}

int CFerrowynView::CreateAllView() {
  for (int i = 0; i < kViewCount; ++i) {
    delete views_[i];
    views_[i] = nullptr;
  }
  const int count = dataViewsLater_ ? kViewImage : kViewCount;
  for (int i = 0; i < count; ++i) {
    views_[i] = MakeView(i);
    if (!views_[i]) break;
  }
  return 0;
}

CTabChildView* CFerrowynView::MakeView(int viewType) {
  static const char* kFunc = "FerrowynView::CreateAllView";
  CTabChildView* view = s_viewFactory ? s_viewFactory(viewType, tabs_) : nullptr;
  if (!view) {
    ShowResourceLackError(kTabs[viewType].failureCode, kFunc, kTabs[viewType].failureName, 1, 1);
    return nullptr;
  }
  view->setObjectName(QString("%1%2").arg(viewType == kViewStartUp ? "StartUpView" : kTabs[viewType].viewName)
                          .arg(kTabs[viewType].controlId));
  view->setAccessibleName(kTabs[viewType].text);
  view->hide();
  return view;
}

void CFerrowynView::CreateDataViews() {
  if (!dataViewsLater_) return;
  dataViewsLater_ = false;
  // A start view that could not be made stopped the chain already.
  if (!tabs_ || !views_[kViewStartUp]) return;
  selecting_ = true;
  setUpdatesEnabled(false);
  const int current = tabs_->currentIndex();
  for (int i = kViewImage; i < kViewCount; ++i) {
    CTabChildView* view = MakeView(i);
    if (!view) break;
    views_[i] = view;
    QWidget* page = tabs_->widget(i);
    tabs_->removeTab(i);
    tabs_->insertTab(i, view, kTabs[i].text);
    delete page;
  }
  tabs_->setCurrentIndex(current);
  setUpdatesEnabled(true);
  selecting_ = false;
}

void CFerrowynView::OnTabSelected(int index) {
  if (selecting_) return;
  ShowChildView(index);
  RefreshActiveView();
}

void CFerrowynView::ShowChildView(int viewType) {
  if (!tabs_ || viewType < 0 || viewType >= kViewCount) return;
  selecting_ = true;
  tabs_->setCurrentIndex(viewType);
  selecting_ = false;
}

void CFerrowynView::SetStartPage(const std::string& title, const std::string& path) {
  startTitle_ = title;
  startPath_ = path;
  if (tabs_) tabs_->SetItemText(kViewStartUp, QString::fromStdString(title));
  if (auto* start = dynamic_cast<CStartUpView*>(views_[kViewStartUp])) start->ShowStartPage(path);
}

int CFerrowynView::GetActiveViewType() const { return tabs_ ? tabs_->currentIndex() : kViewStartUp; }

CTabChildView* CFerrowynView::childView(int viewType) const {
  return viewType >= 0 && viewType < kViewCount ? views_[viewType] : nullptr;
}

void CFerrowynView::RefreshActiveView() {
  const int active = GetActiveViewType();
  if (active == kViewStartUp) return;
  if (CTabChildView* view = childView(active)) view->RefreshView(0);
}

void CFerrowynView::RefreshView(int bForce, const std::string& viewName) {
  if (viewName.empty()) {
    for (int i = kViewImage; i < kViewCount; ++i) {
      if (views_[i]) views_[i]->RefreshView(bForce);
    }
    return;
  }
  const int active = GetActiveViewType();
  if (active == kViewStartUp || CompareNoCase(viewName, ViewName(active)) != 0) return;
  if (CTabChildView* view = childView(active)) view->RefreshView(bForce);
}

void CFerrowynView::ChangeModuleNameIcon(int which) {
  for (int i = kViewImage; i < kViewCount; ++i) {
    if (views_[i]) views_[i]->DoChangeModuleNameIcon(which);
  }
}

void CFerrowynView::UpdateOnlineVals(const std::string& viewName, int value) {
  const int active = GetActiveViewType();
  if (active == kViewStartUp) return;
  if (!viewName.empty() && CompareNoCase(viewName, ViewName(active)) != 0) return;
  if (CTabChildView* view = childView(active)) view->UpdateOnlineVals(value);
}

void CFerrowynView::ClearAllViews() {
  if (!tabs_) return;
  for (int i = kViewImage; i < kViewCount; ++i) {
    if (views_[i]) views_[i]->ClearView();
  }
}

int CFerrowynView::CanHandleCommand(int commandId, int mode) {
  const int active = GetActiveViewType();
  if (active < kViewImage || active > kViewParameters) return 0;
  CTabChildView* view = childView(active);
  return view ? view->CanHandleCommand(commandId, mode) : 0;
}

void CFerrowynView::ChangeValMode(int flag) {
  if (GetActiveViewType() != kViewProcessImage) return;
  if (CTabChildView* view = childView(kViewProcessImage)) view->ChangeValMode(flag);
}
