// Sorting lines in the user's locale, case ignored, as the ordering files
// and the download chart are sorted. Each line's collation key is made
// once and the keys are sorted, so that n lines cost n key computations
// rather than n log n locale comparisons; the key order equals the
// locale's caseless comparison, and lines that compare equal keep their
// order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/env.h"

namespace quorbel {

// The positions of `lines` in their sorted order.
std::vector<uint32_t> CollationOrder(Env& env, const std::vector<std::string_view>& lines);
// The same from keys made already (Env::AppendSortKeys's block and starts).
std::vector<uint32_t> CollationOrder(std::string_view keys, const std::vector<size_t>& starts);

// Sorts `lines` in place.
void SortByCollation(Env& env, std::vector<std::string>* lines);

}  // namespace quorbel
