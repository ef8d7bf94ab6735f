#include "flood.h"

#include <algorithm>
#include <cctype>

namespace serve {

namespace {

constexpr long long kMinute = 60;
// Users remembered before those with nothing in force are forgotten: many
// nicks cannot make the table grow without end.
constexpr size_t kUsersKept = 1000;

char Lower(char c) { return char(std::tolower(static_cast<unsigned char>(c))); }

}  // namespace

bool FindTooShort(std::string_view pattern) {
  return size_t(std::count_if(pattern.begin(), pattern.end(), [](char c) { return c != '*'; })) <
         kShortestFind;
}

FloodGuard::User& FloodGuard::Of(const std::string& key, long long now, const FloodRules& rules) {
  if (users_.size() >= kUsersKept && users_.find(key) == users_.end()) {
    for (auto it = users_.begin(); it != users_.end();) {
      const User& user = it->second;
      const bool idle = now >= user.ignored_until &&
                        (!user.found || now - user.last_find >= rules.find_interval) &&
                        (user.asked.empty() || now - user.asked.back() >= kMinute);
      it = idle ? users_.erase(it) : std::next(it);
    }
  }
  return users_[key];
}

FloodGuard::Verdict FloodGuard::Check(User& user, bool beyond, long long now,
                                      const FloodRules& rules) {
  if (now < user.ignored_until) return Verdict::kIgnored;
  if (!beyond) return Verdict::kAnswer;
  user.ignored_until = now + rules.ignore_seconds;
  return Verdict::kIgnoreStarts;
}

FloodGuard::Verdict FloodGuard::Find(const std::string& key, long long now, const FloodRules& rules) {
  User& user = Of(key, now, rules);
  if (now < user.ignored_until) return Verdict::kIgnored;
  const bool beyond = user.found && now - user.last_find < rules.find_interval;
  if (!beyond) {
    user.found = true;
    user.last_find = now;
  }
  return Check(user, beyond, now, rules);
}

FloodGuard::Verdict FloodGuard::Request(const std::string& key, long long now,
                                        const FloodRules& rules) {
  User& user = Of(key, now, rules);
  if (now < user.ignored_until) return Verdict::kIgnored;
  while (!user.asked.empty() && now - user.asked.front() >= kMinute) user.asked.pop_front();
  const bool beyond = user.asked.size() >= rules.requests_per_minute;
  if (!beyond) user.asked.push_back(now);
  return Check(user, beyond, now, rules);
}

void FloodGuard::Rename(const std::string& from, const std::string& to) {
  auto it = users_.find(from);
  if (it == users_.end() || from == to) return;
  const User old = std::move(it->second);
  users_.erase(it);
  User& now = users_[to];
  now.ignored_until = std::max(now.ignored_until, old.ignored_until);
  if (old.found && (!now.found || old.last_find > now.last_find)) {
    now.found = true;
    now.last_find = old.last_find;
  }
  now.asked.insert(now.asked.end(), old.asked.begin(), old.asked.end());
  std::sort(now.asked.begin(), now.asked.end());
}

bool MaskMatches(std::string_view mask, std::string_view text) {
  // Greedy with one point to come back to: the last '*' seen.
  size_t m = 0, t = 0, star = std::string_view::npos, resume = 0;
  while (t < text.size()) {
    if (m < mask.size() && mask[m] == '*') {
      star = m++;
      resume = t;
    } else if (m < mask.size() && Lower(mask[m]) == Lower(text[t])) {
      ++m;
      ++t;
    } else if (star != std::string_view::npos) {
      m = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

bool AnyMaskMatches(std::string_view masks, std::string_view who) {
  while (!masks.empty()) {
    const size_t comma = masks.find(',');
    std::string_view mask = masks.substr(0, comma);
    masks = comma == std::string_view::npos ? std::string_view() : masks.substr(comma + 1);
    while (!mask.empty() && mask.front() == ' ') mask.remove_prefix(1);
    while (!mask.empty() && mask.back() == ' ') mask.remove_suffix(1);
    if (!mask.empty() && MaskMatches(mask, who)) return true;
  }
  return false;
}

}  // namespace serve
