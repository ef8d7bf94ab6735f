// Publishing a file: the new version is written beside the old one under a
// temporary name, then put in its place, so that a reader, and the disk
// after a crash or a power cut, sees the old version or the new one whole,
// never an empty or partial file under the published name.
#pragma once

#include <string>

#include "platform/env.h"

namespace quorbel {

// Puts the closed file `from` in place of `to`: its data to the disk, the
// rename, then the folder's entry to the disk. False when a step fails:
// before the rename `to` is as it was; a failed folder flush after it is
// reported too, as the new file may not outlive a crash.
bool ReplaceDurably(Env& env, const std::string& from, const std::string& to);

}  // namespace quorbel
