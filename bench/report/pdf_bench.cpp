// The PDF of a long report against QPdfWriter drawing the same text: the
// report is laid out once, then each round writes it with WritePdf (cells,
// frames, pictures, texts, header and footer, staged and synced) and has a
// QPdfWriter draw every text item of every page with QPainter::drawText in
// the same font and box, with the same header and footer texts.
//
//   bench-bin/bench_report_pdf [--stations=41] [--modules=32] [--rounds=5] [--profile=1]
//
// Goal: ratio (our time / the anchor's) <= 1.5.
#include <QFileInfo>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <cstdio>
#include <cstdlib>

#include "ratio.h"
#include "platform/report/report_render.h"
#include "report/core/ReportBuilders.h"
#include "tests/report/big_docu.h"
#include "tests/support/test_support.h"

namespace {

using qmx::report::LaidOutDocument;
using qmx::report::PageItem;

void AnchorPdf(const LaidOutDocument& doc, const QString& file) {
  QPdfWriter writer(file);
  writer.setPageSize(QPageSize(QPageSize::A4));
  writer.setPageMargins(QMarginsF(0, 0, 0, 0));
  writer.setResolution(72);
  writer.setTitle(doc.name);
  QPainter painter(&writer);
  const qmx::report::PageGeometry& g = doc.geometry;
  const QFont band = qmx::report::ReportFont(9);
  for (int page = 0; page < doc.PageCount(); ++page) {
    if (page > 0) writer.newPage();
    for (const PageItem& item : doc.Page(page)) {
      if (item.kind != PageItem::Text) continue;
      painter.setFont(doc.fonts[item.font]);
      painter.drawText(item.rect(), int(item.flags), doc.TextOf(item));
    }
    painter.setFont(band);
    if (page > 0)
      painter.drawText(QRectF(g.margin, g.margin, g.width - 2 * g.margin, 14), Qt::AlignLeft | Qt::AlignVCenter,
                       doc.header);
    painter.drawText(QRectF(g.margin, g.height - g.margin - 14, g.width - 2 * g.margin, 14),
                     Qt::AlignHCenter | Qt::AlignVCenter, qmx::report::PageFooterText(page + 1, doc.PageCount()));
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  const int stations = qmx::bench::IntArg(argc, argv, "stations", 41);
  const int modules = qmx::bench::IntArg(argc, argv, "modules", 32);
  const int rounds = qmx::bench::IntArg(argc, argv, "rounds", 5);

  qmx::test::TempDir dir("bench-report-pdf");
  const auto mainFile = qmx::rendaval::test::WriteBigDocuSet(dir / "docu", stations, modules,
                                                             qmx::test::DistDir() / "Image");
  LaidOutDocument doc;
  const double layout = qmx::bench::Seconds([&] {
    doc = qmx::report::LayOut(qmx::rendaval::BuildPrintDocument(qmx::rendaval::LoadDocuSet("PROJECT", mainFile)));
  });
  size_t texts = 0;
  for (const PageItem& item : doc.items) texts += item.kind == PageItem::Text;
  std::printf("%d stations x %d modules: %d pages, %zu text items (%zu distinct texts), laid out in %.2f s\n",
              stations, modules, doc.PageCount(), texts, doc.texts.size(), layout);

  const std::string ours = (dir / "ours.pdf").string();
  const QString anchor = QString::fromStdString((dir / "anchor.pdf").string());
  const auto writeOurs = [&] {
    std::string why;
    if (!qmx::report::WritePdf(doc, ours, &why)) std::printf("WritePdf failed: %s\n", why.c_str());
  };
  // --profile=1: only ours, for a profiler.
  if (qmx::bench::IntArg(argc, argv, "profile", 0)) {
    for (int i = 0; i < rounds; ++i) std::printf("ours %.3f s\n", qmx::bench::Seconds(writeOurs));
    return 0;
  }
  const auto r = qmx::bench::Interleave(rounds, writeOurs, [&] { AnchorPdf(doc, anchor); });
  std::printf("files: ours %.1f MB, anchor %.1f MB\n", QFileInfo(QString::fromStdString(ours)).size() / 1e6,
              QFileInfo(anchor).size() / 1e6);
  qmx::bench::PrintRatio("PDF", r, 1.5);
  return 0;
}
