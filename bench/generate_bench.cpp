// The generation run over a generated music tree (make_sample_tree
// albums), as the host runs it: counting, sorting and writing the list with
// every item ("sbqtaimgc"), by directories, without compression.
//
//   generate_bench run TREE WORK         one full run; prints its figures
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "quorbel_api.h"

namespace fs = std::filesystem;

namespace {

long MaxRssKb() {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

std::string Call(QuorbelCommand command, const std::string& argument = "") {
  std::vector<char> data(std::max<size_t>(4096, argument.size() + 1), '\0');
  std::vector<char> parms(4096, '\0');
  argument.copy(data.data(), argument.size());
  command(nullptr, nullptr, data.data(), parms.data(), 1, 0);
  return data.data();
}

int Run(const fs::path& tree, const fs::path& work) {
  fs::create_directories(work);
  const fs::path ini = work / "bench.ini";
  std::ofstream(ini) << "[listmake]\nnick=Bench\nmethod=sbqtaimgc\ngear=1\n"
                     << "[Extension]\n1=*.mp3\n[drive]\n1=" << tree.string() << "\n";
  LOADINFO info{};
  LoadDll(&info);
  bool ok = Call(ZOQ_SetDirectory, work.string()).rfind("200", 0) == 0 &&
            Call(ZOQ_SetIniFile, ini.string()).rfind("200", 0) == 0 &&
            Call(ZOQ_SetCompress, "0").rfind("200", 0) == 0;
  // Counting first, as the host does, so that its share and the memory the
  // sort needs show apart from the writing; the time covers both.
  const auto start = std::chrono::steady_clock::now();
  const std::string counted = ok ? Call(ZOQ_CountFiles) : "setup failed";
  const auto between = std::chrono::steady_clock::now();
  const long counting_rss = MaxRssKb();
  const std::string reply = ok ? Call(ZOQ_StartGenerate) : counted;
  const auto end = std::chrono::steady_clock::now();
  const double seconds = std::chrono::duration<double>(end - start).count();
  const double counting = std::chrono::duration<double>(between - start).count();
  const int files = std::stoi(Call(ZOQ_Status, "Files").substr(std::string("201 OK-DATA __ZOQ_Status__ ").size()));
  UnloadDll(1);
  std::printf("generate  %6d files  %7.3f s  %9.0f files/s  %6.1f us/file  max RSS %ld KB  (%s)\n",
              files, seconds, files / seconds, seconds * 1e6 / files, MaxRssKb(), reply.c_str());
  std::printf("          of which counting and sorting %.3f s (max RSS %ld KB by then)\n", counting,
              counting_rss);
  return reply.rfind("200", 0) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 3 && args[0] == "run") return Run(args[1], args[2]);
  std::fprintf(stderr, "usage: generate_bench run TREE WORK\n");
  return 2;
}
