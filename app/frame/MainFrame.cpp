#include "app/frame/MainFrame.h"

#include "app/frame/AboutDlg.h"
#include "app/frame/CommProgress.h"
#include "app/frame/ContextHelp.h"
#include "app/frame/FerrowynView.h"
#include "app/frame/OutputBar.h"
#include "app/frame/TabDockWnd.h"
#include "app/frame/ToolBoxBar.h"
#include "app/frame/export/XddExport.h"
#include "app/frame/rules/CommandRules.h"
#include "app/model/FileVersionInfo.h"
#include "app/model/IOUsr.h"
#include "app/model/Logging.h"
#include "app/model/NAUsr.h"
#include "app/model/ProgramPaths.h"
#include "app/model/ProjectUsr.h"
#include "app/ui/dialogs/CheckValidationDlg.h"
#include "common/Utility.h"
#include "platform/os/os.h"
#include "platform/os/profile.h"
#include "platform/toolkit/message_box.h"
#include "platform/toolkit/text_fit.h"

#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <malloc.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <vector>

namespace {

constexpr const char* kBarStateSection = "Ferrowyn SaveBarState";
constexpr const char* kWindowPosSection = "Settings";

// The recent-file entries the framework numbers from its first id on.
constexpr int kRecentFileIdCount = 16;
// The status bar's logo pane.
constexpr int kLogoPaneId = 32772;
// The window layer makes the toolbar and registers it under its own id.
static_assert(qmx::commands::kIdViewToolBar == qmx::toolkit::kToolBarId);

// A choice box of the main toolbar, named after its command id.
QComboBox* AddToolBarCombo(QToolBar* bar, int commandId, const QStringList& items, int width) {
  auto* combo = new QComboBox(bar);
  combo->setObjectName(QString("Combo%1").arg(commandId));
  combo->addItems(items);
  combo->setFixedWidth(width);
  combo->setMaxVisibleItems(8);
  combo->setCurrentIndex(0);
  bar->addWidget(combo);
  return combo;
}

// "QMX-410 Tools Project Files (*.KPX)"
QString ProjectFileFilter() {
  return QString("%1 Files (*.%2)").arg(kProjectFileType, kProjectFileExt);
}

std::string ShowProjectFileDialog(QWidget* parent, bool save, const std::string& folder,
                                  const std::string& fileName) {
  QFileDialog dialog(parent, save ? "Save As" : "Open", QString::fromStdString(folder), ProjectFileFilter());
  dialog.setObjectName(save ? "ProjectSaveAsDialog" : "ProjectOpenDialog");
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(kProjectFileExt);
  if (!fileName.empty()) dialog.selectFile(QString::fromStdString(fileName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front().toStdString();
}

}  // namespace

QString CMainFrame::s_menuResource = ":/QMX410Tools/ui/menu128.xml";
QString CMainFrame::s_toolBarResource = ":/QMX410Tools/ui/toolbar128.xml";
bool CMainFrame::s_xmlParserAvailable = true;
std::string CMainFrame::s_programFileName = "QMX410Tools.exe";
CMainFrame::ProjectFileDialog CMainFrame::s_projectFileDialog = ShowProjectFileDialog;

CMainFrame::CMainFrame(qmx::os::Profile* profile) : profile_(profile) {
  setObjectName("CMainFrame");
  setWindowTitle("QMX-410 Tools");
  noticeText_ = qmx::kDefaultCopyright;
  // Modules of the "R" family carry the XDD export's object table.
  ioCatalogue_.fillXddObjectTable = &qmx::xdd::FillXddObjectTable;
  files_.addRecentFile = [this](const std::string& path) { AddToRecentFileList(path); };
  files_.showStartView = [this] {
    if (CFerrowynView* view = GetTabView("OpenProject", 1)) view->SetActiveTab(0);
  };
  // A project deleted from the tree goes without the save question.
  workspace_.closeProject = [this](CProjectUsr* project) {
    return files_.CloseProject(project, project->treeItem, 1, 0);
  };
}

CMainFrame::~CMainFrame() {
  // Nothing may post to the log window once it is gone.
  if (logBar_ && qmx::GetLogTarget() == logBar_->logTarget()) qmx::SetLogTarget(nullptr);
  // The options record goes before the window does.
  if (logBar_) logBar_->FollowLogOptions(nullptr);
}

int CMainFrame::OnCreate() {
  const char* kLoc = "CMainFrame::OnCreate";
  auto fail = [&](int code, const char* part) {
    ShowResourceLackError(code, kLoc, part, 1, 0);
    return -1;
  };

  // The menu bar.
  if (!LoadMenuBar(s_menuResource)) return fail(qmx::err::kCreateMenuBar, "menubar");
  // The toolbar.
  if (!LoadToolBar(s_toolBarResource)) return fail(qmx::err::kCreateToolBar, "toolbar");

  // The three docking windows.
  logBar_ = new COutputBar(this);
  if (!logBar_->Create(this, qmx::commands::kIdViewLogBar, "Log Message", 150)) {
    return fail(qmx::err::kCreateLogBar, "logMsgBar");
  }

  projectBar_ = new TabDockWnd(workspace_, this);
  if (!projectBar_->Create(this, qmx::commands::kIdViewProjectBar, "Project Window", 200)) {
    return fail(qmx::err::kCreateProjectBar, "prjectbar");
  }
  connect(projectBar_, &TabDockWnd::selectionChanged, this, &CMainFrame::PrjTreeSelChanged);

  toolBoxBar_ = new CToolBoxBar(this, profile_);
  if (!toolBoxBar_->Create(this, qmx::commands::kIdViewToolBoxBar, "NA && IO List", 150)) {
    return fail(qmx::err::kCreateToolBoxBar, "NA/IO bar");
  }
  contextHelp_ = new ContextHelp(this);

  // Status bar with four panes.
  statusBar_ = new qmx::toolkit::StatusBar(this);
  if (!statusBar_->SetIndicators(4)) return fail(qmx::err::kCreateStatusBar, "status bar");
  setStatusBar(statusBar_);
  RegisterBar(qmx::commands::kIdViewStatusBar, statusBar_);

  // Docking, in the order the bars always had.
  DockControlBar(logBar_, Qt::BottomDockWidgetArea);
  DockControlBar(projectBar_, Qt::LeftDockWidgetArea);
  DockControlBar(toolBoxBar_, Qt::RightDockWidgetArea);

  // The combo boxes and the logo pane do not stop creation when they fail.
  CreateCombos();
  statusBar_->AddLogoPane(kLogoPaneId, 0, "Kestun Automation");
  InstallStatusPanes();

  view_ = new CFerrowynView(this, partsAfterFirstFrame_);
  setCentralWidget(view_);

  // The structure operations look definitions up in the catalogue and
  // empty the views when the last project goes.
  workspace_.SetCatalogues(&naCatalogue_, &ioCatalogue_);
  workspace_.clearAllViews = [this] {
    if (CFerrowynView* view = GetTabView(std::string(), 0)) view->ClearAllViews();
  };

  // The online commands reach the windows through their hooks.
  InitOnlineOperations();

  // Last: every log record goes to the log window from now on.
  qmx::SetLogTarget(logBar_->logTarget());
  return 0;
}

bool CMainFrame::CreateCombos() {
  if (!toolBar()) return false;
  toolBar()->addSeparator();
  viewModeCombo_ = AddToolBarCombo(toolBar(), qmx::commands::kIdViewModeCombo,
                                   {"User View", "Product View", "Product, Desc View"}, 124);
  valueModeCombo_ = AddToolBarCombo(toolBar(), qmx::commands::kIdValueModeCombo,
                                    {"Analog Normal Value", "Analog Raw Value (Dec)", "Analog Raw Value (Hex)"}, 140);

  // Each box as wide as its longest entry with the style's arrow, so no
  // choice is cut in any font or screen scale.
  qmx::toolkit::FitComboToItems(viewModeCombo_, 124);
  qmx::toolkit::FitComboToItems(valueModeCombo_, 140);
  viewModeCombo_->setAccessibleName("Module naming mode");
  valueModeCombo_->setAccessibleName("Analog value mode");
  connect(viewModeCombo_, &QComboBox::activated, this, &CMainFrame::OnSelEndOkViewModeBar);
  connect(valueModeCombo_, &QComboBox::activated, this, &CMainFrame::OnSelEndOkValModeBar);
  return true;
}

bool CMainFrame::RestoreWindowState() {
  bool placed = false;
  if (profile_) {
    LoadBarState(*profile_, kBarStateSection);
    placed = LoadWindowPos(*profile_, kWindowPosSection);
  }
  if (!placed) {
    // First start: most of the screen, so every bar and both combo boxes show.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
      const QRect area = screen->availableGeometry();
      resize(std::max(800, area.width() * 4 / 5), std::max(600, area.height() * 4 / 5));
      move(area.center() - rect().center());
    }
  }
  // The commands' states are right in the first frame, not at the first
  // periodic update, which would draw the toolbar again.
  UpdateCommandUI();
  show();
  return true;
}

void CMainFrame::InitPaths() {
  appDir_ = qmx::os::ProgramFolder().string();
  qmx::Paths().SetAppDir(appDir_);
  appDir_ = qmx::Paths().appDir;
  // Log files go where the program may write: the program folder, or the
  // user's folders when it is installed read-only.
  if (logBar_) logBar_->SetAppDirectory(qmx::Paths().dataDir);
  qmx::PreparePerUserFolders(qmx::Paths());
  qmx::ReportCacheFolderChoice();
}

std::string CMainFrame::GetFileVersionText(const std::string& programFile, std::string& title,
                                           std::string& version) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(programFile, ec)) return {};

  FileVersionInfo info;
  info.Load(programFile);
  std::string values[13];
  for (int i = 0; i < 13; ++i) {
    char buffer[256] = {};
    if (info.GetStringValue(FileVersionInfo::GetKeyName(i), buffer, sizeof(buffer))) values[i] = buffer;
  }
  const std::string& company = values[1];
  (void)company;
  std::string fileVersion = values[3];
  std::string productName = values[9];
  std::string productVersion = values[10];
  const std::string& specialBuild = values[11];

  auto normalise = [](std::string& v) {
    std::string out;
    for (char c : v) {
      if (c == ',') out += '.';
      else if (c != ' ') out += c;
    }
    v = out;
  };
  normalise(fileVersion);
  normalise(productVersion);
  for (size_t pos; (pos = productName.find("Application")) != std::string::npos;) productName.erase(pos, 11);

  title = StrFormat("%s [Version:%s. Build:%s]", productName.c_str(), fileVersion.c_str(), specialBuild.c_str());
  version = fileVersion;
  return StrFormat("%s is started. ProductVerson: %s. ProductVersion: %s.", productName.c_str(),
                   productVersion.c_str(), fileVersion.c_str());
}

