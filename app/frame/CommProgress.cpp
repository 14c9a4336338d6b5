#include "app/frame/CommProgress.h"

#include "app/model/Logging.h"
#include "common/Utility.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>

namespace qmx::frame {

// ---- the bar's arithmetic ---------------------------------------------------------

void CommProgressBar::SetDuration(int expectedMs) {
  step_ = kRange / (std::max(expectedMs, 1000) / 100);
  if (step_ == 0) step_ = 1;
}

void CommProgressBar::Start() {
  position_ = 2;
  bar_ = 2;
}

void CommProgressBar::Step() {
  position_ += step_;
  if (position_ < kRange - 5) bar_ = std::min(position_, kRange);
}

// ---- the dialog -----------------------------------------------------------------------

CCommProgressDlg::CCommProgressDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Communicating....");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  text_ = new QLabel("Operation Title", this);
  text_->setProperty("controlId", 1104);
  text_->setWordWrap(true);
  progress_ = new QProgressBar(this);
  progress_->setProperty("controlId", 1105);
  progress_->setRange(0, CommProgressBar::kRange);
  progress_->setValue(0);
  progress_->setTextVisible(false);
  progress_->setAccessibleName("Progress");
  text_->setBuddy(progress_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_);
  layout->addWidget(progress_);
  setMinimumWidth(360);
}

void CCommProgressDlg::SetOperation(const std::string& text, int expectedMs) {
  // The label has a buddy, so a lone '&' (a station named "Pump & Valve")
  // would turn into a mnemonic and vanish from the text.
  text_->setText(QString::fromStdString(text).replace('&', QStringLiteral("&&")));
  progress_->setAccessibleDescription(QString::fromStdString(text));
  bar_.SetDuration(expectedMs);
}

void CCommProgressDlg::StartProgress() {
  bar_.Start();
  ShowBar();
}

void CCommProgressDlg::StepProgress() {
  bar_.Step();
  ShowBar();
}

void CCommProgressDlg::EndProgress() {
  bar_.End();
  ShowBar();
}

void CCommProgressDlg::ShowBar() {
  if (progress_->value() != bar_.bar()) progress_->setValue(bar_.bar());
}

void CCommProgressDlg::keyPressEvent(QKeyEvent* event) { event->ignore(); }
void CCommProgressDlg::closeEvent(QCloseEvent* event) { event->ignore(); }

// ---- the run ----------------------------------------------------------------------------

namespace {

// What the two threads share. The text and duration are written before the
// worker starts; the flags are atomics, so each side sees the other's last
// word without a lock.
struct Shared {
  std::mutex textLock;
  std::string text;
  std::atomic<int> expectedMs{10000};
  std::atomic<int> running{0};  // 1 while the operation runs
  std::atomic<int> done{1};     // 1 once the operation has ended, however it ended
  std::atomic<int> result{0};
};

Shared& State() {
  static Shared shared;
  return shared;
}

std::function<void(CCommProgressDlg&)>& Observer() {
  static std::function<void(CCommProgressDlg&)> observer;
  return observer;
}

// Keeps the frame's timers from firing while the operation runs: a timer of
// the frame's window, or of an object under it outside a dialog, is swallowed (it fires again
// at its next period). User input is kept away by the dialog's modality.
class FrameTimerGate : public QObject {
public:
  explicit FrameTimerGate(QWidget* frame) : frame_(frame) { qApp->installEventFilter(this); }
  ~FrameTimerGate() override { qApp->removeEventFilter(this); }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Timer || !frame_) return false;
    for (QObject* o = watched; o; o = o->parent()) {
      if (qobject_cast<QDialog*>(o)) return false;  // the progress dialog and boxes keep theirs
      if (o == frame_) return true;
    }
    return false;
  }

private:
  QPointer<QWidget> frame_;
};

// Begins: the wait cursor, the shared values, the dialog, the worker.
struct CommProgressRun {
  QPointer<CCommProgressDlg> dialog;
  std::thread worker;
  std::unique_ptr<FrameTimerGate> gate;
};

void BeginCommProgress(CommProgressRun& run, QWidget* owner, const std::string& text, int expectedMs,
                       const std::function<int()>& operation) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  Shared& s = State();
  {
    std::lock_guard<std::mutex> lock(s.textLock);
    s.text = text;
  }
  s.expectedMs = expectedMs;
  s.result = 0;
  s.done = 0;
  s.running = 1;
  QWidget* frame = owner ? owner->window() : nullptr;
  run.gate = std::make_unique<FrameTimerGate>(frame);
  run.dialog = new CCommProgressDlg(frame);
  run.dialog->setAttribute(Qt::WA_DeleteOnClose, false);
  run.dialog->setWindowModality(Qt::ApplicationModal);
  run.dialog->SetOperation(text, expectedMs);
  run.dialog->show();
  run.dialog->StartProgress();
  run.worker = std::thread([operation, text] {
    Shared& shared = State();
    int result = 0;
    // Nothing may leave the worker: the operation fails, and says why.
    auto failed = [&text](const char* why) {
      PostLog(qmx::kLogError, qmx::kLogSource,
              StrFormat("[Bug] Exception is happened in the operation under the progress window. Operation: %s. "
                        "Exception: %s. Func: RunWithCommProgress",
                        text.c_str(), why));
    };
    try {
      result = operation ? operation() : 0;
    } catch (const std::exception& e) {
      failed(e.what());
      result = 0;
    } catch (...) {
      failed("unknown");
      result = 0;
    }
    shared.result = result;
    shared.running = 0;
    shared.done = 1;  // reached on every road, so the end never waits for ever
  });
}

// Ends: waits for the worker, shows the full bar, closes the dialog.
void EndCommProgress(CommProgressRun& run) {
  Shared& s = State();
  if (run.worker.joinable()) run.worker.join();
  s.running = 0;
  s.done = 1;
  if (run.dialog) {
    run.dialog->EndProgress();
    run.dialog->repaint();
    if (auto& observer = Observer()) observer(*run.dialog);
    run.dialog->hide();
    delete run.dialog.data();
  }
  run.gate.reset();
  QApplication::restoreOverrideCursor();
}

}  // namespace

int RunWithCommProgress(QWidget* owner, const std::string& text, int expectedMs,
                        const std::function<int()>& operation) {
  // Never nested: an operation asked for while one runs, or away from the
  // user-interface thread (which alone may show the dialog), runs where it is.
  if (State().done == 0 || !qApp || QThread::currentThread() != qApp->thread()) {
    return operation ? operation() : 0;
  }

  CommProgressRun run;
  BeginCommProgress(run, owner, text, expectedMs, operation);
  {
    QEventLoop loop;
    QTimer step;
    step.setInterval(100);
    QObject::connect(&step, &QTimer::timeout, &loop, [&] {
      if (State().done == 1) {
        loop.quit();
        return;
      }
      if (run.dialog) {
        run.dialog->StepProgress();
        if (auto& observer = Observer()) observer(*run.dialog);
      }
    });
    // The end is seen within a millisecond, not at the next step.
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
      if (State().done == 1) loop.quit();
    });
    step.start();
    poll.start();
    if (State().done == 0) loop.exec();
  }
  EndCommProgress(run);
  return State().result;
}

bool CommProgressRunning() { return State().done == 0; }

void SetCommProgressObserver(std::function<void(CCommProgressDlg&)> observer) {
  Observer() = std::move(observer);
}

}  // namespace qmx::frame
