// The grid widgets under the offscreen platform: mouse and keys open the
// right editor, commits and cancels, the row notification, the painting of
// focused and selected cells, drag and drop.
#include "platform/toolkit/window_messages.h"
#include "tests/widgets_grid/grid_demo.h"
#include "widgets/grid/ComboInListView.h"
#include "widgets/grid/GridCtrl.h"
#include "widgets/grid/GridImages.h"
#include "widgets/grid/ListEditCtrl.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPalette>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace qmx::grid {
namespace {

using demo::DemoRow;
using demo::GridDemoOwner;

void Flush() {
  for (int i = 0; i < 3; ++i) {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

void SendMouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
  QMouseEvent e(type, QPointF(pos), QPointF(w->mapToGlobal(pos)), button, buttons, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &e);
}

QColor Pixel(GridCtrl* grid, QPoint p) { return grid->viewport()->grab().toImage().pixelColor(p); }

// A point inside a cell clear of its text, focus frame and grid lines.
QPoint CellPaintPoint(GridCtrl* grid, int row, int column) {
  const QRect c = grid->GetCellRect(row, column);
  return QPoint(c.left() + 3, c.top() + c.height() / 2);
}

constexpr int kSpeed = 0, kMode = 1, kFolder = 2, kSerial = 3, kGroup = 4, kFixed = 5;

class GridWidget : public ::testing::Test {
protected:
  void SetUp() override { Build(MainProgramGridPolicy()); }

  void Build(const GridPolicy& policy) {
    owner_ = std::make_unique<GridDemoOwner>(policy);
    grid = owner_->grid();
    speed = owner_->AddRow({"Speed", {"10", "rpm"}, {"1,0,100"}});
    mode = owner_->AddRow({"Mode", {"Slow", ""}, {""}});
    GridRowItem* m = grid->GetRowItem(mode);
    m->cellKinds[0] = kCellKindDropDown;
    m->SetChoiceList(0, {"Off", "Slow", "Fast and furious"});
    m->SetItemKey("");
    folder = owner_->AddRow({"Folder", {"/tmp/start", ""}});
    grid->GetRowItem(folder)->cellKinds[0] = kCellKindFolder;
    serial = owner_->AddRow({"Serial", {"9600,8,NOPARITY,1", ""}});
    grid->GetRowItem(serial)->cellKinds[0] = kCellKindSerialSettings;
    grid->GetRowItem(serial)->SetSettingKey("serial_comm_setting");
    group = owner_->AddRow({"Group", {"", ""}});
    child1 = owner_->AddRow({"Child1", {"1", ""}}, group);
    child2 = owner_->AddRow({"Child2", {"2", ""}}, group);
    fixed = owner_->AddRow({"Fixed", {"5", ""}, {}, 1});
    owner_->show();
    QApplication::setActiveWindow(owner_.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(owner_.get()));
    grid->setFocus();
    Flush();
  }

  void TearDown() override {
    owner_.reset();
    Flush();
  }

  void Click(int row, int column) { ClickAt(grid->GetCellRect(row, column).center()); }
  void ClickAt(QPoint p) { QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, p); Flush(); }
  void Key(int key, const QString& text = {}, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : grid;
    QTest::keyClick(target, static_cast<Qt::Key>(key), mods);
    (void)text;
    Flush();
  }
  void Type(const QString& text) {
    QTest::keyClicks(QApplication::focusWidget(), text);
    Flush();
  }
  ListEditCtrl* Editor() const { return grid->viewport()->findChild<ListEditCtrl*>(); }
  ComboInListView* Combo() const { return grid->viewport()->findChild<ComboInListView*>(); }
  std::string Value(GridTreeItem* item) const { return grid->GetCellText(item, 0); }
  demo::RecordingServices& services() { return owner_->services(); }

  std::unique_ptr<GridDemoOwner> owner_;
  GridCtrl* grid = nullptr;
  GridTreeItem *speed, *mode, *folder, *serial, *group, *child1, *child2, *fixed;
};

// Grids share the cut images of a strip; a strip registered again is cut anew.
TEST(GridImagesTest, OneCutPerStripUntilItIsRegisteredAgain) {
  constexpr int kId = 9001;
  QImage strip(32, 16, QImage::Format_ARGB32);
  strip.fill(Qt::red);
  RegisterGridBitmap(kId, strip);
  const std::vector<QPixmap> first = GridImages(kId, 16, GridRgb(255, 0, 0));
  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(first[0].toImage().pixelColor(1, 1).alpha(), 0);  // the mask colour
  const std::vector<QPixmap> second = GridImages(kId, 16, GridRgb(255, 0, 0));
  ASSERT_EQ(second.size(), 2u);
  EXPECT_EQ(second[1].cacheKey(), first[1].cacheKey());
  EXPECT_EQ(GridImages(kId, 16, GridRgb(0, 0, 255))[0].toImage().pixelColor(1, 1), QColor(Qt::red));
  strip.fill(Qt::blue);
  RegisterGridBitmap(kId, strip);
  EXPECT_EQ(GridImages(kId, 16, GridRgb(255, 0, 0))[0].toImage().pixelColor(1, 1), QColor(Qt::blue));
  EXPECT_TRUE(GridImages(kId + 1, 16, GridRgb(255, 0, 0)).empty());
}

TEST_F(GridWidget, ClickOnTheExpandBoxExpandsAndCollapsesWithoutSelecting) {
  ASSERT_EQ(grid->GetItemCount(), 6);
  ClickAt(grid->GetExpandBoxRect(kGroup).center());
  EXPECT_EQ(grid->GetItemCount(), 8);
  EXPECT_EQ(grid->GetRowIndex(child1), kGroup + 1);
  EXPECT_EQ(grid->GetSelectedRow(), -1);
  EXPECT_TRUE(owner_->notifications().empty());
  ClickAt(grid->GetExpandBoxRect(kGroup).center());
  EXPECT_EQ(grid->GetItemCount(), 6);
  EXPECT_EQ(grid->GetRowIndex(child1), -1);
}

TEST_F(GridWidget, DoubleClickOnAParentRowTogglesIt) {
  const QPoint label = grid->GetLabelRect(kGroup).center();
  ClickAt(label);
  QTest::mouseDClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, label);
  Flush();
  EXPECT_EQ(grid->GetItemCount(), 8);
  EXPECT_EQ(grid->GetSelectedRow(), kGroup);
  QTest::mouseDClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, label);
  Flush();
  EXPECT_EQ(grid->GetItemCount(), 6);
}

