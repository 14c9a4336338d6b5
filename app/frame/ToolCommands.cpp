// Command enabling of the main window, the naming-mode and value-mode combo
// boxes, and the small commands that only open something: Configuration,
// Bootp Server, the help topics and Print Setup.
#include "app/frame/ContextHelp.h"
#include "app/frame/FerrowynView.h"
#include "app/frame/HelpWindow.h"
#include "app/frame/MainFrame.h"
#include "app/frame/TabTreeCtrl.h"
#include "app/frame/rules/CommandRules.h"
#include "app/frame/rules/HelpTopics.h"
#include "app/model/Logging.h"
#include "app/model/ProjectUsr.h"
#include "app/model/Services.h"
#include "app/model/ValueConversion.h"
#include "app/ui/dialogs/ConfigDlg.h"
#include "app/ui/views/StartUpView.h"
#include "common/Utility.h"
#include "platform/os/os.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPageLayout>
#include <QPointer>

#include <cstdlib>
#include <memory>

using namespace qmx::commands;

bool CMainFrame::IsCommandRuleEnabled(int id) const {
  CommandContext context;
  context.workspace = &workspace_;
  const TabTreeCtrl* tree = GetPrjTreeCtrl();
  context.treeHasFocus = tree && tree->HasFocusFlag() == 1;
  if (view_) context.viewHandles = [this](int command) { return view_->CanHandleCommand(command, 1); };
  context.xddExportable = [this] { return IsXddExportable(); };
  return IsCommandEnabled(id, context);
}

void CMainFrame::OnSelEndOkViewModeBar() {
  const int selection = viewModeCombo_ ? viewModeCombo_->currentIndex() : -1;
  if (selection < 0 || selection == workspace_.namingMode) return;
  workspace_.namingMode = selection;
  for (const std::unique_ptr<CProjectUsr>& project : workspace_.Projects()) {
    ReNumberingIOsDispath(kTypeProject, project->treeItem);
  }
  ChangeViewModuleNameIcon(-1);
}

void CMainFrame::OnSelEndOkValModeBar() {
  static const char* kFunc = "OnSelEndOkValModeBar";
  const int selection = valueModeCombo_ ? valueModeCombo_->currentIndex() : -1;
  if (selection < 0) return;
  CFerrowynView* view = GetTabView(kFunc, 1);
  if (!view) return;
  if (view->GetActiveViewType() == kViewProcessImage) {
    if (selection == valueMode_) return;
    valueMode_ = selection;
    // Edits of analog outputs are read in the mode they are shown in.
    SetAnalogValueMode(selection);
    view->ChangeValMode(0);
    return;
  }
  if (selection == valueMode_) return;
  valueModeCombo_->setCurrentIndex(valueMode_);
  qmx::ShowBox("You can only change the value on 'Process Image' tab.", 0);
}

void CMainFrame::OnOptionsConfiguration() {
  qmx::dialogs::ConfigDlg dialog(options_, [this] { return SaveConfig(); }, qmx::Paths().projectsDir, this);
  dialog.DoModal();
}

void CMainFrame::OnToolsBootp() {
  const std::string program = StrFormat("%s/Tools/%s", appDir_.c_str(), "Plenvar.exe");
  if (qmx::os::LaunchProgram({program, {}, {}}) != 1) {
    // What the desktop's shell would say of a program it cannot start.
    qmx::ShowBox(StrFormat("Cannot find '%s'. Make sure you typed the name correctly, and then try again.",
                           qmx::os::MapProgram(program).empty() ? program.c_str()
                                                                 : qmx::os::MapProgram(program).front().c_str()),
                 qmx::kBoxIconStop);
  }
}

void CMainFrame::OnHelpTopics() { qmx::ShowHelp(HelpTopic(appDir_, "Introduction.htm")); }

void CMainFrame::OnHelpTechData() { qmx::ShowHelp(HelpTopic(appDir_, "Vexo Information.htm")); }

void CMainFrame::OnHelpOnSelection() {
  if (contextHelp_) ShowHelpTopic(HelpTopic(appDir_, contextHelp_->CurrentPage()));
}

void CMainFrame::OnFilePrintSetup() {
  // The page set-up the user chose last. The dialog is in a library beside
  // the program, opened at the command's first use.
  static QPageLayout chosen;
  // Never closed: Qt's print support stays loaded until the process ends.
  static auto& dialogs = *new qmx::os::Module;
  const std::string library = StrFormat("%s/%s", appDir_.c_str(), "QMX410PageSetup.so");
  if (!dialogs.loaded() && !dialogs.Load(library)) {
    qmx::ShowBox(StrFormat("Print Setup is not available: %s", dialogs.LastError().c_str()), qmx::kBoxIconStop);
    return;
  }
  using RunPageSetup = bool (*)(QWidget*, QPageLayout*);
  const auto run = reinterpret_cast<RunPageSetup>(dialogs.GetProc("QmxRunPageSetup"));
  if (run == nullptr) {
    qmx::ShowBox(StrFormat("Print Setup is not available: %s has no page set-up dialog.", library.c_str()),
                 qmx::kBoxIconStop);
    return;
  }
  run(this, &chosen);
}

CHelpWindow* CMainFrame::helpWindow() const { return helpWindow_.data(); }

void CMainFrame::ShowHelpTopic(const std::string& topic) {
  if (const char* viewer = std::getenv(kHelpViewerVariable); viewer && *viewer) {
    if (qmx::os::LaunchProgram({viewer, {topic}, {}}) == 1) return;
  }
  if (!helpWindow_) helpWindow_ = new CHelpWindow(this);
  // Opened from a modal dialog, the window belongs to that dialog while it
  // runs, so that it takes input; it comes back to the frame afterwards.
  QWidget* modal = QApplication::activeModalWidget();
  if (modal && modal != helpWindow_->parentWidget()) {
    const QRect placed = helpWindow_->geometry();
    helpWindow_->setParent(modal, Qt::Window);
    helpWindow_->setGeometry(placed);
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      QPointer<CHelpWindow> window = helpWindow_;
      connect(dialog, &QDialog::finished, this, [this, window] {
        if (!window) return;
        const bool visible = window->isVisible();
        const QRect placed = window->geometry();
        window->setParent(this, Qt::Window);
        window->setGeometry(placed);
        if (visible) window->show();
      });
    }
  } else if (!modal && helpWindow_->parentWidget() != this) {
    helpWindow_->setParent(this, Qt::Window);
  }
  helpWindow_->ShowTopic(appDir_, topic);
}

void CMainFrame::OnCommandUIUpdated() {
  // The start page's links follow the commands they run.
  if (!view_) return;
  if (auto* start = dynamic_cast<CStartUpView*>(view_->childView(kViewStartUp))) {
    start->UpdateCommandLinks([this](int id) {
      const QAction* action = CommandAction(id);
      return action ? action->isEnabled() : true;
    });
  }
}
