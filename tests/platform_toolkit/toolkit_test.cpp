// The window layer: menus and toolbars from resources, command dispatch and
// enabling, bars, tool box notifications, posted messages and scripted boxes.
#include "platform/toolkit/frame_wnd.h"
#include "platform/toolkit/message_box.h"
#include "platform/toolkit/text_fit.h"
#include "platform/toolkit/tool_box.h"
#include "platform/toolkit/toolbar_pictures.h"
#include "platform/toolkit/window_messages.h"
#include "tests/support/test_support.h"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QStandardItemModel>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

using namespace qmx::toolkit;

namespace {

class TestFrame : public FrameWnd {
public:
  std::vector<int> commands;
  std::vector<int> enabled{1, 2};
  int closes = 0;
  bool allowClose = false;

protected:
  void OnCommand(int id) override { commands.push_back(id); }
  bool OnUpdateCommand(int id, bool& checked) override {
    checked = id == 2;
    return std::find(enabled.begin(), enabled.end(), id) != enabled.end();
  }
  void OnClose() override {
    ++closes;
    if (allowClose) DestroyFrame();
  }
};

class ToolkitTest : public ::testing::Test {
protected:
  std::string WriteResource(const std::string& name, const std::string& text) {
    const auto path = dir_ / name;
    qmx::test::WriteFile(path, text);
    return path.string();
  }
  qmx::test::TempDir dir_{"qmx-toolkit"};
};

constexpr const char* kMenu = R"(<?xml version="1.0"?>
<Menu id="128">
  <Popup text="&amp;File">
    <Item id="1" text="&amp;One" key="Ctrl+1"/>
    <Separator/>
    <Popup text="Sub"><Item id="2" text="Two"/></Popup>
    <RecentFiles/>
    <Item id="3" text="Three"/>
  </Popup>
  <Popup text="&amp;View"><Item id="59501" text="Log"/></Popup>
</Menu>)";

TEST_F(ToolkitTest, MenuResourceBuildsMenusAndDispatchesIds) {
  TestFrame frame;
  ASSERT_TRUE(frame.LoadMenuBar(QString::fromStdString(WriteResource("m.xml", kMenu))));
  ASSERT_EQ(frame.menuBar()->actions().size(), 2);
  EXPECT_EQ(frame.menuBar()->actions()[0]->text(), "&File");
  QAction* one = frame.CommandAction(1);
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(one->shortcut(), QKeySequence("Ctrl+1"));
  one->trigger();
  frame.CommandAction(2)->trigger();
  EXPECT_EQ(frame.commands, (std::vector<int>{1, 2}));

  frame.UpdateCommandUI();
  EXPECT_TRUE(frame.CommandAction(1)->isEnabled());
  EXPECT_FALSE(frame.CommandAction(3)->isEnabled());
  frame.enabled = {3};
  frame.UpdateCommandUI();
  EXPECT_FALSE(frame.CommandAction(1)->isEnabled());
  EXPECT_TRUE(frame.CommandAction(3)->isEnabled());
}

TEST_F(ToolkitTest, MalformedOrMissingResourcesAreRefused) {
  TestFrame frame;
  EXPECT_FALSE(frame.LoadMenuBar(QString::fromStdString((dir_ / "none.xml").string())));
  EXPECT_FALSE(frame.LoadMenuBar(QString::fromStdString(WriteResource("bad.xml", "<Menu><Popup text='x'>"))));
  EXPECT_FALSE(frame.LoadMenuBar(QString::fromStdString(WriteResource("root.xml", "<ToolBar/>"))));
  EXPECT_FALSE(frame.LoadMenuBar(QString::fromStdString(
      WriteResource("noid.xml", "<Menu><Popup text='x'><Item text='no id'/></Popup></Menu>"))));
  EXPECT_FALSE(frame.LoadToolBar(QString::fromStdString(WriteResource("tb.xml", "<ToolBar><Popup/></ToolBar>"))));
  EXPECT_TRUE(frame.LoadToolBar(QString::fromStdString(
      WriteResource("tb2.xml", "<ToolBar><Button id='7' text='Seven' icon='new'/><Separator/></ToolBar>"))));
  ASSERT_NE(frame.toolBar(), nullptr);
  EXPECT_EQ(frame.CommandAction(7)->toolTip(), "Seven");
}

