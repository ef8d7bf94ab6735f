// The POSIX implementation of the platform layer (the Linux build).
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "platform/env.h"
#include "platform/env_posix_internal.h"
#include "platform/pump_pace.h"

namespace quorbel {

namespace {

void (*g_host_pump)(void*) = nullptr;
void* g_host_pump_context = nullptr;

// The pace's clock: the coarse clock is read without a system call and
// moves in the kernel's ticks (1 to 4 ms), fine enough for a 10 ms pace.
int64_t CoarseMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

class PosixDirListing : public DirListing {
 public:
  explicit PosixDirListing(DIR* dir) : dir_(dir) {}
  ~PosixDirListing() override { closedir(dir_); }

  bool Next(DirEntry* entry) override {
    struct dirent* d = readdir(dir_);
    if (d == nullptr) return false;
    entry->name = d->d_name;
    entry->attributes = Attributes(d);
    return true;
  }

 private:
  // Maps what POSIX knows onto the Windows attribute bits: directories
  // (also through links) and hidden dot-names. The entry's own type answers
  // without a stat per entry, which a walk over thousands of files would
  // pay for nothing; links and file systems that report no type are looked
  // up. The read-only bit would cost that stat and is not reported.
  uint32_t Attributes(const struct dirent* d) {
    const uint32_t hidden = d->d_name[0] == '.' ? attr::kHidden : 0;
    if (d->d_type == DT_DIR) return attr::kDirectory | hidden;
    if (d->d_type != DT_LNK && d->d_type != DT_UNKNOWN) return attr::kArchive | hidden;
    struct stat st;
    if (fstatat(dirfd(dir_), d->d_name, &st, 0) != 0 &&
        fstatat(dirfd(dir_), d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      return attr::kArchive;
    }
    return (S_ISDIR(st.st_mode) ? attr::kDirectory : attr::kArchive) | hidden;
  }

  DIR* dir_;
};

class PosixLibrary : public DynamicLibrary {
 public:
  explicit PosixLibrary(void* handle) : handle_(handle) {}
  ~PosixLibrary() override { dlclose(handle_); }
  void* Symbol(const char* name) override { return dlsym(handle_, name); }

 private:
  void* handle_;
};

bool StatIs(const std::string& path, mode_t kind) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == kind;
}

int64_t Nanoseconds(const struct timespec& t) {
  constexpr int64_t kPerSecond = 1000000000;
  return int64_t(t.tv_sec) * kPerSecond + t.tv_nsec;
}

// Reads by pread: no seek, one call per read.
class PosixRandomAccessFile : public RandomAccessFile {
 public:
  explicit PosixRandomAccessFile(int fd) : fd_(fd) {}
  ~PosixRandomAccessFile() override { close(fd_); }
  PosixRandomAccessFile(const PosixRandomAccessFile&) = delete;
  PosixRandomAccessFile& operator=(const PosixRandomAccessFile&) = delete;

  int64_t Read(int64_t offset, size_t count, void* into) override {
    auto* bytes = static_cast<char*>(into);
    size_t done = 0;
    while (done < count) {
      const ssize_t got = pread(fd_, bytes + done, count - done, off_t(offset + int64_t(done)));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return -1;
      if (got == 0) break;  // the file ends here
      done += size_t(got);
    }
    return int64_t(done);
  }

 private:
  const int fd_;
};

// fsync through a descriptor of its own: Linux writes a file's data (or a
// folder's entries) whichever descriptor asks.
bool SyncPath(const std::string& path, int flags) {
  const int fd = open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = fsync(fd) == 0;
  return close(fd) == 0 && synced;
}

class PosixEnv : public Env {
 public:
  // No message boxes here: errors show in replies and return values only.
  void ShowErrorBox(const std::string&, const std::string&) override {}

  bool FileExists(const std::string& path) override { return StatIs(path, S_IFREG); }
  bool DirectoryExists(const std::string& path) override { return StatIs(path, S_IFDIR); }
  bool RemoveFile(const std::string& path) override { return unlink(path.c_str()) == 0; }

  bool RenameFile(const std::string& from, const std::string& to) override {
#ifdef SYS_renameat2
    constexpr unsigned kNoReplace = 1;  // RENAME_NOREPLACE
    if (syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), kNoReplace) == 0)
      return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
#endif
    // File systems without renameat2: link refuses an existing target too.
    if (link(from.c_str(), to.c_str()) != 0) return false;
    return unlink(from.c_str()) == 0;
  }

  bool ReplaceFile(const std::string& from, const std::string& to) override {
    return rename(from.c_str(), to.c_str()) == 0;
  }

