#include "engine_sort.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace quorbel {

std::vector<uint32_t> CollationOrder(Env& env, const std::vector<std::string_view>& lines) {
  // Every key in one block, each found by where it starts: no allocation
  // per line, which a run over a large collection would pay 100,000 times.
  std::string keys;
  std::vector<size_t> starts;
  env.AppendSortKeys(lines, &keys, &starts);
  auto key = [&](uint32_t i) {
    return std::string_view(keys).substr(starts[i], starts[i + 1] - starts[i]);
  };
  std::vector<uint32_t> order(lines.size());
  std::iota(order.begin(), order.end(), 0u);
  // Equal keys keep the lines' order: their positions decide.
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    const int c = key(a).compare(key(b));
    return c < 0 || (c == 0 && a < b);
  });
  return order;
}

void SortByCollation(Env& env, std::vector<std::string>* lines) {
  const std::vector<std::string_view> views(lines->begin(), lines->end());
  std::vector<std::string> sorted;
  sorted.reserve(lines->size());
  for (uint32_t i : CollationOrder(env, views)) sorted.push_back(std::move((*lines)[i]));
  *lines = std::move(sorted);
}

}  // namespace quorbel
