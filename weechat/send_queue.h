// The sends a server owes: at most `slots` at once, the rest waiting in
// the order they were asked for, each user with a limit of waiting
// requests and the queue with a limit in all.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

namespace serve {

struct Send {
  std::string server;
  std::string nick;
  std::string name;  // as the list shows it
  std::string path;  // the file on disk
};

struct Limits {
  size_t slots = 2;
  size_t queue_per_user = 3;
  size_t queue_size = 20;
};

class SendQueue {
 public:
  enum class Outcome { kQueued, kAlreadyAsked, kUserFull, kQueueFull };

  // Queues a send; `place` (when not null) gets its place among those
  // waiting, 1 for the next to start.
  Outcome Add(const Send& send, const Limits& limits, size_t* place);
  // Takes the waiting sends that free slots allow, in order; they count as
  // running until Finished.
  std::vector<Send> Start(const Limits& limits);
  // A running send of `nick` for the file `path` on `server` ended (done or
  // failed); false when none was running.
  bool Finished(const std::string& server, const std::string& nick, const std::string& path);

  const std::deque<Send>& waiting() const { return waiting_; }
  const std::vector<Send>& running() const { return running_; }

 private:
  size_t WaitingOf(const Send& send) const;

  std::deque<Send> waiting_;
  std::vector<Send> running_;
};

}  // namespace serve
