// The report program's form and preview on a report of a plant's size
// (256 stations x 32 modules by default), driven as a user would: Make
// Report, wait for the viewer, page through the report from the first page
// to the last. It measures the process's peak memory (VmHWM, reset at the
// start of each run), the longest time the form's event loop was still (a
// 5 ms heartbeat timer), how often the progress bar moved, the time to the
// viewer (and to the PDF with --pdf=1), the longest page turn, and how long
// Cancel takes to stop a run that is writing its PDF.
//
//   bench-bin/bench_report_preview [--stations=256] [--modules=32] [--pdf=0|1] [--rounds=1]
//
// Goals: peak memory under 500 MB, the form never still for 200 ms or more.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/report/page_view.h"
#include "platform/report/report_viewer.h"
#include "platform/toolkit/message_box.h"
#include "ratio.h"
#include "report/MainForm.h"
#include "tests/report/big_docu.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

double PeakMb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024;
  return 0;
}

void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// The longest gap between two turns of the event loop while it runs.
class Heartbeat {
public:
  Heartbeat() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 now = clock_.elapsed();
      longest_ = std::max(longest_, now - last_);
      last_ = now;
    });
  }
  void Start() {
    clock_.start();
    last_ = 0;
    longest_ = 0;
    timer_.start();
  }
  qint64 longest() const { return longest_; }

private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = 0, longest_ = 0;
};

// Turns the event loop until `done` or the time is up.
bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > timeoutMs) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(1);
  }
  return true;
}

std::unique_ptr<qmx::rendaval::MainForm> MakeForm(const fs::path& mainFile, const fs::path& pdf) {
  qmx::rendaval::FormServices services;
  services.endProgram = [](int) {};
  services.saveDialog = [](QWidget*, bool, const std::string&) { return std::string(); };
  auto form = std::make_unique<qmx::rendaval::MainForm>("PROJECT*" + mainFile.string(), services);
  form->show();
  if (!pdf.empty()) {
    form->pdfCheck()->click();
    form->fileName()->setText(QString::fromStdString(pdf.string()));
  }
  return form;
}

void PreviewRun(const fs::path& mainFile, const fs::path& out, bool pdf) {
  fs::remove(out / "big.pdf");
  ResetPeak();
  Heartbeat heartbeat;
  auto form = MakeForm(mainFile, pdf ? out / "big.pdf" : fs::path());
  int moves = 0, lastValue = form->progress()->value();
  QObject::connect(form->progress(), &QProgressBar::valueChanged, [&](int v) {
    if (v != lastValue) ++moves;
    lastValue = v;
  });
  QElapsedTimer clock;
  heartbeat.Start();
  clock.start();
  form->makeReport()->click();
  qint64 pdfAt = -1;
  const bool shown = RunUntil(
      [&] {
        if (pdf && pdfAt < 0 && fs::exists(out / "big.pdf")) pdfAt = clock.elapsed();
        return form->viewer() && form->viewer()->isVisible();
      },
      600000);
  const qint64 viewerAt = clock.elapsed();
  const qint64 stillBefore = heartbeat.longest();
  if (!shown) {
    std::printf("the viewer did not appear\n");
    return;
  }
  qmx::report::ReportViewer& viewer = *form->viewer();
  const int pages = viewer.document().PageCount();
  // Page through the report: 40 jumps from the first page to the last.
  qint64 longestTurn = 0;
  for (int i = 0; i <= 40; ++i) {
    QElapsedTimer turn;
    turn.start();
    viewer.GoToPage(int(int64_t(pages - 1) * i / 40));
    viewer.pages()->viewport()->repaint();
    longestTurn = std::max(longestTurn, turn.elapsed());
    QApplication::processEvents();
  }
  char pdfDone[64] = "";
  if (pdf) std::snprintf(pdfDone, sizeof pdfDone, ", PDF written after %.1f s", pdfAt / 1000.0);
  std::printf("preview%s: %d pages; viewer after %.1f s%s; peak %.0f MB (goal < 500); form still at most %lld ms "
              "(goal < 200); progress moved %d times; longest page turn %lld ms\n",
              pdf ? " with PDF" : "", pages, viewerAt / 1000.0, pdfDone, PeakMb(),
              static_cast<long long>(stillBefore), moves, static_cast<long long>(longestTurn));
  std::fflush(stdout);
}

void CancelRun(const fs::path& mainFile, const fs::path& out) {
  fs::remove(out / "big.pdf");
  auto form = MakeForm(mainFile, out / "big.pdf");
  form->makeReport()->click();
  // Cancel while the PDF is being written (its staged file lies beside it).
  const bool writing = RunUntil(
      [&] {
        for (const auto& e : fs::directory_iterator(out))
          if (e.path().filename().string().front() == '.') return true;
        return false;
      },
      600000);
  QElapsedTimer clock;
  clock.start();
  form->cancel()->click();
  form.reset();
  std::printf("cancel while %s: stopped in %lld ms, target %s\n", writing ? "writing the PDF" : "running",
              static_cast<long long>(clock.elapsed()), fs::exists(out / "big.pdf") ? "WRITTEN" : "absent");
}

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  qmx::toolkit::SetMessageBoxScript([](const qmx::toolkit::MessageBoxRequest& r) {
    std::printf("box: %s\n", r.text.c_str());
    return int(qmx::toolkit::kIdOk);
  });
  const int stations = qmx::bench::IntArg(argc, argv, "stations", 256);
  const int modules = qmx::bench::IntArg(argc, argv, "modules", 32);
  const bool pdf = qmx::bench::IntArg(argc, argv, "pdf", 0) != 0;
  const int rounds = qmx::bench::IntArg(argc, argv, "rounds", 1);

  qmx::test::TempDir dir("bench-report-preview");
  const fs::path mainFile =
      qmx::rendaval::test::WriteBigDocuSet(dir / "docu", stations, modules, qmx::test::DistDir() / "Image");
  const fs::path out = dir / "out";
  fs::create_directories(out);
  std::printf("%d stations x %d modules\n", stations, modules);
  for (int i = 0; i < rounds; ++i) PreviewRun(mainFile, out, pdf);
  CancelRun(mainFile, out);
  return 0;
}
