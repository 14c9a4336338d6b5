#include "app/frame/HelpWindow.h"

#include "app/frame/rules/CommandRules.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

CHelpWindow::CHelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("HelpWindow");
  setWindowTitle("QMX-410 Tools Help");
  resize(760, 620);

  contents_ = new QPushButton("&Contents", this);
  back_ = new QPushButton("&Back", this);
  forward_ = new QPushButton("&Forward", this);
  for (QPushButton* b : {contents_, back_, forward_}) b->setAccessibleName(b->text().remove('&'));
  browser_ = new QTextBrowser(this);
  browser_->setObjectName("HelpPage");
  browser_->setAccessibleName("Help page");
  browser_->setOpenLinks(false);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(contents_);
  buttons->addWidget(back_);
  buttons->addWidget(forward_);
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(browser_, 1);
  setTabOrder(contents_, back_);
  setTabOrder(back_, forward_);
  setTabOrder(forward_, browser_);

  back_->setEnabled(false);
  forward_->setEnabled(false);
  connect(browser_, &QTextBrowser::backwardAvailable, back_, &QPushButton::setEnabled);
  connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QPushButton::setEnabled);
  connect(back_, &QPushButton::clicked, browser_, &QTextBrowser::backward);
  connect(forward_, &QPushButton::clicked, browser_, &QTextBrowser::forward);
  connect(contents_, &QPushButton::clicked, this,
          [this] { ShowTopic(folder_, qmx::commands::HelpTopic(folder_, "Introduction.htm")); });
  connect(browser_, &QTextBrowser::anchorClicked, this, &CHelpWindow::OnLink);
}

void CHelpWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void CHelpWindow::ShowTopic(const std::string& programFolder, const std::string& topic) {
  folder_ = programFolder;
  const std::string file = qmx::commands::HelpPageFile(programFolder, topic);
  if (!file.empty() && QFileInfo(QString::fromStdString(file)).isFile()) {
    current_ = file;
    // A topic may name a place on its page ("Transfers.htm#upload").
    QUrl url = QUrl::fromLocalFile(QString::fromStdString(file));
    if (const size_t hash = topic.find('#'); hash != std::string::npos && hash + 1 < topic.size())
      url.setFragment(QString::fromStdString(topic.substr(hash + 1)));
    browser_->setSource(url);
  } else {
    current_.clear();
    const QString page = QString::fromStdString(topic.substr(topic.find("::/") == std::string::npos
                                                                 ? 0
                                                                 : topic.find("::/") + 3));
    browser_->setHtml(QString("<h2>Page not found</h2><p>The help page <b>%1</b> is not in the program's "
                              "Help folder.</p><p><a href=\"Introduction.htm\">Contents</a></p>")
                          .arg(page.toHtmlEscaped()));
  }
  show();
  raise();
  activateWindow();
}

void CHelpWindow::OnLink(const QUrl& url) {
  if (!url.isRelative() && !url.isLocalFile()) {
    QDesktopServices::openUrl(url);
    return;
  }
  if (url.isRelative() && url.path().isEmpty()) {
    if (url.hasFragment()) browser_->scrollToAnchor(url.fragment());
    return;
  }
  // Pages link each other by file name; the missing-page text links from
  // the Help folder itself.
  const QString base = current_.empty()
                           ? QString::fromStdString(folder_ + "/" + qmx::commands::kHelpFolder + "/")
                           : QString::fromStdString(current_);
  const QUrl target = url.isRelative() ? QUrl::fromLocalFile(base).resolved(url) : url;
  const QString file = target.toLocalFile();
  if (QFileInfo(file).isFile()) {
    current_ = file.toStdString();
    browser_->setSource(target);
  } else {
    ShowTopic(folder_, qmx::commands::HelpTopic(folder_, QFileInfo(file).fileName().toStdString()));
  }
}
