// The About dialog: program version and the maker's notice.
#pragma once

#include <QDialog>

#include <string>

class CAboutDlg : public QDialog {
  Q_OBJECT
public:
  CAboutDlg(QWidget* parent, const std::string& version, const std::string& notice);
  QString versionText() const;
  QString noticeText() const;

private:
  class QLabel* version_ = nullptr;
  class QLabel* notice_ = nullptr;
};
