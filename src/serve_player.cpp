// Player lookup: the executable the system opens files of an extension with.
#include <string_view>

#include "command.h"
#include "quorbel_oob.h"

namespace quorbel {

namespace {

const std::string kPlayerTag = CommandTag(CommandId::ZOQ_GetPlayerfromRegistry);
constexpr char kDot = '.';
constexpr char kQuote = '"';
constexpr char kBlank = ' ';

// The executable named by an open command. A quoted path is the text
// between the first quote and the next (or the end, when it is not
// closed). An unquoted value that names an existing file as a whole is that
// file (a path with blanks and no argument); otherwise it is a command line
// whose first word is the executable.
std::string ExecutableOfCommand(Env& env, const std::string& command) {
  const size_t start = command.find_first_not_of(kBlank);
  if (start == std::string::npos) return {};
  const std::string_view value = std::string_view(command).substr(start);
  if (value.front() == kQuote) {
    const std::string_view rest = value.substr(1);
    return std::string(rest.substr(0, rest.find(kQuote)));
  }
  if (env.FileExists(std::string(value))) return std::string(value);
  return std::string(value.substr(0, value.find(kBlank)));
}

}  // namespace

std::string PlayerReply(Env& env, const std::string& extension) {
  const std::string dotted =
      (!extension.empty() && extension.front() == kDot) ? extension : kDot + extension;
  // A lone dot names no extension, so nothing can be registered for it.
  if (dotted.size() == 1) return reply::Status(reply::kRegistryKeyNotFound, kPlayerTag);
  const std::optional<std::string> command = env.PlayerForExtension(dotted);
  const std::string executable = command ? ExecutableOfCommand(env, *command) : std::string();
  if (executable.empty()) return reply::Status(reply::kRegistryKeyNotFound, kPlayerTag);
  return reply::DataTagLast(" " + executable, kPlayerTag);
}

}  // namespace quorbel
