// Everything the model asks of the program around it, in one object.
//
// The model is toolkit-free and knows no frame, tree or window; where it
// needs one (a message box, the adapter a module sits under, the naming mode
// of the project window, the options, the program folder) it asks this
// object. The frame fills it once at start-up (app/frame/ProgramServices.cpp);
// a test sets the members it needs and qmx::test::ResetProgramServices()
// (tests/support) puts every one back. Every member may be left empty: each
// says what the model does then.
//
// Filled before other threads start and read afterwards; not for changing
// while the program runs.
#pragma once

#include "app/model/ProgramPaths.h"

#include <functional>
#include <string>
#include <vector>

class AdapterLink;
class AppOptions;
class CIOUsr;
class CNAUsr;
class Wrapper;

namespace qmx {

struct ProgramServices {
  // ---- boxes and help ------------------------------------------------------------
  // Shows a message box with the icon and button flags of Logging.h and
  // returns the button pressed. Empty: the text goes to standard error and
  // the answer is 1 (OK).
  std::function<int(const std::string& text, unsigned flags)> messageBox;
  // Opens a help topic ("<program folder>/QMX410Tools.chm::/<page>.htm").
  // Empty: an "[Info] Help topic: %s." line is logged.
  std::function<void(const std::string& topic)> showHelp;

  // ---- folders ----------------------------------------------------------------------
  // The program folder and its sub-folders: the one answer to "where is the
  // program" inside the program. Starts as the folder of the running
  // executable; the frame sets it again at start-up.
  ProgramPaths paths;

  // ---- the project tree --------------------------------------------------------------
  // The adapter that holds a module, as the module reads it (an adapter is
  // its own and is never asked). Empty: modules have none. An adapter knows
  // its project by the line its project hands it (app/model/CommLine.h).
  std::function<AdapterLink*(const Wrapper& object)> adapterOf;
  // The modules under an adapter in tree order. Empty: none.
  std::function<std::vector<CIOUsr*>(const CNAUsr& adapter)> modulesOf;
  // Told 1 when the user changed a value of the selected project. Empty: nobody.
  std::function<void(int modified)> projectModified;
  // Naming mode of the project window (0 user, 1 product, 2 product and
  // description). Empty: 0.
  std::function<int()> viewMode;

  // ---- settings and driver libraries ---------------------------------------------
  // The options record. Empty: none (every log switch on).
  std::function<const AppOptions*()> options;
  // Version text of a library file for the "loaded successfully" lines. Empty: "".
  std::function<std::string(const std::string& path)> fileVersionText;
  // The driver file and communication code of an RS422/RS485 line, from the
  // adapter catalogue. Empty: the project has no shared driver.
  std::function<std::string(const std::string& commType, int& code)> multiDropDriverFile;
};

// The program-wide services.
ProgramServices& Services();

// Every member back to empty, the folders back to the executable's.
void ResetServices();

// Shows a help topic through showHelp, or logs "[Info] Help topic: %s.".
void ShowHelp(const std::string& topic);

}  // namespace qmx
