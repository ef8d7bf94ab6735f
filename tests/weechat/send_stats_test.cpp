// The owner's summary of the sends: counts, bytes of completed sends only,
// and the best rate with xfer's whole-second times.
#include "send_stats.h"

#include <gtest/gtest.h>

namespace serve {
namespace {

TEST(SendStatsTest, CountsDoneBytesAndTheBestRate) {
  SendStats stats;
  EXPECT_EQ(stats.Text(), "0 sends done, 0 failed, 0 B sent");
  stats.Ended(true, 3 * 1024 * 1024, 100, 103);  // 1 MB/s
  stats.Ended(false, 50 * 1024 * 1024, 100, 101); // failed: no bytes, no rate
  stats.Ended(true, 1024 * 1024, 200, 200);      // within a second: 1 MB/s, not infinite
  stats.Ended(true, 512, 0, 0);                  // times unknown
  EXPECT_EQ(stats.Text(), "3 sends done, 1 failed, 4.0 MB sent, best 1.0 MB/s");
  for (size_t running : {1, 3, 2}) stats.Running(running);
  EXPECT_EQ(stats.Text(), "3 sends done, 1 failed, 4.0 MB sent, best 1.0 MB/s, at most 3 at once");
}

TEST(SendStatsTest, BytesForPeople) {
  for (const auto& [bytes, text] : std::vector<std::pair<double, std::string>>{
           {0, "0 B"}, {1023, "1023 B"}, {1536, "1.5 KB"}, {5.0 * (1 << 30), "5.0 GB"},
           {3.0 * 1024 * 1024 * 1024 * 1024 * 1024, "3072.0 TB"}}) {
    EXPECT_EQ(Bytes(bytes), text);
  }
}

}  // namespace
}  // namespace serve
