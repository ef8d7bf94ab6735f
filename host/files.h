// File system helpers of the host: a scratch folder for jobs that must not
// write into the user's folders, and renaming that never replaces a file.
#pragma once

#include <optional>
#include <string>

namespace host {

// A fresh folder under $TMPDIR (or /tmp), removed with its contents.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  const std::string& error() const { return error_; }

 private:
  std::string path_;
  std::string error_;
};

// Renames `from` to `to` unless `to` exists; the system's reason otherwise.
std::optional<std::string> RenameNoReplace(const std::string& from, const std::string& to);

bool PathExists(const std::string& path);  // anything, a dangling link included

std::string ParentOf(const std::string& path);

// The whole file, or nullopt when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

}  // namespace host
