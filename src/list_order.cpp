// The ordering files "bydirs.tmp" and "byfiles.tmp": writing their lines
// during the walk, sorting the one the run reads, reading it back.
#include <cstdint>
#include <utility>
#include <vector>

#include "engine_sort.h"
#include "list_order_keys.h"
#include "quorbel_oob.h"
#include "serve_lookup_snapshot.h"

namespace quorbel {

namespace {

// The file whole, and its lines as views into it: one block for the
// largest collections instead of a string per line.
struct LoadedLines {
  std::string text;
  std::vector<std::string_view> lines;
};

LoadedLines LoadLines(Env& env, const std::string& path) {
  TextFile file;
  file.ResetOrRaise(env, path);
  LoadedLines loaded;
  file.ReadRest(&loaded.text);
  std::vector<LineSpan> spans;
  LineSplitter().Split(loaded.text, true, &spans);
  loaded.lines.reserve(spans.size());
  for (const LineSpan& span : spans) {
    loaded.lines.push_back(std::string_view(loaded.text).substr(span.begin, span.end - span.begin));
  }
  return loaded;
}

void SaveLines(Env& env, const std::string& path, const std::vector<std::string_view>& lines,
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

// Lines that compare equal keep the walk's order. Keys made during the
// walk stand in for the file's lines when it holds exactly the lines keyed.
void TZOQ_Quorbel::SortOrderFile(OrderKind kind, OrderKeys* made) {
  const std::string path = OrderPath(kind);
  if (made != nullptr && made->Finish(path)) {
    SaveLines(*env_, path, made->lines(), CollationOrder(made->keys(), made->starts()));
    return;
  }
  const LoadedLines loaded = LoadLines(*env_, path);
  SaveLines(*env_, path, loaded.lines, CollationOrder(*env_, loaded.lines));
}

void TZOQ_Quorbel::ReadOrderLine(OrderKind kind, std::string* line) {
  OrderFile(kind).ReadLine(line);
}

}  // namespace quorbel
