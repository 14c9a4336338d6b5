// PostLog and the error-reporting functions, seen through a capturing log
// target and a scripted message box.
#include "app/model/Logging.h"
#include "app/model/Services.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

// ---- allocation counting -----------------------------------------------------------
// Counts the allocations of the calling thread, so a test can see what one call
// allocated and freed.
namespace {
thread_local long t_allocations = 0;
thread_local long t_frees = 0;
}  // namespace

void* operator new(std::size_t size) {
  ++t_allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept {
  if (p) ++t_frees;
  std::free(p);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }

namespace {

using qmx::LogRecord;

// One journal of what reached the box and the log, in the order it happened.
struct Event {
  std::string kind;  // "box" or "log"
  std::string text;
  unsigned flags = 0;     // box
  int category = -1;      // log
  std::string source;     // log
};

std::mutex g_events_mutex;
std::vector<Event> g_events;
int g_box_answer = 1;

int ScriptedBox(const std::string& text, unsigned flags) {
  std::lock_guard lock(g_events_mutex);
  g_events.push_back({"box", text, flags, -1, ""});
  return g_box_answer;
}

class CaptureTarget : public qmx::LogTarget {
public:
  void Post(LogRecord* record) override {
    std::lock_guard lock(g_events_mutex);
    g_events.push_back({"log", record->text, 0, record->category, record->source});
    records.emplace_back(record);
  }
  size_t size() {
    std::lock_guard lock(g_events_mutex);
    return records.size();
  }
  std::vector<std::unique_ptr<LogRecord>> records;
};

class LoggingTest : public ::testing::Test {
protected:
  void SetUp() override {
    {
      std::lock_guard lock(g_events_mutex);
      g_events.clear();
    }
    qmx::SetClosingFlag(0);
    qmx::SetLogTarget(&target_);
    qmx::Services().messageBox = &ScriptedBox;
  }
  void TearDown() override {
    qmx::SetLogTarget(nullptr);
    qmx::Services().messageBox = nullptr;
    qmx::SetClosingFlag(0);
  }
  std::vector<Event> Events() {
    std::lock_guard lock(g_events_mutex);
    return g_events;
  }
  CaptureTarget target_;
};

// ---- PostLog ---------------------------------------------------------------------------

TEST_F(LoggingTest, PostLogHandsOneRecordWithTheThreeFields) {
  PostLog(1, "QMX-410 Tools", "Loaded driver. File: Tessivar.dll");
  PostLog(3, std::string("Tessivar.dll"), std::string("[Error Code: -1] Time-out. Func: Read"));
  ASSERT_EQ(target_.records.size(), 2u);
  EXPECT_EQ(target_.records[0]->category, 1);
  EXPECT_EQ(target_.records[0]->source, "QMX-410 Tools");
  EXPECT_EQ(target_.records[0]->text, "Loaded driver. File: Tessivar.dll");
  EXPECT_EQ(target_.records[1]->category, 3);
  EXPECT_EQ(target_.records[1]->source, "Tessivar.dll");
  EXPECT_EQ(target_.records[1]->text, "[Error Code: -1] Time-out. Func: Read");
}

TEST_F(LoggingTest, EveryCategoryIsPostedTheWindowFilters) {
  for (int category : {0, 1, 2, 3, 4, 5, -1, 1000}) PostLog(category, "src", "line");
  ASSERT_EQ(target_.records.size(), 8u);
  EXPECT_EQ(target_.records[5]->category, 5);
  EXPECT_EQ(target_.records[6]->category, -1);
  EXPECT_EQ(target_.records[7]->category, 1000);
}

TEST_F(LoggingTest, TextsAreCopiedNotReferenced) {
  {
    std::string source = "driver";
    std::string text(300, 'x');
    PostLog(2, source.c_str(), text.c_str());
    source.assign("changed");
    text.assign("changed");
  }
  ASSERT_EQ(target_.records.size(), 1u);
  EXPECT_EQ(target_.records[0]->source, "driver");
  EXPECT_EQ(target_.records[0]->text, std::string(300, 'x'));
}

TEST_F(LoggingTest, NullTextsFromTheDriverBecomeEmpty) {
  PostLog(2, static_cast<const char*>(nullptr), static_cast<const char*>(nullptr));
  ASSERT_EQ(target_.records.size(), 1u);
  EXPECT_EQ(target_.records[0]->source, "");
  EXPECT_EQ(target_.records[0]->text, "");
}

TEST_F(LoggingTest, PostLogIsACallbackWithThePlainSignature) {
  void (*callback)(int, const char*, const char*) = &PostLog;
  callback(2, "Tessivar.dll", "from the driver");
  ASSERT_EQ(target_.records.size(), 1u);
  EXPECT_EQ(target_.records[0]->text, "from the driver");
}

TEST_F(LoggingTest, ClosingFlagDropsEveryLineAndAllocatesNothing) {
  qmx::SetClosingFlag(1);
  EXPECT_EQ(qmx::GetClosingFlag(), 1);
  const long before = t_allocations;
  PostLog(0, "QMX-410 Tools", "after closing");
  PostLog(1, "QMX-410 Tools", "after closing");
  EXPECT_EQ(t_allocations, before);
  EXPECT_EQ(target_.size(), 0u);

  // closing cancelled: lines flow again
  qmx::SetClosingFlag(0);
  PostLog(1, "QMX-410 Tools", "again");
  ASSERT_EQ(target_.size(), 1u);
  EXPECT_EQ(target_.records[0]->text, "again");
}

TEST_F(LoggingTest, RecordsWithoutATargetAreFreed) {
  qmx::SetLogTarget(nullptr);
  EXPECT_EQ(qmx::GetLogTarget(), nullptr);
  const long allocations = t_allocations;
  const long frees = t_frees;
  for (int i = 0; i < 1000; ++i) PostLog(1, "QMX-410 Tools", std::string(100, 'a').c_str());
  EXPECT_EQ(t_allocations - allocations, t_frees - frees) << "a record posted without a target leaked";
  EXPECT_GE(t_allocations - allocations, 1000);
#if defined(__SANITIZE_ADDRESS__)
  EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
#endif
  EXPECT_EQ(target_.size(), 0u);
}

TEST_F(LoggingTest, ManyThreadsDeliverEveryLineOnceInThreadOrder) {
  constexpr int kThreads = 8;
  constexpr int kLines = 3000;
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &ready] {
      ready.fetch_add(1);
      while (ready.load() < kThreads) std::this_thread::yield();
      for (int n = 0; n < kLines; ++n) {
        const std::string text = std::to_string(t) + ":" + std::to_string(n);
        PostLog(2, ("thread" + std::to_string(t)).c_str(), text.c_str());
      }
    });
  }
  for (auto& th : threads) th.join();

  ASSERT_EQ(target_.records.size(), static_cast<size_t>(kThreads * kLines));
  std::vector<int> next(kThreads, 0);
  for (const auto& record : target_.records) {
    const size_t colon = record->text.find(':');
    ASSERT_NE(colon, std::string::npos);
    const int t = std::stoi(record->text.substr(0, colon));
    const int n = std::stoi(record->text.substr(colon + 1));
    ASSERT_GE(t, 0);
    ASSERT_LT(t, kThreads);
    ASSERT_EQ(record->source, "thread" + std::to_string(t));
    ASSERT_EQ(n, next[t]) << "line of thread " << t << " lost, doubled or out of order";
    ++next[t];
  }
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(next[t], kLines);
}

