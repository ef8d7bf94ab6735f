// The queue kept across reloads: read back as written, and a damaged or
// edited file never yields a request that is not whole.
#include "queue_file.h"

#include <gtest/gtest.h>

namespace serve {
namespace {

TEST(QueueFileTest, ReadsBackWhatItWrote) {
  Send list{"net", "bea", "Bob[12-10-26]-mm.zip", "/lists/Bob[12-10-26]-mm.zip"};
  list.counted = false;
  Send retried{"other", "ann", "Slow Train Home.mp3", "/music/Slow Train Home.mp3"};
  retried.failures = 1;
  const std::string text = QueueFileText({retried, list});
  const std::vector<Send> back = ReadQueueFile(text);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(QueueFileText(back), text);
  EXPECT_EQ(back[0].failures, 1);
  EXPECT_FALSE(back[1].counted);
}

TEST(QueueFileTest, PassesOverLinesThatAreNotWhole) {
  const std::string good = "net\tann\ta.mp3\t/m/a.mp3\t0\t1\n";
  for (const std::string& bad : {std::string("net\tann\ta.mp3\t/m/a.mp3\t0\n"),  // a field short
                                 std::string("net\tann\ta.mp3\t/m/a.mp3\t0\t1\tx\n"),
                                 std::string("net\t\ta.mp3\t/m/a.mp3\t0\t1\n"),  // no nick
                                 std::string("net\tann\ta\r.mp3\t/m/a.mp3\t0\t1\n"),
                                 std::string("net\tann\ta.mp3\t/m/a.mp3\t12\t1\n"),
                                 std::string("net\tann\ta.mp3\t/m/a.mp3\t0\tyes\n"),
                                 std::string("net\tann\ta.mp3\t/m/a.mp3\t0\t1")}) {  // cut short
    const std::vector<Send> read = ReadQueueFile("quorbel queue 1\n" + good + bad);
    ASSERT_EQ(read.size(), 1u) << bad;
    EXPECT_EQ(read[0].path, "/m/a.mp3");
  }
  EXPECT_TRUE(ReadQueueFile("quorbel queue 2\n" + good).empty());
  EXPECT_TRUE(ReadQueueFile("").empty());
}

}  // namespace
}  // namespace serve
