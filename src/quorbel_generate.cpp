// The generation run and the list file layout.
#include "command.h"
#include "quorbel_oob.h"

namespace quorbel {

namespace {
[[noreturn]] void NotBuilt(const char* what) {
  throw ENotAvailable(std::string(what) + " is not built yet");
}
}  // namespace

void TZOQ_Quorbel::GenerateList() { NotBuilt("The generation run"); }

}  // namespace quorbel
