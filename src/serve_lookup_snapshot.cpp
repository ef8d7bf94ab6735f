#include "serve_lookup_snapshot.h"

#include <algorithm>
#include <cstring>

#include "command_failure.h"
#include "engine_text.h"
#include "serve_lookup_text.h"

namespace quorbel {

namespace {

// Small first: most finds and searches are answered from the first lines.
constexpr size_t kFirstPiece = 16 * 1024;
constexpr size_t kLargestPiece = 4 * 1024 * 1024;
constexpr int32_t kReadErrorContext = 100;
constexpr size_t kNone = std::string::npos;

}  // namespace

SnapshotReader::SnapshotReader(std::FILE* file, std::string path, Folding folding,
                               int64_t size_hint, bool keep_all)
    : file_(file), path_(std::move(path)), folding_(folding), keep_all_(keep_all),
      size_hint_(size_hint), piece_(kFirstPiece) {}

bool SnapshotReader::ReadMore() {
  if (at_end_) return false;
  std::string& text = snapshot_.text;
  const size_t old = text.size();
  // Once a second piece is needed, room for the whole file at once (one
  // byte more, so that its end shows without growing again).
  if (old > 0 && keep_all_ && size_hint_ >= 0 && text.capacity() < size_t(size_hint_) + 1) {
    text.reserve(size_t(size_hint_) + 1);
  }
  // No more than the rest of the file and one byte (to see its end):
  // growing the text zeroes what is asked for, and most lists are short.
  // A file that has grown past its size is read on in whole pieces.
  size_t want = piece_;
  if (size_hint_ >= 0 && bytes_read_ <= size_hint_) {
    want = std::min(want, size_t(size_hint_ - bytes_read_) + 1);
  }
  text.resize(old + want);
  const size_t n = std::fread(text.data() + old, 1, want, file_);
  text.resize(old + n);
  if (n < want) {
    if (std::ferror(file_)) throw EInOutError("Read error on " + path_, kReadErrorContext);
    at_end_ = true;
  }
  if (folding_ == Folding::kLowerAscii) LowerAscii(text.data() + old, n);
  snapshot_.byte_counts.Add(std::string_view(text).substr(old), uint64_t(bytes_read_));
  bytes_read_ += int64_t(n);
  piece_ = std::min(piece_ * 2, kLargestPiece);
  return true;
}

void SnapshotReader::Forget(size_t offset) {
  snapshot_.text.erase(0, offset);
  snapshot_.lines.clear();
  splitter_ = LineSplitter{};
}

size_t LineSplitter::NextByte::Find(std::string_view text, size_t from) {
  if (at != kNone && at >= from) return at;
  // With no byte found before, the text up to searched_to holds none.
  const size_t start = at == kNone ? std::max(from, searched_to) : from;
  const void* found = start < text.size()
                          ? std::memchr(text.data() + start, byte, text.size() - start)
                          : nullptr;
  at = found ? size_t(static_cast<const char*>(found) - text.data()) : kNone;
  searched_to = text.size();
  return at;
}

// A CR at the very end of the text may still be followed by its LF.
void LineSplitter::Split(std::string_view text, bool at_end, std::vector<LineSpan>* lines) {
  for (;;) {
    const size_t begin = unsplit_;
    const size_t end = std::min(next_lf_.Find(text, begin), next_cr_.Find(text, begin));
    if (end == kNone) {
      if (at_end && begin < text.size()) {
        lines->push_back({uint32_t(begin), uint32_t(text.size())});
        unsplit_ = text.size();
      }
      return;
    }
    const bool cr = text[end] == '\r';
    if (cr && end + 1 == text.size() && !at_end) return;
    lines->push_back({uint32_t(begin), uint32_t(end)});
    unsplit_ = end + 1;
    if (cr && unsplit_ < text.size() && text[unsplit_] == '\n') ++unsplit_;
  }
}

// --- index lines ----------------------------------------------------------------

std::string_view IndexName(std::string_view line) {
  const size_t sep = line.find(kSep);
  return sep == std::string_view::npos ? std::string_view() : line.substr(0, sep);
}

std::string IndexPath(std::string_view line) {
  const size_t sep = line.find(kSep);
  if (sep == std::string_view::npos) return std::string(line);
  std::string path(line.substr(sep + 1));
  path += line.substr(0, sep);
  return path;
}

bool IndexLineUsable(std::string_view line, bool may_hold_nul) {
  const bool only_sep = line.size() == 1 && line[0] == kSep;
  if (line.empty() || only_sep) return false;
  return !may_hold_nul || line.find('\0') == std::string_view::npos;
}

namespace {

// A multiplicative hash over eight bytes at a time; names are short and
// the table only needs them spread.
uint64_t HashName(std::string_view name) {
  constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
  uint64_t h = name.size() * kMultiplier;
  size_t i = 0;
  for (; i + 8 <= name.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, name.data() + i, 8);
    h = (h ^ word) * kMultiplier;
    h ^= h >> 29;
  }
  uint64_t tail = 0;
  if (i < name.size()) std::memcpy(&tail, name.data() + i, name.size() - i);  // data() may be null
  h = (h ^ tail) * kMultiplier;
  return h ^ (h >> 32);
}

size_t TableSizeFor(size_t lines) {
  size_t size = 16;
  while (size < 2 * lines) size *= 2;  // at most half full
  return size;
}

}  // namespace

