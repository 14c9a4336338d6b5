#include "app/frame/ToolBoxBar.h"

#include "app/model/Logging.h"
#include "app/model/Services.h"
#include "common/Utility.h"
#include "platform/os/profile.h"
#include "platform/toolkit/message_box.h"
#include "platform/toolkit/window_messages.h"

#include <QBitmap>
#include <QImage>
#include <QPixmap>

namespace {

constexpr const char* kLoc = "ToolBoxBar::OnCreate";

}  // namespace

CToolBoxBar::CToolBoxBar(QWidget* parent, qmx::os::Profile* profile)
    : qmx::toolkit::DockWindow(parent), profile_(profile) {}

CToolBoxBar::~CToolBoxBar() = default;

bool CToolBoxBar::LoadPictures() {
  pictures_.clear();
  std::filesystem::path file = imageListFile_;
  if (file.empty()) file = std::filesystem::path(qmx::Paths().imageDir) / kImageListFile;
  const QImage strip(QString::fromStdString(file.string()));
  if (strip.isNull() || strip.height() < kPictureSize || strip.width() < kPictureSize) return false;
  for (int x = 0; x + kPictureSize <= strip.width(); x += kPictureSize) {
    QPixmap picture = QPixmap::fromImage(strip.copy(x, 0, kPictureSize, kPictureSize));
    picture.setMask(picture.createMaskFromColor(QColor(0, 255, 255), Qt::MaskInColor));
    pictures_.push_back(QIcon(picture));
  }
  return true;
}

int CToolBoxBar::OnCreate() {
  if (qmx::toolkit::DockWindow::OnCreate() != 0) {
    ShowResourceLackError(qmx::err::kCreateToolBoxWindow, kLoc, "DockWindow", 1, 0);
    return 0;
  }
  // Without its pictures the catalogue is still offered, with items that
  // show their text alone.
  if (!LoadPictures()) ShowResourceLackError(qmx::err::kCreateToolBoxImages, kLoc, "image list", 1, 0);

  toolBox_ = new qmx::toolkit::ToolBox(this);
  toolBox_->setObjectName("CatalogueToolBox");
  toolBox_->SetLargeIcons(false);
  toolBox_->SetImageLists(pictures_, pictures_);
  toolBox_->SetOwner(this);
  connect(toolBox_, &QToolBox::currentChanged, this, [this](int folder) {
    if (keepOpenFolder_ && profile_ && folder >= 0) {
      profile_->SetValue(kProfileSection, kProfileKey, QByteArray::number(folder));
    }
  });
  SetChild(toolBox_);
  return 0;
}

int CToolBoxBar::AddFolder(const std::string& name, int /*image*/) {
  if (!toolBox_) return -1;
  return toolBox_->AddFolder(QString::fromStdString(name));
}

int CToolBoxBar::AddItem(int folder, const std::string& name, int image, int data) {
  if (toolBox_) toolBox_->InsertItem(folder, -1, QString::fromStdString(name), image, data);
  return 1;
}

int CToolBoxBar::GetLastFolder() const {
  if (!profile_) return 0;
  bool ok = false;
  const int folder = profile_->Value(kProfileSection, kProfileKey).toInt(&ok);
  return ok && folder >= 0 ? folder : 0;
}

bool CToolBoxBar::OpenFolder(int folder) {
  keepOpenFolder_ = true;
  return toolBox_ && toolBox_->OpenFolder(folder);
}

std::string CToolBoxBar::HelpTopic(const std::string& programFolder, const std::string& itemName) {
  return StrFormat("%s/%s::/%s.htm", programFolder.c_str(), kHelpFile, itemName.c_str());
}

int CToolBoxBar::OnToolBoxNotify(int code, const qmx::toolkit::ToolBoxNotify& notify) {
  using namespace qmx::toolkit;
  switch (code) {
    case kToolBoxItemClicked: {
      if (notify.item < 0 || !toolBox_) return 1;  // a folder: nothing to show
      qmx::ShowHelp(HelpTopic(qmx::Paths().appDir, toolBox_->ItemText(notify.folder, notify.item).toStdString()));
      return 1;
    }
    case kToolBoxItemRemoving:
    case kToolBoxFolderRemoving: {
      if (!toolBox_ || !toolBox_->isVisible()) return 1;
      const char* question = code == kToolBoxItemRemoving ? "Are you sure you want to remove this folder shortcut?"
                                                          : "Are you sure you want to remove the specified folder?";
      return ShowMessageBox(this, question, {}, kMbYesNo | kMbIconWarning) == kIdNo ? 0 : 1;
    }
    default:
      return 1;
  }
}

bool CToolBoxBar::event(QEvent* event) {
  if (event->type() == qmx::toolkit::EventTypeOf(qmx::toolkit::kToolBoxMessage)) {
    auto* message = static_cast<qmx::toolkit::WindowMessageEvent*>(event);
    auto* notify = reinterpret_cast<qmx::toolkit::ToolBoxNotify*>(message->lparam());
    if (!notify) return true;
    if (OnToolBoxNotify(static_cast<int>(message->wparam()), *notify) != 1) notify->refused = true;
    return true;
  }
  return qmx::toolkit::DockWindow::event(event);
}
