// The sends a server owes: never more at once than its slots, in the order
// asked, each user and the whole queue within their limits.
#include "send_queue.h"

#include <gtest/gtest.h>

namespace serve {
namespace {

Send Ask(const std::string& nick, const std::string& file) {
  return Send{"net", nick, file, "/music/" + file};
}

TEST(SendQueueTest, SlotsLimitTheSendsAndEndedOnesMakeRoom) {
  SendQueue queue;
  const Limits limits{1, 3, 20};
  size_t place = 0;
  for (const char* file : {"a", "b", "c"}) {
    ASSERT_EQ(queue.Add(Ask("ann", file), limits, &place), SendQueue::Outcome::kQueued);
  }
  EXPECT_EQ(place, 3u);
  ASSERT_EQ(queue.Start(limits).size(), 1u);
  EXPECT_TRUE(queue.Start(limits).empty());
  EXPECT_FALSE(queue.Finished("net", "ANN", "/music/b"));  // b has not started
  EXPECT_TRUE(queue.Finished("net", "ANN", "/music/a"));   // nicks compare as IRC does
  const std::vector<Send> next = queue.Start(limits);
  ASSERT_EQ(next.size(), 1u);
  EXPECT_EQ(next[0].name, "b");
}

TEST(SendQueueTest, RefusesRepeatsAndWhatGoesPastTheLimits) {
  SendQueue queue;
  const Limits limits{1, 2, 3};
  EXPECT_EQ(queue.Add(Ask("ann", "a"), limits, nullptr), SendQueue::Outcome::kQueued);
  EXPECT_EQ(queue.Add(Ask("Ann", "a"), limits, nullptr), SendQueue::Outcome::kAlreadyAsked);
  EXPECT_EQ(queue.Add(Ask("ann", "b"), limits, nullptr), SendQueue::Outcome::kQueued);
  EXPECT_EQ(queue.Add(Ask("ann", "c"), limits, nullptr), SendQueue::Outcome::kUserFull);
  EXPECT_EQ(queue.Add(Ask("bea", "a"), limits, nullptr), SendQueue::Outcome::kQueued);
  EXPECT_EQ(queue.Add(Ask("cid", "a"), limits, nullptr), SendQueue::Outcome::kQueueFull);
  queue.Start(limits);
  EXPECT_EQ(queue.Add(Ask("ann", "a"), limits, nullptr), SendQueue::Outcome::kAlreadyAsked);
}

}  // namespace
}  // namespace serve
