#include "quorbel_readahead.h"

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

namespace quorbel {

MediaRecord ReadMedia(Env& env, const std::string& path, bool wants_media) {
  MediaRecord record;
  record.reader = std::make_unique<TMP3Information>(env);
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

ReadAheadPool::ReadAheadPool(Env& env, int32_t readers) : env_(env) {
  threads_.reserve(size_t(readers));
  try {
    for (int32_t i = 0; i < readers; ++i) threads_.emplace_back([this] { Work(); });
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
  {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  work_ready_.notify_one();
}

MediaRecord ReadAheadPool::TakeOldest(const std::function<void()>& idle) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (jobs_.empty()) throw std::logic_error("No file is being read ahead");
  while (!jobs_.front()->done) {
    if (job_done_.wait_for(lock, kIdleInterval, [this] { return jobs_.front()->done; })) break;
    lock.unlock();
    idle();  // the host's messages, Stop included, while the disk answers
    lock.lock();
  }
  MediaRecord record = std::move(jobs_.front()->record);
  jobs_.pop_front();
  --next_to_start_;  // a finished job was started
  return record;
}

void ReadAheadPool::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    work_ready_.wait(lock, [this] { return stopping_ || next_to_start_ < jobs_.size(); });
    if (stopping_) return;
    Job& job = *jobs_[next_to_start_++];
    lock.unlock();
    MediaRecord record;
    try {
      record = ReadMedia(env_, job.path, job.wants_media);
    } catch (...) {
      record.failure = std::current_exception();
    }
    lock.lock();
    job.record = std::move(record);
    job.done = true;
    job_done_.notify_one();  // only the owner waits
  }
}

}  // namespace quorbel
