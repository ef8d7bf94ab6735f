#include "list_readahead.h"

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

namespace quorbel {


MediaRecord ReadMedia(Env& env, const std::string& path, bool wants_media, bool read_id3v2) {
  MediaRecord record;
  record.reader = std::make_unique<TMP3Information>(env);
  record.reader->ReadId3v2 = read_id3v2;
  if (wants_media) {
    record.have_media = record.reader->SetFileNameAndRead(path);
  } else {
    record.reader->SetFileName(path);
  }
  return record;
}

int32_t ReadersFromEnvironment() {
  const char* text = std::getenv("QUORBEL_READERS");
  if (text == nullptr || *text == '\0') return kDefaultReaders;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (*end != '\0' || value < 1) return kDefaultReaders;
  return int32_t(value > kMostReaders ? kMostReaders : value);
}

ReadAheadPool::ReadAheadPool(Env& env, int32_t readers, bool read_id3v2, double recent_read_us)
    : env_(env), readers_(readers), read_id3v2_(read_id3v2), recent_read_us_(recent_read_us) {}

// On the owner's thread, at the first slow read: a run over cached files
// starts no thread at all.
void ReadAheadPool::StartReaders() {
  if (started_) return;
  started_ = true;
  threads_.reserve(size_t(readers_));
  try {
    for (int32_t i = 0; i < readers_; ++i) threads_.emplace_back([this] { Work(); });
  } catch (const std::system_error&) {
    // The threads that did start serve; with none the owner reads alone.
  }
}

ReadAheadPool::~ReadAheadPool() { StopAndJoin(); }

void ReadAheadPool::StopAndJoin() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  work_ready_.notify_all();
  for (std::thread& thread : threads_) thread.join();
  threads_.clear();
}

void ReadAheadPool::Submit(std::string path, bool wants_media) {
  auto job = std::make_unique<Job>();
  job->path = std::move(path);
  job->wants_media = wants_media;
  std::lock_guard<std::mutex> lock(mutex_);
  jobs_.push_back(std::move(job));
}

void ReadAheadPool::WakeReaders() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!ReadsAreSlow()) return;
  lock.unlock();
  StartReaders();
  work_ready_.notify_all();
}

bool ReadAheadPool::OwnerReadsNext() const {
  return next_to_start_ == 0 && (!ReadsAreSlow() || threads_.empty());
}

MediaRecord ReadAheadPool::TakeOldest(const std::function<void()>& idle) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (jobs_.empty()) throw std::logic_error("No file is being read ahead");
  for (;;) {
    if (jobs_.front()->done) {
      MediaRecord record = std::move(jobs_.front()->record);
      jobs_.pop_front();
      --next_to_start_;  // a finished job was started
      return record;
    }
    if (OwnerReadsNext()) return ReadOldestHere(lock);
    if (next_to_start_ == 0) work_ready_.notify_all();  // no reader has it yet
    owner_waiting_ = true;
    const bool ready = job_done_.wait_for(
        lock, kIdleInterval, [this] { return jobs_.front()->done || OwnerReadsNext(); });
    owner_waiting_ = false;
    if (!ready) {
      lock.unlock();
      idle();  // the host's messages, Stop included, while the disk answers
      lock.lock();
    }
  }
}

// The oldest file, which no reader has started, read on the owner's thread.
MediaRecord ReadAheadPool::ReadOldestHere(std::unique_lock<std::mutex>& lock) {
  std::unique_ptr<Job> job = std::move(jobs_.front());
  jobs_.pop_front();
  lock.unlock();
  MediaRecord record = Read(*job);
  lock.lock();
  const bool slow = ReadsAreSlow();
  lock.unlock();
  if (slow) {  // the readers take the rest
    StartReaders();
    work_ready_.notify_all();
  }
  return record;
}

MediaRecord ReadAheadPool::Read(const Job& job) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  MediaRecord record;
  try {
    record = ReadMedia(env_, job.path, job.wants_media, read_id3v2_);
  } catch (...) {
    record.failure = std::current_exception();  // raised by the owner at the file's turn
  }
  const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
  std::lock_guard<std::mutex> lock(mutex_);
  recent_read_us_ = RecentReadUs(recent_read_us_, us);
  return record;
}

void ReadAheadPool::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    work_ready_.wait(lock, [this] {
      return stopping_ || (ReadsAreSlow() && next_to_start_ < jobs_.size());
    });
    if (stopping_) return;
    Job& job = *jobs_[next_to_start_++];
    lock.unlock();
    MediaRecord record = Read(job);
    lock.lock();
    job.record = std::move(record);
    job.done = true;
    if (owner_waiting_) job_done_.notify_one();
  }
}

}  // namespace quorbel
