#include "app/ui/views/StartUpView.h"

#include "app/model/Services.h"
#include "app/ui/views/rows/ViewHost.h"
#include "platform/toolkit/frame_wnd.h"

#include <QDesktopServices>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
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
    if (!IsCommandLinkEnabled(id)) return;
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

void CStartUpView::UpdateCommandLinks(const std::function<bool(int commandId)>& enabled) {
  // The link target stays in a property of its own, so a link shown grey
  // can become a link again.
  constexpr int kCommandLinkProperty = QTextFormat::UserProperty + 1;
  QTextDocument* document = page_->document();
  struct Change {
    int position, length, id;
    QTextCharFormat format;
  };
  std::vector<Change> changes;
  std::set<int> disabled;
  for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      QTextCharFormat format = fragment.charFormat();
      QString href = format.stringProperty(kCommandLinkProperty);
      if (href.isEmpty() && format.isAnchor()) href = format.anchorHref();
      const int id = CommandOfLink(QUrl(href));
      if (!id) continue;
      const bool on = enabled(id);
      if (!on) disabled.insert(id);
      if (on == format.isAnchor()) continue;
      format.setProperty(kCommandLinkProperty, href);
      format.setAnchor(on);
      format.setAnchorHref(on ? href : QString());
      format.setForeground(on ? palette().link() : palette().brush(QPalette::Disabled, QPalette::Text));
      format.setFontUnderline(on);
      changes.push_back({fragment.position(), fragment.length(), id, format});
    }
  }
  disabled_ = std::move(disabled);
  for (const Change& change : changes) {
    QTextCursor cursor(document);
    cursor.setPosition(change.position);
    cursor.setPosition(change.position + change.length, QTextCursor::KeepAnchor);
    cursor.setCharFormat(change.format);
  }
}
