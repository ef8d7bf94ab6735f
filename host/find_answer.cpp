#include "find_answer.h"

#include <cstdlib>

#include "ascii_text.h"
#include "list_files.h"

namespace host {

namespace {

constexpr const char* kFindData = "201 OK-DATA __ZOQ_At_Find__ ";

}  // namespace

std::vector<std::string> FindEntries(const Reply& reply, int* count) {
  std::string text = reply.data.substr(std::string(kFindData).size());
  if (!(reply.second.size() == 1 && reply.second[0] == quorbel::names::kFindCutMark)) {
    text += reply.second;
  }
  const size_t sep = text.find(kSep);
  *count = std::atoi(text.substr(0, sep).c_str());
  std::vector<std::string> entries;
  for (size_t pos = sep == std::string::npos ? text.size() : sep + 1; pos < text.size();) {
    size_t end = text.find(kSep, pos);
    if (end == std::string::npos) end = text.size();
    if (end > pos) entries.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return entries;
}

std::map<std::string, std::string> StoredCase(const std::string& list,
                                              const std::vector<std::string>& entries) {
  std::map<std::string, std::string> stored;
  size_t left = entries.size();
  for (const std::string& entry : entries) stored.emplace(entry, entry);
  std::map<std::string, bool> found;
  ForEachLine(list, [&](const std::string& line) {
    if (line.empty() || line[0] != '!') return true;
    const size_t blank = line.find(' ');
    std::string entry = SqueezeBlanks(blank == std::string::npos ? line : line.substr(blank + 1));
    const auto low = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!entry.empty() && low(entry.back())) entry.pop_back();
    size_t first = 0;
    while (first < entry.size() && low(entry[first])) ++first;
    entry.erase(0, first);
    auto hit = stored.find(LowerAscii(entry));
    if (hit != stored.end() && !found[hit->first]) {
      hit->second = entry;
      found[hit->first] = true;
      --left;
    }
    return left > 0;
  });
  return stored;
}

std::vector<std::string> FindLines(const Reply& reply, const std::string& list, int* count) {
  *count = 0;
  if (!reply.Ok()) return {};
  const std::vector<std::string> entries = FindEntries(reply, count);
  const std::map<std::string, std::string> stored = StoredCase(list, entries);
  std::vector<std::string> lines;
  for (const std::string& entry : entries) lines.push_back(stored.at(entry));
  return lines;
}

}  // namespace host
