#include "engine_sort.h"

#include <algorithm>
#include <utility>

namespace quorbel {

std::vector<uint32_t> CollationOrder(Env& env, const std::vector<std::string>& lines) {
  // A line's key beside its position; only the positions outlive the sort.
  std::vector<std::pair<std::string, uint32_t>> keyed;
  keyed.reserve(lines.size());
  for (uint32_t i = 0; i < lines.size(); ++i) keyed.emplace_back(env.SortKey(lines[i]), i);
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<uint32_t> order;
  order.reserve(keyed.size());
  for (const auto& entry : keyed) order.push_back(entry.second);
  return order;
}

void SortByCollation(Env& env, std::vector<std::string>* lines) {
  std::vector<std::string> sorted;
  sorted.reserve(lines->size());
  for (uint32_t i : CollationOrder(env, *lines)) sorted.push_back(std::move((*lines)[i]));
  *lines = std::move(sorted);
}

}  // namespace quorbel