void CMainFrame::InitializeFrmaework() {
  BeginStartUp();
  FinishStartUp();
}

namespace {

// Hands on once the window it watches has been exposed, which is when the
// window system asks for its first frame: the frame is drawn while the
// exposure is handled, so what is queued from here runs after it.
class FirstFrameWatch : public QObject {
public:
  FirstFrameWatch(QWindow* window, std::function<void()> drawn) : QObject(window), drawn_(std::move(drawn)) {
    window->installEventFilter(this);
  }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
      watched->removeEventFilter(this);
      QTimer::singleShot(0, parent(), drawn_);
      deleteLater();
    }
    return false;
  }

private:
  std::function<void()> drawn_;
};

}  // namespace

void CMainFrame::InitializeFrameworkAfterFirstFrame(std::function<void()> then) {
  BeginStartUp();
  startUpFinished_ = false;
  auto finish = [this, then = std::move(then)] { CompleteStartUp(then); };
  QWindow* window = windowHandle();
  if (!window || window->isExposed() || isMinimized()) {
    QTimer::singleShot(0, this, finish);
    return;
  }
  new FirstFrameWatch(window, finish);
  QTimer::singleShot(kFirstFrameWaitMs, this, finish);
}

void CMainFrame::CompleteStartUp(const std::function<void()>& then) {
  if (startUpFinished_) return;  // the exposure and the time limit both hand on
  startUpFinished_ = true;
  if (qmx::GetClosingFlag() == 1) return;  // closed before its catalogue was read
  FinishStartUp();
  if (then) then();
  const std::vector<int> held = std::move(heldCommands_);
  heldCommands_.clear();
  for (int id : held) OnCommand(id);
}

