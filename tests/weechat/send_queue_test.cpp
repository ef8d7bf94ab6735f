// The sends a server owes: never more at once than its slots, users taking
// turns, each user and the whole queue within their limits, a failed send
// tried once more.
#include "send_queue.h"

#include <gtest/gtest.h>

namespace serve {
namespace {

Send Ask(const std::string& nick, const std::string& file) {
  return Send{"net", nick, file, "/music/" + file};
}

std::string Order(const std::vector<Send>& sends) {
  std::string order;
  for (const Send& send : sends) order += (order.empty() ? "" : " ") + send.nick + ":" + send.name;
  return order;
}

using Outcome = SendQueue::Outcome;
using Ended = SendQueue::Ended;

TEST(SendQueueTest, SlotsLimitTheSendsAndEndedOnesMakeRoom) {
  SendQueue queue;
  const Limits limits{1, 3, 20};
  for (const char* file : {"a", "b", "c"}) {
    ASSERT_EQ(queue.Add(Ask("ann", file), limits, nullptr), Outcome::kQueued);
  }
  ASSERT_EQ(queue.Start(limits).size(), 1u);
  EXPECT_TRUE(queue.Start(limits).empty());
  EXPECT_EQ(queue.Finished("net", "ANN", "/music/b", true, limits), Ended::kNotRunning);
  EXPECT_EQ(queue.Finished("net", "ANN", "/music/a", true, limits), Ended::kDone);  // IRC case
  EXPECT_EQ(Order(queue.Start(limits)), "ann:b");
}

TEST(SendQueueTest, UsersTakeTurns) {
  SendQueue queue;
  const Limits limits{1, 5, 20};
  size_t place = 0;
  for (const auto& [nick, file] : std::vector<std::pair<const char*, const char*>>{
           {"ann", "a1"}, {"ann", "a2"}, {"ann", "a3"}, {"bea", "b1"}, {"cid", "c1"}, {"bea", "b2"}}) {
    ASSERT_EQ(queue.Add(Ask(nick, file), limits, &place), Outcome::kQueued);
  }
  EXPECT_EQ(place, 5u);  // bea's second comes after everyone's first and ann's second
  EXPECT_EQ(Order(queue.Waiting()), "ann:a1 bea:b1 cid:c1 ann:a2 bea:b2 ann:a3");
  EXPECT_EQ(queue.PlacesOf("net", "ANN"), (std::vector<size_t>{1, 4, 6}));
  EXPECT_TRUE(queue.PlacesOf("other", "ann").empty());
  std::string sent;
  while (queue.waiting_count() > 0) {
    const std::vector<Send> started = queue.Start(limits);
    ASSERT_EQ(started.size(), 1u);
    sent += Order(started) + " ";
    // A user's first request goes before others' later ones.
    if (started[0].name == "c1") queue.Add(Ask("dan", "d1"), limits, nullptr);
    queue.Finished("net", started[0].nick, started[0].path, true, limits);
  }
  EXPECT_EQ(sent, "ann:a1 bea:b1 cid:c1 dan:d1 ann:a2 bea:b2 ann:a3 ");
}

TEST(SendQueueTest, ASendGoingOnCountsAsTheUsersFirstRound) {
  SendQueue queue;
  const Limits limits{1, 5, 20};
  queue.Add(Ask("ann", "a1"), limits, nullptr);
  ASSERT_EQ(Order(queue.Start(limits)), "ann:a1");
  for (const char* file : {"a2", "a3"}) queue.Add(Ask("ann", file), limits, nullptr);
  size_t place = 0;
  queue.Add(Ask("bea", "b1"), limits, &place);
  EXPECT_EQ(place, 1u);
  EXPECT_EQ(Order(queue.Waiting()), "bea:b1 ann:a2 ann:a3");
  queue.Finished("net", "ann", "/music/a1", true, limits);
  EXPECT_EQ(Order(queue.Start(limits)), "bea:b1");
}

TEST(SendQueueTest, AUserNeverHasMoreSendsThanTheirLimit) {
  for (const size_t per_user : {1u, 2u}) {
    SendQueue queue;
    const Limits limits{3, 5, 20, per_user};
    for (const char* file : {"a1", "a2", "a3"}) queue.Add(Ask("ann", file), limits, nullptr);
    queue.Add(Ask("bea", "b1"), limits, nullptr);
    // A free slot stays free rather than go to a user at their limit.
    EXPECT_EQ(Order(queue.Start(limits)), per_user == 1 ? "ann:a1 bea:b1" : "ann:a1 bea:b1 ann:a2");
    queue.Finished("net", "ann", "/music/a1", true, limits);
    EXPECT_EQ(Order(queue.Start(limits)), per_user == 1 ? "ann:a2" : "ann:a3");
  }
}

TEST(SendQueueTest, RefusesRepeatsAndWhatGoesPastTheLimits) {
  SendQueue queue;
  const Limits limits{1, 2, 3};
  struct Step {
    const char *nick, *file;
    Outcome outcome;
  };
  for (const Step& step : {Step{"ann", "a", Outcome::kQueued}, Step{"Ann", "a", Outcome::kAlreadyAsked},
                           Step{"ann", "b", Outcome::kQueued}, Step{"ann", "c", Outcome::kUserFull},
                           Step{"bea", "a", Outcome::kQueued}, Step{"cid", "a", Outcome::kQueueFull}}) {
    EXPECT_EQ(queue.Add(Ask(step.nick, step.file), limits, nullptr), step.outcome) << step.file;
  }
  queue.Start(limits);
  EXPECT_EQ(queue.Add(Ask("ann", "a"), limits, nullptr), Outcome::kAlreadyAsked);  // running
}

TEST(SendQueueTest, AFailedSendIsTriedOnceMoreFirstThenDropped) {
  SendQueue queue;
  const Limits limits{1, 3, 20};
  for (const char* file : {"a", "b"}) queue.Add(Ask("ann", file), limits, nullptr);
  queue.Add(Ask("bea", "x"), limits, nullptr);
  ASSERT_EQ(Order(queue.Start(limits)), "ann:a");
  EXPECT_EQ(queue.Finished("net", "ann", "/music/a", false, limits), Ended::kRetried);
  EXPECT_EQ(Order(queue.Waiting()), "bea:x ann:a ann:b");  // ann's turn is still after bea's
  ASSERT_EQ(Order(queue.Start(limits)), "bea:x");
  queue.Finished("net", "bea", "/music/x", true, limits);
  ASSERT_EQ(Order(queue.Start(limits)), "ann:a");
  Send dropped;
  EXPECT_EQ(queue.Finished("net", "ann", "/music/a", false, limits, &dropped), Ended::kDropped);
  EXPECT_EQ(dropped.name, "a");
  EXPECT_EQ(Order(queue.Waiting()), "ann:b");
}

TEST(SendQueueTest, ARetryNeverGoesPastTheLimits) {
  SendQueue queue;
  const Limits limits{1, 1, 20};
  queue.Add(Ask("ann", "a"), limits, nullptr);
  queue.Start(limits);
  queue.Add(Ask("ann", "b"), limits, nullptr);
  EXPECT_EQ(queue.Finished("net", "ann", "/music/a", false, limits), Ended::kDropped);
  EXPECT_EQ(queue.waiting_count(), 1u);
}

TEST(SendQueueTest, RemovingClearingAndNickChanges) {
  SendQueue queue;
  const Limits limits{1, 2, 20};
  for (const char* file : {"a", "b"}) queue.Add(Ask("ann", file), limits, nullptr);
  for (const char* file : {"x", "a"}) queue.Add(Ask("bea", file), limits, nullptr);
  ASSERT_EQ(Order(queue.Start(limits)), "ann:a");
  queue.RenameUser("net", "ANN", "anna", limits);
  EXPECT_EQ(Order(queue.Waiting()), "bea:x anna:b bea:a");
  // xfer may still name the old nick when the running send ends.
  EXPECT_EQ(queue.Finished("net", "ann", "/music/a", true, limits), Ended::kDone);
  queue.RenameUser("net", "bea", "anna", limits);  // merged, within the user's limit
  EXPECT_EQ(Order(queue.Waiting()), "anna:x anna:b");  // each keeps its round
  EXPECT_FALSE(queue.RemoveAt(3));
  EXPECT_FALSE(queue.RemoveAt(0));
  EXPECT_TRUE(queue.RemoveAt(2));
  EXPECT_EQ(Order(queue.Waiting()), "anna:x");
  queue.Add(Ask("cid", "c"), limits, nullptr);
  EXPECT_EQ(queue.RemoveUser("net", "ANNA"), 1u);
  EXPECT_EQ(queue.RemoveUser("net", "anna"), 0u);
  EXPECT_EQ(Order(queue.Waiting()), "cid:c");
  queue.ClearWaiting();
  EXPECT_EQ(queue.waiting_count(), 0u);
}

TEST(SendQueueTest, AUserWhoTookTheirRequestsOutStartsAfresh) {
  SendQueue queue;
  const Limits limits{1, 3, 20};
  for (const char* file : {"x1", "x2"}) queue.Add(Ask("bea", file), limits, nullptr);
  for (const char* file : {"a1", "a2", "a3"}) queue.Add(Ask("ann", file), limits, nullptr);
  EXPECT_EQ(queue.RemoveUser("net", "ann"), 3u);
  queue.Add(Ask("ann", "a4"), limits, nullptr);
  EXPECT_EQ(Order(queue.Waiting()), "bea:x1 ann:a4 bea:x2");
}

}  // namespace
}  // namespace serve
