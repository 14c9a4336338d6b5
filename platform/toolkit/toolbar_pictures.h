// The pictures of a toolbar resource's buttons. A button names a picture
// ("new", "open", ...): the style's standard picture of that name, or the
// program's own copy of it drawn beforehand at a toolbar's icon size, kept
// as "<name>-<pixels>.png" in the folder "toolbar" beside the resource.
// The copies spare the start-up the style's look-up (icon themes, then
// every size of its own files, decoded and scaled) and are the same pixels.
#pragma once

#include <QIcon>
#include <QMap>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QStyle>

#include <optional>

namespace qmx::toolkit {

// The standard picture a button names; nullopt for an unknown name.
std::optional<QStyle::StandardPixmap> StandardPixmapOf(const QString& name);
// Every name StandardPixmapOf knows.
QStringList StandardPictureNames();
// The stem of the drawn copies of a named picture ("download" -> "down");
// empty for an unknown name.
QString PictureFileStem(const QString& name);
// "<folder>/<name>-<pixels>.png"
QString ToolBarPictureFile(const QString& folder, const QString& name, int pixels);
// The folder of the drawn copies of a toolbar resource's pictures.
QString ToolBarPictureFolder(const QString& resource);

// The pictures of one toolbar at its icon size: the drawn copies for the
// screen densities up to `density` (1 normal, 2 also double) when the folder
// holds them, else the style's picture kept at the normal and double sizes
// only (a standard picture holds every size its files have, up to 128
// pixels). Buttons that show the same picture share it.
class ToolBarIcons {
public:
  ToolBarIcons(QSize size, QString folder, int density)
      : size_(size), folder_(std::move(folder)), density_(density < 2 ? 1 : 2) {}
  // The density the screens of the application need: 2 when one of them is
  // denser than normal.
  static int ScreenDensity();

  QIcon Get(const QString& name);

private:
  QIcon Drawn(const QString& name) const;
  QIcon AtToolBarSize(const QIcon& full) const;

  QSize size_;
  QString folder_;
  int density_;
  QMap<QString, QIcon> made_;  // by file stem or standard picture
};

}  // namespace qmx::toolkit