void CMainFrame::BeginStartUp() {
  const char* kFunc = "InitializeFrmaework";
  // Paths.
  InitPaths();

  // Banner from the program's version block.
  std::string title, version;
  const std::string line =
      GetFileVersionText(appDir_ + "/" + qmx::os::MapProgramFileName(s_programFileName), title, version);
  if (!line.empty()) {
    PostLog(qmx::kLogGeneral, qmx::kLogSource, line);
    setWindowTitle(QString::fromStdString(title));
    versionText_ = version;
  }

  // The documentation work folder.
  const int rc = CreateDirectories(qmx::Paths().tmpDir);
  if (rc != 1) {
    const int systemCode = rc < 0 ? -rc : EINVAL;
    qmx::ReportError(qmx::err::kTmpFolder, StrFormat("Cannot create the tmp directory. API Code: %d.", systemCode),
                     kFunc);
    qmx::ShowBox(StrFormat("%s! Error Code: %d", "Cannot create the tmp directory", systemCode), qmx::kBoxIconStop);
  }
}

void CMainFrame::FinishStartUp() {
  if (view_) view_->CreateDataViews();
  // Settings, text lists and catalogue; start-up goes on with what was read.
  ParseXmlsAndAssignDatas();

  // The log window follows the options record, also after the
  // Configuration command changed it; the file-size limit is taken once.
  if (logBar_) {
    logBar_->FollowLogOptions(&options_);
    logBar_->SetMaxLogFileSize(options_.MaxLogFileSize);
  }

  // The start page.
  if (CFerrowynView* view = GetTabView(1)) {
    view->SetStartPage(options_.StartUpTitle, options_.StartUpPath);
    view->SetActiveTab(0);
  }

  // The catalogue window opens the folder that was open last time.
  if (toolBoxBar_) toolBoxBar_->OpenFolder(toolBoxBar_->GetLastFolder());
  OrderTabChain();
  // The start page's links take their commands' states before it is drawn.
  UpdateCommandUI();
  // The documents the readers parsed are gone; their pages go back to the
  // system instead of staying with the process.
  malloc_trim(0);
}

