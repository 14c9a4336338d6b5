// The "Communicating...." dialog around a long device operation.
//
// Device calls are synchronous and may take seconds, and Qt paints on the
// user-interface thread only. So the operation runs on a worker thread while
// the user-interface thread shows the dialog and moves its bar every 100 ms;
// the bar shows the time passed against an expected duration, not real
// progress, and jumps to full when the operation ends. While an operation
// runs, the program's timers and commands do nothing (see
// CommProgressRunning), and a message box the operation asks for is shown
// on the user-interface thread and its answer handed back (ProgramServices).
#pragma once

#include <QDialog>

#include <functional>
#include <string>

class QLabel;
class QProgressBar;
class QWidget;

namespace qmx::frame {

// The bar's arithmetic, without a display. Range 300; the step is
// range / (max(duration, 1000) / 100), at least 1. The bar starts at 2,
// creeps by one step each 100 ms but never to the last 5 units, and is
// full only when the operation has ended.
class CommProgressBar {
public:
  static constexpr int kRange = 300;

  void SetDuration(int expectedMs);
  void Start();
  void Step();
  void End() { bar_ = kRange; }

  int step() const { return step_; }
  int bar() const { return bar_; }

private:
  int position_ = 0;
  int step_ = 2;
  int bar_ = 0;
};

// The dialog: its caption "Communicating....", the operation text and the bar.
class CCommProgressDlg : public QDialog {
  Q_OBJECT
public:
  explicit CCommProgressDlg(QWidget* parent = nullptr);

  void SetOperation(const std::string& text, int expectedMs);
  void StartProgress();
  void StepProgress();
  void EndProgress();

  QProgressBar* progressBar() const { return progress_; }

protected:
  // Nothing closes it but the end of the operation.
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  void ShowBar();

  QLabel* text_ = nullptr;
  QProgressBar* progress_ = nullptr;
  CommProgressBar bar_;
};

// Runs `operation` on a worker thread between BeginCommProgress and
// EndCommProgress, with the dialog owned by `owner`'s window, and returns
// its result; an operation that throws counts as 0. Asked from inside a
// running operation (no nesting), the operation just runs where it is.
int RunWithCommProgress(QWidget* owner, const std::string& text, int expectedMs,
                        const std::function<int()>& operation);

// True while an operation runs under the dialog: timers and commands of the
// frame test it and do nothing.
bool CommProgressRunning();

// Test hook: called on the user-interface thread with the dialog after each
// step of its bar, and once more after the full bar is shown.
void SetCommProgressObserver(std::function<void(CCommProgressDlg&)> observer);

}  // namespace qmx::frame
