// The ordering files "bydirs.tmp" and "byfiles.tmp": writing their lines
// during the walk, sorting the one the run reads, reading it back.
#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "quorbel_oob.h"

namespace quorbel {

namespace {

// A line's collation key beside the line's position in the file.
using KeyedLine = std::pair<std::string, uint32_t>;

std::vector<std::string> LoadLines(Env& env, const std::string& path) {
  TextFile file;
  file.ResetOrRaise(env, path);
  std::vector<std::string> lines;
  std::string line;
  while (file.ReadLine(&line)) lines.push_back(std::move(line));
  return lines;
}

void SaveLines(Env& env, const std::string& path, const std::vector<std::string>& lines,
               const std::vector<KeyedLine>& order) {
  TextFile file;
  file.RewriteOrRaise(env, path);
  for (const KeyedLine& entry : order) file.WriteLine(lines[entry.second]);
  file.CloseOrRaise();
}

}  // namespace

void TZOQ_Quorbel::WriteOrderLine(OrderKind kind, const std::string& line) {
  OrderFile(kind).WriteLine(line);
}

// Each line's collation key is computed once and the keys are sorted, so
// big collections cost n key computations rather than n log n locale
// comparisons. The key order equals the locale's caseless comparison;
// lines that compare equal keep the walk's order.
void TZOQ_Quorbel::SortOrderFile(OrderKind kind) {
  const std::string path = OrderPath(kind);
  const std::vector<std::string> lines = LoadLines(*env_, path);
  std::vector<KeyedLine> order;
  order.reserve(lines.size());
  for (uint32_t i = 0; i < lines.size(); ++i) order.emplace_back(env_->SortKey(lines[i]), i);
  std::stable_sort(order.begin(), order.end(),
                   [](const KeyedLine& a, const KeyedLine& b) { return a.first < b.first; });
  SaveLines(*env_, path, lines, order);
}

void TZOQ_Quorbel::ReadOrderLine(OrderKind kind, std::string* line) {
  OrderFile(kind).ReadLine(line);
}

}  // namespace quorbel
