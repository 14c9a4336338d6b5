#include "app/ui/views/StartUpView.h"

#include "app/model/Services.h"
#include "app/ui/views/ViewHost.h"
#include "platform/toolkit/frame_wnd.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

CStartUpView::CStartUpView(QWidget* parent) : CTabChildView(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  page_ = new QTextBrowser(this);
  page_->setObjectName("StartUpPage");
  page_->setAccessibleName("Start page");
  page_->setOpenLinks(false);
  layout->addWidget(page_);
  setFocusProxy(page_);
  connect(page_, &QTextBrowser::anchorClicked, this, &CStartUpView::OnLink);
}

int CStartUpView::CommandOfLink(const QUrl& url) {
  if (url.scheme().compare("command", Qt::CaseInsensitive) != 0) return 0;
  bool ok = false;
  const int id = url.path().toInt(&ok);
  return ok && id > 0 ? id : 0;
}

void CStartUpView::OnLink(const QUrl& url) {
  if (const int id = CommandOfLink(url)) {
    if (const auto& run = qmx::views::Host().runCommand) {
      run(id);
    } else if (auto* frame = qobject_cast<qmx::toolkit::FrameWnd*>(window())) {
      frame->SendCommand(id);
    }
    return;
  }
  if (url.isRelative() || url.isLocalFile()) {
    page_->setSource(page_->source().resolved(url));
    return;
  }
  QDesktopServices::openUrl(url);
}

void CStartUpView::ShowStartPage(const std::string& path) {
  const QString offline = QString::fromStdString(qmx::Paths().startUpDir + "/htm/main.htm");
  const QString p = QString::fromStdString(path);
  if (QFileInfo::exists(offline)) {
    page_->setSource(QUrl::fromLocalFile(offline));
  } else {
    page_->setHtml("<p>The start page StartUpOffline/htm/main.htm is missing.</p>");
  }
  const QUrl configured(p);
  if (!p.isEmpty() && !configured.isRelative() && !configured.isLocalFile()) {
    page_->append(QString("<p>Online: <a href=\"%1\">%1</a></p>").arg(p.toHtmlEscaped()));
  }
}
