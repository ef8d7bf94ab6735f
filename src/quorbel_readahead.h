// Reading ahead of the generation run. Listing files that are not in the
// page cache is bound by the device's latency, one file at a time; a few
// reader threads keep several reads in flight while the host's thread
// writes the list in order. The readers only read: every decision, every
// write and every rename stays on the host's thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "mp3info.h"
#include "platform/env.h"

namespace quorbel {

// What the run takes from one file: its size and, when the list shows
// media items, its frame header and tag.
struct MediaRecord {
  std::unique_ptr<TMP3Information> reader;
  bool have_media = false;     // ReadInformation's result; false when not asked for
  std::exception_ptr failure;  // raised where the run would have raised it
};

// The one way a file is read, on whichever thread reads it: a reader of
// its own per file, so that nothing carries over from the file before.
MediaRecord ReadMedia(Env& env, const std::string& path, bool wants_media);

// The number of readers when nothing else is asked for; the measurements
// behind it are in bench/README.md.
inline constexpr int32_t kDefaultReaders = 16;
inline constexpr int32_t kMostReaders = 64;
// The QUORBEL_READERS environment variable (1 to kMostReaders; 1 reads on
// the host's thread alone), else kDefaultReaders.
int32_t ReadersFromEnvironment();

// Reader threads working through the files in the order they were
// submitted. The owner submits and takes on one thread; the pool's memory
// is bounded by what the owner keeps submitted. Destruction stops the
// readers after the read each is doing and joins them all.
class ReadAheadPool {
 public:
  // Starts up to `readers` threads; fewer when the system refuses more
  // (see readers()).
  ReadAheadPool(Env& env, int32_t readers);
  ~ReadAheadPool();
  ReadAheadPool(const ReadAheadPool&) = delete;
  ReadAheadPool& operator=(const ReadAheadPool&) = delete;

  int32_t readers() const { return int32_t(threads_.size()); }

  void Submit(std::string path, bool wants_media);
  // The record of the oldest submitted file not yet taken; while it is
  // being read, calls `idle` between waits of at most kIdleInterval.
  MediaRecord TakeOldest(const std::function<void()>& idle);

  static constexpr std::chrono::milliseconds kIdleInterval{20};

 private:
  struct Job {
    std::string path;
    bool wants_media = false;
    bool done = false;
    MediaRecord record;
  };

  void Work();
  void StopAndJoin();

  Env& env_;
  std::mutex mutex_;
  std::condition_variable work_ready_;  // a job was submitted, or stop
  std::condition_variable job_done_;
  std::deque<std::unique_ptr<Job>> jobs_;  // oldest first
  size_t next_to_start_ = 0;               // index in jobs_
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace quorbel
