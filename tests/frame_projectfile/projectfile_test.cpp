// Project files: the bytes the writer produces, save-open-save identity for
// texts that need entities, references and EUC-KR, every refusal of the
// reader with the state it leaves, saves that fail without harming the old
// file, and closing with the save question.
#include "tests/frame_projectfile/projectfile_fixture.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

namespace prjtest {
namespace {

using qmx::test::ReadFile;
using qmx::test::WriteFile;

constexpr int kNo = 7;

std::string Lines(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\r\n";
  return out;
}

// The eleven lines of a project without adapters.
std::string EmptyProjectFile(const std::string& busType, const std::string& comment) {
  return Lines({"<?xml version=\"1.0\" encoding=\"euc-kr\"?>", "<ProjectDef AppVersion=\"1.0.0.7\">",
                "<Project BusType=\"" + busType + "\">", "<Monitoring CommInterval=\"500\" MonUpdateTime=\"500\" />",
                "<ScanInfo ComPortRange=\"1,1\" NodeAddrRange=\"1,32\" SerialCommSet=\"9600, 8, NOPARITY, 1\" />",
                "\t<Comment>", comment, "\t</Comment>", "</Project>", "</ProjectDef>"});
}

std::vector<std::string> FilesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(ProjectFileTest, GoldenFilesAreWrittenByteExact) {
  // No adapters: exactly the eleven project lines.
  CProjectUsr* empty = NewProject("Empty", "NONE_DRIVER", dir.path());
  ASSERT_EQ(files.SaveProject({}, (dir.path() / "Empty.KPX").string(), empty), 1);
  EXPECT_EQ(ReadFile(dir.path() / "Empty.KPX"), EmptyProjectFile("NONE_DRIVER", ""));

  // One station: images last byte first, an empty history, entities.
  CProjectUsr* project = NewProject("Golden", "TCP", dir.path());
  project->commInterval = 70000;  // kept as an unsigned 16-bit number
  project->viewUpdateTime = -5;
  project->SetTitle("A & B");
  CNAUsr* na = AddStation("QMX-4101", "S<1>", "127.0.0.1", "", "1", {{"QMX-1808", "In \"8\""}, {"QMX-2808", "Out"}});
  ASSERT_NE(na, nullptr);
  Number(project);
  na->paraImage() = {0x10, 0x20, 0x30, 0x40};
  na->monInitImage().assign(na->monInitImage().size(), 0);
  na->monInitImage().front() = 0xAB;
  na->title = "adapter note";
  std::vector<CIOUsr*> mods = ws.ModulesOf(*na);
  ASSERT_EQ(mods.size(), 2u);
  mods[0]->paraImage() = {0x01, 0xFE};
  mods[1]->outputImage() = {0x5A};
  const std::string monInit = std::string(2 * na->monInitImage().size() - 2, '0') + "AB";
  ASSERT_EQ(files.SaveProject({}, (dir.path() / "Golden.KPX").string(), project), 1);
  EXPECT_EQ(ReadFile(dir.path() / "Golden.KPX"),
            Lines({"<?xml version=\"1.0\" encoding=\"euc-kr\"?>", "<ProjectDef AppVersion=\"1.0.0.7\">",
                   "<Project BusType=\"TCP\">", "<Monitoring CommInterval=\"4464\" MonUpdateTime=\"-5\" />",
                   "<ScanInfo ComPortRange=\"1,1\" NodeAddrRange=\"1,32\" SerialCommSet=\"9600, 8, NOPARITY, 1\" />",
                   "\t<Comment>", "A &amp; B", "\t</Comment>",
                   "<Node Category=\"NA\" ID=\"QMX-4101\" UserName=\"S&lt;1&gt;\">",
                   "<Communication IpAddress=\"127.0.0.1\" ComPort=\"\" SerialCommSet=\"\" NodeAddr=\"1\">"
                   "</Communication>",
                   "<MonInit>" + monInit + "</MonInit>", "<Parameter>40302010</Parameter>",
                   "<OutputSet></OutputSet>", "<DiagHistory>", "</DiagHistory>", "<Comment>adapter note</Comment>",
                   "<Node Category=\"NDI\" ID=\"QMX-1808\" UserName=\"In &quot;8&quot;\">",
                   "<Parameter>FE01</Parameter>", "<OutputSet></OutputSet>", "<Comment></Comment>", "</Node>",
                   "<Node Category=\"NDO\" ID=\"QMX-2808\" UserName=\"Out\">",
                   "<Parameter>" + mods[1]->GetImageHexStr("PARA") + "</Parameter>", "<OutputSet>5A</OutputSet>",
                   "<Comment></Comment>", "</Node>", "</Node>", "</Project>", "</ProjectDef>"}));
  EXPECT_EQ(mods[1]->GetImageHexStr("PARA").size(), 4u);
  EXPECT_TRUE(log.Has("Save project is completed. Path: " + (dir.path() / "Golden.KPX").string(), qmx::kLogGeneral));
}

// Texts that need entities, character references or EUC-KR come back as
// they went, and the second save gives the first one's bytes.
TEST_F(ProjectFileTest, SaveOpenSaveKeepsTextsAndBytes) {
  struct Case {
    const char* what;
    std::string name;
    std::string comment;
  };
  const std::vector<Case> cases = {
      {"Korean", "\xED\x95\x9C\xEA\xB8\x80 \xEC\x8A\xA4\xED\x85\x8C\xEC\x9D\xB4\xEC\x85\x98",
       "\xEC\xA3\xBC\xEC\x84\x9D \xEB\x91\x98\xEC\xA7\xB8 \xEC\xA4\x84"},
      {"entities", "&<>\"'", "a < b && c > \"d\""},
      {"line breaks and tabs", "tab\there", "first line\r\nsecond\tline\nthird"},
      {"outside EUC-KR", "\xE2\x82\xAC \xF0\x9F\x98\x80", "\xC3\xA9t\xC3\xA9"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string title = "P" + std::to_string(++n);
    CProjectUsr* project = NewProject(title, "TCP", dir.path());
    project->SetTitle(c.comment);
    CNAUsr* na = AddStation("QMX-4101", c.name, "127.0.0.1", "", "1", {{"QMX-3404", c.name}, {"QMX-1808", "m2"}});
    ASSERT_NE(na, nullptr);
    na->title = c.comment;
    na->AddDiagHistory(c.comment);
    Number(project);
    ws.ModulesOf(*na)[0]->paraImage() = {0xDE, 0xAD, 0xBE, 0xEF};
    const fs::path first = dir.path() / (title + ".KPX");
    ASSERT_EQ(files.SaveProject({}, first.string(), project), 1);
    ASSERT_EQ(files.CloseProject(project, project->treeItem, 1, 1), 1);

    log.Clear();
    ASSERT_EQ(files.OpenProject(first.string()), 1);
    EXPECT_EQ(ErrorLines(), std::vector<std::string>{});
    CProjectUsr* opened = ws.Projects().back().get();
    ASSERT_EQ(opened->Adapters().size(), 1u);
    CNAUsr* back = opened->Adapters()[0];
    const std::vector<CIOUsr*> mods = ws.ModulesOf(*back);
    ASSERT_EQ(mods.size(), 2u);
    EXPECT_EQ((std::vector<std::string>{opened->GetName(), opened->title, back->GetName(), back->title,
                                        back->DiagHistory().at(0), mods[0]->GetName()}),
              (std::vector<std::string>{title, c.comment, c.name, c.comment, c.comment, c.name}));
    EXPECT_EQ(mods[0]->paraImage(), (std::vector<uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));
    EXPECT_EQ(mods[1]->posNo, 2);  // renumbered after the open

    const fs::path second = dir.path() / (title + "-again.KPX");
    ASSERT_EQ(files.SaveProject({}, second.string(), opened), 1);
    EXPECT_EQ(ReadFile(second), ReadFile(first));
    files.CloseProject(opened, opened->treeItem, 1, 0);
  }
}

// A file the writer made reads back into the same values, empty lists
// included: the second save gives the first one's bytes.
TEST_F(ProjectFileTest, EmptyListsComeBackEmpty) {
  struct Case {
    const char* what;
    std::string busType;
    std::string adapter;  // empty: no station
    std::string comPort;
    std::vector<ModuleSpec> modules;
    std::vector<std::string> history;
  };
  const std::vector<Case> cases = {
      {"no station", "NONE_DRIVER", "", "", {}, {}},
      {"a station without modules, history, comments or output image", "TCP", "QMX-4101", "", {}, {}},
      {"a serial station with modules and an empty history", "RS232C", "QMX-4102", "3", {{"QMX-1808", "In"}}, {}},
      {"a history with an empty line", "TCP", "QMX-4101", "", {}, {"first", "", "last"}},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string title = "Empty" + std::to_string(++n);
    CProjectUsr* project = NewProject(title, c.busType, dir.path());
    if (!c.adapter.empty()) {
      CNAUsr* na = AddStation(c.adapter, "S", c.comPort.empty() ? "127.0.0.1" : "", c.comPort, "1", c.modules);
      ASSERT_NE(na, nullptr);
      for (const std::string& line : c.history) na->AddDiagHistory(line);
    }
    Number(project);
    const fs::path first = dir.path() / (title + ".KPX");
    ASSERT_EQ(files.SaveProject({}, first.string(), project), 1);
    files.CloseProject(project, project->treeItem, 1, 0);

    log.Clear();
    ASSERT_EQ(files.OpenProject(first.string()), 1);
    EXPECT_EQ(ErrorLines(), std::vector<std::string>{});
    CProjectUsr* opened = ws.Projects().back().get();
    EXPECT_EQ(opened->modified, 0);
    EXPECT_EQ(opened->title, "");
    ASSERT_EQ(opened->Adapters().size(), c.adapter.empty() ? 0u : 1u);
    if (!c.adapter.empty()) {
      EXPECT_EQ(opened->Adapters()[0]->DiagHistory(), c.history);
      EXPECT_EQ(opened->Adapters()[0]->title, "");
      EXPECT_EQ(ws.ModulesOf(*opened->Adapters()[0]).size(), c.modules.size());
    }
    const fs::path second = dir.path() / (title + "-again.KPX");
    ASSERT_EQ(files.SaveProject({}, second.string(), opened), 1);
    EXPECT_EQ(ReadFile(second), ReadFile(first));
    files.CloseProject(opened, opened->treeItem, 1, 0);
  }
}

TEST_F(ProjectFileTest, SupportedVersions) {
  const std::vector<std::pair<std::string, int>> table = {
      {"", 0}, {"   ", 0}, {"1.0.0.6", 1}, {"7", 1}, {" 2.1 ", 1}, {"abc", 1}, {"-3", 0}, {"0", 1}};
  for (const auto& [version, supported] : table) EXPECT_EQ(files.IsSupportedAppVersion(version), supported) << version;
}

// Each refusal of the reader: its result, its line and what stays open.
TEST_F(ProjectFileTest, OpenFailuresLeaveTheStateTheyPromise) {
  const std::string head = "<?xml version=\"1.0\" encoding=\"euc-kr\"?>\r\n";
  const std::string station =
      "<Node Category=\"NA\" ID=\"QMX-4101\" UserName=\"S1\"><Comment>first</Comment></Node>";
  struct Case {
    const char* what;
    std::string text;  // empty: no file
    int result;
    std::string line;  // a line of category 0 that must be there
    size_t projects;   // open afterwards
    size_t adapters;   // of the opened project
  };
  const std::vector<Case> cases = {
      {"missing file", "", 0, "[Error Code: -1027] Cannot open the file. Check if the file exists or using.", 0, 0},
      {"not well-formed", head + "<ProjectDef AppVersion=\"1\"><Project>", 0, "[Error Code: -1027]", 0, 0},
      {"empty version", head + "<ProjectDef AppVersion=\"\"><Project BusType=\"TCP\"/></ProjectDef>", -1039,
       "[Error Code: -1039] This version does not support the project that was created by version . Project file: ",
       0, 0},
      {"other root", head + "<Projects><Project BusType=\"TCP\"/></Projects>", -4000,
       "[Error Code: -4000] Node does not defined. Loc:/ProjectDef/Project. Func: OpenProject. xml file: ", 0, 0},
      {"Node without UserName", head + "<ProjectDef AppVersion=\"1\"><Project BusType=\"TCP\">" + station +
                                    "<Node Category=\"NA\" ID=\"QMX-4101\"/></Project></ProjectDef>",
       0, "[Error Code: -6001] Exception is happened. ", 1, 1},
      {"module of no group", head + "<ProjectDef AppVersion=\"1\"><Project BusType=\"TCP\">" +
                                 "<Node Category=\"NA\" ID=\"QMX-4101\" UserName=\"S1\">"
                                 "<Node Category=\"XYZ\" ID=\"QMX-1808\" UserName=\"m\"><Parameter>00</Parameter></Node>"
                                 "<Bogus/><Comment>kept</Comment></Node></Project></ProjectDef>",
       1, "[Error Code: -4001] Not allowed value in xml file. Value: XYZ. Loc: Node. Func: OpenRecursiveNodeInfo.", 1,
       1},
      {"unknown adapter", head + "<ProjectDef AppVersion=\"1\"><Project BusType=\"TCP\">" +
                              "<Node Category=\"NA\" ID=\"NO-SUCH\" UserName=\"S1\"><Comment>x</Comment></Node>" +
                              station + "</Project></ProjectDef>",
       1, "[Error Code: -4002] Wrapper object is null. NA node is not defined. Loc: Comment. Func: OpenRecursiveNodeInfo.",
       1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path path = dir.path() / "Case.KPX";
    fs::remove(path);
    if (!c.text.empty()) WriteFile(path, c.text);
    log.Clear();
    boxes.clear();
    EXPECT_EQ(files.OpenProject(path.string()), c.result);
    bool found = false;
    for (const std::string& line : ErrorLines()) found = found || line.rfind(c.line, 0) == 0;
    EXPECT_TRUE(found) << c.line;
    ASSERT_EQ(ws.Projects().size(), c.projects);
    if (c.projects == 0) continue;
    CProjectUsr* project = ws.Projects().front().get();
    EXPECT_EQ(project->Adapters().size(), c.adapters);
    EXPECT_EQ(project->Adapters()[0]->title, c.what == std::string("module of no group") ? "kept" : "first");
    EXPECT_TRUE(ws.ModulesOf(*project->Adapters()[0]).empty());
    // Read in part: marked modified, and the save over its file asks first.
    EXPECT_EQ(project->modified, 1);
    EXPECT_TRUE(files.IsOpenedInPart(project));
    const std::string before = ReadFile(path);
    boxes.clear();
    answers = {kNo};
    EXPECT_EQ(files.SaveProject({}, path.string(), project), 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("Do you want to save?"), std::string::npos);
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(project->modified, 1);
    // Saved elsewhere: no question; over the file with Yes: saved.
    EXPECT_EQ(files.SaveProject({}, (dir.path() / "Elsewhere.KPX").string(), project), 1);
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(files.SaveProject({}, path.string(), project), 1);
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_FALSE(files.IsOpenedInPart(project));
    files.CloseProject(project, project->treeItem, 1, 0);
  }
}

TEST_F(ProjectFileTest, AFileFarLargerThanAnyProjectIsRefusedUnread) {
  const fs::path path = dir.path() / "Huge.KPX";
  WriteFile(path, "");
  fs::resize_file(path, 40u * 1024 * 1024);  // sparse
  EXPECT_EQ(files.OpenProject(path.string()), 0);
  EXPECT_TRUE(ws.Projects().empty());
  bool found = false;
  for (const std::string& line : ErrorLines()) {
    found = found || line == "[Error Code: -1027] Cannot open the file. Check if the file exists or using. XML File: " +
                                 path.string() + ". Cause: The file " + path.string() +
                                 " is too large to be read: 41943040 bytes, more than the 33554432 bytes a file of "
                                 "its kind may have.";
  }
  EXPECT_TRUE(found);
}

// Like with like: the same path, or a file whose title is an open project's
// name, is refused; an opened project keeps the path it was read from.
TEST_F(ProjectFileTest, OpeningAnOpenProjectAgainIsRefused) {
  const fs::path path = dir.path() / "Twice.KPX", other = dir.path() / "o" / "twice.kpx";
  ASSERT_EQ(files.SaveProject({}, path.string(), NewProject("Twice", "TCP", dir.path())), 1);
  fs::create_directories(other.parent_path());
  fs::copy_file(path, other);
  for (const fs::path& p : {path, other}) {
    boxes.clear();
    EXPECT_EQ(files.OpenProject(p.string()), 0);
    EXPECT_EQ(boxes, std::vector<std::string>{"Open project already exists.\nProject: " + p.string() + "."});
    EXPECT_TRUE(log.Has("[Warning] Open project already exists. Project: " + p.string() + ".", qmx::kLogError));
  }
  fs::rename(other, dir.path() / "o" / "twice2.kpx");
  ASSERT_EQ(files.OpenProject((dir.path() / "o" / "twice2.kpx").string()), 1);
  EXPECT_EQ(ws.Projects().back()->filePath, (dir.path() / "o" / "twice2.kpx").string());
}

TEST_F(ProjectFileTest, AFailedSaveKeepsTheOldFileAndTheProjectAsTheyWere) {
  CProjectUsr* project = NewProject("Keep", "TCP", dir.path());
  for (int i = 0; i < 20; ++i) AddStation("QMX-4101", "S" + std::to_string(i), "127.0.0.1", "", "1", {{"QMX-3404", "m"}});
  Number(project);
  const fs::path path = dir.path() / "Keep.KPX";
  ASSERT_EQ(files.SaveProject({}, path.string(), project), 1);
  const std::string before = ReadFile(path);
  project->modified = 1;
  project->title = "changed";

  // The file system refuses to grow a file past 256 bytes mid-write.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 256;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  log.Clear();
  boxes.clear();
  const int rc = files.SaveProject("Renamed", path.string(), project);
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(ReadFile(path), before);
  EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"Keep.KPX"});
  EXPECT_EQ(project->GetName(), "Keep");
  EXPECT_EQ(ws.tree().GetItemText(project->treeItem), "Keep");
  EXPECT_EQ(project->modified, 1);
  EXPECT_EQ(ErrorLines(), std::vector<std::string>{"[Error Code: -1006] Cannot save the file. Cause: File too large. "
                                                   "Path: " + path.string() + "."});
  EXPECT_EQ(boxes, std::vector<std::string>{"Cannot save the file. Cause: File too large.\nError Code: -1006. "
                                                 "Path: " + path.string() + "."});

}

// A pipe would wait for a writer for good and a device give bytes for ever:
// they are refused, as a folder is, as files that cannot be opened, and the
// line says what the path names.
TEST_F(ProjectFileTest, APipeAFolderOrADeviceIsRefusedAsAFileThatCannotBeOpened) {
  const fs::path pipe = dir.path() / "Pipe.KPX";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const fs::path folder = dir.path() / "Folder.KPX";
  fs::create_directory(folder);
  const struct {
    fs::path path;
    const char* kind;
  } cases[] = {{pipe, "a pipe"}, {folder, "a folder"}, {"/dev/null", "a device"}, {"/dev/zero", "a device"}};
  for (const auto& c : cases) {
    const fs::path& path = c.path;
    SCOPED_TRACE(path.string());
    log.Clear();
    boxes.clear();
    EXPECT_EQ(files.OpenProject(path.string()), 0);
    EXPECT_EQ(ErrorLines(), std::vector<std::string>{"[Error Code: -1027] Cannot open the file. Check if the file "
                                                     "exists or using. XML File: " + path.string() +
                                                     ". Cause: The path names " + c.kind + ", not a regular file."});
    EXPECT_EQ(boxes, std::vector<std::string>{"Cannot open the file. Check if the file exists or using.\nXML File: " +
                                              path.string() + "."});
    EXPECT_TRUE(ws.Projects().empty());
  }
}

// What interrupted saves of a project left beside it goes at its next save;
// what other projects or a running process may still need stays.
TEST_F(ProjectFileTest, ASaveRemovesTheTemporaryFilesInterruptedSavesLeft) {
  const pid_t gone = ::fork();
  if (gone == 0) _exit(0);
  ASSERT_GT(gone, 0);
  ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
  const std::string own = std::to_string(::getpid());
  const std::vector<std::string> stale = {".Plant.KPX." + std::to_string(gone) + ".0.tmp",
                                          ".Plant.KPX." + own + ".3.tmp"};
  const std::vector<std::string> kept = {".Other.KPX." + std::to_string(gone) + ".0.tmp",
                                         ".Plant.KPX.1.KPX." + std::to_string(gone) + ".0.tmp",
                                         ".Plant.KPX.x.0.tmp", "Plant.KPX.bak"};
  for (const std::string& name : stale) WriteFile(dir.path() / name, "<partial");
  for (const std::string& name : kept) WriteFile(dir.path() / name, "<other");
  // A process that lives (this one's parent) may be saving right now.
  const std::string running = ".Plant.KPX." + std::to_string(::getppid()) + ".0.tmp";
  WriteFile(dir.path() / running, "<in progress");

  CProjectUsr* project = NewProject("Plant", "TCP", dir.path());
  ASSERT_EQ(files.SaveProject({}, (dir.path() / "Plant.KPX").string(), project), 1);
  std::vector<std::string> expected = kept;
  expected.push_back(running);
  expected.push_back("Plant.KPX");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FilesIn(dir.path()), expected);
}

// A folder that refuses new files, holding a project file its user may
// write: the file is rewritten where it is, after the same text is whole in
// its backup in the user's cache folder.
TEST_F(ProjectFileTest, AFileInAFolderThatRefusesNewFilesIsRewrittenInPlaceBesideABackup) {
  const fs::path folder = dir.path() / "shared";
  fs::create_directories(folder);
  const fs::path path = folder / "Plant.KPX";
  CProjectUsr* project = NewProject("Plant", "TCP", folder);
  AddStation("QMX-4101", "S1", "127.0.0.1", "", "1", {{"QMX-1808", "m"}});
  ASSERT_EQ(files.SaveProject({}, path.string(), project), 1);
  project->SetTitle("changed");
  const std::string changed = files.ProjectFileBytes(*project);
  ASSERT_NE(changed, ReadFile(path));

  const std::optional<uid_t> user = RefuseNewFiles(folder, path);
  const int failures = RunAs(user, [&] {
    boxes.clear();
    return files.SaveProject({}, path.string(), project) == 1 && boxes.empty() ? 0 : 1;
  });
  fs::permissions(folder, fs::perms::owner_all);
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(ReadFile(path), changed);
  EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"Plant.KPX"});
  const std::string backup = ProjectBackupPath(path.string());
  EXPECT_EQ(fs::path(backup).parent_path(), dir / "cache" / "qmx410tools");
  EXPECT_EQ(ReadFile(backup), changed);
}

