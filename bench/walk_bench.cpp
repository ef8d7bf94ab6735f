// Times the counting over a generated tree of music files (make_sample_tree
// names): ZOQ_CountFiles (walk and sort) and the sort of a shuffled
// ordering file on its own, and prints files per second for each.
//   walk_bench TREE WORK     (WORK: a folder for the ordering files)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "quorbel_api.h"
#include "quorbel_oob.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 3;

struct TreeCount {
  int songs = 0;
  int others = 0;
};

TreeCount CountExisting(const fs::path& root) {
  TreeCount count;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    ++(entry.path().extension() == ".mp3" ? count.songs : count.others);
  }
  return count;
}

std::string Call(QuorbelCommand command, const std::string& argument = "") {
  char data[901] = {};
  argument.copy(data, 900);
  command(nullptr, nullptr, data, nullptr, 1, 0);
  return data;
}

void Expect(const std::string& reply, const std::string& expected) {
  if (reply == expected) return;
  std::fprintf(stderr, "unexpected reply: %s\n", reply.c_str());
  std::exit(1);
}

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Shuffles the ordering file so that every sort starts from disorder.
void Shuffle(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line + "\n");
  in.close();
  std::shuffle(lines.begin(), lines.end(), std::mt19937(11));
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (const std::string& line : lines) out << line;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: walk_bench TREE WORK\n");
    return 2;
  }
  const fs::path tree = argv[1], work = argv[2];
  fs::create_directories(work);
  const TreeCount found = CountExisting(tree);
  const int files = found.songs;

  std::ofstream(work / "bench.ini") << "[listmake]\r\ngear=2\r\n[Extension]\r\n1=*.mp3\r\n"
                                    << "[drive]\r\n1=" << tree.string() << "\r\n";
  LOADINFO info{};
  LoadDll(&info);
  Expect(Call(ZOQ_SetIniFile, (work / "bench.ini").string()), "200 OK __ZOQ_SetIniFile__");
  Expect(Call(ZOQ_SetDirectory, work.string()), "200 OK __ZOQ_SetDirectory__");

  double count_best = 1e9, sort_best = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    auto start = Clock::now();
    Expect(Call(ZOQ_CountFiles), "200 OK __ZOQ_CountFiles__");
    count_best = std::min(count_best, Seconds(start));
    Expect(Call(ZOQ_Status, "Files"), "201 OK-DATA __ZOQ_Status__ " + std::to_string(files));
    quorbel::ZOQ_Quorbel->fbyfilesfile.Close();
    Shuffle(work / "byfiles.tmp");
    start = Clock::now();
    quorbel::ZOQ_Quorbel->SortOrderFile(quorbel::OrderKind::kByFiles);
    sort_best = std::min(sort_best, Seconds(start));
  }
  UnloadDll(1);

  // The counting keys its lines while it walks, so its sort is not the
  // sort of a file alone: the two are shown side by side, not subtracted.
  std::printf("tree: %d files (+%d others)\n", files, found.others);
  std::printf("ZOQ_CountFiles   %8.3f s  %10.0f files/s (walk and sort)\n", count_best, files / count_best);
  std::printf("  sort alone     %8.3f s  %10.0f files/s (a shuffled ordering file)\n", sort_best,
              files / sort_best);
  return 0;
}
