// The generation run over a generated music tree, as the host runs it:
// counting, sorting and writing the list with every item ("sbqtaimgc"), by
// directories, without compression.
//
//   generate_bench make-tree DIR COUNT   writes COUNT sample files under DIR
//   generate_bench run TREE WORK         one full run; prints its figures
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "quorbel_api.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFilesPerAlbum = 20;
constexpr int kAlbumsPerArtist = 5;
constexpr int kId3v2Percent = 40;
constexpr int kLargePicturePercent = 10;  // of the files with an ID3v2 tag
constexpr int kId3v1Percent = 80;
constexpr int64_t kMinSize = 2 << 20, kMaxSize = 10 << 20;

std::string SyncSafe(uint32_t n) {
  std::string s;
  for (int shift = 21; shift >= 0; shift -= 7) s += char((n >> shift) & 0x7F);
  return s;
}

std::string BigEndian(uint32_t n) {
  return {char(n >> 24), char(n >> 16), char(n >> 8), char(n)};
}

std::string Frame(const std::string& id, const std::string& body) {
  return id + BigEndian(uint32_t(body.size())) + std::string(2, '\0') + body;
}

// An ID3v2.3 tag with text frames and, sometimes, a picture of random bytes
// behind a JPEG start.
std::string Id3v2(std::mt19937& rng, const std::string& title, bool picture) {
  std::string frames = Frame("TIT2", std::string(1, '\0') + title) +
                       Frame("TPE1", std::string(1, '\0') + "Bench Artist") +
                       Frame("TALB", std::string(1, '\0') + "Bench Album");
  if (picture) {
    std::string image = "\xFF\xD8\xFF\xE0";
    image.resize(100000 + rng() % 500000);
    for (size_t i = 4; i < image.size(); ++i) image[i] = char(rng());
    frames += Frame("APIC", std::string(1, '\0') + "image/jpeg" + std::string(1, '\0') + '\x03' +
                                std::string(1, '\0') + image);
  }
  frames += std::string(1024, '\0');  // padding, as taggers leave it
  return "ID3\x03" + std::string(2, '\0') + SyncSafe(uint32_t(frames.size())) + frames;
}

std::string FrameHeader(std::mt19937& rng) {
  static const unsigned char kBitrates[] = {0x90, 0xA0, 0xB0, 0xE0};  // 128, 160, 192, 320
  return {char(0xFF), char(0xFB), char(kBitrates[rng() % 4]), char(rng() % 2 ? 0x40 : 0x00)};
}

std::string Id3v1(const std::string& title) {
  std::string tag(128, '\0');
  tag.replace(0, 3, "TAG");
  tag.replace(3, title.size(), title);
  tag.replace(33, 12, "Bench Artist");
  tag.replace(63, 11, "Bench Album");
  tag[127] = 17;
  return tag;
}

int MakeTree(const fs::path& root, int count) {
  std::mt19937 rng(20020619);
  for (int i = 0; i < count; ++i) {
    const int album = i / kFilesPerAlbum;
    const fs::path dir = root / ("Artist " + std::to_string(album / kAlbumsPerArtist)) /
                         ("Album " + std::to_string(album % kAlbumsPerArtist));
    fs::create_directories(dir);
    const std::string title = "Title " + std::to_string(i);
    const fs::path file = dir / (std::to_string(i % kFilesPerAlbum + 1) + " - " + title + ".mp3");
    std::string head;
    if (int(rng() % 100) < kId3v2Percent) {
      head = Id3v2(rng, title, int(rng() % 100) < kLargePicturePercent);
    }
    head += FrameHeader(rng);
    const bool tagged = int(rng() % 100) < kId3v1Percent;
    const int64_t size = kMinSize + int64_t(rng() % uint32_t(kMaxSize - kMinSize));
    {
      std::ofstream out(file, std::ios::binary);
      out << head;
    }
    // Sparse between the header and the tag: realistic sizes, little disk.
    fs::resize_file(file, uint64_t(size - (tagged ? 128 : 0)));
    if (tagged) {
      std::ofstream out(file, std::ios::binary | std::ios::app);
      out << Id3v1(title);
    }
  }
  return 0;
}

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
  if (args.size() == 3 && args[0] == "make-tree") return MakeTree(args[1], std::stoi(args[2]));
  if (args.size() == 3 && args[0] == "run") return Run(args[1], args[2]);
  std::fprintf(stderr, "usage: generate_bench make-tree DIR COUNT | run TREE WORK\n");
  return 2;
}
