// The report viewer: the pages beside the report's table of contents, with
// printing, zoom and page navigation. It shares the laid-out document with
// whoever made it and paints only the pages in sight.
#pragma once

#include <QWidget>

#include <memory>

#include "platform/report/report_render.h"

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace qmx::report {

class PageView;

class ReportViewer : public QWidget {
  Q_OBJECT
public:
  explicit ReportViewer(std::shared_ptr<const LaidOutDocument> document, QWidget* parent = nullptr);
  ~ReportViewer() override;

  const LaidOutDocument& document() const { return *document_; }
  QTreeWidget* contents() const { return contents_; }
  // The pane that shows the pages and takes the keyboard for them.
  PageView* pages() const { return pages_; }
  // Shows the page (from 0).
  void GoToPage(int page);
  int currentPage() const;
  // A line below the pages, such as where the report was written; empty hides it.
  void SetStatus(const QString& text);
  QLabel* status() const { return status_; }

signals:
  void closed();

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  void FillContents();
  void Print();
  void UpdatePageLabel();

  std::shared_ptr<const LaidOutDocument> document_;
  PageView* pages_ = nullptr;
  QTreeWidget* contents_ = nullptr;
  QLabel* pageLabel_ = nullptr;
  QLabel* status_ = nullptr;
};

}  // namespace qmx::report
