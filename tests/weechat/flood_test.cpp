// Flood rules with explicit times: who goes beyond a limit is told once and
// then ignored for the set time; masks match as IRC users write them.
#include "flood.h"

#include <gtest/gtest.h>

namespace serve {
namespace {

using Verdict = FloodGuard::Verdict;
constexpr Verdict A = Verdict::kAnswer, S = Verdict::kIgnoreStarts, I = Verdict::kIgnored;

struct Step {
  bool find;  // else another request
  long long at;
  Verdict verdict;
};

TEST(FloodGuardTest, BeyondALimitTheUserIsToldOnceThenIgnored) {
  const FloodRules rules{5, 3, 300};
  const std::vector<std::vector<Step>> runs = {
      // finds 5 s apart are answered; one sooner starts the ignoring
      {{true, 0, A}, {true, 5, A}, {true, 9, S}, {true, 10, I}, {false, 11, I}, {true, 309, A}},
      // three requests a minute; the fourth starts it, a minute on they are counted afresh
      {{false, 0, A}, {false, 1, A}, {false, 2, A}, {false, 3, S}, {false, 302, I}, {false, 303, A},
       {false, 304, A}, {false, 305, A}, {false, 306, S}},
      {{false, 0, A}, {false, 1, A}, {false, 30, A}, {false, 60, A}, {false, 61, A}, {false, 62, S}},
      // finds and requests are counted apart
      {{true, 0, A}, {false, 1, A}, {false, 2, A}, {true, 5, A}},
  };
  for (size_t run = 0; run < runs.size(); ++run) {
    FloodGuard guard;
    for (const Step& step : runs[run]) {
      const Verdict got = step.find ? guard.Find("ann", step.at, rules)
                                    : guard.Request("ann", step.at, rules);
      EXPECT_EQ(got, step.verdict) << "run " << run << " at " << step.at;
    }
    EXPECT_EQ(guard.Request("bea", 3, rules), A) << "others are not ignored";
  }
}

TEST(FloodGuardTest, ANewNickKeepsWhatCountedAgainstTheOld) {
  FloodGuard guard;
  const FloodRules rules{5, 2, 300};
  EXPECT_EQ(guard.Request("eve", 0, rules), A);
  EXPECT_EQ(guard.Find("eve", 0, rules), A);
  EXPECT_EQ(guard.Request("bob", 1, rules), A);
  guard.Rename("eve", "bob");
  EXPECT_EQ(guard.Request("bob", 2, rules), S);  // eve's and bob's requests together
  EXPECT_EQ(guard.Find("mal", 0, rules), A);
  EXPECT_EQ(guard.Find("mal", 1, rules), S);
  guard.Rename("mal", "mal2");
  EXPECT_EQ(guard.Find("mal2", 100, rules), I);
  EXPECT_EQ(guard.Find("mal", 100, rules), A);  // the old nick is free for others
}

TEST(FloodGuardTest, ManyNicksDoNotGrowTheTableWithoutEnd) {
  FloodGuard guard;
  const FloodRules rules{5, 10, 300};
  for (int i = 0; i < 5000; ++i) guard.Find("n" + std::to_string(i), i * 10, rules);
  EXPECT_LE(guard.users(), 1001u);
}

TEST(FindTooShortTest, CountsWhatIsNotAWildcard) {
  EXPECT_TRUE(FindTooShort("*a*b*"));
  EXPECT_TRUE(FindTooShort("**"));
  EXPECT_FALSE(FindTooShort("*a*b*c"));
}

struct MaskCase {
  const char* masks;
  const char* who;
  bool matches;
};

class MaskTest : public ::testing::TestWithParam<MaskCase> {};

TEST_P(MaskTest, MatchesAsWritten) {
  EXPECT_EQ(AnyMaskMatches(GetParam().masks, GetParam().who), GetParam().matches);
}

INSTANTIATE_TEST_SUITE_P(
    Masks, MaskTest,
    ::testing::Values(MaskCase{"mallory!*@*", "Mallory!~m@host.example", true},
                      MaskCase{"*!*@*.example", "eve!e@a.b.example", true},
                      MaskCase{"*!*@*.example", "eve!e@a.example.org", false},
                      MaskCase{"bob!*@*", "bobby!b@h", false},
                      MaskCase{"x!*@*, *!*@bad.host", "eve!e@bad.host", true},
                      MaskCase{"*a*a*b", "xaaab", true}, MaskCase{"*a*a*b", "xab", false},
                      MaskCase{",, ", "eve!e@h", false}, MaskCase{"*", "eve!e@h", true}));

}  // namespace
}  // namespace serve
