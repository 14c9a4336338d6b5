// The "Log Message" window with an injected clock: routing of categories to
// tabs, the row limit, the log files and their roll-over, the erase rule, and
// records posted from other threads.
#include "app/commands/CommandIds.h"
#include "app/frame/OutputBar.h"
#include "app/model/ProgramPaths.h"
#include "platform/toolkit/message_box.h"
#include "tests/model_settings/log_capture.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <QTreeWidget>

#include <sys/stat.h>
#include <sys/time.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;
using std::chrono::system_clock;
using qmx::test::LogCapture;
using qmx::test::ReadFile;
using qmx::test::TempDir;
using qmx::test::WriteFile;

namespace {

// The tests run with TZ=UTC, so local time is UTC: set before main, ahead of
// anything that reads the clock.
[[maybe_unused]] const bool kUtc = [] {
  setenv("TZ", "UTC", 1);
  tzset();
  return true;
}();

system_clock::time_point At(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  return system_clock::from_time_t(timegm(&tm)) + std::chrono::milliseconds(ms);
}

void SetMTime(const fs::path& path, system_clock::time_point moment) {
  const std::time_t t = system_clock::to_time_t(moment);
  timeval times[2] = {{t, 0}, {t, 0}};
  ASSERT_EQ(::utimes(path.c_str(), times), 0) << path;
}

// "icon|date|time|source|message" of each row, top first.
std::vector<std::string> Rows(const QTreeWidget* list) {
  std::vector<std::string> out;
  if (!list) return out;
  for (int r = 0; r < list->topLevelItemCount(); ++r) {
    std::string row;
    for (int c = 0; c < 5; ++c) {
      if (c) row += "|";
      row += list->topLevelItem(r)->text(c).toStdString();
    }
    out.push_back(row);
  }
  return out;
}

std::vector<std::string> Messages(const QTreeWidget* list) {
  std::vector<std::string> out;
  if (!list) return out;
  for (int r = 0; r < list->topLevelItemCount(); ++r) out.push_back(list->topLevelItem(r)->text(4).toStdString());
  return out;
}

// Answers the toolkit's boxes and records them.
struct BoxScript {
  std::vector<qmx::toolkit::MessageBoxRequest> seen;
  int answer = qmx::toolkit::kIdOk;
  BoxScript() {
    qmx::toolkit::SetMessageBoxScript([this](const qmx::toolkit::MessageBoxRequest& r) {
      seen.push_back(r);
      return answer;
    });
  }
  ~BoxScript() { qmx::toolkit::SetMessageBoxScript({}); }
};

class OutputBarTest : public ::testing::Test {
protected:
  void SetUp() override {
    bar = std::make_unique<COutputBar>();
    ASSERT_TRUE(bar->Create(nullptr, qmx::commands::kIdViewLogBar, "Log Message", 150));
    bar->SetClock([this] { return now; });
    bar->SetDiscSpaceQuery([](const std::string&) { return std::optional<std::uint64_t>(1ULL << 40); });
    bar->SetLogFolder(dir.path().string());
    base = (dir / "Log" / "2024_03_05_102030").string();
  }

  void Apply() { bar->SetLogOptions(options); }
  void AllSwitches(int value) {
    for (int i = 0; i < 4; ++i) options.WndEnable[i] = options.FileEnable[i] = value;
    Apply();
  }
  QTreeWidget* list(int index) const { return bar->list(index); }
  std::string Line(int category, const std::string& message) const {
    return std::to_string(category) + ", 2024-03-05, 10:20:30.045, Src, " + message + "\r\n";
  }

  TempDir dir{"outputbar"};
  system_clock::time_point now = At(2024, 3, 5, 10, 20, 30, 45);
  std::unique_ptr<COutputBar> bar;
  AppOptions options;
  std::string base;
};

}  // namespace

