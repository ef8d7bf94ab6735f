// The MPEG reader over a generated collection (make_sample_tree reader),
// beside the floor: a plain C loop that only opens each file and reads its
// first 4 KB and last 128 bytes.
//
//   mp3info_bench time DIR [ROUNDS] [id3v2]
//                                    files per second of the floor and the reader
//                                    (with "id3v2": ID3v2 texts where no ID3v1 tag)
//   mp3info_bench print FILE...      name, layer, bitrate, sample rate and
//                                    channel mode of each file with a valid header
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "mp3info.h"

namespace fs = std::filesystem;

namespace {

constexpr int kDefaultRounds = 3;

std::vector<std::string> ListFiles(const fs::path& dir) {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.is_regular_file()) files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The floor: open, first 4 KB, last 128 bytes, close.
size_t FloorPass(const std::vector<std::string>& files) {
  size_t opened = 0;
  char head[4096], tail[128];
  for (const std::string& path : files) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) continue;
    size_t got = std::fread(head, 1, sizeof head, f);
    if (std::fseek(f, -128, SEEK_END) == 0) got += std::fread(tail, 1, sizeof tail, f);
    opened += got > 0;
    std::fclose(f);
  }
  return opened;
}

// The reader as a generation run uses it: one object, a new name per file.
size_t ReaderPass(const std::vector<std::string>& files, bool id3v2, size_t* tags) {
  quorbel::TMP3Information mp3(*quorbel::Env::Default());
  mp3.ReadId3v2 = id3v2;
  size_t valid = 0;
  *tags = 0;
  for (const std::string& path : files) {
    mp3.SetFileName(path);
    bool read = mp3.ReadInformation();
    valid += read && mp3.Info.Valid;
    *tags += read && mp3.Tag.Present;
  }
  return valid;
}

template <typename Pass>
double FilesPerSecond(size_t files, Pass pass) {
  auto start = std::chrono::steady_clock::now();
  pass();
  std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
  return double(files) / seconds.count();
}

int Time(const fs::path& dir, int rounds, bool id3v2) {
  std::vector<std::string> files = ListFiles(dir);
  if (files.empty()) {
    std::fprintf(stderr, "no files under %s\n", dir.string().c_str());
    return 1;
  }
  size_t tags = 0;
  size_t opened = FloorPass(files);  // warms the cache for both
  size_t valid = ReaderPass(files, id3v2, &tags);
  double floor = 0, reader = 0;
  for (int r = 0; r < rounds; ++r) {
    floor = std::max(floor, FilesPerSecond(files.size(), [&] { FloorPass(files); }));
    reader = std::max(reader, FilesPerSecond(files.size(), [&] { ReaderPass(files, id3v2, &tags); }));
  }
  std::printf("files            %zu (opened %zu, valid header %zu, tag %zu)\n", files.size(),
              opened, valid, tags);
  std::printf("floor  files/s   %.0f  (open, first 4 KB, last 128 bytes)\n", floor);
  std::printf("reader files/s   %.0f  (size, header search, tag)\n", reader);
  std::printf("reader / floor   %.2f\n", reader / floor);
  return valid == files.size() ? 0 : 1;
}

int Print(int count, char** paths) {
  quorbel::TMP3Information mp3(*quorbel::Env::Default());
  for (int i = 0; i < count; ++i) {
    mp3.SetFileName(paths[i]);
    if (!mp3.ReadInformation() || !mp3.Info.Valid) continue;
    std::printf("%s\t%d\t%d\t%u\t%s\n", fs::path(paths[i]).filename().string().c_str(),
                int(mp3.Info.LayerNumber), int(mp3.Info.Bitrate), unsigned(mp3.Info.SampleRate),
                mp3.Info.ChannelMode.c_str());
  }
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: mp3info_bench time DIR [ROUNDS] [id3v2] | print FILE...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  std::string mode = argv[1];
  if (mode == "time") {
    return Time(argv[2], argc > 3 ? std::atoi(argv[3]) : kDefaultRounds,
                argc > 4 && std::string(argv[4]) == "id3v2");
  }
  if (mode == "print") return Print(argc - 2, argv + 2);
  return Usage();
}
