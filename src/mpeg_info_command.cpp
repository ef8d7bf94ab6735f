// The MPEG information command.
#include "command.h"
#include "quorbel_oob.h"

namespace quorbel {

namespace {
[[noreturn]] void NotBuilt(const char* what) {
  throw ENotAvailable(std::string(what) + " is not built yet");
}
}  // namespace

std::string MPEGInfoReply(Env&, const std::string&) { NotBuilt("MPEG information"); }

}  // namespace quorbel
