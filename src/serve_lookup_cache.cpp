#include "serve_lookup_cache.h"

#include "quorbel_oob.h"

namespace quorbel {

namespace {

// The coarsest modification times in use (FAT) step by two seconds; one
// more covers a system clock read a little before the file's own.
constexpr int64_t kNanosecondsPerSecond = 1000000000;
constexpr int64_t kStampGranularity = 3 * kNanosecondsPerSecond;
// A file taking more memory than this (text, lines and names together) is
// read for each request instead of being kept; at most two are kept.
constexpr size_t kMostKeptBytes = 64 * 1024 * 1024;

size_t Footprint(const FileSnapshot& snapshot) {
  return snapshot.text.size() + snapshot.lines.size() * sizeof(LineSpan) +
         snapshot.name_slots.size() * sizeof(FileSnapshot::NameSlot);
}

}  // namespace

// A file modified at least one granularity step before its content was
// read cannot be rewritten later without its modification time moving.
bool LookupCache::StampsVouch(const Entry& entry) {
  return entry.stamp.modified < entry.verified_at - kStampGranularity;
}

bool LookupCache::MayKeep(const Probe& probe) {
  return probe.stamped && probe.stamp.size <= int64_t(kMostKeptBytes);
}

LookupCache::Probe LookupCache::Look(Env& env, Kind kind, const std::string& path,
                                     std::FILE* file) {
  Probe probe;
  probe.opened_at = env.FileClockNow();
  probe.stamped = env.StampFile(file, &probe.stamp);
  Entry& entry = entries_[kind];
  if (!probe.stamped || entry.path != path || !(entry.stamp == probe.stamp)) {
    entry = Entry{};  // another file now: free its memory at once
    return probe;
  }
  if (!StampsVouch(entry)) {
    // Written too recently for the stamps to show a rewrite: read it again.
    SnapshotReader reader(file, path, FoldingOf(kind), probe.stamp.size, true);
    while (reader.ReadMore()) {
    }
    if (reader.snapshot().text == entry.snapshot->text) {
      entry.verified_at = probe.opened_at;
    } else if (!Keep(env, kind, path, file, probe, reader)) {
      // Changing while read: answered from what was read, kept no longer.
      entry = Entry{};
      auto once = std::make_shared<FileSnapshot>(std::move(reader.snapshot()));
      if (kind == kList) Prepare(kind, once.get());
      probe.kept = once;
      return probe;
    }
  }
  // The index's name table pays off only once the stamps vouch for the
  // copy; until then each request reads the file anyway.
  if (kind == kList || StampsVouch(entry)) Prepare(kind, entry.snapshot.get());
  probe.kept = entry.snapshot;
  if (Footprint(*entry.snapshot) > kMostKeptBytes) entry = Entry{};  // used this once only
  return probe;
}

void LookupCache::Prepare(Kind kind, FileSnapshot* snapshot) {
  if (snapshot->lines.empty() && !snapshot->text.empty()) {
    LineSplitter().Split(snapshot->text, true, &snapshot->lines);
  }
  if (kind == kIndex && snapshot->name_slots.empty()) BuildNameTable(snapshot);
}

bool LookupCache::Keep(Env& env, Kind kind, const std::string& path, std::FILE* file,
                       const Probe& probe, SnapshotReader& reader) {
  FileStamp after;
  const bool unchanged = probe.stamped && env.StampFile(file, &after) && after == probe.stamp &&
                         reader.bytes_read() == probe.stamp.size;
  if (!reader.AtEnd() || !reader.keeps_all() || !unchanged) return false;
  entries_[kind] = Entry{path, probe.stamp, probe.opened_at,
                         std::make_shared<FileSnapshot>(std::move(reader.snapshot()))};
  return true;
}

void LookupCache::Drop() {
  for (Entry& entry : entries_) entry = Entry{};
}

LookupCache& TZOQ_Quorbel::lookup_cache() {
  if (!lookup_cache_) lookup_cache_ = std::make_shared<LookupCache>();
  return *lookup_cache_;
}

void TZOQ_Quorbel::DropLookupCache() {
  if (lookup_cache_) lookup_cache_->Drop();
}

}  // namespace quorbel
