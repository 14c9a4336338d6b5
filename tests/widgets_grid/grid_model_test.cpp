// The tree grid's row logic without any widget: shown rows after expand,
// collapse, delete and moves, the selection rules, the key decisions.
#include "widgets/grid/GridTreeModel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qmx::grid {
namespace {

std::unique_ptr<GridRowItem> Row(const std::string& text) { return std::make_unique<GridRowItem>(text); }

// The first texts of the shown rows, in row order.
std::vector<std::string> Shown(const GridTreeModel& m) {
  std::vector<std::string> out;
  for (int r = 0; r < m.RowCount(); ++r) out.push_back(m.GetTreeItem(r)->rowItem->firstText);
  return out;
}

// Every shown item's row index agrees with its place in the list.
void ExpectIndicesConsistent(const GridTreeModel& m) {
  for (int r = 0; r < m.RowCount(); ++r) {
    EXPECT_EQ(m.GetTreeItem(r)->rowIndex, r);
    EXPECT_EQ(m.GetRowIndex(m.GetTreeItem(r)), r);
  }
}

using Strings = std::vector<std::string>;

// A:  A1 (A1a, A1b), A2     B: B1     C
struct Tree {
  GridTreeModel m;
  GridTreeItem *a, *a1, *a1a, *a1b, *a2, *b, *b1, *c;
  std::vector<int> selections;
  Tree() {
    m.SetSelectionListener([this](int row) { selections.push_back(row); });
    a = m.InsertRootItem(Row("A"));
    b = m.InsertRootItem(Row("B"));
    c = m.InsertRootItem(Row("C"));
    a1 = m.InsertChildItem(a, Row("A1"), 0);
    a2 = m.InsertChildItem(a, Row("A2"), 0);
    a1a = m.InsertChildItem(a1, Row("A1a"), 0);
    a1b = m.InsertChildItem(a1, Row("A1b"), 0);
    b1 = m.InsertChildItem(b, Row("B1"), 0);
  }
  void ExpandAll() {
    for (const auto& root : m.TopLevelItems()) m.ExpandBranch(root.get());
  }
};

TEST(GridTreeModel, HiddenChildrenCollapseTheirParentAndCountInTotal) {
  Tree t;
  EXPECT_EQ(Shown(t.m), (Strings{"A", "B", "C"}));
  EXPECT_EQ(t.a->collapsed, 1);
  EXPECT_EQ(t.a1->level, 2);
  EXPECT_EQ(t.a1a->level, 3);
  EXPECT_EQ(t.m.GetTotalItemCount(), 8);
  EXPECT_EQ(t.m.GetRowIndex(t.a1), -1);
  EXPECT_FALSE(t.m.IsRootItem(t.a1));
  EXPECT_TRUE(t.m.IsRootItem(t.b));
}

TEST(GridTreeModel, TotalCountOfThreeRootsWithTwoChildrenIsFive) {
  GridTreeModel m;
  GridTreeItem* first = m.InsertRootItem(Row("1"));
  m.InsertRootItem(Row("2"));
  m.InsertRootItem(Row("3"));
  m.InsertChildItem(first, Row("1a"), 0);
  m.InsertChildItem(first, Row("1b"), 0);
  EXPECT_EQ(m.GetTotalItemCount(), 5);
}

TEST(GridTreeModel, ExpandShowsDirectChildrenAndReturnsLastRow) {
  Tree t;
  EXPECT_EQ(t.m.Expand(t.a), 2);
  EXPECT_EQ(Shown(t.m), (Strings{"A", "A1", "A2", "B", "C"}));
  EXPECT_EQ(t.m.GetRowIndex(t.b), 3);
  ExpectIndicesConsistent(t.m);
  // Expanding an expanded item inserts nothing and returns its row.
  EXPECT_EQ(t.m.Expand(t.a), 0);
  EXPECT_EQ(t.m.RowCount(), 5);
  // A leaf has nothing to expand.
  EXPECT_EQ(t.m.Expand(t.c), 4);
}

TEST(GridTreeModel, ExpandBranchShowsEverythingInPreOrder) {
  Tree t;
  EXPECT_EQ(t.m.ExpandBranch(t.a), 4);
  t.ExpandAll();
  EXPECT_EQ(Shown(t.m), (Strings{"A", "A1", "A1a", "A1b", "A2", "B", "B1", "C"}));
  ExpectIndicesConsistent(t.m);
}

TEST(GridTreeModel, CollapseHidesTheBranchAndMarksExpandedDescendantsCollapsed) {
  Tree t;
  t.ExpandAll();
  t.m.Collapse(t.a);
  EXPECT_EQ(Shown(t.m), (Strings{"A", "B", "B1", "C"}));
  EXPECT_EQ(t.a1->collapsed, 1);
  ExpectIndicesConsistent(t.m);
  // Expanding again shows the direct children only.
  t.m.Expand(t.a);
  EXPECT_EQ(Shown(t.m), (Strings{"A", "A1", "A2", "B", "B1", "C"}));
  // Hidden items keep their last index but are not shown.
  EXPECT_EQ(t.m.GetRowIndex(t.a1a), -1);
}

TEST(GridTreeModel, CollapseDropsTheSelectionOfAHiddenRow) {
  Tree t;
  t.ExpandAll();
  t.m.SelectRow(2);  // A1a
  t.m.Collapse(t.a1);
  EXPECT_EQ(t.m.SelectedRow(), -1);
  EXPECT_EQ(t.m.SelectedItem(), nullptr);
}

TEST(GridTreeModel, SelectItemOnASecondRootSelectsThatRootsRow) {
  Tree t;
  t.ExpandAll();
  EXPECT_EQ(t.m.SelectItem(t.c), 7);
  EXPECT_EQ(t.m.SelectedItem(), t.c);
  EXPECT_EQ(t.m.SelectItem(t.b), 5);
  EXPECT_EQ(t.m.SelectedItem(), t.b);
}

TEST(GridTreeModel, SelectItemExpandsEveryAncestorFromTheTop) {
  Tree t;
  EXPECT_EQ(t.m.SelectItem(t.a1b), 3);
  EXPECT_EQ(Shown(t.m), (Strings{"A", "A1", "A1a", "A1b", "A2", "B", "C"}));
  EXPECT_EQ(t.m.SelectedItem(), t.a1b);
  // A descendant of a later root also works.
  EXPECT_EQ(t.m.SelectItem(t.b1), 6);
  EXPECT_EQ(t.m.SelectedItem(), t.b1);
  EXPECT_EQ(t.m.SelectItem(nullptr), -1);
}

TEST(GridTreeModel, SelectingTheSameRowAgainTellsNobody) {
  Tree t;
  t.m.SelectRow(1);
  t.m.SelectRow(1);
  t.m.SelectRow(2);
  t.m.SelectRow(1);
  EXPECT_EQ(t.selections, (std::vector<int>{1, 2, 1}));
}

TEST(GridTreeModel, SelectionFollowsItsItemWhenRowsAreInsertedAbove) {
  Tree t;
  t.m.SelectRow(1);  // B
  t.m.Expand(t.a);
  EXPECT_EQ(t.m.SelectedRow(), 3);
  EXPECT_EQ(t.m.SelectedItem(), t.b);
  EXPECT_EQ(t.selections.size(), 1u);
}

TEST(GridTreeModel, DeleteSelectsTheRowNowAtTheSameIndexOrTheOneAbove) {
  Tree t;
  t.ExpandAll();  // A A1 A1a A1b A2 B B1 C
  t.m.SelectRow(1);
  t.m.DeleteItem(t.a1);  // removes A1 A1a A1b
  EXPECT_EQ(Shown(t.m), (Strings{"A", "A2", "B", "B1", "C"}));
  EXPECT_EQ(t.m.SelectedRow(), 1);
  EXPECT_EQ(t.m.SelectedItem()->rowItem->firstText, "A2");
  EXPECT_EQ(t.m.GetTotalItemCount(), 5);
  ExpectIndicesConsistent(t.m);
  // Deleting the last row selects the one above.
  t.m.SelectRow(4);
  t.m.DeleteItem(t.c);
  EXPECT_EQ(t.m.SelectedItem()->rowItem->firstText, "B1");
}

TEST(GridTreeModel, DeletingRowZeroSelectsNothing) {
  Tree t;
  t.m.SelectRow(0);
  t.m.DeleteItem(t.a);
  EXPECT_EQ(Shown(t.m), (Strings{"B", "C"}));
  EXPECT_EQ(t.m.SelectedRow(), -1);
}

TEST(GridTreeModel, DeletingTheLastRemainingRowSelectsNothing) {
  GridTreeModel m;
  GridTreeItem* only = m.InsertRootItem(Row("only"));
  m.SelectRow(0);
  m.DeleteItem(only);
  EXPECT_EQ(m.RowCount(), 0);
  EXPECT_EQ(m.SelectedRow(), -1);
  EXPECT_EQ(m.GetTotalItemCount(), 0);
}

TEST(GridTreeModel, DeletingAHiddenItemKeepsTheRows) {
  Tree t;
  t.m.DeleteItem(t.a1);
  EXPECT_EQ(Shown(t.m), (Strings{"A", "B", "C"}));
  t.m.Expand(t.a);
  EXPECT_EQ(Shown(t.m), (Strings{"A", "A2", "B", "C"}));
}

TEST(GridTreeModel, ShownChildInsertGoesAfterTheParentsBranch) {
  GridTreeModel m;
  GridTreeItem* p = m.InsertRootItem(Row("P"));
  m.InsertRootItem(Row("Q"));
  m.InsertChildItem(p, Row("P1"), 1);
  m.InsertChildItem(p, Row("P2"), 1);
  EXPECT_EQ(Shown(m), (Strings{"P", "P1", "P2", "Q"}));
  ExpectIndicesConsistent(m);
}

TEST(GridTreeModel, HiddenInsertUnderAnExpandedParentLeavesNoStrayRows) {
  GridTreeModel m;
  GridTreeItem* p = m.InsertRootItem(Row("P"));
  m.InsertChildItem(p, Row("P1"), 1);
  m.InsertChildItem(p, Row("P2"), 0);
  EXPECT_EQ(Shown(m), (Strings{"P"}));
  EXPECT_EQ(p->collapsed, 1);
  m.Expand(p);
  EXPECT_EQ(Shown(m), (Strings{"P", "P1", "P2"}));
}

TEST(GridTreeModel, DropsThatMustDoNothing) {
  Tree t;
  t.ExpandAll();
  const Strings before = Shown(t.m);
  struct Case {
    const char* what;
    GridTreeItem* source;
    GridTreeItem* target;
  } cases[] = {
      {"no source", nullptr, t.b},
      {"no target", t.a1, nullptr},
      {"on itself", t.a1, t.a1},
      {"on its own parent", t.a1, t.a},
      {"on its child", t.a1, t.a1a},
      {"a top-level item", t.b, t.c},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(t.m.CanDrop(c.source, c.target)) << c.what;
    EXPECT_FALSE(t.m.MoveBranch(c.source, c.target)) << c.what;
    EXPECT_EQ(Shown(t.m), before) << c.what;
  }
  EXPECT_EQ(t.m.GetTotalItemCount(), 8);
}

TEST(GridTreeModel, DropOnAnExpandedTargetShowsTheBranchCollapsed) {
  Tree t;
  t.ExpandAll();  // A A1 A1a A1b A2 B B1 C
  GridRowItem* moved = t.a1->rowItem.get();
  ASSERT_TRUE(t.m.MoveBranch(t.a1, t.b));
  EXPECT_EQ(Shown(t.m), (Strings{"A", "A2", "B", "B1", "A1", "C"}));
  EXPECT_EQ(t.a1->parent, t.b);
  EXPECT_EQ(t.a1->level, 2);
  EXPECT_EQ(t.a1a->level, 3);
  EXPECT_EQ(t.a1->collapsed, 1);
  // The moved item and its record keep their identity.
  EXPECT_EQ(t.a1->rowItem.get(), moved);
  EXPECT_EQ(t.m.SelectedItem(), t.b);
  EXPECT_EQ(t.m.GetTotalItemCount(), 8);
  ExpectIndicesConsistent(t.m);
  t.m.Expand(t.a1);
  EXPECT_EQ(Shown(t.m), (Strings{"A", "A2", "B", "B1", "A1", "A1a", "A1b", "C"}));
}

TEST(GridTreeModel, DropOnACollapsedTargetKeepsItCollapsed) {
  Tree t;
  t.m.Expand(t.a);  // A A1 A2 B C
  ASSERT_TRUE(t.m.MoveBranch(t.a1, t.b));
  EXPECT_EQ(Shown(t.m), (Strings{"A", "A2", "B", "C"}));
  EXPECT_EQ(t.b->collapsed, 1);
  t.m.Expand(t.b);
  EXPECT_EQ(Shown(t.m), (Strings{"A", "A2", "B", "B1", "A1", "C"}));
}

TEST(GridTreeModel, DropOnALeafMakesItAParent) {
  Tree t;
  t.ExpandAll();
  ASSERT_TRUE(t.m.MoveBranch(t.a1b, t.c));
  EXPECT_EQ(Shown(t.m), (Strings{"A", "A1", "A1a", "A2", "B", "B1", "C", "A1b"}));
  EXPECT_EQ(t.a1b->level, 2);
  EXPECT_EQ(t.m.SelectedRow(), 6);
}

TEST(GridTreeModel, FocusedColumnStopsAtBothLimits) {
  GridTreeModel m;
  for (int i = 0; i < 3; ++i) m.AppendColumn(0);
  EXPECT_FALSE(m.MoveFocusedColumn(-1));
  EXPECT_EQ(m.FocusedColumn(), 0);
  EXPECT_TRUE(m.MoveFocusedColumn(1));
  EXPECT_TRUE(m.MoveFocusedColumn(1));
  EXPECT_FALSE(m.MoveFocusedColumn(1));
  EXPECT_EQ(m.FocusedColumn(), 2);
}

TEST(GridTreeModel, ColumnsBeyondTheFlagsAreReadOnly) {
  GridTreeModel m;
  m.AppendColumn(0);
  m.AppendColumn(1);
  const std::pair<int, bool> cases[] = {{0, true}, {1, false}, {2, false}, {-1, false}};
  for (const auto& [column, editable] : cases) EXPECT_EQ(m.IsColumnEditable(column), editable) << column;
}

TEST(GridTreeModel, TypedCharacterDecisions) {
  using A = GridTreeModel::CharAction;
  struct Case {
    const char* what;
    int column;
    int rowReadOnly;
    bool kind;
    char32_t ch;
    A expected;
  } cases[] = {
      {"digit on an editable plain cell", 1, 0, false, U'7', A::kOpenEditor},
      {"letter", 1, 0, false, U'a', A::kOpenEditor},
      {"last of the range", 1, 0, false, U'z', A::kOpenEditor},
      {"minus", 1, 0, false, U'-', A::kOpenEditor},
      {"outside the range", 1, 0, false, U'+', A::kNotHandled},
      {"blank", 1, 0, false, U' ', A::kNotHandled},
      {"first column is swallowed", 0, 0, false, U'7', A::kSwallow},
      {"read-only row", 1, 1, false, U'7', A::kNotHandled},
      {"read-only column", 2, 0, false, U'7', A::kNotHandled},
      {"cell with a kind", 1, 0, true, U'7', A::kNotHandled},
  };
  for (const Case& c : cases) {
    GridTreeModel m;
    m.AppendColumn(0);
    m.AppendColumn(0);
    m.AppendColumn(1);
    auto row = Row("r");
    row->readOnly = c.rowReadOnly;
    if (c.kind) row->cellKinds[0] = 1;
    m.InsertRootItem(std::move(row));
    EXPECT_EQ(m.DecideTypedChar(c.ch), A::kNotHandled) << c.what << " (no selection)";
    m.SelectRow(0);
    m.SetFocusedColumn(c.column);
    EXPECT_EQ(m.DecideTypedChar(c.ch), c.expected) << c.what;
  }
}

TEST(GridTreeModel, ReturnOpensTheEditorOfEditableColumnsOnly) {
  using R = GridTreeModel::ReturnAction;
  struct Case {
    const char* what;
    int column;  // -1: no row selected
    R expected;
  } cases[] = {
      {"no selection", -1, R::kNone},
      {"first column", 0, R::kEditFirstColumn},
      {"editable value column", 1, R::kEditSubItem},
      {"read-only column", 2, R::kNone},
  };
  for (const Case& c : cases) {
    GridTreeModel m;
    m.AppendColumn(0);
    m.AppendColumn(0);
    m.AppendColumn(1);
    m.InsertRootItem(Row("r"));
    if (c.column >= 0) {
      m.SelectRow(0);
      m.SetFocusedColumn(c.column);
    }
    EXPECT_EQ(m.DecideReturn(), c.expected) << c.what;
  }
}

TEST(GridTreeModel, DeleteAllItemsEmptiesEverything) {
  Tree t;
  t.ExpandAll();
  t.m.SelectRow(3);
  t.m.DeleteAllItems();
  EXPECT_EQ(t.m.RowCount(), 0);
  EXPECT_EQ(t.m.GetTotalItemCount(), 0);
  EXPECT_EQ(t.m.SelectedRow(), -1);
}

// Every character is 10 pixels wide.
int Measure(std::string_view s) {
  int n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n * 10;
}

TEST(FitText, KeepsTextsThatFitAndShortensOthersWithAnEllipsis) {
  struct Case {
    const char* text;
    int width, margin;
    const char* expected;
  } cases[] = {
      {"abcd", 46, 6, "abcd"},   // 40 + 6 < 47
      {"abcde", 46, 6, "a..."},  // 30 + 6 + 10 < 46 fails for "ab"
      {"abcdef", 100, 6, "abcdef"},
      {"abcdefghij", 66, 2, "abc..."},
      {"abc", 5, 2, "a..."},  // never fewer than one character
      // multi-byte characters are removed whole
      {"\xc3\xa4\xc3\xb6\xc3\xbc\xc3\x9f", 66, 2, "\xc3\xa4\xc3\xb6\xc3\xbc\xc3\x9f"},
      {"\xc3\xa4\xc3\xb6\xc3\xbc\xc3\x9f", 40, 2, "\xc3\xa4..."},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FitText(c.text, c.width, c.margin, Measure), c.expected) << c.text << " in " << c.width;
}

}  // namespace
}  // namespace qmx::grid
