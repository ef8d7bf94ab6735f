#include "send_stats.h"

#include <algorithm>
#include <cstdio>

namespace serve {

void SendStats::Ended(bool done, uint64_t size, long long start, long long end) {
  if (!done) {
    ++failed_;
    return;
  }
  ++done_;
  bytes_ += size;
  // xfer's times are whole seconds: a send within one second counts as one.
  if (start > 0 && end >= start) {
    best_rate_ = std::max(best_rate_, double(size) / double(std::max(1LL, end - start)));
  }
}

std::string SendStats::Text() const {
  std::string text = std::to_string(done_) + " sends done, " + std::to_string(failed_) +
                     " failed, " + Bytes(double(bytes_)) + " sent";
  if (best_rate_ > 0) text += ", best " + Bytes(best_rate_) + "/s";
  if (most_at_once_ > 0) text += ", at most " + std::to_string(most_at_once_) + " at once";
  return text;
}

std::string Bytes(double bytes) {
  static constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB"};
  if (bytes < 1024) return std::to_string(static_cast<uint64_t>(bytes)) + " B";
  size_t unit = 0;
  bytes /= 1024;
  while (bytes >= 1024 && unit + 1 < std::size(kUnits)) {
    bytes /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", bytes, kUnits[unit]);
  return text;
}

}  // namespace serve
