// Page layout of a report document. Fonts are sized in pixels of the layout
// unit (points), so the same measures hold on every device once the painter
// is scaled to it.
#include <QFileInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <map>
#include <numeric>

#include "platform/report/report_render.h"

namespace qmx::report {
namespace {

constexpr double kHeaderBand = 20;   // page header above the content
constexpr double kFooterBand = 22;   // page footer below the content
constexpr double kCellPad = 3;
constexpr double kMinRow = 14;
constexpr double kPictureRow = 40;   // height of a row that shows a picture
constexpr double kGap = 8;

QFont MakeFont(int pixels, bool bold = false) { return ReportFont(pixels, bold); }

QString Q(const std::string& text) { return QString::fromStdString(text); }

// Text wraps at word boundaries; a word wider than the column is broken
// anywhere instead of being cut off at the cell's edge.
int WrapFlags(const QFont& font, double width, const QString& text) {
  QFontMetricsF metrics(font);
  for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
    if (metrics.horizontalAdvance(word) > width) return Qt::TextWordWrap | Qt::TextWrapAnywhere;
  return Qt::TextWordWrap;
}

double TextHeight(const QFont& font, double width, const QString& text) {
  if (text.isEmpty()) return QFontMetricsF(font).height();
  QFontMetricsF metrics(font);
  return metrics.boundingRect(QRectF(0, 0, std::max(1.0, width), 1e6), WrapFlags(font, width, text), text).height();
}

// What the layout needs of a picture, read once per file: its size, or why
// it cannot be shown.
struct PictureInfo {
  QSize size;
  bool found = false;
  bool Readable() const { return size.isValid() && size.width() > 0 && size.height() > 0; }
};

PictureInfo ReadPicture(const QString& file) {
  QImageReader reader(file);
  PictureInfo info;
  // The whole picture is decoded: a file whose header reads but whose data
  // does not would otherwise leave an empty place without a word.
  const QImage image = reader.read();
  info.found = reader.error() != QImageReader::FileNotFoundError && QFileInfo::exists(file);
  if (!image.isNull()) info.size = image.size();
  return info;
}

class Layouter {
public:
  Layouter(const Document& document, const PageGeometry& geometry) {
    out_.geometry = geometry;
    out_.name = Q(document.name);
    out_.header = Q(document.headerText);
    left_ = geometry.margin;
    width_ = geometry.width - 2 * geometry.margin;
    top_ = geometry.margin + kHeaderBand;
    bottom_ = geometry.height - geometry.margin - kFooterBand;
    NewPage();
  }

  LaidOutDocument Run(const Document& document) {
    for (const Block& block : document.blocks) std::visit([this](const auto& b) { Place(b); }, block);
    return std::move(out_);
  }

private:
  void NewPage() {
    out_.pages.emplace_back();
    y_ = top_;
    empty_ = true;
  }
  void BreakPage() {
    if (!empty_) NewPage();
  }
  void Ensure(double height) {
    if (y_ + height > bottom_ && !empty_) NewPage();
  }
  LaidOutPage& Page() { return out_.pages.back(); }

  void AddText(const QRectF& rect, const QString& text, const QFont& font, int flags) {
    PageItem item;
    item.kind = PageItem::Text;
    item.rect = rect;
    item.text = text;
    item.font = font;
    item.flags = flags;
    Page().items.push_back(item);
    empty_ = false;
  }
  void AddFill(const QRectF& rect, Rgb rgb) {
    PageItem item;
    item.kind = PageItem::Fill;
    item.rect = rect;
    item.color = QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
    Page().items.push_back(item);
  }
  void AddFrame(const QRectF& rect) {
    PageItem item;
    item.kind = PageItem::Frame;
    item.rect = rect;
    Page().items.push_back(item);
  }
  void AddImage(const QRectF& rect, const QString& file) {
    PageItem item;
    item.kind = PageItem::Image;
    item.rect = rect;
    item.text = file;
    Page().items.push_back(item);
    empty_ = false;
  }

  void Place(const CoverBlock& cover) {
    BreakPage();
    if (!cover.tocPath.empty()) out_.toc.push_back({cover.tocPath, int(out_.pages.size()) - 1});
    const QFont titleFont = MakeFont(26, true);
    y_ = top_ + (bottom_ - top_) / 4;
    const double h = TextHeight(titleFont, width_, Q(cover.title)) + 4;
    AddText(QRectF(left_, y_, width_, h), Q(cover.title), titleFont,
          Qt::AlignHCenter | WrapFlags(titleFont, width_, Q(cover.title)));
    y_ += h + 40;
    const QFont labelFont = MakeFont(13, true);
    const QFont valueFont = MakeFont(13);
    const double labelWidth = width_ * 0.35;
    for (const auto& [label, value] : cover.fields) {
      const double vh = std::max(TextHeight(valueFont, width_ - labelWidth - 10, Q(value)), 18.0);
      AddText(QRectF(left_, y_, labelWidth, vh), Q(label), labelFont, Qt::AlignRight | Qt::AlignTop);
      AddText(QRectF(left_ + labelWidth + 10, y_, width_ - labelWidth - 10, vh), Q(value), valueFont,
              Qt::AlignLeft | Qt::AlignTop | WrapFlags(valueFont, width_ - labelWidth - 10, Q(value)));
      y_ += vh + 8;
    }
    // The cover is a page of its own.
    NewPage();
  }

