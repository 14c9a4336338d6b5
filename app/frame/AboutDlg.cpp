#include "app/frame/AboutDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

CAboutDlg::CAboutDlg(QWidget* parent, const std::string& version, const std::string& notice) : QDialog(parent) {
  setObjectName("AboutDlg100");
  setWindowTitle("About QMX-410 Tools");
  auto* layout = new QVBoxLayout(this);
  version_ = new QLabel(QString("QMX-410 Tools Version %1").arg(QString::fromStdString(version)), this);
  version_->setObjectName("Static1081");
  notice_ = new QLabel(QString::fromStdString(notice), this);
  notice_->setObjectName("Static1080");
  notice_->setWordWrap(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(version_);
  layout->addWidget(notice_);
  layout->addWidget(buttons);
}

QString CAboutDlg::versionText() const { return version_->text(); }
QString CAboutDlg::noticeText() const { return notice_->text(); }