TEST_F(LoggingTest, RemovedTargetReceivesNothingMore) {
  // a target that is removed while threads post must not be reached afterwards
  auto moving = std::make_unique<CaptureTarget>();
  qmx::SetLogTarget(moving.get());
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&stop] {
      while (!stop.load()) PostLog(2, "driver", "cyclic");
    });
  }
  while (moving->size() < 2000) std::this_thread::yield();
  qmx::SetLogTarget(nullptr);
  const size_t received = moving->size();
  moving.reset();  // a late post would touch freed memory
  for (int i = 0; i < 2000; ++i) PostLog(2, "main", "while removed");
  stop.store(true);
  for (auto& th : threads) th.join();
  EXPECT_GE(received, 2000u);
  EXPECT_EQ(target_.size(), 0u);
}

// A target that logs while it takes a record (a failing window post reported
// through the log) must not block its own thread.
class EchoTarget : public qmx::LogTarget {
public:
  void Post(LogRecord* record) override {
    std::unique_ptr<LogRecord> owned(record);
    texts.push_back(owned->text);
    if (owned->text == "first") PostLog(4, "QMX-410 Tools", "nested");
  }
  std::vector<std::string> texts;
};

TEST(LoggingReentry, TargetMayLogWhileTakingARecord) {
  EchoTarget echo;
  qmx::SetLogTarget(&echo);
  auto done = std::async(std::launch::async, [] { PostLog(1, "QMX-410 Tools", "first"); });
  if (done.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
    std::fprintf(stderr, "PostLog dead-locked when the log target logged\n");
    std::_Exit(1);
  }
  qmx::SetLogTarget(nullptr);
  EXPECT_EQ(echo.texts, (std::vector<std::string>{"first", "nested"}));
}

// ---- ShowError / ShowResourceLackError ----------------------------------------------------

TEST_F(LoggingTest, ShowErrorShowsTheBoxThenLogs) {
  ShowError(-6000, "ParseXmlsAndAssignDatas", "Cannot create XML Parser. Please install xml parser", 1, 1);
  const auto events = Events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].kind, "box");
  EXPECT_EQ(events[0].text, "Cannot create XML Parser. Please install xml parser. Error Code: -6000");
  EXPECT_EQ(events[0].flags, qmx::kBoxIconStop);  // stop icon, OK button
  EXPECT_EQ(events[1].kind, "log");
  EXPECT_EQ(events[1].category, 0);
  EXPECT_EQ(events[1].source, "QMX-410 Tools");
  EXPECT_EQ(events[1].text,
            "[Error Code: -6000] Cannot create XML Parser. Please install xml parser. Loc: ParseXmlsAndAssignDatas.");
}