void CMainFrame::OrderTabChain() {
  // Reading order: the tool bar's combo boxes, the project window on the
  // left, the views, the catalogue on the right (its folders are made when
  // the catalogue is read, so they already come last), the log window
  // across the bottom, and round again to the combo boxes. The log window
  // is made first of the bars; the others are moved behind the combo boxes
  // once all exist. A tab control moves with its pages.
  qmx::toolkit::MoveIntoTabOrder(valueModeCombo_,
                                 {projectBar_ ? static_cast<QWidget*>(projectBar_->tabs()) : nullptr,
                                  view_ ? static_cast<QWidget*>(view_->tabCtrl()) : nullptr});
  // The chain is a ring that would start at the log window; the work starts
  // in the project tree.
  if (projectBar_ && projectBar_->tree()) projectBar_->tree()->setFocus();
}

CFerrowynView* CMainFrame::GetTabView(int showMessage) {
  if (!view_ && showMessage == 1) {
    qmx::ShowBox(StrFormat("Cannot get active view. Error Code: %d.", qmx::err::kNoActiveView), qmx::kBoxIconStop);
  }
  return view_;
}

int CMainFrame::ParseXmlsAndAssignDatas() {
  xmlParserHeld_ = false;
  if (!s_xmlParserAvailable) {
    ShowError(qmx::err::kXmlParser, "ParseXmlsAndAssignDatas", "Cannot create XML Parser. Please install xml parser",
              1, 1);
    return 0;
  }
  xmlParserHeld_ = true;
  loadedFiles_.clear();

  // Each reader runs only when every reader before it returned 1. The text
  // lists carry the language suffix that the settings name, so their paths
  // are formed when their turn comes.
  const std::vector<std::function<int()>> readers = {
      [this] {
        loadedFiles_.push_back(qmx::Paths().SettingsFile());
        const int rc = ReadSettingsFile(qmx::Paths(), options_, extras_);
        ApplyViewModeFromSettings();
        return rc;
      },
      [this] {
        const std::string path = TextIdListPath(appDir_, options_.Language);
        loadedFiles_.push_back(path);
        return ParseTextIdFile(path, textIds_);
      },
      [this] {
        const std::string path = ErrorListPath(appDir_, options_.Language);
        loadedFiles_.push_back(path);
        return ParseErrorFile(path, errors_);
      },
      [this] {
        const std::string path = NAListPath(appDir_);
        loadedFiles_.push_back(path);
        return ParseNAFiles(path, textIds_, naCatalogue_, toolBoxBar_);
      },
      [this] {
        const std::string path = IOListPath(appDir_);
        loadedFiles_.push_back(path);
        return ParseIOFiles(path, textIds_, ioCatalogue_, toolBoxBar_);
      },
  };
  for (const auto& read : readers) {
    const int rc = read();
    if (rc != 1) return rc;  // the parser stays held until the frame goes
  }
  xmlParserHeld_ = false;
  return 1;
}