TEST_F(GridWidget, DoubleClickCollapseGoesBackToTheFirstRow) {
  owner_->resize(420, grid->Header()->height() + 3 * grid->GetRowHeight() + 8);
  Flush();
  ASSERT_LT(grid->GetCountPerPage(), kGroup);
  grid->verticalScrollBar()->setValue(kGroup);
  ClickAt(grid->GetLabelRect(kGroup).center());
  QTest::mouseDClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, grid->GetLabelRect(kGroup).center());
  Flush();
  ASSERT_EQ(grid->GetItemCount(), 8);
  EXPECT_GT(grid->GetTopIndex(), 0);
  QTest::mouseDClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, grid->GetLabelRect(kGroup).center());
  Flush();
  EXPECT_EQ(grid->GetItemCount(), 6);
  EXPECT_EQ(grid->GetTopIndex(), 0);
}

TEST_F(GridWidget, CellsAreReachableThroughTheAccessibleTable) {
  QAccessibleInterface* table = QAccessible::queryAccessibleInterface(grid);
  ASSERT_NE(table, nullptr);
  QAccessibleTableInterface* t = table->tableInterface();
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(table->role(), QAccessible::Table);
  EXPECT_EQ(t->rowCount(), 6);
  EXPECT_EQ(t->columnCount(), 3);
  EXPECT_EQ(table->childCount(), 18);
  EXPECT_EQ(t->columnDescription(1), "Value");
  struct Cell {
    int row, column;
    const char *name, *description;
    bool readOnly;
  } cells[] = {{kSpeed, 0, "Speed", "", false},
               {kSpeed, 1, "10", "Integer. Must be 0 ~ 100.", false},
               {kSpeed, 2, "rpm", "", true},
               {kFixed, 1, "5", "", true}};
  for (const Cell& c : cells) {
    QAccessibleInterface* cell = t->cellAt(c.row, c.column);
    ASSERT_NE(cell, nullptr) << c.name;
    EXPECT_EQ(cell->role(), QAccessible::Cell);
    EXPECT_EQ(cell->text(QAccessible::Name).toStdString(), c.name);
    EXPECT_EQ(cell->text(QAccessible::Description).toStdString(), c.description);
    EXPECT_EQ(cell->state().readOnly, c.readOnly) << c.name;
    EXPECT_EQ(table->indexOfChild(cell), c.row * 3 + c.column);
    EXPECT_EQ(table->childAt(cell->rect().center().x(), cell->rect().center().y()), cell) << c.name;
  }
  // Focusing a cell selects its row as a click does; the owner hears of it.
  QAccessibleInterface* value = t->cellAt(kSpeed, 1);
  value->actionInterface()->doAction(QAccessibleActionInterface::setFocusAction());
  EXPECT_EQ(grid->GetSelectedRow(), kSpeed);
  EXPECT_EQ(grid->GetFocusedColumn(), 1);
  EXPECT_EQ(owner_->notifications().size(), 1u);
  EXPECT_EQ(table->focusChild(), value);
  // A branch opens through its first cell.
  QAccessibleInterface* groupCell = t->cellAt(kGroup, 0);
  EXPECT_TRUE(groupCell->state().collapsed);
  groupCell->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
  EXPECT_EQ(t->rowCount(), 8);
  EXPECT_TRUE(groupCell->state().expanded);
  EXPECT_EQ(t->cellAt(kGroup + 1, 0)->text(QAccessible::Name), "Child1");
}

TEST_F(GridWidget, ClickOnAPlainCellSelectsTheRowAndOpensNoEditor) {
  Click(kSpeed, 1);
  EXPECT_EQ(grid->GetSelectedRow(), kSpeed);
  EXPECT_EQ(grid->GetFocusedColumn(), 1);
  EXPECT_EQ(Editor(), nullptr);
  EXPECT_EQ(Combo(), nullptr);
  ASSERT_EQ(owner_->notifications().size(), 1u);
  EXPECT_EQ(owner_->notifications()[0], grid->GetRowItem(speed));
}

TEST_F(GridWidget, NotificationOncePerNewlySelectedRow) {
  Click(kSpeed, 0);
  Click(kSpeed, 0);
  Click(kSpeed, 2);
  EXPECT_EQ(owner_->notifications().size(), 1u);
  Key(Qt::Key_Down);
  Key(Qt::Key_Down);
  ASSERT_EQ(owner_->notifications().size(), 3u);
  EXPECT_EQ(owner_->notifications()[1], grid->GetRowItem(mode));
  EXPECT_EQ(owner_->notifications()[2], grid->GetRowItem(folder));
  Key(Qt::Key_Up);
  EXPECT_EQ(owner_->notifications().size(), 4u);
  EXPECT_EQ(grid->GetSelectedRow(), kMode);
}

