#include "platform/toolkit/toolbar_pictures.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>

namespace qmx::toolkit {
namespace {

// Names that show the same picture share its files: the arrows of Move
// Up and Upload, of Move Down and Download.
struct Picture {
  const char* name;
  QStyle::StandardPixmap pixmap;
  const char* file;
};

constexpr Picture kPictures[] = {
    {"new", QStyle::SP_FileIcon, "new"},
    {"open", QStyle::SP_DialogOpenButton, "open"},
    {"save", QStyle::SP_DialogSaveButton, "save"},
    {"delete", QStyle::SP_TrashIcon, "delete"},
    {"up", QStyle::SP_ArrowUp, "up"},
    {"down", QStyle::SP_ArrowDown, "down"},
    {"properties", QStyle::SP_FileDialogDetailedView, "properties"},
    {"scan", QStyle::SP_BrowserReload, "scan"},
    {"compare", QStyle::SP_FileDialogContentsView, "compare"},
    {"download", QStyle::SP_ArrowDown, "down"},
    {"upload", QStyle::SP_ArrowUp, "up"},
    {"start", QStyle::SP_MediaPlay, "start"},
    {"stop", QStyle::SP_MediaStop, "stop"},
    {"check", QStyle::SP_DialogApplyButton, "check"},
    {"help", QStyle::SP_DialogHelpButton, "help"},
    {"print", QStyle::SP_FileDialogListView, "print"},
    {"add", QStyle::SP_FileDialogNewFolder, "add"},
    {"network", QStyle::SP_DriveNetIcon, "network"},
    {"computer", QStyle::SP_ComputerIcon, "computer"},
};

const Picture* Find(const QString& name) {
  for (const Picture& p : kPictures)
    if (name == QLatin1String(p.name)) return &p;
  return nullptr;
}

}  // namespace

std::optional<QStyle::StandardPixmap> StandardPixmapOf(const QString& name) {
  const Picture* p = Find(name);
  if (!p) return std::nullopt;
  return p->pixmap;
}

QStringList StandardPictureNames() {
  QStringList names;
  for (const Picture& p : kPictures) names << QLatin1String(p.name);
  return names;
}

QString PictureFileStem(const QString& name) {
  const Picture* p = Find(name);
  return p ? QLatin1String(p->file) : QString();
}

QString ToolBarPictureFile(const QString& folder, const QString& name, int pixels) {
  return QStringLiteral("%1/%2-%3.png").arg(folder, name).arg(pixels);
}

QString ToolBarPictureFolder(const QString& resource) {
  return QFileInfo(resource).path() + QStringLiteral("/toolbar");
}

QIcon ToolBarIcons::Get(const QString& name) {
  const Picture* p = Find(name);
  if (!p) return {};
  const QString key = QLatin1String(p->file);
  auto it = made_.find(key);
  if (it != made_.end()) return *it;
  QIcon icon = Drawn(key);
  if (icon.isNull()) icon = AtToolBarSize(QApplication::style()->standardIcon(p->pixmap));
  return *made_.insert(key, icon);
}

int ToolBarIcons::ScreenDensity() { return qApp && qApp->devicePixelRatio() > 1.0 ? 2 : 1; }

QIcon ToolBarIcons::Drawn(const QString& file) const {
  QIcon icon;
  for (int density = 1; density <= density_; ++density) {
    // Named by the toolbar's size; a picture that is not square (the
    // style keeps its proportions) is as large as it was drawn. Each keeps
    // the density it was drawn for, so the icon picks as the style's did.
    const QString path = ToolBarPictureFile(folder_, file, size_.width() * density);
    QPixmap picture;
    if (!QFile::exists(path) || !picture.load(path)) return {};
    picture.setDevicePixelRatio(density);
    icon.addPixmap(picture);
  }
  return icon;
}

QIcon ToolBarIcons::AtToolBarSize(const QIcon& full) const {
  QIcon icon;
  for (const qreal density : {1.0, 2.0}) icon.addPixmap(full.pixmap(size_, density));
  return icon;
}

}  // namespace qmx::toolkit
