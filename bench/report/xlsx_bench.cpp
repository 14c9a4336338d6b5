// The workbook of a long report against libxlsxwriter writing the same cells:
// the Excel report is built and gathered once, then each round writes it
// with WriteXlsx (each distinct picture decoded and encoded once, staged and
// synced) and has libxlsxwriter write the same sheets, column widths, row
// heights, cells and formats, with the pictures as PNG bytes made before
// the clock starts.
//
//   bench-bin/bench_report_xlsx [--stations=38] [--modules=32] [--rounds=5] [--profile=1]
//
// Goal: ratio (our time / the anchor's) <= 2.
#include <QBuffer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>

#include <xlsxwriter.h>

#include <cstdio>
#include <cstdlib>
#include <map>

#include "platform/report/report_render.h"
#include "ratio.h"
#include "report/core/ReportBuilders.h"
#include "tests/report/big_docu.h"
#include "tests/support/test_support.h"

namespace {

using qmx::report::SheetCell;
using qmx::report::Workbook;

void AnchorXlsx(const Workbook& wb, const std::map<std::string, QByteArray>& png, const std::string& file) {
  lxw_workbook* book = workbook_new(file.c_str());
  std::map<std::pair<double, bool>, lxw_format*> formats;
  const auto format = [&](const SheetCell& cell) {
    auto& f = formats[{cell.fontSize, cell.bold}];
    if (!f) {
      f = workbook_add_format(book);
      format_set_font_name(f, "Arial");
      format_set_font_size(f, cell.fontSize);
      if (cell.bold) format_set_bold(f);
      format_set_text_wrap(f);
      format_set_align(f, LXW_ALIGN_VERTICAL_TOP);
    }
    return f;
  };
  for (const auto& sheet : wb.sheets) {
    lxw_worksheet* ws = workbook_add_worksheet(book, sheet.name.c_str());
    for (size_t c = 0; c < wb.columnWidths.size(); ++c)
      worksheet_set_column(ws, lxw_col_t(c), lxw_col_t(c), wb.columnWidths[c], nullptr);
    for (size_t r = 0; r < sheet.rows.size(); ++r) {
      const auto& row = sheet.rows[r];
      if (row.height > 0) worksheet_set_row(ws, lxw_row_t(r), row.height, nullptr);
      for (size_t c = 0; c < row.cells.size(); ++c) {
        const SheetCell& cell = row.cells[c];
        if (cell.number) {
          worksheet_write_number(ws, lxw_row_t(r), lxw_col_t(c), std::strtod(cell.text.c_str(), nullptr), format(cell));
        } else if (!cell.text.empty()) {
          worksheet_write_string(ws, lxw_row_t(r), lxw_col_t(c), cell.text.c_str(), format(cell));
        } else if (cell.bold || cell.fontSize != qmx::report::kDefaultFontSize) {
          worksheet_write_blank(ws, lxw_row_t(r), lxw_col_t(c), format(cell));
        }
        if (!cell.picture.empty()) {
          const QByteArray& bytes = png.at(cell.picture);
          lxw_image_options options{};
          options.x_offset = 2;
          options.y_offset = 2;
          options.x_scale = 1;
          options.y_scale = 1;
          worksheet_insert_image_buffer_opt(ws, lxw_row_t(r), lxw_col_t(c),
                                            reinterpret_cast<const unsigned char*>(bytes.constData()),
                                            size_t(bytes.size()), &options);
        }
      }
    }
  }
  workbook_close(book);
}

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  const int stations = qmx::bench::IntArg(argc, argv, "stations", 38);
  const int modules = qmx::bench::IntArg(argc, argv, "modules", 32);
  const int rounds = qmx::bench::IntArg(argc, argv, "rounds", 5);

  qmx::test::TempDir dir("bench-report-xlsx");
  const auto mainFile = qmx::rendaval::test::WriteBigDocuSet(dir / "docu", stations, modules,
                                                             qmx::test::DistDir() / "Image");
  qmx::rendaval::ReshapeResult gathered =
      qmx::rendaval::ReshapeWorkbook(qmx::rendaval::BuildExcelPages(qmx::rendaval::LoadDocuSet("PROJECT", mainFile)));
  qmx::rendaval::DropContinuationSpacers(gathered.workbook);
  const Workbook& wb = gathered.workbook;
  size_t cells = 0, pictureCells = 0;
  std::map<std::string, QByteArray> png;
  for (const auto& sheet : wb.sheets)
    for (const auto& row : sheet.rows)
      for (const SheetCell& cell : row.cells) {
        cells += !cell.text.empty();
        if (cell.picture.empty()) continue;
        ++pictureCells;
        QByteArray& bytes = png[cell.picture];
        if (!bytes.isEmpty()) continue;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImage(QString::fromStdString(cell.picture)).save(&buffer, "PNG");
      }
  std::printf("%d stations x %d modules: %zu sheets, %zu cells with a value, %zu picture cells (%zu files)\n",
              stations, modules, wb.sheets.size(), cells, pictureCells, png.size());

  const std::string ours = (dir / "ours.xlsx").string();
  const std::string anchor = (dir / "anchor.xlsx").string();
  const auto writeOurs = [&] {
    std::string why;
    if (!qmx::report::WriteXlsx(wb, ours, &why)) std::printf("WriteXlsx failed: %s\n", why.c_str());
  };
  // --profile=1: only ours, for a profiler.
  if (qmx::bench::IntArg(argc, argv, "profile", 0)) {
    for (int i = 0; i < rounds; ++i) std::printf("ours %.3f s\n", qmx::bench::Seconds(writeOurs));
    return 0;
  }
  const auto r = qmx::bench::Interleave(rounds, writeOurs, [&] { AnchorXlsx(wb, png, anchor); });
  std::printf("files: ours %.1f MB, anchor %.1f MB\n", QFileInfo(QString::fromStdString(ours)).size() / 1e6,
              QFileInfo(QString::fromStdString(anchor)).size() / 1e6);
  qmx::bench::PrintRatio("xlsx", r, 2.0);
  return 0;
}
