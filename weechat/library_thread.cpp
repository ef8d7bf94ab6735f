#include "library_thread.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

namespace serve {

namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(250);

int StatusNumber(host::Library& library, const char* which) {
  return library.Call("ZOQ_Status", which).Number();
}

}  // namespace

LibraryThread::LibraryThread(
    std::vector<std::string> candidates,
    std::function<void(const std::string&, const std::string&)> opened) {
  if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) pipe_[0] = pipe_[1] = -1;
  thread_ = std::thread(&LibraryThread::Work, this, std::move(candidates), std::move(opened));
}

LibraryThread::~LibraryThread() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
    jobs_.clear();
  }
  stop_requested_ = true;
  wake_.notify_one();
  thread_.join();
  for (int fd : pipe_) {
    if (fd >= 0) close(fd);
  }
}

void LibraryThread::Post(Job job) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
}

void LibraryThread::RunAnswers() {
  char drained[256];
  while (read(pipe_[0], drained, sizeof drained) > 0) {
  }
  std::deque<Then> ready;
  {
    std::lock_guard lock(mutex_);
    ready.swap(answers_);
  }
  for (Then& then : ready) {
    if (then) then();
  }
}

void LibraryThread::Answer(Then then) {
  {
    std::lock_guard lock(mutex_);
    answers_.push_back(std::move(then));
  }
  const char ready = 1;
  // A full pipe already says there is something to read.
  [[maybe_unused]] const ssize_t written = write(pipe_[1], &ready, 1);
}

void LibraryThread::Work(std::vector<std::string> candidates,
                         std::function<void(const std::string&, const std::string&)> opened) {
  std::string path, error;
  std::unique_ptr<host::Library> library = host::Library::OpenFirst(candidates, &path, &error);
  Answer([opened, path, error] { opened(path, error); });
  if (!library) return;
  library_ = library.get();
  library->SetMessagePump(&LibraryThread::Pump, this);
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return quit_ || !jobs_.empty(); });
      if (quit_) break;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    stop_requested_ = false;
    busy_ = true;
    Then then = job(*library);
    busy_ = false;
    Answer(std::move(then));
  }
  library_ = nullptr;
  library.reset();  // UnloadDll on this thread, as every other call
}

void LibraryThread::Pump(void* self) { static_cast<LibraryThread*>(self)->OnPump(); }

// The library pumps while it works: a stop goes in here, nested as the
// client's script would send it, and the progress comes out.
void LibraryThread::OnPump() {
  if (in_pump_ || library_ == nullptr) return;
  in_pump_ = true;
  if (stop_requested_.exchange(false)) library_->Call("ZOQ_StopGenerate");
  const auto now = std::chrono::steady_clock::now();
  if (now >= next_progress_) {
    next_progress_ = now + kProgressInterval;
    files_ = StatusNumber(*library_, "Files");
    at_file_ = StatusNumber(*library_, "ActFile");
  }
  in_pump_ = false;
}

}  // namespace serve
