// The user's profile of the main program ("Kestun", "Ferrowyn Application"):
// recent files, bar layout and window placement, kept with QSettings.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

class QSettings;

namespace qmx::os {

class Profile {
public:
  // Organisation and application as the registry key "Kestun Ferrowyn Application".
  explicit Profile(int maxRecentFiles = 4);
  ~Profile();

  int maxRecentFiles() const { return maxRecent_; }
  QStringList RecentFiles() const;
  // Moves or adds the path to the top of the list, keeping at most maxRecentFiles.
  void AddRecentFile(const QString& path);
  void RemoveRecentFile(const QString& path);

  QByteArray Value(const QString& section, const QString& key) const;
  void SetValue(const QString& section, const QString& key, const QByteArray& value);
  void Sync();

private:
  int maxRecent_;
  std::unique_ptr<QSettings> settings_;
};

}  // namespace qmx::os
