// Keeping hostile users from flooding the server: per-user rate limits on
// finds and on other requests, a time of being ignored for whoever goes
// beyond them, and masks of users never answered. Times are explicit
// seconds, so that the rules can be tested without a clock.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <string_view>

namespace serve {

// A find must hold this many characters that are not wildcards.
inline constexpr size_t kShortestFind = 3;
bool FindTooShort(std::string_view pattern);

struct FloodRules {
  long long find_interval = 5;       // seconds between two finds of a user
  size_t requests_per_minute = 10;   // other requests of a user in 60 s
  long long ignore_seconds = 300;    // how long one who goes beyond is ignored
};

class FloodGuard {
 public:
  enum class Verdict {
    kAnswer,       // within the limits
    kIgnoreStarts, // beyond them: tell the user, once, that they are ignored
    kIgnored,      // being ignored: no answer at all
  };
  // A find, or another request, of the user `key` at `now` (seconds).
  Verdict Find(const std::string& key, long long now, const FloodRules& rules);
  Verdict Request(const std::string& key, long long now, const FloodRules& rules);
  // A nick change: what counted against `from` counts against `to`, so a
  // new nick does not end the ignoring.
  void Rename(const std::string& from, const std::string& to);
  size_t users() const { return users_.size(); }

 private:
  struct User {
    bool found = false;          // a find was answered...
    long long last_find = 0;     // ...at this time
    std::deque<long long> asked; // times of the requests in the last minute
    long long ignored_until = 0;
  };
  Verdict Check(User& user, bool beyond, long long now, const FloodRules& rules);
  User& Of(const std::string& key, long long now, const FloodRules& rules);

  std::map<std::string, User> users_;
};

// `text` matches `mask` ("nick!user@host", '*' for any run of characters),
// letters compared without case.
bool MaskMatches(std::string_view mask, std::string_view text);
// `who` matches one of the comma-separated `masks`.
bool AnyMaskMatches(std::string_view masks, std::string_view who);

}  // namespace serve
