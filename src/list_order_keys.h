// The ordering lines of a counting, keyed while the walk goes on.
//
// The walk spends its time in the system, listing folders; the collation
// keys of the lines it has written so far are made meanwhile on a thread of
// its own, so that by the walk's end the sort has little left but sorting.
// The lines are kept as the ordering file should hold them, and the sort
// takes them and their keys only when the file holds exactly those bytes;
// otherwise it keys the file's own lines as before.
#pragma once

#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/env.h"

namespace quorbel {

class OrderKeys {
 public:
  explicit OrderKeys(Env& env) : env_(env) {}
  // A walk that ends early leaves its keys unmade: the thread is told to
  // stop and joined here.
  ~OrderKeys();
  OrderKeys(const OrderKeys&) = delete;
  OrderKeys& operator=(const OrderKeys&) = delete;

  // One line, as it is written to the ordering file.
  void Add(std::string_view line);

  // Waits for the last keys. True when they stand for the ordering file at
  // `path`: it holds exactly the lines added, each ended by CR LF.
  bool Finish(const std::string& path);

  // After a true Finish: the lines, their keys, where each key starts and
  // then where the last one ends.
  const std::vector<std::string_view>& lines() const { return lines_; }
  const std::string& keys() const { return keys_; }
  const std::vector<size_t>& starts() const { return starts_; }

 private:
  // A block of lines as the file holds them, and where each line's text ends.
  struct Batch {
    std::string bytes;
    std::vector<size_t> ends;
  };

  Batch& Filling();
  void Hand();
  void StartThread();
  void KeyBatches();
  void StopThread(bool abandon);
  void KeyTheRest();
  bool FileHolds(const std::string& path) const;

  Env& env_;
  std::unique_ptr<SortKeyMaker> maker_;
  bool one_line_each_ = true;  // no line holds a line break of its own
  bool no_thread_ = false;     // none could be started: the rest is keyed at the end

  // Shared with the thread, under mutex_ (this thread may read the first
  // two without it, being the only one to change them): the batches
  // (handed ones are never changed again), how many are handed, whether
  // to stop.
  std::mutex mutex_;
  std::condition_variable handed_more_;
  std::vector<std::unique_ptr<Batch>> batches_;
  size_t handed_ = 0;
  bool closing_ = false;    // key what is handed, then end
  bool abandoned_ = false;  // end now

  // The thread's own until it is joined.
  std::thread thread_;
  std::string keys_;
  std::vector<size_t> starts_;
  std::exception_ptr failure_;

  std::vector<std::string_view> lines_;
};

}  // namespace quorbel
