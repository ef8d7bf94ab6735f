// The ordering files "bydirs.tmp" and "byfiles.tmp": writing their lines
// during the walk, sorting the one the run reads, reading it back.
#include <cstdint>
#include <utility>
#include <vector>

#include "engine_sort.h"
#include "quorbel_oob.h"

namespace quorbel {

namespace {

std::vector<std::string> LoadLines(Env& env, const std::string& path) {
  TextFile file;
  file.ResetOrRaise(env, path);
  std::vector<std::string> lines;
  std::string line;
  while (file.ReadLine(&line)) lines.push_back(std::move(line));
  return lines;
}

void SaveLines(Env& env, const std::string& path, const std::vector<std::string>& lines,
               const std::vector<uint32_t>& order) {
  TextFile file;
  file.RewriteOrRaise(env, path);
  for (uint32_t i : order) file.WriteLine(lines[i]);
  file.CloseOrRaise();
}

}  // namespace

void TZOQ_Quorbel::WriteOrderLine(OrderKind kind, const std::string& line) {
  OrderFile(kind).WriteLine(line);
}

// Lines that compare equal keep the walk's order.
void TZOQ_Quorbel::SortOrderFile(OrderKind kind) {
  const std::string path = OrderPath(kind);
  const std::vector<std::string> lines = LoadLines(*env_, path);
  SaveLines(*env_, path, lines, CollationOrder(*env_, lines));
}

void TZOQ_Quorbel::ReadOrderLine(OrderKind kind, std::string* line) {
  OrderFile(kind).ReadLine(line);
}

}  // namespace quorbel
