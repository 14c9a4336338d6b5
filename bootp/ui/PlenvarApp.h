// Start-up of the BOOTP server: one instance at a time, the server socket,
// then the main dialog until it closes.
#pragma once

namespace qmx::plenvar {

class PlenvarDlg;

// Opens the dialog's server socket; when it cannot be made, one box says why
// (with the program's real path where a grant is the remedy) and the answer
// is false: the program ends.
bool OpenServerSocketOrTell(PlenvarDlg& dialog);

int RunPlenvar(int argc, char** argv);

}  // namespace qmx::plenvar
