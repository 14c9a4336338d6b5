#include "widgets/grid/GridPolicy.h"

namespace qmx::grid {

const GridPolicy& MainProgramGridPolicy() {
  static const GridPolicy policy{};
  return policy;
}

const GridPolicy& DriverGridPolicy() {
  static const GridPolicy policy{GridPolicy::Flavor::kDriver, false, false, false, false, &CheckGridValueDriver};
  return policy;
}

}  // namespace qmx::grid
