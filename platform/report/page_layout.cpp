// Page layout of a report document. Fonts are sized in pixels of the layout
// unit (points), so the same measures hold on every device once the painter
// is scaled to it.
#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QImage>

#include <algorithm>
#include <map>
#include <numeric>
#include <unordered_map>

#include "platform/report/picture_file.h"
#include "platform/report/report_render.h"
#include "platform/report/shaped_text.h"

namespace qmx::report {
namespace {

constexpr double kHeaderBand = 20;   // page header above the content
constexpr double kFooterBand = 22;   // page footer below the content
constexpr double kCellPad = 3;
constexpr double kMinRow = 14;
constexpr double kPictureRow = 40;   // height of a row that shows a picture
constexpr double kGap = 8;
constexpr Rgb kHeaderFill = 0xD9E1EA;
// Table rows placed between two looks at the cancel check.
constexpr int kRowsPerCancelCheck = 512;

// What the layout needs of a picture, read once per file: its size, or why
// it cannot be shown.
struct PictureInfo {
  QSize size;
  bool found = false;
  bool Readable() const { return size.isValid() && size.width() > 0 && size.height() > 0; }
};

PictureInfo ReadPicture(const QString& file) {
  PictureInfo info;
  info.found = QFileInfo::exists(file);
  QFile in(file);
  if (!in.open(QIODevice::ReadOnly)) return info;
  // The whole picture is decoded: a file whose header reads but whose data
  // does not would otherwise leave an empty place without a word.
  const QImage image = DecodeWholePicture(in.readAll());
  if (!image.isNull()) info.size = image.size();
  return info;
}

// How a text sits in a width: its height and the wrapping that gives it.
struct Measure {
  double height = 0;
  int wrap = Qt::TextWordWrap;
};

class Layouter {
public:
  Layouter(const Document& document, const PageGeometry& geometry, const CancelCheck& cancelled)
      : cancelled_(cancelled) {
    out_.geometry = geometry;
    out_.name = QString::fromStdString(document.name);
    out_.header = QString::fromStdString(document.headerText);
    left_ = geometry.margin;
    width_ = geometry.width - 2 * geometry.margin;
    top_ = geometry.margin + kHeaderBand;
    bottom_ = geometry.height - geometry.margin - kFooterBand;
    NewPage();
  }

  LaidOutDocument Run(const Document& document) {
    for (const Block& block : document.blocks) {
      if (Stopped()) break;
      std::visit([this](const auto& b) { Place(b); }, block);
    }
    return std::move(out_);
  }

private:
  using FontId = uint8_t;
  using TextId = uint32_t;

  bool Stopped() const { return cancelled_ && cancelled_(); }

  // ---- the document's tables -------------------------------------------------------

  FontId Font(int pixels, bool bold = false) {
    const int key = pixels * 2 + (bold ? 1 : 0);
    auto it = fontIds_.find(key);
    if (it != fontIds_.end()) return it->second;
    out_.fonts.push_back(ReportFont(pixels, bold));
    return fontIds_.emplace(key, FontId(out_.fonts.size() - 1)).first->second;
  }
  const QFont& FontOf(FontId id) const { return out_.fonts[id]; }

  TextId Text(const std::string& text) {
    auto it = textIds_.find(text);
    if (it != textIds_.end()) return it->second;
    out_.texts.push_back(QString::fromStdString(text));
    return textIds_.emplace(text, TextId(out_.texts.size() - 1)).first->second;
  }
  TextId Text(const QString& text) { return Text(text.toStdString()); }
  const QString& TextOf(TextId id) const { return out_.texts[id]; }

  uint32_t PictureRef(const std::string& file) {
    auto it = pictureIds_.find(file);
    if (it != pictureIds_.end()) return it->second;
    out_.pictures.push_back(QString::fromStdString(file));
    return pictureIds_.emplace(file, uint32_t(out_.pictures.size() - 1)).first->second;
  }

  const PictureInfo& Picture(const std::string& file) {
    auto it = pictures_.find(file);
    if (it == pictures_.end()) it = pictures_.emplace(file, ReadPicture(QString::fromStdString(file))).first;
    return it->second;
  }

