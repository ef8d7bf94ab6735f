#include "speed_cap.h"

#include <algorithm>

namespace serve {

int SendSpeedCap(int overall_kb, int per_send_kb, size_t slots) {
  int cap = std::max(per_send_kb, 0);
  if (overall_kb > 0) {
    const int share = std::max(1, int(size_t(overall_kb) / std::max<size_t>(slots, 1)));
    cap = cap == 0 ? share : std::min(cap, share);
  }
  return cap;
}

}  // namespace serve
