#include "platform/os/profile.h"

#include <QSettings>

namespace qmx::os {

Profile::Profile(int maxRecentFiles)
    : maxRecent_(maxRecentFiles), settings_(std::make_unique<QSettings>("Kestun", "Ferrowyn Application")) {}

Profile::~Profile() = default;

QStringList Profile::RecentFiles() const {
  QStringList files;
  for (int i = 1; i <= maxRecent_; ++i) {
    const QString value = settings_->value(QString("Recent File List/File%1").arg(i)).toString();
    if (!value.isEmpty()) files << value;
  }
  return files;
}

void Profile::AddRecentFile(const QString& path) {
  QStringList files = RecentFiles();
  files.removeAll(path);
  files.prepend(path);
  while (files.size() > maxRecent_) files.removeLast();
  for (int i = 1; i <= maxRecent_; ++i) {
    const QString key = QString("Recent File List/File%1").arg(i);
    if (i <= files.size()) settings_->setValue(key, files[i - 1]);
    else settings_->remove(key);
  }
}

void Profile::RemoveRecentFile(const QString& path) {
  QStringList files = RecentFiles();
  files.removeAll(path);
  for (int i = 1; i <= maxRecent_; ++i) {
    const QString key = QString("Recent File List/File%1").arg(i);
    if (i <= files.size()) settings_->setValue(key, files[i - 1]);
    else settings_->remove(key);
  }
}

QByteArray Profile::Value(const QString& section, const QString& key) const {
  return settings_->value(section + "/" + key).toByteArray();
}

void Profile::SetValue(const QString& section, const QString& key, const QByteArray& value) {
  settings_->setValue(section + "/" + key, value);
}

void Profile::Sync() { settings_->sync(); }

}  // namespace qmx::os