// Without a place for the backup the file is not cut: the save is refused
// with -1003 naming the backup.
TEST_F(ProjectFileTest, NoRewriteInPlaceWithoutABackup) {
  const fs::path folder = dir.path() / "shared";
  fs::create_directories(folder);
  const fs::path path = folder / "Plant.KPX";
  CProjectUsr* project = NewProject("Plant", "TCP", folder);
  ASSERT_EQ(files.SaveProject({}, path.string(), project), 1);
  const std::string before = ReadFile(path);
  project->SetTitle("changed");
  const std::optional<uid_t> user = RefuseNewFiles(folder, path);
  // Neither the test's cache folder nor the home folder's can hold one.
  fs::remove_all(dir / "cache");
  WriteFile(dir / "cache", "a file");
  fs::create_directories(dir / "home");
  WriteFile(dir / "home" / ".cache", "a file");
  const char* home = std::getenv("HOME");
  const std::string savedHome = home ? home : "";
  ::setenv("HOME", (dir / "home").c_str(), 1);
  const std::string backup = ProjectBackupPath(path.string());
  const int rc = RunAs(user, [&] {
    log.Clear();
    boxes.clear();
    const bool refused = files.SaveProject({}, path.string(), project) == 0;
    const std::vector<std::string> expected = {
        "[Error Code: -1003] Cannot open the file during saving. Check if the file exists or using. File: " + backup +
        "."};
    return refused && ErrorLines() == expected && boxes.size() == 1 ? 0 : 1;
  });
  if (home) ::setenv("HOME", savedHome.c_str(), 1);
  else ::unsetenv("HOME");
  fs::permissions(folder, fs::perms::owner_all);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(ReadFile(path), before);
}

