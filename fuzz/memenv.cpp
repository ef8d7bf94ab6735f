#include "memenv.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "harness.h"
#include "platform/env_posix_internal.h"
#include "support/vector_listing.h"
#include "zipdll.h"

namespace quorbel::fuzz {

namespace {

constexpr uint64_t kVolume = 0x6D656D;  // one volume for the whole tree
constexpr char kDelim = '/';
constexpr const char* kExecExport = "ZipDllExec";

std::string Parent(const std::string& path) { return path.substr(0, path.rfind(kDelim)); }

DirEntry Entry(std::string name, bool folder) {
  const uint32_t hidden = name[0] == '.' ? attr::kHidden : 0;
  return DirEntry{std::move(name), (folder ? attr::kDirectory : attr::kArchive) | hidden};
}

// The zip engine opens the files it is given by path: the bridge puts the
// named files of the tree on disk for the call and takes the archive back.
MemoryEnv* g_bridged_env = nullptr;
ZipDllExecFn g_engine_exec = nullptr;

int32_t ZIPDLL_CALL BridgedExec(const ZipParams* params) {
  MemoryEnv& env = *g_bridged_env;
  std::string bytes;
  for (int32_t i = 0; params->files != nullptr && i < params->file_count; ++i) {
    const char* path = params->files[i].path;
    if (path == nullptr || !env.ReadWhole(path, &bytes)) continue;
    MakeRealFolder(Parent(path));
    WriteRealFile(path, bytes);
  }
  // Only an archive the tree could hold is written on disk.
  const bool archive = params->archive != nullptr && env.DirectoryExists(Parent(params->archive));
  if (archive) MakeRealFolder(Parent(params->archive));
  const int32_t added = g_engine_exec(params);
  if (archive && ReadRealFile(params->archive, &bytes)) {
    env.WriteWhole(params->archive, bytes);
  }
  EmptyRealFolder(Scratch());
  return added;
}

class BridgedLibrary : public DynamicLibrary {
 public:
  explicit BridgedLibrary(DynamicLibrary* engine) : engine_(engine) {}
  void* Symbol(const char* name) override {
    void* found = engine_->Symbol(name);
    if (found == nullptr || std::strcmp(name, kExecExport) != 0) return found;
    g_engine_exec = reinterpret_cast<ZipDllExecFn>(found);
    return reinterpret_cast<void*>(&BridgedExec);
  }

 private:
  DynamicLibrary* engine_;
};

}  // namespace

struct MemoryEnv::Stream {
  MemoryEnv* env;
  std::shared_ptr<Content> content;
  std::FILE* file = nullptr;
  int64_t pos = 0;
  bool reads = false, writes = false, appends = false;

  static ssize_t Read(void* cookie, char* buf, size_t size) {
    auto* s = static_cast<Stream*>(cookie);
    std::lock_guard lock(s->env->mutex_);
    if (!s->reads) return errno = EBADF, -1;
    const std::string& bytes = s->content->bytes;
    if (s->pos >= int64_t(bytes.size())) return 0;
    const size_t n = std::min(size, bytes.size() - size_t(s->pos));
    std::memcpy(buf, bytes.data() + s->pos, n);
    s->pos += int64_t(n);
    return ssize_t(n);
  }

  static ssize_t Write(void* cookie, const char* buf, size_t size) {
    auto* s = static_cast<Stream*>(cookie);
    std::lock_guard lock(s->env->mutex_);
    if (!s->writes) return errno = EBADF, -1;
    std::string& bytes = s->content->bytes;
    if (s->appends) s->pos = int64_t(bytes.size());
    if (size_t(s->pos) > bytes.size()) bytes.resize(size_t(s->pos));  // a hole reads as zeros
    bytes.replace(size_t(s->pos), std::min(size, bytes.size() - size_t(s->pos)), buf, size);
    s->pos += int64_t(size);
    s->env->Touch(*s->content);
    return ssize_t(size);
  }

  static int Seek(void* cookie, off64_t* offset, int whence) {
    auto* s = static_cast<Stream*>(cookie);
    std::lock_guard lock(s->env->mutex_);
    const int64_t base = whence == SEEK_SET   ? 0
                         : whence == SEEK_CUR ? s->pos
                                              : int64_t(s->content->bytes.size());
    if (*offset < 0 && base < -*offset) return errno = EINVAL, -1;
    s->pos = base + *offset;
    *offset = s->pos;
    return 0;
  }

