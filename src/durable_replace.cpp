#include "durable_replace.h"

namespace quorbel {

namespace {

std::string FolderOf(const std::string& path) {
  const size_t delimiter = path.find_last_of(kPathDelim);
  if (delimiter == std::string::npos) return ".";
  return delimiter == 0 ? path.substr(0, 1) : path.substr(0, delimiter);
}

}  // namespace

bool ReplaceDurably(Env& env, const std::string& from, const std::string& to) {
  return env.SyncFile(from) && env.ReplaceFile(from, to) && env.SyncDirectory(FolderOf(to));
}

}  // namespace quorbel