TEST_F(OutputBarTest, CreatesFiveTabsWithTheirColumns) {
  EXPECT_EQ(bar->windowTitle(), "Log Message");
  ASSERT_NE(bar->tabCtrl(), nullptr);
  ASSERT_EQ(bar->tabCtrl()->count(), 5);
  const char* titles[] = {"All", "Error", "General", "Communication", "Developer"};
  const char* columns[] = {"!", "Date", "Time", "From", "Message"};
  const int widths[] = {20, 80, 90, 150, 660};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(bar->tabCtrl()->tabText(i).toStdString(), titles[i]);
    EXPECT_EQ(list(i)->parentWidget(), bar->tabCtrl()->GetItemWindow(i));
    ASSERT_EQ(list(i)->columnCount(), 5);
    for (int c = 0; c < 5; ++c) {
      EXPECT_EQ(list(i)->headerItem()->text(c).toStdString(), columns[c]);
      EXPECT_EQ(list(i)->columnWidth(c), widths[c]);
    }
  }
  EXPECT_EQ(bar->tabCtrl()->currentIndex(), 0);
  EXPECT_EQ(bar->logFileName(), base + ".log");
  EXPECT_TRUE(fs::is_directory(dir / "Log"));
}

TEST_F(OutputBarTest, CategoriesGoToTheirTabsWithTheirIcons) {
  AllSwitches(1);
  const struct {
    int category;
    std::vector<int> lists;
    const char* icon;
  } cases[] = {
      {0, {COutputBar::kListAll, COutputBar::kListError}, "0"},
      {1, {COutputBar::kListAll, COutputBar::kListGeneral}, "1"},
      {2, {COutputBar::kListComm}, "1"},
      {3, {COutputBar::kListComm}, "0"},
      {4, {COutputBar::kListDeveloper}, "2"},
      {5, {}, ""},
      {-1, {}, ""},
  };
  for (const auto& c : cases) {
    for (int i = 0; i < 5; ++i) list(i)->clear();
    EXPECT_EQ(bar->AddLog(c.category, "Src", "text"), 1);
    for (int i = 0; i < 5; ++i) {
      const bool expected = std::find(c.lists.begin(), c.lists.end(), i) != c.lists.end();
      const auto rows = Rows(list(i));
      ASSERT_EQ(rows.size(), expected ? 1u : 0u) << "category " << c.category << " list " << i;
      if (expected) {
        EXPECT_EQ(rows[0], std::string(c.icon) + "|2024-03-05|10:20:30.045|Src|text");
        EXPECT_FALSE(list(i)->topLevelItem(0)->icon(0).isNull());
      }
    }
  }
  // Category 5 reached no file either: the file holds the lines of 0 to 4.
  EXPECT_EQ(ReadFile(base + ".log"),
            Line(0, "text") + Line(1, "text") + Line(2, "text") + Line(3, "text") + Line(4, "text"));
}

TEST_F(OutputBarTest, WindowAndFileSwitchesActPerGroup) {
  // Switch order: General, Error, Communication, Developer.
  const struct {
    int logSwitch;
    std::vector<int> categories;
  } groups[] = {{0, {1}}, {1, {0}}, {2, {2, 3}}, {3, {4}}};
  for (const auto& g : groups) {
    for (int wnd = 0; wnd < 2; ++wnd) {
      for (int i = 0; i < 4; ++i) options.WndEnable[i] = options.FileEnable[i] = 0;
      options.WndEnable[g.logSwitch] = wnd;
      options.FileEnable[g.logSwitch] = 1 - wnd;
      Apply();
      for (int i = 0; i < 5; ++i) list(i)->clear();
      fs::remove(base + ".log");
      std::string expectedFile;
      for (int category : g.categories) {
        bar->AddLog(category, "Src", "m");
        if (!wnd) expectedFile += Line(category, "m");
      }
      int rows = 0;
      for (int i = 0; i < 5; ++i) rows += list(i)->topLevelItemCount();
      EXPECT_EQ(rows > 0, wnd == 1) << "switch " << g.logSwitch;
      EXPECT_EQ(fs::exists(base + ".log") ? ReadFile(base + ".log") : "", expectedFile) << "switch " << g.logSwitch;
    }
  }
}