  static int Close(void* cookie) {
    auto* s = static_cast<Stream*>(cookie);
    {
      std::lock_guard lock(s->env->mutex_);
      s->env->open_.erase(s->file);
    }
    delete s;
    return 0;
  }
};

MemoryEnv::MemoryEnv(Env* target, std::string root) : EnvWrapper(target), root_(std::move(root)) {
  nodes_[root_] = Node{next_id_++, nullptr};
}

// The tree's own spelling of a path: no repeated delimiters, no "."
// components, no trailing delimiter. Whatever is not the root or below it
// is refused, and so is any ".." component, which could climb out. The
// system reads a path up to its first zero, and so does the tree.
bool MemoryEnv::Normalize(const std::string& whole, Key* key) const {
  const std::string_view path(whole.c_str());
  if (path.compare(0, root_.size(), root_) != 0) return false;
  if (path.size() > root_.size() && path[root_.size()] != kDelim) return false;
  key->folder_only = path.size() > root_.size() && path.back() == kDelim;
  // Most paths the library builds are spelt so already.
  if (path.find("//") == path.npos && path.find("/.") == path.npos && !key->folder_only) {
    key->path.assign(path);
    return true;
  }
  key->path = root_;
  size_t at = root_.size();
  while (at < path.size()) {
    size_t end = path.find(kDelim, at + 1);
    if (end == std::string::npos) end = path.size();
    const std::string_view part = path.substr(at + 1, end - at - 1);
    if (part == "..") return false;
    if (!part.empty() && part != ".") (key->path += kDelim) += part;
    at = end;
  }
  return true;
}

MemoryEnv::Node* MemoryEnv::Find(const Key& key) {
  auto it = nodes_.find(key.path);
  if (it == nodes_.end() || (key.folder_only && it->second.content)) return nullptr;
  return &it->second;
}

MemoryEnv::Content* MemoryEnv::FindFile(const std::string& path) {
  // Most paths the library asks for are spelt as the tree holds them: found
  // as they stand, without a copy (the configuration is read a value at a
  // time, each a lookup).
  const std::string_view plain(path.c_str());
  if (plain.size() > root_.size() && plain.compare(0, root_.size(), root_) == 0 &&
      plain[root_.size()] == kDelim && plain.back() != kDelim &&
      plain.find("//") == plain.npos && plain.find("/.") == plain.npos) {
    auto it = nodes_.find(plain);
    return it != nodes_.end() ? it->second.content.get() : nullptr;
  }
  Key key;
  Node* node = Normalize(path, &key) ? Find(key) : nullptr;
  return node != nullptr ? node->content.get() : nullptr;
}

bool MemoryEnv::ParentIsFolder(const std::string& path) {
  if (path == root_) return false;
  auto it = nodes_.find(Parent(path));
  return it != nodes_.end() && !it->second.content;
}

void MemoryEnv::Touch(Content& content) {
  ++content.version;
  content.modified = FileClockNow();
}

std::FILE* MemoryEnv::Open(const std::shared_ptr<Content>& content, const char* mode) {
  auto* s = new Stream{this, content};
  s->reads = mode[0] == 'r' || std::strchr(mode, '+') != nullptr;
  s->writes = mode[0] != 'r' || std::strchr(mode, '+') != nullptr;
  s->appends = mode[0] == 'a';
  s->file = fopencookie(s, mode, {&Stream::Read, &Stream::Write, &Stream::Seek, &Stream::Close});
  if (s->file == nullptr) {
    delete s;
    return nullptr;
  }
  open_[s->file] = s;
  return s->file;
}

bool MemoryEnv::WriteWhole(const std::string& path, std::string_view bytes) {
  std::lock_guard lock(mutex_);
  Key key;
  if (!Normalize(path, &key) || key.folder_only || !ParentIsFolder(key.path)) return false;
  Node& node = nodes_[key.path];
  if (node.id == 0) node = Node{next_id_++, std::make_shared<Content>()};
  if (!node.content) return false;  // a folder of that name
  // Bytes it already holds leave the file as it was, times and all: a
  // target may hand the same file to many inputs.
  if (node.content->version != 0 && node.content->bytes == bytes) return true;
  node.content->bytes.assign(bytes);
  node.content->id = node.id;
  Touch(*node.content);
  return true;
}

bool MemoryEnv::ReadWhole(const std::string& path, std::string* bytes) {
  std::lock_guard lock(mutex_);
  const Content* content = FindFile(path);
  if (content != nullptr) *bytes = content->bytes;
  return content != nullptr;
}

bool MemoryEnv::MakeFolders(const std::string& path) {
  std::lock_guard lock(mutex_);
  Key key;
  if (!Normalize(path, &key)) return false;
  for (size_t at = root_.size(); at != std::string::npos;) {
    at = key.path.find(kDelim, at + 1);
    Node& node = nodes_[key.path.substr(0, at)];
    if (node.id == 0) node.id = next_id_++;
    if (node.content) return false;  // a file in the way
  }
  return true;
}

void MemoryEnv::EmptyFolder(const std::string& path) {
  std::lock_guard lock(mutex_);
  Key key;
  if (!Normalize(path, &key)) return;
  auto first = FirstBelow(key.path);
  auto last = first;
  while (last != nodes_.end() && IsBelow(last->first, key.path)) ++last;
  nodes_.erase(first, last);
}

bool MemoryEnv::FileExists(const std::string& p) {
  std::lock_guard lock(mutex_);
  return FindFile(p) != nullptr;
}

bool MemoryEnv::DirectoryExists(const std::string& p) {
  std::lock_guard lock(mutex_);
  Key key;
  const Node* node = Normalize(p, &key) ? Find(key) : nullptr;
  return node != nullptr && !node->content;
}

bool MemoryEnv::RemoveFile(const std::string& p) {
  std::lock_guard lock(mutex_);
  Key key;
  if (!Normalize(p, &key) || FindFile(p) == nullptr) return false;
  nodes_.erase(key.path);
  return true;
}

void MemoryEnv::MoveTree(const std::string& from, const std::string& to) {
  std::vector<std::string> moving = {from};
  for (auto it = FirstBelow(from); it != nodes_.end() && IsBelow(it->first, from); ++it) {
    moving.push_back(it->first);
  }
  for (const std::string& path : moving) {
    auto node = nodes_.extract(path);
    node.key() = to + path.substr(from.size());
    nodes_.insert(std::move(node));
  }
}

bool MemoryEnv::RenameFile(const std::string& from, const std::string& to) {
  std::lock_guard lock(mutex_);
  Key f, t;
  if (!Normalize(from, &f) || !Normalize(to, &t) || Find(f) == nullptr || f.path == root_) {
    return false;
  }
  if (nodes_.count(t.path) != 0 || !ParentIsFolder(t.path)) return false;
  if (IsBelow(t.path, f.path)) return false;  // into itself
  MoveTree(f.path, t.path);
  return true;
}

bool MemoryEnv::IsBelow(const std::string& path, const std::string& folder) {
  return path.size() > folder.size() && path[folder.size()] == kDelim &&
         path.compare(0, folder.size(), folder) == 0;
}

// What lies below a folder is one run of the sorted tree, starting here.
std::map<std::string, MemoryEnv::Node>::iterator MemoryEnv::FirstBelow(const std::string& folder) {
  return nodes_.lower_bound(folder + kDelim);
}

// As rename(2): a file takes the place of a file, a folder that of an empty folder.
bool MemoryEnv::ReplaceFile(const std::string& from, const std::string& to) {
  std::lock_guard lock(mutex_);
  Key f, t;
  if (!Normalize(from, &f) || !Normalize(to, &t)) return false;
  const Node* source = Find(f);
  if (source == nullptr || f.path == root_ || t.path == root_) return false;
  if (f.path == t.path) return true;
  if (!ParentIsFolder(t.path) || IsBelow(t.path, f.path)) return false;
  if (auto it = nodes_.find(t.path); it != nodes_.end()) {
    const bool folder = !it->second.content;
    if (folder != !source->content) return false;
    const auto below = FirstBelow(t.path);
    if (folder && below != nodes_.end() && IsBelow(below->first, t.path)) return false;  // not empty
    nodes_.erase(it);
  }
  MoveTree(f.path, t.path);
  return true;
}

std::FILE* MemoryEnv::OpenFile(const std::string& p, const char* mode) {
  std::lock_guard lock(mutex_);
  Key key;
  if (!Normalize(p, &key) || key.folder_only) return nullptr;
  auto it = nodes_.find(key.path);
  if (it != nodes_.end()) {
    Node& node = it->second;
    if (!node.content) return nullptr;  // a folder
    if (mode[0] == 'w') {
      node.content->bytes.clear();
      Touch(*node.content);
    }
    return Open(node.content, mode);
  }
  if (mode[0] == 'r' || !ParentIsFolder(key.path)) return nullptr;
  Node& node = nodes_[key.path];
  node = Node{next_id_++, std::make_shared<Content>()};
  node.content->id = node.id;
  Touch(*node.content);
  return Open(node.content, mode);
}

// Reads a file's bytes at given positions under the tree's lock; the
// content lives as long as the reader, whatever happens to its name.
class MemoryEnv::PositionalReader : public RandomAccessFile {
 public:
  PositionalReader(MemoryEnv& env, std::shared_ptr<Content> content)
      : env_(env), content_(std::move(content)) {}
  int64_t Read(int64_t offset, size_t count, void* into) override {
    std::lock_guard lock(env_.mutex_);
    const std::string& bytes = content_->bytes;
    if (offset < 0) return -1;
    if (uint64_t(offset) >= bytes.size()) return 0;
    const size_t n = std::min(count, bytes.size() - size_t(offset));
    std::memcpy(into, bytes.data() + offset, n);
    return int64_t(n);
  }