TEST_F(LoggingTest, ShowResourceLackErrorTexts) {
  ShowResourceLackError(-5112, "COutputBar::OnCreate", "sheetAll", 1, 0);
  auto events = Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind, "box");
  EXPECT_EQ(events[0].text, "Failed to create sheetAll because of resource lack. Error Code: -5112");
  EXPECT_EQ(events[0].flags, qmx::kBoxIconStop);

  ShowResourceLackError(-5101, "GridCtrl::CreateImgList", "imageList", 0, 1);
  events = Events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].kind, "log");
  EXPECT_EQ(events[1].category, 0);
  EXPECT_EQ(events[1].source, "QMX-410 Tools");
  // the line ends with a blank after the last full stop
  EXPECT_EQ(events[1].text,
            "[Error Code: -5101] Failed to create imageList because of resource lack. Loc: GridCtrl::CreateImgList. ");
}

TEST_F(LoggingTest, OnlyFlagValueOneActs) {
  using Report = void (*)(int, const std::string&, const std::string&, int, int);
  for (Report report : {static_cast<Report>(&ShowError), static_cast<Report>(&ShowResourceLackError)}) {
    for (int show : {0, 1, 2, -1}) {
      for (int write : {0, 1, 2, -1}) {
        {
          std::lock_guard lock(g_events_mutex);
          g_events.clear();
        }
        report(-1, "Loc", "what", show, write);
        const auto events = Events();
        size_t boxes = 0, logs = 0;
        for (const auto& e : events) (e.kind == "box" ? boxes : logs)++;
        EXPECT_EQ(boxes, show == 1 ? 1u : 0u) << "show " << show << " write " << write;
        EXPECT_EQ(logs, write == 1 ? 1u : 0u) << "show " << show << " write " << write;
      }
    }
  }
}

TEST_F(LoggingTest, PercentSignsInTextsAreNotFormatted) {
  ShowError(-1, "Loc %s", "100% of %s %n done", 1, 1);
  const auto events = Events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].text, "100% of %s %n done. Error Code: -1");
  EXPECT_EQ(events[1].text, "[Error Code: -1] 100% of %s %n done. Loc: Loc %s.");
}

// The "[Error Code: %d] <text> Func: %s" family: both endings, the two
// sources, and texts that carry printf directives through untouched.
TEST_F(LoggingTest, ReportErrorLinesAreByteExact) {
  struct Case {
    int code;
    std::string text;
    std::string func;
    qmx::FuncEnd end;
    const char* source;
    std::string line;
  };
  const std::vector<Case> cases = {
      {qmx::err::kSettingValueUnreadable, "Cannot get setting value. See below log in detail.", "GetParaValForUsr",
       qmx::FuncEnd::kStop, qmx::kLogSourceNoBlank,
       "[Error Code: -1017] Cannot get setting value. See below log in detail. Func: GetParaValForUsr."},
      {qmx::err::kDriverFileMissing, "Cannot find Communication driver. File: /opt/q/Tessivar.so.",
       "LoadCommunicateDriver", qmx::FuncEnd::kNoStop, qmx::kLogSource,
       "[Error Code: -1021] Cannot find Communication driver. File: /opt/q/Tessivar.so. Func: LoadCommunicateDriver"},
      {qmx::err::kTmpFolder, "100% of %s %n.", "", qmx::FuncEnd::kStop, qmx::kLogSource,
       "[Error Code: -1002] 100% of %s %n. Func: ."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(qmx::ErrorFuncLine(c.code, c.text, c.func, c.end), c.line);
    qmx::ReportError(c.code, c.text, c.func, c.end, c.source);
  }
  ASSERT_EQ(target_.records.size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(target_.records[i]->category, qmx::kLogError);
    EXPECT_EQ(target_.records[i]->source, cases[i].source);
    EXPECT_EQ(target_.records[i]->text, cases[i].line);
  }
}

TEST_F(LoggingTest, ErrorLineIsDroppedWhileClosing) {
  qmx::SetClosingFlag(1);
  ShowError(-1, "Loc", "what", 1, 1);
  const auto events = Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind, "box");
}

TEST(LoggingBox, WithoutAHookTheBoxTextGoesToStandardError) {
  qmx::Services().messageBox = nullptr;
  ::testing::internal::CaptureStderr();
  ShowError(-1009, "Loc", "Cannot run Rendaval.exe", 1, 0);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Cannot run Rendaval.exe. Error Code: -1009"), std::string::npos) << err;
}

}  // namespace
