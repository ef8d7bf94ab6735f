// One writing job per list folder: a lock file in the folder, held with
// flock(2) so that the system releases it when the process ends, however it
// ends.
#pragma once

#include <memory>
#include <string>

namespace host {

class FolderLock {
 public:
  // Takes the lock; null with `why` set ("already running (process N)", or
  // the system's reason) when it cannot.
  static std::unique_ptr<FolderLock> Take(const std::string& directory, std::string* why);
  ~FolderLock();  // removes the file and releases the lock
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  static constexpr const char* kFileName = ".quorbel.lock";

 private:
  FolderLock(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  std::string path_;
  int fd_;
};

}  // namespace host
