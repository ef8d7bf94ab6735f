// The Win32 implementation of the platform layer (the Windows DLL).
#include <windows.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/env.h"
#include "platform/env_win32_internal.h"
#include "platform/pump_pace.h"

namespace quorbel {

namespace {

constexpr DWORD kValueBuffer = 2048;     // a value: 2047 characters and the zero
constexpr DWORD kKeyListBuffer = 16384;  // the key names of one section

// The pace's clock. The tick count moves only every 15.6 ms; the
// performance counter is exact, and the pace reads it seldom enough.
int64_t CounterMilliseconds() {
  static const int64_t counts_per_ms = [] {
    LARGE_INTEGER f;
    return QueryPerformanceFrequency(&f) && f.QuadPart >= 1000 ? int64_t(f.QuadPart) / 1000 : 1;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return int64_t(now.QuadPart) / counts_per_ms;
}

// GetPrivateProfileString looks a relative name up in the Windows folder;
// the configuration file named by the script is meant relative to the
// current folder, as the existence test before it sees it.
std::string FullPath(const std::string& path) {
  char full[MAX_PATH * 4];
  DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  return (n > 0 && n < sizeof full) ? std::string(full, n) : path;
}

class Win32DirListing : public DirListing {
 public:
  Win32DirListing(HANDLE handle, const WIN32_FIND_DATAA& first) : handle_(handle), data_(first) {}
  ~Win32DirListing() override { FindClose(handle_); }

  bool Next(DirEntry* entry) override {
    if (!have_) {
      if (!FindNextFileA(handle_, &data_)) return false;
    }
    have_ = false;
    entry->name = data_.cFileName;
    entry->attributes = data_.dwFileAttributes & 0x3F;
    return true;
  }

 private:
  HANDLE handle_;
  WIN32_FIND_DATAA data_;
  bool have_ = true;  // the first entry came with FindFirstFileA
};

class Win32Library : public DynamicLibrary {
 public:
  explicit Win32Library(HMODULE module) : module_(module) {}
  ~Win32Library() override { FreeLibrary(module_); }
  void* Symbol(const char* name) override {
    return reinterpret_cast<void*>(GetProcAddress(module_, name));
  }

 private:
  HMODULE module_;
};

// FILETIME counts 100 ns steps since 1601; FileStamp counts ns since 1970.
int64_t UnixNanoseconds(const FILETIME& t) {
  constexpr int64_t kFrom1601To1970 = 116444736000000000;  // in 100 ns steps
  constexpr int64_t kNanosecondsPerStep = 100;
  const int64_t steps = int64_t(uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime);
  return (steps - kFrom1601To1970) * kNanosecondsPerStep;
}

DWORD Attributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }

// Reads at an offset given with each call (an OVERLAPPED position on a
// synchronous handle): no seek, one call per read.
class Win32RandomAccessFile : public RandomAccessFile {
 public:
  explicit Win32RandomAccessFile(HANDLE handle) : handle_(handle) {}
  ~Win32RandomAccessFile() override { CloseHandle(handle_); }
  Win32RandomAccessFile(const Win32RandomAccessFile&) = delete;
  Win32RandomAccessFile& operator=(const Win32RandomAccessFile&) = delete;

  int64_t Read(int64_t offset, size_t count, void* into) override {
    auto* bytes = static_cast<char*>(into);
    size_t done = 0;
    while (done < count) {
      const uint64_t at = uint64_t(offset) + done;
      OVERLAPPED position{};
      position.Offset = DWORD(at);
      position.OffsetHigh = DWORD(at >> 32);
      const DWORD chunk = DWORD(std::min<size_t>(count - done, kLargestRead));
      DWORD got = 0;
      if (!ReadFile(handle_, bytes + done, chunk, &got, &position)) {
        if (GetLastError() == ERROR_HANDLE_EOF) break;
        return -1;
      }
      if (got == 0) break;  // the file ends here
      done += got;
    }
    return int64_t(done);
  }

 private:
  static constexpr size_t kLargestRead = size_t(1) << 30;
  const HANDLE handle_;
};

class Win32Env : public Env {
 public:
  bool FileExists(const std::string& path) override {
    DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }
  bool DirectoryExists(const std::string& path) override {
    DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }
  bool RemoveFile(const std::string& path) override { return DeleteFileA(path.c_str()) != 0; }
  bool RenameFile(const std::string& from, const std::string& to) override {
    return MoveFileA(from.c_str(), to.c_str()) != 0;  // refuses an existing target
  }
  bool ReplaceFile(const std::string& from, const std::string& to) override {
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }
  bool SyncFile(const std::string& path) override {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool flushed = FlushFileBuffers(h) != 0;
    return CloseHandle(h) != 0 && flushed;
  }
  // The folder's entry went to the disk with the write-through move.
  bool SyncDirectory(const std::string&) override { return true; }
  std::FILE* OpenFile(const std::string& path, const char* mode) override {
    return std::fopen(path.c_str(), mode);
  }

  // A folder does not open without backup semantics; a device or a pipe
  // opens but is not a disk file.
  std::unique_ptr<RandomAccessFile> OpenRegularFile(const std::string& path,
                                                    int64_t* size) override {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    if (GetFileType(h) != FILE_TYPE_DISK) {
      CloseHandle(h);
      return nullptr;
    }
    LARGE_INTEGER length;
    if (size != nullptr) *size = GetFileSizeEx(h, &length) ? int64_t(length.QuadPart) : -1;
    return std::make_unique<Win32RandomAccessFile>(h);
  }