 private:
  MemoryEnv& env_;
  const std::shared_ptr<Content> content_;
};

std::unique_ptr<RandomAccessFile> MemoryEnv::OpenRegularFile(const std::string& p, int64_t* size) {
  std::lock_guard lock(mutex_);
  Key key;
  Node* node = Normalize(p, &key) ? Find(key) : nullptr;
  if (node == nullptr || !node->content) return nullptr;
  if (size != nullptr) *size = int64_t(node->content->bytes.size());
  return std::make_unique<PositionalReader>(*this, node->content);
}

int64_t MemoryEnv::FileSize(const std::string& p) {
  std::lock_guard lock(mutex_);
  const Content* content = FindFile(p);
  return content != nullptr ? int64_t(content->bytes.size()) : -1;
}

bool MemoryEnv::StampFile(std::FILE* file, FileStamp* stamp) {
  std::lock_guard lock(mutex_);
  auto it = open_.find(file);
  if (it == open_.end()) return false;
  const Content& content = *it->second->content;
  *stamp = FileStamp{kVolume, content.id, int64_t(content.bytes.size()), content.modified,
                     int64_t(content.version)};
  return true;
}

std::unique_ptr<DirListing> MemoryEnv::ListDirectory(const std::string& d) {
  std::lock_guard lock(mutex_);
  Key key;
  const Node* folder = Normalize(d, &key) ? Find(key) : nullptr;
  if (folder == nullptr || folder->content) return nullptr;
  // The special entries come first, as the system's listing gives them.
  std::vector<DirEntry> entries = {Entry(".", true), Entry("..", true)};
  for (auto it = FirstBelow(key.path); it != nodes_.end() && IsBelow(it->first, key.path); ++it) {
    const std::string name = it->first.substr(key.path.size() + 1);
    if (name.find(kDelim) == std::string::npos) entries.push_back(Entry(name, !it->second.content));
  }
  // Taken whole now: what a nested command changes meanwhile does not disturb it.
  return std::make_unique<test::VectorListing>(std::move(entries));
}

std::string MemoryEnv::DirectoryIdentity(const std::string& d) {
  std::lock_guard lock(mutex_);
  Key key;
  const Node* node = Normalize(d, &key) ? Find(key) : nullptr;
  return node != nullptr && !node->content ? "mem:" + std::to_string(node->id) : std::string();
}

// The POSIX reader's rules over the file's text; a missing file or a folder
// reads as empty, as it does there.
std::vector<std::string> MemoryEnv::ProfileKeys(const std::string& p, const std::string& s) {
  std::lock_guard lock(mutex_);
  const Content* content = FindFile(p);
  return posix::ProfileKeysInText(content != nullptr ? content->bytes : std::string_view(), s);
}

std::string MemoryEnv::ProfileString(const std::string& p, const std::string& s,
                                     const std::string& k, const std::string& f) {
  std::lock_guard lock(mutex_);
  const Content* content = FindFile(p);
  return posix::ProfileStringInText(content != nullptr ? content->bytes : std::string_view(), s, k, f);
}

// The zip engine is loaded once for the process and handed out again; its
// calls go through the bridge. Other libraries load as they would.
std::unique_ptr<DynamicLibrary> MemoryEnv::LoadLibrary(const std::string& name) {
  if (name != kZipEngineName) return EnvWrapper::LoadLibrary(name);
  static const std::unique_ptr<DynamicLibrary> engine = EnvWrapper::LoadLibrary(name);
  if (!engine) return nullptr;
  g_bridged_env = this;
  return std::make_unique<BridgedLibrary>(engine.get());
}

}  // namespace quorbel::fuzz
