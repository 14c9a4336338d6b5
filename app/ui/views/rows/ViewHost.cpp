#include "app/ui/views/rows/ViewHost.h"

#include "app/model/ProjectWorkspace.h"
#include "app/model/ValueConversion.h"

namespace qmx::views {

ViewHost& Host() {
  static ViewHost host;
  return host;
}

void ResetHost() { Host() = ViewHost(); }

int HostNamingMode() { return Host().workspace ? Host().workspace->namingMode : 0; }

int HostValueMode() { return Host().valueMode ? Host().valueMode() : GetAnalogValueMode(); }

}  // namespace qmx::views
