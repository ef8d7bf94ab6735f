// The parts of a line from an IRC server that the server's requests need:
// who sent it, the command and its parameters. WeeChat's own parser
// (info "irc_message_parse") is not used for this: in WeeChat 3.8 every
// call leaves about 100 bytes behind, and the plug-in reads every line of
// its channels, floods included.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace serve {

struct IrcLine {
  std::string prefix;  // nick!user@host, or a server's name; "" when none
  std::string nick;    // the prefix up to '!' or '@'
  std::string command;
  std::vector<std::string> params;  // the last one may hold blanks (":text")
};

// Splits `raw` (without its CR LF): IRCv3 tags are passed over, the
// prefix, the command and the parameters are read as they stand.
IrcLine SplitIrcLine(std::string_view raw);

}  // namespace serve
