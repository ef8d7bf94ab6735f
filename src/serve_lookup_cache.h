// The list and the index of the last run, kept in memory between requests
// so that a find or a search need not read and lower-case the whole file
// each time. A kept file is used only while the file on disk is still the
// one that was read: same identity, size and times, and, while the times
// are too recent to tell a rewrite within their granularity, same content.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "platform/env.h"
#include "serve_lookup_snapshot.h"

namespace quorbel {

class LookupCache {
 public:
  enum Kind { kList, kIndex, kKinds };

  // What a request learnt when it opened its file.
  struct Probe {
    // The whole file as it is now, when known without reading it through;
    // else null and the request reads the file itself. A list's copy is
    // split into lines; an index's has its name table only once its stamps
    // vouch for it (name_slots empty before).
    std::shared_ptr<const FileSnapshot> kept;
    bool stamped = false;
    FileStamp stamp;
    int64_t opened_at = 0;  // file clock, taken before the stamp
  };

  static Folding FoldingOf(Kind kind) {
    return kind == kList ? Folding::kLowerAscii : Folding::kKeepCase;
  }

  // Looks at `file`, just opened from `path`.
  Probe Look(Env& env, Kind kind, const std::string& path, std::FILE* file);
  // Whether a file of the probed size may be kept whole.
  static bool MayKeep(const Probe& probe);
  // Takes what a request read of `file`: when the reader holds the whole
  // file and the file did not change meanwhile, it is kept for the next
  // requests, which split it into lines (and an index's names into their
  // table) on first use.
  // Returns whether it was kept (the reader's snapshot then moved out).
  bool Keep(Env& env, Kind kind, const std::string& path, std::FILE* file, const Probe& probe,
            SnapshotReader& reader);
  // Forgets everything kept.
  void Drop();

 private:
  struct Entry {
    std::string path;
    FileStamp stamp;
    int64_t verified_at = 0;  // file clock before the content was last read
    std::shared_ptr<FileSnapshot> snapshot;
  };

  static bool StampsVouch(const Entry& entry);
  // Splits a snapshot into lines and fills an index's name table, unless
  // done before.
  static void Prepare(Kind kind, FileSnapshot* snapshot);

  Entry entries_[kKinds];
};

}  // namespace quorbel
