// Laying a report document out on pages and painting the pages: to the
// preview, to a printer and to a PDF file. All geometry is in points (1/72
// inch) on an A4 page; painting scales to the device.
//
// A report of a plant's size has thousands of pages, so the laid-out
// document is compact: the items of all pages lie in one array, and an item
// names its text, font and picture by index into tables that hold each
// distinct one once. Pages are painted only when they are shown or written.
#pragma once

#include <QFont>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/report/model/document.h"

class QImage;
class QPainter;
class QPagedPaintDevice;

namespace qmx::report {

struct PageGeometry {
  double width = 595.28;   // A4 in points
  double height = 841.89;
  double margin = 36;
};

struct PageItem {
  enum Kind : uint8_t {
    Text,   // `ref` indexes LaidOutDocument::texts, `font` its fonts
    Cell,   // a table cell: filled with the colour `ref` (0xRRGGBB) and framed
    Image,  // `ref` indexes LaidOutDocument::pictures
  };
  Kind kind = Text;
  uint8_t font = 0;
  uint32_t flags = 0;  // Text: Qt alignment and wrapping flags
  float x = 0, y = 0, width = 0, height = 0;
  uint32_t ref = 0;

  QRectF rect() const { return QRectF(x, y, width, height); }
};

struct TocLocation {
  std::vector<std::string> path;
  int page = 0;  // from 0
};

struct LaidOutDocument {
  PageGeometry geometry;
  QString name;
  QString header;
  std::vector<QFont> fonts;
  std::vector<QString> texts;     // each distinct text once
  std::vector<QString> pictures;  // each distinct picture file once
  std::vector<PageItem> items;    // the items of every page, page after page
  std::vector<uint32_t> pageStarts;  // index of each page's first item; at least one page
  std::vector<TocLocation> toc;

  int PageCount() const { return int(pageStarts.size()); }
  std::span<const PageItem> Page(int page) const;
  const QString& TextOf(const PageItem& item) const { return texts[item.ref]; }
};

// The report's font at a size in layout units: Arial or its stand-ins for
// Latin text, a Hangul font whose blank reads back as a blank from the PDF.
QFont ReportFont(int pixels, bool bold = false);

// The line that stands in a report in place of a picture that is missing or
// cannot be read: "Picture not found: <file>", "Picture cannot be read: <file>".
QString MissingPictureNote(const QString& file, bool found);

// Asked now and then whether to stop.
using CancelCheck = std::function<bool()>;

// Breaks the document into pages: chapters and sub-chapters start a new page,
// tables continue on the next page with their column titles repeated, rows
// are never split. When `cancelled` stops it the result is incomplete.
LaidOutDocument LayOut(const Document& document, const PageGeometry& geometry = {},
                       const CancelCheck& cancelled = {});

// The footer text of a page: "Page n of m".
QString PageFooterText(int pageNumber, int pageCount);

// The text, or as much of its start as fits in `width` followed by "...".
QString ElideWithDots(const QString& text, const QFont& font, double width);

// What painting many pages of one document shares: each distinct text shaped
// once per box it is drawn in, each picture decoded once while it is used
// (within a memory budget). One per painter; not shared between threads.
class PaintCache {
public:
  PaintCache();
  ~PaintCache();
  PaintCache(const PaintCache&) = delete;
  PaintCache& operator=(const PaintCache&) = delete;

  struct Impl;

private:
  friend void PaintPage(QPainter&, const LaidOutDocument&, int, PaintCache&);
  std::unique_ptr<Impl> impl_;
};

// Paints one page (index from 0) with its header and footer, in points: the
// caller has scaled the painter to the device.
void PaintPage(QPainter& painter, const LaidOutDocument& document, int page, PaintCache& cache);

// Paints every page on a paged device (printer, PDF writer), starting a new
// device page for each; the painter must be active on `device`. False when
// `cancelled` stopped it.
bool PaintAllPages(QPainter& painter, QPagedPaintDevice& device, const LaidOutDocument& document,
                   const CancelCheck& cancelled = {});

// The reason a write gives when it was cancelled.
inline const char* const kCancelledReason = "cancelled";

// The PDF and xlsx writers put the file beside `path` under a hidden name and
// rename it over `path` only when every byte of it is written and flushed: a
// write that fails (a full disk) or is cancelled leaves `path` as it was and
// nothing beside it, and its reason is the system's ("No space left on
// device"). Both are safe on a worker thread.

// Writes the document as a PDF file; false with a reason when the file cannot
// be written or the writing was cancelled.
bool WritePdf(const LaidOutDocument& document, const std::string& path, std::string* error,
              const CancelCheck& cancelled = {});

// Writes a workbook as an xlsx file (each distinct picture, by its content,
// decoded and encoded as PNG once); false with a reason when a sheet name is refused,
// the file cannot be written or the writing was cancelled.
bool WriteXlsx(const Workbook& workbook, const std::string& path, std::string* error,
               const CancelCheck& cancelled = {});

}  // namespace qmx::report
