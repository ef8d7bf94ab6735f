#include "harness.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "memenv.h"
#include "platform/env.h"

namespace quorbel::fuzz {

namespace fs = std::filesystem;

namespace {

const size_t kPage = size_t(sysconf(_SC_PAGESIZE));

// Mapping and protecting pages costs system calls for each host buffer:
// released buffers wait here for the next one.
std::vector<char*>& SparePages() {
  static std::vector<char*> spare;
  return spare;
}

MemoryEnv* g_memory = nullptr;

MemoryEnv& Memory() {
  if (g_memory == nullptr) Breach("no file tree", "ConfineToScratch was not called");
  return *g_memory;
}

}  // namespace

GuardedBuffer::GuardedBuffer(std::string_view text) {
  if (!SparePages().empty()) {
    pages_ = SparePages().back();
    SparePages().pop_back();
  } else {
    void* p = mmap(nullptr, 2 * kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) Breach("mmap", "no memory for a host buffer");
    pages_ = static_cast<char*>(p);
    mprotect(pages_ + kPage, kPage, PROT_NONE);
  }
  start_ = pages_ + kPage - kHostBufferSize;
  Fill(text);
}

GuardedBuffer::~GuardedBuffer() { SparePages().push_back(pages_); }

void GuardedBuffer::Fill(std::string_view text) {
  // Bytes the reply does not overwrite keep a marker, not a stale zero.
  std::memset(start_, 0x7E, kHostBufferSize);
  const size_t n = std::min(text.size(), kHostBufferSize - 1);
  std::memcpy(start_, text.data(), n);
  start_[n] = '\0';
}

std::string GuardedBuffer::Text() const {
  const void* zero = std::memchr(start_, 0, kHostBufferSize);
  if (zero == nullptr) Breach("unterminated reply", std::string(start_, kHostBufferSize));
  return std::string(start_, size_t(static_cast<const char*>(zero) - start_));
}

void Breach(const std::string& what, const std::string& detail) {
  std::fprintf(stderr, "\n*** contract breach: %s\n*** %s\n", what.c_str(), detail.c_str());
  std::abort();
}

int ReplyCode(const std::string& reply) {
  if (reply.size() < 4 || reply[3] != ' ') return -1;
  for (int i = 0; i < 3; ++i) {
    if (reply[i] < '0' || reply[i] > '9') return -1;
  }
  return std::atoi(reply.substr(0, 3).c_str());
}

std::string CallChecked(QuorbelCommand command, std::string_view name, std::string_view argument,
                        std::initializer_list<int> codes, GuardedBuffer* parms) {
  GuardedBuffer data(argument);
  const int result = command(nullptr, nullptr, data.data(), parms ? parms->data() : nullptr, 1, 0);
  const std::string reply = data.Text();
  const std::string where = std::string(name) + ": " + reply;
  if (result != 3) Breach("result " + std::to_string(result), where);
  if (parms != nullptr) parms->Text();
  const int code = ReplyCode(reply);
  bool listed = false;
  for (int c : codes) listed = listed || c == code;
  if (!listed) Breach("reply code not listed for the command", where);
  // The stop command's internal-error line carries its historical tag.
  const std::string tag = "__" + std::string(name) + "__";
  const bool tagged = reply.find(tag) != std::string::npos ||
                      (name == "ZOQ_StopGenerate" && reply.find("__ZOQ_SopGenerate__") != std::string::npos);
  if (!tagged) Breach("reply without its tag", where);
  return reply;
}

const std::string& Scratch() {
  static const std::string root = [] {
    const char* shm = "/dev/shm";
    std::string base = fs::is_directory(shm) ? shm : fs::temp_directory_path().string();
    std::string templ = base + "/quorbel-fuzz-XXXXXX";
    if (mkdtemp(templ.data()) == nullptr) Breach("mkdtemp", templ);
    return templ;
  }();
  return root;
}

std::string ScratchPath(std::string_view name) { return Scratch() + "/" + std::string(name); }

void ConfineToScratch() {
  if (g_memory != nullptr) return;
  Scratch();  // made before the clean-up below is registered, so it outlives it
  // Never destroyed: the library may still call it at exit, and the leak
  // check at exit finds the files left open through it.
  g_memory = new MemoryEnv(Env::Default(), Scratch());
  SetEnvForTesting(g_memory);
  // The scratch folder goes with the process.
  std::atexit([] {
    std::error_code ec;
    fs::remove_all(Scratch(), ec);
  });
}

void WriteBytes(const std::string& path, std::string_view bytes) {
  if (!Memory().WriteWhole(path, bytes)) Breach("cannot write scratch file", path);
}

void EmptyFolder(const std::string& path) { Memory().EmptyFolder(path); }

bool MakeFolder(const std::string& path) { return Memory().MakeFolders(path); }

void WriteRealFile(const std::string& path, std::string_view bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) Breach("cannot write scratch file", path);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

bool ReadRealFile(const std::string& path, std::string* bytes) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  bytes->clear();
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) bytes->append(chunk, n);
  std::fclose(f);
  return true;
}

void EmptyRealFolder(const std::string& path) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(path, ec)) fs::remove_all(entry.path(), ec);
}

void MakeRealFolder(const std::string& path) {
  std::error_code ec;
  fs::create_directories(path, ec);
}

void LoadOnce() {
  static bool loaded = [] {
    ConfineToScratch();
    LOADINFO info{};
    LoadDll(&info);
    return true;
  }();
  (void)loaded;
}

void ConfigureForLookups() {
  static bool done = [] {
    LoadOnce();
    WriteBytes(ScratchPath("q.ini"), "[listmake]\r\nnick=fz\r\nname=fz\r\nhitnum=30\r\n");
    CallChecked(ZOQ_SetDirectory, "ZOQ_SetDirectory", Scratch(), codes::kSetDirectory);
    CallChecked(ZOQ_SetIniFile, "ZOQ_SetIniFile", ScratchPath("q.ini"), codes::kSetIniFile);
    return true;
  }();
  (void)done;
}

}  // namespace quorbel::fuzz