TEST_F(OutputBarTest, ListsKeepTheNewestRowsUpToTheLimit) {
  options.MaxWndDisplay = 3;
  Apply();
  for (int i = 1; i <= 4; ++i) bar->AddLog(1, "Src", "g" + std::to_string(i));
  const std::vector<std::string> newest = {"g4", "g3", "g2"};
  EXPECT_EQ(Messages(list(COutputBar::kListAll)), newest);
  EXPECT_EQ(Messages(list(COutputBar::kListGeneral)), newest);
  bar->AddLog(0, "Src", "e1");
  EXPECT_EQ(Messages(list(COutputBar::kListAll)), (std::vector<std::string>{"e1", "g4", "g3"}));
  EXPECT_EQ(Messages(list(COutputBar::kListGeneral)), newest);

  // A lower limit applies at once.
  options.MaxWndDisplay = 1;
  Apply();
  EXPECT_EQ(Messages(list(COutputBar::kListAll)), (std::vector<std::string>{"e1"}));
  EXPECT_EQ(Messages(list(COutputBar::kListGeneral)), (std::vector<std::string>{"g4"}));
  options.MaxWndDisplay = 0;
  Apply();
  bar->AddLog(1, "Src", "g5");
  EXPECT_EQ(list(COutputBar::kListAll)->topLevelItemCount(), 0);
}

TEST_F(OutputBarTest, LinesOfEveryThreadArriveInOrderAndAreFreed) {
  qmx::SetLogTarget(bar->logTarget());
  constexpr int kThreads = 4;
  constexpr int kLines = 50;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kLines; ++i) {
        PostLog(1, "T" + std::to_string(t), std::to_string(i));
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int spin = 0; spin < 100 && list(COutputBar::kListGeneral)->topLevelItemCount() < kThreads * kLines; ++spin) {
    QCoreApplication::processEvents();
  }
  QTreeWidget* general = list(COutputBar::kListGeneral);
  ASSERT_EQ(general->topLevelItemCount(), kThreads * kLines);
  // Newest on top: walking up from the bottom, each thread's lines count up.
  std::vector<int> next(kThreads, 0);
  for (int r = general->topLevelItemCount() - 1; r >= 0; --r) {
    const int t = general->topLevelItem(r)->text(3).mid(1).toInt();
    EXPECT_EQ(general->topLevelItem(r)->text(4).toInt(), next[t]++);
  }
  qmx::SetLogTarget(nullptr);
}

TEST_F(OutputBarTest, RecordsStillQueuedWhenTheWindowGoesAreFreed) {
  qmx::SetLogTarget(bar->logTarget());
  for (int i = 0; i < 20; ++i) PostLog(1, "Src", "queued " + std::to_string(i));
  bar.reset();  // the leak checker sees any record not freed
  EXPECT_EQ(qmx::GetLogTarget(), nullptr);
  PostLog(1, "Src", "after");  // no window: dropped
  QCoreApplication::processEvents();
}

TEST_F(OutputBarTest, LogFileLineFormat) {
  bar->AddLog(1, "Src", "Hello, world");
  now += std::chrono::milliseconds(1001);
  bar->AddLog(0, "Other", "Bad");
  EXPECT_EQ(ReadFile(base + ".log"),
            Line(1, "Hello, world") + "0, 2024-03-05, 10:20:31.046, Other, Bad\r\n");
  EXPECT_EQ(bar->partCounter(), 0);
}

TEST_F(OutputBarTest, ARecordWithLineBreaksStaysOneLineOfTheFile) {
  // The window's own messages carry "\n" (box texts logged as they are).
  bar->AddLog(0, "Src", "Restart is failed.\nSee below log in detail.");
  bar->AddLog(1, "Src", "a\r\nb\rc\n");
  EXPECT_EQ(ReadFile(base + ".log"),
            Line(0, "Restart is failed. See below log in detail.") + Line(1, "a b c "));
}

TEST_F(OutputBarTest, LineThatPassesTheLimitEndsItsFile) {
  bar->SetMaxLogFileSize(0);
  for (int i = 1; i <= 3; ++i) bar->AddLog(1, "Src", "line" + std::to_string(i));
  EXPECT_EQ(ReadFile(base + ".log"), Line(1, "line1"));
  EXPECT_EQ(ReadFile(base + "_001.log"), Line(1, "line2"));
  EXPECT_EQ(ReadFile(base + "_002.log"), Line(1, "line3"));
  EXPECT_EQ(bar->logFileName(), base + "_003.log");
  EXPECT_FALSE(fs::exists(base + "_003.log"));
}

