#include "platform/pump_pace.h"

#include <cstdlib>

#include "platform/env.h"

namespace quorbel {

int64_t PumpPace::IntervalFromEnvironment() {
  const char* text = std::getenv("QUORBEL_PUMP_INTERVAL_MS");
  if (text == nullptr || *text == '\0') return kDefaultIntervalMs;
  char* end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  if (*end != '\0' || value < 0) return kDefaultIntervalMs;
  return int64_t(value);
}

PumpPace& HostPumpPace() {
  static PumpPace pace;
  return pace;
}

void CommandBegins() { HostPumpPace().CommandBegins(PumpPace::IntervalFromEnvironment()); }

}  // namespace quorbel
