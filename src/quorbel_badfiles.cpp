// The bad-file list: names with double blanks met by the last generation run.
#include "quorbel_oob.h"

namespace quorbel {

int32_t TZOQ_Quorbel::BadFileCount() const { return int32_t(fbadfiles.size()); }

std::string TZOQ_Quorbel::GetBadFile(int32_t index) const { return fbadfiles.at(size_t(index)); }

}  // namespace quorbel