TEST_F(OutputBarTest, FileReachingExactlyTheLimitDoesNotRollOver) {
  bar->SetMaxLogFileSize(1);
  const std::string head = Line(1, "");
  const std::string message(1000000 - head.size(), 'x');
  bar->AddLog(1, "Src", message);
  EXPECT_EQ(fs::file_size(base + ".log"), 1000000u);
  EXPECT_EQ(bar->partCounter(), 0);
  bar->AddLog(1, "Src", "over");
  EXPECT_EQ(bar->partCounter(), 1);
  EXPECT_EQ(bar->logFileName(), base + "_001.log");
  EXPECT_EQ(fs::file_size(base + ".log"), 1000000u + Line(1, "over").size());
}

TEST_F(OutputBarTest, LargeSizeLimitDoesNotOverflow) {
  for (int megabytes : {2148, 5000, 2147483647}) {
    bar->SetMaxLogFileSize(megabytes);
    bar->AddLog(1, "Src", "a");
    bar->AddLog(1, "Src", "b");
    EXPECT_EQ(bar->partCounter(), 0) << megabytes;
    EXPECT_EQ(bar->logFileName(), base + ".log") << megabytes;
  }
}

TEST_F(OutputBarTest, AfterPart1000EachRollOverStartsANameFromTheClock) {
  bar->SetMaxLogFileSize(0);
  for (int i = 1; i <= 1000; ++i) bar->AddLog(1, "Src", std::to_string(i));
  EXPECT_EQ(ReadFile(base + "_999.log"), Line(1, "1000"));
  EXPECT_EQ(bar->logFileName(), base + "_1000.log");

  now = At(2024, 3, 6, 8, 0, 1);
  bar->AddLog(1, "Src", "1001");  // the last line of part 1000
  EXPECT_EQ(ReadFile(base + "_1000.log"), "1, 2024-03-06, 08:00:01.000, Src, 1001\r\n");
  const std::string second = (dir / "Log" / "2024_03_06_080001").string();
  EXPECT_EQ(bar->logFileName(), second + ".log");

  now = At(2024, 3, 6, 8, 0, 2);
  bar->AddLog(1, "Src", "1002");
  EXPECT_EQ(ReadFile(second + ".log"), "1, 2024-03-06, 08:00:02.000, Src, 1002\r\n");
  EXPECT_EQ(bar->logFileName(), (dir / "Log" / "2024_03_06_080002.log").string());
  EXPECT_EQ(bar->partCounter(), 1002);
}

TEST_F(OutputBarTest, ShortDiscSpaceEndsFileLoggingWithAFinalLine) {
  const struct {
    std::optional<std::uint64_t> free;
    bool enough;
  } cases[] = {{std::nullopt, true},
               {1000ULL * 1048576ULL, true},
               {1000ULL * 1048576ULL - 1, false},
               {0, false}};
  for (const auto& c : cases) {
    TempDir folder("outputbar");
    COutputBar fresh;
    ASSERT_TRUE(fresh.Create(nullptr, qmx::commands::kIdViewLogBar, "Log Message", 150));
    fresh.SetClock([this] { return now; });
    fresh.SetDiscSpaceQuery([&c](const std::string&) { return c.free; });
    fresh.SetLogFolder(folder.path().string());
    fresh.SetMaxLogFileSize(0);
    EXPECT_EQ(fresh.IsDiscSpaceEnough(1000), c.enough ? 1 : 0);
    const std::string first = fresh.logFileName();
    fresh.AddLog(1, "Src", "one");
    fresh.AddLog(1, "Src", "two");
    if (c.enough) {
      EXPECT_TRUE(fresh.fileLoggingEnabled());
      EXPECT_EQ(ReadFile(first), Line(1, "one"));
    } else {
      EXPECT_FALSE(fresh.fileLoggingEnabled());
      EXPECT_EQ(ReadFile(first), Line(1, "one") + "1, 2024-03-05, 10:20:30.045, Src. Reserve space of the disc lacks.\r\n");
      EXPECT_EQ(std::distance(fs::directory_iterator(folder / "Log"), fs::directory_iterator()), 1);
      // The window goes on.
      EXPECT_EQ(fresh.list(COutputBar::kListGeneral)->topLevelItemCount(), 2);
    }
  }
}

