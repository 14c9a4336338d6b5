#include "app/frame/OutputBar.h"

#include "app/model/ProgramPaths.h"
#include "common/Utility.h"
#include "platform/toolkit/message_box.h"
#include "platform/toolkit/text_fit.h"
#include "platform/toolkit/window_messages.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>

namespace fs = std::filesystem;
using std::chrono::system_clock;

namespace {

constexpr const char* kLocCreate = "COutputBar::OnCreate";
constexpr const char* kTabTitles[COutputBar::kListCount] = {"All", "Error", "General", "Communication", "Developer"};
constexpr int kListIds[COutputBar::kListCount] = {1002, 1003, 1005, 1004, 1006};

struct Column {
  const char* title;
  int width;
};
constexpr Column kColumns[5] = {{"!", 20}, {"Date", 80}, {"Time", 90}, {"From", 150}, {"Message", 660}};
// The widest text each column shows: a date, a time, the sources of the suite.
constexpr const char* kColumnSamples[5] = {"", "0000-00-00", "00:00:00.000", "QMX-410 Tools", ""};

// A column's width: its own, or wider when the list's font needs more room
// for what it shows (a larger font or a scaled screen).
int ColumnWidth(const QTreeWidget* list, int column) {
  const int margin = 2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1);
  int needed = qmx::toolkit::TextWidth(list, QString::fromUtf8(kColumnSamples[column]));
  needed = std::max(needed, qmx::toolkit::TextWidth(list->header(), QString::fromUtf8(kColumns[column].title)));
  return std::max(kColumns[column].width, needed + margin);
}

// A text as one line of the log file: every line break (CR LF, LF or CR)
// becomes one blank, so each record stays one line with its prefix.
std::string OneLine(const std::string& text) {
  std::string line;
  line.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      line += ' ';
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  return line;
}

// Where a category goes: the switch of its group, its icon and its lists.
struct Route {
  int logSwitch;
  int icon;
  int lists[2];  // -1: none
};

std::optional<Route> RouteOf(int category) {
  switch (category) {
    case qmx::kLogError:
      return Route{qmx::kSwitchError, COutputBar::kIconError, {COutputBar::kListAll, COutputBar::kListError}};
    case qmx::kLogGeneral:
      return Route{qmx::kSwitchGeneral, COutputBar::kIconInformation, {COutputBar::kListAll, COutputBar::kListGeneral}};
    case qmx::kLogComm:
      return Route{qmx::kSwitchComm, COutputBar::kIconInformation, {COutputBar::kListComm, -1}};
    case qmx::kLogCommError:
      return Route{qmx::kSwitchComm, COutputBar::kIconError, {COutputBar::kListComm, -1}};
    case qmx::kLogDeveloper:
      return Route{qmx::kSwitchDeveloper, COutputBar::kIconDeveloper, {COutputBar::kListDeveloper, -1}};
    default:
      return std::nullopt;
  }
}

std::tm LocalTime(system_clock::time_point moment) {
  const std::time_t t = system_clock::to_time_t(moment);
  std::tm tm{};
  localtime_r(&t, &tm);
  return tm;
}

// The names this window gives its log files.
bool IsLogFileName(const std::string& name) {
  static const std::regex pattern(R"(^\d{4}_\d{2}_\d{2}_\d{6}(_\d{3,4})?\.log$)");
  return std::regex_match(name, pattern);
}

// ---- row icons, drawn at 16 x 16 -----------------------------------------------
QPixmap NewPixmap() {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

// The round badge under the error and the information marks.
QPixmap Badge(const QColor& rim, const QColor& fill) {
  QPixmap pixmap = NewPixmap();
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(rim, 1));
  p.setBrush(fill);
  p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
  return pixmap;
}

QIcon ErrorIcon() {
  QPixmap pixmap = Badge(QColor(128, 0, 0), QColor(220, 30, 30));
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(5, 5), QPointF(11, 11));
  p.drawLine(QPointF(11, 5), QPointF(5, 11));
  return QIcon(pixmap);
}

