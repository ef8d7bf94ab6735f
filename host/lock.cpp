#include "lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "list_files.h"

namespace host {

namespace {

std::string Holder(int fd) {
  char text[32] = {};
  const ssize_t n = pread(fd, text, sizeof text - 1, 0);
  std::string pid(text, n > 0 ? size_t(n) : 0);
  while (!pid.empty() && (pid.back() == '\n' || pid.back() == ' ')) pid.pop_back();
  return pid.empty() ? "" : " (process " + pid + ")";
}

// True when `fd` is still the file at `path`: a holder that finished
// removes the file, and a lock on the removed file would guard nothing.
bool StillThere(int fd, const std::string& path) {
  struct stat held {}, named {};
  return fstat(fd, &held) == 0 && stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
         held.st_ino == named.st_ino;
}

}  // namespace

std::unique_ptr<FolderLock> FolderLock::Take(const std::string& directory, std::string* why) {
  const std::string path = InFolder(directory, kFileName);
  for (;;) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
      *why = std::string("cannot create the lock file ") + kFileName + ": " + std::strerror(errno);
      return nullptr;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      *why = error == EWOULDBLOCK ? "already running" + Holder(fd) + "; wait for it to finish"
                                  : std::string("cannot lock ") + kFileName + ": " + std::strerror(error);
      close(fd);
      return nullptr;
    }
    if (!StillThere(fd, path)) {
      close(fd);
      continue;
    }
    const std::string pid = std::to_string(getpid()) + "\n";
    if (ftruncate(fd, 0) != 0 || pwrite(fd, pid.data(), pid.size(), 0) < 0) {
      // The pid is only shown to a second run; the lock holds without it.
    }
    return std::unique_ptr<FolderLock>(new FolderLock(path, fd));
  }
}

FolderLock::~FolderLock() {
  unlink(path_.c_str());  // while still holding the lock, so no one holds a removed file
  close(fd_);
}

}  // namespace host