TEST_F(OutputBarTest, LogFileThatCannotBeOpenedIsReportedOnceInTheWindow) {
  fs::remove_all(dir / "Log");
  WriteFile(dir / "Log", "a file where the folder should be");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(bar->AddLog(1, "Src", "g" + std::to_string(i)), 1);
  const auto errors = Rows(list(COutputBar::kListError));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "0|2024-03-05|10:20:30.045|QMX-410 Tools|[Error Code: -1004] Cannot open the log file. Cause: "
                       "Not a directory. File: " +
                           base + ".log. Func: COutputBar::WriteLogFile.");
  EXPECT_EQ(list(COutputBar::kListGeneral)->topLevelItemCount(), 3);
  EXPECT_EQ(list(COutputBar::kListAll)->topLevelItemCount(), 4);

  // Once the file can be written again, a later failure is reported again.
  fs::remove(dir / "Log");
  fs::create_directory(dir / "Log");
  bar->AddLog(1, "Src", "written");
  EXPECT_EQ(ReadFile(base + ".log"), Line(1, "written"));
  fs::remove_all(dir / "Log");
  WriteFile(dir / "Log", "x");
  bar->AddLog(1, "Src", "lost");
  bar->AddLog(1, "Src", "lost");
  EXPECT_EQ(list(COutputBar::kListError)->topLevelItemCount(), 2);
}

TEST_F(OutputBarTest, EraseByAgeOnlyLogFilesAndNeverTheRunningOne) {
  now = At(2024, 3, 5, 10, 0, 0);
  const fs::path log = dir / "Log";
  const struct {
    const char* name;
    system_clock::time_point written;
    int keptUpToDays;  // kept when EraseOldLogFileDays is at least this; -1: always kept
  } files[] = {
      {"2024_03_05_000001.log", At(2024, 3, 5, 0, 0, 1), 1},      // today
      {"2024_03_04_235959.log", At(2024, 3, 4, 23, 59, 59), 2},   // yesterday, last second
      {"2024_03_04_000000_001.log", At(2024, 3, 4, 0, 0, 0), 2},  // yesterday, first second
      {"2024_02_21_000000.log", At(2024, 2, 21, 0, 0, 0), 14},
      {"2024_02_20_235959_1000.log", At(2024, 2, 20, 23, 59, 59), 15},
      {"notes.txt", At(2020, 1, 1, 0, 0, 0), -1},
      {"2020_01_01_000000.txt", At(2020, 1, 1, 0, 0, 0), -1},
      {"x.log", At(2020, 1, 1, 0, 0, 0), -1},
      {"2020_01_01_000000_01.log", At(2020, 1, 1, 0, 0, 0), -1},
  };
  for (int days : {15, 14, 2, 1, 0, -5}) {
    for (const auto& f : files) {
      WriteFile(log / f.name, "x");
      SetMTime(log / f.name, f.written);
    }
    fs::create_directories(log / "2020_01_01_000000.log");  // a folder, not a file
    // The running log, written long ago as far as its time stamp goes.
    bar->AddLog(1, "Src", "running");
    SetMTime(bar->logFileName(), At(2020, 1, 1, 0, 0, 0));

    options.EraseOldLogFileDays = days;
    Apply();
    bar->EraseOldLogFiles();
    for (const auto& f : files) {
      const bool kept = f.keptUpToDays < 0 || days >= f.keptUpToDays;
      EXPECT_EQ(fs::exists(log / f.name), kept) << f.name << " with " << days << " days";
    }
    EXPECT_TRUE(fs::is_directory(log / "2020_01_01_000000.log"));
    EXPECT_TRUE(fs::exists(bar->logFileName())) << days;
  }
}

