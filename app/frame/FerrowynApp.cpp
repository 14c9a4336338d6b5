#include "app/frame/FerrowynApp.h"

#include "app/frame/MainFrame.h"
#include "app/frame/ProgramServices.h"
#include "app/model/Logging.h"
#include "common/Utility.h"
#include "platform/toolkit/message_box.h"

#include <QApplication>
#include <QStringList>
#include <QThreadPool>

#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

constexpr const char* kInstanceName = "Ferrowyn.exe";

}  // namespace

CFerrowynApp::CFerrowynApp() = default;

CFerrowynApp::~CFerrowynApp() {
  if (frame_) {
    qmx::SetLogTarget(nullptr);
    qmx::DisconnectFrameServices();
  }
}

bool CFerrowynApp::InitInstance(const std::vector<std::string>& args) {
  qmx::InstallProgramServices();

  // One instance at a time. Only a lock that another process holds means the
  // program runs already; a lock file that cannot be made is a fault of the
  // lock folder, and starting anyway would let two instances share one
  // program folder.
  const int lock = instanceLock_.Create(kInstanceName);
  if (lock == 0) {
    qmx::ShowBox(StrFormat("%s has been executed already.", kInstanceName), qmx::kBoxIconStop);
    exitCode_ = 0;
    return false;
  }
  if (lock < 0) {
    const std::filesystem::path file = qmx::os::NamedMutex::LockPath(kInstanceName);
    const std::string text =
        StrFormat("Cannot create the single-instance lock file %s: %s.\nThe lock folder %s must exist and be "
                  "writable, and the lock file must be a file of your own (set QMX_LOCK_DIR to another folder).",
                  file.string().c_str(), std::strerror(-lock), file.parent_path().string().c_str());
    std::fprintf(stderr, "%s\n", text.c_str());
    qmx::ShowBox(text, qmx::kBoxIconStop);
    exitCode_ = 1;
    return false;
  }

  // The profile with four recent files.
  profile_ = std::make_unique<qmx::os::Profile>(4);
  qmx::SetClosingFlag(0);

  // The main frame.
  frame_ = std::make_unique<CMainFrame>(profile_.get());
  frame_->SetPartsAfterFirstFrame(frameDrawnFirst_);
  if (frame_->OnCreate() != 0) {
    frame_.reset();
    return false;
  }
  qmx::ConnectFrameServices(*frame_);
  QStringList recent = profile_->RecentFiles();
  frame_->SetRecentFiles(recent);

  frame_->RestoreWindowState();
  // A project file named on the command line is opened once the frame and
  // its catalogue exist.
  const std::string file = args.size() > 1 ? args[1] : std::string();
  auto openFile = [this, file] {
    if (!file.empty()) OpenDocumentFile(file);
  };
  if (frameDrawnFirst_) {
    frame_->InitializeFrameworkAfterFirstFrame(openFile);
  } else {
    frame_->InitializeFrmaework();
    openFile();
  }
  return true;
}

int CFerrowynApp::ExitInstance() {
  qmx::SetLogTarget(nullptr);
  qmx::DisconnectFrameServices();
  frame_.reset();
  return 0;
}

bool CFerrowynApp::OpenDocumentFile(const std::string& path) {
  // Only a running frame can hold a project; InitInstance hands the command
  // line's file over once the frame and its catalogue are there. The path
  // is made absolute, so that the project is saved where it was read from
  // whatever the working folder later is.
  if (!frame_ || path.empty()) return false;
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  const std::string full = ec ? path : absolute.lexically_normal().string();
  if (frame_->OpenProject(full) != 1) return false;
  AddToRecentFileList(full);
  return true;
}

void CFerrowynApp::AddToRecentFileList(const std::string& path) {
  if (frame_) {
    frame_->AddToRecentFileList(path);
    return;
  }
  if (profile_) profile_->AddRecentFile(QString::fromStdString(path));
}

int CFerrowynApp::Main(int argc, char** argv) {
  // The menu bar stays in the window. Asking the desktop for a global one
  // meant a wait for the session bus while the window was being made.
  QCoreApplication::setAttribute(Qt::AA_DontUseNativeMenuBar);
  QApplication app(argc, argv);
  // The raster painter hands each batch of pixels of a semi-transparent line
  // (the style's bevels under the tool bar and in the headers) to the
  // global thread pool and waits for it. With a worker per core the first
  // frame started seven threads and waited, on a busy machine, for each to be
  // scheduled; one worker keeps the hand-over and drops the rest.
  QThreadPool::globalInstance()->setMaxThreadCount(1);
  QApplication::setOrganizationName("Kestun");
  QApplication::setApplicationName("Ferrowyn Application");
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.emplace_back(argv[i]);

  CFerrowynApp theApp;
  // The window shows before the catalogue is read, so its first frame does
  // not wait for it.
  theApp.SetFrameDrawnFirst(true);
  if (!theApp.InitInstance(args)) return theApp.exitCode();
  // Quit when the main window has closed for good.
  QObject::connect(&app, &QApplication::lastWindowClosed, &app, &QApplication::quit);
  const int rc = app.exec();
  theApp.ExitInstance();
  return rc;
}
