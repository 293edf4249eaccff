#include "platform/wildcard.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

TEST(WildcardTest, MatchesLikeTheWindowsSearch) {
  EXPECT_TRUE(MatchesWildcard("*.*", "noext"));
  EXPECT_TRUE(MatchesWildcard("*.*", "a.b.c"));
  EXPECT_TRUE(MatchesWildcard("9*.*", "9abc"));
  EXPECT_TRUE(MatchesWildcard("9*", "9-01.02.03-04.05.06.Zip"));
  EXPECT_FALSE(MatchesWildcard("9*", "19"));
  EXPECT_TRUE(MatchesWildcard("*.LOG", "app.log"));
  EXPECT_FALSE(MatchesWildcard("*.log", "app.logx"));
  EXPECT_TRUE(MatchesWildcard("t?.ini", "tx.ini"));
  EXPECT_FALSE(MatchesWildcard("t?.ini", "txx.ini"));
  EXPECT_TRUE(MatchesWildcard("a*b*c", "aXXbYYbc"));
  EXPECT_FALSE(MatchesWildcard("Screen.bmp", "Screen.bmp2"));
}

}  // namespace
}  // namespace quillet
