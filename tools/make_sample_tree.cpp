// The sample-tree maker: writes music trees of sample MPEG files for the
// demo and the benchmarks (the tests build the same files in memory), and
// the lookup benchmarks' list.
//
//   make_sample_tree demo DIR            the demo's small tree
//   make_sample_tree albums DIR COUNT    the generation benchmarks' tree
//   make_sample_tree reader DIR COUNT    the reader benchmark's mixed tree
//   make_sample_tree streams DIR         one stream per valid header kind
//   make_sample_tree names DIR COUNT     the walk benchmark's tree of names
//   make_sample_tree list DIR LINES      a list, its index and bench.ini
#include <cstdio>
#include <string>
#include <vector>

#include "sample/sample_trees.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: make_sample_tree demo DIR | albums DIR COUNT | reader DIR COUNT | "
               "streams DIR | names DIR COUNT | list DIR LINES\n");
  return 2;
}

int Made(bool ok, const std::string& what, const std::string& dir) {
  if (!ok) {
    std::fprintf(stderr, "make_sample_tree: cannot write %s under %s\n", what.c_str(), dir.c_str());
    return 1;
  }
  std::printf("%s under %s\n", what.c_str(), dir.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 2) return Usage();
  const std::string& kind = args[0];
  const std::string& dir = args[1];
  if (args.size() == 2 && kind == "demo") {
    return Made(quorbel::sample::MakeDemoTree(dir), "the demo tree", dir);
  }
  if (args.size() == 2 && kind == "streams") {
    const int made = quorbel::sample::MakeStreams(dir);
    return Made(made >= 0, made >= 0 ? std::to_string(made) + " streams" : "the streams", dir);
  }
  if (args.size() != 3) return Usage();
  const int count = std::stoi(args[2]);
  const std::string files = std::to_string(count) + " files";
  if (kind == "albums") return Made(quorbel::sample::MakeAlbumTree(dir, count), files, dir);
  if (kind == "reader") return Made(quorbel::sample::MakeReaderTree(dir, count), files, dir);
  if (kind == "list") {
    const std::string what = std::to_string(count) + " list lines, their index and " +
                             quorbel::sample::kSampleListIni;
    return Made(quorbel::sample::WriteSampleList(dir, count).has_value(), what, dir);
  }
  if (kind == "names") {
    const int others = quorbel::sample::MakeNameTree(dir, count);
    return Made(others >= 0, files + " (+" + std::to_string(others) + " others)", dir);
  }
  return Usage();
}