  int64_t FileSize(const std::string& path) override {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    LARGE_INTEGER size;
    int64_t result = GetFileSizeEx(h, &size) ? int64_t(size.QuadPart) : -1;
    CloseHandle(h);
    return result;
  }

  bool StampFile(std::FILE* file, FileStamp* stamp) override {
    const intptr_t os_handle = _get_osfhandle(_fileno(file));
    if (os_handle == -1) return false;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(reinterpret_cast<HANDLE>(os_handle), &info)) return false;
    stamp->volume = info.dwVolumeSerialNumber;
    stamp->file = uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    stamp->size = int64_t(uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow);
    stamp->modified = UnixNanoseconds(info.ftLastWriteTime);
    stamp->changed = 0;  // kept by NTFS, but not offered before Vista
    return true;
  }

  int64_t FileClockNow() override {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return UnixNanoseconds(now);
  }

  std::unique_ptr<DirListing> ListDirectory(const std::string& directory) override {
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA((directory + "\\*.*").c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<Win32DirListing>(h, data);
  }

  // Junctions can lead back into a folder already walked.
  std::string DirectoryIdentity(const std::string& directory) override {
    std::string path = directory.empty() ? "\\" : directory;
    HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    BY_HANDLE_FILE_INFORMATION info;
    std::string id;
    if (GetFileInformationByHandle(h, &info)) {
      id = std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexHigh) +
           ":" + std::to_string(info.nFileIndexLow);
    }
    CloseHandle(h);
    return id;
  }

  std::vector<std::string> ProfileKeys(const std::string& path,
                                       const std::string& section) override {
    std::vector<char> buffer(kKeyListBuffer);
    DWORD n = GetPrivateProfileStringA(section.c_str(), nullptr, "", buffer.data(), kKeyListBuffer,
                                       FullPath(path).c_str());
    std::vector<std::string> keys;
    for (DWORD i = 0; i < n;) {
      std::string key(buffer.data() + i);
      i += DWORD(key.size()) + 1;
      keys.push_back(std::move(key));
    }
    return keys;
  }

  std::string ProfileString(const std::string& path, const std::string& section,
                            const std::string& key, const std::string& fallback) override {
    char buffer[kValueBuffer];
    DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback.c_str(), buffer,
                                       kValueBuffer, FullPath(path).c_str());
    return std::string(buffer, n);
  }

  int CompareText(const std::string& a, const std::string& b) override {
    int r = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), int(a.size()), b.data(),
                           int(b.size()));
    return r - CSTR_EQUAL;
  }

  void AppendSortKeys(const std::vector<std::string_view>& texts, std::string* keys,
                      std::vector<size_t>* starts) override {
    for (std::string_view text : texts) {
      starts->push_back(keys->size());
      AppendSortKey(text, keys);
    }
    starts->push_back(keys->size());
  }

  // The system's keys need no state of their own: any thread may make them.
  class Win32SortKeyMaker : public SortKeyMaker {
   public:
    void AppendSortKey(std::string_view text, std::string* keys) override {
      Win32Env::AppendSortKey(text, keys);
    }
  };

  std::unique_ptr<SortKeyMaker> NewSortKeyMaker() override {
    return std::make_unique<Win32SortKeyMaker>();
  }

  static void AppendSortKey(std::string_view text, std::string* keys) {
    if (text.empty()) return;
    const int n = LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, text.data(),
                               int(text.size()), nullptr, 0);
    if (n <= 0) return;
    const size_t at = keys->size();
    keys->resize(at + size_t(n));
    LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, text.data(),
                 int(text.size()), keys->data() + at, n);
    while (keys->size() > at && keys->back() == '\0') keys->pop_back();
  }

  LocalTime Now() override {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wDayOfWeek};
  }

  void PumpMessages() override {
    if (!HostPumpPace().Due(CounterMilliseconds)) return;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(int(msg.wParam));  // leave it for the host's own loop
        break;
      }
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }

  std::unique_ptr<NativeProgressWindow> CreateProgressWindow(
      WindowHandle parent, const ProgressWindowLook& look, ProgressWindowEvents* events) override {
    return win32::CreateProgressWindow(parent, look, events);
  }

  void ShowErrorBox(const std::string& caption, const std::string& text) override {
    USEROBJECTFLAGS flags{};
    DWORD needed = 0;
    HWINSTA station = GetProcessWindowStation();
    if (!station || !GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, &needed)) return;
    if (!(flags.dwFlags & WSF_VISIBLE)) return;
    MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_ICONERROR | MB_TASKMODAL);
  }

  std::unique_ptr<DynamicLibrary> LoadLibrary(const std::string& name_or_path) override {
    UINT old_mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = ::LoadLibraryA(name_or_path.c_str());
    SetErrorMode(old_mode);
    if (module == nullptr) return nullptr;
    return std::make_unique<Win32Library>(module);
  }

  std::string FallbackDirectory() override { return "c:\\"; }

  std::optional<std::string> PlayerForExtension(const std::string& extension) override {
    return win32::OpenCommandForExtension(extension);
  }
};

}  // namespace

Env* Env::Default() {
  // An object, not a pointer to one: it goes when the library is unloaded,
  // so a host that loads and unloads the library again and again loses nothing.
  static Win32Env env;
  return &env;
}

void SetHostMessagePump(void (*)(void*), void*) {}  // Windows pumps its own queue

}  // namespace quorbel