  void Place(const HeadingBlock& heading) {
    BreakPage();
    if (!heading.tocPath.empty()) out_.toc.push_back({heading.tocPath, int(out_.pages.size()) - 1});
    const QFont font = MakeFont(heading.level <= 1 ? 18 : 15, true);
    const double h = TextHeight(font, width_, Q(heading.text)) + 4;
    AddText(QRectF(left_, y_, width_, h), Q(heading.text), font,
            Qt::AlignLeft | WrapFlags(font, width_, Q(heading.text)));
    y_ += h + kGap;
  }

  std::vector<double> ColumnWidths(const TableBlock& table) const {
    const double total = std::accumulate(table.columns.begin(), table.columns.end(), 0.0,
                                         [](double s, const TableColumn& c) { return s + std::max(0.0, c.weight); });
    std::vector<double> widths;
    for (const TableColumn& c : table.columns)
      widths.push_back(total > 0 ? width_ * std::max(0.0, c.weight) / total : width_ / table.columns.size());
    return widths;
  }

  double PlaceTableHeader(const TableBlock& table, const std::vector<double>& widths) {
    const QFont font = MakeFont(9, true);
    const Rgb headerFill = 0xD9E1EA;
    const bool grouped = std::any_of(table.columns.begin(), table.columns.end(),
                                     [](const TableColumn& c) { return !c.group.empty(); });
    double start = y_;
    double titleHeight = kMinRow;
    for (size_t i = 0; i < table.columns.size(); ++i)
      titleHeight = std::max(titleHeight, TextHeight(font, widths[i] - 2 * kCellPad, Q(table.columns[i].title)) + 4);
    if (grouped) {
      // Group captions span their run of columns; ungrouped titles span both header lines.
      double x = left_;
      for (size_t i = 0; i < table.columns.size();) {
        size_t j = i + 1;
        double w = widths[i];
        if (!table.columns[i].group.empty()) {
          while (j < table.columns.size() && table.columns[j].group == table.columns[i].group) w += widths[j++];
          const QRectF rect(x, y_, w, kMinRow);
          AddFill(rect, headerFill);
          AddFrame(rect);
          AddText(rect.adjusted(kCellPad, 0, -kCellPad, 0), Q(table.columns[i].group), font, Qt::AlignCenter);
        }
        x += w;
        i = j;
      }
    }
    double x = left_;
    for (size_t i = 0; i < table.columns.size(); ++i) {
      const bool spans = grouped && table.columns[i].group.empty();
      const QRectF rect(x, spans ? y_ : y_ + (grouped ? kMinRow : 0), widths[i],
                        spans ? titleHeight + kMinRow : titleHeight);
      AddFill(rect, headerFill);
      AddFrame(rect);
      AddText(rect.adjusted(kCellPad, 0, -kCellPad, 0), Q(table.columns[i].title), font,
              Qt::AlignCenter | WrapFlags(font, rect.width() - 2 * kCellPad, Q(table.columns[i].title)));
      x += widths[i];
    }
    y_ += titleHeight + (grouped ? kMinRow : 0);
    return y_ - start;
  }

  const PictureInfo& Picture(const std::string& file) {
    auto it = pictures_.find(file);
    if (it == pictures_.end()) it = pictures_.emplace(file, ReadPicture(Q(file))).first;
    return it->second;
  }

  // The text a cell shows: its own, or the note of a picture that cannot be shown.
  QString CellText(const TableCell& cell) {
    if (cell.picture.empty() || Picture(cell.picture).Readable()) return Q(cell.text);
    const QString note =
        MissingPictureNote(QFileInfo(Q(cell.picture)).fileName(), Picture(cell.picture).found);
    return cell.text.empty() ? note : Q(cell.text) + QLatin1Char(' ') + note;
  }

  double RowHeight(const TableRow& row, const std::vector<double>& widths, const QFont& font) {
    if (row.caption) {
      const QString text = row.cells.empty() ? QString() : Q(row.cells.front().text);
      return std::max(kMinRow, TextHeight(font, width_ - 2 * kCellPad, text) + 4);
    }
    double h = kMinRow;
    for (size_t i = 0; i < row.cells.size() && i < widths.size(); ++i) {
      const TableCell& cell = row.cells[i];
      h = std::max(h, TextHeight(font, widths[i] - 2 * kCellPad, CellText(cell)) + 4);
      if (!cell.picture.empty() && Picture(cell.picture).Readable()) h = std::max(h, kPictureRow);
    }
    return h;
  }

