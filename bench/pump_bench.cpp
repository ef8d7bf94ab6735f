// The pump benchmark's floor: ZOQ_At_Find with the engine in this process
// and no message pump installed, so that a request costs its scan alone.
// bench/pump.sh sets it beside the same requests through the Linux host and
// through a Windows host under Wine, where every pump reaches the host's
// message queue.
//
//   pump_bench DIR INI PATTERN COUNT   one warm-up, then COUNT timed requests
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "pump_report.h"
#include "quorbel.h"

namespace {

constexpr size_t kBufferSize = 901;
constexpr int kShowFlag = 1;

std::string Call(QuorbelCommand command, const std::string& argument) {
  char data[kBufferSize] = {};
  char parms[kBufferSize] = {};
  argument.copy(data, kBufferSize - 1);
  command(nullptr, nullptr, data, parms, kShowFlag, 0);
  return data;
}

bool Expect(bool expected, const std::string& reply) {
  if (!expected) std::fprintf(stderr, "pump_bench: unexpected reply: %s\n", reply.c_str());
  return expected;
}

// Points the engine at the list, as a host does first.
bool SetUp(const char* dir, const char* ini) {
  const std::pair<QuorbelCommand, const char*> steps[] = {{ZOQ_SetDirectory, dir},
                                                          {ZOQ_SetIniFile, ini}};
  for (const auto& [command, argument] : steps) {
    const std::string reply = Call(command, argument);
    if (!Expect(pump_bench::Done(reply), reply)) return false;
  }
  return true;
}

// Milliseconds of each of `count` requests after a warm-up; empty when a
// reply is not one a find may give. `reply` is the last one.
std::vector<double> TimeFinds(const std::string& pattern, int count, std::string* reply) {
  using Clock = std::chrono::steady_clock;
  std::vector<double> milliseconds;
  *reply = Call(ZOQ_At_Find, pattern);  // reads the list and keeps it
  if (!Expect(pump_bench::FindReplyExpected(*reply), *reply)) return {};
  for (int i = 0; i < count; ++i) {
    const auto start = Clock::now();
    *reply = Call(ZOQ_At_Find, pattern);
    milliseconds.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    if (!Expect(pump_bench::FindReplyExpected(*reply), *reply)) return {};
  }
  return milliseconds;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 || std::atoi(argv[4]) < 1) {
    std::fprintf(stderr, "usage: pump_bench DIR INI PATTERN COUNT\n");
    return 2;
  }
  LOADINFO info{};
  LoadDll(&info);
  std::string reply;
  std::vector<double> milliseconds;
  if (SetUp(argv[1], argv[2])) milliseconds = TimeFinds(argv[3], std::atoi(argv[4]), &reply);
  UnloadDll(1);
  if (milliseconds.empty()) return 1;
  pump_bench::PrintSeries(milliseconds, reply);
  return 0;
}
