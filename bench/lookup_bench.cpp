// Times the two lookups that answer other users, ZOQ_At_Find and
// ZOQ_SearchFile, over a list and an index of 100,000 files each:
//   - the first request after a new list (a freshly loaded engine), with a
//     request that matches nothing (every line is read) and one that is
//     answered from the first lines;
//   - the second request, which compares the file with the copy kept by
//     the first while the file is younger than its time stamps'
//     granularity, and otherwise prepares the kept copy for lookups;
//   - later requests (warm), once the files are older than their time
//     stamps' granularity, as a list is for most of its life;
// beside the floor (one memmem and one memchr pass over the list already in
// memory and lower-cased) and the tool a user would use instead, grep.
//   lookup_bench [lines] [seconds per measurement]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "quorbel_api.h"
#include "sample/sample_trees.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kDefaultLines = 100000;
constexpr double kDefaultSeconds = 2.0;
constexpr int kColdRounds = 20;
// Files written this recently are compared with their kept copy on every
// request (the stamps cannot show a rewrite yet).
constexpr auto kStampGranularity = std::chrono::milliseconds(3500);
constexpr const char* kNoMatchPattern = "zebra*quartz";
constexpr const char* kNoMatchKey = "zebra - quartz.mp3";
constexpr const char* kEarlyPattern = "love";

std::string Call(QuorbelCommand command, const std::string& argument) {
  char data[901] = {};
  char parms[901] = {};
  argument.copy(data, 900);
  command(nullptr, nullptr, data, parms, 1, 0);
  return data;
}

void Expect(const std::string& reply, const std::string& expected_start) {
  if (reply.compare(0, expected_start.size(), expected_start) != 0) {
    std::fprintf(stderr, "unexpected reply: %s\n", reply.c_str());
    std::exit(1);
  }
}

struct Setup {
  fs::path dir, ini;
};

void LoadEngine(const Setup& setup) {
  LOADINFO info{};
  LoadDll(&info);
  Call(ZOQ_SetDirectory, setup.dir.string());
  Call(ZOQ_SetIniFile, setup.ini.string());
}

// Repeats one request for about `seconds`; returns milliseconds per request.
double Warm(QuorbelCommand command, const std::string& argument, const std::string& expected,
            double seconds) {
  Expect(Call(command, argument), expected);  // the request that keeps the file
  const auto start = Clock::now();
  int requests = 0;
  std::chrono::duration<double> took{};
  do {
    Expect(Call(command, argument), expected);
    ++requests;
    took = Clock::now() - start;
  } while (took.count() < seconds);
  return took.count() * 1000.0 / requests;
}

// One request after `before` requests of a freshly loaded engine, best of
// several rounds; milliseconds.
double Fresh(const Setup& setup, int before, QuorbelCommand command, const std::string& argument,
             const std::string& expected) {
  double best = 1e9;
  for (int round = 0; round < kColdRounds; ++round) {
    UnloadDll(1);
    LoadEngine(setup);
    for (int i = 0; i < before; ++i) Call(command, kNoMatchKey);
    const auto start = Clock::now();
    const std::string reply = Call(command, argument);
    const std::chrono::duration<double, std::milli> took = Clock::now() - start;
    Expect(reply, expected);
    best = std::min(best, took.count());
  }
  return best;
}

double Cold(const Setup& setup, QuorbelCommand command, const std::string& argument,
            const std::string& expected) {
  return Fresh(setup, 0, command, argument, expected);
}

std::string ReadAll(const fs::path& path) {
  std::string text(fs::file_size(path), '\0');
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (std::fread(text.data(), 1, text.size(), f) != text.size()) std::exit(1);
  std::fclose(f);
  return text;
}

// One pass over a buffer already in memory, in milliseconds per pass.
template <typename Pass>
double Floor(Pass pass, double seconds) {
  const auto start = Clock::now();
  int passes = 0;
  std::chrono::duration<double> took{};
  do {
    if (pass() != nullptr) std::exit(1);  // the pattern is not in the list
    ++passes;
    took = Clock::now() - start;
  } while (took.count() < seconds);
  return took.count() * 1000.0 / passes;
}

// A shell command run `rounds` times; milliseconds per run.
double Shell(const std::string& command, int rounds) {
  const auto start = Clock::now();
  for (int i = 0; i < rounds; ++i) {
    if (std::system(command.c_str()) == -1) std::exit(1);
  }
  const std::chrono::duration<double, std::milli> took = Clock::now() - start;
  return took.count() / rounds;
}

void Row(const char* what, double ms) { std::printf("  %-46s %9.3f ms\n", what, ms); }

}  // namespace