// ---- creation failures --------------------------------------------------------------

namespace {

class FailingBar : public COutputBar {
public:
  explicit FailingBar(int failAt) : failAt_(failAt) {}

protected:
  // 0 tab control, 1-5 the lists, 6 the icons.
  qmx::toolkit::FlatTabCtrl* CreateTabCtrl() override {
    return failAt_ == 0 ? nullptr : COutputBar::CreateTabCtrl();
  }
  QTreeWidget* CreateList(int index) override {
    return failAt_ == index + 1 ? nullptr : COutputBar::CreateList(index);
  }
  QList<QIcon> CreateIcons() override {
    if (failAt_ == 6) return {QIcon(), QIcon(), QIcon()};
    return COutputBar::CreateIcons();
  }

private:
  int failAt_;
};

}  // namespace

TEST(OutputBarCreateTest, EachFailureIsReportedByBoxOnly) {
  // The tab control, the shown list and the icons are made with the window;
  // a hidden tab's list when that tab is first shown.
  const struct {
    int failAt;
    int code;
    const char* part;
    bool atCreate;
  } cases[] = {{0, -5111, "flattab-control", true}, {1, -5112, "sheetAll", true},
               {2, -5113, "sheetError", false},     {3, -5114, "sheetInfo", false},
               {4, -5115, "sheetComm", false},      {5, -5116, "sheetDev", false},
               {6, -5117, "imageList", true}};
  for (const auto& c : cases) {
    LogCapture log;
    FailingBar bar(c.failAt);
    EXPECT_EQ(bar.Create(nullptr, qmx::commands::kIdViewLogBar, "Log Message", 150), !c.atCreate) << c.part;
    if (!c.atCreate) {
      EXPECT_TRUE(LogCapture::Boxes().empty()) << c.part;
      bar.tabCtrl()->setCurrentIndex(c.failAt - 1);
      bar.tabCtrl()->setCurrentIndex(0);
      bar.tabCtrl()->setCurrentIndex(c.failAt - 1);  // said once
    }
    ASSERT_EQ(LogCapture::Boxes().size(), 1u) << c.part;
    EXPECT_EQ(LogCapture::Boxes()[0].first, std::string("Failed to create ") + c.part +
                                                " because of resource lack. Error Code: " + std::to_string(c.code));
    EXPECT_EQ(LogCapture::Boxes()[0].second, qmx::kBoxIconStop);
    EXPECT_TRUE(log.records().empty()) << c.part;
    // The window stays and later lines reach the lists that exist.
    bar.AddLog(0, "Src", "after");
    bar.AddLog(1, "Src", "after");
    for (int i = 0; i < COutputBar::kListCount; ++i) {
      const bool exists = c.atCreate ? c.failAt == 6 && i == 0 : i != c.failAt - 1;
      EXPECT_EQ(bar.list(i) != nullptr, exists) << c.part << " list " << i;
    }
    if (bar.list(COutputBar::kListAll)) {
      EXPECT_EQ(bar.list(COutputBar::kListAll)->topLevelItemCount(), 2) << c.part;
    }
  }
}

// ---- lists made when first shown ----------------------------------------------------