QIcon InformationIcon() {
  QPixmap pixmap = Badge(QColor(0, 40, 120), QColor(40, 110, 220));
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(QRectF(7, 3, 2, 2));
  p.drawRect(QRectF(7, 6.5, 2, 6));
  return QIcon(pixmap);
}

QIcon DeveloperIcon() {
  // A gear: eight teeth around a wheel with a hole.
  QPixmap pixmap = NewPixmap();
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath gear;
  const QPointF centre(8, 8);
  for (int i = 0; i < 8; ++i) {
    const double angle = i * M_PI / 4;
    QPainterPath tooth;
    tooth.addRect(QRectF(-1.5, -7.5, 3, 4));
    QTransform turn;
    turn.translate(centre.x(), centre.y());
    turn.rotateRadians(angle);
    gear.addPath(turn.map(tooth));
  }
  gear.addEllipse(centre, 5, 5);
  gear.setFillRule(Qt::WindingFill);
  QPainterPath hole;
  hole.addEllipse(centre, 2, 2);
  p.setPen(QPen(QColor(40, 40, 40), 0.8));
  p.setBrush(QColor(120, 120, 120));
  p.drawPath(gear.simplified().subtracted(hole));
  return QIcon(pixmap);
}

std::optional<std::uint64_t> FreeBytesOf(const std::string& folder) {
  struct statvfs info {};
  if (::statvfs(folder.empty() ? "." : folder.c_str(), &info) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(info.f_bavail) * static_cast<std::uint64_t>(info.f_frsize);
}

std::optional<std::string> AskSaveFile(const std::string& folder) {
  QFileDialog dialog(nullptr, QString(), QString::fromStdString(folder), QStringLiteral("Text Files (*.txt)"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("txt"));
  dialog.setSizeGripEnabled(true);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front().toStdString();
}

}  // namespace

// ---- construction ------------------------------------------------------------------

COutputBar::COutputBar(QWidget* parent)
    : qmx::toolkit::DockWindow(parent), clock_([] { return system_clock::now(); }), discSpace_(FreeBytesOf),
      saveDialog_(AskSaveFile) {
  SetLogOptions(AppOptions());
}

COutputBar::~COutputBar() {
  // No thread may post to a window that is going away: once the target is
  // removed (under the log lock) no Post is running or can start. Records
  // still queued are freed with their events when the QObject goes.
  if (qmx::GetLogTarget() == &target_) qmx::SetLogTarget(nullptr);
}

void COutputBar::Target::Post(qmx::LogRecord* record) {
  qmx::toolkit::PostWindowMessage(bar_, qmx::toolkit::kLogRecordMessage, 0, reinterpret_cast<std::intptr_t>(record),
                                  [](std::intptr_t payload) { delete reinterpret_cast<qmx::LogRecord*>(payload); });
}

int COutputBar::FailCreate(int code, const char* partName) {
  // The window that would show a log line is what failed: box only.
  ShowResourceLackError(code, kLocCreate, partName, 1, 0);
  return -1;
}

int COutputBar::OnCreate() {
  if (DockWindow::OnCreate() == -1) return FailCreate(qmx::err::kCreateLogWindow, "framewnd");
  try {
    tabs_ = CreateTabCtrl();
  } catch (const std::bad_alloc&) {
    tabs_ = nullptr;
  }
  if (!tabs_) return FailCreate(qmx::err::kCreateLogTabs, "flattab-control");

  // Each tab's page is a bare holder of its list: a list costs its header,
  // model and font measuring, which the first frame needs for one tab only.
  for (int i = 0; i < kListCount; ++i) {
    pages_[i] = new QWidget(tabs_);
    auto* layout = new QVBoxLayout(pages_[i]);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    tabs_->insertTab(i, pages_[i], QString::fromUtf8(kTabTitles[i]));
  }
  if (!MakeList(kListAll)) return -1;

  try {
    icons_ = CreateIcons();
  } catch (const std::bad_alloc&) {
    icons_.clear();
  }
  bool iconsOk = icons_.size() >= 3;
  for (const QIcon& icon : icons_) iconsOk = iconsOk && !icon.isNull();
  if (!iconsOk) {
    icons_.clear();
    return FailCreate(qmx::err::kCreateLogImageList, "imageList");
  }

  tabs_->setCurrentIndex(0);
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
    if (index >= 0 && index < kListCount) MakeList(index);
  });
  SetChild(tabs_);
  created_ = true;
  return 0;
}

