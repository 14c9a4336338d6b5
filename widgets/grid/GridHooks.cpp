#include "widgets/grid/GridHooks.h"

#include "widgets/grid/FolderBrowser.h"

namespace qmx::grid {
namespace {

GridLogHooks& Hooks() {
  static GridLogHooks hooks;
  return hooks;
}

GridFrameServices& BuiltInServices() {
  static GridFrameServices services;
  return services;
}

GridFrameServices* g_services = nullptr;

}  // namespace

void SetGridLogHooks(GridLogHooks hooks) { Hooks() = std::move(hooks); }

void GridPostLog(int category, const std::string& source, const std::string& text) {
  if (Hooks().postLog) Hooks().postLog(category, source, text);
}

void GridShowResourceLackError(int code, const std::string& location, const std::string& objectName, int showBox,
                               int writeLog) {
  if (Hooks().showResourceLackError) Hooks().showResourceLackError(code, location, objectName, showBox, writeLog);
}

void GridShowError(int code, const std::string& location, const std::string& message, int showBox, int writeLog) {
  if (Hooks().showError) Hooks().showError(code, location, message, showBox, writeLog);
}

GridFrameServices::~GridFrameServices() = default;

void GridFrameServices::ChangedValueByUser(void*, const std::string&, const std::string&, void*,
                                           const std::string&) {}

bool GridFrameServices::EditSerialSettings(QWidget*, const std::string&, std::string&) { return false; }

bool GridFrameServices::ChooseFolder(QWidget* parent, const std::string& caption, const std::string& instruction,
                                     const std::string& startFolder, std::string& result) {
  FolderBrowser browser(caption, instruction, startFolder, parent);
  if (browser.DoModal() != 1) return false;
  result = browser.GetFolder();
  return true;
}

void SetGridFrameServices(GridFrameServices* services) { g_services = services; }

GridFrameServices& DefaultGridFrameServices() { return g_services ? *g_services : BuiltInServices(); }

}  // namespace qmx::grid
