#include "app/model/ProgramPaths.h"

namespace qmx {

ProgramPaths& Paths() {
  static ProgramPaths paths;
  return paths;
}

}  // namespace qmx
