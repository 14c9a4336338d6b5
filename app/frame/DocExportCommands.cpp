// The main frame's documentation, inquiry and XDD commands. The work is done
// by the toolkit-free exporters (DocExport, InquiryList, XddExport); this
// file asks the user, shows the results and starts the report program.
#include "app/frame/MainFrame.h"
#include "app/frame/export/DocExport.h"
#include "app/frame/export/InquiryList.h"
#include "app/frame/export/XddExport.h"
#include "app/model/Logging.h"
#include "app/model/NAUsr.h"
#include "app/model/ProgramPaths.h"
#include "app/model/ProjectUsr.h"
#include "app/ui/dialogs/InquiryDlg.h"
#include "common/Utility.h"
#include "platform/os/os.h"

#include <QFileDialog>

namespace {

void ShowInquiryDialog(QWidget* parent, const std::string& label, const std::string& scope, const InquiryList& list) {
  std::vector<qmx::dialogs::InquiryItem> items;
  items.reserve(list.size());
  for (const InquiryItem& item : list)
    items.push_back({item.modelName, item.orderNumber, item.count, item.helpLink});
  qmx::dialogs::InquiryDlg dialog(parent);
  dialog.SetScope(label, scope, items);
  dialog.DoModal();
}

std::string AskXddFile(QWidget* parent, const std::string& folder) {
  QFileDialog dialog(parent, QString(), QString::fromStdString(folder));
  dialog.setObjectName("XddSaveDialog");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix("xdd");
  dialog.setNameFilter("XDD Support Files (*.xdd)");
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front().toStdString();
}

}  // namespace

std::function<qmx::docu::LocalTime()> CMainFrame::s_docuClock = &qmx::docu::NowLocal;
CMainFrame::InquiryDialog CMainFrame::s_inquiryDialog = ShowInquiryDialog;
CMainFrame::XddSaveDialog CMainFrame::s_xddSaveDialog = AskXddFile;

int CMainFrame::SavePrjToXmlForDocu(const std::string& folder, std::string& mainFile) {
  qmx::docu::DocExporter exporter(workspace_, textIds_);
  exporter.language = options_.Language;
  exporter.imageDir = qmx::Paths().imageDir;
  exporter.clock = s_docuClock;
  return exporter.SavePrjToXmlForDocu(folder, mainFile);
}

int CMainFrame::SaveSelNaToXmlForDocu(const std::string& folder, std::string& mainFile) {
  qmx::docu::DocExporter exporter(workspace_, textIds_);
  exporter.language = options_.Language;
  exporter.imageDir = qmx::Paths().imageDir;
  exporter.clock = s_docuClock;
  return exporter.SaveSelNaToXmlForDocu(folder, mainFile);
}

void CMainFrame::RunDocumentation(bool project) {
  const char* func = project ? "OnFileDocuPrj" : "OnFileDocuNa";
  PostLog(qmx::kLogGeneral, qmx::kLogSource,
          project ? "Project doucmentation is starting." : "Documentation of network adapter is starting.");
  const std::string folder = qmx::Paths().tmpDir;
  std::string mainFile;
  const int rc = project ? SavePrjToXmlForDocu(folder, mainFile) : SaveSelNaToXmlForDocu(folder, mainFile);
  if (rc != 1) {
    const std::string text = project ? "Project documentation failed. See below log in detail"
                                     : "Documentation of network adapter is failed.\nSee below log in detail.";
    qmx::ShowBox(text, 0);
    std::string line;
    for (char c : text)
      if (c != '\n' && c != '\r') line += c;
    PostLog(qmx::kLogError, qmx::kLogSource,
            StrFormat("[Error Code: %d] %s. Func: %s.", qmx::err::kDocumentationFailed, line.c_str(), func));
    return;
  }
  PostLog(qmx::kLogGeneral, qmx::kLogSource,
          project ? "Project doucmentation is completed." : "Documentation of network adapter is completed.");
  qmx::os::LaunchRequest request;
  request.file = qmx::Paths().appDir + "/Rendaval.exe";
  request.args = {StrFormat("%s*%s/%s", project ? "PROJECT" : "NA", folder.c_str(), mainFile.c_str())};
  request.workingDirectory = folder;
  const int started = qmx::os::LaunchProgram(request);
  if (started <= 0) {
    const int apiCode = -started;
    qmx::ShowBox(StrFormat("Cannot run %s. Error Code: %d. API Code: %d.", "Rendaval.exe",
                           qmx::err::kProgramNotStarted, apiCode),
                 qmx::kBoxIconStop);
    PostLog(qmx::kLogError, qmx::kLogSource,
            StrFormat("[Error Code: %d] Cannot run %s. API Code: %d.", qmx::err::kProgramNotStarted, "Rendaval.exe",
                      apiCode));
  }
}

void CMainFrame::OnFileDocuPrj() { RunDocumentation(true); }

void CMainFrame::OnFileDocuNa() { RunDocumentation(false); }

int CMainFrame::GetInquiryList(const std::string& scope, InquiryList& list, int report, TreeItem item) const {
  return ::GetInquiryList(workspace_, scope, list, report, item);
}

void CMainFrame::RunInquiry(const std::string& scope, const char* func) {
  TreeItem projectItem = kNoTreeItem;
  CProjectUsr* project = workspace_.GetSelectedProject(&projectItem, func, 1);
  if (!project) return;
  InquiryList list;
  if (GetInquiryList(scope, list, 1, scope == "PROJECT" ? projectItem : kNoTreeItem) != 1) return;
  if (s_inquiryDialog) s_inquiryDialog(this, project->GetLabel(namingMode()), scope, list);
}

void CMainFrame::OnFileInquiryPrj() { RunInquiry("PROJECT", "OnFileInquiryPrj"); }

void CMainFrame::OnFileInquiryNa() { RunInquiry("NA", "OnFileInquiryNa"); }

bool CMainFrame::IsXddExportable() const {
  return qmx::xdd::IsXddExportable(workspace_, workspace_.tree().GetSelectedItem());
}

void CMainFrame::OnEditGenerateXdd() {
  static const char* kFunc = "GenerateXdd";
  const TreeItem projectItem = workspace_.tree().GetSelectedItem();
  const qmx::xdd::Result result =
      qmx::xdd::GenerateXdd(workspace_, projectItem, qmx::xdd::BuiltInTemplates(), qmx::xdd::kXddCreator);
  if (!result.ok) {
    qmx::ReportError(qmx::err::kXmlException, StrFormat("Cannot generate the XDD file. %s.", result.error.c_str()),
                     kFunc);
    qmx::ShowBox(StrFormat("Cannot generate the XDD file. Error Code: %d.", qmx::err::kXmlException),
                 qmx::kBoxIconStop);
    return;
  }
  // The file goes where the project files and the parts lists go.
  const std::string path = s_xddSaveDialog ? s_xddSaveDialog(this, qmx::Paths().projectsDir) : std::string();
  if (path.empty()) return;
  std::string error;
  if (!qmx::xdd::WriteXddFile(path, result.text, error)) {
    qmx::ReportError(qmx::err::kFileNotSaved,
                     StrFormat("Cannot write the file. File: %s. %s.", path.c_str(), error.c_str()), kFunc);
    qmx::ShowBox(StrFormat("Cannot write the file %s.\n%s", path.c_str(), error.c_str()), qmx::kBoxIconStop);
    return;
  }
  PostLog(qmx::kLogGeneral, qmx::kLogSource, StrFormat("Generate XDD file is completed. Path: %s", path.c_str()));
}
