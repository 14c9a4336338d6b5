// The status bar's three indicator panes say what the engineer would
// otherwise look for in the tree: what is selected, whether the selected
// project is online, and whether it has changes not yet saved.
#include "app/frame/MainFrame.h"
#include "app/model/ProjectUsr.h"
#include "app/model/Wrapper.h"

#include <QString>

void CMainFrame::InstallStatusPanes() {
  if (!statusBar_ || statusBar_->paneCount() < 4) return;
  // Pane 0 is the logo, pane 1 the message pane; the indicators follow.
  const int first = statusBar_->paneCount() - 3;
  statusBar_->SetPaneSource(first, [this] {
    Wrapper* object = nullptr;
    std::string text;
    workspace_.GetSelectedObject(object, text);
    return text.empty() ? QStringLiteral("No selection") : QString::fromStdString(text);
  });
  statusBar_->SetPaneSource(first + 1, [this] {
    const CProjectUsr* project = workspace_.GetSelectedProject(nullptr, {}, 0);
    return project && project->monitoring == 1 ? QStringLiteral("Monitoring") : QStringLiteral("Offline");
  });
  statusBar_->SetPaneSource(first + 2, [this] {
    const CProjectUsr* project = workspace_.GetSelectedProject(nullptr, {}, 0);
    if (!project) return QStringLiteral("No project");
    return project->IsModified() ? QStringLiteral("Modified") : QStringLiteral("Saved");
  });
}