  void Place(const TableBlock& table) {
    if (table.columns.empty()) return;
    const std::vector<double> widths = ColumnWidths(table);
    const QFont font = MakeFont(9);
    const QFont captionFont = MakeFont(9, true);
    // Column titles never stand alone at the foot of a page.
    const double firstRow = table.rows.empty() ? 0 : RowHeight(table.rows.front(), widths, font);
    Ensure(2 * kMinRow + firstRow + kMinRow);
    PlaceTableHeader(table, widths);
    for (const TableRow& row : table.rows) {
      const double h = RowHeight(row, widths, row.caption ? captionFont : font);
      if (y_ + h > bottom_) {
        NewPage();
        PlaceTableHeader(table, widths);
      }
      if (row.caption) {
        const QRectF rect(left_, y_, width_, h);
        AddFill(rect, row.background);
        AddFrame(rect);
        const QString caption = row.cells.empty() ? QString() : Q(row.cells.front().text);
        AddText(rect.adjusted(kCellPad, 0, -kCellPad, 0), caption, captionFont,
                Qt::AlignLeft | Qt::AlignVCenter | WrapFlags(captionFont, rect.width() - 2 * kCellPad, caption));
      } else {
        double x = left_;
        for (size_t i = 0; i < widths.size(); ++i) {
          const QRectF rect(x, y_, widths[i], h);
          AddFill(rect, row.background);
          AddFrame(rect);
          if (i < row.cells.size()) PlaceCell(row.cells[i], rect, font);
          x += widths[i];
        }
      }
      y_ += h;
      empty_ = false;
    }
    y_ += kGap;
  }

  void PlaceCell(const TableCell& cell, const QRectF& rect, const QFont& font) {
    QRectF textRect = rect.adjusted(kCellPad, 0, -kCellPad, 0);
    if (!cell.picture.empty()) {
      const PictureInfo& info = Picture(cell.picture);
      if (info.Readable()) {
        const QSize size = info.size;
        const double boxH = kPictureRow - 4;
        const double boxW = std::max(4.0, rect.width() - 4);
        const double scale = std::min(boxW / size.width(), boxH / size.height());
        const QRectF pic(rect.x() + 2, rect.y() + (rect.height() - size.height() * scale) / 2, size.width() * scale,
                         size.height() * scale);
        AddImage(pic, Q(cell.picture));
        textRect.setLeft(pic.right() + kCellPad);
      }
    }
    const QString text = CellText(cell);
    if (!text.isEmpty() && textRect.width() > 2)
      AddText(textRect, text, font, Qt::AlignLeft | Qt::AlignVCenter | WrapFlags(font, textRect.width(), text));
  }

  void Place(const PictureBlock& picture) {
    const PictureInfo& info = Picture(picture.path);
    if (!info.Readable()) {
      Place(TextBlock{MissingPictureNote(Q(picture.path), info.found).toStdString()});
      return;
    }
    const QSize size = info.size;
    // Pictures are drawn at 0.75 point per pixel (96 dpi), shrunk to fit the page.
    double w = size.width() * 0.75, h = size.height() * 0.75;
    const double scale = std::min({1.0, width_ / w, (bottom_ - top_) / h});
    w *= scale;
    h *= scale;
    Ensure(h);
    AddImage(QRectF(left_, y_, w, h), Q(picture.path));
    y_ += h + kGap;
  }

  void Place(const TextBlock& text) {
    const QFont font = MakeFont(10);
    const double h = TextHeight(font, width_, Q(text.text)) + 2;
    Ensure(h);
    AddText(QRectF(left_, y_, width_, h), Q(text.text), font, Qt::AlignLeft | WrapFlags(font, width_, Q(text.text)));
    y_ += h + kGap;
  }

  void Place(const PageBreakBlock&) { BreakPage(); }

  LaidOutDocument out_;
  std::map<std::string, PictureInfo> pictures_;
  double left_ = 0, width_ = 0, top_ = 0, bottom_ = 0, y_ = 0;
  bool empty_ = true;
};

}  // namespace

QFont ReportFont(int pixels, bool bold) {
  QFont font;
  font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans"),
                    QStringLiteral("NanumBarunGothic"), QStringLiteral("NanumGothic")});
  font.setPixelSize(pixels);
  font.setBold(bold);
  // Latin runs are drawn glyph by glyph: a ligature ("fi", "ff") would be one
  // glyph in the PDF and read back as another character than the report's text.
  font.setStyleStrategy(QFont::PreferNoShaping);
  return font;
}

LaidOutDocument LayOut(const Document& document, const PageGeometry& geometry) {
  Layouter layouter(document, geometry);
  LaidOutDocument out = layouter.Run(document);
  // A page break or a heading at the very end leaves an empty last page.
  while (out.pages.size() > 1 && out.pages.back().items.empty()) out.pages.pop_back();
  return out;
}

QString MissingPictureNote(const QString& file, bool found) {
  return (found ? QStringLiteral("Picture cannot be read: ") : QStringLiteral("Picture not found: ")) + file;
}

QString PageFooterText(int pageNumber, int pageCount) {
  return QStringLiteral("Page %1 of %2").arg(pageNumber).arg(pageCount);
}

}  // namespace qmx::report
