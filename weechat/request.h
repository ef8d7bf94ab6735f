// What a line in a served channel asks of this server. Every line comes
// from the network and may come from an attacker: a request names a file
// of the list, never a path, and what goes back out holds no byte that
// could end an IRC line or start a CTCP.
#pragma once

#include <string>
#include <string_view>
#include <variant>

namespace serve {

// Longest file name a request may give (the longest a Linux folder holds).
inline constexpr size_t kLongestName = 255;
inline constexpr size_t kLongestPattern = 100;

// IRC's comparison of nicks: ASCII letters without case, and {}|^ as the
// lower case of []\~.
bool SameNick(std::string_view a, std::string_view b);
// The form of a nick that SameNick compares: equal for the same nick.
std::string NickKey(std::string_view nick);

struct FindRequest {  // "@find PATTERN"
  std::string pattern;
};
struct FileRequest {  // "!NICK NAME", or a whole list line pasted back
  std::string name;
};
struct ListRequest {};  // "@NICK"
struct QueueAsk {};     // "@NICK-que": where are my requests?
struct RemoveAsk {};    // "@NICK-remove": take my waiting requests out
struct Refused {        // a request that is answered with this notice only
  std::string notice;
};
using Asked = std::variant<std::monostate, FindRequest, FileRequest, ListRequest, QueueAsk,
                           RemoveAsk, Refused>;

// `text` is the message as it arrived, `own_nick` this server's nick.
Asked ReadRequest(std::string_view text, std::string_view own_nick);

// The file name a request or a pasted list line gives, from the text after
// "!NICK ": up to the list's padding or its " ::INFO:: ", trimmed.
std::string_view ListLineName(std::string_view rest);

// `text` with every byte below 0x20 and 0x7F turned into a blank: safe
// inside one IRC line and one WeeChat command.
std::string PlainText(std::string_view text);

}  // namespace serve
