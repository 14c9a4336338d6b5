// The pages of a laid-out report one below the other in a scrolling pane,
// painted only as they come into sight (a few recently shown pages are kept
// as pictures), so a report of thousands of pages opens at once and takes
// the memory of the pages on screen, not of the whole report.
#pragma once

#include <QAbstractScrollArea>
#include <QImage>

#include <list>
#include <memory>

#include "platform/report/report_render.h"

namespace qmx::report {

class PageView : public QAbstractScrollArea {
  Q_OBJECT
public:
  explicit PageView(std::shared_ptr<const LaidOutDocument> document, QWidget* parent = nullptr);

  // The page (from 0) at the top of the pane.
  int currentPage() const;
  // Scrolls the page's top to the top of the pane.
  void GoToPage(int page);
  void ZoomIn();
  void ZoomOut();
  // The page's width fills the pane, and keeps filling it as the pane is resized.
  void FitToWidth();

signals:
  void currentPageChanged(int page);

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

private:
  void SetZoom(double zoom, bool fit);
  void UpdateScrollBars();
  double PageWidth() const;
  double PageHeight() const;
  double Pitch() const;  // from one page's top to the next
  const QImage& Rendered(int page, const QSize& size);

  std::shared_ptr<const LaidOutDocument> document_;
  PaintCache cache_;
  struct Picture {
    int page;
    QImage image;
  };
  std::list<Picture> pictures_;  // most recently shown first
  double zoom_ = 1;
  bool fit_ = true;
  int lastPage_ = -1;
};

}  // namespace qmx::report
