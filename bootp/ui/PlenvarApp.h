// Start-up of the BOOTP server: one instance at a time, the server socket,
// then the main dialog until it closes.
#pragma once

namespace qmx::plenvar {

int RunPlenvar(int argc, char** argv);

}  // namespace qmx::plenvar
