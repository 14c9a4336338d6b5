// The "Log Message" docking window: five tabbed lists of log lines and the
// log files of the program run.
//
// Every record posted by PostLog arrives here as a 0x401 window message (from
// any thread), is shown in up to two lists by its category, is appended to the
// current log file, and is freed. One program run writes one series of files,
// "<folder>/Log/YYYY_MM_DD_hhmmss.log" then "..._001.log", "..._002.log", ...
// as each part passes the size limit.
//
// Only the list of the tab on show is made with the window; each other list
// is made when its tab is first shown (or asked for by list()). Until then
// its rows wait, under the same row limit, and it gets them in their order
// when it is made; the log file is written at once either way.
#pragma once

#include "app/model/AppOptions.h"
#include "app/model/Logging.h"
#include "platform/toolkit/frame_wnd.h"

#include <QIcon>
#include <QList>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

class QTreeWidget;
class QTreeWidgetItem;

class COutputBar : public qmx::toolkit::DockWindow {
  Q_OBJECT
public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;
  // Free bytes of the volume holding a folder; nullopt when it cannot be asked.
  using DiscSpaceQuery = std::function<std::optional<std::uint64_t>(const std::string& folder)>;
  // Asks where to save a tab's lines, opening in `folder`; nullopt when the
  // user cancels.
  using SaveFileDialog = std::function<std::optional<std::string>(const std::string& folder)>;

  // The lists, in tab order.
  enum ListIndex : int { kListAll = 0, kListError, kListGeneral, kListComm, kListDeveloper, kListCount };
  // Row icons.
  enum IconIndex : int { kIconError = 0, kIconInformation = 1, kIconDeveloper = 2 };

  static constexpr int kTabCtrlId = 1001;
  static constexpr int kCmdSaveLog = 12798;
  static constexpr int kCmdClearLog = 12799;
  // Code of the line that reports a log file that cannot be written.
  static constexpr int kLogFileErrorCode = qmx::err::kLogFile;

  explicit COutputBar(QWidget* parent = nullptr);
  ~COutputBar() override;

  // The receiver to name with qmx::SetLogTarget. Its Post may be called from
  // any thread; each record is freed after it was handled, or with its event
  // when the window goes away first.
  qmx::LogTarget* logTarget() { return &target_; }

  // Program folder: log files go to "<dir>/Log" (created when missing). Fixes
  // the name of this run's first log file from the current time.
  void SetLogFolder(const std::string& dir);
  void SetAppDirectory(const std::string& dir) { SetLogFolder(dir); }
  // Size limit of one log file, in units of 1,000,000 bytes.
  void SetMaxLogFileSize(int megabytes) { maxLogFileSize_ = megabytes; }
  // Window and file switches, MaxWndDisplay and EraseOldLogFileDays. Lists
  // longer than the new MaxWndDisplay lose their oldest rows at once.
  void SetLogOptions(const AppOptions& options);
  // Follows an options record from now on (the frame's, which the
  // Configuration command changes in place): each line takes the switches
  // and row limit the record holds at that moment, and EraseOldLogFiles its
  // day count. The record must outlive the window or be let go with nullptr.
  void FollowLogOptions(const AppOptions* options);

  // Erases, from "<dir>/Log", the log files last written before 00:00 of the
  // day EraseOldLogFileDays - 1 days before today. Only files named as this
  // window names its log files are concerned, never the current one; a file
  // that cannot be deleted is left and the walk goes on.
  void EraseOldLogFiles();

  // Seams for tests: the clock, the free-space query, the save-file dialog.
  void SetClock(Clock clock);
  void SetDiscSpaceQuery(DiscSpaceQuery query);
  void SetSaveFileDialog(SaveFileDialog dialog);

  // Shows and writes one line (see the header comment); returns 1.
  int AddLog(int category, const std::string& source, const std::string& message);
  // Appends a line to the current log file and rolls over when it passed the
  // size limit. 1 when written; 0 when file logging is off, no folder is set,
  // the file cannot be written, or logging was just switched off for lack of
  // disc space.
  int WriteLogFile(int category, const std::string& date, const std::string& time, const std::string& source,
                   const std::string& message, int openIfClosed);
  // 1 when the volume of the program folder has at least `megabytes` MiB free
  // (also when it cannot be asked).
  int IsDiscSpaceEnough(int megabytes);

  // Popup-menu commands on the selected tab.
  void OnSaveLog();
  void OnClearLog();

  // State, for the frame and for tests. A tab's page holds its list; list()
  // makes a list not made yet (nullptr when it cannot be made).
  qmx::toolkit::FlatTabCtrl* tabCtrl() const { return tabs_; }
  QTreeWidget* list(int index);
  const std::string& logFileName() const { return logFileName_; }
  int partCounter() const { return partCounter_; }
  bool fileLoggingEnabled() const { return fileLogging_; }

  // "%04d-%02d-%02d" and "hh:mm:ss.mmm" of a moment in local time.
  static std::string DateText(std::chrono::system_clock::time_point moment);
  static std::string TimeText(std::chrono::system_clock::time_point moment);

protected:
  int OnCreate() override;
  bool event(QEvent* event) override;

  // Creation steps; nullptr (or fewer than three icons) counts as a failure.
  // CreateList runs for a hidden tab's list when that tab is first shown.
  virtual qmx::toolkit::FlatTabCtrl* CreateTabCtrl();
  virtual QTreeWidget* CreateList(int index);
  virtual QList<QIcon> CreateIcons();

private:
  // One row of a list: its icon and the texts of its five columns.
  struct Row {
    int icon = 0;
    QStringList texts;
  };

  class Target : public qmx::LogTarget {
  public:
    explicit Target(COutputBar* bar) : bar_(bar) {}
    void Post(qmx::LogRecord* record) override;

  private:
    COutputBar* bar_;
  };

  int FailCreate(int code, const char* partName);
  // Makes the list of a tab and gives it the rows that waited for it; a list
  // that cannot be made is reported once, and its tab stays empty.
  QTreeWidget* MakeList(int index);
  QTreeWidgetItem* NewItem(const Row& row) const;
  void AddRow(int list, int icon, const std::string& date, const std::string& time, const std::string& source,
              const std::string& message);
  void AddWindowRows(int category, const std::string& date, const std::string& time, const std::string& source,
                     const std::string& message);
  void TrimLists();
  void ReportFileFailure(const std::string& what, int error, const std::string& date, const std::string& time);
  std::string BaseNameAt(std::chrono::system_clock::time_point moment) const;
  void ShowPopupMenu(const QPoint& globalPos);
  QTreeWidget* SelectedList() const;

  Target target_{this};
  qmx::toolkit::FlatTabCtrl* tabs_ = nullptr;
  bool created_ = false;  // OnCreate finished: lists may be made
  QWidget* pages_[kListCount] = {};
  QTreeWidget* lists_[kListCount] = {};
  bool listFailed_[kListCount] = {};
  // The rows of a list not made yet, newest first, as the list would show them.
  std::deque<Row> pending_[kListCount];
  QList<QIcon> icons_;
  std::string baseName_;
  std::string logFileName_;
  int partCounter_ = 0;
  std::string appDir_;
  int maxLogFileSize_ = 1;
  bool fileLogging_ = true;
  bool fileFailureReported_ = false;
  int wndEnable_[4];
  int fileEnable_[4];
  int maxWndDisplay_;
  int eraseOldLogFileDays_;
  const AppOptions* followed_ = nullptr;
  Clock clock_;
  DiscSpaceQuery discSpace_;
  SaveFileDialog saveDialog_;
};