// How an edit of the Speed value, opened by Return, ends: which keys and
// clicks keep what was typed, where the selection goes, what the owner hears.
TEST_F(GridWidget, HowAnEditOfAValueEnds) {
  enum class End { kReturn, kEscape, kDown, kClickElsewhere };
  struct Case {
    const char* what;
    End end;
    const char* typed;
    const char* value;  // the cell afterwards
    int selectedRow;
    size_t notifications;
    bool changed;         // the owner is handed the new value
    const char* logLine;  // the hint of a refused value
  };
  const Case cases[] = {
      {"Return commits", End::kReturn, "42", "42", kSpeed, 1, true, nullptr},
      {"Escape cancels", End::kEscape, "77", "10", kSpeed, 1, false, nullptr},
      {"Down commits and moves the selection", End::kDown, "55", "55", kMode, 2, true, nullptr},
      {"a click elsewhere commits", End::kClickElsewhere, "33", "33", kFixed, 2, true, nullptr},
      {"a value outside its range keeps the old text", End::kReturn, "150", "10", kSpeed, 1, false,
       "UpdateListViewItem. Invalid item: Speed.  Integer. Must be 0 ~ 100."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    owner_.reset();
    Build(MainProgramGridPolicy());
    demo::LogCapture log;
    Click(kSpeed, 1);
    Key(Qt::Key_Return);
    ListEditCtrl* editor = Editor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->ControlId(), kEditOtherColumnId);
    EXPECT_EQ(editor->accessibleName(), "Value");
    EXPECT_EQ(editor->text(), "10");
    EXPECT_EQ(editor->selectedText(), "10");
    EXPECT_EQ(editor->geometry().left(), grid->GetCellRect(kSpeed, 1).left());
    Type(c.typed);
    switch (c.end) {
      case End::kReturn: Key(Qt::Key_Return); break;
      case End::kEscape: Key(Qt::Key_Escape); break;
      case End::kDown: Key(Qt::Key_Down); break;
      case End::kClickElsewhere: Click(kFixed, 0); break;
    }
    EXPECT_EQ(Editor(), nullptr);
    EXPECT_EQ(Value(speed), c.value);
    EXPECT_EQ(grid->GetSelectedRow(), c.selectedRow);
    ASSERT_EQ(owner_->notifications().size(), c.notifications);
    EXPECT_EQ(owner_->notifications().back(), grid->GetRowItem(grid->GetTreeItem(c.selectedRow)));
    ASSERT_EQ(services().changes.size(), c.changed ? 1u : 0u);
    if (c.changed) {
      EXPECT_EQ(services().changes[0].gridName, "Parameters");
      EXPECT_EQ(services().changes[0].key, "Speed");
      EXPECT_EQ(services().changes[0].value, c.value);
      EXPECT_EQ(services().changes[0].owner, owner_->OwnerObject());
    }
    if (c.end != End::kClickElsewhere) {
      EXPECT_TRUE(grid->hasFocus());
    }
    ASSERT_EQ(log.lines.size(), c.logLine ? 1u : 0u);
    if (c.logLine) {
      EXPECT_EQ(log.lines[0].category, 0);
      EXPECT_EQ(log.lines[0].source, "QMX-410Tools");
      EXPECT_EQ(log.lines[0].text, c.logLine);
    }
  }
}

TEST_F(GridWidget, UpFromAnEditOfTheFirstColumnMovesOneRowUp) {
  Click(kMode, 0);
  Key(Qt::Key_Return);
  ASSERT_NE(Editor(), nullptr);
  EXPECT_EQ(Editor()->ControlId(), kEditFirstColumnId);
  Key(Qt::Key_Up);
  EXPECT_EQ(Editor(), nullptr);
  EXPECT_EQ(grid->GetSelectedRow(), kSpeed);
}

// A window the system has not activated (a virtual X server without a window
// manager) gets no focus events: the keys that end an edit must end it anyway.
TEST_F(GridWidget, KeysEndTheEditInAnInactiveWindow) {
  QWidget other;
  other.show();
  QApplication::setActiveWindow(&other);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  struct Case {
    Qt::Key key;
    const char* typed;
    const char* value;
  };
  const Case cases[] = {{Qt::Key_Return, "42", "42"}, {Qt::Key_Escape, "99", "42"}, {Qt::Key_Down, "43", "43"}};
  for (const Case& c : cases) {
    Click(kSpeed, 1);
    QTest::keyClick(grid, Qt::Key_Return);
    Flush();
    ListEditCtrl* editor = Editor();
    ASSERT_NE(editor, nullptr) << c.key;
    editor->setText(c.typed);
    QTest::keyClick(editor, c.key);
    Flush();
    EXPECT_EQ(Editor(), nullptr) << c.key;
    EXPECT_EQ(Value(speed), c.value) << c.key;
  }
}

TEST_F(GridWidget, TypingADigitOpensTheEditorWithThatDigit) {
  Click(kSpeed, 1);
  Key(Qt::Key_7);
  ListEditCtrl* editor = Editor();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->text(), "7");
  Type("5");
  Key(Qt::Key_Return);
  EXPECT_EQ(Value(speed), "75");
}

