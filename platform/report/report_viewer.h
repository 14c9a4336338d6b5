// The report viewer: the pages in a print preview beside the report's table of
// contents, with printing, zoom and page navigation. It keeps its own copy of
// the laid-out document.
#pragma once

#include <QWidget>

#include "platform/report/report_render.h"

class QLabel;
class QPrintPreviewWidget;
class QPrinter;
class QTreeWidget;
class QTreeWidgetItem;

namespace qmx::report {

class ReportViewer : public QWidget {
  Q_OBJECT
public:
  explicit ReportViewer(LaidOutDocument document, QWidget* parent = nullptr);
  ~ReportViewer() override;

  const LaidOutDocument& document() const { return document_; }
  QTreeWidget* contents() const { return contents_; }
  QPrintPreviewWidget* preview() const { return preview_; }
  // The pane that shows the pages and takes the keyboard for them.
  QWidget* pages() const;
  // Shows the page (from 0) in the preview.
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
  void Paint(QPrinter* printer);
  void FillContents();
  void Print();
  void UpdatePageLabel();

  LaidOutDocument document_;
  QPrinter* printer_ = nullptr;
  QPrintPreviewWidget* preview_ = nullptr;
  QTreeWidget* contents_ = nullptr;
  QLabel* pageLabel_ = nullptr;
  QLabel* status_ = nullptr;
};

}  // namespace qmx::report
