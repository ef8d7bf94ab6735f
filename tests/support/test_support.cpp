#include "support/test_support.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace quorbel::test {

namespace {
constexpr char kMarker = '\x7E';
}

HostBuffer::HostBuffer(const std::string& text) {
  std::memset(bytes, kMarker, kSize);
  std::memcpy(bytes, text.c_str(), std::min(text.size() + 1, kSize));
  std::memcpy(initial, bytes, kSize);
}

bool HostBuffer::WithinCapacity() const {
  for (size_t i = 901; i < kSize; ++i) {
    if (bytes[i] != initial[i]) return false;
  }
  return true;
}

std::string Call(QuorbelCommand command, const std::string& argument, int show) {
  HostBuffer data(argument);
  HostBuffer parms;
  int result = command(nullptr, nullptr, data.bytes, parms.bytes, show, 0);
  EXPECT_EQ(result, 3);
  EXPECT_TRUE(data.WithinCapacity());
  return data.str();
}

void EngineTest::SetUp() {
  load_info_ = LOADINFO{0, nullptr, 0};
  LoadDll(&load_info_);
  ASSERT_NE(ZOQ_Quorbel, nullptr);
}

void EngineTest::TearDown() { UnloadDll(0); }

void HookEnv::PumpMessages() {
  ++pumps;
  EnvWrapper::PumpMessages();
  if (!on_pump || pumping_) return;
  struct Guard {  // a hook may throw
    bool& flag;
    ~Guard() { flag = false; }
  } guard{pumping_};
  pumping_ = true;
  const auto hook = on_pump;  // a hook may clear itself while it runs
  hook();
}

std::FILE* CountingEnv::OpenFile(const std::string& path, const char* mode) {
  ++opens;
  return EnvWrapper::OpenFile(path, mode);
}

std::unique_ptr<RandomAccessFile> CountingEnv::OpenRegularFile(const std::string& path,
                                                               int64_t* size) {
  ++opens;
  return EnvWrapper::OpenRegularFile(path, size);
}

int64_t CountingEnv::FileSize(const std::string& path) {
  ++sizes;
  return EnvWrapper::FileSize(path);
}

std::FILE* HookEnv::OpenFile(const std::string& path, const char* mode) {
  if (refuse_open && refuse_open(path, mode)) {
    errno = EACCES;
    return nullptr;
  }
  if (on_open) {
    if (std::FILE* file = on_open(path, mode)) return file;
  }
  return EnvWrapper::OpenFile(path, mode);
}

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  fs::path p = fs::temp_directory_path() /
               ("quorbel-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
  fs::create_directories(p);
  path_ = p.string();
  while (!path_.empty() && path_.back() == kPathDelim) path_.pop_back();
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string TempDir::operator/(const std::string& name) const { return path_ + kPathDelim + name; }

std::string TempDir::WithDelim() const { return path_ + kPathDelim; }

void WriteFile(const std::string& path, const std::string& content) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  std::fwrite(content.data(), 1, content.size(), f);
  std::fclose(f);
}

std::string ReadFile(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return {};
  std::string content;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) content.append(buf, n);
  std::fclose(f);
  return content;
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

void MakeDir(const std::string& path) { fs::create_directories(path); }

std::vector<std::string> ReadLines(const std::string& path) {
  std::string content = ReadFile(path);
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < content.size()) {
    size_t end = content.find("\r\n", pos);
    if (end == std::string::npos) {
      lines.push_back(content.substr(pos));
      break;
    }
    lines.push_back(content.substr(pos, end - pos));
    pos = end + 2;
  }
  return lines;
}

}  // namespace quorbel::test
