// The floor for the generation benchmark: what any list maker must do at
// least. Walks the tree, sorts the paths, and for each file only opens it,
// reads its first 4 KB and its last 128 bytes, and closes it. HEAD_BYTES
// sets another head size (the run itself reads 1 KB first).
//
//   generate_floor_bench TREE [HEAD_BYTES]
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {
constexpr size_t kMostHead = 4096;
constexpr off_t kTail = 128;
}  // namespace

int main(int argc, char** argv) {
  const size_t head = argc == 3 ? size_t(std::atol(argv[2])) : kMostHead;
  if (argc < 2 || argc > 3 || head == 0 || head > kMostHead) {
    std::fprintf(stderr, "usage: generate_floor_bench TREE [HEAD_BYTES (1-4096)]\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::string> paths;
  for (const auto& entry : fs::recursive_directory_iterator(argv[1])) {
    if (entry.is_regular_file() && entry.path().extension() == ".mp3") paths.push_back(entry.path());
  }
  std::sort(paths.begin(), paths.end());
  char buffer[kMostHead];
  long bytes = 0;
  for (const std::string& path : paths) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) continue;
    bytes += read(fd, buffer, head);
    if (lseek(fd, -kTail, SEEK_END) >= 0) bytes += read(fd, buffer, kTail);
    close(fd);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("floor     %6zu files  %7.3f s  %9.0f files/s  %6.1f us/file  max RSS %ld KB  "
              "(%zu-byte heads, %ld bytes read)\n",
              paths.size(), seconds, paths.size() / seconds, seconds * 1e6 / double(paths.size()),
              usage.ru_maxrss, head, bytes);
  return 0;
}
