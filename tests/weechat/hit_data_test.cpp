// The download counts: one more for the file sent, the user's own lines
// and counts kept, in the form the chart reads.
#include "hit_data.h"

#include <gtest/gtest.h>

namespace serve {
namespace {

struct Case {
  const char* old_text;
  const char* name;
  const char* new_text;
};

class AddHitTest : public ::testing::TestWithParam<Case> {};

TEST_P(AddHitTest, CountsOneMoreDownload) {
  EXPECT_EQ(AddHit(GetParam().old_text, GetParam().name), GetParam().new_text);
}

INSTANTIATE_TEST_SUITE_P(
    Files, AddHitTest,
    ::testing::Values(
        Case{"", "Night Drive.mp3", "Night:Drive.mp3 1\r\n"},
        Case{"Night:Drive.mp3 3\nOpen:Road.mp3 1\n", "Night Drive.mp3",
             "Night:Drive.mp3 4\r\nOpen:Road.mp3 1\r\n"},
        Case{"Night:Drive.mp3 3\r\n\r\nOpen:Road.mp3 9", "Open Road.mp3",
             "Night:Drive.mp3 3\r\nOpen:Road.mp3 10\r\n"},
        Case{"Night:Drive.mp3 3\r\n", "Night Drive.mp3x", "Night:Drive.mp3 3\r\nNight:Drive.mp3x 1\r\n"},
        Case{"a.mp3 lots\r\nb.mp3\r\n", "a.mp3", "a.mp3 1\r\nb.mp3\r\n"},  // no number: starts again
        Case{"a.mp3 2147483647\r\n", "a.mp3", "a.mp3 2147483647\r\n"}));   // the chart's largest

TEST(ChartLineTextTest, KeepsColoursAndDropsLineEndsAndCtcp) {
  EXPECT_EQ(ChartLineText("\x03" "0,1 1\x01\r\n\x02x"), "\x03" "0,1 1\x02x");
  EXPECT_EQ(ChartLineText(std::string_view("a\0b", 3)), "ab");
}

}  // namespace
}  // namespace serve
