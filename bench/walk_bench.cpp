// Times the counting over a generated tree of music files: ZOQ_CountFiles
// (walk and sort) and the sort of the ordering file on its own, and prints
// files per second for each.
//   walk_bench [files] [tree folder]
// Without a tree folder the tree goes to a temporary folder and is removed
// afterwards; with one it is made there (unless present) and kept, so that
// other tools can be timed over the same tree.
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

constexpr int kDefaultFiles = 20000;
constexpr int kFilesPerAlbum = 12;
constexpr int kAlbumsPerArtist = 4;
constexpr int kOtherFileEvery = 10;  // one cover or text file per ten songs
constexpr int kRounds = 3;

const char* const kWords[] = {"Love",  "night", "Dream", "fire",  "Heart", "rain",   "summer",
                              "Blue",  "road",  "Home",  "angel", "dance", "Shadow", "light",
                              "River", "city",  "gold",  "Wild",  "time",  "star",   "ocean"};

std::string Words(std::mt19937& rng, int count) {
  std::uniform_int_distribution<size_t> pick(0, std::size(kWords) - 1);
  std::string text;
  for (int i = 0; i < count; ++i) text += (i ? " " : "") + std::string(kWords[pick(rng)]);
  return text;
}

void Touch(const fs::path& path) { std::ofstream(path) << "x"; }

// Artist / album / songs, three levels deep; returns the number of songs.
int MakeTree(const fs::path& root, int files) {
  std::mt19937 rng(7);
  int made = 0;
  for (int artist = 0; made < files; ++artist) {
    const fs::path artist_dir = root / (std::to_string(artist) + " " + Words(rng, 2));
    for (int album = 0; album < kAlbumsPerArtist && made < files; ++album) {
      const fs::path album_dir = artist_dir / (Words(rng, 2) + " " + std::to_string(album));
      fs::create_directories(album_dir);
      for (int song = 0; song < kFilesPerAlbum && made < files; ++song, ++made) {
        Touch(album_dir / (std::to_string(song) + " - " + Words(rng, 3) + ".mp3"));
        if (made % kOtherFileEvery == 0) Touch(album_dir / ("cover" + std::to_string(song) + ".jpg"));
      }
    }
  }
  return made;
}

int CountExisting(const fs::path& root) {
  int songs = 0;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file() && entry.path().extension() == ".mp3") ++songs;
  }
  return songs;
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
  const int wanted = argc > 1 ? std::atoi(argv[1]) : kDefaultFiles;
  const bool keep = argc > 2;
  const fs::path base = keep ? fs::path(argv[2]) : fs::temp_directory_path() / "quorbel-walk-bench";
  const fs::path tree = base / "tree", work = base / "work";
  if (!keep) fs::remove_all(base);
  fs::create_directories(work);
  const int files = fs::exists(tree) ? CountExisting(tree) : MakeTree(tree, wanted);

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
  if (!keep) fs::remove_all(base);

  const double walk = std::max(count_best - sort_best, 1e-9);
  std::printf("tree: %d files (+%d others)\n", files, (files + kOtherFileEvery - 1) / kOtherFileEvery);
  std::printf("ZOQ_CountFiles   %8.3f s  %10.0f files/s (walk and sort)\n", count_best, files / count_best);
  std::printf("  walk           %8.3f s  %10.0f files/s\n", walk, files / walk);
  std::printf("  sort           %8.3f s  %10.0f files/s\n", sort_best, files / sort_best);
  return 0;
}
