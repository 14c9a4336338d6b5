#include "app/model/ProgramPaths.h"

#include "app/model/Services.h"

namespace qmx {

ProgramPaths& Paths() { return Services().paths; }

}  // namespace qmx
