#include "platform/report/report_viewer.h"

#include "platform/report/page_view.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPageSize>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace qmx::report {
namespace {

constexpr int kPageRole = Qt::UserRole + 1;

QPushButton* MakeButton(const QString& caption, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setAccessibleName(QString(caption).remove(QLatin1Char('&')));
  button->setAutoDefault(false);
  return button;
}

}  // namespace

ReportViewer::ReportViewer(std::shared_ptr<const LaidOutDocument> document, QWidget* parent)
    : QWidget(parent), document_(std::move(document)) {
  setWindowTitle(document_->name);
  setAttribute(Qt::WA_DeleteOnClose, false);

  auto* printButton = MakeButton(tr("&Print..."), this);
  auto* zoomIn = MakeButton(tr("Zoom &In"), this);
  auto* zoomOut = MakeButton(tr("Zoom &Out"), this);
  auto* fitWidth = MakeButton(tr("Fit &Width"), this);
  auto* previous = MakeButton(tr("P&revious Page"), this);
  auto* next = MakeButton(tr("&Next Page"), this);
  pageLabel_ = new QLabel(this);
  // Wide enough for the longest page text, so it is never cut while paging.
  const int pageCount = document_->PageCount();
  pageLabel_->setMinimumWidth(
      pageLabel_->fontMetrics().horizontalAdvance(tr("Page %1 of %2").arg(pageCount).arg(pageCount)) + 8);

  auto* bar = new QHBoxLayout;
  for (QWidget* w : {static_cast<QWidget*>(printButton), static_cast<QWidget*>(zoomIn),
                     static_cast<QWidget*>(zoomOut), static_cast<QWidget*>(fitWidth),
                     static_cast<QWidget*>(previous), static_cast<QWidget*>(next)})
    bar->addWidget(w);
  bar->addStretch(1);
  bar->addWidget(pageLabel_);

  auto* contentsPane = new QWidget(this);
  auto* contentsLayout = new QVBoxLayout(contentsPane);
  contentsLayout->setContentsMargins(0, 0, 0, 0);
  auto* contentsLabel = new QLabel(tr("&Contents"), contentsPane);
  contents_ = new QTreeWidget(contentsPane);
  contents_->setHeaderHidden(true);
  contents_->setAccessibleName(tr("Contents"));
  contentsLabel->setBuddy(contents_);
  contentsLayout->addWidget(contentsLabel);
  contentsLayout->addWidget(contents_);

  pages_ = new PageView(document_, this);
  pages_->setAccessibleName(tr("Report pages"));

  auto* splitter = new QSplitter(this);
  splitter->addWidget(contentsPane);
  splitter->addWidget(pages_);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({260, 740});

  status_ = new QLabel(this);
  status_->setAccessibleName(tr("Status"));
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  status_->hide();

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(bar);
  layout->addWidget(splitter, 1);
  layout->addWidget(status_);

  // Escape and Ctrl+W close the viewer wherever the focus is in it.
  for (const QKeySequence& keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
    auto* shortcut = new QShortcut(keys, this);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, &QWidget::close);
  }

  connect(pages_, &PageView::currentPageChanged, this, [this] { UpdatePageLabel(); });
  connect(printButton, &QPushButton::clicked, this, [this] { Print(); });
  connect(zoomIn, &QPushButton::clicked, pages_, &PageView::ZoomIn);
  connect(zoomOut, &QPushButton::clicked, pages_, &PageView::ZoomOut);
  connect(fitWidth, &QPushButton::clicked, pages_, &PageView::FitToWidth);
  connect(previous, &QPushButton::clicked, this, [this] { GoToPage(currentPage() - 1); });
  connect(next, &QPushButton::clicked, this, [this] { GoToPage(currentPage() + 1); });
  connect(contents_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (item) GoToPage(item->data(0, kPageRole).toInt());
  });

  FillContents();
  resize(1000, 760);
  UpdatePageLabel();
}

ReportViewer::~ReportViewer() = default;

void ReportViewer::FillContents() {
  // Entries name their levels; an entry hangs below the nearest entry named by its leading levels.
  std::vector<std::pair<std::vector<std::string>, QTreeWidgetItem*>> seen;
  for (const TocLocation& entry : document_->toc) {
    QTreeWidgetItem* parent = nullptr;
    for (auto it = seen.rbegin(); it != seen.rend(); ++it) {
      const auto& path = it->first;
      if (path.size() < entry.path.size() && std::equal(path.begin(), path.end(), entry.path.begin())) {
        parent = it->second;
        break;
      }
    }
    const QString text = QString::fromStdString(entry.path.empty() ? std::string() : entry.path.back());
    auto* item = parent ? new QTreeWidgetItem(parent, {text}) : new QTreeWidgetItem(contents_, {text});
    item->setData(0, kPageRole, entry.page);
    item->setToolTip(0, QString::fromStdString(JoinTocPath(entry.path)));
    seen.emplace_back(entry.path, item);
  }
  contents_->expandAll();
}

void ReportViewer::GoToPage(int page) {
  pages_->GoToPage(page);
  UpdatePageLabel();
}

void ReportViewer::SetStatus(const QString& text) {
  status_->setText(text);
  status_->setVisible(!text.isEmpty());
}

int ReportViewer::currentPage() const { return pages_->currentPage(); }

void ReportViewer::UpdatePageLabel() {
  pageLabel_->setText(tr("Page %1 of %2").arg(currentPage() + 1).arg(document_->PageCount()));
}

void ReportViewer::Print() {
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setFullPage(true);
  printer.setDocName(document_->name);
  QPrintDialog dialog(&printer, this);
  if (dialog.exec() != QDialog::Accepted) return;
  QPainter painter(&printer);
  PaintAllPages(painter, printer, *document_);
}

void ReportViewer::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  if (event->isAccepted()) emit closed();
}

}  // namespace qmx::report
