// Reading ahead of the generation run. Listing files that are not in the
// page cache is bound by the device's latency, one file at a time; a few
// reader threads keep several reads in flight while the host's thread
// writes the list in order. The readers only read: every decision, every
// write and every rename stays on the host's thread.
#pragma once

#include <algorithm>
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
// `read_id3v2`: the texts of an ID3v2 tag stand in for a missing ID3v1 tag.
MediaRecord ReadMedia(Env& env, const std::string& path, bool wants_media, bool read_id3v2);

// The number of readers when nothing else is asked for; the measurements
// behind it are in bench/README.md.
inline constexpr int32_t kDefaultReaders = 32;
inline constexpr int32_t kMostReaders = 64;
// The QUORBEL_READERS environment variable (1 to kMostReaders; 1 reads on
// the host's thread alone), else kDefaultReaders.
int32_t ReadersFromEnvironment();

// Reader threads working through the files in the order they were
// submitted. The owner submits and takes on one thread; the pool's memory
// is bounded by what the owner keeps submitted. Destruction stops the
// readers after the read each is doing and joins them all.
//
// The readers work only while reads are slow. Over files in the page
// cache a read costs a few microseconds, less than handing it to another
// thread and back; there the owner reads each file itself at its turn, as
// the serial run does. A read slower than kSlowRead (on average, recent
// reads weighing most) wakes the readers; fast reads put them back to
// sleep.
class ReadAheadPool {
 public:
  // Up to `readers` threads, started when reads turn out slow; fewer when
  // the system refuses more, none and the owner reads every file.
  // `recent_read_us`: what the owner's reads have taken lately.
  // `read_id3v2` as for ReadMedia.
  ReadAheadPool(Env& env, int32_t readers, bool read_id3v2, double recent_read_us = 0);
  ~ReadAheadPool();
  ReadAheadPool(const ReadAheadPool&) = delete;
  ReadAheadPool& operator=(const ReadAheadPool&) = delete;

  // Threads running (the owner's view; 0 until reads were slow).
  int32_t readers() const { return int32_t(threads_.size()); }

  // Queues a file; while reads are slow the readers start on what is
  // queued at WakeReaders (once per batch, not once per file).
  void Submit(std::string path, bool wants_media);
  void WakeReaders();
  // The record of the oldest submitted file not yet taken. While reads are
  // fast and no reader has started it, the calling thread reads it itself;
  // otherwise it waits for the readers and calls `idle` between waits of
  // at most kIdleInterval.
  MediaRecord TakeOldest(const std::function<void()>& idle);

  static constexpr std::chrono::milliseconds kIdleInterval{20};
  static constexpr std::chrono::microseconds kSlowRead{50};
  // How much the latest read counts in the moving average of read times,
  // and the most one read counts as: one hiccup, however long (the process
  // put aside for another, a journal commit), does not make reads slow; a
  // few slow reads in a row do.
  static constexpr double kRecentWeight = 1.0 / 8;
  static constexpr double kMostCountedUs = 4.0 * double(kSlowRead.count());
  static double RecentReadUs(double recent_us, double read_us) {
    return recent_us + (std::min(read_us, kMostCountedUs) - recent_us) * kRecentWeight;
  }

 private:
  struct Job {
    std::string path;
    bool wants_media = false;
    bool done = false;
    MediaRecord record;
  };

  void StartReaders();
  bool OwnerReadsNext() const;
  MediaRecord ReadOldestHere(std::unique_lock<std::mutex>& lock);
  void Work();
  void StopAndJoin();
  // Reads a job's file, timing the read into recent_read_us_.
  MediaRecord Read(const Job& job);
  bool ReadsAreSlow() const { return recent_read_us_ >= double(kSlowRead.count()); }

  Env& env_;
  const int32_t readers_;
  const bool read_id3v2_;
  bool started_ = false;  // the owner's only
  std::mutex mutex_;
  std::condition_variable work_ready_;  // a job was submitted, or stop
  std::condition_variable job_done_;
  std::deque<std::unique_ptr<Job>> jobs_;  // oldest first
  size_t next_to_start_ = 0;               // index in jobs_
  bool owner_waiting_ = false;
  bool stopping_ = false;
  double recent_read_us_ = 0;  // moving average of read times; under mutex_
  std::vector<std::thread> threads_;
};

}  // namespace quorbel
