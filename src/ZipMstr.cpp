#include "ZipMstr.h"

namespace quorbel {

TZipMaster::~TZipMaster() { Unload(); }

void TZipMaster::Unload() { engine_.reset(); }

}  // namespace quorbel
