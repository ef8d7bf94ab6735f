// What the sends of this session came to: how many were done and failed,
// the bytes of those done and the best rate one reached.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

namespace serve {

class SendStats {
 public:
  // A send ended; `start` and `end` are xfer's times (seconds) of its
  // first and last byte, 0 when it does not know them.
  void Ended(bool done, uint64_t size, long long start, long long end);
  // `count` sends are going on now.
  void Running(size_t count) { most_at_once_ = std::max(most_at_once_, count); }
  // One line for the owner:
  // "3 sends done, 1 failed, 4.2 MB sent, best 1.1 MB/s, at most 2 at once".
  std::string Text() const;

 private:
  uint64_t done_ = 0, failed_ = 0, bytes_ = 0;
  double best_rate_ = 0;  // bytes a second
  size_t most_at_once_ = 0;
};

// `bytes` for people: 512 B, 2.0 KB, 3.4 MB, 1.2 GB (powers of 1024).
std::string Bytes(double bytes);

}  // namespace serve
