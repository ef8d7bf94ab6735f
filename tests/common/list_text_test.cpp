// Blank squeezing, shared by the library and the host: runs of equal
// blanks shrink to one, the character that ends a run is kept unexamined.
#include "list_text.h"
#include "support/test_support.h"

namespace quorbel::test {

namespace {
const std::string N = Nbsp(1);

struct SqueezeCase {
  const char* why;
  std::string text;
  std::string expected;
};

class SqueezeTest : public ::testing::TestWithParam<SqueezeCase> {};

TEST_P(SqueezeTest, GivesTheExpectedText) {
  const SqueezeCase& c = GetParam();
  const std::string original = c.text;
  EXPECT_EQ(SqueezeBlanks(c.text), c.expected) << c.why;
  EXPECT_EQ(c.text, original) << "the argument must stay unchanged";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SqueezeTest,
    ::testing::Values(
        SqueezeCase{"two spaces", "a  b", "a b"},
        SqueezeCase{"a path's folder and name", "/My  Music/a  b.mp3", "/My Music/a b.mp3"},
        SqueezeCase{"five spaces", "a     b", "a b"},
        SqueezeCase{"trailing run", "abc   ", "abc "},
        SqueezeCase{"leading run", "   abc", " abc"},
        SqueezeCase{"no blank", "Artist-Title.mp3", "Artist-Title.mp3"},
        SqueezeCase{"empty", "", ""},
        SqueezeCase{"only one blank", " ", " "},
        SqueezeCase{"NBSP run", "a" + N + N + N + "b", "a" + N + "b"},
        SqueezeCase{"space then NBSP", "a " + N + "b", "a " + N + "b"},
        SqueezeCase{"two NBSPs then two spaces", N + N + "  ", N + "  "},
        SqueezeCase{"space then two NBSPs", " " + N + N, " " + N + N},
        // The run-ender is copied unexamined, so the space after it starts a new run.
        SqueezeCase{"ender then run", "a  " + N + "   b", "a " + N + " b"},
        SqueezeCase{"padded list line", "x.mp3" + Nbsp(12) + "3.1 MB",
                    "x.mp3" + N + "3.1 MB"},
        SqueezeCase{"high bytes untouched", "\xE9\xE9  \xFF\xFF", "\xE9\xE9 \xFF\xFF"},
        SqueezeCase{"embedded zero kept", std::string("a\0\0  b", 6), std::string("a\0\0 b", 5)}));

}  // namespace
}  // namespace quorbel::test
