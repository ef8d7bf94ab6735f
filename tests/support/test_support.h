// Helpers shared by the tests: calling the exported commands as the host
// does, a fresh engine per test, scratch folders, and small file utilities.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

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
