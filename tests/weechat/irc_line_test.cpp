// Lines from an IRC server, split as the requests read them; any text at
// all splits without harm.
#include "irc_line.h"

#include <gtest/gtest.h>

namespace serve {
namespace {

struct Case {
  const char* raw;
  const char* nick;
  const char* command;
  std::vector<std::string> params;
};

class IrcLineTest : public testing::TestWithParam<Case> {};

TEST_P(IrcLineTest, Splits) {
  const IrcLine line = SplitIrcLine(GetParam().raw);
  EXPECT_EQ(line.nick, GetParam().nick);
  EXPECT_EQ(line.command, GetParam().command);
  EXPECT_EQ(line.params, GetParam().params);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, IrcLineTest,
    testing::Values(
        Case{":ann!~a@h PRIVMSG #music :!Bob Slow Train.mp3", "ann", "PRIVMSG",
             {"#music", "!Bob Slow Train.mp3"}},
        Case{"@time=2026-12-10T06:00:00Z :ann!~a@h PRIVMSG #m ::) two  blanks ", "ann", "PRIVMSG",
             {"#m", ":) two  blanks "}},
        Case{":ann!~a@h NICK :ann2", "ann", "NICK", {"ann2"}},
        Case{":ann!~a@h PART #m", "ann", "PART", {"#m"}},
        Case{":ann@h  QUIT   :", "ann", "QUIT", {""}},
        Case{"PING :x", "", "PING", {"x"}},
        Case{":irc.test 001 ann :Welcome", "irc.test", "001", {"ann", "Welcome"}},
        Case{"", "", "", {}}, Case{":", "", "", {}}, Case{"@tags-only", "", "", {}}));

}  // namespace
}  // namespace serve