// Typed keys open an editor on an editable value cell only.
TEST_F(GridWidget, WhatATypedKeyOpens) {
  struct Case {
    const char* what;
    int row, column;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    const char* editorText;  // null: no editor
  };
  const Case cases[] = {
      {"a digit on a value", kSpeed, 1, Qt::Key_7, Qt::NoModifier, "7"},
      {"the keypad's minus on a value starts a negative number", kSpeed, 1, Qt::Key_Minus, Qt::KeypadModifier, "-"},
      {"a digit on the first column", kSpeed, 0, Qt::Key_7, Qt::NoModifier, nullptr},
      {"a digit on a read-only row", kFixed, 1, Qt::Key_7, Qt::NoModifier, nullptr},
      {"Return on a read-only row", kFixed, 1, Qt::Key_Return, Qt::NoModifier, nullptr},
      {"a digit on the read-only column", kSpeed, 2, Qt::Key_7, Qt::NoModifier, nullptr},
      {"Return on the read-only column", kSpeed, 2, Qt::Key_Return, Qt::NoModifier, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Click(c.row, c.column);
    Key(c.key, {}, c.modifiers);
    if (!c.editorText) {
      EXPECT_EQ(Editor(), nullptr);
      continue;
    }
    ASSERT_NE(Editor(), nullptr);
    EXPECT_EQ(Editor()->text(), c.editorText);
    Key(Qt::Key_Escape);
  }
  EXPECT_EQ(grid->GetRowItem(speed)->firstText, "Speed");
  EXPECT_EQ(Value(speed), "10");
}

TEST_F(GridWidget, LeftAndRightStopAtTheColumnLimits) {
  Click(kSpeed, 0);
  Key(Qt::Key_Left);
  EXPECT_EQ(grid->GetFocusedColumn(), 0);
  Key(Qt::Key_Right);
  Key(Qt::Key_Right);
  EXPECT_EQ(grid->GetFocusedColumn(), 2);
  Key(Qt::Key_Right);
  EXPECT_EQ(grid->GetFocusedColumn(), 2);
  Key(Qt::Key_Left);
  EXPECT_EQ(grid->GetFocusedColumn(), 1);
}

TEST_F(GridWidget, ClickOnADropDownCellOpensTheListAndAChoiceCommits) {
  Click(kMode, 1);
  ComboInListView* combo = Combo();
  ASSERT_NE(combo, nullptr);
  EXPECT_EQ(combo->ControlId(), kInPlaceListId);
  EXPECT_EQ(combo->accessibleName(), "Value");
  EXPECT_EQ(combo->count(), 3);
  EXPECT_EQ(combo->currentIndex(), 1);  // the entry that begins with "Slow"
  const QRect cell = grid->GetCellRect(kMode, 1);
  EXPECT_EQ(combo->DropDownRect().height(), 11 * cell.height());
  EXPECT_GE(combo->DropDownRect().width(), cell.width());
  const int widest = QFontMetrics(combo->font()).horizontalAdvance("Fast and furious");
  EXPECT_EQ(combo->HorizontalExtent(), widest + 6);
  ASSERT_TRUE(combo->view()->isVisible());
  QTest::keyClick(combo->view(), Qt::Key_Down);
  QTest::keyClick(combo->view(), Qt::Key_Return);
  Flush();
  EXPECT_EQ(Combo(), nullptr);
  EXPECT_EQ(Value(mode), "Fast and furious");
  ASSERT_EQ(services().changes.size(), 1u);
  // An empty item key hands the chosen index to the owner object.
  EXPECT_EQ(services().changes[0].key, "2");
  EXPECT_EQ(services().changes[0].value, "Fast and furious");
  EXPECT_TRUE(grid->hasFocus());
}

TEST_F(GridWidget, EscapeInTheDropDownListLeavesTheCell) {
  Click(kMode, 1);
  ComboInListView* combo = Combo();
  ASSERT_NE(combo, nullptr);
  QTest::keyClick(combo->view(), Qt::Key_Down);
  QTest::keyClick(combo->view(), Qt::Key_Escape);
  Flush();
  EXPECT_EQ(Combo(), nullptr);
  EXPECT_EQ(Value(mode), "Slow");
  EXPECT_TRUE(services().changes.empty());
}

TEST_F(GridWidget, ReturnOnADropDownCellOpensTheList) {
  Click(kMode, 0);
  Key(Qt::Key_Right);
  Key(Qt::Key_Return);
  EXPECT_NE(Combo(), nullptr);
  EXPECT_EQ(Editor(), nullptr);
}

TEST_F(GridWidget, FolderCellOpensTheChooserOnlyFromItsButton) {
  const QRect cell = grid->GetCellRect(kFolder, 1);
  ClickAt(QPoint(cell.left() + 8, cell.center().y()));
  EXPECT_EQ(services().folderCalls, 0);
  ClickAt(grid->GetButtonRect(kFolder, 1).center());
  ASSERT_EQ(services().folderCalls, 1);
  EXPECT_EQ(services().lastFolderCaption, "Select a folder...");
  EXPECT_EQ(services().lastFolderInstruction, "Folder");
  EXPECT_EQ(services().lastFolderStart, "/tmp/start");
  EXPECT_EQ(Value(folder), "/tmp/chosen");
  EXPECT_TRUE(services().changes.empty());
  // Declined: nothing changes.
  services().folderAnswer = false;
  ClickAt(grid->GetButtonRect(kFolder, 1).center());
  EXPECT_EQ(Value(folder), "/tmp/chosen");
}

TEST_F(GridWidget, SerialCellOpensTheSettingsDialogFromItsButton) {
  const QRect cell = grid->GetCellRect(kSerial, 1);
  ClickAt(QPoint(cell.left() + 8, cell.center().y()));
  EXPECT_EQ(services().serialCalls, 0);
  ClickAt(grid->GetButtonRect(kSerial, 1).center());
  ASSERT_EQ(services().serialCalls, 1);
  EXPECT_EQ(services().lastSerialPreset, "9600,8,NOPARITY,1");
  EXPECT_EQ(Value(serial), "19200,8,NOPARITY,1");
  ASSERT_EQ(services().changes.size(), 1u);
  EXPECT_EQ(services().changes[0].key, "Serial");
  EXPECT_EQ(services().changes[0].value, "19200,8,NOPARITY,1");
  // Without the setting key the button opens nothing.
  grid->GetRowItem(serial)->SetSettingKey("OTHER");
  ClickAt(grid->GetButtonRect(kSerial, 1).center());
  EXPECT_EQ(services().serialCalls, 1);
}

TEST_F(GridWidget, ReturnF4AltDownAndThePressActionOpenTypedEditorsWithoutTheMouse) {
  Click(kSerial, 0);
  Key(Qt::Key_Right);
  Key(Qt::Key_Return);
  EXPECT_EQ(services().serialCalls, 1);
  Key(Qt::Key_F4);
  EXPECT_EQ(services().serialCalls, 2);
  EXPECT_EQ(Editor(), nullptr);
  Key(Qt::Key_Up);
  Key(Qt::Key_Down, {}, Qt::AltModifier);
  EXPECT_EQ(services().folderCalls, 1);
  Key(Qt::Key_Return);
  EXPECT_EQ(services().folderCalls, 2);
  EXPECT_EQ(grid->GetSelectedRow(), kFolder);
  QAccessibleInterface* mode = QAccessible::queryAccessibleInterface(grid)->tableInterface()->cellAt(kMode, 1);
  mode->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_NE(Combo(), nullptr);
  // A plain cell of a read-only row stays closed.
  Click(kFixed, 1);
  Key(Qt::Key_F4);
  EXPECT_EQ(Editor(), nullptr);
}

TEST_F(GridWidget, DeleteKeyRemovesTheSelectedBranchOnlyWhenEnabled) {
  ClickAt(grid->GetExpandBoxRect(kGroup).center());
  Click(kGroup, 0);
  grid->deletionEnabled = 0;
  Key(Qt::Key_Delete);
  EXPECT_EQ(grid->GetTotalItemCount(), 8);
  grid->deletionEnabled = 1;
  Key(Qt::Key_Delete);
  EXPECT_EQ(grid->GetTotalItemCount(), 5);
  EXPECT_EQ(grid->GetItemCount(), 5);
  EXPECT_EQ(grid->GetSelectedRow(), kGroup);  // Fixed moved up into the row
  EXPECT_EQ(grid->GetSelectedItem(), fixed);
}

TEST_F(GridWidget, KeypadKeysExpandAndCollapse) {
  Click(kGroup, 0);
  Key(Qt::Key_Plus, {}, Qt::KeypadModifier);
  EXPECT_EQ(grid->GetItemCount(), 8);
  Key(Qt::Key_Minus, {}, Qt::KeypadModifier);
  EXPECT_EQ(grid->GetItemCount(), 6);
  Key(Qt::Key_Asterisk, {}, Qt::KeypadModifier);
  EXPECT_EQ(grid->GetItemCount(), 8);
  // On a value cell the keypad's minus starts a number (WhatATypedKeyOpens), the branch stays.
  Click(kSpeed, 1);
  Key(Qt::Key_Minus, {}, Qt::KeypadModifier);
  Key(Qt::Key_Escape);
  EXPECT_EQ(grid->GetItemCount(), 8);
}

TEST_F(GridWidget, FocusedAndSelectedCellColours) {
  const QColor highlight = grid->palette().color(QPalette::Active, QPalette::Highlight);
  Click(kSpeed, 1);
  grid->viewport()->repaint();
  EXPECT_EQ(Pixel(grid, CellPaintPoint(grid, kSpeed, 1)), QColor(0, 192, 0));  // editable, focused
  EXPECT_EQ(Pixel(grid, CellPaintPoint(grid, kSpeed, 2)), highlight);         // selected, not focused
  EXPECT_EQ(Pixel(grid, CellPaintPoint(grid, kMode, 1)), QColor(255, 255, 255));  // editable column
  EXPECT_EQ(Pixel(grid, CellPaintPoint(grid, kMode, 2)), QColor(243, 243, 243));  // read-only column
  Key(Qt::Key_Right);
  EXPECT_EQ(Pixel(grid, CellPaintPoint(grid, kSpeed, 2)), QColor(192, 0, 0));  // read-only, focused
  // A read-only row's editable cell shows the read-only colour.
  Click(kFixed, 1);
  EXPECT_EQ(Pixel(grid, CellPaintPoint(grid, kFixed, 1)), QColor(192, 0, 0));
  // The first column's label.
  Click(kSpeed, 0);
  const QRect label = grid->GetLabelRect(kSpeed);
  EXPECT_EQ(Pixel(grid, QPoint(label.right() - 3, label.center().y())), QColor(192, 0, 0));
}

TEST_F(GridWidget, UnselectedTextColours) {
  // Editable cells are written in blue, read-only rows and columns in black.
  const QImage image = grid->viewport()->grab().toImage();
  auto hasColour = [&image](QRect r, QColor c) {
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x <= r.right(); ++x)
        if (image.pixelColor(x, y) == c) return true;
    return false;
  };
  EXPECT_TRUE(hasColour(grid->GetCellRect(kSpeed, 1), QColor(0, 0, 255)));
  EXPECT_FALSE(hasColour(grid->GetCellRect(kFixed, 1), QColor(0, 0, 255)));
  EXPECT_FALSE(hasColour(grid->GetCellRect(kSpeed, 2), QColor(0, 0, 255)));
  // Focused without a selected row, the first row is framed.
  const QRect first = grid->GetCellRect(kSpeed, 1);
  EXPECT_TRUE(hasColour(QRect(first.left(), first.top(), first.width(), 1), QColor(0, 0, 0)));
}