void CMainFrame::ApplyViewModeFromSettings() {
  // The settings' copyright line is the notice of the About dialog.
  if (!TrimStr(extras_.copyright).empty()) noticeText_ = extras_.copyright;
  if (!extras_.projectsFolder.empty()) qmx::Paths().projectsDir = extras_.projectsFolder;
  if (extras_.viewModeRead) {
    workspace_.namingMode = extras_.viewMode;
    if (viewModeCombo_) viewModeCombo_->setCurrentIndex(workspace_.namingMode);
  }
}

std::string CMainFrame::GetTextIdValue(const std::string& textId, std::string& description) {
  return ::GetTextIdValue(textIds_, textId, description);
}

int CMainFrame::SaveConfig() {
  extras_.copyright = noticeText_;
  extras_.viewMode = workspace_.namingMode;
  return SaveConfigFile(qmx::Paths().configDir, options_, extras_);
}

void CMainFrame::OnAppAbout() {
  CAboutDlg dlg(this, versionText_, noticeText_);
  dlg.exec();
}

void CMainFrame::OnCommand(int id) {
  // Every command may need the catalogue: none runs before it is read.
  if (!startUpFinished_) {
    heldCommands_.push_back(id);
    return;
  }
  if (const qmx::commands::CommandSpec* spec = FindCommandSpec(id)) {
    // No command that talks to the devices starts while an operation runs
    // under the progress window.
    if (spec->online && qmx::frame::CommProgressRunning()) return;
    spec->handler(*this);
  } else if (IsRecentFileId(id)) {
    OnOpenRecentFile(id - qmx::toolkit::kRecentFileFirstId);
  }
}

bool CMainFrame::IsRecentFileId(int id) {
  return id >= qmx::toolkit::kRecentFileFirstId && id < qmx::toolkit::kRecentFileFirstId + kRecentFileIdCount;
}

