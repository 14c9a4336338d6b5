// The progress dialog: the bar's arithmetic, the end reached however the
// operation ends, a box asked for by the operation answered on the
// user-interface thread, and a picture of the dialog while it runs.
#include "app/frame/CommProgress.h"
#include "app/frame/ProgramServices.h"
#include "app/model/Logging.h"
#include "app/model/Services.h"
#include "platform/toolkit/message_box.h"
#include "tests/support/access_audit.h"
#include "tests/support/model_log_capture.h"
#include "tests/support/test_support.h"

#include <QApplication>
#include <QProgressBar>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

using namespace qmx::frame;

namespace {

TEST(CommProgressBar, StepAndStopFollowTheExpectedDuration) {
  const struct {
    int ms, step, highest;
  } cases[] = {{30000, 1, 294}, {5000, 6, 290}, {500, 30, 272}};
  for (const auto& c : cases) {
    CommProgressBar bar;
    bar.SetDuration(c.ms);
    bar.Start();
    EXPECT_EQ(bar.bar(), 2);
    for (int i = 0; i < 1000; ++i) bar.Step();
    EXPECT_EQ(bar.step(), c.step) << c.ms;
    EXPECT_EQ(bar.bar(), c.highest) << c.ms;
    bar.End();
    EXPECT_EQ(bar.bar(), 300) << c.ms;
  }
}

TEST(CommProgress, TheEndIsReachedHoweverTheOperationEndsAndBoxesAreShownByTheUserInterface) {
  int steps = 0;
  int lastBar = 0;
  SetCommProgressObserver([&](CCommProgressDlg& dialog) {
    lastBar = dialog.progressBar()->value();
    if (++steps != 5) return;
    const auto path = qmx::test::DistDir().parent_path() / "frame_online_progress.png";
    EXPECT_TRUE(dialog.grab().save(QString::fromStdString(path.string())));
    EXPECT_EQ(qmx::test::AuditAccess(&dialog), std::vector<std::string>{});
  });
  std::thread::id ranOn;
  EXPECT_EQ(RunWithCommProgress(nullptr, "Download parameters to Pump & Valve (127.0.0.1)", 5000,
                                [&] {
                                  ranOn = std::this_thread::get_id();
                                  std::this_thread::sleep_for(std::chrono::milliseconds(700));
                                  return 1;
                                }),
            1);
  EXPECT_NE(ranOn, std::this_thread::get_id());
  EXPECT_GE(steps, 5);
  EXPECT_EQ(lastBar, 300);
  lastBar = 0;
  {
    // An operation that throws fails, and the log says so.
    ModelLogCapture log;
    EXPECT_EQ(RunWithCommProgress(nullptr, "Upload", 30000, []() -> int { throw std::runtime_error("lost"); }), 0);
    EXPECT_TRUE(log.Has("[Bug] Exception is happened in the operation under the progress window. Operation: Upload. "
                        "Exception: lost. Func: RunWithCommProgress",
                        qmx::kLogError));
  }
  EXPECT_EQ(lastBar, 300);
  EXPECT_FALSE(CommProgressRunning());

  qmx::InstallProgramServices();
  bool onUi = false;
  qmx::toolkit::SetMessageBoxScript([&](const qmx::toolkit::MessageBoxRequest&) {
    onUi = QThread::currentThread() == qApp->thread();
    return qmx::toolkit::kIdYes;
  });
  EXPECT_EQ(RunWithCommProgress(nullptr, "Upload", 30000, [] { return qmx::ShowBox("drvRead is failed.", 0); }),
            qmx::toolkit::kIdYes);
  EXPECT_TRUE(onUi);
  qmx::toolkit::SetMessageBoxScript(nullptr);
  qmx::ResetServices();
  SetCommProgressObserver(nullptr);
}

}  // namespace
