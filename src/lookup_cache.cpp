#include "lookup_cache.h"

#include "quorbel_oob.h"

namespace quorbel {

namespace {

// The coarsest modification times in use (FAT) step by two seconds; one
// more covers a system clock read a little before the file's own.
constexpr int64_t kNanosecondsPerSecond = 1000000000;
constexpr int64_t kStampGranularity = 3 * kNanosecondsPerSecond;
// A file taking more memory than this (text, lines and names together) is
// read for each request instead of being kept; at most two are kept.
constexpr int64_t kMostKeptBytes = 64 * 1024 * 1024;

}  // namespace

// A file modified at least one granularity step before its content was
// read cannot be rewritten later without its modification time moving.
bool LookupCache::StampsVouch(const Entry& entry) {
  return entry.stamp.modified < entry.verified_at - kStampGranularity;
}

bool LookupCache::MayKeep(const Probe& probe) {
  return probe.stamped && probe.stamp.size <= kMostKeptBytes;
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
  if (StampsVouch(entry)) {
    probe.kept = entry.snapshot;
    return probe;
  }
  // Written too recently for the stamps to show a rewrite: read it again.
  SnapshotReader reader(file, path, FoldingOf(kind), probe.stamp.size, true);
  while (reader.ReadMore()) {
  }
  if (reader.snapshot().text == entry.snapshot->text) {
    entry.verified_at = probe.opened_at;
    probe.kept = entry.snapshot;
  } else {
    probe.kept = Keep(env, kind, path, file, probe, std::move(reader));
  }
  return probe;
}

std::shared_ptr<const FileSnapshot> LookupCache::Keep(Env& env, Kind kind,
                                                      const std::string& path, std::FILE* file,
                                                      const Probe& probe,
                                                      SnapshotReader&& reader) {
  auto snapshot = std::make_shared<FileSnapshot>(std::move(reader.snapshot()));
  if (kind == kIndex) BuildNameTable(snapshot.get());
  const int64_t footprint = int64_t(snapshot->text.size() +
                                    snapshot->lines.size() * sizeof(LineSpan) +
                                    snapshot->name_slots.size() * sizeof(FileSnapshot::NameSlot));
  FileStamp after;
  const bool unchanged = probe.stamped && env.StampFile(file, &after) && after == probe.stamp &&
                         reader.bytes_read() == probe.stamp.size;
  if (reader.AtEnd() && reader.keeps_all() && unchanged && footprint <= kMostKeptBytes) {
    entries_[kind] = Entry{path, probe.stamp, probe.opened_at, snapshot};
  }
  return snapshot;
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