QTreeWidget* COutputBar::MakeList(int index) {
  static const struct {
    int code;
    const char* name;
  } kListParts[kListCount] = {
      {qmx::err::kCreateLogSheetAll, "sheetAll"},   {qmx::err::kCreateLogSheetError, "sheetError"},
      {qmx::err::kCreateLogSheetInfo, "sheetInfo"}, {qmx::err::kCreateLogSheetComm, "sheetComm"},
      {qmx::err::kCreateLogSheetDev, "sheetDev"}};
  if (lists_[index] || listFailed_[index] || !pages_[index]) return lists_[index];
  QTreeWidget* made = nullptr;
  try {
    made = CreateList(index);
  } catch (const std::bad_alloc&) {
    made = nullptr;
  }
  if (!made) {
    listFailed_[index] = true;
    pending_[index].clear();  // lines for a list that is not there are lost, as they always were
    FailCreate(kListParts[index].code, kListParts[index].name);
    return nullptr;
  }
  made->setIconSize(QSize(16, 16));
  pages_[index]->layout()->addWidget(made);
  lists_[index] = made;
  // Tab goes from the tabs to the lists in their order, whenever in the
  // program's run a list is made (a new widget comes last in the window's
  // Tab order).
  qmx::toolkit::MoveIntoTabOrder(tabs_->tabBar(), std::vector<QWidget*>(std::begin(lists_), std::end(lists_)));
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(pending_[index].size()));
  for (const Row& row : pending_[index]) items.push_back(NewItem(row));
  pending_[index].clear();
  made->addTopLevelItems(items);
  made->show();  // shown with its page; a page that is hidden keeps it hidden
  return made;
}

qmx::toolkit::FlatTabCtrl* COutputBar::CreateTabCtrl() {
  auto* tabs = new qmx::toolkit::FlatTabCtrl(this);
  tabs->setObjectName(QStringLiteral("OutputTabs%1").arg(kTabCtrlId));
  tabs->setAccessibleName(QStringLiteral("Log Message"));
  tabs->setTabPosition(QTabWidget::South);
  tabs->setDocumentMode(true);
  return tabs;
}

QTreeWidget* COutputBar::CreateList(int index) {
  auto* list = new QTreeWidget(pages_[index] ? pages_[index] : static_cast<QWidget*>(this));
  list->setObjectName(QStringLiteral("OutputList%1").arg(kListIds[index]));
  // Screen readers name each list by its tab: "Log Message: Error" and so on.
  list->setAccessibleName(QStringLiteral("Log Message: %1").arg(QString::fromUtf8(kTabTitles[index])));
  list->setRootIsDecorated(false);
  list->setItemsExpandable(false);
  list->setUniformRowHeights(true);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setAllColumnsShowFocus(true);
  auto* header = new qmx::toolkit::PlainHeaderView(Qt::Horizontal, list);
  header->setSectionsMovable(true);  // as a tree view's own header
  list->setHeader(header);
  list->setColumnCount(5);
  QStringList titles;
  for (const Column& column : kColumns) titles << QString::fromUtf8(column.title);
  list->setHeaderLabels(titles);
  // The message column takes the room the window has; a line still longer
  // than that shows whole as its tooltip.
  list->header()->setStretchLastSection(true);
  list->header()->setMinimumSectionSize(16);  // the icon column is narrower than the style's default
  list->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  list->setItemDelegate(new qmx::toolkit::ElidedToolTipDelegate(list));
  for (int c = 0; c < 5; ++c) list->setColumnWidth(c, ColumnWidth(list, c));
  list->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(list, &QWidget::customContextMenuRequested, this,
          [this, list](const QPoint& pos) { ShowPopupMenu(list->viewport()->mapToGlobal(pos)); });
  return list;
}

