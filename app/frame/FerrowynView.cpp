#include "app/frame/FerrowynView.h"

#include "app/model/ProgramPaths.h"

#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

CFerrowynView::CFerrowynView(QWidget* parent) : QWidget(parent) {
  setObjectName("CFerrowynView");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  tabs_ = new qmx::toolkit::FlatTabCtrl(this);
  tabs_->setObjectName("TabCtrl129");
  tabs_->setTabPosition(QTabWidget::North);
  startPage_ = new QTextBrowser(tabs_);
  startPage_->setObjectName("StartUpView1088");
  startPage_->setOpenExternalLinks(true);
  tabs_->addTab(startPage_, "Starting...");
  layout->addWidget(tabs_);
}

int CFerrowynView::ActiveTab() const { return tabs_->currentIndex(); }

void CFerrowynView::SetActiveTab(int index) { tabs_->setCurrentIndex(index); }

void CFerrowynView::SetStartPage(const std::string& title, const std::string& path) {
  tabs_->SetItemText(0, QString::fromStdString(title));
  startPath_ = path;
  const QString p = QString::fromStdString(path);
  QFileInfo info(p);
  if (!p.isEmpty() && info.isAbsolute() && info.exists()) {
    startPage_->setSource(QUrl::fromLocalFile(info.absoluteFilePath()));
    return;
  }
  // A web address: the start tab shows the offline start page shipped beside
  // the program, with the address as a link for the system's browser.
  const QString offline = QString::fromStdString(qmx::Paths().startUpDir + "/htm/main.htm");
  if (QFileInfo::exists(offline)) {
    startPage_->setSource(QUrl::fromLocalFile(offline));
    if (!p.isEmpty()) {
      startPage_->append(QString("<p>Online: <a href=\"%1\">%1</a></p>").arg(p.toHtmlEscaped()));
    }
  } else {
    startPage_->setHtml(QString("<p>Start page: <a href=\"%1\">%1</a></p>").arg(p.toHtmlEscaped()));
  }
}