// A button's picture comes from the drawn copies beside the resource when
// the sizes the screens need are there, else from the style at the
// toolbar's size; names that show the same picture share its files.
TEST_F(ToolkitTest, ToolbarPicturesComeFromTheirCopiesWhenBothSizesExist) {
  const QString folder = ToolBarPictureFolder(QString::fromStdString(WriteResource("tb.xml", "<ToolBar/>")));
  std::filesystem::create_directories(folder.toStdString());
  const QSize size(24, 24);
  for (const auto& [stem, pixels] : std::vector<std::pair<QString, int>>{{"new", 24}, {"new", 48}, {"down", 24},
                                                                          {"down", 48}, {"open", 24}}) {
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(pixels == 24 ? Qt::red : Qt::blue);
    ASSERT_TRUE(image.save(ToolBarPictureFile(folder, stem, pixels)));
  }
  auto colourAt = [&](const QIcon& icon, qreal density) {
    return icon.pixmap(size, density).toImage().pixelColor(3, 3);
  };
  auto styles = [&](const char* name, qreal density) {
    return QApplication::style()->standardIcon(*StandardPixmapOf(name)).pixmap(size, density).toImage();
  };
  ToolBarIcons icons(size, folder, 2);
  EXPECT_EQ(colourAt(icons.Get("new"), 1), QColor(Qt::red));
  EXPECT_EQ(colourAt(icons.Get("new"), 2), QColor(Qt::blue));
  // For screens of normal density only the normal copy is read.
  EXPECT_EQ(colourAt(ToolBarIcons(size, folder, 1).Get("new"), 2), QColor(Qt::red));
  EXPECT_EQ(colourAt(icons.Get("download"), 2), QColor(Qt::blue));
  EXPECT_EQ(icons.Get("download").cacheKey(), icons.Get("down").cacheKey());
  // Only one size drawn: the style's picture, as it would draw it.
  for (const qreal density : {1.0, 2.0}) {
    EXPECT_EQ(icons.Get("open").pixmap(size, density).toImage(), styles("open", density)) << density;
  }
  EXPECT_TRUE(icons.Get("no such picture").isNull());
}

TEST_F(ToolkitTest, RecentFilesGoWhereTheMenuSaysWithTheirIds) {
  TestFrame frame;
  ASSERT_TRUE(frame.LoadMenuBar(QString::fromStdString(WriteResource("m.xml", kMenu))));
  frame.SetRecentFiles({"/p/a.kpx", "/p/b.kpx"});
  QAction* first = frame.CommandAction(kRecentFileFirstId);
  QAction* second = frame.CommandAction(kRecentFileFirstId + 1);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->text(), "&1 a.kpx");
  second->trigger();
  EXPECT_EQ(frame.commands, (std::vector<int>{kRecentFileFirstId + 1}));
  // The entries sit between the popup and "Three", and a new list replaces them.
  QMenu* file = frame.menuBar()->actions()[0]->menu();
  QStringList texts;
  for (QAction* a : file->actions())
    if (!a->isSeparator()) texts << a->text();
  EXPECT_EQ(texts, QStringList({"&One", "Sub", "&1 a.kpx", "&2 b.kpx", "Three"}));
  frame.SetRecentFiles({"/p/c.kpx"});
  EXPECT_EQ(frame.CommandAction(kRecentFileFirstId)->text(), "&1 c.kpx");
  EXPECT_EQ(frame.CommandAction(kRecentFileFirstId + 1), nullptr);
}

TEST_F(ToolkitTest, BarsToggleFromTheirIdsAndDockTitlesShowOneAmpersand) {
  TestFrame frame;
  ASSERT_TRUE(frame.LoadMenuBar(QString::fromStdString(WriteResource("m.xml", kMenu))));
  auto* bar = new DockWindow(&frame);
  ASSERT_TRUE(bar->Create(&frame, 59501, "NA && IO List", 150));
  frame.DockControlBar(bar, Qt::RightDockWidgetArea);
  frame.show();
  EXPECT_EQ(bar->windowTitle(), "NA & IO List");
  EXPECT_EQ(bar->menuTitle(), "NA && IO List");
  EXPECT_EQ(frame.dockWidgetArea(bar), Qt::RightDockWidgetArea);
  EXPECT_TRUE(bar->isVisible());
  frame.CommandAction(59501)->trigger();
  EXPECT_FALSE(bar->isVisible());
  frame.UpdateCommandUI();
  EXPECT_FALSE(frame.CommandAction(59501)->isChecked());
  EXPECT_TRUE(frame.CommandAction(59501)->isEnabled());
  EXPECT_TRUE(frame.commands.empty());  // the frame's own business
}

