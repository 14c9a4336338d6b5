// The add-modules dialog's line-up without a display: the field-power check
// on every operation, the expansion limits, labels past 99 modules, and that
// nothing reaches the adapter's modules before OK.
#include "tests/ui_dialogs/dialog_fixture.h"

#include "app/ui/dialogs/state/AddIoState.h"

using qmx::dialogs::AddIoState;

namespace {

// A module of a line-up: power, field-power group, cut-off, free next,
// system power added.
struct Mod {
  int power;
  const char* group;
  int cutoff;
  int freeNext;
  int expansion;
};

struct FieldPowerCase {
  const char* name;
  std::vector<Mod> lineUp;
  int selected;
  const char* operation;
  Mod source;
  bool cutoffFirst;
  bool allowed;
  const char* box;  // the refusal's box, "" when allowed
};

const Mod kNone{0, "", 0, 0, 0};

const FieldPowerCase kFieldPowerCases[] = {
    {"budget holds", {{400, "", 0, 0, 0}, {400, "", 0, 0, 0}}, -1, "ADD", {200, "", 0, 0, 0}, false, true, ""},
    {"budget exceeded", {{400, "", 0, 0, 0}, {400, "", 0, 0, 0}}, -1, "add", {300, "", 0, 0, 0}, false, false,
     "Rule -101. \n\nMax power: 1000mA. Power after add: 1100mA. "},
    {"power module extends the budget", {{400, "", 0, 0, 0}, {0, "", 0, 0, 1000}, {400, "", 0, 0, 0}}, -1, "ADD",
     {300, "", 0, 0, 0}, false, true, ""},
    {"removing the power module", {{400, "", 0, 0, 0}, {0, "", 0, 0, 1000}, {400, "", 0, 0, 0}, {400, "", 0, 0, 0}}, 1,
     "REMOVE", kNone, false, false, "Rule -101. \n\nMax power: 1000mA. Power after add: 1200mA. "},
    {"moving the power module behind a consumer", {{600, "", 0, 0, 0}, {0, "", 0, 0, 1000}, {600, "", 0, 0, 0}}, 1,
     "DOWN", kNone, false, false, "Rule -101. \n\nMax power: 1000mA. Power after add: 1200mA. "},
    // A station over its budget already (opened so): every change that draws
    // no more power, or draws more but overdraws less, is let through.
    {"over budget: removing a module", {{600, "", 0, 0, 0}, {600, "", 0, 0, 0}, {600, "", 0, 0, 0}}, 1, "REMOVE",
     kNone, false, true, ""},
    {"over budget: up", {{600, "", 0, 0, 0}, {600, "", 0, 0, 0}}, 1, "UP", kNone, false, true, ""},
    {"over budget: down", {{600, "", 0, 0, 0}, {600, "", 0, 0, 0}}, 0, "DOWN", kNone, false, true, ""},
    {"over budget: adding a module without consumption", {{600, "", 0, 0, 0}, {600, "", 0, 0, 0}}, -1, "ADD",
     {0, "", 0, 0, 0}, false, true, ""},
    {"over budget: adding a power module", {{600, "", 0, 0, 0}, {600, "", 0, 0, 0}}, 0, "ADD", {50, "", 0, 0, 1000},
     false, true, ""},
    {"over budget: adding a consumer", {{600, "", 0, 0, 0}, {600, "", 0, 0, 0}}, -1, "ADD", {100, "", 0, 0, 0}, false,
     false, "Rule -101. \n\nMax power: 1000mA. Power after add: 1200mA. "},
    {"over budget: the group rule stays", {{600, "1", 0, 0, 0}, {600, "2", 1, 0, 0}}, 1, "UP", kNone, false, false,
     "Rule -111. "},
    {"another group without cut-off", {{10, "1", 0, 0, 0}}, 0, "ADD", {10, "2", 0, 0, 0}, false, false, "Rule -111. "},
    {"another group after a cut-off", {{10, "1", 0, 0, 0}}, 0, "ADD", {10, "2", 1, 0, 0}, false, true, ""},
    {"another group after a free-next module", {{10, "1", 0, 1, 0}}, 0, "ADD", {10, "2", 0, 0, 0}, false, true, ""},
    {"no field power keeps the group", {{10, "1", 0, 0, 0}, {10, "", 0, 0, 0}}, -1, "ADD", {10, "2", 0, 0, 0}, false,
     false, "Rule -111. "},
    {"same group again", {{10, "1", 0, 0, 0}, {10, "", 0, 0, 0}}, -1, "ADD", {10, "1", 0, 0, 0}, false, true, ""},
    {"first module must cut off", {}, -1, "ADD", {10, "", 0, 0, 0}, true, false, "Rule -106. "},
    {"first module cuts off", {}, -1, "ADD", {10, "", 1, 0, 0}, true, true, ""},
    {"inserted first without cut-off", {{10, "", 1, 0, 0}}, -1, "ADD", {10, "", 0, 0, 0}, true, true, ""},
    {"up on the first module", {{10, "1", 0, 0, 0}, {10, "2", 1, 0, 0}}, 0, "UP", kNone, false, true, ""},
    {"down on the last module", {{10, "1", 0, 0, 0}, {10, "2", 1, 0, 0}}, 1, "DOWN", kNone, false, true, ""},
    {"up breaks the groups", {{10, "1", 0, 0, 0}, {10, "2", 1, 0, 0}}, 1, "Up", kNone, false, false, "Rule -111. "},
};

class AddIoStateTest : public DialogTest {
protected:
  const IODef* Def(const Mod& m) { return DialogTest::Def(m.power, m.group, m.cutoff, m.freeNext, m.expansion); }
  // A state over present modules of the given line-up.
  std::unique_ptr<AddIoState> State(const std::vector<Mod>& lineUp, int maxExpansion = 63) {
    int communicating = 0;
    for (const Mod& m : lineUp) {
      Present(Def(m), StrFormat("P%zu", modules.size() + 1));
      ++communicating;
    }
    auto state = std::make_unique<AddIoState>(errors);
    state->SetNAInfo("Station", &adapter);
    state->SetExpansionInfo(maxExpansion, communicating, 0);
    state->SetCurIOList(PresentList());
    state->SetNewIOList(&output);
    state->SetNamingMode(0);
    state->Init();
    return state;
  }
  std::vector<std::string> Names(const AddIoState& state) {
    std::vector<std::string> names;
    for (const auto& e : state.Entries()) names.push_back(e.name);
    return names;
  }
  std::vector<CIOUsr*> output;
};

TEST_F(AddIoStateTest, FieldPowerCheckOnEveryOperation) {
  for (const FieldPowerCase& c : kFieldPowerCases) {
    SCOPED_TRACE(c.name);
    modules.clear();
    boxes.clear();
    auto state = State(c.lineUp);
    state->requireCutoffFirst = c.cutoffFirst;
    state->Select(c.selected);
    const bool add = CompareNoCase(c.operation, "ADD") == 0;
    EXPECT_EQ(state->CheckFieldPowerValid(c.operation, add ? Def(c.source) : nullptr), c.allowed);
    if (c.allowed) {
      EXPECT_TRUE(boxes.empty());
    } else {
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0], c.box);
    }
    EXPECT_EQ(state->Entries().size(), c.lineUp.size());  // a check never changes the line-up
  }
}