  bool SyncFile(const std::string& path) override { return SyncPath(path, O_RDONLY); }
  bool SyncDirectory(const std::string& directory) override {
    return SyncPath(directory, O_RDONLY | O_DIRECTORY);
  }

  std::FILE* OpenFile(const std::string& path, const char* mode) override {
    std::FILE* f = std::fopen(path.c_str(), mode);
    if (f == nullptr) return nullptr;
    struct stat st;
    if (fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {  // Linux opens folders too
      std::fclose(f);
      errno = EISDIR;
      return nullptr;
    }
    return f;
  }

  // Three system calls in all besides the reads: the open, one fstat for
  // the kind and the size, the close.
  std::unique_ptr<RandomAccessFile> OpenRegularFile(const std::string& path,
                                                    int64_t* size) override {
    // Non-blocking, so that opening a pipe never waits for a writer; a
    // regular file reads the same either way.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      close(fd);
      return nullptr;
    }
    if (size != nullptr) *size = int64_t(st.st_size);
    return std::make_unique<PosixRandomAccessFile>(fd);
  }

  // Opening costs one path lookup (a stat and a permission test cost two)
  // and answers "can it be opened" exactly; non-blocking, so a pipe never waits.
  int64_t FileSize(const std::string& path) override {
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st;
    int64_t size = (fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode)) ? int64_t(st.st_size) : -1;
    close(fd);
    return size;
  }

  bool StampFile(std::FILE* file, FileStamp* stamp) override {
    struct stat st;
    if (fstat(fileno(file), &st) != 0) return false;
    stamp->volume = uint64_t(st.st_dev);
    stamp->file = uint64_t(st.st_ino);
    stamp->size = int64_t(st.st_size);
    stamp->modified = Nanoseconds(st.st_mtim);
    stamp->changed = Nanoseconds(st.st_ctim);
    return true;
  }

  int64_t FileClockNow() override {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return Nanoseconds(now);
  }

  std::unique_ptr<DirListing> ListDirectory(const std::string& directory) override {
    DIR* dir = opendir(directory.empty() ? "/" : directory.c_str());
    if (dir == nullptr) return nullptr;
    return std::make_unique<PosixDirListing>(dir);
  }

  std::string DirectoryIdentity(const std::string& directory) override {
    struct stat st;
    if (stat(directory.empty() ? "/" : directory.c_str(), &st) != 0) return {};
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
  }

  std::vector<std::string> ProfileKeys(const std::string& path,
                                       const std::string& section) override {
    return posix::ProfileKeys(path, section);
  }
  std::string ProfileString(const std::string& path, const std::string& section,
                            const std::string& key, const std::string& fallback) override {
    return posix::ProfileString(path, section, key, fallback);
  }

  int CompareText(const std::string& a, const std::string& b) override {
    return posix::CompareText(a, b);
  }
  void AppendSortKeys(const std::vector<std::string_view>& texts, std::string* keys,
                      std::vector<size_t>* starts) override {
    posix::AppendSortKeys(texts, keys, starts);
  }

  std::unique_ptr<SortKeyMaker> NewSortKeyMaker() override { return posix::NewSortKeyMaker(); }

  LocalTime Now() override {
    std::time_t now = std::time(nullptr);
    struct tm t;
    localtime_r(&now, &t);
    return LocalTime{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                     t.tm_min,         t.tm_sec,     t.tm_wday};
  }

  void PumpMessages() override {
    if (g_host_pump != nullptr && HostPumpPace().Due(CoarseMilliseconds)) {
      g_host_pump(g_host_pump_context);
    }
  }

  std::unique_ptr<NativeProgressWindow> CreateProgressWindow(
      WindowHandle, const ProgressWindowLook&, ProgressWindowEvents* events) override {
    return posix::CreateHeadlessProgressWindow(events);
  }

  std::unique_ptr<DynamicLibrary> LoadLibrary(const std::string& name_or_path) override {
    void* handle = dlopen(name_or_path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return nullptr;
    return std::make_unique<PosixLibrary>(handle);
  }

  std::string FallbackDirectory() override {
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
    if (dir.back() != '/') dir += '/';
    return dir;
  }

  std::optional<std::string> PlayerForExtension(const std::string& extension) override {
    return posix::PlayerForExtension(extension);
  }
};

}  // namespace

Env* Env::Default() {
  // An object, not a pointer to one: it goes when the library is unloaded,
  // so a host that loads and unloads the library again and again loses nothing.
  static PosixEnv env;
  return &env;
}

void SetHostMessagePump(void (*pump)(void*), void* context) {
  g_host_pump = pump;
  g_host_pump_context = context;
}

}  // namespace quorbel
