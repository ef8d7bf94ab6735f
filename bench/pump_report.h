// What the pump benchmark's two programs (pump_bench on Linux, pump_host on
// Windows) share: the replies they accept, and the line that reports a
// series of timed requests, which bench/pump.sh reads.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace pump_bench {

// The reply of a command that did what it was asked.
inline bool Done(const std::string& reply) { return reply.starts_with("200 "); }

// Found entries, or none: anything else means the set-up went wrong.
inline bool FindReplyExpected(const std::string& reply) {
  return reply.starts_with("201 ") || reply.starts_with("516 ");
}

// The code that starts a reply line.
inline std::string ReplyCode(const std::string& reply) { return reply.substr(0, 3); }

// "median M ms  min N ms  reply CODE" for one series of requests.
inline void PrintSeries(std::vector<double> milliseconds, const std::string& reply) {
  std::sort(milliseconds.begin(), milliseconds.end());
  const size_t n = milliseconds.size();
  const double median = n % 2 ? milliseconds[n / 2]
                              : (milliseconds[n / 2 - 1] + milliseconds[n / 2]) / 2;
  std::printf("median %.3f ms  min %.3f ms  reply %s\n", median, milliseconds.front(),
              ReplyCode(reply).c_str());
  std::fflush(stdout);
}

}  // namespace pump_bench
