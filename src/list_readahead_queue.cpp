#include "list_readahead_queue.h"

#include <chrono>
#include <utility>

#include "serve_lookup_text.h"

namespace quorbel {

namespace {

// Paths as the file systems that ignore letter case compare them; where
// case matters this only makes a few more files read at their turn.
// A to Z only: bytes above 0x7F stay as they are, as the "C" locale leaves
// them, whatever locale the host has set.
std::string Folded(std::string path) {
  LowerAscii(path.data(), path.size());
  return path;
}

}  // namespace

ReadAheadQueue::ReadAheadQueue(Env& env, int32_t files, int32_t readers, bool read_id3v2,
                               Source source)
    : env_(env),
      files_(files),
      readers_(readers),
      read_id3v2_(read_id3v2),
      source_(std::move(source)) {}

ReadAheadQueue::~ReadAheadQueue() = default;

void ReadAheadQueue::FirstLine(std::string* line) {
  source_.read_line(line);
  lines_read_ = 1;
}

void ReadAheadQueue::NextLine(std::string* line) {
  if (!pool_ && recent_read_us_ >= double(ReadAheadPool::kSlowRead.count())) {
    pool_ = std::make_unique<ReadAheadPool>(env_, readers_, read_id3v2_, recent_read_us_);
  }
  current_pooled_ = false;
  if (!pool_) {
    source_.read_line(line);
    ++lines_read_;
    return;
  }
  ReadLinesAhead();
  line->clear();
  if (ahead_.empty()) return;  // past the lines the run asks for
  AheadLine next = std::move(ahead_.front());
  ahead_.pop_front();
  if (next.failure) std::rethrow_exception(next.failure);  // at the step the read belongs to
  *line = std::move(next.line);
  current_pooled_ = next.pooled;
}

// Tops the lines read ahead up to kAheadLines once fewer than kAheadRefill
// are left.
void ReadAheadQueue::ReadLinesAhead() {
  if (ahead_.size() >= kAheadRefill) return;
  while (!line_failed_ && lines_read_ <= files_ && ahead_.size() < kAheadLines) {
    AheadLine next;
    try {
      source_.read_line(&next.line);
    } catch (...) {
      next.failure = std::current_exception();
      line_failed_ = true;
    }
    const bool file_line = lines_read_ < files_;
    ++lines_read_;
    if (!next.failure && file_line) next.pooled = Submit(next.line);
    ahead_.push_back(std::move(next));
  }
  pool_->WakeReaders();
}

// Gives whether the line's file went to the pool.
bool ReadAheadQueue::Submit(const std::string& line) {
  std::optional<EarlyRead> early = source_.early_read(line);
  if (!early) return false;
  pool_->Submit(std::move(early->path), early->wants_media);
  return true;
}

MediaRecord ReadAheadQueue::TakeAhead(const std::function<void()>& idle) {
  return current_pooled_ ? pool_->TakeOldest(idle) : MediaRecord();
}

void ReadAheadQueue::NoteRenamed(const std::string& path) { renamed_onto_.insert(Folded(path)); }

MediaRecord ReadAheadQueue::Read(const std::string& on_disk, bool wants_media,
                                 MediaRecord ahead) {
  const bool usable =
      current_pooled_ && (renamed_onto_.empty() || !renamed_onto_.count(Folded(on_disk)));
  MediaRecord media = usable ? std::move(ahead) : ReadNow(on_disk, wants_media);
  if (media.failure) std::rethrow_exception(media.failure);
  return media;
}

// A read at the file's turn. Until these turn out slow, nothing is read
// ahead: over cached files reading ahead would only cost.
MediaRecord ReadAheadQueue::ReadNow(const std::string& on_disk, bool wants_media) {
  if (pool_ || readers_ <= 1) return ReadMedia(env_, on_disk, wants_media, read_id3v2_);
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  MediaRecord media = ReadMedia(env_, on_disk, wants_media, read_id3v2_);
  const std::chrono::duration<double, std::micro> took = Clock::now() - start;
  recent_read_us_ = ReadAheadPool::RecentReadUs(recent_read_us_, took.count());
  return media;
}

}  // namespace quorbel
