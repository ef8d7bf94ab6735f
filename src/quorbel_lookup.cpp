// Index search and find answering: the two commands that answer other
// users from the files of the last generation run.
#include <algorithm>
#include <string_view>
#include <vector>

#include "command.h"
#include "quorbel_oob.h"
#include "quorbel_text.h"
#include "textfile.h"

namespace quorbel {

namespace {

// --- index search -------------------------------------------------------------

const std::string kSearchTag = reply::Tag("ZOQ_SearchFile");

// The full path an index line gives for `key`: the text after the first SEP
// followed by the text before it; empty when the line's name is not `key`.
// A line without SEP has an empty name and the whole line as its directory.
std::string PathForKey(std::string_view line, std::string_view key) {
  const size_t sep = line.find(kSep);
  const bool has_sep = sep != std::string_view::npos;
  const std::string_view name = has_sep ? line.substr(0, sep) : std::string_view();
  if (name != key) return {};
  const std::string_view directory = has_sep ? line.substr(sep + 1) : line;
  std::string path(directory);
  path += name;
  return path;
}

// --- find answering -------------------------------------------------------------

const std::string kFindTag = reply::Tag("ZOQ_At_Find");

// The scan stops once this many entries are held; one more than is sent, so
// the count tells the requester that more matches exist.
constexpr size_t kMostGathered = 6;
constexpr size_t kMostSent = 5;
constexpr size_t kDataCapacity = reply::kBufferCapacity;
constexpr size_t kBothCapacity = 2 * reply::kBufferCapacity;
// Put into the second buffer when an entry does not fit whole into both.
constexpr char kOverflowMark = char(245);
constexpr char kFileLineMark = '!';
constexpr char kWildcard = '*';

// A to Z only; written without a branch so that the compiler can do many
// bytes at once, as every line of a long list passes through here.
void LowerAscii(std::string* text) {
  constexpr unsigned char kLetters = 'Z' - 'A' + 1;
  constexpr char kToLower = 'a' - 'A';
  for (char& c : *text) {
    c = char(c + (static_cast<unsigned char>(c - 'A') < kLetters ? kToLower : 0));
  }
}

// The pieces between the wildcards, empty ones left out.
std::vector<std::string> Segments(const std::string& pattern) {
  std::vector<std::string> segments;
  size_t start = 0;
  while (start <= pattern.size()) {
    size_t end = pattern.find(kWildcard, start);
    if (end == std::string::npos) end = pattern.size();
    if (end > start) segments.push_back(pattern.substr(start, end - start));
    start = end + 1;
  }
  return segments;
}

// Every segment in order, each after the end of the one before it.
bool Matches(TZOQ_Quorbel& engine, const std::string& line,
             const std::vector<std::string>& segments) {
  size_t from = 0;
  for (const std::string& segment : segments) {
    engine.PumpMessages();
    const size_t at = line.find(segment, from);
    if (at == std::string::npos) return false;
    from = at + segment.size();
  }
  return true;
}

bool IsControlOrBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string Trim(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && IsControlOrBlank(text[begin])) ++begin;
  while (end > begin && IsControlOrBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// What a matching file line contributes: the part after the nick, squeezed
// and trimmed, closed by SEP.
std::string EntryOf(const std::string& line) {
  const size_t space = line.find(' ');
  const std::string rest = space == std::string::npos ? line : line.substr(space + 1);
  return Trim(TZOQ_Quorbel::Squeeze(rest)) + kSep;
}

// A list kept in the platform's text order; an entry that compares equal to
// one already held is dropped.
class SortedEntries {
 public:
  explicit SortedEntries(Env& env) : env_(env) {}

  void Add(std::string entry) {
    auto at = std::lower_bound(entries_.begin(), entries_.end(), entry,
                               [this](const std::string& held, const std::string& added) {
                                 return env_.CompareText(held, added) < 0;
                               });
    if (at != entries_.end() && env_.CompareText(*at, entry) == 0) return;
    entries_.insert(at, std::move(entry));
  }

  const std::vector<std::string>& entries() const { return entries_; }

 private:
  Env& env_;
  std::vector<std::string> entries_;
};

// Reads file lines until the end or until enough entries are held.
void Gather(TZOQ_Quorbel& engine, TextFile& list, const std::string& pattern,
            SortedEntries* found) {
  const std::vector<std::string> segments = Segments(pattern);
  std::string line;
  while (found->entries().size() < kMostGathered && list.ReadLine(&line)) {
    engine.PumpMessages();
    if (line.empty() || line.front() != kFileLineMark) continue;
    LowerAscii(&line);
    if (Matches(engine, line, segments)) found->Add(EntryOf(line));
  }
}

// Splits the first entries over the data buffer (900 characters, reply
// opening included) and the second buffer (the next 900).
FindAnswer PlaceEntries(TZOQ_Quorbel& engine, const std::vector<std::string>& entries) {
  FindAnswer answer;
  answer.data = reply::DataTagFirst(kFindTag, std::to_string(entries.size())) + kSep;
  std::string second;
  size_t running = answer.data.size();
  const size_t sent = std::min(entries.size(), kMostSent);
  for (size_t i = 0; i < sent; ++i) {
    const std::string& entry = entries[i];
    if (running <= kDataCapacity) {
      const size_t room = kDataCapacity - running;
      answer.data += entry.substr(0, room);
      if (entry.size() > room) {
        // A remainder too long for the second buffer is marked as cut, the
        // same way as a later entry that does not fit.
        if (running + entry.size() <= kBothCapacity) {
          second += entry.substr(room);
        } else {
          second.assign(1, kOverflowMark);
        }
      }
    } else if (running + entry.size() <= kBothCapacity) {
      second += entry;
    } else if (running < kBothCapacity) {
      second.assign(1, kOverflowMark);
    }
    running += entry.size();
    engine.PumpMessages();
  }
  answer.second = std::move(second);
  return answer;
}

FindAnswer Reply(std::string line) { return FindAnswer{std::move(line), std::nullopt}; }

}  // namespace

std::string SearchFileReply(TZOQ_Quorbel& engine, const std::string& key) {
  if (!engine.fread) return reply::Status(reply::kNoIniFile, kSearchTag);
  Env& env = engine.env();
  const std::string path = engine.IndexFile();
  TextFile index;
  if (!env.FileExists(path) || !index.Reset(env, path)) {
    return reply::Status(reply::kNotFound, kSearchTag);
  }
  std::string line;
  while (index.ReadLine(&line)) {
    std::string found = PathForKey(line, key);
    if (!found.empty()) return reply::DataTagFirst(kSearchTag, found);
  }
  return reply::Status(reply::kNothingFound, kSearchTag);
}

FindAnswer AtFindAnswer(TZOQ_Quorbel& engine, const std::string& pattern) {
  if (pattern.empty()) return Reply(reply::Status(reply::kTooFewArguments, kFindTag));
  if (!engine.fread) return Reply(reply::Status(reply::kNoIniFile, kFindTag));
  Env& env = engine.env();
  // Taken once: a command nested in the pumping may start a new list.
  const std::string path = engine.ListFile();
  if (!env.FileExists(path)) {
    return Reply(reply::Status(reply::kNotFound, kFindTag) + " fileexists " + path);
  }
  TextFile list;
  if (!list.Reset(env, path)) {
    return Reply(reply::Status(reply::kNotFound, kFindTag) + " fileassign");
  }
  std::string lowered = pattern;
  LowerAscii(&lowered);
  SortedEntries found(env);
  Gather(engine, list, lowered, &found);
  list.Close();
  if (found.entries().empty()) return Reply(reply::Status(reply::kNothingFound, kFindTag));
  return PlaceEntries(engine, found.entries());
}

}  // namespace quorbel
