// Times the two lookups that answer other users, over a list and an index
// of 100,000 files each, with requests that match nothing (every line is
// read): ZOQ_At_Find and ZOQ_SearchFile. Prints requests per second.
//   lookup_bench [lines] [seconds per command]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "quorbel_api.h"

namespace {

namespace fs = std::filesystem;

constexpr int kDefaultLines = 100000;
constexpr double kDefaultSeconds = 2.0;
constexpr const char* kNick = "Bench";
constexpr const char* kName = "bench";

const char* const kWords[] = {"love",  "night", "dream", "fire",  "heart", "rain",  "summer",
                              "blue",  "road",  "home",  "angel", "dance", "shadow", "light",
                              "river", "city",  "gold",  "wild",  "time",  "star",   "ocean"};

std::string Words(std::mt19937& rng, int count) {
  std::uniform_int_distribution<size_t> pick(0, std::size(kWords) - 1);
  std::string text;
  for (int i = 0; i < count; ++i) text += (i ? " " : "") + std::string(kWords[pick(rng)]);
  return text;
}

// A list file and an index as the generation run writes them.
void WriteFiles(const fs::path& dir, int lines) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> length(1, 4);
  std::FILE* list = std::fopen((dir / (std::string(kName) + "-mm.txt")).c_str(), "wb");
  std::FILE* index = std::fopen((dir / (std::string(kName) + "-mm.idx")).c_str(), "wb");
  std::fprintf(list, "Song list of %s: type @%s to get it\r\n\r\n", kNick, kNick);
  for (int i = 0; i < lines; ++i) {
    const std::string artist = Words(rng, length(rng));
    const std::string name = artist + " - " + Words(rng, length(rng)) + ".mp3";
    std::string line = "!" + std::string(kNick) + " " + name;
    line.append(line.size() < 70 ? 70 - line.size() : 1, '\xA0');
    std::fprintf(list, "%s4.2MB 192kbps 44kHz Stereo 3:41\r\n", line.c_str());
    std::fprintf(index, "%s\xFF/music/%s/\r\n", name.c_str(), artist.c_str());
  }
  std::fprintf(list, "\r\nTotal: %d files\r\n", lines);
  std::fclose(list);
  std::fclose(index);
}

std::string Call(QuorbelCommand command, const std::string& argument) {
  char data[901] = {};
  char parms[901] = {};
  argument.copy(data, 900);
  command(nullptr, nullptr, data, parms, 1, 0);
  return data;
}

// Repeats one request for about `seconds`; returns requests per second.
double Rate(QuorbelCommand command, const std::string& argument, const std::string& expected,
            double seconds) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  int requests = 0;
  std::chrono::duration<double> took{};
  do {
    const std::string reply = Call(command, argument);
    if (reply != expected) {
      std::fprintf(stderr, "unexpected reply: %s\n", reply.c_str());
      std::exit(1);
    }
    ++requests;
    took = Clock::now() - start;
  } while (took.count() < seconds);
  return requests / took.count();
}

}  // namespace

int main(int argc, char** argv) {
  const int lines = argc > 1 ? std::atoi(argv[1]) : kDefaultLines;
  const double seconds = argc > 2 ? std::atof(argv[2]) : kDefaultSeconds;
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const fs::path dir = fs::temp_directory_path() / ("quorbel-lookup-bench-" + std::to_string(stamp));
  fs::create_directories(dir);
  WriteFiles(dir, lines);
  const fs::path ini = dir / "bench.ini";
  std::FILE* f = std::fopen(ini.c_str(), "wb");
  std::fprintf(f, "[listmake]\r\nnick=%s\r\nname=%s\r\n", kNick, kName);
  std::fclose(f);

  LOADINFO info{};
  LoadDll(&info);
  Call(ZOQ_SetDirectory, dir.string());
  Call(ZOQ_SetIniFile, ini.string());

  const double find =
      Rate(ZOQ_At_Find, "zebra*quartz", "516 Nothing found __ZOQ_At_Find__", seconds);
  const double search = Rate(ZOQ_SearchFile, "zebra - quartz.mp3",
                             "516 Nothing found __ZOQ_SearchFile__", seconds);
  UnloadDll(1);
  fs::remove_all(dir);

  std::printf("%d lines, no match (every line read)\n", lines);
  std::printf("ZOQ_At_Find     %9.1f requests/s  %8.2f ms each\n", find, 1000.0 / find);
  std::printf("ZOQ_SearchFile  %9.1f requests/s  %8.2f ms each\n", search, 1000.0 / search);
  return 0;
}