namespace {

// Names are inserted in small batches: the slots of a whole batch are
// fetched from memory together, instead of one cache miss after another.
constexpr size_t kBatch = 16;

struct PendingName {
  uint32_t line;
  uint64_t hash;
  std::string_view name;
};

void Insert(FileSnapshot* snapshot, const PendingName& pending) {
  std::vector<FileSnapshot::NameSlot>& slots = snapshot->name_slots;
  const size_t mask = slots.size() - 1;
  const uint32_t check = uint32_t(pending.hash >> 32);
  for (size_t slot = pending.hash & mask;; slot = (slot + 1) & mask) {
    FileSnapshot::NameSlot& held = slots[slot];
    if (held.line_plus_one == 0) {
      held = {pending.line + 1, check};
      return;
    }
    if (held.hash_check == check &&
        IndexName(snapshot->Line(held.line_plus_one - 1)) == pending.name) {
      return;  // the first line of a name stays
    }
  }
}

}  // namespace

void BuildNameTable(FileSnapshot* snapshot) {
  std::vector<FileSnapshot::NameSlot>& slots = snapshot->name_slots;
  slots.assign(TableSizeFor(snapshot->lines.size()), FileSnapshot::NameSlot{0, 0});
  const size_t mask = slots.size() - 1;
  const bool any_nul = snapshot->text.find('\0') != std::string::npos;
  PendingName batch[kBatch];
  size_t pending = 0;
  for (size_t i = 0; i <= snapshot->lines.size(); ++i) {
    if (pending == kBatch || (i == snapshot->lines.size() && pending > 0)) {
      for (size_t k = 0; k < pending; ++k) Insert(snapshot, batch[k]);  // in file order
      pending = 0;
    }
    if (i == snapshot->lines.size()) break;
    const std::string_view line = snapshot->Line(i);
    if (!IndexLineUsable(line, any_nul)) continue;
    PendingName& next = batch[pending++];
    next.line = uint32_t(i);
    next.name = IndexName(line);
    next.hash = HashName(next.name);
    __builtin_prefetch(&slots[next.hash & mask]);
  }
}

int64_t FindName(const FileSnapshot& snapshot, std::string_view name) {
  const std::vector<FileSnapshot::NameSlot>& slots = snapshot.name_slots;
  if (slots.empty()) return -1;
  const size_t mask = slots.size() - 1;
  const uint64_t hash = HashName(name);
  const uint32_t check = uint32_t(hash >> 32);
  for (size_t slot = hash & mask; slots[slot].line_plus_one != 0; slot = (slot + 1) & mask) {
    const size_t line = slots[slot].line_plus_one - 1;
    if (slots[slot].hash_check == check && IndexName(snapshot.Line(line)) == name) {
      return int64_t(line);
    }
  }
  return -1;
}

}  // namespace quorbel