TEST_F(ToolkitTest, CloseGoesThroughOnCloseUntilTheFrameDestroysItself) {
  TestFrame frame;
  frame.show();
  frame.close();
  EXPECT_EQ(frame.closes, 1);
  EXPECT_TRUE(frame.isVisible());
  frame.allowClose = true;
  frame.close();
  EXPECT_EQ(frame.closes, 2);
  EXPECT_FALSE(frame.isVisible());
}

class FailingBar : public DockWindow {
protected:
  int OnCreate() override { return -1; }
};

TEST_F(ToolkitTest, DockWindowReportsAFailedCreation) {
  TestFrame frame;
  FailingBar bar;
  EXPECT_FALSE(bar.Create(&frame, 59502, "Project Window", 200));
}

TEST_F(ToolkitTest, StatusBarPanesAndLogo) {
  StatusBar bar;
  EXPECT_FALSE(bar.SetIndicators(0));
  ASSERT_TRUE(bar.SetIndicators(4));
  QLabel* logo = bar.AddLogoPane(32772, 0, "Kestun Automation");
  EXPECT_EQ(bar.paneCount(), 5);
  EXPECT_EQ(bar.pane(0), logo);
  EXPECT_EQ(bar.paneById(32772)->text(), "Kestun Automation");
  EXPECT_GE(logo->width(), logo->fontMetrics().horizontalAdvance("Kestun Automation") + 2);
}

// Receives tool-box notifications and posted messages.
class Owner : public QObject {
public:
  struct Seen {
    int message;
    int code;
    int folder;
    int item;
    QVariant data;
  };
  std::vector<Seen> seen;
  bool event(QEvent* e) override {
    if (auto* m = dynamic_cast<WindowMessageEvent*>(e)) {
      if (m->message() == kToolBoxMessage) {
        auto* n = reinterpret_cast<ToolBoxNotify*>(m->lparam());
        seen.push_back({m->message(), static_cast<int>(m->wparam()), n->folder, n->item, n->data});
        if (refuse && m->wparam() != static_cast<std::uintptr_t>(kToolBoxItemClicked)) n->refused = true;
      } else {
        seen.push_back({m->message(), static_cast<int>(m->wparam()), -1, -1, {}});
        if (take) delete reinterpret_cast<int*>(m->TakeLParam());
      }
      return true;
    }
    return QObject::event(e);
  }
  bool take = true;
  bool refuse = false;
};

TEST_F(ToolkitTest, ToolBoxFoldersItemsAndNotifications) {
  ToolBox box;
  Owner owner;
  box.SetOwner(&owner);
  QPixmap red(8, 8);
  red.fill(Qt::red);
  box.SetImageLists({QIcon(red)}, {QIcon(red)});
  EXPECT_EQ(box.AddFolder("Adapters"), 0);
  EXPECT_EQ(box.AddFolder("Digital Input"), 1);
  EXPECT_EQ(box.InsertItem(0, -1, "QMX-4101", 0, "NA1"), 0);
  EXPECT_EQ(box.InsertItem(0, 0, "QMX-4105", 0, "NA2"), 0);
  EXPECT_EQ(box.InsertItem(0, 99, "QMX-4102", 5, "NA3"), 2);
  EXPECT_EQ(box.InsertItem(7, 0, "nowhere", 0), -1);
  EXPECT_EQ(box.ItemCount(0), 3);
  EXPECT_EQ(box.ItemText(0, 0), "QMX-4105");
  EXPECT_FALSE(box.ItemIcon(0, 0).isNull());
  EXPECT_TRUE(box.ItemIcon(0, 2).isNull());  // no picture 5

  EXPECT_TRUE(box.OpenFolder(1));
  EXPECT_EQ(box.openFolder(), 1);
  EXPECT_FALSE(box.OpenFolder(2));

  box.ClickItem(0, 1);
  ASSERT_EQ(owner.seen.size(), 1u);
  EXPECT_EQ(owner.seen[0].code, kToolBoxItemClicked);
  EXPECT_EQ(owner.seen[0].item, 1);
  EXPECT_EQ(owner.seen[0].data.toString(), "NA1");

  // The owner may keep an item or a folder.
  owner.seen.clear();
  owner.refuse = true;
  EXPECT_FALSE(box.RemoveItem(0, 0));
  EXPECT_FALSE(box.RemoveFolder(0));
  EXPECT_EQ(box.ItemCount(0), 3);
  EXPECT_EQ(box.FolderCount(), 2);
  owner.refuse = false;

  owner.seen.clear();
  EXPECT_TRUE(box.RemoveFolder(0));
  ASSERT_EQ(owner.seen.size(), 4u);  // the folder, then its three items
  EXPECT_EQ(owner.seen[0].code, kToolBoxFolderRemoving);
  for (int i = 1; i < 4; ++i) EXPECT_EQ(owner.seen[i].code, kToolBoxItemRemoving);
  EXPECT_EQ(box.FolderCount(), 1);
  EXPECT_EQ(box.FolderText(0), "Digital Input");
}

