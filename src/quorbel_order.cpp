// The ordering files and their sort.
#include "command.h"
#include "quorbel_oob.h"

namespace quorbel {

namespace {
[[noreturn]] void NotBuilt(const char* what) {
  throw ENotAvailable(std::string(what) + " is not built yet");
}
}  // namespace

void TZOQ_Quorbel::WriteOrderLine(const std::string&, const std::string&) { NotBuilt("Ordering files"); }
void TZOQ_Quorbel::SortOrderFile(const std::string&) { NotBuilt("Ordering files"); }
void TZOQ_Quorbel::ReadOrderLine(const std::string&, std::string*) { NotBuilt("Ordering files"); }

}  // namespace quorbel
