#include "irc_line.h"

namespace serve {

namespace {

// The next word of `rest`, blanks before it passed over.
std::string_view NextWord(std::string_view& rest) {
  const size_t start = rest.find_first_not_of(' ');
  rest.remove_prefix(start == std::string_view::npos ? rest.size() : start);
  const size_t end = rest.find(' ');
  const std::string_view word = rest.substr(0, end);
  rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
  return word;
}

}  // namespace

IrcLine SplitIrcLine(std::string_view rest) {
  IrcLine line;
  std::string_view word = NextWord(rest);
  if (!word.empty() && word[0] == '@') word = NextWord(rest);
  if (!word.empty() && word[0] == ':') {
    line.prefix = word.substr(1);
    line.nick = line.prefix.substr(0, line.prefix.find_first_of("!@"));
    word = NextWord(rest);
  }
  line.command = word;
  while (true) {
    const size_t start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos) break;
    if (rest[start] == ':') {
      line.params.emplace_back(rest.substr(start + 1));
      break;
    }
    line.params.emplace_back(NextWord(rest));
  }
  return line;
}

}  // namespace serve
