#include "hit_data.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

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

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += size_t(wrote);
  }
  return true;
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

std::string ReplaceFile(const std::string& folder, const std::string& name, const std::string& text) {
  const std::string path = folder + "/" + name;
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) return "cannot write in " + folder + ": " + std::strerror(errno);
  const bool written = WriteAll(fd, text) && fchmod(fd, 0644) == 0 && fsync(fd) == 0;
  const int error = errno;
  if (close(fd) != 0 || !written || rename(temp.c_str(), path.c_str()) != 0) {
    const std::string why = std::strerror(written ? errno : error);
    unlink(temp.c_str());
    return "cannot write " + path + ": " + why;
  }
  const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return "";
}

std::string ChartLineText(std::string_view line) {
  std::string out;
  for (char c : line) {
    if (c != '\r' && c != '\n' && c != '\0' && c != '\x01') out += c;
  }
  return out;
}

}  // namespace serve
