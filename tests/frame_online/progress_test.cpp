// The progress dialog: the bar's arithmetic, the end reached however the
// operation ends, a box asked for by the operation answered on the
// user-interface thread, and a picture of the dialog while it runs.
#include "app/frame/CommProgress.h"
#include "app/frame/ProgramServices.h"
#include "app/model/Logging.h"
#include "app/model/Services.h"
#include "platform/toolkit/message_box.h"
#include "tests/support/test_support.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

using qmx::frame::CommProgressBar;
using qmx::frame::RunWithCommProgress;

namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "frame_online_ui_tests";
  static char* argv[] = {name, nullptr};
  static auto* app = new QApplication(argc, argv);
  return *app;
}

// Steps until the bar stops moving; the last value it shows before the end.
int HighestBarBeforeTheEnd(CommProgressBar& bar) {
  bar.Start();
  for (int i = 0; i < 1000; ++i) bar.Step();
  return bar.bar();
}

TEST(CommProgressBar, StepAndStopFollowTheExpectedDuration) {
  const struct {
    int ms;
    int step;
    int highest;
  } cases[] = {{30000, 1, 294}, {10000, 3, 293}, {5000, 6, 290}, {500, 30, 272}, {0, 30, 272}};
  for (const auto& c : cases) {
    CommProgressBar bar;
    bar.SetDuration(c.ms);
    EXPECT_EQ(bar.step(), c.step) << c.ms;
    EXPECT_EQ(HighestBarBeforeTheEnd(bar), c.highest) << c.ms;
    bar.End();
    EXPECT_EQ(bar.bar(), 300) << c.ms;
  }
  CommProgressBar bar;
  bar.SetDuration(30000);
  bar.Start();
  EXPECT_EQ(bar.bar(), 2);
  bar.Step();
  EXPECT_EQ(bar.bar(), 3);
}

TEST(CommProgress, TheEndIsReachedHoweverTheOperationEnds) {
  App();
  int steps = 0;
  int lastBar = 0;
  qmx::frame::SetCommProgressObserver([&](qmx::frame::CCommProgressDlg& dialog) {
    ++steps;
    lastBar = dialog.progressBar()->value();
    EXPECT_EQ(dialog.windowTitle(), "Communicating....");
    EXPECT_EQ(dialog.operationText()->text(), "Upload");
  });
  const std::thread::id ui = std::this_thread::get_id();
  std::thread::id ranOn;
  EXPECT_EQ(RunWithCommProgress(nullptr, "Upload", 30000,
                                [&] {
                                  ranOn = std::this_thread::get_id();
                                  std::this_thread::sleep_for(std::chrono::milliseconds(350));
                                  return 1;
                                }),
            1);
  EXPECT_NE(ranOn, ui);
  EXPECT_GE(steps, 3);  // stepped while it ran, then the full bar
  EXPECT_EQ(lastBar, 300);
  EXPECT_FALSE(qmx::frame::CommProgressRunning());
  EXPECT_EQ(RunWithCommProgress(nullptr, "Upload", 30000, [] { return 0; }), 0);
  EXPECT_EQ(RunWithCommProgress(nullptr, "Upload", 30000, []() -> int { throw std::runtime_error("lost"); }), 0);
  EXPECT_EQ(lastBar, 300);
  EXPECT_FALSE(qmx::frame::CommProgressRunning());
  qmx::frame::SetCommProgressObserver(nullptr);
}

TEST(CommProgress, ABoxAskedForByTheOperationIsAnsweredOnTheUserInterfaceThread) {
  App();
  qmx::InstallProgramServices();
  bool onUi = false;
  qmx::toolkit::SetMessageBoxScript([&](const qmx::toolkit::MessageBoxRequest& box) {
    onUi = QThread::currentThread() == qApp->thread();
    EXPECT_EQ(box.text, "drvRead is failed. See below log in detail.");
    return qmx::toolkit::kIdYes;
  });
  EXPECT_EQ(RunWithCommProgress(nullptr, "Upload", 30000,
                                [] { return qmx::ShowBox("drvRead is failed. See below log in detail.", 0); }),
            qmx::toolkit::kIdYes);
  EXPECT_TRUE(onUi);
  qmx::toolkit::SetMessageBoxScript(nullptr);
  qmx::ResetServices();
}

TEST(CommProgress, Picture) {
  App();
  bool saved = false;
  int steps = 0;
  qmx::frame::SetCommProgressObserver([&](qmx::frame::CCommProgressDlg& dialog) {
    if (saved || ++steps < 5) return;
    const auto path = qmx::test::DistDir().parent_path() / "frame_online_progress.png";
    saved = dialog.grab().save(QString::fromStdString(path.string()));
  });
  RunWithCommProgress(nullptr, "Download parameters to Station 1 (127.0.0.1)", 5000, [] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    return 1;
  });
  EXPECT_TRUE(saved);
  qmx::frame::SetCommProgressObserver(nullptr);
}

}  // namespace
