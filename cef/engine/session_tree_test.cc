#include "cef/engine/session_tree.h"

#include <gtest/gtest.h>

namespace cef_engine {
namespace {

using Sessions = std::vector<std::string>;

TEST(SessionTreeTest, ChildrenHangBelowKnownParentsOnly) {
  SessionTree tree;
  EXPECT_FALSE(tree.Add("a", "A", ""));  // no root yet
  tree.SetRoot("page", "P");
  EXPECT_TRUE(tree.IsRoot("page"));
  EXPECT_EQ(tree.TargetOf("page"), "P");
  EXPECT_TRUE(tree.Add("a", "A", "page"));
  EXPECT_TRUE(tree.Add("b", "B", "a"));
  EXPECT_FALSE(tree.Add("a", "X", "page"));     // an echo of a known session
  EXPECT_FALSE(tree.Add("page", "P", "a"));     // the root again
  EXPECT_FALSE(tree.Add("c", "C", "unknown"));  // a parent that has gone
  EXPECT_FALSE(tree.Add("", "C", "page"));
  EXPECT_EQ(tree.TargetOf("a"), "A");
  EXPECT_EQ(tree.ParentOf("b"), "a");
  EXPECT_EQ(tree.ParentOf("page"), "");
  EXPECT_EQ(tree.TargetOf("unknown"), "");
  EXPECT_EQ(tree.All(), (Sessions{"page", "a", "b"}));
}

TEST(SessionTreeTest, RemovingASessionRemovesItsSubtree) {
  struct Case {
    const char* removed;
    Sessions result;
    Sessions left;
  } cases[] = {
      {"a", {"a", "a1", "a2", "a1x"}, {"page", "b"}},
      {"a1", {"a1", "a1x"}, {"page", "a", "a2", "b"}},
      {"b", {"b"}, {"page", "a", "a1", "a1x", "a2"}},
      {"page", {}, {"page", "a", "a1", "a1x", "a2", "b"}},  // the root stays
      {"unknown", {}, {"page", "a", "a1", "a1x", "a2", "b"}},
  };
  for (const Case& c : cases) {
    SessionTree tree;
    tree.SetRoot("page", "P");
    ASSERT_TRUE(tree.Add("a", "A", "page"));
    ASSERT_TRUE(tree.Add("b", "B", "page"));
    ASSERT_TRUE(tree.Add("a1", "A1", "a"));
    ASSERT_TRUE(tree.Add("a2", "A2", "a"));
    ASSERT_TRUE(tree.Add("a1x", "A1X", "a1"));
    EXPECT_EQ(tree.Remove(c.removed), c.result) << c.removed;
    EXPECT_EQ(tree.All(), c.left) << c.removed;
    for (const std::string& gone : c.result) EXPECT_FALSE(tree.Contains(gone)) << gone;
  }
}

TEST(SessionTreeTest, NewRootForgetsTheOldTree) {
  SessionTree tree;
  tree.SetRoot("page", "P");
  ASSERT_TRUE(tree.Add("a", "A", "page"));
  tree.SetRoot("other", "O");
  EXPECT_FALSE(tree.Contains("a"));
  EXPECT_FALSE(tree.Contains("page"));
  EXPECT_EQ(tree.All(), (Sessions{"other"}));
  tree.SetRoot("", "");
  EXPECT_TRUE(tree.All().empty());
}

}  // namespace
}  // namespace cef_engine
