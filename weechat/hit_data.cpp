#include "hit_data.h"

#include <cstdint>
#include <limits>

namespace serve {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
// The chart reads counts as 32-bit numbers.
constexpr int64_t kMostHits = std::numeric_limits<int32_t>::max();

// The count of a line's text after its blank, or -1 when it is no count.
int64_t CountOf(std::string_view text) {
  if (text.empty() || text.size() > 10) return -1;
  int64_t count = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    count = count * 10 + (c - '0');
  }
  return count;
}

}  // namespace

std::string AddHit(std::string_view text, std::string_view name) {
  std::string key(name);
  for (char& c : key) {
    if (c == ' ') c = ':';
  }
  std::string out;
  bool found = false;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    const size_t blank = line.find(' ');
    if (!found && line.substr(0, blank) == key) {
      found = true;
      // A count that is no number starts again at this download.
      const int64_t count =
          blank == std::string_view::npos ? -1 : CountOf(line.substr(blank + 1));
      out += key + " " + std::to_string(count < 0 ? 1 : std::min(count + 1, kMostHits));
    } else {
      out += line;
    }
    out += kLineEnd;
  }
  if (!found) out += key + " 1" + std::string(kLineEnd);
  return out;
}

std::string ChartLineText(std::string_view line) {
  std::string out;
  for (char c : line) {
    if (c != '\r' && c != '\n' && c != '\0' && c != '\x01') out += c;
  }
  return out;
}

}  // namespace serve
