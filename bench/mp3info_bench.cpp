// The MPEG reader over a generated collection, beside the floor: a plain C
// loop that only opens each file and reads its first 4 KB and last 128 bytes.
//
//   mp3info_bench tree DIR [COUNT]   writes COUNT (20000) files under DIR
//   mp3info_bench time DIR [ROUNDS] [id3v2]
//                                    files per second of the floor and the reader
//                                    (with "id3v2": ID3v2 texts where no ID3v1 tag)
//   mp3info_bench streams DIR        one decodable file per valid header kind
//   mp3info_bench print FILE...      name, layer, bitrate, sample rate and
//                                    channel mode of each file with a valid header
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "mp3info.h"
// The bench links the engine only; the test fixtures come in as source.
#include "../tests/support/mp3_fixtures.cpp"

namespace fs = std::filesystem;
using quorbel::test::FrameHeader;

namespace {

constexpr int kDefaultCount = 20000;
constexpr int kFilesPerFolder = 200;
constexpr int kId3v2Percent = 40;
constexpr int kPicturePercentOfId3v2 = 15;  // 6% of all files carry a large picture
constexpr int kId3v1Percent = 80;
constexpr int kFramesWritten = 8;  // the rest of the audio is a hole in a sparse file
constexpr int kDefaultRounds = 3;

// ---- generation -------------------------------------------------------------

std::string Be32(uint32_t n) {
  return {char(n >> 24), char(n >> 16), char(n >> 8), char(n)};
}

// An ID3v2.3 frame: id, size, two flag bytes, content.
std::string Id3v2Frame(const std::string& id, const std::string& content) {
  return id + Be32(uint32_t(content.size())) + std::string(2, '\0') + content;
}

// A UTF-16 text frame: its text begins with the byte-order mark FF FE.
std::string Utf16TextFrame(const std::string& id, const std::string& ascii) {
  std::string text = std::string("\x01\xFF\xFE", 3);
  for (char c : ascii) text += std::string{c, '\0'};
  return Id3v2Frame(id, text);
}

// A picture frame of random bytes, false syncs included.
std::string PictureFrame(std::mt19937& rng, size_t size) {
  std::string data = std::string("\0image/jpeg\0\x03\0", 14);
  data.reserve(size + data.size());
  for (size_t i = 0; i < size; ++i) data += char(rng() & 0xFF);
  return Id3v2Frame("APIC", data);
}

FrameHeader RandomHeader(std::mt19937& rng) {
  static constexpr int kVersionCodes[] = {0, 2, 3, 3, 3, 3};  // mostly MPEG 1
  FrameHeader h;
  h.version_code = kVersionCodes[rng() % 6];
  h.layer_code = rng() % 4 == 0 ? int(1 + rng() % 3) : 1;  // mostly Layer III
  h.bitrate_index = int(1 + rng() % 14);
  h.sample_rate_index = int(rng() % 3);
  h.channel_mode = int(rng() % 4);
  h.padding_bit = int(rng() % 2);
  return h;
}

// Writes `head` at the start and `tail` at the very end of a file of
// `size` bytes; what lies between stays a hole.
bool WriteSparse(const std::string& path, const std::string& head, const std::string& tail,
                 int64_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(head.data(), 1, head.size(), f) == head.size();
  std::string end = tail.empty() ? std::string(1, '\0') : tail;
  ok = ok && std::fseek(f, long(size - int64_t(end.size())), SEEK_SET) == 0 &&
       std::fwrite(end.data(), 1, end.size(), f) == end.size();
  return std::fclose(f) == 0 && ok;
}

int GenerateTree(const fs::path& dir, int count) {
  std::mt19937 rng(20240501);
  for (int i = 0; i < count; ++i) {
    fs::path folder = dir / ("d" + std::to_string(i / kFilesPerFolder));
    if (i % kFilesPerFolder == 0) fs::create_directories(folder);
    std::string head;
    if (int(rng() % 100) < kId3v2Percent) {
      std::string frames = Utf16TextFrame("TIT2", "Title " + std::to_string(i)) +
                           Utf16TextFrame("TPE1", "Artist " + std::to_string(i % 97));
      if (int(rng() % 100) < kPicturePercentOfId3v2) {
        frames += PictureFrame(rng, 100000 + rng() % 700000);
      }
      head = quorbel::test::Id3v2Bytes(frames + std::string(rng() % 2048, '\0'));
    }
    head += quorbel::test::Frames(RandomHeader(rng), kFramesWritten);
    std::string tail;
    if (int(rng() % 100) < kId3v1Percent) {
      quorbel::test::Id3v1 tag;
      tag.title = "Song " + std::to_string(i);
      tag.artist = "Artist " + std::to_string(i % 97);
      tag.genre = uint8_t(rng() % 148);
      tail = quorbel::test::Id3v1Bytes(tag);
    }
    int64_t size = int64_t(head.size() + tail.size()) + 2000000 + int64_t(rng() % 6000000);
    std::string path = (folder / ("song" + std::to_string(i) + ".mp3")).string();
    if (!WriteSparse(path, head, tail, size)) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
  }
  std::printf("%d files under %s\n", count, dir.string().c_str());
  return 0;
}

// Every valid version, layer, bitrate, sample rate and channel mode, each as
// a stream of whole frames; some behind an ID3v2 tag, some with an ID3v1 tag.
int GenerateStreams(const fs::path& dir) {
  fs::create_directories(dir);
  int n = 0;
  for (int version : {0, 2, 3})
    for (int layer : {1, 2, 3})
      for (int bitrate = 1; bitrate <= 14; ++bitrate)
        for (int rate = 0; rate < 3; ++rate)
          for (int mode = 0; mode < 4; ++mode) {
            FrameHeader h;
            h.version_code = version;
            h.layer_code = layer;
            h.bitrate_index = bitrate;
            h.sample_rate_index = rate;
            h.channel_mode = mode;
            h.mode_extension = n % 4;
            h.padding_bit = n % 5 == 0;
            std::string data;
            if (n % 3 == 0) data = quorbel::test::Id3v2Bytes(Utf16TextFrame("TIT2", "x"));
            data += quorbel::test::Frames(h, 20);
            if (n % 2 == 0) data += quorbel::test::Id3v1Bytes({});
            std::string path = (dir / ("s" + std::to_string(n++) + ".mp3")).string();
            if (!WriteSparse(path, data, "", int64_t(data.size()) + 1)) return 1;
          }
  std::printf("%d streams under %s\n", n, dir.string().c_str());
  return 0;
}

// ---- measuring --------------------------------------------------------------

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
               "usage: mp3info_bench tree DIR [COUNT] | time DIR [ROUNDS] | streams DIR | "
               "print FILE...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  std::string mode = argv[1];
  if (mode == "tree") return GenerateTree(argv[2], argc > 3 ? std::atoi(argv[3]) : kDefaultCount);
  if (mode == "time") {
    return Time(argv[2], argc > 3 ? std::atoi(argv[3]) : kDefaultRounds,
                argc > 4 && std::string(argv[4]) == "id3v2");
  }
  if (mode == "streams") return GenerateStreams(argv[2]);
  if (mode == "print") return Print(argc - 2, argv + 2);
  return Usage();
}
