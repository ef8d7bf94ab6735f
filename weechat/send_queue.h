// The sends a server owes: at most `slots` at once, each user with a limit
// of waiting requests and the queue with a limit in all. Users take turns,
// so that one user's many requests cannot hold back everyone else's: each
// request is in a round, the user's first one in the round now being sent
// and each further one in the round after their one before; rounds go in
// order, and within a round requests go in the order they were made.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace serve {

struct Send {
  std::string server;
  std::string nick;
  std::string name;  // as the list shows it
  std::string path;  // the file on disk
  int failures = 0;  // sends of it that failed
  long long round = 0;     // set by the queue
  long long asked_at = 0;  // set by the queue: its place in the order asked
  std::string sent_to = {};  // the nick the running send was offered to
  bool counted = true;       // a file of the list, counted in the chart when done
};

struct Limits {
  size_t slots = 2;
  size_t queue_per_user = 3;
  size_t queue_size = 20;
  size_t sends_per_user = 1;  // sends of one user at once
};

class SendQueue {
 public:
  enum class Outcome { kQueued, kAlreadyAsked, kUserFull, kQueueFull };
  enum class Ended { kNotRunning, kDone, kRetried, kDropped };

  // Queues a send; `place` (when not null) gets its place among those
  // waiting, 1 for the next to start.
  Outcome Add(const Send& send, const Limits& limits, size_t* place);
  // Takes the waiting sends that free slots allow, in turn, passing over
  // users who have all the sends they may have; they count as running until
  // Finished.
  std::vector<Send> Start(const Limits& limits);
  // A running send of `nick` for the file `path` on `server` ended. A failed
  // one is put back once at the front of its user's requests (within the
  // limits), then dropped; `send` (when not null) gets it.
  Ended Finished(const std::string& server, const std::string& nick, const std::string& path,
                 bool done, const Limits& limits, Send* send = nullptr);

  // A send found going on (in xfer) when the queue was restored: it counts
  // as running from now on.
  void Adopt(Send send);

  // The waiting sends in the order they will start.
  std::vector<Send> Waiting() const;
  // The sends going on, then those waiting in order.
  std::vector<Send> All() const;
  // The places (from 1) of a user's waiting sends.
  std::vector<size_t> PlacesOf(const std::string& server, const std::string& nick) const;
  // Takes a user's waiting sends out; how many there were.
  size_t RemoveUser(const std::string& server, const std::string& nick);
  // The waiting sends of `from` become those of `to` (a nick change).
  void RenameUser(const std::string& server, const std::string& from, const std::string& to,
                  const Limits& limits);
  // Takes out the waiting send at `place` (from 1); false when there is none.
  bool RemoveAt(size_t place);
  void ClearWaiting() { waiting_.clear(); }

  size_t waiting_count() const { return waiting_.size(); }
  const std::vector<Send>& running() const { return running_; }

 private:
  static std::string Key(const std::string& server, const std::string& nick);
  size_t WaitingOf(const std::string& server, const std::string& nick) const;
  size_t RunningOf(const std::string& server, const std::string& nick) const;
  void Queue(Send send);

  std::vector<Send> waiting_;  // in the order asked
  std::vector<Send> running_;
  // The round of each user's latest request; forgotten once the round now
  // being sent has passed it.
  std::map<std::string, long long> last_round_;
  long long round_ = 0;  // the round now being sent
  long long asked_ = 0;  // requests made so far
};

}  // namespace serve
