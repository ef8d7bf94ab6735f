#include "library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace host {

namespace {
// The IRC client's buffers are larger than any reply (900 characters and
// the zero); an argument may need more.
constexpr size_t kBufferSize = 4096;
constexpr int kQuitCode = 1;  // UnloadDll's code when the host exits
constexpr int kShowFlag = 1;
constexpr const char* kLibraryName = "libquorbel.so";
constexpr const char* kLibraryVariable = "QUORBEL_LIBRARY";
constexpr const char* kInstalledFromBin = "../lib/quorbel/";  // install_layout.cmake

// The folder of the running program's file, symlinks resolved.
std::string ProgramFolder() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::canonical("/proc/self/exe", error);
  return error ? std::string() : exe.parent_path().string() + "/";
}

}  // namespace

std::vector<std::string> LibraryCandidates() {
  if (const char* path = std::getenv(kLibraryVariable); path != nullptr && *path != '\0') return {path};
  const std::string folder = ProgramFolder();
  if (folder.empty()) return {std::string("./") + kLibraryName};
  const auto installed = std::filesystem::path(folder + kInstalledFromBin + kLibraryName).lexically_normal();
  return {folder + kLibraryName, installed.string()};
}

std::unique_ptr<Library> Library::OpenFirst(const std::vector<std::string>& candidates,
                                            std::string* path, std::string* error) {
  *path = candidates.front();
  for (const std::string& candidate : candidates) {
    if (access(candidate.c_str(), F_OK) == 0) {
      *path = candidate;
      break;
    }
  }
  return Open(*path, error);
}

int Reply::Code() const {
  if (data.size() < 3) return 0;
  for (int i = 0; i < 3; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(data[size_t(i)]))) return 0;
  }
  return std::stoi(data.substr(0, 3));
}

int Reply::Number() const {
  const size_t blank = data.rfind(' ');
  if (!Ok() || blank == std::string::npos) return 0;
  return std::atoi(data.c_str() + blank + 1);
}

std::unique_ptr<Library> Library::Open(const std::string& path, std::string* error) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    *error = dlerror();
    return nullptr;
  }
  std::unique_ptr<Library> library(new Library(handle));
  auto load = reinterpret_cast<QuorbelLoadDll>(library->Symbol("LoadDll"));
  if (load == nullptr || !library->Has("UnloadDll")) {
    *error = path + " is not the quorbel library (LoadDll or UnloadDll missing)";
    return nullptr;
  }
  load(&library->load_info_);
  return library;
}

Library::~Library() {
  // UnloadDll pumps once more; the pump's owner may be gone by now.
  SetMessagePump(nullptr, nullptr);
  if (auto unload = reinterpret_cast<QuorbelUnloadDll>(Symbol("UnloadDll"))) unload(kQuitCode);
  dlclose(handle_);
}

void* Library::Symbol(const std::string& name) const { return dlsym(handle_, name.c_str()); }

bool Library::Has(const std::string& command) const { return Symbol(command) != nullptr; }

Reply Library::Call(const std::string& command, const std::string& argument) {
  auto function = reinterpret_cast<QuorbelCommand>(Symbol(command));
  if (function == nullptr) return {};
  std::vector<char> data(std::max(kBufferSize, argument.size() + 1), '\0');
  std::vector<char> parms(kBufferSize, '\0');
  argument.copy(data.data(), argument.size());
  function(nullptr, nullptr, data.data(), parms.data(), kShowFlag, 0);
  return {data.data(), parms.data()};
}

void Library::SetMessagePump(void (*pump)(void*), void* context) {
  using SetPump = void (*)(void (*)(void*), void*);
  if (auto set = reinterpret_cast<SetPump>(Symbol("quorbel_set_message_pump"))) set(pump, context);
}

}  // namespace host