QList<QIcon> COutputBar::CreateIcons() { return {ErrorIcon(), InformationIcon(), DeveloperIcon()}; }

QTreeWidget* COutputBar::list(int index) {
  if (index < 0 || index >= kListCount) return nullptr;
  return created_ ? MakeList(index) : lists_[index];
}

// ---- options and seams -----------------------------------------------------------

void COutputBar::SetLogOptions(const AppOptions& options) {
  for (int i = 0; i < 4; ++i) {
    wndEnable_[i] = options.WndEnable[i];
    fileEnable_[i] = options.FileEnable[i];
  }
  maxWndDisplay_ = options.MaxWndDisplay;
  eraseOldLogFileDays_ = options.EraseOldLogFileDays;
  TrimLists();
}

void COutputBar::FollowLogOptions(const AppOptions* options) {
  followed_ = options;
  if (followed_) SetLogOptions(*followed_);
}

void COutputBar::SetClock(Clock clock) {
  clock_ = clock ? std::move(clock) : Clock([] { return system_clock::now(); });
}

void COutputBar::SetDiscSpaceQuery(DiscSpaceQuery query) { discSpace_ = query ? std::move(query) : FreeBytesOf; }

void COutputBar::SetSaveFileDialog(SaveFileDialog dialog) { saveDialog_ = dialog ? std::move(dialog) : AskSaveFile; }

