#include "list_order_keys.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "engine_text.h"

namespace quorbel {

namespace {

// Lines handed to the thread at a time; a walk of fewer lines starts no
// thread at all.
constexpr size_t kBatchLines = 1024;
// Lines of a batch are taken to be about as long as its first, give or take this.
constexpr size_t kRoomPerLine = 16;
// The piece of the ordering file compared at a time.
constexpr size_t kCompareBytes = 64 * 1024;

bool HoldsLineBreak(std::string_view line) {
  return line.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

OrderKeys::~OrderKeys() { StopThread(/*abandon=*/true); }

void OrderKeys::Add(std::string_view line) {
  // Such a line reads back from the file as two: its key would be wrong.
  if (HoldsLineBreak(line)) one_line_each_ = false;
  Batch& batch = Filling();
  // Room for a batch of lines like the first: no copies as it fills.
  if (batch.ends.empty()) batch.bytes.reserve(kBatchLines * (line.size() + kRoomPerLine));
  batch.bytes.append(line);
  batch.ends.push_back(batch.bytes.size());
  batch.bytes.append(kCrLf);
  if (batch.ends.size() == kBatchLines) Hand();
}

// The batch that takes lines: a new one once the last has been handed.
// Only this thread changes the list of batches and the count handed, so
// reading them here needs no lock; adding a batch does.
OrderKeys::Batch& OrderKeys::Filling() {
  if (batches_.size() == handed_) {
    std::lock_guard<std::mutex> lock(mutex_);
    batches_.push_back(std::make_unique<Batch>());
  }
  return *batches_.back();
}

void OrderKeys::Hand() {
  if (!thread_.joinable() && !no_thread_) StartThread();
  if (no_thread_) return;  // the batch stays for the end, and the next goes beside it
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++handed_;
  }
  handed_more_.notify_one();
}

void OrderKeys::StartThread() {
  maker_ = env_.NewSortKeyMaker();
  if (maker_ == nullptr) {
    no_thread_ = true;
    return;
  }
  try {
    thread_ = std::thread([this] { KeyBatches(); });
  } catch (const std::system_error&) {
    no_thread_ = true;
  }
}

// The thread: every handed batch in turn, until told to end.
void OrderKeys::KeyBatches() {
  try {
    for (size_t next = 0;; ++next) {
      const Batch* batch;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        handed_more_.wait(lock, [&] { return abandoned_ || closing_ || next < handed_; });
        if (abandoned_ || next == handed_) return;
        batch = batches_[next].get();
      }
      // Keys run to about one and a half bytes a character: room for twice
      // the batch, the block growing by at least half each time.
      const size_t wanted = keys_.size() + 2 * batch->bytes.size();
      if (wanted > keys_.capacity()) keys_.reserve(std::max(wanted, keys_.capacity() * 3 / 2));
      size_t begin = 0;
      for (size_t end : batch->ends) {
        starts_.push_back(keys_.size());
        maker_->AppendSortKey(std::string_view(batch->bytes).substr(begin, end - begin), &keys_);
        begin = end + kCrLf.size();
      }
    }
  } catch (...) {
    failure_ = std::current_exception();
  }
}

void OrderKeys::StopThread(bool abandon) {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    (abandon ? abandoned_ : closing_) = true;
  }
  handed_more_.notify_one();
  thread_.join();
}

// The lines the thread did not key, keyed here.
void OrderKeys::KeyTheRest() {
  if (maker_ != nullptr && !no_thread_) {
    for (size_t i = starts_.size(); i < lines_.size(); ++i) {
      starts_.push_back(keys_.size());
      maker_->AppendSortKey(lines_[i], &keys_);
    }
    starts_.push_back(keys_.size());
  } else {
    keys_.clear();
    starts_.clear();
    env_.AppendSortKeys(lines_, &keys_, &starts_);
  }
}

bool OrderKeys::Finish(const std::string& path) {
  StopThread(/*abandon=*/false);
  if (failure_) std::rethrow_exception(failure_);
  for (const auto& batch : batches_) {
    size_t begin = 0;
    for (size_t end : batch->ends) {
      lines_.push_back(std::string_view(batch->bytes).substr(begin, end - begin));
      begin = end + kCrLf.size();
    }
  }
  if (!one_line_each_ || !FileHolds(path)) return false;
  KeyTheRest();
  return true;
}

// Compared piece by piece: the file is not held in memory beside the lines.
bool OrderKeys::FileHolds(const std::string& path) const {
  int64_t size = -1;
  std::unique_ptr<RandomAccessFile> file = env_.OpenRegularFile(path, &size);
  int64_t expected = 0;
  for (const auto& batch : batches_) expected += int64_t(batch->bytes.size());
  if (file == nullptr || size != expected) return false;
  std::string piece(kCompareBytes, '\0');
  int64_t at = 0;
  for (const auto& batch : batches_) {
    for (size_t done = 0; done < batch->bytes.size();) {
      const size_t count = std::min(kCompareBytes, batch->bytes.size() - done);
      if (file->Read(at, count, piece.data()) != int64_t(count) ||
          std::memcmp(piece.data(), batch->bytes.data() + done, count) != 0) {
        return false;
      }
      done += count;
      at += int64_t(count);
    }
  }
  return true;
}

}  // namespace quorbel
