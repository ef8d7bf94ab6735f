// Each send's cap keeps the sum of the slots' sends below the overall cap.
#include "speed_cap.h"

#include <tuple>
#include <vector>

#include <gtest/gtest.h>

namespace serve {
namespace {

TEST(SpeedCapTest, PerSendCapAndTheOverallCapsShareOfASlot) {
  // overall, per send, slots -> each send's cap
  for (const auto& [overall, per_send, slots, cap] : std::vector<std::tuple<int, int, size_t, int>>{
           {0, 0, 4, 0},        // no cap: xfer's own limit is left alone
           {0, 50, 4, 50},      {400, 0, 4, 100},  {400, 50, 4, 50},  {400, 300, 4, 100},
           {3, 0, 4, 1},        // a share is never 0, which xfer reads as no cap
           {100, 0, 0, 100}}) {
    EXPECT_EQ(SendSpeedCap(overall, per_send, slots), cap) << overall << " " << per_send << " " << slots;
  }
}

}  // namespace
}  // namespace serve
