// The scratch folder held in memory: the platform layer's file calls answer
// from a tree of folders and files kept here, so that an input costs no
// system calls for the files it writes and the library reads. Paths outside
// the scratch folder do not exist, which also keeps the library inside it.
// Open files are real stdio streams (glibc's fopencookie) over the memory,
// so the library's own reading, writing and seeking code runs unchanged.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/env.h"

namespace quorbel::fuzz {

class MemoryEnv : public EnvWrapper {
 public:
  // `root` is a real folder: it names the tree and takes the files the zip
  // engine, which reads and writes by path itself, works on.
  MemoryEnv(Env* target, std::string root);

  // For the harness: the tree as the library would find it on disk.
  bool WriteWhole(const std::string& path, std::string_view bytes);
  bool ReadWhole(const std::string& path, std::string* bytes);
  bool MakeFolders(const std::string& path);
  void EmptyFolder(const std::string& path);

  bool FileExists(const std::string& p) override;
  bool DirectoryExists(const std::string& p) override;
  bool RemoveFile(const std::string& p) override;
  bool RenameFile(const std::string& from, const std::string& to) override;
  bool ReplaceFile(const std::string& from, const std::string& to) override;
  // Memory is never behind a disk: a file or folder that exists is synced.
  bool SyncFile(const std::string& p) override { return FileExists(p); }
  bool SyncDirectory(const std::string& d) override { return DirectoryExists(d); }
  std::FILE* OpenFile(const std::string& p, const char* mode) override;
  std::unique_ptr<RandomAccessFile> OpenRegularFile(const std::string& p, int64_t* size) override;
  int64_t FileSize(const std::string& p) override;
  bool StampFile(std::FILE* file, FileStamp* stamp) override;
  std::unique_ptr<DirListing> ListDirectory(const std::string& d) override;
  std::string DirectoryIdentity(const std::string& d) override;
  std::vector<std::string> ProfileKeys(const std::string& p, const std::string& s) override;
  std::string ProfileString(const std::string& p, const std::string& s, const std::string& k,
                            const std::string& f) override;
  std::unique_ptr<DynamicLibrary> LoadLibrary(const std::string& name) override;
  std::string FallbackDirectory() override { return root_ + "/"; }

  // A file's bytes and what its stamp is made of; shared by the open
  // streams, so that a removed or renamed file stays readable through them.
  struct Content {
    std::string bytes;
    uint64_t id = 0;
    uint64_t version = 0;  // moves with every change, as a status change time does
    int64_t modified = 0;
  };
  struct Stream;
  class PositionalReader;

 private:
  struct Node {
    uint64_t id = 0;
    std::shared_ptr<Content> content;  // null for a folder
  };
  // Looked up by views too: most paths need no spelling out.
  using Nodes = std::map<std::string, Node, std::less<>>;
  struct Key {
    std::string path;
    bool folder_only = false;  // written with a trailing delimiter
  };

  friend struct Stream;
  bool Normalize(const std::string& path, Key* key) const;
  Node* Find(const Key& key);
  Content* FindFile(const std::string& path);
  bool ParentIsFolder(const std::string& path);
  void Touch(Content& content);
  std::FILE* Open(const std::shared_ptr<Content>& content, const char* mode);
  Nodes::iterator FirstBelow(const std::string& folder);
  static bool IsBelow(const std::string& path, const std::string& folder);
  void MoveTree(const std::string& from, const std::string& to);

  std::string root_;
  Nodes nodes_;
  // The streams open now. The sanitizer's own wrapper stands between a
  // stream and its state where the leak checker does not look: this keeps
  // the state of a file still open at exit from showing as a leak.
  std::unordered_map<std::FILE*, Stream*> open_;
  uint64_t next_id_ = 1;
  // The generation run's readers open and read media files from threads of
  // their own.
  std::recursive_mutex mutex_;
};

}  // namespace quorbel::fuzz
