// Laying a report document out on pages and painting the pages: to the
// preview, to a printer and to a PDF file. All geometry is in points (1/72
// inch) on an A4 page; painting scales to the device.
#pragma once

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>

#include <functional>
#include <string>
#include <vector>

#include "platform/report/model/document.h"

class QPainter;
class QPagedPaintDevice;

namespace qmx::report {

struct PageGeometry {
  double width = 595.28;   // A4 in points
  double height = 841.89;
  double margin = 36;
};

struct PageItem {
  enum Kind { Text, Fill, Frame, Image };
  Kind kind = Text;
  QRectF rect;
  QString text;      // Text: the text; Image: the picture file
  QFont font;
  int flags = 0;     // Qt alignment and wrapping flags of a text
  QColor color;      // Fill colour
};

struct LaidOutPage {
  std::vector<PageItem> items;
};

struct TocLocation {
  std::vector<std::string> path;
  int page = 0;  // from 0
};

struct LaidOutDocument {
  PageGeometry geometry;
  QString name;
  QString header;
  std::vector<LaidOutPage> pages;  // at least one
  std::vector<TocLocation> toc;
};

// The report's font at a size in layout units: Arial or its stand-ins for
// Latin text, a Hangul font whose blank reads back as a blank from the PDF.
QFont ReportFont(int pixels, bool bold = false);

// The line that stands in a report in place of a picture that is missing or
// cannot be read: "Picture not found: <file>", "Picture cannot be read: <file>".
QString MissingPictureNote(const QString& file, bool found);

// Breaks the document into pages: chapters and sub-chapters start a new page,
// tables continue on the next page with their column titles repeated, rows
// are never split.
LaidOutDocument LayOut(const Document& document, const PageGeometry& geometry = {});

// The footer text of a page: "Page n of m".
QString PageFooterText(int pageNumber, int pageCount);

// The text, or as much of its start as fits in `width` followed by "...".
QString ElideWithDots(const QString& text, const QFont& font, double width);

// Paints one page (index from 0) with its header and footer, in points: the
// caller has scaled the painter to the device.
void PaintPage(QPainter& painter, const LaidOutDocument& document, int page);

// Asked between pages whether to stop.
using CancelCheck = std::function<bool()>;

// Paints every page on a paged device (printer, PDF writer), starting a new
// device page for each; the painter must be active on `device`. False when
// `cancelled` stopped it.
bool PaintAllPages(QPainter& painter, QPagedPaintDevice& device, const LaidOutDocument& document,
                   const CancelCheck& cancelled = {});

// The reason a write gives when it was cancelled.
inline const char* const kCancelledReason = "cancelled";

// The PDF and xlsx writers put the file beside `path` under a hidden name and
// rename it over `path` only when it is complete: a write that fails or is
// cancelled leaves `path` as it was. Both are safe on a worker thread.

// Writes the document as a PDF file; false with a reason when the file cannot
// be written or the writing was cancelled.
bool WritePdf(const LaidOutDocument& document, const std::string& path, std::string* error,
              const CancelCheck& cancelled = {});

// Writes a workbook as an xlsx file (pictures as PNG); false with a reason
// when a sheet name is refused, the file cannot be written or the writing was
// cancelled.
bool WriteXlsx(const Workbook& workbook, const std::string& path, std::string* error,
               const CancelCheck& cancelled = {});

}  // namespace qmx::report
