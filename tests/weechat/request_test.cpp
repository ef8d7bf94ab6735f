// Lines from a served channel, friendly and hostile: what each asks for,
// and that no name that is a path, or could break a command, gets through.
#include "request.h"

#include <gtest/gtest.h>

namespace serve {
namespace {

struct Case {
  const char* text;
  const char* kind;  // "none", "find", "file", "list", "refused"
  const char* value = "";
};

std::string KindOf(const Asked& asked, std::string* value) {
  if (const auto* find = std::get_if<FindRequest>(&asked)) return *value = find->pattern, "find";
  if (const auto* file = std::get_if<FileRequest>(&asked)) return *value = file->name, "file";
  if (std::holds_alternative<ListRequest>(asked)) return "list";
  if (std::holds_alternative<QueueAsk>(asked)) return "que";
  if (std::holds_alternative<RemoveAsk>(asked)) return "remove";
  if (std::holds_alternative<Refused>(asked)) return "refused";
  return "none";
}

class ReadRequestTest : public ::testing::TestWithParam<Case> {};

TEST_P(ReadRequestTest, ReadsWhatTheLineAsks) {
  std::string value;
  EXPECT_EQ(KindOf(ReadRequest(GetParam().text, "Bob[x]"), &value), GetParam().kind);
  EXPECT_EQ(value, GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ReadRequestTest,
    ::testing::Values(
        Case{"@find night*drive", "find", "night*drive"}, Case{"@FIND  beatles ", "find", "beatles"},
        Case{"@find", "none"}, Case{"@findx y", "none"},
        Case{"@bob{X}", "list"},  // the same nick in IRC's case rules
        Case{"@bobby", "none"}, Case{"@bob{x}-QUE", "que"}, Case{"@Bob[x]-remove", "remove"},
        Case{"@Bob[x]-queue", "none"}, Case{"@Bob[x] -que", "none"},
        Case{"!Bob[x] Night Drive.mp3", "file", "Night Drive.mp3"},
        Case{"!bob{x} Night Drive.mp3\xA0\xA0\xA0 ::INFO:: 3.0MB 128Kbps", "file", "Night Drive.mp3"},
        Case{"!Bob[x] Night Drive.mp3\xC2\xA0\xC2\xA0 ::INFO:: 3.0MB", "file", "Night Drive.mp3"},
        Case{"!Alice Night Drive.mp3", "none"}, Case{"!Bob[x]", "none"},
        Case{"!Bob[x] ../../etc/passwd", "refused"}, Case{"!Bob[x] /etc/passwd", "refused"},
        Case{"!Bob[x] a\\b.mp3", "refused"}, Case{"!Bob[x] a\x01" "b.mp3", "refused"},
        Case{"!Bob[x] a\rPRIVMSG #x :hi", "refused"}, Case{"@find a\nb", "refused"}));

TEST(ReadRequestTest, OverlongNamesAndPatternsAreRefused) {
  EXPECT_TRUE(std::holds_alternative<Refused>(
      ReadRequest("!Bob " + std::string(kLongestName + 1, 'a'), "Bob")));
  EXPECT_TRUE(std::holds_alternative<FileRequest>(
      ReadRequest("!Bob " + std::string(kLongestName, 'a'), "Bob")));
  EXPECT_TRUE(std::holds_alternative<Refused>(
      ReadRequest("@find " + std::string(kLongestPattern + 1, 'a'), "Bob")));
}

TEST(PlainTextTest, NoByteCanEndALineOrStartACtcp) {
  EXPECT_EQ(PlainText("a\r\nb\x01" "c\x7F" "d\xA0"), "a  b c d\xA0");
}

}  // namespace
}  // namespace serve