TEST_F(OutputBarTest, AHiddenTabsListIsMadeWhenFirstShownWithEveryLineItMissed) {
  // Lines for every tab, under a row limit that drops the oldest; a bar whose
  // lists all exist beforehand shows what the hidden tab must show.
  AllSwitches(1);
  options.MaxWndDisplay = 3;
  Apply();
  COutputBar eager;
  ASSERT_TRUE(eager.Create(nullptr, qmx::commands::kIdViewLogBar, "Log Message", 150));
  eager.SetClock([this] { return now; });
  eager.SetLogOptions(options);
  for (int i = 0; i < COutputBar::kListCount; ++i) ASSERT_NE(eager.list(i), nullptr);

  EXPECT_EQ(bar->findChildren<QTreeWidget*>().size(), 1);  // the shown tab's only
  const struct {
    int category;
    const char* message;
  } lines[] = {{1, "g1"}, {0, "e1"}, {2, "c1"}, {4, "d1"}, {3, "c2"}, {1, "g2"},
               {0, "e2"}, {2, "c3"}, {1, "g3"}, {4, "d2"}, {1, "g4"}, {2, "c4"}};
  std::string file;
  for (const auto& line : lines) {
    bar->AddLog(line.category, "Src", line.message);
    eager.AddLog(line.category, "Src", line.message);
    file += Line(line.category, line.message);
  }
  EXPECT_EQ(ReadFile(base + ".log"), file);  // written at once, hidden tab or not
  EXPECT_EQ(bar->findChildren<QTreeWidget*>().size(), 1);

  const std::vector<std::string> newest[COutputBar::kListCount] = {
      {"g4", "g3", "e2"}, {"e2", "e1"}, {"g4", "g3", "g2"}, {"c4", "c3", "c2"}, {"d2", "d1"}};
  for (int i = COutputBar::kListError; i < COutputBar::kListCount; ++i) {
    bar->tabCtrl()->setCurrentIndex(i);
    EXPECT_EQ(bar->findChildren<QTreeWidget*>().size(), i + 1) << i;
    QTreeWidget* made = bar->findChild<QTreeWidget*>(eager.list(i)->objectName());
    ASSERT_NE(made, nullptr) << i;
    EXPECT_EQ(made->parentWidget(), bar->tabCtrl()->currentWidget()) << i;
    EXPECT_EQ(Messages(made), newest[i]) << i;
    EXPECT_EQ(Rows(made), Rows(eager.list(i))) << i;
    for (int r = 0; r < made->topLevelItemCount(); ++r) EXPECT_FALSE(made->topLevelItem(r)->icon(0).isNull());
  }
  EXPECT_EQ(Rows(list(COutputBar::kListAll)), Rows(eager.list(COutputBar::kListAll)));
}

TEST_F(OutputBarTest, ALowerLimitAlsoCutsTheLinesThatWait) {
  for (int i = 1; i <= 4; ++i) bar->AddLog(1, "Src", "g" + std::to_string(i));
  options.MaxWndDisplay = 2;
  Apply();
  bar->tabCtrl()->setCurrentIndex(COutputBar::kListGeneral);
  EXPECT_EQ(Messages(list(COutputBar::kListGeneral)), (std::vector<std::string>{"g4", "g3"}));
  bar->AddLog(1, "Src", "g5");  // now straight into the list
  EXPECT_EQ(Messages(list(COutputBar::kListGeneral)), (std::vector<std::string>{"g5", "g4"}));
}

TEST(OutputBarFocusTest, AListMadeLaterTakesItsPlaceInTheTabOrder) {
  // The window's widgets made after the bar, as the frame's others are, come
  // after it in the Tab order; a list made later must still come within the
  // bar, after its page, not after them.
  QWidget window;
  auto* bar = new COutputBar(&window);
  ASSERT_TRUE(bar->Create(nullptr, qmx::commands::kIdViewLogBar, "Log Message", 150));
  auto* later = new QLineEdit(&window);
  for (const int i : {3, 1, 4, 2}) bar->tabCtrl()->setCurrentIndex(i);

  // The widgets Tab goes to, in its order.
  std::vector<QWidget*> chain;
  for (QWidget* w = window.nextInFocusChain(); w != &window; w = w->nextInFocusChain())
    if (w->focusPolicy() & Qt::TabFocus) chain.push_back(w);
  auto at = [&](const QWidget* w) { return std::find(chain.begin(), chain.end(), w) - chain.begin(); };
  // The bar's widgets lie together, in the order of the tabs.
  std::vector<long> ofBar;
  for (QWidget* w : chain)
    if (bar->isAncestorOf(w)) ofBar.push_back(at(w));
  std::sort(ofBar.begin(), ofBar.end());
  EXPECT_EQ(ofBar.back() - ofBar.front() + 1, static_cast<long>(ofBar.size()));
  EXPECT_GT(at(later), ofBar.back());
  // The tabs, then the lists in the order of their tabs.
  EXPECT_GT(at(bar->list(COutputBar::kListAll)), at(bar->tabCtrl()->tabBar()));
  for (int i = 1; i < COutputBar::kListCount; ++i)
    EXPECT_EQ(at(bar->list(i)), at(bar->list(COutputBar::kListAll)) + i) << i;
}