bool CMainFrame::OnUpdateCommand(int id, bool&) { return IsRecentFileId(id) || IsCommandRuleEnabled(id); }

void CMainFrame::OnClose() {
  // 1. Never while a project monitors.
  for (const std::unique_ptr<CProjectUsr>& p : workspace_.Projects()) {
    if (p->monitoring == 1) {
      qmx::ShowBox("Some projects are monitoring. Please, terminate application after stop monitoring.",
                   qmx::kBoxIconStop);
      return;
    }
  }
  // 2. Ask.
  if (qmx::ShowBox("Terminate application?", qmx::kBoxYesNo | qmx::kBoxIconQuestion) != qmx::kBoxIdYes) return;
  // 3. From here on nothing is logged.
  qmx::SetClosingFlag(1);
  // 4. Close the projects in list order, each leaving the list as it
  // closes, so that after a cancel the list holds exactly the projects that
  // are still open with their items.
  while (!workspace_.Projects().empty()) {
    CProjectUsr* project = workspace_.Projects().front().get();
    if (files_.CloseProject(project, project->treeItem, 1, 1) == kCloseCancelled) {
      qmx::SetClosingFlag(0);
      return;
    }
  }
  // 5. (Every project was deleted as it closed.)
  // 6. Bar layout and window placement.
  if (profile_) {
    SaveBarState(*profile_, kBarStateSection);
    SaveWindowPos(*profile_, kWindowPosSection);
    profile_->Sync();
  }
  // 7. Empty the documentation work folder, which stays.
  if (!qmx::Paths().tmpDir.empty()) DeleteAllFilesInDir(qmx::Paths().tmpDir, 0);
  // 8. Old log files.
  if (logBar_) logBar_->EraseOldLogFiles();
  // 9. The window goes.
  qmx::SetLogTarget(nullptr);
  DestroyFrame();
}

// ---------------------------------------------------------------------------
// Selection services and tree operations

TabTreeCtrl* CMainFrame::GetPrjTreeCtrl() const { return projectBar_ ? projectBar_->tree() : nullptr; }

CFerrowynView* CMainFrame::GetTabView(const std::string& label, int show) {
  if (view_) return view_;
  if (!label.empty()) {
    qmx::ReportError(qmx::err::kNoActiveView, "Cannot get active view.", label, qmx::FuncEnd::kNoStop);
  }
  if (show == 1) {
    qmx::ShowBox(StrFormat("Cannot get active view. Error Code: %d.", qmx::err::kNoActiveView), qmx::kBoxIconStop);
  }
  return nullptr;
}

void CMainFrame::RefreshView(int bForce, const std::string& viewName) {
  if (CFerrowynView* view = GetTabView("RefreshView", 0)) view->RefreshView(bForce, viewName);
}

void CMainFrame::ChangeViewModuleNameIcon(int which) {
  if (CFerrowynView* view = GetTabView("ChangeViewModuleNameIcon", 0)) view->ChangeModuleNameIcon(which);
}

std::string CMainFrame::GetBusTypeName(int index) const {
  const std::vector<std::string>& names = naCatalogue_.busTypes;
  return index >= 1 && static_cast<size_t>(index) <= names.size() ? names[static_cast<size_t>(index - 1)]
                                                                   : std::string();
}

void CMainFrame::PrjTreeSelChanged() {
  // The selection pane follows at once, not at its next refresh.
  if (statusBar_) statusBar_->RefreshPanes();
  CFerrowynView* view = GetTabView("PrjTreeSelChanged", 0);
  if (!view) return;
  if (workspace_.treeSelProcessing == 1) view->RefreshActiveView();
  if (view->GetActiveViewType() == kViewProcessImage) view->ChangeValMode(1);
}

// ---------------------------------------------------------------------------
// Configuration validation

