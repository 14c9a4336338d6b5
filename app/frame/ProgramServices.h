// Where the main program fills its services at start-up: the model's
// services object (app/model/Services.h) and the hooks of the layers below
// the model that cannot see it (the grid's log and error reports, the picture
// writers' sinks). Nothing else in the program sets a process-wide hook.
#pragma once

#include <string>

class CMainFrame;
class NACatalogue;

namespace qmx {

// Before the main window exists: the title of the boxes, message boxes on
// the toolkit, the grid's and the picture writers' reports on the model's log
// and boxes, the program folder from the running executable.
void InstallProgramServices();

// Once the main window exists: what the frame answers (the options record,
// the naming mode, library version texts, the shared driver of a multi-drop
// line from the adapter catalogue).
void ConnectFrameServices(CMainFrame& frame);
// Before the main window goes: nothing may reach it through the services.
void DisconnectFrameServices();

// The driver file ("%s.%s") of a bus type from the first adapter definition
// that names one, and the type's code; "" and code 5 (none) when no
// definition does.
std::string MultiDropDriverFile(const NACatalogue& catalogue, const std::string& commType, int& code);

// The driver file an automatic scan of a project of this bus type loads: the
// frame's multi-drop look-up, and where that finds none (an adapter serving
// several bus types names its driver only in its driver entries) the one the
// project's shared line loads.
std::string ScanDriverFile(const NACatalogue& catalogue, const std::string& busType);

}  // namespace qmx