std::string COutputBar::DateText(system_clock::time_point moment) {
  const std::tm tm = LocalTime(moment);
  return StrFormat("%04d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

std::string COutputBar::TimeText(system_clock::time_point moment) {
  const std::tm tm = LocalTime(moment);
  const std::string clock = StrFormat("%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(moment.time_since_epoch()).count() % 1000;
  if (ms < 0) ms += 1000;
  return StrFormat("%s.%03hu", clock.c_str(), static_cast<unsigned short>(ms));
}

std::string COutputBar::BaseNameAt(system_clock::time_point moment) const {
  const std::tm tm = LocalTime(moment);
  return (fs::path(appDir_) / "Log" /
          StrFormat("%04d_%02d_%02d_%02d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                    tm.tm_min, tm.tm_sec))
      .string();
}

void COutputBar::SetLogFolder(const std::string& dir) {
  appDir_ = dir;
  baseName_ = BaseNameAt(clock_());
  logFileName_ = baseName_ + ".log";
  partCounter_ = 0;
  std::error_code ec;
  fs::create_directories(fs::path(dir) / "Log", ec);  // an existing folder is fine
}

// ---- records -------------------------------------------------------------------------

bool COutputBar::event(QEvent* event) {
  if (event->type() == qmx::toolkit::EventTypeOf(qmx::toolkit::kLogRecordMessage)) {
    if (auto* message = dynamic_cast<qmx::toolkit::WindowMessageEvent*>(event)) {
      std::unique_ptr<qmx::LogRecord> record(reinterpret_cast<qmx::LogRecord*>(message->TakeLParam()));
      if (record) {
        try {
          AddLog(record->category, record->source, record->text);
        } catch (const std::exception&) {
          // A line that cannot be shown is lost; the window goes on.
        }
      }
    }
    return true;
  }
  return qmx::toolkit::DockWindow::event(event);
}

QTreeWidgetItem* COutputBar::NewItem(const Row& row) const {
  auto* item = new QTreeWidgetItem(row.texts);
  if (row.icon >= 0 && row.icon < icons_.size()) item->setIcon(0, icons_[row.icon]);
  return item;
}

void COutputBar::AddRow(int list, int icon, const std::string& date, const std::string& time,
                        const std::string& source, const std::string& message) {
  if (listFailed_[list] || !pages_[list]) return;
  Row row{icon,
          {QString::number(icon), QString::fromStdString(date), QString::fromStdString(time),
           QString::fromStdString(source), QString::fromStdString(message)}};
  if (QTreeWidget* widget = lists_[list]) widget->insertTopLevelItem(0, NewItem(row));
  else pending_[list].push_front(std::move(row));
}

void COutputBar::AddWindowRows(int category, const std::string& date, const std::string& time,
                               const std::string& source, const std::string& message) {
  const std::optional<Route> route = RouteOf(category);
  if (!route || wndEnable_[route->logSwitch] == 0) return;
  for (int list : route->lists) {
    if (list >= 0) AddRow(list, route->icon, date, time, source, message);
  }
}

void COutputBar::TrimLists() {
  const int keep = maxWndDisplay_ < 0 ? 0 : maxWndDisplay_;
  for (QTreeWidget* widget : lists_) {
    if (!widget) continue;
    while (widget->topLevelItemCount() > keep) delete widget->takeTopLevelItem(widget->topLevelItemCount() - 1);
  }
  for (std::deque<Row>& rows : pending_) {
    if (rows.size() > static_cast<size_t>(keep)) rows.resize(static_cast<size_t>(keep));
  }
}

int COutputBar::AddLog(int category, const std::string& source, const std::string& message) {
  if (followed_) SetLogOptions(*followed_);
  const system_clock::time_point now = clock_();
  const std::string date = DateText(now);
  const std::string time = TimeText(now);

  AddWindowRows(category, date, time, source, message);
  if (const std::optional<Route> route = RouteOf(category); route && fileEnable_[route->logSwitch] != 0) {
    WriteLogFile(category, date, time, source, message, 1);
  }
  TrimLists();
  return 1;
}

// ---- log files ---------------------------------------------------------------------

void COutputBar::ReportFileFailure(const std::string& what, int error, const std::string& date,
                                   const std::string& time) {
  // Said once until the file can be written again; shown in the window only,
  // as the file is what fails.
  if (fileFailureReported_) return;
  fileFailureReported_ = true;
  AddWindowRows(qmx::kLogError, date, time, qmx::kLogSource,
                qmx::ErrorFuncLine(kLogFileErrorCode,
                                   StrFormat("Cannot %s the log file. Cause: %s. File: %s.", what.c_str(),
                                             std::strerror(error), logFileName_.c_str()),
                                   "COutputBar::WriteLogFile"));
}

int COutputBar::WriteLogFile(int category, const std::string& date, const std::string& time,
                             const std::string& source, const std::string& message, int openIfClosed) {
  if (!fileLogging_) return 0;
  // Each line opens and closes the file, so nothing stays open between lines.
  if (openIfClosed == 0 || logFileName_.empty()) return 0;
  std::FILE* file = std::fopen(logFileName_.c_str(), "ab");
  if (!file) {
    ReportFileFailure("open", errno, date, time);
    return 0;
  }
  const std::string line =
      StrFormat("%d, %s, %s, %s, %s\r\n", category, date.c_str(), time.c_str(), OneLine(source).c_str(),
                OneLine(message).c_str());
  const bool written = std::fwrite(line.data(), 1, line.size(), file) == line.size() && std::fflush(file) == 0;
  const int writeError = errno;
  const long long position = ::ftello(file);
  if (!written) {
    std::fclose(file);
    ReportFileFailure("write", writeError, date, time);
    return 0;
  }
  fileFailureReported_ = false;

  // The limit in bytes, in 64 bits: any MaxLogFileSize fits.
  const long long limit = static_cast<long long>(maxLogFileSize_) * 1000000LL;
  if (position > limit) {
    if (!IsDiscSpaceEnough(1000)) {
      fileLogging_ = false;
      const std::string last =
          StrFormat("%d, %s, %s, %s. Reserve space of the disc lacks.\r\n", 1, date.c_str(), time.c_str(),
                    source.c_str());
      std::fwrite(last.data(), 1, last.size(), file);
      std::fclose(file);
      return 0;
    }
    ++partCounter_;
    if (partCounter_ > 1000) {
      baseName_ = BaseNameAt(clock_());
      logFileName_ = baseName_ + ".log";
    } else {
      logFileName_ = StrFormat("%s_%03d.log", baseName_.c_str(), partCounter_);
    }
  }
  std::fclose(file);
  return 1;
}

int COutputBar::IsDiscSpaceEnough(int megabytes) {
  const std::optional<std::uint64_t> free = discSpace_(appDir_);
  if (!free) return 1;
  return static_cast<long long>(*free / 1048576ULL) >= static_cast<long long>(megabytes) ? 1 : 0;
}

void COutputBar::EraseOldLogFiles() {
  if (appDir_.empty()) return;
  if (followed_) eraseOldLogFileDays_ = followed_->EraseOldLogFileDays;
  const fs::path folder = fs::path(appDir_) / "Log";

  // Cutoff: today's 00:00 local time minus N days.
  std::tm midnight = LocalTime(clock_());
  midnight.tm_hour = 0;
  midnight.tm_min = 0;
  midnight.tm_sec = 0;
  midnight.tm_isdst = -1;
  const long long cutoff =
      static_cast<long long>(std::mktime(&midnight)) - static_cast<long long>(eraseOldLogFileDays_) * 86400LL;

  const fs::path current = fs::path(logFileName_).lexically_normal();
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) return;
  for (const fs::directory_entry& entry : it) {
    std::error_code entryError;
    if (!entry.is_regular_file(entryError) || entry.is_symlink(entryError)) continue;
    const fs::path path = entry.path();
    if (!IsLogFileName(path.filename().string())) continue;
    if (!logFileName_.empty() && path.lexically_normal() == current) continue;  // the running log stays
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) continue;
    const long long days = (cutoff - static_cast<long long>(info.st_mtim.tv_sec)) / 86400LL;
    if (days >= 0) {
      std::error_code removeError;
      fs::remove(path, removeError);  // a file that cannot be deleted is left; the walk goes on
    }
  }
}

// ---- popup menu ---------------------------------------------------------------------

QTreeWidget* COutputBar::SelectedList() const {
  if (!tabs_) return nullptr;
  const int index = tabs_->currentIndex();
  return index >= 0 && index < kListCount ? lists_[index] : nullptr;
}

void COutputBar::ShowPopupMenu(const QPoint& globalPos) {
  QMenu menu(this);
  menu.setTitle(QStringLiteral("Output"));
  QAction* save = menu.addAction(QStringLiteral("Save Log"));
  save->setData(kCmdSaveLog);
  QAction* clear = menu.addAction(QStringLiteral("Clear Log"));
  clear->setData(kCmdClearLog);
  QAction* chosen = menu.exec(globalPos);
  if (chosen == save) OnSaveLog();
  else if (chosen == clear) OnClearLog();
}

void COutputBar::OnSaveLog() {
  QTreeWidget* widget = SelectedList();
  if (!widget || widget->topLevelItemCount() == 0) {
    qmx::toolkit::ShowMessageBox(this, "Log data is empty");
    return;
  }
  std::string text;
  for (int row = 0; row < widget->topLevelItemCount(); ++row) {
    const QTreeWidgetItem* item = widget->topLevelItem(row);
    for (int c = 0; c < 5; ++c) {
      if (c > 0) text += ", ";
      text += item->text(c).toStdString();
    }
    text += "\r\n";
  }
  // Where the program's other save dialogs open, not the process's working
  // folder (for a start from a terminal, wherever that terminal stood).
  const std::optional<std::string> target = saveDialog_(qmx::Paths().projectsDir);
  if (!target) return;
  std::ofstream out(*target, std::ios::binary | std::ios::trunc);
  if (!out) {
    qmx::toolkit::ShowMessageBox(this, "File save failed.");
    return;
  }
  out << text;
  out.close();
  if (!out) qmx::toolkit::ShowMessageBox(this, "File save failed.");
}

void COutputBar::OnClearLog() {
  QTreeWidget* widget = SelectedList();
  if (!widget || widget->topLevelItemCount() == 0) {
    qmx::toolkit::ShowMessageBox(this, "Log data is empty");
    return;
  }
  if (qmx::toolkit::ShowMessageBox(this, "Delete logs of the selected tab?", qmx::kLogSource,
                                   qmx::toolkit::kMbIconWarning | qmx::toolkit::kMbYesNo) == qmx::toolkit::kIdYes) {
    widget->clear();
  }
}