// Two modified projects: Yes saves and closes, No closes without saving;
// a save that fails followed by No keeps the project (2).
TEST_F(ProjectFileTest, CloseAsksToSaveEachModifiedProject) {
  CProjectUsr* first = NewProject("First", "TCP", dir.path());
  AddStation("QMX-4101", "S1", "127.0.0.1", "", "1", {{"QMX-1808", "m"}});
  CProjectUsr* second = NewProject("Second", "TCP", dir.path());
  first->modified = 1;
  second->modified = 1;

  answers = {qmx::kBoxIdYes};
  EXPECT_EQ(files.CloseProject(first, first->treeItem, 1, 1), 1);
  EXPECT_TRUE(fs::exists(dir.path() / "First.KPX"));
  answers = {kNo};
  EXPECT_EQ(files.CloseProject(second, second->treeItem, 1, 1), 1);
  EXPECT_FALSE(fs::exists(dir.path() / "Second.KPX"));
  EXPECT_EQ(boxes, (std::vector<std::string>{"First project is modified. Do you want to save?",
                                                  "Second project is modified. Do you want to save?"}));
  EXPECT_TRUE(ws.Projects().empty());
  EXPECT_TRUE(ws.tree().Empty());
  EXPECT_TRUE(log.Has("Project is closed. Project: First", qmx::kLogGeneral));

  // A save that fails: No to closing keeps everything, Yes closes.
  CProjectUsr* third = ws.CreateProject("Third", (dir.path() / "missing").string());
  AddStation("QMX-4101", "S1", "127.0.0.1", "", "1", {{"QMX-1808", "m"}});
  third->modified = 1;
  boxes.clear();
  answers = {qmx::kBoxIdYes, qmx::kBoxIdYes, kNo};
  EXPECT_EQ(files.CloseProject(third, third->treeItem, 1, 1), kCloseCancelled);
  EXPECT_EQ(boxes.back(), "Third project is modified. Do you want to close it?");
  ASSERT_EQ(ws.Projects().size(), 1u);
  EXPECT_EQ(third->Adapters().size(), 1u);
  EXPECT_EQ(ws.ModulesOf(*third->Adapters()[0]).size(), 1u);
  EXPECT_EQ(third->modified, 1);
  answers = {qmx::kBoxIdYes, qmx::kBoxIdYes, qmx::kBoxIdYes};
  EXPECT_EQ(files.CloseProject(third, third->treeItem, 1, 1), 1);
  EXPECT_TRUE(ws.Projects().empty());
}

}  // namespace
}  // namespace prjtest
