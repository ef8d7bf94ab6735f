#include "engine_sort.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace quorbel {

namespace {

// How many bytes every key begins with: the keys of one collection share
// long beginnings (the music folder's own path).
size_t SharedStart(std::string_view keys, const std::vector<size_t>& starts, size_t count) {
  if (count == 0) return 0;
  const std::string_view first = keys.substr(starts[0], starts[1] - starts[0]);
  size_t shared = first.size();
  for (size_t i = 1; i < count && shared > 0; ++i) {
    const std::string_view key = keys.substr(starts[i], std::min(shared, starts[i + 1] - starts[i]));
    shared = std::mismatch(key.begin(), key.end(), first.begin()).first - key.begin();
  }
  return shared;
}

// Eight key bytes from `at` as one number, zeros past the key's end: a
// shorter key then never comes after a longer one it begins.
uint64_t Head(std::string_view key, size_t at) {
  uint64_t head = 0;
  for (size_t i = 0; i < 8; ++i) {
    head = (head << 8) | (at + i < key.size() ? uint8_t(key[at + i]) : 0u);
  }
  return head;
}

}  // namespace

std::vector<uint32_t> CollationOrder(std::string_view keys, const std::vector<size_t>& starts) {
  const size_t count = starts.empty() ? 0 : starts.size() - 1;
  auto key = [&](uint32_t i) { return keys.substr(starts[i], starts[i + 1] - starts[i]); };
  // Past what all keys share, eight bytes held beside each position decide
  // most comparisons without a look into the block.
  const size_t shared = SharedStart(keys, starts, count);
  struct Entry {
    uint64_t head;
    uint32_t index;
  };
  std::vector<Entry> entries(count);
  for (uint32_t i = 0; i < entries.size(); ++i) entries[i] = {Head(key(i), shared), i};
  // Equal keys keep the lines' order: their positions decide.
  std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
    if (a.head != b.head) return a.head < b.head;
    // Equal heads: both keys agree up to the shorter one's end or to the
    // head's, whichever comes first; only the bytes after that can differ.
    const std::string_view ka = key(a.index), kb = key(b.index);
    const size_t agreed = std::min({shared + 8, ka.size(), kb.size()});
    const int c = ka.substr(agreed).compare(kb.substr(agreed));
    return c < 0 || (c == 0 && a.index < b.index);
  });
  std::vector<uint32_t> order;
  order.reserve(entries.size());
  for (const Entry& entry : entries) order.push_back(entry.index);
  return order;
}

std::vector<uint32_t> CollationOrder(Env& env, const std::vector<std::string_view>& lines) {
  // Every key in one block, each found by where it starts: no allocation
  // per line, which a run over a large collection would pay 100,000 times.
  std::string keys;
  std::vector<size_t> starts;
  env.AppendSortKeys(lines, &keys, &starts);
  return CollationOrder(keys, starts);
}

void SortByCollation(Env& env, std::vector<std::string>* lines) {
  const std::vector<std::string_view> views(lines->begin(), lines->end());
  std::vector<std::string> sorted;
  sorted.reserve(lines->size());
  for (uint32_t i : CollationOrder(env, views)) sorted.push_back(std::move((*lines)[i]));
  *lines = std::move(sorted);
}

}  // namespace quorbel
