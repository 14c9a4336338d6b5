#include "app/ui/views/ViewFactory.h"

#include "app/ui/views/AddrMapView.h"
#include "app/ui/views/CommnetView.h"
#include "app/ui/views/ImageView.h"
#include "app/ui/views/ParametersView.h"
#include "app/ui/views/ProcessImgView.h"
#include "app/ui/views/StartUpView.h"

namespace qmx::views {

CTabChildView* CreateTabView(int viewType, QWidget* parent) {
  switch (viewType) {
    case 0: return new CStartUpView(parent);
    case 1: return new CImageView(parent);
    case 2: return new CProcessImgView(parent);
    case 3: return new CParametersView(parent);
    case 4: return new CAddrMapView(parent);
    case 5: return new CCommnetView(parent);
    default: return nullptr;
  }
}

}  // namespace qmx::views