// ---- popup-menu commands ------------------------------------------------------------

TEST_F(OutputBarTest, SaveLogWritesTheSelectedTab) {
  BoxScript boxes;
  int asked = 0;
  std::optional<std::string> target;
  bar->SetSaveFileDialog([&](const std::string&) {
    ++asked;
    return target;
  });
  bar->tabCtrl()->setCurrentIndex(COutputBar::kListError);
  bar->OnSaveLog();
  EXPECT_EQ(asked, 0);
  ASSERT_EQ(boxes.seen.size(), 1u);
  EXPECT_EQ(boxes.seen[0].text, "Log data is empty");

  bar->AddLog(0, "Src", "first");
  bar->AddLog(0, "Src", "second");
  bar->AddLog(1, "Src", "general");
  target = (dir / "saved.txt").string();
  bar->OnSaveLog();
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(ReadFile(dir / "saved.txt"), "0, 2024-03-05, 10:20:30.045, Src, second\r\n"
                                         "0, 2024-03-05, 10:20:30.045, Src, first\r\n");
  target = (dir / "no such folder" / "saved.txt").string();
  bar->OnSaveLog();
  ASSERT_EQ(boxes.seen.size(), 2u);
  EXPECT_EQ(boxes.seen[1].text, "File save failed.");
  target.reset();  // cancelled
  bar->OnSaveLog();
  EXPECT_EQ(boxes.seen.size(), 2u);
}

// The bar's own dialog, not a seam: it opens in the projects folder, where
// the program's other save dialogs open theirs, whatever the working folder.
TEST_F(OutputBarTest, TheSaveDialogOpensInTheProjectsFolder) {
  const fs::path projects = dir / "Projects";
  fs::create_directories(projects);
  const std::string previous = qmx::Paths().projectsDir;
  qmx::Paths().projectsDir = projects.string();
  bar->SetSaveFileDialog(nullptr);
  bar->AddLog(0, "Src", "line");
  bar->tabCtrl()->setCurrentIndex(COutputBar::kListError);

  QString opened;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    poll.stop();
    opened = dialog->directory().absolutePath();
    dialog->reject();
  });
  poll.start(10);
  bar->OnSaveLog();
  qmx::Paths().projectsDir = previous;
  EXPECT_EQ(opened.toStdString(), fs::canonical(projects).string());
  EXPECT_NE(fs::canonical(projects), fs::canonical(fs::current_path()));
  EXPECT_TRUE(fs::is_empty(projects)) << "cancelled: nothing written";
}

TEST_F(OutputBarTest, ClearLogEmptiesOnlyTheSelectedTabAfterYes) {
  BoxScript boxes;
  bar->tabCtrl()->setCurrentIndex(COutputBar::kListGeneral);
  bar->OnClearLog();
  ASSERT_EQ(boxes.seen.size(), 1u);
  EXPECT_EQ(boxes.seen[0].text, "Log data is empty");

  bar->AddLog(1, "Src", "g");
  boxes.answer = qmx::toolkit::kIdNo;
  bar->OnClearLog();
  ASSERT_EQ(boxes.seen.size(), 2u);
  EXPECT_EQ(boxes.seen[1].text, "Delete logs of the selected tab?");
  EXPECT_EQ(boxes.seen[1].title, "QMX-410 Tools");
  EXPECT_EQ(boxes.seen[1].flags, qmx::toolkit::kMbIconWarning | qmx::toolkit::kMbYesNo);
  EXPECT_EQ(list(COutputBar::kListGeneral)->topLevelItemCount(), 1);
  boxes.answer = qmx::toolkit::kIdYes;
  bar->OnClearLog();
  EXPECT_EQ(list(COutputBar::kListGeneral)->topLevelItemCount(), 0);
  EXPECT_EQ(list(COutputBar::kListAll)->topLevelItemCount(), 1);
}
