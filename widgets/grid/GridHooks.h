// How the grid reaches the program it is built into. The main program and the
// driver library each install their own hooks once at start-up; until then
// every hook does nothing (a grid without hooks logs nothing and changes no
// owner object).
#pragma once

#include <functional>
#include <string>

class QWidget;

namespace qmx::grid {

// Logging and error reports. In the main program these are PostLog,
// ShowResourceLackError and ShowError of the model; the driver installs none
// (its grid reports nothing).
struct GridLogHooks {
  std::function<void(int category, const std::string& source, const std::string& text)> postLog;
  std::function<void(int code, const std::string& location, const std::string& objectName, int showBox,
                     int writeLog)>
      showResourceLackError;
  std::function<void(int code, const std::string& location, const std::string& message, int showBox,
                     int writeLog)>
      showError;
};

void SetGridLogHooks(GridLogHooks hooks);
void GridPostLog(int category, const std::string& source, const std::string& text);
void GridShowResourceLackError(int code, const std::string& location, const std::string& objectName, int showBox,
                               int writeLog);
void GridShowError(int code, const std::string& location, const std::string& message, int showBox, int writeLog);

// Services of the main frame that some cells need. The defaults do nothing,
// except ChooseFolder, which runs the grid's own folder chooser.
class GridFrameServices {
public:
  virtual ~GridFrameServices();

  // Applies a value the user changed in a cell to the row's owner object
  // (the object's ChagnedValueByUsr in the main program).
  virtual void ChangedValueByUser(void* ownerObject, const std::string& gridName, const std::string& itemKey,
                                  void* descriptor, const std::string& value);

  // Runs the serial communication settings dialog preset from `current`
  // ("baud,data,parity,stop"); true and the new settings text when confirmed.
  virtual bool EditSerialSettings(QWidget* parent, const std::string& current, std::string& result);

  // Runs the folder chooser; true and the chosen folder when confirmed.
  virtual bool ChooseFolder(QWidget* parent, const std::string& caption, const std::string& instruction,
                            const std::string& startFolder, std::string& result);
};

// The services every grid uses unless it was given its own. Never null: a
// default instance stands in until the program installs one. The object is
// not owned; it must outlive the grids.
void SetGridFrameServices(GridFrameServices* services);
GridFrameServices& DefaultGridFrameServices();

}  // namespace qmx::grid
