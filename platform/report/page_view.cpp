#include "platform/report/page_view.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include <algorithm>
#include <cmath>

namespace qmx::report {
namespace {

constexpr int kGap = 12;               // pixels around and between pages
constexpr size_t kKeptPictures = 6;    // pages kept painted
constexpr double kZoomStep = 1.25;
constexpr double kMinZoom = 0.1, kMaxZoom = 8;

}  // namespace

PageView::PageView(std::shared_ptr<const LaidOutDocument> document, QWidget* parent)
    : QAbstractScrollArea(parent), document_(std::move(document)) {
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setAutoFillBackground(false);
  verticalScrollBar()->setSingleStep(40);
  horizontalScrollBar()->setSingleStep(40);
  UpdateScrollBars();
}

double PageView::PageWidth() const { return document_->geometry.width * zoom_; }
double PageView::PageHeight() const { return document_->geometry.height * zoom_; }
double PageView::Pitch() const { return std::ceil(PageHeight()) + kGap; }

int PageView::currentPage() const {
  const int page = int(verticalScrollBar()->value() / Pitch());
  return std::clamp(page, 0, document_->PageCount() - 1);
}

void PageView::GoToPage(int page) {
  if (page < 0 || page >= document_->PageCount()) return;
  verticalScrollBar()->setValue(int(page * Pitch()));
}

void PageView::ZoomIn() { SetZoom(zoom_ * kZoomStep, false); }
void PageView::ZoomOut() { SetZoom(zoom_ / kZoomStep, false); }
void PageView::FitToWidth() {
  SetZoom((viewport()->width() - 2.0 * kGap) / document_->geometry.width, true);
}

void PageView::SetZoom(double zoom, bool fit) {
  const int page = currentPage();
  const double within = verticalScrollBar()->value() - page * Pitch();
  const double old = zoom_;
  zoom_ = std::clamp(zoom, kMinZoom, kMaxZoom);
  fit_ = fit;
  pictures_.clear();
  UpdateScrollBars();
  // The same place of the same page stays at the top.
  verticalScrollBar()->setValue(int(page * Pitch() + within * zoom_ / old));
  viewport()->update();
}

void PageView::UpdateScrollBars() {
  const QSize area = viewport()->size();
  // The last page can be scrolled to the top like any other.
  verticalScrollBar()->setRange(0, int((document_->PageCount() - 1) * Pitch()));
  verticalScrollBar()->setPageStep(std::max(1, area.height() - kGap));
  const int wide = int(std::ceil(PageWidth())) + 2 * kGap;
  horizontalScrollBar()->setRange(0, std::max(0, wide - area.width()));
  horizontalScrollBar()->setPageStep(std::max(1, area.width()));
}

void PageView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  if (fit_) {
    FitToWidth();
  } else {
    UpdateScrollBars();
  }
}

void PageView::scrollContentsBy(int, int) {
  viewport()->update();
  const int page = currentPage();
  if (page != lastPage_) {
    lastPage_ = page;
    emit currentPageChanged(page);
  }
}

void PageView::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Home:
      GoToPage(0);
      return;
    case Qt::Key_End:
      GoToPage(document_->PageCount() - 1);
      return;
    default:
      QAbstractScrollArea::keyPressEvent(event);
  }
}

void PageView::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  viewport()->update();
}

void PageView::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  viewport()->update();
}

const QImage& PageView::Rendered(int page, const QSize& size) {
  for (auto it = pictures_.begin(); it != pictures_.end(); ++it) {
    if (it->page == page && it->image.size() == size) {
      pictures_.splice(pictures_.begin(), pictures_, it);
      return pictures_.front().image;
    }
  }
  QImage image(size, QImage::Format_RGB32);
  image.setDevicePixelRatio(devicePixelRatioF());
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.scale(zoom_, zoom_);
    PaintPage(painter, *document_, page, cache_);
  }
  pictures_.push_front({page, std::move(image)});
  if (pictures_.size() > kKeptPictures) pictures_.pop_back();
  return pictures_.front().image;
}

void PageView::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  const QRect area = viewport()->rect();
  painter.fillRect(area, palette().color(QPalette::Dark));
  const double pitch = Pitch();
  const int top = verticalScrollBar()->value();
  const int width = int(std::ceil(PageWidth()));
  const int height = int(std::ceil(PageHeight()));
  // Centred when narrower than the pane, else scrolled sideways.
  const int left = std::max(kGap, (area.width() - width) / 2) - horizontalScrollBar()->value();
  const double ratio = devicePixelRatioF();
  const QSize pixels(int(std::ceil(width * ratio)), int(std::ceil(height * ratio)));
  for (int page = std::max(0, int(top / pitch)); page < document_->PageCount(); ++page) {
    const int y = int(page * pitch) - top + kGap;
    if (y > area.height()) break;
    const QRect frame(left, y, width, height);
    painter.fillRect(frame.translated(2, 2), palette().color(QPalette::Shadow));
    painter.drawImage(frame, Rendered(page, pixels));
  }
  if (hasFocus()) {
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = area.adjusted(1, 1, -1, -1);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
  }
}

}  // namespace qmx::report