TEST_F(ToolkitTest, PostedMessagesArriveInOrderAndFreeTheirPayloadWhenUnhandled) {
  static std::atomic<int> freed{0};
  freed = 0;
  auto deleter = [](std::intptr_t p) {
    delete reinterpret_cast<int*>(p);
    ++freed;
  };
  {
    Owner owner;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([&owner, t, deleter] {
        for (int i = 0; i < 50; ++i)
          PostWindowMessage(&owner, kLogRecordMessage, static_cast<std::uintptr_t>(t * 1000 + i),
                            reinterpret_cast<std::intptr_t>(new int(i)), deleter);
      });
    for (auto& th : threads) th.join();
    QCoreApplication::processEvents();
    ASSERT_EQ(owner.seen.size(), 200u);
    int last[4] = {-1, -1, -1, -1};
    for (const auto& s : owner.seen) {
      const int t = s.code / 1000, i = s.code % 1000;
      EXPECT_EQ(i, last[t] + 1);
      last[t] = i;
    }
    EXPECT_EQ(freed.load(), 0);  // the owner took every payload
    owner.take = false;
    PostWindowMessage(&owner, kLogRecordMessage, 0, reinterpret_cast<std::intptr_t>(new int(1)), deleter);
    QCoreApplication::processEvents();
    EXPECT_EQ(freed.load(), 1);  // handled but not taken: freed with the event
    // Still queued when the receiver goes: freed by Qt with the event.
    PostWindowMessage(&owner, kLogRecordMessage, 0, reinterpret_cast<std::intptr_t>(new int(2)), deleter);
  }
  EXPECT_EQ(freed.load(), 2);
  PostWindowMessage(nullptr, kLogRecordMessage, 0, reinterpret_cast<std::intptr_t>(new int(3)), deleter);
  EXPECT_EQ(freed.load(), 3);
}

TEST_F(ToolkitTest, MessageBoxScriptAnswersAndDefaultTitleIsTheProgramTitle) {
  std::vector<MessageBoxRequest> seen;
  SetProgramTitle("QMX-410 Tools");
  auto previous = SetMessageBoxScript([&](const MessageBoxRequest& r) {
    seen.push_back(r);
    return kIdNo;
  });
  EXPECT_EQ(ShowMessageBox(nullptr, "Terminate application?", {}, kMbYesNo | kMbIconQuestion), kIdNo);
  EXPECT_EQ(ShowMessageBox(nullptr, "x", "Other", kMbOk), kIdNo);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].title, "QMX-410 Tools");
  EXPECT_EQ(seen[0].flags, unsigned(kMbYesNo | kMbIconQuestion));
  EXPECT_EQ(seen[1].title, "Other");
  SetMessageBoxScript(previous);
}

TEST_F(ToolkitTest, PlainHeaderMeasuresItsSectionsInItsOwnFont) {
  QStandardItemModel model(0, 2);
  const QString wide = QString(24, QChar('W'));
  model.setHorizontalHeaderLabels({"!", wide});
  QHeaderView stock(Qt::Horizontal);
  PlainHeaderView plain(Qt::Horizontal);
  stock.setModel(&model);
  plain.setModel(&model);
  // The same height as the stock header: no list moves.
  EXPECT_EQ(plain.sizeHint().height(), stock.sizeHint().height());
  // Room for the text as it is drawn, not for its bold cut.
  EXPECT_GE(plain.sectionSizeHint(1), plain.fontMetrics().horizontalAdvance(wide));
  EXPECT_LT(plain.sectionSizeHint(1), stock.sectionSizeHint(1));
  // A size the model gives wins, as with the stock header.
  model.setHeaderData(0, Qt::Horizontal, QSize(77, 30), Qt::SizeHintRole);
  EXPECT_EQ(plain.sectionSizeHint(0), stock.sectionSizeHint(0));
}

}  // namespace
