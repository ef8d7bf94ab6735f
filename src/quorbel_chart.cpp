// The download chart.
#include "command.h"
#include "quorbel_oob.h"

namespace quorbel {

namespace {
[[noreturn]] void NotBuilt(const char* what) {
  throw ENotAvailable(std::string(what) + " is not built yet");
}
}  // namespace

bool TZOQ_Quorbel::UpdateChart() { NotBuilt("The download chart"); }
std::string TZOQ_Quorbel::ColonsToBlanks(const std::string&) { NotBuilt("The download chart"); }

}  // namespace quorbel
