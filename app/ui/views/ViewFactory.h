// Makes the child view of each tab of the tab host, in tab order:
// 0 CStartUpView, 1 CImageView, 2 CProcessImgView, 3 CParametersView,
// 4 CAddrMapView, 5 CCommnetView.
#pragma once

class CTabChildView;
class QWidget;

namespace qmx::views {

// The view of a tab, or null for an index outside 0 ... 5.
CTabChildView* CreateTabView(int viewType, QWidget* parent);

}  // namespace qmx::views