  // Text wraps at word boundaries; a word wider than the column is broken
  // anywhere instead of being cut off at the cell's edge. Each text is
  // measured once per font and width.
  const Measure& Measured(FontId font, TextId text, double width) {
    width = std::max(1.0, width);
    const uint64_t key = (uint64_t(font) << 56) | (uint64_t(text) << 24) | (uint64_t(width * 16) & 0xFFFFFF);
    auto it = measures_.find(key);
    if (it != measures_.end()) return it->second;
    const QString& s = TextOf(text);
    const QFont& f = FontOf(font);
    Measure m;
    const QFontMetricsF metrics(f);
    if (metrics.horizontalAdvance(s) > width) {
      for (const QString& word : s.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        if (metrics.horizontalAdvance(word) > width) {
          m.wrap = Qt::TextWordWrap | Qt::TextWrapAnywhere;
          break;
        }
    }
    m.height = ShapedHeight(s, f, width, m.wrap);
    return measures_.emplace(key, m).first->second;
  }

  // ---- pages and items -------------------------------------------------------------

  void NewPage() {
    out_.pageStarts.push_back(uint32_t(out_.items.size()));
    y_ = top_;
    empty_ = true;
  }
  void BreakPage() {
    if (!empty_) NewPage();
  }
  void Ensure(double height) {
    if (y_ + height > bottom_ && !empty_) NewPage();
  }
  int CurrentPage() const { return out_.PageCount() - 1; }

  static PageItem Item(PageItem::Kind kind, const QRectF& rect, uint32_t ref) {
    PageItem item;
    item.kind = kind;
    item.x = float(rect.x());
    item.y = float(rect.y());
    item.width = float(rect.width());
    item.height = float(rect.height());
    item.ref = ref;
    return item;
  }
  void AddText(const QRectF& rect, TextId text, FontId font, int flags) {
    PageItem item = Item(PageItem::Text, rect, text);
    item.font = font;
    item.flags = uint32_t(flags);
    out_.items.push_back(item);
    empty_ = false;
  }
  void AddCell(const QRectF& rect, Rgb fill) { out_.items.push_back(Item(PageItem::Cell, rect, fill)); }
  void AddImage(const QRectF& rect, const std::string& file) {
    out_.items.push_back(Item(PageItem::Image, rect, PictureRef(file)));
    empty_ = false;
  }

  // ---- blocks ------------------------------------------------------------------------

  void Place(const CoverBlock& cover) {
    BreakPage();
    if (!cover.tocPath.empty()) out_.toc.push_back({cover.tocPath, CurrentPage()});
    const FontId titleFont = Font(26, true);
    y_ = top_ + (bottom_ - top_) / 4;
    const TextId title = Text(cover.title);
    const Measure& t = Measured(titleFont, title, width_);
    const double h = t.height + 4;
    AddText(QRectF(left_, y_, width_, h), title, titleFont, Qt::AlignHCenter | t.wrap);
    y_ += h + 40;
    const FontId labelFont = Font(13, true);
    const FontId valueFont = Font(13);
    const double labelWidth = width_ * 0.35;
    const double valueWidth = width_ - labelWidth - 10;
    for (const auto& [label, value] : cover.fields) {
      const TextId v = Text(value);
      const Measure& m = Measured(valueFont, v, valueWidth);
      const double vh = std::max(m.height, 18.0);
      AddText(QRectF(left_, y_, labelWidth, vh), Text(label), labelFont, Qt::AlignRight | Qt::AlignTop);
      AddText(QRectF(left_ + labelWidth + 10, y_, valueWidth, vh), v, valueFont, Qt::AlignLeft | Qt::AlignTop | m.wrap);
      y_ += vh + 8;
    }
    // The cover is a page of its own.
    NewPage();
  }

  void Place(const HeadingBlock& heading) {
    BreakPage();
    if (!heading.tocPath.empty()) out_.toc.push_back({heading.tocPath, CurrentPage()});
    const FontId font = Font(heading.level <= 1 ? 18 : 15, true);
    const TextId text = Text(heading.text);
    const Measure& m = Measured(font, text, width_);
    const double h = m.height + 4;
    AddText(QRectF(left_, y_, width_, h), text, font, Qt::AlignLeft | m.wrap);
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

  void PlaceTableHeader(const TableBlock& table, const std::vector<double>& widths) {
    const FontId font = Font(9, true);
    const bool grouped = std::any_of(table.columns.begin(), table.columns.end(),
                                     [](const TableColumn& c) { return !c.group.empty(); });
    double titleHeight = kMinRow;
    for (size_t i = 0; i < table.columns.size(); ++i)
      titleHeight = std::max(titleHeight, Measured(font, Text(table.columns[i].title), widths[i] - 2 * kCellPad).height + 4);
    if (grouped) {
      // Group captions span their run of columns; ungrouped titles span both header lines.
      double x = left_;
      for (size_t i = 0; i < table.columns.size();) {
        size_t j = i + 1;
        double w = widths[i];
        if (!table.columns[i].group.empty()) {
          while (j < table.columns.size() && table.columns[j].group == table.columns[i].group) w += widths[j++];
          const QRectF rect(x, y_, w, kMinRow);
          AddCell(rect, kHeaderFill);
          AddText(rect.adjusted(kCellPad, 0, -kCellPad, 0), Text(table.columns[i].group), font, Qt::AlignCenter);
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
      AddCell(rect, kHeaderFill);
      const TextId title = Text(table.columns[i].title);
      AddText(rect.adjusted(kCellPad, 0, -kCellPad, 0), title, font,
              Qt::AlignCenter | Measured(font, title, rect.width() - 2 * kCellPad).wrap);
      x += widths[i];
    }
    y_ += titleHeight + (grouped ? kMinRow : 0);
  }

  // The text a cell shows: its own, or the note of a picture that cannot be shown.
  TextId CellText(const TableCell& cell) {
    if (cell.picture.empty() || Picture(cell.picture).Readable()) return Text(cell.text);
    const QString note = MissingPictureNote(QFileInfo(QString::fromStdString(cell.picture)).fileName(),
                                            Picture(cell.picture).found);
    return Text(cell.text.empty() ? note : QString::fromStdString(cell.text) + QLatin1Char(' ') + note);
  }

  double RowHeight(const TableRow& row, const std::vector<double>& widths, FontId font) {
    if (row.caption) {
      const TextId text = Text(row.cells.empty() ? std::string() : row.cells.front().text);
      return std::max(kMinRow, Measured(font, text, width_ - 2 * kCellPad).height + 4);
    }
    double h = kMinRow;
    for (size_t i = 0; i < row.cells.size() && i < widths.size(); ++i) {
      const TableCell& cell = row.cells[i];
      h = std::max(h, Measured(font, CellText(cell), widths[i] - 2 * kCellPad).height + 4);
      if (!cell.picture.empty() && Picture(cell.picture).Readable()) h = std::max(h, kPictureRow);
    }
    return h;
  }

  void Place(const TableBlock& table) {
    if (table.columns.empty()) return;
    const std::vector<double> widths = ColumnWidths(table);
    const FontId font = Font(9);
    const FontId captionFont = Font(9, true);
    // Column titles never stand alone at the foot of a page.
    const double firstRow = table.rows.empty() ? 0 : RowHeight(table.rows.front(), widths, font);
    Ensure(2 * kMinRow + firstRow + kMinRow);
    PlaceTableHeader(table, widths);
    int sinceCheck = 0;
    for (const TableRow& row : table.rows) {
      if (++sinceCheck == kRowsPerCancelCheck) {
        sinceCheck = 0;
        if (Stopped()) return;
      }
      const double h = RowHeight(row, widths, row.caption ? captionFont : font);
      if (y_ + h > bottom_) {
        NewPage();
        PlaceTableHeader(table, widths);
      }
      if (row.caption) {
        const QRectF rect(left_, y_, width_, h);
        AddCell(rect, row.background);
        const TextId caption = Text(row.cells.empty() ? std::string() : row.cells.front().text);
        AddText(rect.adjusted(kCellPad, 0, -kCellPad, 0), caption, captionFont,
                Qt::AlignLeft | Qt::AlignVCenter | Measured(captionFont, caption, rect.width() - 2 * kCellPad).wrap);
      } else {
        double x = left_;
        for (size_t i = 0; i < widths.size(); ++i) {
          const QRectF rect(x, y_, widths[i], h);
          AddCell(rect, row.background);
          if (i < row.cells.size()) PlaceCell(row.cells[i], rect, font);
          x += widths[i];
        }
      }
      y_ += h;
      empty_ = false;
    }
    y_ += kGap;
  }

  void PlaceCell(const TableCell& cell, const QRectF& rect, FontId font) {
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
        AddImage(pic, cell.picture);
        textRect.setLeft(pic.right() + kCellPad);
      }
    }
    const TextId text = CellText(cell);
    if (!TextOf(text).isEmpty() && textRect.width() > 2)
      AddText(textRect, text, font, Qt::AlignLeft | Qt::AlignVCenter | Measured(font, text, textRect.width()).wrap);
  }

  void Place(const PictureBlock& picture) {
    const PictureInfo& info = Picture(picture.path);
    if (!info.Readable()) {
      Place(TextBlock{MissingPictureNote(QString::fromStdString(picture.path), info.found).toStdString()});
      return;
    }
    // Pictures are drawn at 0.75 point per pixel (96 dpi), shrunk to fit the page.
    double w = info.size.width() * 0.75, h = info.size.height() * 0.75;
    const double scale = std::min({1.0, width_ / w, (bottom_ - top_) / h});
    w *= scale;
    h *= scale;
    Ensure(h);
    AddImage(QRectF(left_, y_, w, h), picture.path);
    y_ += h + kGap;
  }

  void Place(const TextBlock& block) {
    const FontId font = Font(10);
    const TextId text = Text(block.text);
    const Measure& m = Measured(font, text, width_);
    const double h = m.height + 2;
    Ensure(h);
    AddText(QRectF(left_, y_, width_, h), text, font, Qt::AlignLeft | m.wrap);
    y_ += h + kGap;
  }

  void Place(const PageBreakBlock&) { BreakPage(); }

  const CancelCheck& cancelled_;
  LaidOutDocument out_;
  std::map<int, FontId> fontIds_;
  std::unordered_map<std::string, TextId> textIds_;
  std::unordered_map<std::string, uint32_t> pictureIds_;
  std::unordered_map<std::string, PictureInfo> pictures_;
  std::unordered_map<uint64_t, Measure> measures_;
  double left_ = 0, width_ = 0, top_ = 0, bottom_ = 0, y_ = 0;
  bool empty_ = true;
};

}  // namespace

std::span<const PageItem> LaidOutDocument::Page(int page) const {
  if (page < 0 || page >= PageCount()) return {};
  const size_t begin = pageStarts[size_t(page)];
  const size_t end = size_t(page) + 1 < pageStarts.size() ? pageStarts[size_t(page) + 1] : items.size();
  return std::span<const PageItem>(items.data() + begin, end - begin);
}

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

QString MissingPictureNote(const QString& file, bool found) {
  return (found ? QStringLiteral("Picture cannot be read: ") : QStringLiteral("Picture not found: ")) + file;
}

LaidOutDocument LayOut(const Document& document, const PageGeometry& geometry, const CancelCheck& cancelled) {
  Layouter layouter(document, geometry, cancelled);
  LaidOutDocument out = layouter.Run(document);
  // A page break or a heading at the very end leaves an empty last page.
  while (out.pageStarts.size() > 1 && out.pageStarts.back() == out.items.size()) out.pageStarts.pop_back();
  out.items.shrink_to_fit();
  return out;
}

QString PageFooterText(int pageNumber, int pageCount) {
  return QStringLiteral("Page %1 of %2").arg(pageNumber).arg(pageCount);
}

}  // namespace qmx::report