TEST_F(AddIoStateTest, FaultyOperationsAreLoggedAndRefused) {
  auto state = State({{10, "", 0, 0, 0}});
  EXPECT_FALSE(state->CheckFieldPowerValid("ADD", nullptr));
  EXPECT_FALSE(state->CheckFieldPowerValid("SWAP", nullptr));
  std::vector<std::string> lines;
  for (const auto& r : log.Records()) lines.push_back(r.source + "|" + r.text);
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "QMX-410Tools|[Error Code: -1050] Exception. SrcIoDef is null in ADD operation. Func: "
                       "AddIoDlg::CheckFieldPowerValid.",
                       "QMX-410Tools|[Error Code: -1050] Exception. Invalid operaion name. Func: "
                       "AddIoDlg::CheckFieldPowerValid."}));
  EXPECT_TRUE(boxes.empty());
}

TEST_F(AddIoStateTest, RefusedMovesMoveNothing) {
  auto state = State({{10, "1", 0, 0, 0}, {10, "2", 1, 0, 0}});
  state->Select(1);
  EXPECT_FALSE(state->MoveUp());
  EXPECT_EQ(Names(*state), (std::vector<std::string>{"P1", "P2"}));
  EXPECT_EQ(state->Selected(), 1);
  state->Select(0);
  EXPECT_FALSE(state->MoveDown());
  EXPECT_EQ(Names(*state), (std::vector<std::string>{"P1", "P2"}));
  EXPECT_EQ(boxes.size(), 2u);
  EXPECT_FALSE(state->Modified());
}

