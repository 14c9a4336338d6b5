// Waiting for a socket inside the Qt event loop: while a Modbus request is
// out, the program keeps handling its other events (BOOTP requests, paints).
#pragma once

#include "bootp/core/modbus_setup.h"

namespace qmx::plenvar {

Waiter QtEventLoopWaiter();

}  // namespace qmx::plenvar
