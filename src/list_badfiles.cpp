// The bad-file list: names with double blanks met by the last generation run.
#include "engine_text.h"
#include "list_format.h"
#include "quorbel_oob.h"

namespace quorbel {

int32_t TZOQ_Quorbel::BadFileCount() const { return int32_t(fbadfiles.size()); }

std::string TZOQ_Quorbel::GetBadFile(int32_t index) const { return fbadfiles.at(size_t(index)); }

namespace listformat {

std::string BadFileEntry(const std::string& path) {
  std::string entry = path;
  for (size_t pos = entry.find(kDoubleBlank); pos != std::string::npos;
       pos = entry.find(kDoubleBlank, pos + kDoubleBlank.size())) {
    entry[pos] = kNbsp;
    entry[pos + 1] = kNbsp;
  }
  return entry;
}

}  // namespace listformat

}  // namespace quorbel
