// Index search and find answering: the two commands that answer other
// users from the files of the last generation run.
//
// Both answer from the copy of their file that the engine keeps in memory
// (serve_lookup_cache.h) when the file on disk is unchanged, and otherwise read
// the file, only as far as the answer needs, keeping it when read whole.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "command.h"
#include "engine_text.h"
#include "quorbel_oob.h"
#include "serve_lookup_cache.h"
#include "serve_lookup_text.h"

namespace quorbel {

namespace {

// Closes the request's file when the request ends, however it ends.
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using OpenedFile = std::unique_ptr<std::FILE, FileCloser>;

// --- index search -------------------------------------------------------------

const std::string kSearchTag = CommandTag(CommandId::ZOQ_SearchFile);

std::string SearchAnswer(std::string_view line) {
  return reply::DataTagFirst(kSearchTag, IndexPath(line));
}

bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }

// Where the line starting at `begin` ends; npos when its end is not read yet.
size_t LineEnd(std::string_view text, size_t begin, bool at_end) {
  const auto end = std::find_if(text.begin() + begin, text.end(), IsLineEnd);
  if (end == text.end()) return at_end ? text.size() : std::string_view::npos;
  return size_t(end - text.begin());
}

// A name holding SEP or a line end is never the name of any index line.
bool CanBeAName(const std::string& key) {
  return key.find_first_of(std::string{kSep, '\n', '\r'}) == std::string::npos;
}

// Line by line, for the empty name (which lines without SEP have too) and
// for keys that no line can have as its name.
std::optional<std::string> ScanIndexLines(SnapshotReader& reader, const std::string& key) {
  size_t next = 0;
  while (reader.ReadMore()) {
    reader.SplitLines();
    const FileSnapshot& read = reader.snapshot();
    for (; next < read.lines.size(); ++next) {
      const std::string_view line = read.Line(next);
      if (IndexName(line) == key && IndexLineUsable(line)) return SearchAnswer(line);
    }
    if (!reader.keeps_all()) {
      reader.ForgetLines();
      next = 0;
    }
  }
  return std::nullopt;
}

// The first line of `text` from `from` on that starts with `needle` (a name
// and SEP) and can answer. Sets `*resume` where to go on once more text is
// read: a hit whose line end is not read yet, or the last bytes, where a
// hit may begin.
std::optional<std::string> SeekInText(std::string_view text, size_t from, bool at_end,
                                      const Literal& needle, size_t* resume) {
  for (size_t hit; (hit = needle.FindIn(text, from)) != std::string_view::npos; from = hit + 1) {
    if (hit > 0 && !IsLineEnd(text[hit - 1])) continue;
    const size_t end = LineEnd(text, hit, at_end);
    if (end == std::string_view::npos) {
      *resume = hit;
      return std::nullopt;
    }
    const std::string_view line = text.substr(hit, end - hit);
    if (IndexLineUsable(line)) return SearchAnswer(line);
  }
  *resume = std::max(from, text.size() - std::min(text.size(), needle.size() - 1));
  return std::nullopt;
}

// For any other name: the name followed by SEP at the start of a line,
// found without splitting the text into lines.
std::optional<std::string> SeekIndexName(SnapshotReader& reader, const std::string& key) {
  const std::string name_and_sep = key + kSep;
  std::optional<Literal> needle;  // chosen from the first piece's bytes
  size_t from = 0;
  while (reader.ReadMore()) {
    if (!needle) needle.emplace(name_and_sep, reader.snapshot().byte_counts);
    const std::string_view text = reader.snapshot().text;
    if (auto answer = SeekInText(text, from, reader.AtEnd(), *needle, &from)) return answer;
    if (!reader.keeps_all() && from > 1) {
      reader.Forget(from - 1);  // the byte before stays: it tells a line's start
      from = 1;
    }
  }
  return std::nullopt;
}

// The answer from an index read whole but not split into lines.
std::string SearchWholeText(const FileSnapshot& read, const std::string& key) {
  const std::string_view text = read.text;
  std::optional<std::string> answer;
  if (!key.empty() && CanBeAName(key)) {
    const std::string name_and_sep = key + kSep;
    size_t unused;
    answer = SeekInText(text, 0, true, Literal(name_and_sep, read.byte_counts), &unused);
  } else {
    std::vector<LineSpan> lines;
    LineSplitter().Split(text, true, &lines);
    for (size_t i = 0; i < lines.size() && !answer; ++i) {
      const std::string_view line = text.substr(lines[i].begin, lines[i].end - lines[i].begin);
      if (IndexName(line) == key && IndexLineUsable(line)) answer = SearchAnswer(line);
    }
  }
  return answer ? *answer : reply::Status(reply::kNothingFound, kSearchTag);
}

// Reads the index from its start up to the first line that answers `key`;
// a file read to its end is offered to the cache.
std::string ReadIndexFor(LookupCache& cache, Env& env, const std::string& path,
                         std::FILE* file, const LookupCache::Probe& probe,
                         const std::string& key) {
  SnapshotReader reader(file, path, Folding::kKeepCase, probe.stamp.size,
                        LookupCache::MayKeep(probe));
  const bool seek = !key.empty() && CanBeAName(key);
  if (auto answer = seek ? SeekIndexName(reader, key) : ScanIndexLines(reader, key)) {
    return *answer;
  }
  cache.Keep(env, LookupCache::kIndex, path, file, probe, reader);
  return reply::Status(reply::kNothingFound, kSearchTag);
}

// --- find answering -------------------------------------------------------------

const std::string kFindTag = CommandTag(CommandId::ZOQ_At_Find);

// The scan stops once this many entries are held; one more than is sent, so
// the count tells the requester that more matches exist.
constexpr size_t kMostGathered = 6;
constexpr size_t kMostSent = names::kFindEntriesSent;
constexpr size_t kDataCapacity = reply::kBufferCapacity;
constexpr size_t kBothCapacity = 2 * reply::kBufferCapacity;
// Put into the second buffer when an entry does not fit whole into both.
constexpr char kOverflowMark = names::kFindCutMark;
constexpr char kFileLineMark = '!';
constexpr char kWildcard = '*';

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
bool Matches(TZOQ_Quorbel& engine, std::string_view line,
             const std::vector<std::string>& segments) {
  size_t from = 0;
  for (const std::string& segment : segments) {
    engine.PumpMessages();
    const size_t at = line.find(segment, from);
    if (at == std::string_view::npos) return false;
    from = at + segment.size();
  }
  return true;
}

// What a matching file line contributes: the part after the nick, squeezed
// and trimmed, closed by SEP.
std::string EntryOf(std::string_view line) {
  const size_t space = line.find(' ');
  const std::string rest(space == std::string_view::npos ? line : line.substr(space + 1));
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

// Goes through lower-cased list lines in file order, gathering the entries
// of the file lines that match, until enough are held. A line can only
// match if it holds every segment of the pattern, so the search for one of
// them runs over the whole text and the lines before its next occurrence
// are passed over without a look of their own. That segment is the one
// whose rarest byte the list holds least often (the longer one of two
// alike), so that common letters cost no more than rare ones.
class FindScan {
 public:
  FindScan(TZOQ_Quorbel& engine, const std::string& lowered_pattern)
      : engine_(engine), segments_(Segments(lowered_pattern)), found_(engine.env()) {}

  FindScan(const FindScan&) = delete;  // literal_ looks into segments_
  FindScan& operator=(const FindScan&) = delete;

  bool Done() const { return found_.entries().size() >= kMostGathered; }
  const std::vector<std::string>& entries() const { return found_.entries(); }

  // Scans lines from `first` on; returns the first line not looked at.
  size_t Run(const FileSnapshot& read, size_t first) {
    if (!literal_chosen_) ChooseLiteral(read.byte_counts);
    const size_t count = read.lines.size();
    size_t i = first;
    while (i < count && !Done()) {
      if (literal_) {
        const std::string_view text =
            std::string_view(read.text).substr(0, read.lines[count - 1].end);
        const size_t hit = literal_->FindIn(text, read.lines[i].begin);
        const size_t last = hit == std::string_view::npos ? count : LineHolding(read, i, hit);
        for (; i < last; ++i) engine_.PumpMessages();  // one pump for each line passed over
        if (i == count) break;
      }
      engine_.PumpMessages();
      Consider(read.Line(i));
      ++i;
    }
    return i;
  }

 private:
  // Once, from the bytes read so far: on a first request after a new list,
  // those of its first piece.
  void ChooseLiteral(const ByteCounts& counts) {
    literal_chosen_ = true;
    for (const std::string& segment : segments_) {
      const Literal candidate(segment, counts);
      if (!literal_ || candidate.candidates() < literal_->candidates() ||
          (candidate.candidates() == literal_->candidates() && candidate.size() > literal_->size())) {
        literal_.emplace(candidate);
      }
    }
  }

  // The line in which the byte at `offset` lies, at or after line `from`.
  static size_t LineHolding(const FileSnapshot& read, size_t from, size_t offset) {
    auto after = std::upper_bound(read.lines.begin() + from, read.lines.end(), offset,
                                  [](size_t at, const LineSpan& line) { return at < line.begin; });
    return size_t(after - read.lines.begin()) - 1;
  }

  // An entry still holding a NUL byte would end the host's reply there; the
  // line is passed over as if it did not match.
  void Consider(std::string_view line) {
    if (line.empty() || line.front() != kFileLineMark) return;
    if (!Matches(engine_, line, segments_)) return;
    std::string entry = EntryOf(line);
    if (entry.find('\0') != std::string::npos) return;
    found_.Add(std::move(entry));
  }

  TZOQ_Quorbel& engine_;
  const std::vector<std::string> segments_;
  std::optional<Literal> literal_;
  bool literal_chosen_ = false;
  SortedEntries found_;
};

// Reads the list from its start until enough entries are held; a list read
// to its end is offered to the cache.
void ReadListFor(LookupCache& cache, Env& env, const std::string& path, std::FILE* file,
                 const LookupCache::Probe& probe, FindScan* scan) {
  SnapshotReader reader(file, path, Folding::kLowerAscii, probe.stamp.size,
                        LookupCache::MayKeep(probe));
  size_t next = 0;
  while (!scan->Done() && reader.ReadMore()) {
    reader.SplitLines();
    next = scan->Run(reader.snapshot(), next);
    if (!reader.keeps_all()) {
      reader.ForgetLines();
      next = 0;
    }
  }
  if (reader.AtEnd()) cache.Keep(env, LookupCache::kList, path, file, probe, reader);
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
  OpenedFile index(env.FileExists(path) ? env.OpenFile(path, "rb") : nullptr);
  if (!index) return reply::Status(reply::kNotFound, kSearchTag);
  LookupCache& cache = engine.lookup_cache();
  const LookupCache::Probe probe = cache.Look(env, LookupCache::kIndex, path, index.get());
  if (!probe.kept) return ReadIndexFor(cache, env, path, index.get(), probe, key);
  index.reset();
  // A copy compared while young is not prepared for lookups by name.
  if (probe.kept->name_slots.empty()) return SearchWholeText(*probe.kept, key);
  const int64_t line = FindName(*probe.kept, key);
  if (line < 0) return reply::Status(reply::kNothingFound, kSearchTag);
  return SearchAnswer(probe.kept->Line(size_t(line)));
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
  OpenedFile list(env.OpenFile(path, "rb"));
  if (!list) return Reply(reply::Status(reply::kNotFound, kFindTag) + " fileassign");
  std::string lowered = pattern;
  LowerAscii(lowered.data(), lowered.size());
  FindScan scan(engine, lowered);
  // Held by this request: a nested request may replace what the cache keeps.
  LookupCache& cache = engine.lookup_cache();
  const LookupCache::Probe probe = cache.Look(env, LookupCache::kList, path, list.get());
  if (probe.kept) {
    list.reset();
    scan.Run(*probe.kept, 0);
  } else {
    ReadListFor(cache, env, path, list.get(), probe, &scan);
    list.reset();
  }
  if (scan.entries().empty()) return Reply(reply::Status(reply::kNothingFound, kFindTag));
  return PlaceEntries(engine, scan.entries());
}

}  // namespace quorbel
