// The program this system opens files of an extension with.
#include "platform/posix_parts.h"

namespace quorbel::posix {

std::optional<std::string> PlayerForExtension(const std::string&) {
  return std::nullopt;  // the freedesktop lookup is not built yet
}

}  // namespace quorbel::posix