int main(int argc, char** argv) {
  const int lines = argc > 1 ? std::atoi(argv[1]) : kDefaultLines;
  const double seconds = argc > 2 ? std::atof(argv[2]) : kDefaultSeconds;
  const auto stamp = Clock::now().time_since_epoch().count();
  Setup setup;
  setup.dir = fs::temp_directory_path() / ("quorbel-lookup-bench-" + std::to_string(stamp));
  const std::optional<std::string> first_name =
      quorbel::sample::WriteSampleList(setup.dir.string(), lines);
  if (!first_name) {
    std::fprintf(stderr, "cannot write the list under %s\n", setup.dir.c_str());
    return 1;
  }
  const auto written = Clock::now();
  const std::string name = quorbel::sample::kSampleListName;
  const fs::path list = setup.dir / (name + "-mm.txt");
  const fs::path index = setup.dir / (name + "-mm.idx");
  setup.ini = setup.dir / quorbel::sample::kSampleListIni;

  const std::string find_none = "516 Nothing found __ZOQ_At_Find__";
  const std::string find_some = "201 OK-DATA __ZOQ_At_Find__ 6";
  const std::string search_none = "516 Nothing found __ZOQ_SearchFile__";
  const std::string search_first = "201 OK-DATA __ZOQ_SearchFile__ /music/";

  std::printf("%d lines: list %.1f MB, index %.1f MB\n", lines, fs::file_size(list) / 1e6,
              fs::file_size(index) / 1e6);
  LoadEngine(setup);
  std::printf("first request after a new list (fresh engine, best of %d)\n", kColdRounds);
  Row("ZOQ_At_Find, no match", Cold(setup, ZOQ_At_Find, kNoMatchPattern, find_none));
  Row("ZOQ_At_Find, six found in the first lines",
      Cold(setup, ZOQ_At_Find, kEarlyPattern, find_some));
  Row("ZOQ_SearchFile, no match", Cold(setup, ZOQ_SearchFile, kNoMatchKey, search_none));
  Row("ZOQ_SearchFile, first line", Cold(setup, ZOQ_SearchFile, *first_name, search_first));
  // Within the stamps' granularity of the write every request compares the
  // file with its kept copy.
  std::printf("second request, files younger than the stamps' granularity (content compared)\n");
  Row("ZOQ_At_Find, no match", Fresh(setup, 1, ZOQ_At_Find, kNoMatchPattern, find_none));
  Row("ZOQ_SearchFile, no match", Fresh(setup, 1, ZOQ_SearchFile, kNoMatchKey, search_none));
  if (Clock::now() > written + kStampGranularity) std::printf("  (too slow: the files aged meanwhile)\n");

  std::this_thread::sleep_until(written + kStampGranularity);
  std::printf("second request, older files (splits the kept file into lines, names into a table)\n");
  Row("ZOQ_At_Find, no match", Fresh(setup, 1, ZOQ_At_Find, kNoMatchPattern, find_none));
  Row("ZOQ_SearchFile, no match", Fresh(setup, 1, ZOQ_SearchFile, kNoMatchKey, search_none));
  std::printf("later requests (warm)\n");
  Row("ZOQ_At_Find, no match", Warm(ZOQ_At_Find, kNoMatchPattern, find_none, seconds));
  Row("ZOQ_At_Find, six found in the first lines",
      Warm(ZOQ_At_Find, kEarlyPattern, find_some, seconds));
  Row("ZOQ_SearchFile, no match", Warm(ZOQ_SearchFile, kNoMatchKey, search_none, seconds));
  Row("ZOQ_SearchFile, first line", Warm(ZOQ_SearchFile, *first_name, search_first, seconds));
  UnloadDll(1);

  std::string lowered = ReadAll(list);
  for (char& c : lowered) c = char(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
  const std::string raw_index = ReadAll(index);
  std::printf("floor: one pass over the file in memory\n");
  Row("memmem \"quartz\" over the lower-cased list", Floor([&] {
        return memmem(lowered.data(), lowered.size(), "quartz", 6);
      }, seconds));
  Row("memchr 'q' over the lower-cased list", Floor([&] {
        return std::memchr(lowered.data(), 'q', lowered.size());
      }, seconds));
  Row("memmem the key over the index", Floor([&] {
        return memmem(raw_index.data(), raw_index.size(), kNoMatchKey, std::strlen(kNoMatchKey));
      }, seconds));

  std::printf("alternative: grep, one process per request (C locale)\n");
  const int rounds = 20;
  Row("grep -ci 'zebra.*quartz' list",
      Shell("LC_ALL=C grep -ci 'zebra.*quartz' '" + list.string() + "' >/dev/null", rounds));
  Row("grep -cF key index",
      Shell("LC_ALL=C grep -cF '" + std::string(kNoMatchKey) + "' '" + index.string() +
                "' >/dev/null",
            rounds));
  fs::remove_all(setup.dir);
  return 0;
}