namespace {

// A failed validation: the "Validation Result" dialog, made without a parent
// and run modally; it frees the rows.
void ShowValidationResultDialog(const std::string& kind, const std::string& label, TreeItem item,
                                const std::string& heading, ValidationList& rows) {
  qmx::dialogs::CheckValidationDlg dialog;
  dialog.SetValidationResult(kind, label, item, heading, rows);
  dialog.DoModal();
}

}  // namespace

ConfigValidator::ResultSink CMainFrame::s_validationResult = ShowValidationResultDialog;

void CMainFrame::OnEditChkValidPrj() { validator_.OnEditChkValidPrj(s_validationResult); }

void CMainFrame::OnEditChkValidNa() { validator_.OnEditChkValidNa(s_validationResult); }

// ---------------------------------------------------------------------------
// Project files and the File menu

ProjectFiles& CMainFrame::Files() {
  files_.appVersion = versionText_;
  files_.xmlParserAvailable = s_xmlParserAvailable;
  return files_;
}

void CMainFrame::AddToRecentFileList(const std::string& path) {
  if (!profile_) return;
  profile_->AddRecentFile(QString::fromStdString(path));
  SetRecentFiles(profile_->RecentFiles());
}

void CMainFrame::OnOpenRecentFile(int index) {
  const QStringList files = RecentFiles();
  if (index < 0 || index >= files.size()) return;
  const std::string path = files.at(index).toStdString();
  if (OpenProject(path) == 1) AddToRecentFileList(path);
}

void CMainFrame::OnFileOpenPrj() {
  const std::string path = s_projectFileDialog ? s_projectFileDialog(this, false, qmx::Paths().projectsDir, {}) : "";
  if (path.empty()) return;
  if (OpenProject(path) == 1) AddToRecentFileList(path);
}

void CMainFrame::OnFileSave() {
  CProjectUsr* project = workspace_.GetSelectedProject(nullptr, {}, 0);
  if (!project) return;
  if (IsStrEmpty(project->filePath, 1)) {
    OnFileSaveAs();
    return;
  }
  SaveProject({}, project->filePath, project);
}

void CMainFrame::OnFileSaveAs() {
  CProjectUsr* project = workspace_.GetSelectedProject(nullptr, {}, 0);
  if (!project) return;
  const std::string proposed = project->GetName() + "." + kProjectFileExt;
  std::string path = s_projectFileDialog ? s_projectFileDialog(this, true, qmx::Paths().projectsDir, proposed) : "";
  path = TrimStr(path);
  if (path.empty()) return;
  // A name typed without the extension gets it, as the dialog's default
  // extension would; the project's name is the file's title either way.
  ProjectPathParts parts = SplitProjectPath(path);
  const std::string suffix = std::string(".") + kProjectFileExt;
  if (parts.fileName.size() <= suffix.size() ||
      CompareNoCase(parts.fileName.substr(parts.fileName.size() - suffix.size()), suffix) != 0) {
    path += suffix;
    parts = SplitProjectPath(path);
  }
  const std::string newName = parts.title;
  if (CompareNoCase(newName, project->GetName()) != 0 && workspace_.IsOpenedProject(path, newName)) {
    qmx::ShowBox("Project name exists in opened project. Please input another project name.", 0);
    return;
  }
  SaveProject(newName, path, project);
}

void CMainFrame::OnFileClosePrj() {
  TreeItem item = kNoTreeItem;
  CProjectUsr* project = workspace_.GetSelectedProject(&item, {}, 0);
  if (!project) return;
  // The selection goes to a neighbour, as when a project is deleted, so
  // the File commands keep a project to work on.
  ProjectTree& tree = workspace_.tree();
  TreeItem neighbour = tree.GetNextSiblingItem(item);
  if (neighbour == kNoTreeItem) neighbour = tree.GetPrevSiblingItem(item);
  if (CloseProject(project, item, 1, 1) == 1 && tree.Contains(neighbour)) tree.SelectItem(neighbour);
  if (workspace_.Projects().empty()) {
    if (CFerrowynView* view = GetTabView("OnFileClosePrj", 0)) view->ClearAllViews();
  }
}
