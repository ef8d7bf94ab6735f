#include "request.h"

#include <algorithm>

#include "list_text.h"

namespace serve {

namespace {

constexpr std::string_view kFindWord = "@find";
// A pasted list line: the name ends where its padding or its details begin.
constexpr std::string_view kInfoMark = " ::INFO:: ";
constexpr std::string_view kUtf8Nbsp = "\xC2\xA0";  // NBSP as a UTF-8 client sends it

char IrcLower(char c) {
  if (c >= 'A' && c <= '^') return char(c + ('a' - 'A'));  // A-Z and [\]^
  return c;
}

bool StartsWithNoCase(std::string_view text, std::string_view word) {
  if (text.size() < word.size()) return false;
  return std::equal(word.begin(), word.end(), text.begin(),
                    [](char a, char b) { return IrcLower(a) == IrcLower(b); });
}

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

// Why a name cannot be a file of the list, or empty when it can be.
std::string_view NameProblem(std::string_view name) {
  if (name.size() > kLongestName) return "that name is too long";
  if (std::any_of(name.begin(), name.end(), IsControl)) return "that name holds control characters";
  if (name.find('/') != std::string_view::npos || name.find('\\') != std::string_view::npos ||
      name.find("..") != std::string_view::npos) {
    return "ask for a file by its name, not by a path";
  }
  return {};
}

}  // namespace

bool SameNick(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StartsWithNoCase(a, b);
}

std::string_view ListLineName(std::string_view rest) {
  for (std::string_view end : {kInfoMark, kUtf8Nbsp, std::string_view(&quorbel::kNbsp, 1)}) {
    rest = rest.substr(0, rest.find(end));
  }
  return Trim(rest);
}

Asked ReadRequest(std::string_view text, std::string_view own_nick) {
  text = Trim(text);
  if (text.size() > kFindWord.size() && StartsWithNoCase(text, kFindWord) &&
      text[kFindWord.size()] == ' ') {
    const std::string_view pattern = Trim(text.substr(kFindWord.size()));
    if (pattern.empty()) return std::monostate{};
    if (pattern.size() > kLongestPattern || std::any_of(pattern.begin(), pattern.end(), IsControl)) {
      return Refused{"that search is too long or holds control characters"};
    }
    return FindRequest{std::string(pattern)};
  }
  if (text.size() == own_nick.size() + 1 && text[0] == '@' && SameNick(text.substr(1), own_nick)) {
    return ListRequest{};
  }
  if (text.size() > own_nick.size() + 1 && text[0] == '@' &&
      SameNick(text.substr(1, own_nick.size()), own_nick)) {
    const std::string_view verb = text.substr(own_nick.size() + 1);
    if (SameNick(verb, "-que")) return QueueAsk{};
    if (SameNick(verb, "-remove")) return RemoveAsk{};
  }
  if (text.size() > own_nick.size() + 2 && text[0] == '!' &&
      SameNick(text.substr(1, own_nick.size()), own_nick) && text[own_nick.size() + 1] == ' ') {
    const std::string_view name = ListLineName(text.substr(own_nick.size() + 2));
    if (name.empty()) return std::monostate{};
    if (std::string_view problem = NameProblem(name); !problem.empty()) {
      return Refused{std::string(problem)};
    }
    return FileRequest{std::string(name)};
  }
  return std::monostate{};
}

std::string NickKey(std::string_view nick) {
  std::string key(nick);
  for (char& c : key) c = IrcLower(c);
  return key;
}

std::string PlainText(std::string_view text) {
  std::string plain(text);
  std::replace_if(plain.begin(), plain.end(), IsControl, ' ');
  return plain;
}

}  // namespace serve