TEST_F(GridWidget, DragMovesABranchBelowTheTarget) {
  ClickAt(grid->GetExpandBoxRect(kGroup).center());  // Group Child1 Child2 shown
  const int child = grid->GetRowIndex(child2);
  QWidget* vp = grid->viewport();
  const QPoint from = grid->GetLabelRect(child).center();
  const QPoint to = grid->GetLabelRect(kSpeed).center();
  SendMouse(vp, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  SendMouse(vp, QEvent::MouseMove, from + QPoint(0, 12), Qt::NoButton, Qt::LeftButton);
  ASSERT_TRUE(grid->IsDragging());
  SendMouse(vp, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(grid->GetDropTargetRow(), kSpeed);
  SendMouse(vp, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
  Flush();
  EXPECT_FALSE(grid->IsDragging());
  EXPECT_EQ(child2->parent, speed);
  EXPECT_EQ(grid->GetSelectedItem(), speed);
  EXPECT_EQ(grid->GetTotalItemCount(), 8);
  EXPECT_EQ(grid->GetRowIndex(child2), kSpeed + 1);  // a leaf target shows the branch at once
}

TEST_F(GridWidget, NoDragWhenTheGridIsNotEditable) {
  grid->SetEditable(0);
  ClickAt(grid->GetExpandBoxRect(kGroup).center());
  const QPoint from = grid->GetLabelRect(grid->GetRowIndex(child1)).center();
  SendMouse(grid->viewport(), QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  SendMouse(grid->viewport(), QEvent::MouseMove, from + QPoint(0, 30), Qt::NoButton, Qt::LeftButton);
  EXPECT_FALSE(grid->IsDragging());
  SendMouse(grid->viewport(), QEvent::MouseButtonRelease, from + QPoint(0, 30), Qt::LeftButton, Qt::NoButton);
}

TEST_F(GridWidget, RightButtonDuringADragEndsIt) {
  ClickAt(grid->GetExpandBoxRect(kGroup).center());
  const QPoint from = grid->GetLabelRect(grid->GetRowIndex(child1)).center();
  QWidget* vp = grid->viewport();
  SendMouse(vp, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  SendMouse(vp, QEvent::MouseMove, from + QPoint(0, 12), Qt::NoButton, Qt::LeftButton);
  ASSERT_TRUE(grid->IsDragging());
  SendMouse(vp, QEvent::MouseMove, grid->GetLabelRect(kSpeed).center(), Qt::NoButton, Qt::RightButton);
  EXPECT_FALSE(grid->IsDragging());
  SendMouse(vp, QEvent::MouseButtonRelease, grid->GetLabelRect(kSpeed).center(), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(child1->parent, group);
}

TEST_F(GridWidget, HoveringACollapsedBranchDuringADragExpandsIt) {
  // Drag Child1 of an expanded second group over the collapsed Group.
  GridTreeItem* other = owner_->AddRow({"Other", {"", ""}});
  GridTreeItem* moving = owner_->AddRow({"Moving", {"", ""}}, other);
  grid->ExpandBranch(other);
  grid->Collapse(group);
  const QPoint from = grid->GetLabelRect(grid->GetRowIndex(moving)).center();
  const QPoint over = grid->GetLabelRect(kGroup).center();
  QWidget* vp = grid->viewport();
  SendMouse(vp, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  SendMouse(vp, QEvent::MouseMove, from + QPoint(0, -12), Qt::NoButton, Qt::LeftButton);
  SendMouse(vp, QEvent::MouseMove, over, Qt::NoButton, Qt::LeftButton);
  ASSERT_TRUE(grid->IsDragging());
  EXPECT_EQ(grid->GetRowIndex(child1), -1);
  QTest::qWait(450);
  EXPECT_GE(grid->GetRowIndex(child1), 0);
  SendMouse(vp, QEvent::MouseButtonRelease, over, Qt::LeftButton, Qt::NoButton);
  Flush();
  EXPECT_EQ(moving->parent, group);
}

TEST_F(GridWidget, TypingPastTheEditBoxWidensItUpToTheGridEdge) {
  Click(kSpeed, 1);
  Key(Qt::Key_Return);
  ListEditCtrl* editor = Editor();
  ASSERT_NE(editor, nullptr);
  const int before = editor->width();
  Type("1234567890123456789012345678901234567890");
  ASSERT_EQ(Editor(), editor);
  EXPECT_GT(editor->width(), before);
  EXPECT_LE(editor->x() + editor->width(), grid->viewport()->width());
  Key(Qt::Key_Escape);
}

TEST_F(GridWidget, SelectItemOnALaterRootSelectsItsRow) {
  EXPECT_EQ(grid->SelectItem(fixed), kFixed);
  EXPECT_EQ(grid->GetSelectedItem(), fixed);
  EXPECT_EQ(grid->SelectItem(child2), kGroup + 2);
  EXPECT_EQ(grid->GetSelectedItem(), child2);
}

TEST_F(GridWidget, OwnerMayRebuildTheGridWhileHandlingTheNotification) {
  // A handler that empties and refills the grid must not leave the grid
  // touching freed rows.
  class Rebuilder : public QObject {
  public:
    GridCtrl* grid = nullptr;
    int calls = 0;
    bool event(QEvent* e) override {
      if (e->type() != toolkit::EventTypeOf(toolkit::kGridRowMessage)) return QObject::event(e);
      if (++calls == 1) {
        grid->DeleteAllItems();
        grid->InsertRow(new GridRowItem("fresh"));
      }
      return true;
    }
  } rebuilder;
  rebuilder.grid = grid;
  grid->SetOwnerInfo("Parameters", &rebuilder);
  Click(kSerial, 1);
  EXPECT_EQ(rebuilder.calls, 1);
  EXPECT_EQ(grid->GetItemCount(), 1);
  EXPECT_EQ(services().serialCalls, 0);
  grid->SetOwnerInfo("Parameters", nullptr);
}

TEST_F(GridWidget, AnEditGoesToItsRowEvenWhenRowsMoveMeanwhile) {
  GridTreeItem* tail = owner_->AddRow({"Tail", {"1", ""}, {"1,0,100"}});
  const int row = grid->GetRowIndex(tail);
  Click(row, 1);
  Key(Qt::Key_Return);
  ASSERT_NE(Editor(), nullptr);
  // A refresh shows more rows above the one being edited.
  grid->Expand(group, kGroup);
  ASSERT_EQ(grid->GetRowIndex(tail), row + 2);
  Type("9");
  Key(Qt::Key_Return);
  EXPECT_EQ(Value(tail), "9");
  EXPECT_EQ(Value(child2), "2");
  EXPECT_EQ(Value(fixed), "5");
}

TEST_F(GridWidget, AnEditOfARowThatWentMeanwhileIsDropped) {
  Click(kSpeed, 1);
  Key(Qt::Key_Return);
  ASSERT_NE(Editor(), nullptr);
  grid->DeleteItem(speed, kSpeed);
  Type("9");
  Key(Qt::Key_Return);
  EXPECT_EQ(Editor(), nullptr);
  EXPECT_TRUE(services().changes.empty());
  EXPECT_EQ(Value(mode), "Slow");
}

TEST_F(GridWidget, RedrawOffNests) {
  EXPECT_TRUE(grid->IsRedrawOn());
  grid->SetRedraw(false);
  grid->SetRedraw(false);
  grid->SetRedraw(true);
  EXPECT_FALSE(grid->IsRedrawOn());
  grid->DeleteAllItems();  // switches redraw off and on around its own work
  EXPECT_FALSE(grid->IsRedrawOn());
  grid->SetRedraw(true);
  EXPECT_TRUE(grid->IsRedrawOn());
  grid->SetRedraw(true);
  EXPECT_TRUE(grid->IsRedrawOn());
}

TEST_F(GridWidget, EscapeDuringADragEndsIt) {
  ClickAt(grid->GetExpandBoxRect(kGroup).center());
  const QPoint from = grid->GetLabelRect(grid->GetRowIndex(child1)).center();
  QWidget* vp = grid->viewport();
  SendMouse(vp, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  SendMouse(vp, QEvent::MouseMove, from + QPoint(0, 12), Qt::NoButton, Qt::LeftButton);
  ASSERT_TRUE(grid->IsDragging());
  QTest::keyClick(grid, Qt::Key_Escape);
  EXPECT_FALSE(grid->IsDragging());
  SendMouse(vp, QEvent::MouseButtonRelease, grid->GetLabelRect(kSpeed).center(), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(child1->parent, group);
}

TEST_F(GridWidget, DraggingInTheBottomBandScrollsTheList) {
  for (int i = 0; i < 40; ++i) owner_->AddRow({"Extra" + std::to_string(i), {"", ""}});
  Flush();
  ASSERT_EQ(grid->GetTopIndex(), 0);
  ClickAt(grid->GetExpandBoxRect(kGroup).center());
  const QPoint from = grid->GetLabelRect(grid->GetRowIndex(child1)).center();
  const QPoint band(from.x(), grid->viewport()->height() - 3);
  QWidget* vp = grid->viewport();
  SendMouse(vp, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  SendMouse(vp, QEvent::MouseMove, from + QPoint(0, 12), Qt::NoButton, Qt::LeftButton);
  SendMouse(vp, QEvent::MouseMove, band, Qt::NoButton, Qt::LeftButton);
  ASSERT_TRUE(grid->IsDragging());
  QTest::qWait(1000);
  EXPECT_GT(grid->GetTopIndex(), 0);
  SendMouse(vp, QEvent::MouseButtonRelease, band, Qt::LeftButton, Qt::NoButton);
  Flush();
  EXPECT_FALSE(grid->IsDragging());
}

TEST_F(GridWidget, ShortenedTextIsLeftAlignedEvenInARightAlignedColumn) {
  GridCtrl right;
  right.InsertColumns(0, {{"Name", 60, 1}, {"Value", 90, 1}}, 0, 0, 161, 150, GridRgb(255, 255, 255),
                      kGridAlignRight, 1);
  GridRowItem* shortRow = new GridRowItem("a");
  shortRow->AddColumnText("12");
  GridRowItem* longRow = new GridRowItem("b");
  longRow->AddColumnText("123456789012345678901234567890");
  right.InsertRow(shortRow);
  right.InsertRow(longRow);
  right.resize(200, 120);
  right.show();
  Flush();
  const QImage image = right.viewport()->grab().toImage();
  auto darkInLeftHalf = [&](int row) {
    const QRect cell = right.GetCellRect(row, 1);
    for (int y = cell.top(); y < cell.top() + cell.height(); ++y)
      for (int x = cell.left() + 2; x < cell.left() + cell.width() / 2; ++x)
        if (image.pixelColor(x, y).lightness() < 128) return true;
    return false;
  };
  EXPECT_FALSE(darkInLeftHalf(0));
  EXPECT_TRUE(darkInLeftHalf(1));
}

TEST_F(GridWidget, CheckBoxesFollowSpaceAndClicks) {
  GridCtrl checks;
  checks.InsertColumns(kGridExCheckBoxes, {{"Name", 160, 1}, {"Value", 90, 1}}, 0, 0, 161, 150,
                       GridRgb(255, 255, 255), kGridAlignLeft, 1);
  GridTreeItem* item = checks.InsertRow(new GridRowItem("option"));
  checks.resize(300, 120);
  checks.show();
  checks.setFocus();
  Flush();
  checks.SetSelectedRow(0);
  QTest::keyClick(&checks, Qt::Key_Space);
  EXPECT_EQ(checks.GetRowItem(item)->checkFlag, 1);
  const QRect icon = checks.GetIconRect(0);
  const QPoint box(icon.left() + icon.width() + 6, icon.center().y());
  ASSERT_EQ(checks.HitTest(box).flags, unsigned(kHitOnStateIcon));
  QTest::mouseClick(checks.viewport(), Qt::LeftButton, Qt::NoModifier, box);
  EXPECT_EQ(checks.GetRowItem(item)->checkFlag, 0);
}

class DriverGridWidget : public GridWidget {
protected:
  void SetUp() override { Build(DriverGridPolicy()); }
};

TEST_F(DriverGridWidget, FocusedCellIsRedOnEveryCell) {
  Click(kSpeed, 1);
  EXPECT_EQ(Pixel(grid, CellPaintPoint(grid, kSpeed, 1)), QColor(192, 0, 0));
  Click(kFixed, 1);
  EXPECT_EQ(Pixel(grid, CellPaintPoint(grid, kFixed, 1)), QColor(192, 0, 0));
}

TEST_F(DriverGridWidget, FolderAndSerialButtonsOpenNothing) {
  ClickAt(grid->GetButtonRect(kFolder, 1).center());
  ClickAt(grid->GetButtonRect(kSerial, 1).center());
  Click(kFolder, 1);
  Key(Qt::Key_F4);
  EXPECT_EQ(services().folderCalls, 0);
  EXPECT_EQ(services().serialCalls, 0);
  Click(kMode, 1);
  EXPECT_NE(Combo(), nullptr);
}

TEST_F(DriverGridWidget, EditsUseTheDriversChecksAndReachNoOwner) {
  demo::LogCapture log;
  Click(kSpeed, 1);
  Key(Qt::Key_Return);
  Type("007");
  Key(Qt::Key_Return);
  EXPECT_EQ(Value(speed), "007");
  Key(Qt::Key_Return);
  Type("150");
  Key(Qt::Key_Return);
  EXPECT_EQ(Value(speed), "007");
  Key(Qt::Key_Return);
  Key(Qt::Key_Backspace);
  Key(Qt::Key_Return);
  EXPECT_EQ(Value(speed), "");
  EXPECT_TRUE(services().changes.empty());
  EXPECT_TRUE(log.lines.empty());
}

TEST(GridImages, UnknownBitmapsAreReportedAndLeaveTheGridWithoutIcons) {
  demo::LogCapture log;
  GridCtrl grid;
  EXPECT_FALSE(grid.CreateImgList(999, 16, GridRgb(255, 255, 255), 150, 16));
  EXPECT_EQ(log.resourceLackCodes, std::vector<int>{kErrImageList});
  EXPECT_FALSE(grid.CreateImgList(161, 16, GridRgb(255, 255, 255), 998, 16));
  EXPECT_EQ(log.resourceLackCodes, (std::vector<int>{kErrImageList, kErrSubItemImageList}));
  GridCtrl quiet(nullptr, DriverGridPolicy());
  EXPECT_FALSE(quiet.CreateImgList(999, 16, GridRgb(255, 255, 255), 150, 16));
  EXPECT_EQ(log.resourceLackCodes.size(), 2u);
}

TEST(GridImages, OnePixelImagesMakeAFlatList) {
  GridCtrl grid;
  ASSERT_TRUE(grid.InsertColumns(kGridExGridLines, {{"Property", 120, 1}, {"Value", 100, 0}}, 1, 0, 163, 163,
                                 GridRgb(0, 255, 255), kGridAlignLeft, 1));
  EXPECT_EQ(grid.GetIconWidth(), 1);
  EXPECT_EQ(grid.GetIconHeight(), 16);
  GridTreeItem* parent = grid.InsertRow(new GridRowItem("General"));
  GridTreeItem* child = grid.InsertRow(new GridRowItem("Name"), parent);
  grid.ExpandAll();
  const int row = grid.GetRowIndex(child);
  ASSERT_EQ(row, 1);
  EXPECT_EQ(grid.GetLabelRect(row).left() - grid.GetLabelRect(0).left(), 1);
}

TEST(GridCtrlRows, FindAndReadRowsByText) {
  GridDemoOwner owner;
  GridCtrl* grid = owner.grid();
  GridTreeItem* a = owner.AddRow({"Adapter", {"TCP", "x"}});
  GridTreeItem* m1 = owner.AddRow({"Module", {"DI", " 8 "}}, a);
  GridTreeItem* m2 = owner.AddRow({"Module", {"DO", "8"}}, a);
  owner.AddRow({"Module", {"AI", "2"}});
  grid->ExpandAll();
  EXPECT_EQ(grid->FindItem("Module"), m1);
  EXPECT_EQ(grid->FindItem("Module", {"do"}), m2);
  EXPECT_EQ(grid->FindItem("Module", {"do", "9"}), nullptr);
  EXPECT_EQ(grid->FindItem("module"), nullptr);
  EXPECT_EQ(grid->FindItemUnder(a, "Module"), m1);
  std::string out;
  EXPECT_EQ(grid->GetCellTextByName(out, "Module", 1, a), m1);
  EXPECT_EQ(out, "8");
  EXPECT_EQ(grid->GetCellTextByName(out, "Missing", 1), nullptr);
  EXPECT_EQ(out, "");
  EXPECT_TRUE(grid->SetCellText(m2, 3, "far"));
  EXPECT_EQ(grid->GetCellText(m2, 3), "far");
  EXPECT_EQ(grid->GetCellText(m2, 2), "");
  EXPECT_FALSE(grid->GetSelectedText(0, out));
  grid->SetSelectedRow(2);
  EXPECT_TRUE(grid->GetSelectedText(-1, out));
  EXPECT_EQ(out, "Module");
  EXPECT_TRUE(grid->GetRowText(2, 0, out));
  EXPECT_EQ(out, "DO");
  EXPECT_FALSE(grid->GetRowText(-1, 0, out));
  EXPECT_FALSE(grid->GetRowText(9, 0, out));
  grid->SetFirstRowText("Station");
  EXPECT_EQ(grid->GetRowItem(a)->firstText, "Station");
  EXPECT_TRUE(grid->DeleteSelectedItem());
  EXPECT_EQ(grid->GetTotalItemCount(), 3);
}

TEST(GridCtrlRows, CopyOfARowIsDeep) {
  GridRowItem row("Para", 4, 7);
  row.AddColumnText("1", "1,0,1");
  row.cellKinds[0] = 1;
  row.SetChoiceList(0, {"a", "b"});
  row.SetChoiceList(5, {"beyond the texts"});
  row.subItemImages[0] = 2;
  row.subItemImages[1] = -1;
  row.SetOwnerObject(&row, &row, "key");
  row.SetSettingKey("SERIAL_COMM_SETTING");
  row.backgroundColor = GridRgb(1, 2, 3);
  row.readOnly = 1;
  row.checkFlag = 1;
  std::unique_ptr<GridRowItem> copy = GridCtrl::CopyItemData(row);
  row.choiceLists[0][0] = "changed";
  EXPECT_EQ(copy->firstText, "Para");
  EXPECT_EQ(copy->iconIndex, 4);
  EXPECT_EQ(copy->rowKind, 7);
  EXPECT_EQ(copy->columnTexts, std::vector<std::string>{"1"});
  EXPECT_EQ(copy->definitions, std::vector<std::string>{"1,0,1"});
  EXPECT_EQ((*copy->GetChoiceList(0))[0], "a");
  EXPECT_EQ(copy->GetChoiceList(5), nullptr);
  EXPECT_EQ(copy->subItemImages.size(), 1u);
  EXPECT_EQ(copy->ownerObject, &row);
  EXPECT_EQ(copy->itemKey, "key");
  EXPECT_EQ(copy->settingKey, "SERIAL_COMM_SETTING");
  EXPECT_EQ(copy->backgroundColor, GridRgb(1, 2, 3));
  EXPECT_EQ(copy->readOnly, 1);
  EXPECT_EQ(copy->checkFlag, 1);
}

}  // namespace
}  // namespace qmx::grid
