// The pools of definition texts and value lists: equal texts are one
// stored string, equal lists one stored list, whatever road they came by and
// whichever thread interned them.
#include "app/model/ParaItem.h"
#include "app/model/PooledText.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

TEST(PooledTextTest, EqualTextsShareOneString) {
  const std::string built = std::string("Input ") + "filter time";
  const struct {
    PooledText a, b;
    bool same;
  } cases[] = {
      {PooledText("Input filter time"), PooledText(built), true},
      {PooledText(std::string_view("mA, 4 ... 20")), PooledText("mA, 4 ... 20"), true},
      {PooledText("mA"), PooledText("ma"), false},
      {PooledText("T_A"), PooledText("T_A "), false},
      {PooledText(""), PooledText(), true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.a.c_str() == c.b.c_str(), c.same) << c.a << " / " << c.b;
    EXPECT_EQ(c.a == c.b, c.same) << c.a << " / " << c.b;
    EXPECT_EQ(c.a.str() == c.b.str(), c.same) << c.a << " / " << c.b;
  }
}

TEST(PooledTextTest, ReadsAsTheStringItHolds) {
  PooledText text;
  EXPECT_TRUE(text.empty());
  const size_t before = PooledText::PoolSize();
  text = std::string("pooled-text-test-unique");
  EXPECT_EQ(PooledText::PoolSize(), before + 1);
  text = "pooled-text-test-unique";  // held already
  EXPECT_EQ(PooledText::PoolSize(), before + 1);
  EXPECT_EQ(text, "pooled-text-test-unique");
  EXPECT_EQ(text, std::string("pooled-text-test-unique"));
  EXPECT_EQ(text.size(), 23u);
  EXPECT_EQ(text + "!", "pooled-text-test-unique!");
  const std::string& same = text;
  EXPECT_EQ(same.c_str(), text.c_str());
}

TEST(PooledTextTest, EqualValueListsShareOneList) {
  const ValueRecord off{"T_Off", "0", "Off", "", ""}, on{"T_On", "1", "On", "", ""};
  const ValueRecord onInV{"T_On", "1", "On", "", "V"};
  const struct {
    ValueList a, b;
    bool same;
  } cases[] = {
      {ValueList{off, on}, ValueList(std::vector<ValueRecord>{off, on}), true},
      {ValueList{off, on}, ValueList{on, off}, false},
      {ValueList{off, on}, ValueList{off, onInV}, false},
      {ValueList{off}, ValueList{off, on}, false},
      {ValueList{}, ValueList(std::vector<ValueRecord>{}), true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(&c.a.records() == &c.b.records(), c.same);
    EXPECT_EQ(c.a.records() == c.b.records(), c.same);
  }
  const ValueList list{off, on};
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].displayText, "On");
  EXPECT_TRUE(ValueList().empty());
}

// Many threads interning the same and different texts while the index grows:
// every text ends as one string, none is lost.
TEST(PooledTextTest, InterningFromThreadsKeepsOneStringPerText) {
  constexpr int kThreads = 4;
  constexpr int kTexts = 3000;  // past the first index size, so it grows while read
  std::vector<std::vector<const char*>> seen(kThreads, std::vector<const char*>(kTexts));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &seen] {
      for (int i = 0; i < kTexts; ++i) seen[t][i] = PooledText("threaded " + std::to_string(i)).c_str();
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int i = 0; i < kTexts; ++i) {
    for (int t = 1; t < kThreads; ++t) ASSERT_EQ(seen[t][i], seen[0][i]) << i;
    ASSERT_EQ(std::string(seen[0][i]), "threaded " + std::to_string(i));
  }
}

// A fuzz target's way back between inputs: what was pooled since is gone
// (pooled again, it is a new entry), what was there before stays where it
// was and is found by the index rebuilt without the rest.
TEST(PooledTextTest, ShrinkingThePoolsLeavesWhatTheyHeldBefore) {
  const PooledText kept("shrink-test kept");
  const ValueRecord keptRecord{"T_Kept", "1", "Kept", "", ""};
  const ValueList keptList{keptRecord};
  const size_t texts = PooledText::PoolSize();
  const size_t lists = ValueList::PoolSize();
  {
    // Past the first index size, so that the index grew after the mark.
    std::vector<ValueList> later;
    for (int i = 0; i < 3000; ++i) {
      const PooledText text("shrink-test later " + std::to_string(i));
      if (i % 100 == 0) later.push_back(ValueList{ValueRecord{"T_Later", text, "Later", "", ""}});
    }
    ASSERT_GE(PooledText::PoolSize(), texts + 3000);
    ASSERT_EQ(ValueList::PoolSize(), lists + 30);
  }
  ValueList::ShrinkPoolTo(lists);
  PooledText::ShrinkPoolTo(texts);
  EXPECT_EQ(PooledText::PoolSize(), texts);
  EXPECT_EQ(ValueList::PoolSize(), lists);

  EXPECT_EQ(PooledText("shrink-test kept").c_str(), kept.c_str());
  EXPECT_EQ(&ValueList{keptRecord}.records(), &keptList.records());
  EXPECT_EQ(PooledText::PoolSize(), texts);
  EXPECT_EQ(PooledText("shrink-test later 7"), "shrink-test later 7");
  EXPECT_EQ(PooledText::PoolSize(), texts + 1);
  // A count at or above the size drops nothing.
  PooledText::ShrinkPoolTo(texts + 5);
  EXPECT_EQ(PooledText::PoolSize(), texts + 1);
}

}  // namespace
