// Helpers shared by the tests: calling the exported commands as the host
// does, a fresh engine per test, a hook into the message pump, scratch
// folders, and small file utilities.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine_text.h"
#include "quorbel_api.h"
#include "quorbel_oob.h"

namespace quorbel::test {

// A host buffer as large as the IRC client's, filled with a marker byte so
// that writes past the reply's end show.
struct HostBuffer {
  static constexpr size_t kSize = 4096;
  char bytes[kSize];
  char initial[kSize];
  explicit HostBuffer(const std::string& text = "");
  std::string str() const { return bytes; }
  // True when nothing changed beyond 900 characters and the zero.
  bool WithinCapacity() const;
};

// Calls one command with `argument` in the data buffer; returns the reply.
std::string Call(QuorbelCommand command, const std::string& argument = "", int show = 1);

// Loads a fresh engine before each test and unloads it after.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  TZOQ_Quorbel& engine() { return *ZOQ_Quorbel; }
  LOADINFO load_info_{};
};

// An Env with the hooks most tests need: one inside the library's message
// pumping, a count of the pumps, and opens that fail or that the test
// answers. The pump hook is never nested in itself (the commands it calls
// pump too); it may throw, and it may clear or replace itself as it runs.
class HookEnv : public EnvWrapper {
 public:
  explicit HookEnv(Env* target = Env::Default()) : EnvWrapper(target) {}
  void PumpMessages() override;
  std::FILE* OpenFile(const std::string& path, const char* mode) override;

  std::function<void()> on_pump;
  int pumps = 0;
  // Refuses the open (as a folder without write rights does) when set and true.
  std::function<bool(const std::string& path, const char* mode)> refuse_open;
  // Opens instead of the system when set and returning a file.
  std::function<std::FILE*(const std::string& path, const char* mode)> on_open;

 private:
  bool pumping_ = false;
};

// Counts the files opened and the sizes measured through it.
class CountingEnv : public EnvWrapper {
 public:
  explicit CountingEnv(Env* target = Env::Default()) : EnvWrapper(target) {}
  std::FILE* OpenFile(const std::string& path, const char* mode) override;
  std::unique_ptr<RandomAccessFile> OpenRegularFile(const std::string& path, int64_t* size) override;
  int64_t FileSize(const std::string& path) override;

  int opens = 0;
  int sizes = 0;
};

// A refuse_open hook that refuses every open of `path`.
inline auto RefuseOpensOf(const std::string& path) {
  return [path](const std::string& opened, const char*) { return opened == path; };
}

// `n` NBSP bytes, as the list pads its lines and the bad-file list marks
// double blanks.
inline std::string Nbsp(size_t n) { return std::string(n, kNbsp); }

// A scratch folder removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }  // without a trailing delimiter
  // path() + delimiter + name.
  std::string operator/(const std::string& name) const;
  // path() with the delimiter appended, as fdirectory holds it.
  std::string WithDelim() const;

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
void MakeDir(const std::string& path);
// The lines of a CR LF text file, without their ends.
std::vector<std::string> ReadLines(const std::string& path);

}  // namespace quorbel::test
