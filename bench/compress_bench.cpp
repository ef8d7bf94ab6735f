// Packs one file through the zip component and the engine built beside this
// program; prints the time taken and the archive's size.
//   compress_bench <list file> <archive>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "ZipMstr.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: compress_bench <list file> <archive>\n");
    return 2;
  }
  namespace fs = std::filesystem;
  quorbel::TZipMaster zip(*quorbel::Env::Default());
  zip.Unattended = true;
  zip.SetDLLDirectory(fs::read_symlink("/proc/self/exe").parent_path().string());
  zip.FSpecArgs = {fs::absolute(argv[1]).string()};
  zip.ZipFilename = fs::absolute(argv[2]).string();

  auto start = std::chrono::steady_clock::now();
  zip.Add();
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  if (zip.ErrCode() != 0 || zip.SuccessCount() != 1) {
    std::fprintf(stderr, "packing failed: ErrCode %d, SuccessCount %d\n", zip.ErrCode(),
                 zip.SuccessCount());
    return 1;
  }
  std::printf("%.3f\n", took.count());
  return 0;
}
