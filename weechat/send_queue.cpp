#include "send_queue.h"

#include <algorithm>

#include "request.h"

namespace serve {

namespace {

constexpr int kTries = 2;  // a failed send is tried once more

bool SameSend(const Send& a, const Send& b) {
  return a.server == b.server && SameNick(a.nick, b.nick) && a.path == b.path;
}

}  // namespace

SendQueue::User* SendQueue::Find(const std::string& server, const std::string& nick) {
  const std::string key = NickKey(nick);
  for (User& user : turns_) {
    if (user.server == server && user.key == key) return &user;
  }
  return nullptr;
}

const SendQueue::User* SendQueue::Find(const std::string& server, const std::string& nick) const {
  return const_cast<SendQueue*>(this)->Find(server, nick);
}

void SendQueue::DropEmpty() {
  turns_.erase(std::remove_if(turns_.begin(), turns_.end(),
                              [](const User& user) { return user.sends.empty(); }),
               turns_.end());
}

size_t SendQueue::waiting_count() const {
  size_t count = 0;
  for (const User& user : turns_) count += user.sends.size();
  return count;
}

SendQueue::Outcome SendQueue::Add(const Send& send, const Limits& limits, size_t* place) {
  auto same = [&](const Send& held) { return SameSend(held, send); };
  User* user = Find(send.server, send.nick);
  if ((user != nullptr && std::any_of(user->sends.begin(), user->sends.end(), same)) ||
      std::any_of(running_.begin(), running_.end(), same)) {
    return Outcome::kAlreadyAsked;
  }
  if (user != nullptr && user->sends.size() >= limits.queue_per_user) return Outcome::kUserFull;
  if (waiting_count() >= limits.queue_size) return Outcome::kQueueFull;
  if (user == nullptr) {
    turns_.push_back(User{send.server, NickKey(send.nick), {}});
    user = &turns_.back();
  }
  user->sends.push_back(send);
  user->sends.back().failures = 0;
  if (place != nullptr) *place = PlacesOf(send.server, send.nick).back();
  return Outcome::kQueued;
}

std::vector<Send> SendQueue::Start(const Limits& limits) {
  std::vector<Send> started;
  while (!turns_.empty() && running_.size() < limits.slots) {
    User user = std::move(turns_.front());
    turns_.pop_front();
    Send send = std::move(user.sends.front());
    user.sends.pop_front();
    send.sent_to = send.nick;
    running_.push_back(send);
    started.push_back(send);
    if (!user.sends.empty()) turns_.push_back(std::move(user));
  }
  return started;
}

SendQueue::Ended SendQueue::Finished(const std::string& server, const std::string& nick,
                                     const std::string& path, bool done, const Limits& limits,
                                     Send* send) {
  // xfer may know the user by the nick the send was offered to, or by the new one.
  auto it = std::find_if(running_.begin(), running_.end(), [&](const Send& held) {
    return held.server == server && held.path == path &&
           (SameNick(held.nick, nick) || SameNick(held.sent_to, nick));
  });
  if (it == running_.end()) return Ended::kNotRunning;
  Send ended = std::move(*it);
  running_.erase(it);
  if (send != nullptr) *send = ended;
  if (done) return Ended::kDone;
  if (++ended.failures >= kTries || waiting_count() >= limits.queue_size) return Ended::kDropped;
  User* user = Find(ended.server, ended.nick);
  if (user != nullptr && user->sends.size() >= limits.queue_per_user) return Ended::kDropped;
  if (user == nullptr) {
    turns_.push_back(User{ended.server, NickKey(ended.nick), {}});
    user = &turns_.back();
  }
  ended.sent_to.clear();
  user->sends.push_front(std::move(ended));
  return Ended::kRetried;
}

std::vector<Send> SendQueue::Waiting() const {
  std::vector<Send> order;
  for (size_t round = 0;; ++round) {
    bool any = false;
    for (const User& user : turns_) {
      if (round < user.sends.size()) {
        order.push_back(user.sends[round]);
        any = true;
      }
    }
    if (!any) return order;
  }
}

std::vector<size_t> SendQueue::PlacesOf(const std::string& server, const std::string& nick) const {
  std::vector<size_t> places;
  const std::vector<Send> order = Waiting();
  for (size_t i = 0; i < order.size(); ++i) {
    if (order[i].server == server && SameNick(order[i].nick, nick)) places.push_back(i + 1);
  }
  return places;
}

size_t SendQueue::RemoveUser(const std::string& server, const std::string& nick) {
  User* user = Find(server, nick);
  if (user == nullptr) return 0;
  const size_t count = user->sends.size();
  user->sends.clear();
  DropEmpty();
  return count;
}

void SendQueue::RenameUser(const std::string& server, const std::string& from,
                           const std::string& to, const Limits& limits) {
  for (Send& send : running_) {
    if (send.server == server && SameNick(send.nick, from)) send.nick = to;
  }
  User* old = Find(server, from);
  if (old == nullptr || SameNick(from, to)) {
    if (old != nullptr) {
      for (Send& send : old->sends) send.nick = to;
    }
    return;
  }
  std::deque<Send> moved = std::move(old->sends);
  old->sends.clear();
  User* now = Find(server, to);
  if (now == nullptr) {
    // The user keeps their turn under the new nick.
    old->key = NickKey(to);
    now = old;
  }
  for (Send& send : moved) {
    send.nick = to;
    const bool repeat = std::any_of(now->sends.begin(), now->sends.end(),
                                    [&](const Send& held) { return held.path == send.path; });
    if (!repeat && now->sends.size() < limits.queue_per_user) now->sends.push_back(send);
  }
  DropEmpty();
}

bool SendQueue::RemoveAt(size_t place) {
  const std::vector<Send> order = Waiting();
  if (place == 0 || place > order.size()) return false;
  const Send& gone = order[place - 1];
  User* user = Find(gone.server, gone.nick);
  auto it = std::find_if(user->sends.begin(), user->sends.end(),
                         [&](const Send& held) { return held.path == gone.path; });
  user->sends.erase(it);
  DropEmpty();
  return true;
}

}  // namespace serve
