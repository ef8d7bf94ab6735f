// The speed caps, put into effect through xfer's own limit. xfer caps each
// send it makes, reading its limit when the receiver connects, not the sum
// of the sends: the overall cap is shared out evenly among the slots, so
// that however many sends run, together they stay below it.
#pragma once

#include <cstddef>

namespace serve {

// The cap in KB/s for each send: the per-send cap or one slot's share of
// the overall cap, whichever is lower (a share is at least 1); 0 when
// neither cap is set.
int SendSpeedCap(int overall_kb, int per_send_kb, size_t slots);

}  // namespace serve