TEST_F(AddIoStateTest, ExpansionLimits) {
  auto state = State({{10, "", 0, 0, 0}, {10, "", 0, 0, 0}}, 2);
  state->Select(-1);
  const IODef* communicating = DialogTest::Def(10);
  const IODef* other = DialogTest::Def(10, "", 0, 0, 0, 0);
  EXPECT_FALSE(state->Add(communicating, ""));
  EXPECT_EQ(boxes.back(), "Exceeded in expansion. Allowed max. expansion: 2");
  EXPECT_TRUE(state->Add(other, ""));  // not counted against the expansion
  state->Select(0);
  EXPECT_TRUE(state->Remove());
  EXPECT_TRUE(state->Add(communicating, "  Feeder  "));
  EXPECT_EQ(state->Entries()[1].name, "Feeder");
  EXPECT_EQ(state->addedCommunicating(), 0);
  EXPECT_EQ(state->addedOther(), 1);

  // The 1001st module of any kind is refused, naming 1000.
  AddIoState full(errors);
  full.SetNAInfo("Station", &adapter);
  full.SetExpansionInfo(5000, 0, 1000);
  full.Init();
  boxes.clear();
  EXPECT_FALSE(full.Add(other, ""));
  EXPECT_EQ(boxes, (std::vector<std::string>{
                       "Exceeded in expansion. \n\nAllowed max. expansion including non-communicatable IO: 1000"}));
  EXPECT_EQ(full.total(), 1000);
}

TEST_F(AddIoStateTest, LabelsPastNinetyNineKeepTheNames) {
  const IODef* def = DialogTest::Def(0);
  for (int i = 1; i <= 101; ++i) Present(def, StrFormat("M%03d", i));
  AddIoState state(errors);
  state.SetNAInfo("Station", &adapter);
  state.SetExpansionInfo(200, 101, 0);
  state.SetCurIOList(PresentList());
  state.SetNewIOList(&output);
  state.SetNamingMode(0);
  state.Init();
  ASSERT_EQ(state.Entries().size(), 101u);
  struct {
    size_t index;
    const char* label;
  } const labels[] = {{0, "01: M001"}, {98, "99: M099"}, {99, "100: M100"}, {100, "101: M101"}};
  for (const auto& l : labels) EXPECT_EQ(state.Label(l.index), l.label);

  state.Select(99);  // "100: M100" moves up and back down: numbers follow, names stay
  ASSERT_TRUE(state.MoveUp());
  EXPECT_EQ(state.Label(98), "99: M100");
  EXPECT_EQ(state.Label(99), "100: M099");
  ASSERT_TRUE(state.MoveDown());
  state.Select(100);
  ASSERT_TRUE(state.Rename("Last"));
  EXPECT_EQ(state.Label(100), "101: Last");
  ASSERT_EQ(state.Complete(), 1);
  ASSERT_EQ(output.size(), 101u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(output[static_cast<size_t>(i)]->GetName(), StrFormat("M%03d", i + 1));
  EXPECT_EQ(output[100]->GetName(), "Last");

  struct {
    const char* label;
    const char* text;
  } const prefixes[] = {{"01: a", "a"}, {"100: b", "b"}, {"-1: c", "c"}, {"abc", "abc"}, {"12:x", "12:x"}, {"", ""}};
  for (const auto& p : prefixes) EXPECT_EQ(qmx::dialogs::StripPositionPrefix(p.label), p.text) << p.label;
}

// Cancel leaving the adapter untouched is walked through the dialog itself
// (dialog_widget_test.cpp).
TEST_F(AddIoStateTest, OkMarksTheRemovedAndHandsOverTheLineUp) {
  auto state = State({{10, "", 0, 0, 0}, {10, "", 0, 0, 0}, {10, "", 0, 0, 0}});
  EXPECT_EQ(state->Complete(), 2);  // nothing changed: closes as Cancel
  state->Select(1);
  ASSERT_TRUE(state->Remove());
  state->Select(-1);
  ASSERT_TRUE(state->Add(defs.front().get(), "New"));
  state->Select(2);
  ASSERT_TRUE(state->Remove());  // a new module taken out again is destroyed at once
  state->Select(-1);
  ASSERT_TRUE(state->Add(defs.front().get(), "Kept"));
  ASSERT_EQ(state->Complete(), 1);
  ASSERT_EQ(output.size(), 3u);
  EXPECT_EQ(output[0], modules[0].get());
  EXPECT_EQ(output[1], modules[2].get());
  EXPECT_EQ(output[2]->GetName(), "Kept");
  EXPECT_EQ(modules[1]->removeMark, 1);
  EXPECT_EQ(modules[0]->removeMark + modules[2]->removeMark, 0);
  delete output[2];  // handed over: the caller's now
}

}  // namespace
