#include "send_queue.h"

#include <algorithm>

#include "request.h"

namespace serve {

namespace {

bool SameAsker(const Send& a, const Send& b) {
  return a.server == b.server && SameNick(a.nick, b.nick);
}

bool SameSend(const Send& a, const Send& b) { return SameAsker(a, b) && a.path == b.path; }

}  // namespace

size_t SendQueue::WaitingOf(const Send& send) const {
  return size_t(std::count_if(waiting_.begin(), waiting_.end(),
                              [&](const Send& held) { return SameAsker(held, send); }));
}

SendQueue::Outcome SendQueue::Add(const Send& send, const Limits& limits, size_t* place) {
  auto same = [&](const Send& held) { return SameSend(held, send); };
  if (std::any_of(waiting_.begin(), waiting_.end(), same) ||
      std::any_of(running_.begin(), running_.end(), same)) {
    return Outcome::kAlreadyAsked;
  }
  if (WaitingOf(send) >= limits.queue_per_user) return Outcome::kUserFull;
  if (waiting_.size() >= limits.queue_size) return Outcome::kQueueFull;
  waiting_.push_back(send);
  if (place != nullptr) *place = waiting_.size();
  return Outcome::kQueued;
}

std::vector<Send> SendQueue::Start(const Limits& limits) {
  std::vector<Send> started;
  while (!waiting_.empty() && running_.size() < limits.slots) {
    running_.push_back(waiting_.front());
    started.push_back(waiting_.front());
    waiting_.pop_front();
  }
  return started;
}

bool SendQueue::Finished(const std::string& server, const std::string& nick,
                         const std::string& path) {
  const Send ended{server, nick, "", path};
  auto it = std::find_if(running_.begin(), running_.end(),
                         [&](const Send& held) { return SameSend(held, ended); });
  if (it == running_.end()) return false;
  running_.erase(it);
  return true;
}

}  // namespace serve
