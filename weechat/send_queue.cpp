#include "send_queue.h"

#include <algorithm>

#include "request.h"

namespace serve {

namespace {

constexpr int kTries = 2;  // a failed send is tried once more

bool SameUser(const Send& send, const std::string& server, const std::string& nick) {
  return send.server == server && SameNick(send.nick, nick);
}

bool SameSend(const Send& a, const Send& b) {
  return SameUser(a, b.server, b.nick) && a.path == b.path;
}

}  // namespace

std::string SendQueue::Key(const std::string& server, const std::string& nick) {
  return server + " " + NickKey(nick);
}

size_t SendQueue::WaitingOf(const std::string& server, const std::string& nick) const {
  return size_t(std::count_if(waiting_.begin(), waiting_.end(),
                              [&](const Send& held) { return SameUser(held, server, nick); }));
}

size_t SendQueue::RunningOf(const std::string& server, const std::string& nick) const {
  return size_t(std::count_if(running_.begin(), running_.end(),
                              [&](const Send& held) { return SameUser(held, server, nick); }));
}

// A new request's round: the round now being sent, or the one after the
// user's latest request, whichever is later.
void SendQueue::Queue(Send send) {
  const std::string key = Key(send.server, send.nick);
  auto last = last_round_.find(key);
  send.round = last == last_round_.end() ? round_ : std::max(round_, last->second + 1);
  send.asked_at = ++asked_;
  last_round_[key] = send.round;
  waiting_.push_back(std::move(send));
}

SendQueue::Outcome SendQueue::Add(const Send& send, const Limits& limits, size_t* place) {
  auto same = [&](const Send& held) { return SameSend(held, send); };
  if (std::any_of(waiting_.begin(), waiting_.end(), same) ||
      std::any_of(running_.begin(), running_.end(), same)) {
    return Outcome::kAlreadyAsked;
  }
  if (WaitingOf(send.server, send.nick) >= limits.queue_per_user) return Outcome::kUserFull;
  if (waiting_.size() >= limits.queue_size) return Outcome::kQueueFull;
  Send added = send;
  added.failures = 0;
  Queue(std::move(added));
  if (place != nullptr) *place = PlacesOf(send.server, send.nick).back();
  return Outcome::kQueued;
}

std::vector<Send> SendQueue::Start(const Limits& limits) {
  std::vector<Send> started;
  auto before = [](const Send& a, const Send& b) {
    return a.round != b.round ? a.round < b.round : a.asked_at < b.asked_at;
  };
  while (running_.size() < limits.slots) {
    auto next = waiting_.end();
    for (auto it = waiting_.begin(); it != waiting_.end(); ++it) {
      if ((next == waiting_.end() || before(*it, *next)) &&
          RunningOf(it->server, it->nick) < limits.sends_per_user) {
        next = it;
      }
    }
    if (next == waiting_.end()) break;
    Send send = std::move(*next);
    waiting_.erase(next);
    round_ = std::max(round_, send.round);
    send.sent_to = send.nick;
    running_.push_back(send);
    started.push_back(std::move(send));
  }
  // Users whose latest round has passed start afresh in the round now sent.
  for (auto it = last_round_.begin(); it != last_round_.end();) {
    it = it->second < round_ ? last_round_.erase(it) : std::next(it);
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
  if (++ended.failures >= kTries || waiting_.size() >= limits.queue_size ||
      WaitingOf(ended.server, ended.nick) >= limits.queue_per_user) {
    return Ended::kDropped;
  }
  // Back in its round, before the user's later requests, after those
  // asked meanwhile in that round.
  ended.sent_to.clear();
  ended.asked_at = ++asked_;
  waiting_.push_back(std::move(ended));
  return Ended::kRetried;
}

void SendQueue::Adopt(Send send) {
  send.sent_to = send.nick;
  running_.push_back(std::move(send));
}

std::vector<Send> SendQueue::All() const {
  std::vector<Send> all = running_;
  for (Send& send : Waiting()) all.push_back(std::move(send));
  return all;
}

std::vector<Send> SendQueue::Waiting() const {
  std::vector<Send> order = waiting_;
  std::sort(order.begin(), order.end(), [](const Send& a, const Send& b) {
    return a.round != b.round ? a.round < b.round : a.asked_at < b.asked_at;
  });
  return order;
}

std::vector<size_t> SendQueue::PlacesOf(const std::string& server, const std::string& nick) const {
  std::vector<size_t> places;
  const std::vector<Send> order = Waiting();
  for (size_t i = 0; i < order.size(); ++i) {
    if (SameUser(order[i], server, nick)) places.push_back(i + 1);
  }
  return places;
}

size_t SendQueue::RemoveUser(const std::string& server, const std::string& nick) {
  const size_t before = waiting_.size();
  waiting_.erase(std::remove_if(waiting_.begin(), waiting_.end(),
                                [&](const Send& held) { return SameUser(held, server, nick); }),
                 waiting_.end());
  // Gone without a send going on, the user leaves no round behind: a user
  // cycling through nicks cannot make the table grow.
  if (std::none_of(running_.begin(), running_.end(),
                   [&](const Send& held) { return SameUser(held, server, nick); })) {
    last_round_.erase(Key(server, nick));
  }
  return before - waiting_.size();
}

void SendQueue::RenameUser(const std::string& server, const std::string& from,
                           const std::string& to, const Limits& limits) {
  for (Send& send : running_) {
    if (SameUser(send, server, from)) send.nick = to;
  }
  if (auto last = last_round_.find(Key(server, from)); last != last_round_.end()) {
    const long long round = last->second;
    last_round_.erase(last);
    long long& now = last_round_[Key(server, to)];
    now = std::max(now, round);
  }
  // Merged into the requests the new nick has already, within its limit.
  size_t kept = SameNick(from, to) ? 0 : WaitingOf(server, to);
  for (auto it = waiting_.begin(); it != waiting_.end();) {
    if (!SameUser(*it, server, from)) {
      ++it;
      continue;
    }
    const std::string path = it->path;
    const bool repeat = !SameNick(from, to) && std::any_of(waiting_.begin(), waiting_.end(),
                                                           [&](const Send& held) {
                                                             return SameUser(held, server, to) &&
                                                                    held.path == path;
                                                           });
    if (repeat || kept >= limits.queue_per_user) {
      it = waiting_.erase(it);
    } else {
      it->nick = to;
      ++kept;
      ++it;
    }
  }
}

bool SendQueue::RemoveAt(size_t place) {
  const std::vector<Send> order = Waiting();
  if (place == 0 || place > order.size()) return false;
  const Send& gone = order[place - 1];
  waiting_.erase(std::find_if(waiting_.begin(), waiting_.end(),
                              [&](const Send& held) { return held.asked_at == gone.asked_at; }));
  return true;
}

}  // namespace serve
