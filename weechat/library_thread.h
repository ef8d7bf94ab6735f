// The library on a thread of the plug-in's own, so that WeeChat's thread
// never waits while a list is made, packed or searched. The library is
// opened, used and closed on that thread only; WeeChat's API is used on
// WeeChat's thread only. Jobs run one at a time in the order posted; each
// returns what WeeChat's thread is to do with its outcome, handed over
// through a pipe that WeeChat watches.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "library.h"

namespace serve {

class LibraryThread {
 public:
  using Then = std::function<void()>;                // on WeeChat's thread
  using Job = std::function<Then(host::Library&)>;  // on the library's thread

  // Opens the first of `candidates` that exists; `opened` runs on WeeChat's
  // thread with the path and an error text (empty when the library loaded).
  LibraryThread(std::vector<std::string> candidates,
                std::function<void(const std::string& path, const std::string& error)> opened);
  // Stops a running job, lets the thread finish and closes the library.
  ~LibraryThread();
  LibraryThread(const LibraryThread&) = delete;
  LibraryThread& operator=(const LibraryThread&) = delete;

  void Post(Job job);
  // The end of the pipe to watch; when it is readable, call RunAnswers.
  int answer_fd() const { return pipe_[0]; }
  void RunAnswers();

  // Asks the running job to stop, as a stop the user sends while it pumps.
  void RequestStop() { stop_requested_ = true; }
  bool busy() const { return busy_; }
  // What a long job has reached: files found, and the file being listed.
  int files() const { return files_; }
  int at_file() const { return at_file_; }

 private:
  void Work(std::vector<std::string> candidates,
            std::function<void(const std::string&, const std::string&)> opened);
  void Answer(Then then);
  static void Pump(void* self);
  void OnPump();

  int pipe_[2] = {-1, -1};
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;
  std::deque<Then> answers_;
  bool quit_ = false;
  std::atomic<bool> stop_requested_ = false;
  std::atomic<bool> busy_ = false;
  std::atomic<int> files_ = 0;
  std::atomic<int> at_file_ = 0;
  host::Library* library_ = nullptr;  // the library's thread only
  std::chrono::steady_clock::time_point next_progress_{};
  bool in_pump_ = false;
  std::thread thread_;
};

}  // namespace serve
