// The sends a server owes: at most `slots` at once, each user with a limit
// of waiting requests and the queue with a limit in all. Users take turns:
// the next send is the first waiting request of the user whose turn it is,
// and a user whose send starts goes to the back of the turns, so one user's
// many requests cannot hold back everyone else's.
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
  int failures = 0;  // sends of it that failed
  std::string sent_to = {};  // the nick the running send was offered to
  bool counted = true;       // a file of the list, counted in the chart when done
};

struct Limits {
  size_t slots = 2;
  size_t queue_per_user = 3;
  size_t queue_size = 20;
};

class SendQueue {
 public:
  enum class Outcome { kQueued, kAlreadyAsked, kUserFull, kQueueFull };
  enum class Ended { kNotRunning, kDone, kRetried, kDropped };

  // Queues a send; `place` (when not null) gets its place among those
  // waiting, 1 for the next to start.
  Outcome Add(const Send& send, const Limits& limits, size_t* place);
  // Takes the waiting sends that free slots allow, in turn; they count as
  // running until Finished.
  std::vector<Send> Start(const Limits& limits);
  // A running send of `nick` for the file `path` on `server` ended. A failed
  // one is put back once at the front of its user's requests (within the
  // limits), then dropped; `send` (when not null) gets it.
  Ended Finished(const std::string& server, const std::string& nick, const std::string& path,
                 bool done, const Limits& limits, Send* send = nullptr);

  // The waiting sends in the order they will start.
  std::vector<Send> Waiting() const;
  // The places (from 1) of a user's waiting sends.
  std::vector<size_t> PlacesOf(const std::string& server, const std::string& nick) const;
  // Takes a user's waiting sends out; how many there were.
  size_t RemoveUser(const std::string& server, const std::string& nick);
  // The waiting sends of `from` become those of `to` (a nick change).
  void RenameUser(const std::string& server, const std::string& from, const std::string& to,
                  const Limits& limits);
  // Takes out the waiting send at `place` (from 1); false when there is none.
  bool RemoveAt(size_t place);
  void ClearWaiting() { turns_.clear(); }

  size_t waiting_count() const;
  const std::vector<Send>& running() const { return running_; }

 private:
  struct User {
    std::string server, key;  // key: the nick as NickKey gives it
    std::deque<Send> sends;
  };
  User* Find(const std::string& server, const std::string& nick);
  const User* Find(const std::string& server, const std::string& nick) const;
  void DropEmpty();

  std::deque<User> turns_;  // the users with waiting sends, whose turn first
  std::vector<Send> running_;
};

}  // namespace serve
