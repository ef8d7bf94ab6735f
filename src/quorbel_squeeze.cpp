// Blank squeezing.
#include "command.h"
#include "quorbel_oob.h"

namespace quorbel {

namespace {
[[noreturn]] void NotBuilt(const char* what) {
  throw ENotAvailable(std::string(what) + " is not built yet");
}
}  // namespace

std::string TZOQ_Quorbel::Squeeze(const std::string&) { NotBuilt("Blank squeezing"); }

}  // namespace quorbel
