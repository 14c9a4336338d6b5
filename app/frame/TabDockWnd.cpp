#include "app/frame/TabDockWnd.h"

#include "app/model/Logging.h"

#include <QPainter>
#include <QPixmap>
#include <QTabBar>

namespace {
constexpr const char* kLoc = "TabDockWnd::OnCreate";
constexpr int kTabImageCount = 3;
}  // namespace

TabDockWnd::TabDockWnd(ProjectWorkspace& workspace, qmx::toolkit::FrameWnd* frame)
    : qmx::toolkit::DockWindow(frame), workspace_(workspace), frame_(frame) {}

TabDockWnd::~TabDockWnd() = default;

QTabWidget* TabDockWnd::CreateTabs() {
  auto* tabs = new QTabWidget(this);
  tabs->setObjectName("ProjectWindowTabs");
  tabs->setAccessibleName("Project Window");
  tabs->setTabPosition(QTabWidget::South);
  tabs->setDocumentMode(true);
  return tabs;
}

TabTreeCtrl* TabDockWnd::CreateTree() {
  auto* tree = new TabTreeCtrl(workspace_.tree(), frame_, tabs_);
  tree->setObjectName(QString("ProjectTree%1").arg(kTreeId));
  return tree;
}

std::vector<QIcon> TabDockWnd::CreateTabImages() {
  // Three tab pictures; the one tab shows none of them.
  std::vector<QIcon> images;
  const QColor colours[kTabImageCount] = {QColor(240, 200, 90), QColor(60, 120, 220), QColor(40, 160, 60)};
  for (const QColor& colour : colours) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setBrush(colour);
    p.drawRect(2, 3, 11, 10);
    images.emplace_back(pixmap);
  }
  return images;
}

int TabDockWnd::OnCreate() {
  auto fail = [](int code, const char* part) {
    ShowResourceLackError(code, kLoc, part, 1, 0);
    return -1;
  };
  if (DockWindow::OnCreate() != 0) return fail(-5160, "TabCtrlBar");
  tabs_ = CreateTabs();
  if (!tabs_) return fail(-5160, "TabCtrlBar");
  tree_ = CreateTree();
  if (!tree_) return fail(-5161, "tree control");
  tabs_->addTab(tree_, "Project Explorer");
  tabImages_ = CreateTabImages();
  if (tabImages_.size() < kTabImageCount) return fail(-5162, "image list");
  connect(tree_, &TabTreeCtrl::selectionChanged, this, [this](TreeItem) { emit selectionChanged(); });
  SetChild(tabs_);
  return 0;
}
