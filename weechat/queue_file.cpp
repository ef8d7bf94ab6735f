#include "queue_file.h"

#include <algorithm>

namespace serve {

namespace {

constexpr std::string_view kForm = "quorbel queue 1";
constexpr char kTab = '\t';
constexpr size_t kFields = 6;

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (size_t tab; (tab = line.find(kTab)) != std::string_view::npos; line.remove_prefix(tab + 1)) {
    fields.push_back(line.substr(0, tab));
  }
  fields.push_back(line);
  return fields;
}

bool Plain(std::string_view field) {
  return !field.empty() &&
         std::none_of(field.begin(), field.end(), [](char c) { return (unsigned char)c < 0x20; });
}

}  // namespace

std::string QueueFileText(const std::vector<Send>& sends) {
  std::string text = std::string(kForm) + "\n";
  for (const Send& send : sends) {
    for (const std::string& field : {send.server, send.nick, send.name, send.path}) {
      text += field + kTab;
    }
    text += std::to_string(send.failures) + kTab + (send.counted ? "1" : "0") + "\n";
  }
  return text;
}

std::vector<Send> ReadQueueFile(std::string_view text) {
  std::vector<Send> sends;
  const size_t first = text.find('\n');
  if (first == std::string_view::npos || text.substr(0, first) != kForm) return sends;
  text.remove_prefix(first + 1);
  while (!text.empty()) {
    const size_t end = text.find('\n');
    if (end == std::string_view::npos) break;  // a line cut short
    const std::vector<std::string_view> f = Fields(text.substr(0, end));
    text.remove_prefix(end + 1);
    if (f.size() != kFields || !std::all_of(f.begin(), f.end(), Plain) || f[4].size() != 1 ||
        f[4][0] < '0' || f[4][0] > '9' || (f[5] != "0" && f[5] != "1")) {
      continue;
    }
    Send send{std::string(f[0]), std::string(f[1]), std::string(f[2]), std::string(f[3])};
    send.failures = f[4][0] - '0';
    send.counted = f[5] == "1";
    sends.push_back(std::move(send));
  }
  return sends;
}

}  // namespace serve
